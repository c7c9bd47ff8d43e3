// The Advanced View's statistics and firmware methods on the scripted
// scanner control: the method list's two Apply buttons, the firmware file
// chooser, and the firmware Apply's busy state until an update ends.
#include "AdvancedEndToEnd.h"
#include "AdvancedTestSupport.h"
#include "FirmwareFixture.h"

#include "platform/serial.h"
#include "simulator/flashable.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

using namespace vxtest;
using namespace adv;

namespace {

class MethodsTest : public AdvancedTest {
protected:
    void SetUp() override
    {
        AdvancedTest::SetUp();
        start();
        control.ClearCalls();
        dlg().OnBtnClearlog();
    }
    void select(int method, const std::string& argument)
    {
        at(IDC_COMBO_METHOD).selection = method;
        at(method == kCompareFirmware || method == kUpdateFirmware ? IDC_EDIT_FIRMWAREPATH : IDC_EDIT_STATISTICS)
            .text = argument;
        at(IDC_BTN_APPLY).enabled = true;
    }
    bool applyEnabled() { return at(IDC_BTN_APPLY).enabled; }
    // The calls that are not property reads.
    std::vector<std::string> methodCalls() const
    {
        std::vector<std::string> found;
        for (const std::string& call : control.Calls())
            if (call.rfind("get ", 0) != 0)
                found.push_back(call);
        return found;
    }
};

}  // namespace

