// The Advanced View's device lifecycle on the scripted control: Open,
// ClaimDevice, ReleaseDevice, Close, the choice of another device while one
// is open, and leaving the view.
#include "AdvancedStrings.h"
#include "AdvancedTestSupport.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>

using namespace adv;

namespace vxtest {
namespace {

class LifecycleTest : public AdvancedTest {
protected:
    void SetUp() override
    {
        AdvancedTest::SetUp();
        addEntry("Lane 1");
        addEntry("Lane 2");
    }
    int count(const std::string& call) const
    {
        const auto all = control.Calls();
        return static_cast<int>(std::count(all.begin(), all.end(), call));
    }
};

TEST_F(LifecycleTest, OpenIsRefusedWithoutADeviceTypeOrName)
{
    start();
    // No device name chosen yet.
    dlg().OnCommand(IDC_BTN_OPEN);
    EXPECT_EQ(host.messages, std::vector<std::string>{"   Please select the device name"});
    EXPECT_EQ(model().focus, IDC_COMBO_DEVICENAME);
    // No device type.
    at(IDC_COMBO_DEVICETYPE).selection = 0;
    dlg().OnSelchange(IDC_COMBO_DEVICETYPE);
    EXPECT_EQ(at(IDC_COMBO_DEVICENAME).entries, std::vector<std::string>{"No device selected"});
    EXPECT_FALSE(at(IDC_COMBO_DEVICENAME).enabled);
    dlg().OnCommand(IDC_BTN_OPEN);
    EXPECT_EQ(host.messages.back(), "  Please select the device type");
    EXPECT_EQ(model().focus, IDC_COMBO_DEVICETYPE);
    EXPECT_EQ(count("Open(Lane 1)"), 0);
}

TEST_F(LifecycleTest, OpenIsRefusedWhenNoDeviceExists)
{
    // The entries are another maker's.
    addEntry("Lane 1", "10000", "Elsewhere");
    addEntry("Lane 2", "10000", "Elsewhere");
    start();
    ASSERT_EQ(at(IDC_COMBO_DEVICENAME).selectedText(), "No device exist");
    dlg().OnCommand(IDC_BTN_OPEN);
    EXPECT_EQ(host.messages, std::vector<std::string>{"   Please select the device name"});
    const std::vector<std::string> made = control.Calls();
    EXPECT_TRUE(std::none_of(made.begin(), made.end(),
                             [](const std::string& call) { return call.rfind("Open(", 0) == 0; }));
}

TEST_F(LifecycleTest, OpenShowsItsResultAndAnOpenDeviceLocksTheNameList)
{
    start();
    choose("Lane 2");
    dlg().OnCommand(IDC_BTN_OPEN);
    EXPECT_EQ(count("Open(Lane 2)"), 1);
    EXPECT_EQ(dlg().m_nScannerOpenResult, 0);
    EXPECT_EQ(model().output, "Open   :    OPOS_SUCCESS");
    EXPECT_EQ(at(IDC_STATIC_STATUS).text, "");
    EXPECT_FALSE(at(IDC_COMBO_DEVICENAME).enabled);
    EXPECT_EQ(dlg().m_nScannerDeviceIndex, 2);

    // A second Open: the control answers 106, the list stays locked and the
    // property displays are not reset.
    control.SetNumber("Open", 106);
    at(IDC_COMBO_DATAEVENTENABLE).selection = 0;
    at(IDC_EDIT_SCANDATA).text = "kept";
    dlg().OnCommand(IDC_BTN_OPEN);
    EXPECT_EQ(dlg().m_nScannerOpenResult, 106);
    EXPECT_EQ(model().output, "Open   :    OPOS_E_ILLEGAL\r\n\r\nOpen   :    OPOS_SUCCESS");
    EXPECT_FALSE(at(IDC_COMBO_DEVICENAME).enabled);
    EXPECT_EQ(at(IDC_COMBO_DATAEVENTENABLE).selection, 0);
    EXPECT_EQ(at(IDC_EDIT_SCANDATA).text, "kept");
    EXPECT_EQ(dlg().m_nScannerDeviceIndex, 2);
}

TEST_F(LifecycleTest, AFailedOpenLeavesTheListFreeAndAThrowingOneShowsTheFailure)
{
    start();
    choose("Lane 1");
    control.SetNumber("Open", 109);
    dlg().OnCommand(IDC_BTN_OPEN);
    EXPECT_EQ(dlg().m_nScannerOpenResult, 109);
    EXPECT_TRUE(at(IDC_COMBO_DEVICENAME).enabled);
    EXPECT_EQ(dlg().m_nScannerDeviceIndex, 0);
    EXPECT_EQ(model().output, "Open   :    OPOS_E_NOEXIST");

    control.Fail("Open", "no service object");
    dlg().OnCommand(IDC_BTN_OPEN);
    EXPECT_EQ(dlg().m_nScannerOpenResult, 104);
    EXPECT_EQ(dlg().m_nImagerOpenResult, 104);
    EXPECT_EQ(at(IDC_STATIC_STATUS).text, "");
    EXPECT_EQ(model().output.substr(0, model().output.find('\r')),
              "Open   :    An exception has occured in service object");
}

TEST_F(LifecycleTest, ClaimNeedsATimeoutText)
{
    start();
    openDevice("Lane 1");
    at(IDC_EDIT_CLAIMTIMEOUT).text.clear();
    control.ClearCalls();
    dlg().OnCommand(IDC_BTN_CLAIM);
    EXPECT_EQ(host.messages, std::vector<std::string>{"Please enter a timeout value to claim the device"});
    EXPECT_EQ(model().focus, IDC_EDIT_CLAIMTIMEOUT);
    EXPECT_TRUE(control.Calls().empty());
    EXPECT_FALSE(host.TimerOn(kDataCountTimer));
}

TEST_F(LifecycleTest, TheTypedTimeoutClaimsAsANumberHeldToTheLongRange)
{
    const struct {
        const char* typed;
        const char* call;
    } cases[] = {
        {"10000", "ClaimDevice(10000)"},
        {"abc", "ClaimDevice(0)"},
        {"12ab", "ClaimDevice(12)"},
        {"-1", "ClaimDevice(-1)"},
        {"2147483647", "ClaimDevice(2147483647)"},
        {"2147483648", "ClaimDevice(2147483647)"},
        {"9999999999", "ClaimDevice(2147483647)"},
        {"99999999999999999999999", "ClaimDevice(2147483647)"},
        {"-9999999999", "ClaimDevice(-2147483648)"},
    };
    start();
    openDevice("Lane 1");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        at(IDC_EDIT_CLAIMTIMEOUT).text = c.typed;
        control.ClearCalls();
        dlg().OnCommand(IDC_BTN_CLAIM);
        ASSERT_FALSE(control.Calls().empty());
        EXPECT_EQ(control.Calls().front(), c.call);
    }
    EXPECT_EQ(CAdvancedValidation::ClaimTimeoutFrom("  42"), 42);
    EXPECT_EQ(CAdvancedValidation::ClaimTimeoutFrom("+7"), 7);
    EXPECT_EQ(CAdvancedValidation::ClaimTimeoutFrom("-2147483648"), INT_MIN);
}

TEST_F(LifecycleTest, ASuccessfulClaimHintsAtWhatIsStillOffAndStartsTheRefresh)
{
    const struct {
        int deviceEnabled;
        int dataEventEnabled;
        const char* output;
    } cases[] = {
        {0, 0, "Set Device Enable and Data Event Enable to true for reading data\r\nClaimDevice     :    OPOS_SUCCESS"},
        {0, 1, "Set Device Enable to true for reading data\r\nClaimDevice     :    OPOS_SUCCESS"},
        {1, 0, "Set Data Event Enable to true for reading data\r\nClaimDevice     :    OPOS_SUCCESS"},
        {1, 1, "ClaimDevice     :    OPOS_SUCCESS"},
    };
    start();
    openDevice("Lane 1");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        dlg().OnBtnClearlog();
        host.timers.clear();
        control.SetNumber("DeviceEnabled", c.deviceEnabled);
        control.SetNumber("DataEventEnabled", c.dataEventEnabled);
        dlg().m_bDeviceEnabled = c.deviceEnabled;
        dlg().m_bDataEventEnabled = c.dataEventEnabled;
        dlg().OnCommand(IDC_BTN_CLAIM);
        EXPECT_EQ(model().output, c.output);
        EXPECT_EQ(host.timers, (std::map<UINT, UINT>{{kDataCountTimer, 10}}));
        EXPECT_EQ(model().focus, IDC_COMBO_DEVICEENABLE);
        EXPECT_EQ(at(IDC_STATIC_STATUS).text, "");
    }
}

