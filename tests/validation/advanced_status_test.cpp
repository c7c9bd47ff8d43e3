// The Advanced View's StatusUpdateEvent sink on the scripted scanner
// control: statuses shown by name or as a percentage, the settings kept at
// a power loss and written back after the power returns (close, the wait,
// open, claim, seven writes), each way that stops early, and the firmware
// Apply button freed at the end of an update.
#include "AdvancedEndToEnd.h"
#include "AdvancedTestSupport.h"

#include <algorithm>
#include <string>
#include <vector>

using namespace vxtest;
using namespace adv;

namespace {

const std::string kStatusLine = "StatusUpdateEvent     :   ";

// The newest entry's first line.
std::string topLine(const std::string& output)
{
    return output.substr(0, output.find("\r\n"));
}

class StatusTest : public AdvancedTest {
protected:
    void SetUp() override
    {
        AdvancedTest::SetUp();
        start();
    }
    // "Lane 1" open and claimed as the view records it, the device running
    // with settings that differ from every default.
    void claimWithSettings()
    {
        control.SetNumber("State", 2);
        dlg().m_strDeviceName = "Lane 1";
        dlg().m_nScannerOpenResult = 0;
        dlg().m_nClaimResult = 0;
        at(IDC_COMBO_DEVICENAME).enabled = false;
        host.SetTimer(kDataCountTimer, 10);
        control.SetNumber("FreezeEvents", 1);
        control.SetNumber("AutoDisable", 1);
        control.SetNumber("BinaryConversion", 2);
        control.SetNumber("PowerNotify", 1);
        control.SetNumber("DecodeData", 1);
        dlg().m_bDataEventEnabled = 1;
    }
    // The device as it comes back after the power returned: all defaults.
    void powerCycle()
    {
        dlg().OnStatusUpdateEventScanner(2004);
        for (const char* name : {"FreezeEvents", "AutoDisable", "BinaryConversion", "PowerNotify", "DecodeData"})
            control.SetNumber(name, 0);
        control.ClearCalls();
        dlg().OnBtnClearlog();
    }
    // The calls that change the device: methods and property writes.
    std::vector<std::string> changes() const
    {
        std::vector<std::string> found;
        for (const std::string& call : control.Calls())
            if (call.rfind("get ", 0) != 0)
                found.push_back(call);
        return found;
    }
    static std::vector<std::string> allWrites()
    {
        return {"put PowerNotify=1",  "put DeviceEnabled=1", "put DataEventEnabled=1", "put FreezeEvents=1",
                "put AutoDisable=1",  "put DecodeData=1",    "put BinaryConversion=2"};
    }
};

}  // namespace

TEST_F(StatusTest, AStatusWithoutANameIsShownAsAPercentageAndDoesNothingElse)
{
    dlg().OnBtnClearlog();
    at(IDC_BTN_APPLY).enabled = false;
    at(IDC_COMBO_METHOD).selection = kUpdateFirmware;
    control.SetNumber("State", 2);
    control.ClearCalls();
    dlg().OnStatusUpdateEventScanner(50);
    EXPECT_EQ(model().output, kStatusLine + "50%");
    EXPECT_TRUE(control.Calls().empty());
    EXPECT_FALSE(at(IDC_BTN_APPLY).enabled);
    EXPECT_TRUE(host.questions.empty());

    dlg().OnStatusUpdateEventScanner(51);
    EXPECT_EQ(model().output, kStatusLine + "51%\r\n\r\n" + kStatusLine + "50%");
}

TEST_F(StatusTest, PowerReturnWithYesReopensAfterTheWaitAndWritesTheKeptSettingsInOrder)
{
    claimWithSettings();
    powerCycle();
    // Open must not come before the wait has passed.
    std::vector<std::string> callsAtWait;
    host.onWait = [&](UINT) { callsAtWait = changes(); };

    dlg().OnStatusUpdateEventScanner(2001);

    EXPECT_EQ(host.questions, std::vector<std::string>{"Do you want to synchronize all the device properties?"});
    EXPECT_EQ(host.waits, std::vector<UINT>{9000});
    EXPECT_EQ(callsAtWait, std::vector<std::string>{"Close()"});
    std::vector<std::string> expected = {"Close()", "Open(Lane 1)", "ClaimDevice(-1)"};
    const auto writes = allWrites();
    expected.insert(expected.end(), writes.begin(), writes.end());
    EXPECT_EQ(changes(), expected);
    ASSERT_TRUE(host.TimerOn(kDataCountTimer));
    EXPECT_EQ(host.timers[kDataCountTimer], 1u);
    EXPECT_EQ(topLine(model().output), kStatusLine + "OPOS_SUE_POWER_ONLINE");
    EXPECT_EQ(at(IDC_STATIC_STATUS).text, "");
}