TEST_F(MethodsTest, FirmwareApplyWithoutAFileOrAMethodCallsNothing)
{
    struct Case {
        int method;
        std::string path;
        std::string output;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {kCompareFirmware, "Enter file path here", "CompareFirmware   :  Please choose the firmware file", {}},
        {kUpdateFirmware, "", "UpdateFirmware   :  Please choose the firmware file", {}},
        {kSelectMethod, "/fw/a.bin", "", {"    Please select a method"}},
        {kRetrieveStatistics, "/fw/a.bin", "", {"    Please select a method"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method);
        dlg().OnBtnClearlog();
        host.messages.clear();
        select(c.method, c.path);
        dlg().OnBtnApply();
        EXPECT_EQ(model().output, c.output);
        EXPECT_EQ(host.messages, c.messages);
        EXPECT_TRUE(applyEnabled());
    }
    EXPECT_TRUE(methodCalls().empty());
}

TEST_F(MethodsTest, FirmwareApplyCallsTheMethodAndStaysBusyOnlyWhileItRuns)
{
    struct Case {
        int method;
        LONG result;
        std::string call;
        std::string output;
        bool applyAfter;
    };
    const Case cases[] = {
        {kCompareFirmware, 0, "CompareFirmwareVersion(/fw/a.bin, 0)", "CompareFirmware   :  OPOS_SUCCESS", false},
        {kCompareFirmware, 106, "CompareFirmwareVersion(/fw/a.bin, 0)", "CompareFirmware   :  OPOS_E_ILLEGAL", true},
        {kUpdateFirmware, 0, "UpdateFirmware(/fw/a.bin)", "UpdateFirmware   :  OPOS_SUCCESS", false},
        {kUpdateFirmware, 113, "UpdateFirmware(/fw/a.bin)", "UpdateFirmware   :  OPOS_E_BUSY", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call + " " + std::to_string(c.result));
        control.ClearCalls();
        dlg().OnBtnClearlog();
        control.SetNumber("CompareFirmwareVersion", c.result);
        control.SetNumber("UpdateFirmware", c.result);
        select(c.method, "/fw/a.bin");
        dlg().OnBtnApply();
        EXPECT_EQ(methodCalls(), std::vector<std::string>{c.call});
        EXPECT_EQ(model().output, c.output);
        EXPECT_EQ(applyEnabled(), c.applyAfter);
        EXPECT_EQ(model().focus, c.applyAfter ? IDC_BTN_APPLY : IDC_BTN_BROWSE);
    }
}

TEST_F(MethodsTest, AFirmwareCallThatThrowsIsShownAsAFailureAndFreesApply)
{
    control.Fail("UpdateFirmware", "gone");
    select(kUpdateFirmware, "/fw/a.mocf");
    dlg().OnBtnApply();
    EXPECT_EQ(model().output, "UpdateFirmware   :  OPOS_E_FAILURE");
    EXPECT_TRUE(applyEnabled());
}

TEST_F(MethodsTest, AnUpdateKeepsApplyDisabledUntilANamedEndStatus)
{
    // Another method chosen meanwhile: only the end of the update frees it.
    select(kUpdateFirmware, "/fw/a.mocf");
    dlg().OnBtnApply();
    ASSERT_FALSE(applyEnabled());
    at(IDC_COMBO_METHOD).selection = kCompareFirmware;
    for (LONG progress : {0, 50, 100, 2202}) {
        dlg().OnStatusUpdateEventScanner(progress);
        EXPECT_FALSE(applyEnabled()) << progress;
    }
    dlg().OnStatusUpdateEventScanner(2205);
    EXPECT_TRUE(applyEnabled());
    EXPECT_EQ(model().focus, IDC_BTN_APPLY);
    EXPECT_EQ(model().output.substr(0, model().output.find("\r\n")), "StatusUpdateEvent     :   OPOS_SUE_UF_COMPLETE_DEV_NOT_RESTORED");
}

TEST_F(MethodsTest, StatisticsApplyCallsTheChosenMethodWithTheBufferAsTyped)
{
    struct Case {
        int method;
        std::string buffer;
        std::string call;
        std::string output;
    };
    const Case cases[] = {
        {kResetStatistics, "U_GOODSCANCOUNT", "ResetStatistics(U_GOODSCANCOUNT)", "ResetStatistics   :  OPOS_SUCCESS"},
        {kUpdateStatistics, "U_GOODSCANCOUNT=0", "UpdateStatistics(U_GOODSCANCOUNT=0)",
         "UpdateStatistics    :  OPOS_SUCCESS"},
        // An untouched entry sends its prompt.
        {kResetStatistics, "Enter the statistics buffer input here",
         "ResetStatistics(Enter the statistics buffer input here)", "ResetStatistics   :  OPOS_SUCCESS"},
        {kSelectMethod, "x", "", ""},
        {kCompareFirmware, "x", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        control.ClearCalls();
        dlg().OnBtnClearlog();
        select(c.method, c.buffer);
        dlg().OnBtnStatApply();
        EXPECT_EQ(methodCalls(), c.call.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.call});
        EXPECT_EQ(model().output, c.output);
    }
}

TEST_F(MethodsTest, RetrieveStatisticsShowsTheDocumentUnderItsLineOnlyOnSuccess)
{
    const std::string document = "<?xml version=\"1.0\"?>\r\n<UPOSStat><GoodScanCount>3</GoodScanCount></UPOSStat>";
    control.SetStatisticsOutput(document);
    select(kRetrieveStatistics, "U_GOODSCANCOUNT");
    dlg().OnBtnStatApply();
    EXPECT_EQ(methodCalls(), std::vector<std::string>{"RetrieveStatistics(U_GOODSCANCOUNT)"});
    EXPECT_EQ(model().output, "RetrieveStatistics   :  OPOS_SUCCESS\r\n\r\n" + document);

    dlg().OnBtnClearlog();
    control.SetNumber("RetrieveStatistics", 106);
    dlg().OnBtnStatApply();
    EXPECT_EQ(model().output, "RetrieveStatistics   :  OPOS_E_ILLEGAL");
}

TEST_F(MethodsTest, AStatisticsCallThatThrowsShowsNothing)
{
    control.Fail("RetrieveStatistics", "gone");
    select(kRetrieveStatistics, "U_GOODSCANCOUNT");
    dlg().OnBtnStatApply();
    EXPECT_EQ(model().output, "");
}

TEST_F(MethodsTest, StatisticsGoToTheScannerEvenForAnImageScanner)
{
    dlg().m_strDeviceType = "ImageScanner";
    select(kUpdateStatistics, "U_GOODSCANCOUNT=0");
    dlg().OnBtnStatApply();
    EXPECT_EQ(methodCalls(), std::vector<std::string>{"UpdateStatistics(U_GOODSCANCOUNT=0)"});
    // The firmware methods go to the image scanner then.
    imageControl.ClearCalls();
    select(kUpdateFirmware, "/fw/a.mocf");
    dlg().OnBtnApply();
    const auto imageCalls = imageControl.Calls();
    EXPECT_NE(std::find(imageCalls.begin(), imageCalls.end(), "UpdateFirmware(/fw/a.mocf)"), imageCalls.end());
}

TEST_F(MethodsTest, BrowsePutsTheChosenFileIntoThePathAndKeepsTheWorkingFolder)
{
    const auto home = std::filesystem::current_path();
    host.openPath = "/fw/chosen.mocf";
    at(IDC_EDIT_FIRMWAREPATH).text = "Enter file path here";
    // A file dialog that moves the working folder.
    std::filesystem::create_directory("elsewhere");
    std::filesystem::current_path("elsewhere");
    dlg().OnBtnBrowse();
    EXPECT_EQ(at(IDC_EDIT_FIRMWAREPATH).text, "/fw/chosen.mocf");
    EXPECT_EQ(host.openFilters, std::vector<std::string>{"Binary Files (*.bin) | *.bin|Text Files (*.txt) |*.txt|Moc "
                                                         "Files (*.moc;*.mocf) | *.moc;*.mocf|"});
    EXPECT_EQ(std::filesystem::current_path(), home);

    host.openPath.clear();
    dlg().OnBtnBrowse();
    EXPECT_EQ(at(IDC_EDIT_FIRMWAREPATH).text, "/fw/chosen.mocf");
}

TEST_F(AdvancedEndToEndTest, RetrieveStatisticsShowsTheGoodScansOfTheLabelsRead)
{
    plug();
    start();
    openAndClaim();
    scanner.SetDeviceEnabled(TRUE);
    scanner.SetDataEventEnabled(TRUE);
    scan("LABEL-1");
    scan("LABEL-2");
    at(adv::IDC_COMBO_METHOD).selection = adv::kRetrieveStatistics;
    at(adv::IDC_EDIT_STATISTICS).text = "U_GOODSCANCOUNT";
    const std::string counted = "<Name>U_GOODSCANCOUNT</Name>\r\n\t\t\t<Value>2</Value>";
    EXPECT_TRUE(waitFor([&] {
        dlg().OnBtnClearlog();
        dlg().OnBtnStatApply();
        return model().output.find(counted) != std::string::npos;
    })) << model().output;
    const std::string line = "RetrieveStatistics   :  OPOS_SUCCESS\r\n\r\n";
    EXPECT_EQ(model().output.rfind(line + "<?xml", 0), 0u) << model().output;
    EXPECT_EQ(model().output.find("M_NOREADCOUNT"), std::string::npos);
}

TEST_F(AdvancedEndToEndTest, UpdateFirmwareShowsItsProgressThenTheFinalStatusAndExitWaitsForIt)
{
    FirmwareFiles files;  // its protocol file is the fixture's, named at the first open of the process
    vxsim::FlashableOptions options;
    options.kind = vxsim::FlashableKind::rs232;
    options.id = "probe-fw";
    options.serialNumber = "SN-PROBE-FW";
    vxsim::FlashableScanner flashable(options);
    std::string flashPort;
    ASSERT_TRUE(waitUntil([&] {
        for (const auto& listed : platform::listSerialPorts())
            if (listed.devicePath == flashable.serialPath())
                flashPort = listed.comName;
        return !flashPort.empty();
    }));
    addEntry(kDevice);
    writeText(devicePath(kDevice), "PORT", flashPort);
    start();
    openAndClaim();
    scanner.SetDeviceEnabled(TRUE);
    dlg().OnBtnClearlog();

    at(adv::IDC_COMBO_METHOD).selection = adv::kUpdateFirmware;
    at(adv::IDC_EDIT_FIRMWAREPATH).text = files.application();
    dlg().OnBtnApply();
    EXPECT_EQ(model().output, "UpdateFirmware   :  OPOS_SUCCESS");
    EXPECT_FALSE(at(adv::IDC_BTN_APPLY).enabled);
    // Leaving is refused while the device is busy with the update.
    dlg().OnFileExit();
    EXPECT_TRUE(host.ended.empty());
    EXPECT_EQ(host.messages, std::vector<std::string>{"Update Firmware in progress. Please wait."});

    const std::string done = "StatusUpdateEvent     :   OPOS_SUE_UF_COMPLETE_DEV_NOT_RESTORED";
    ASSERT_TRUE(waitFor([&] { return model().output.find(done) != std::string::npos; })) << model().output;
    EXPECT_EQ(model().output.rfind(done + "\r\n\r\n", 0), 0u) << model().output;
    EXPECT_NE(model().output.find("StatusUpdateEvent     :   100%"), std::string::npos) << model().output;
    EXPECT_TRUE(at(adv::IDC_BTN_APPLY).enabled);
    EXPECT_TRUE(flashable.bootloader().appCopy() == files.expectedApplication());
}