TEST_F(LifecycleTest, ARefusedClaimShowsItsResultAlone)
{
    start();
    openDevice("Lane 1");
    control.SetNumber("ClaimDevice", 112);
    dlg().OnCommand(IDC_BTN_CLAIM);
    EXPECT_EQ(dlg().m_nClaimResult, 112);
    EXPECT_EQ(model().output.substr(0, model().output.find('\r')), "ClaimDevice     :    OPOS_E_TIMEOUT");
    EXPECT_FALSE(host.TimerOn(kDataCountTimer));
}

TEST_F(LifecycleTest, ReleaseShowsTheDataCountAndStopsTheRefresh)
{
    start();
    claimDevice("Lane 1");
    control.SetNumber("DataCount", 7);
    dlg().OnCommand(IDC_BTN_RELEASE);
    EXPECT_EQ(dlg().m_nReleaseResult, 0);
    EXPECT_EQ(at(IDC_STATIC_DATACOUNT).text, "DataCount  :  7");
    EXPECT_EQ(model().output.substr(0, model().output.find('\r')), "ReleaseDevice    :   OPOS_SUCCESS");
    EXPECT_FALSE(host.TimerOn(kDataCountTimer));
    const auto calls = control.Calls();
    const auto release = std::find(calls.begin(), calls.end(), "ReleaseDevice()");
    ASSERT_NE(release, calls.end());
    EXPECT_NE(std::find(release, calls.end(), "get DataCount"), calls.end());
}