TEST_F(StatusTest, PowerReturnWithNoOnlyRefreshesTheDisplays)
{
    claimWithSettings();
    powerCycle();
    host.answerYes = false;
    control.SetText("ScanData", "]E0A1");
    control.SetText("ScanDataLabel", "A1");
    control.SetNumber("ScanDataType", 104);
    dlg().OnStatusUpdateEventScanner(2001);
    EXPECT_TRUE(changes().empty());
    EXPECT_TRUE(host.waits.empty());
    EXPECT_EQ(model().output, kStatusLine + "OPOS_SUE_POWER_ONLINE");
    EXPECT_EQ(at(IDC_EDIT_SCANDATA).text, "]E0A1");
    EXPECT_EQ(at(IDC_EDIT_SCANDATALABEL).text, "A1");
    EXPECT_EQ(at(IDC_EDIT_SCANDATATYPE).text, "SCAN_SDT_EAN13");
    const auto calls = control.Calls();
    for (const char* read : {"get DeviceEnabled", "get DataEventEnabled", "get AutoDisable", "get FreezeEvents",
                             "get PowerNotify", "get BinaryConversion", "get DecodeData"})
        EXPECT_NE(std::find(calls.begin(), calls.end(), read), calls.end()) << read;
}

TEST_F(StatusTest, AWriteTheDeviceRefusesEndsTheResynchronisationThere)
{
    claimWithSettings();
    powerCycle();
    control.RefusePut("FreezeEvents", 106);
    dlg().OnStatusUpdateEventScanner(2001);
    const auto writes = allWrites();
    std::vector<std::string> expected = {"Close()", "Open(Lane 1)", "ClaimDevice(-1)"};
    expected.insert(expected.end(), writes.begin(), writes.begin() + 4);
    EXPECT_EQ(changes(), expected);
    // The refused write is reported with its kept value; the status itself
    // is not shown when the resynchronisation stopped.
    EXPECT_EQ(model().output.rfind("Set FreezeEvents   True  ,  ", 0), 0u) << model().output;
    EXPECT_NE(model().output.find("OPOS_E_ILLEGAL"), std::string::npos) << model().output;
    EXPECT_EQ(model().output.find(kStatusLine), std::string::npos) << model().output;
    EXPECT_EQ(at(IDC_STATIC_STATUS).text, "");
}