TEST_F(LifecycleTest, CloseResetsTheRecordOrKeepsANoHardwareResult)
{
    start();
    claimDevice("Lane 2");
    dlg().OnCommand(IDC_BTN_CLOSE);
    EXPECT_EQ(dlg().m_nCloseResult, 0);
    EXPECT_EQ(dlg().m_nScannerOpenResult, 104);
    EXPECT_EQ(dlg().m_nScannerDeviceIndex, 0);
    EXPECT_TRUE(at(IDC_COMBO_DEVICENAME).enabled);
    EXPECT_FALSE(host.TimerOn(kDataCountTimer));
    EXPECT_EQ(model().output.substr(0, model().output.find('\r')), "Close    :   OPOS_SUCCESS");

    // 107 is kept as the open result; the list is free again all the same.
    openDevice("Lane 2");
    control.SetNumber("Close", 107);
    dlg().OnCommand(IDC_BTN_CLOSE);
    EXPECT_EQ(dlg().m_nScannerOpenResult, 107);
    EXPECT_TRUE(at(IDC_COMBO_DEVICENAME).enabled);
    EXPECT_EQ(model().output.substr(0, model().output.find('\r')), "Close    :   OPOS_E_NOHARDWARE");

    // Another refusal leaves the record as it was.
    control.SetNumber("Close", 0);
    openDevice("Lane 2");
    control.SetNumber("Close", 106);
    dlg().OnCommand(IDC_BTN_CLOSE);
    EXPECT_EQ(dlg().m_nScannerOpenResult, 0);

    control.Fail("Close", "gone");
    dlg().OnCommand(IDC_BTN_CLOSE);
    EXPECT_EQ(dlg().m_nScannerOpenResult, 104);
    EXPECT_EQ(dlg().m_nImagerOpenResult, 104);
    EXPECT_EQ(model().output.substr(0, model().output.find('\r')),
              "Close    :   An exception has occured in service object");
}

TEST_F(LifecycleTest, ChoosingAnotherDeviceClosesTheOpenOneFirst)
{
    start();
    openDevice("Lane 1");
    // The view locks the list while a device is open; a device chosen all
    // the same (as "ADD_DEVICE" may refill it) closes the open one.
    control.ClearCalls();
    choose("Lane 2");
    EXPECT_EQ(count("Close()"), 1);
    EXPECT_EQ(host.messages, std::vector<std::string>{"Currently opened device will be closed automatically"});
    EXPECT_EQ(dlg().m_strDeviceName, "Lane 2");
    EXPECT_EQ(dlg().m_nScannerOpenResult, 104);

    // The same name again closes nothing.
    openDevice("Lane 2");
    control.ClearCalls();
    choose("Lane 2");
    EXPECT_EQ(count("Close()"), 0);
}

TEST_F(LifecycleTest, WhenThatCloseFailsTheOpenDeviceStaysChosen)
{
    start();
    openDevice("Lane 1");
    control.SetNumber("Close", 111);
    control.SetNumber("ResultCode", 111);
    host.messages.clear();
    choose("Lane 2");
    EXPECT_EQ(at(IDC_COMBO_DEVICENAME).selectedText(), "Lane 1");
    EXPECT_EQ(dlg().m_strDeviceName, "Lane 1");
    EXPECT_EQ(dlg().m_nScannerOpenResult, 0);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(LifecycleTest, ExitAndBasicViewWaitWhileAFirmwareUpdateRuns)
{
    start();
    openDevice("Lane 1");
    control.SetNumber("State", 3);
    control.ClearCalls();
    for (const int command : {ID_FILE_EXIT, IDC_BTN_EXIT_KEY, ID_VIEW_BASIC, IDC_BTN_BASICVIEW}) {
        SCOPED_TRACE(command);
        host.messages.clear();
        dlg().OnCommand(command);
        EXPECT_EQ(host.messages, std::vector<std::string>{"Update Firmware in progress. Please wait."});
    }
    dlg().OnClose();
    EXPECT_TRUE(host.ended.empty());
    EXPECT_EQ(host.switches, 0);
    EXPECT_EQ(count("Close()"), 0);
    EXPECT_EQ(dlg().m_nScannerOpenResult, 0);
}

TEST_F(LifecycleTest, LeavingClosesAnOpenDeviceOnce)
{
    const struct {
        int command;
        bool basic;
    } cases[] = {{ID_FILE_EXIT, false}, {IDC_BTN_EXIT_KEY, false}, {0, false}, {ID_VIEW_BASIC, true},
                 {IDC_BTN_BASICVIEW, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        host = FakeAdvancedHost();
        control.SetNumber("State", 2);
        start();
        claimDevice("Lane 1");
        control.ClearCalls();
        if (c.command == 0)
            dlg().OnClose();
        else
            dlg().OnCommand(c.command);
        EXPECT_EQ(count("Close()"), 1);
        EXPECT_EQ(host.ended, std::vector<int>{0});
        EXPECT_EQ(host.switches, c.basic ? 1 : 0);
        EXPECT_EQ(dlg().m_nScannerOpenResult, 104);
        EXPECT_FALSE(host.TimerOn(kDataCountTimer));
        if (c.basic)
            EXPECT_EQ(host.messages, std::vector<std::string>{"Currently opened device will be closed automatically"});
        else
            EXPECT_EQ(host.closedTitles, std::vector<std::string>{"TillProbe"});
    }
}

TEST_F(LifecycleTest, LeavingWithNothingOpenClosesNothing)
{
    start();
    choose("Lane 1");
    control.ClearCalls();
    dlg().OnCommand(ID_VIEW_BASIC);
    EXPECT_EQ(count("Close()"), 0);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(host.ended, std::vector<int>{0});
    EXPECT_EQ(host.switches, 1);
}

TEST_F(LifecycleTest, LeavingClosesTheImageScannerOnItsOwnControl)
{
    start();
    openDevice("Lane 1");
    dlg().m_nImagerOpenResult = 0;
    control.ClearCalls();
    imageControl.ClearCalls();
    dlg().OnCommand(ID_FILE_EXIT);
    EXPECT_EQ(count("Close()"), 1);
    const auto imageCalls = imageControl.Calls();
    EXPECT_EQ(std::count(imageCalls.begin(), imageCalls.end(), "Close()"), 1);
    EXPECT_EQ(dlg().m_nImagerOpenResult, 104);
}

TEST_F(LifecycleTest, TheConfigurationUtilityStartsFromTheFolderInConfigPath)
{
    start();
    dlg().OnCommand(ID_VIEW_CONFIG);
    EXPECT_EQ(host.messages, std::vector<std::string>{"The TillSetup does not exist"});
    EXPECT_TRUE(host.launched.empty());

    std::filesystem::create_directory("setup");
    std::ofstream("setup/TillSetup") << "program";
    std::ofstream("configPath.txt") << "setup/\n";
    dlg().OnCommand(IDC_BTN_CONFIGUTIL);
    EXPECT_EQ(host.launched, std::vector<std::string>{"setup/TillSetup"});
}

}  // namespace
}  // namespace vxtest