TEST_F(StatusTest, ResynchronisationStepsThatFailReportTheirResultAndStop)
{
    struct Case {
        const char* what;
        const char* method;
        LONG result;
        std::string output;
        std::vector<std::string> calls;
        LONG openResultAfter;
        bool devicesEnabled;
    };
    const Case cases[] = {
        {"close", "Close", 111, "Close    :   OPOS_E_FAILURE", {"Close()"}, 104, true},
        {"open", "Open", 107, "Open   :    OPOS_E_NOHARDWARE", {"Close()", "Open(Lane 1)"}, 104, true},
        {"claim", "ClaimDevice", 102, "ClaimDevice     :   OPOS_E_CLAIMED",
         {"Close()", "Open(Lane 1)", "ClaimDevice(-1)"}, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_dlg.reset();
        start();
        for (const char* method : {"Close", "Open", "ClaimDevice"})
            control.SetNumber(method, 0);
        claimWithSettings();
        powerCycle();
        control.SetNumber(c.method, c.result);
        dlg().OnStatusUpdateEventScanner(2001);
        EXPECT_EQ(changes(), c.calls);
        EXPECT_EQ(model().output, c.output);
        EXPECT_EQ(dlg().m_nScannerOpenResult, c.openResultAfter);
        EXPECT_EQ(at(IDC_COMBO_DEVICENAME).enabled, c.devicesEnabled);
        EXPECT_EQ(at(IDC_STATIC_STATUS).text, "");
        EXPECT_FALSE(host.TimerOn(kDataCountTimer));
    }
}

TEST_F(StatusTest, PowerReturnForADeviceNeverOpenedShowsTheStatusAsTheOpenResult)
{
    dlg().OnBtnClearlog();
    dlg().OnStatusUpdateEventScanner(2001);
    EXPECT_TRUE(changes().empty());
    EXPECT_TRUE(host.waits.empty());
    EXPECT_EQ(model().output, "Open   :    2001");
    EXPECT_EQ(dlg().m_nScannerOpenResult, 104);
    EXPECT_EQ(dlg().m_nImagerOpenResult, 104);
}

TEST_F(StatusTest, ACallThatThrowsDuringTheResynchronisationIsReportedOnce)
{
    claimWithSettings();
    powerCycle();
    control.Fail("ClaimDevice", "gone");
    dlg().OnStatusUpdateEventScanner(2001);
    EXPECT_EQ(model().output, kStatusLine + "An exception has occured in service object");
    EXPECT_EQ(at(IDC_STATIC_STATUS).text, "");
}

TEST_F(StatusTest, FirmwareApplyIsFreedByANamedEndStatusOrAnIdleUpdateChoice)
{
    struct Case {
        LONG data;
        int method;
        LONG state;
        bool enabled;
    };
    const Case cases[] = {
        {2201, kResetStatistics, 3, true},  // named end of an update, whatever is chosen
        {2204, kSelectMethod, 3, true},
        {2202, kUpdateFirmware, 2, false},  // unnamed: shown as a number only
        {2002, kUpdateFirmware, 2, true},   // named, idle, UpdateFW chosen
        {2002, kUpdateFirmware, 3, false},
        {2002, kCompareFirmware, 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.data);
        at(IDC_BTN_APPLY).enabled = false;
        at(IDC_COMBO_METHOD).selection = c.method;
        control.SetNumber("State", c.state);
        dlg().OnStatusUpdateEventScanner(c.data);
        EXPECT_EQ(at(IDC_BTN_APPLY).enabled, c.enabled);
    }
}

TEST_F(AdvancedEndToEndTest, APowerLossAndReturnResynchronisesTheDeviceAndTheNextLabelReads)
{
    plug();
    start();
    openAndClaim();
    scanner.SetPowerNotify(1);
    ASSERT_EQ(scanner.GetResultCode(), 0);
    scanner.SetDeviceEnabled(TRUE);
    scanner.SetDataEventEnabled(TRUE);
    dlg().m_bDataEventEnabled = 1;
    dlg().OnBtnClearlog();
    const auto output = [&] { return model().output; };

    unplug();
    EXPECT_TRUE(waitFor([&] { return output().find("OPOS_SUE_POWER_OFF_OFFLINE") != std::string::npos; }))
        << output();
    EXPECT_EQ(output(), kStatusLine + "OPOS_SUE_POWER_OFF_OFFLINE");

    ASSERT_TRUE(replug());
    EXPECT_TRUE(waitFor([&] { return output().find("OPOS_SUE_POWER_ONLINE") != std::string::npos; })) << output();
    EXPECT_EQ(host.questions, std::vector<std::string>{"Do you want to synchronize all the device properties?"});
    EXPECT_EQ(host.waits, std::vector<UINT>{9000});
    EXPECT_EQ(topLine(output()), kStatusLine + "OPOS_SUE_POWER_ONLINE") << output();
    EXPECT_TRUE(scanner.GetClaimed());
    EXPECT_TRUE(scanner.GetDeviceEnabled());
    EXPECT_EQ(scanner.GetPowerNotify(), 1);

    scan("AFTER-POWER");
    // DecodeData is false, as before the loss: the label stands in ScanData.
    EXPECT_TRUE(waitFor([&] { return scanner.GetScanData().find("AFTER-POWER") != std::string::npos; }));
}
