// The add flow's checks in their order, the modify flow's missing fields
// and their focus order, and the unsaved-changes prompt for each caller.
#include "ConfigTestSupport.h"
#include "FieldChecks.h"

#include <algorithm>

#include <functional>

using namespace vxtest;
using namespace ctl;

namespace {

class FlowsTest : public ControllerTest {
protected:
    void SetUp() override
    {
        ControllerTest::SetUp();
        start(RegistryApi::System());
    }
};

}  // namespace

TEST_F(FlowsTest, AddChecksStopAtTheFirstFailureWithItsMessageAndFocus)
{
    makeEntry("Taken", "COM3");
    const std::string none = "";
    const std::string blank = "Device name cannot be blank.You must enter atleast one character.";
    const std::string range = "Enter a Time out value in the range \r\n 10000 - 30000 milliseconds";
    const std::string maxRange = "Enter a Maximum timeout value in the range \r\n 60000 - 4294967296 milliseconds";
    const std::string badPort = "Invalid port value.Type a value in the COMXXX or HIDXXX format";
    struct Row {
        const char* name;
        const char* autoDetect;  // "True", "False" or "" (no selection)
        const char* port;
        const char* timeout;
        const char* maxTimeout;
        std::string message;  // "" : added
        int kind;
        int focus;
    };
    const Row rows[] = {
        {"", "True", "", "10000", "300000", "Please specify a device name", 0, IDC_ENTERDEVICENAME},
        {"Enter the name", "True", "", "10000", "300000", "Please specify a device name", 0, IDC_ENTERDEVICENAME},
        {"   ", "True", "", "10000", "300000", blank, 0, IDC_ENTERDEVICENAME},
        {" \t", "True", "", "10000", "300000", blank, 0, IDC_ENTERDEVICENAME},
        {"a\\b", "True", "", "10000", "300000",
         "Device name cannot contain (\\).Please enter a valid device name.", 0, IDC_ENTERDEVICENAME},
        {"TAKEN", "True", "", "10000", "300000", "This name already exists, please enter a different name", 0,
         IDC_ENTERDEVICENAME},
        {"Taken ", "True", "", "9999", "300000", "This name already exists, please enter a different name", 0,
         IDC_ENTERDEVICENAME},
        {"N1", "", "", "10000", "300000", "Please specify the connection type.", 0, -1},
        {"N2", "False", "-- Select --", "10000", "300000", "Please check out the missing fields", 0, IDC_COMPORTCOMBO},
        {"N3", "False", "", "10000", "300000", "Please check out the missing fields", 0, IDC_COMPORTCOMBO},
        {"N4", "False", "COM", "10000", "300000", badPort, 0, IDC_COMPORTCOMBO},
        {"N5", "False", "COM1234", "10000", "300000", badPort, 0, IDC_COMPORTCOMBO},
        {"N6", "False", "Com5", "10000", "300000", badPort, 0, IDC_COMPORTCOMBO},
        {"N7", "False", "COMA", "10000", "300000", badPort, 0, IDC_COMPORTCOMBO},
        {"N8", "False", "COM5", "9999", "300000", range, 1, IDC_TIMEOUTCOMBO},
        {"N9", "False", "COM5", "30001", "300000", range, 1, IDC_TIMEOUTCOMBO},
        {"N10", "False", "COM5", "1x000", "300000", range, 1, IDC_TIMEOUTCOMBO},
        {"N11", "False", "COM5", "10000", "59999", maxRange, 1, IDC_INFINITECOMBO},
        {"N12", "False", "COM5", "10000", "4294967297", maxRange, 1, IDC_INFINITECOMBO},
        {"Ok1", "False", "com5", "10000", "60000", none, 3, IDC_ADDDEVICERADIO},
        {"Ok2", "False", "HID2", "30000", "4294967296", none, 3, IDC_ADDDEVICERADIO},
        {"Ok3", "False", "COM255", "10000", "300000", none, 3, IDC_ADDDEVICERADIO},
        {"Ok4", "True", "-- Select --", "10000", "300000", none, 3, IDC_ADDDEVICERADIO},
    };
    for (const Row& row : rows) {
        host.messages.clear();
        setText(IDC_ENTERDEVICENAME, row.name);
        if (std::string(row.autoDetect).empty()) {
            form().SetCurSel(IDC_CONNECTIONCOMBO, -1);
        } else {
            choose(IDC_CONNECTIONCOMBO, row.autoDetect);
        }
        setText(IDC_COMPORTCOMBO, row.port);
        setText(IDC_TIMEOUTCOMBO, row.timeout);
        setText(IDC_INFINITECOMBO, row.maxTimeout);
        form().SetFocus(-1);
        dlg().OnAddbutton();
        const std::string expected = row.message.empty() ? "Device added successfully" : row.message;
        ASSERT_EQ(host.messages.size(), 1u) << row.name;
        EXPECT_EQ(host.messages[0], (Shown{expected, row.kind})) << row.name;
        EXPECT_EQ(form().Focus(), row.focus) << row.name;
        const std::string trimmed = TrimRight(row.name);
        const bool checkable = CheckString(trimmed) == 0 && trimmed != "Taken" && trimmed != "TAKEN";
        const bool written = checkable && keyExists(devicePath(trimmed));
        EXPECT_EQ(written, row.message.empty()) << row.name;
        if (std::string(row.name) == "Ok4") {
            EXPECT_EQ(storedValues(devicePath("Ok4"))[1], (StoredValue{"PORT", REG_SZ, sz("COM1")}));
        }
    }
    EXPECT_TRUE(form().At(IDC_ENTERDEVICENAME).selectAll);  // after the backslash
}

TEST_F(FlowsTest, AddNeedsACategoryAndDoesNothingInEditMode)
{
    form().ResetContent(IDC_SUBKEYS);
    form().AddString(IDC_SUBKEYS, "-- Select --");
    form().SetCurSel(IDC_SUBKEYS, 0);
    fillAdd("Lane", "COM3");
    dlg().OnAddbutton();
    EXPECT_EQ(host.messages, (std::vector<Shown>{{"Please select the device type", 0}}));
    EXPECT_EQ(form().Focus(), IDC_SUBKEYS);

    dlg().OnCommand(IDC_EDITREMOVERADIO);
    host.messages.clear();
    dlg().OnAddbutton();
    dlg().OnCommand(ID_FILE_DEVICE_ADDDEVICE);  // disabled in edit/remove mode
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(FlowsTest, ModifyReportsTheFirstMissingFieldInOrder)
{
    makeEntry("Lane", "COM3");
    struct Row {
        const char* name;
        std::function<void(FormModel&)> change;
        int focus;  // 0: passes the check
    };
    auto improper = [](FormModel& f, int id) { f.SetCurSel(id, f.AddString(id, "Improper value set")); };
    auto select = [](FormModel& f, int id) {
        int index = f.FindStringExact(id, -1, "-- Select --");
        if (index < 0)
            index = f.InsertString(id, 0, "-- Select --");
        f.SetCurSel(id, index);
    };
    const Row rows[] = {
        {"improper port", [&](FormModel& f) { improper(f, IDC_COMPORTCOMBO); }, IDC_COMPORTCOMBO},
        {"select port, auto-detect False", [&](FormModel& f) { select(f, IDC_COMPORTCOMBO); }, IDC_COMPORTCOMBO},
        {"empty port", [&](FormModel& f) { f.SetWindowText(IDC_COMPORTCOMBO, ""); }, IDC_COMPORTCOMBO},
        {"improper auto-detect", [&](FormModel& f) { improper(f, IDC_CONNECTIONCOMBO); }, IDC_CONNECTIONCOMBO},
        {"select time-out", [&](FormModel& f) { select(f, IDC_TIMEOUTCOMBO); }, IDC_TIMEOUTCOMBO},
        {"improper time-out", [&](FormModel& f) { improper(f, IDC_TIMEOUTCOMBO); }, IDC_TIMEOUTCOMBO},
        {"select maximum", [&](FormModel& f) { select(f, IDC_INFINITECOMBO); }, IDC_INFINITECOMBO},
        {"time-out and maximum: time-out first",
         [&](FormModel& f) {
             select(f, IDC_INFINITECOMBO);
             improper(f, IDC_TIMEOUTCOMBO);
         },
         IDC_TIMEOUTCOMBO},
        {"port before all",
         [&](FormModel& f) {
             improper(f, IDC_TIMEOUTCOMBO);
             improper(f, IDC_CONNECTIONCOMBO);
             f.SetWindowText(IDC_COMPORTCOMBO, "");
         },
         IDC_COMPORTCOMBO},
        {"aim mode is not looked at for a scanner", [&](FormModel& f) { improper(f, IDC_AIMMODECOMBO); }, 0},
    };
    for (const Row& row : rows) {
        showDevice("Lane");
        host.messages.clear();
        row.change(form());
        form().SetFocus(-1);
        dlg().OnModifyValues();
        if (row.focus == 0) {
            EXPECT_EQ(host.lastMessage(), "No changes made for modification") << row.name;
        } else {
            EXPECT_EQ(host.messages, (std::vector<Shown>{{"Please check out the missing fields", 0}})) << row.name;
            EXPECT_EQ(form().Focus(), row.focus) << row.name;
        }
        dlg().OnCommand(IDC_ADDDEVICERADIO);
    }
    // With auto-detect True, "-- Select --" in the port is no missing field.
    makeEntry("Auto", "COM1", "True");
    showDevice("Auto");
    host.messages.clear();
    dlg().OnModifyValues();
    EXPECT_EQ(host.lastMessage(), "No changes made for modification");
}

TEST_F(FlowsTest, ModifyOfAnImageScannerLooksAtTheAimModeNotAutoDetect)
{
    makeEntry("Imager", "COM3", "False", "Varnex", "ImageScanner");
    writeValue(devicePath("Imager", "ImageScanner"), "AIMMODE", REG_SZ, sz("Sideways"));
    form().AddString(IDC_SUBKEYS, "ImageScanner");
    dlg().OnCommand(IDC_EDITREMOVERADIO);
    choose(IDC_SUBKEYS, "ImageScanner");
    choose(IDC_DEVICENAMECOMBO, "Imager");
    EXPECT_EQ(text(IDC_AIMMODECOMBO), "Improper value set");
    form().SetCurSel(IDC_CONNECTIONCOMBO, form().AddString(IDC_CONNECTIONCOMBO, "Improper value set"));
    dlg().OnModifyValues();
    EXPECT_EQ(host.lastMessage(), "Please check out the missing fields");
    EXPECT_EQ(form().Focus(), IDC_AIMMODECOMBO);
}

TEST_F(FlowsTest, ModifyRangeAndPortMessagesArePlain)
{
    makeEntry("Lane", "COM3");
    struct Row {
        int id;
        const char* value;
        std::string message;
    };
    const Row rows[] = {
        {IDC_COMPORTCOMBO, "Com5", "Invalid port value.Type a value in the COMXXX or HIDXXX format"},
        {IDC_TIMEOUTCOMBO, "9999", "Enter a Time out value in the range \r\n 10000 - 30000 milliseconds"},
        {IDC_INFINITECOMBO, "59999", "Enter a Maximum timeout value in the range \r\n 60000 - 4294967296 milliseconds"},
    };
    for (const Row& row : rows) {
        showDevice("Lane");
        host.messages.clear();
        setText(row.id, row.value);
        dlg().OnModifyValues();
        EXPECT_EQ(host.messages, (std::vector<Shown>{{row.message, 0}})) << row.value;
        EXPECT_EQ(form().Focus(), row.id);
        dlg().OnCommand(IDC_ADDDEVICERADIO);
    }
}

// Every caller of the prompt, with every outcome: 1 saved, 2 discarded,
// 3 cancelled, 4 nothing pending, 5 saving failed.
TEST_F(FlowsTest, EachCallerOfThePromptGoesOnOrStaysByItsOutcome)
{
    struct Caller {
        const char* name;
        std::function<void()> act;
        std::function<bool()> wentOn;
    };
    const Caller callers[] = {
        {"closing", [&] { dlg().OnClose(); }, [&] { return !host.ended.empty(); }},
        {"add-mode switch", [&] { dlg().OnCommand(IDC_ADDDEVICERADIO); },
         [&] { return !dlg().EditMode() && form().GetCheck(IDC_ADDDEVICERADIO) && !form().GetCheck(IDC_EDITREMOVERADIO); }},
        {"validation utility launch", [&] { dlg().OnValidateexe(); },
         [&] { return host.lastMessage() == "The TillProbe does not exist"; }},
        {"device-list selection", [&] { choose(IDC_DEVICENAMECOMBO, "Beta"); },
         [&] { return text(IDC_DEVICENAMECOMBO) == "Beta" && dlg().LastDevice() == "Beta"; }},
        {"category selection",
         [&] {
             form().AddString(IDC_SUBKEYS, "ImageScanner");
             choose(IDC_SUBKEYS, "ImageScanner");
         },
         [&] { return dlg().RememberedCategory() == "ImageScanner"; }},
    };
    for (const Caller& caller : callers) {
        for (int outcome = 1; outcome <= 5; ++outcome) {
            SCOPED_TRACE(std::string(caller.name) + " outcome " + std::to_string(outcome));
            deleteKeyTree("SOFTWARE\\OLEforRetail\\ServiceOPOS");
            makeEntry("Alpha", "COM3");
            makeEntry("Beta", "COM1");
            host = FakeHost();
            start(RegistryApi::System());
            showDevice("Alpha");
            if (outcome != 4) {
                setText(IDC_TIMEOUTCOMBO, outcome == 5 ? "9999" : "20000");
                dlg().OnEditchangeTimeoutcombo();
                ASSERT_TRUE(dlg().PendingChange());
                host.saveAnswers = {outcome == 5 ? 1 : outcome};
            }
            caller.act();
            EXPECT_TRUE(host.saveAnswers.empty());
            const bool goesOn = outcome != 3 && outcome != 5;
            EXPECT_EQ(caller.wentOn(), goesOn);
            if (goesOn) {
                EXPECT_FALSE(dlg().PendingChange());
            } else {
                EXPECT_TRUE(dlg().PendingChange());
                EXPECT_EQ(text(IDC_DEVICENAMECOMBO), "Alpha");
            }
            const auto alpha = storedValues(devicePath("Alpha"));
            const bool saved = std::find(alpha.begin(), alpha.end(),
                                         StoredValue{"COMMANDTIMEOUT", REG_SZ, sz("20000")}) != alpha.end();
            EXPECT_EQ(saved, outcome == 1);
            if (outcome == 5) {
                EXPECT_EQ(host.messages.front().text,
                          "Enter a Time out value in the range \r\n 10000 - 30000 milliseconds");
            }
        }
    }
}

TEST_F(FlowsTest, TheCancelledPromptKeepsTheFirstDeviceWithItsChangeAndNoForgetsIt)
{
    makeEntry("Alpha", "COM3");
    makeEntry("Beta", "COM1");
    showDevice("Alpha");
    choose(IDC_COMPORTCOMBO, "COM1");
    host.saveAnswers = {3};
    choose(IDC_DEVICENAMECOMBO, "Beta");
    EXPECT_EQ(text(IDC_DEVICENAMECOMBO), "Alpha");
    EXPECT_EQ(text(IDC_COMPORTCOMBO), "COM1");
    host.saveAnswers = {2};
    choose(IDC_DEVICENAMECOMBO, "Beta");
    EXPECT_EQ(text(IDC_DEVICENAMECOMBO), "Beta");
    EXPECT_EQ(text(IDC_COMPORTCOMBO), "COM1");  // Beta's own port
    EXPECT_FALSE(dlg().PendingChange());
    showDevice("Alpha");
    EXPECT_EQ(text(IDC_COMPORTCOMBO), "COM3");
}

TEST_F(FlowsTest, StoredValuesTheFormCannotShowAreMarked)
{
    makeEntry("Odd", "COM77");
    writeValue(devicePath("Odd"), "COMMANDTIMEOUT", REG_SZ, sz("5"));
    writeValue(devicePath("Odd"), "MAXIMUMTIMEOUT", REG_SZ, sz("4294967297"));
    showDevice("Odd");
    EXPECT_EQ(text(IDC_COMPORTCOMBO), "Improper value set");
    EXPECT_TRUE(form().IsWindowVisible(IDC_PORTNUMBER));
    EXPECT_EQ(text(IDC_PORTNUMBER), "** Note: Present port value is COM77");
    EXPECT_EQ(text(IDC_TIMEOUTCOMBO), "Improper value set");
    EXPECT_EQ(text(IDC_INFINITECOMBO), "Improper value set");
    // Without the value: "-- Select --".
    makeEntry("Bare", "COM3");
    HKEY key = nullptr;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, devicePath("Bare").c_str(), 0, KEY_ALL_ACCESS, &key);
    RegDeleteValueA(key, "COMMANDTIMEOUT");
    RegCloseKey(key);
    choose(IDC_DEVICENAMECOMBO, "Bare");
    EXPECT_EQ(text(IDC_TIMEOUTCOMBO), "-- Select --");
    EXPECT_FALSE(form().IsWindowVisible(IDC_PORTNUMBER));
}

TEST_F(FlowsTest, AChangeSetsThePendingFlagOnlyForADeviceShownInEditMode)
{
    choose(IDC_TIMEOUTCOMBO, "10000");
    setText(IDC_INFINITECOMBO, "70000");
    dlg().OnEditchangeInfinitecombo();
    EXPECT_FALSE(dlg().PendingChange());
    makeEntry("Lane", "COM3");
    dlg().OnCommand(IDC_EDITREMOVERADIO);
    dlg().OnEditchangeInfinitecombo();
    EXPECT_FALSE(dlg().PendingChange());  // no device chosen yet
    choose(IDC_DEVICENAMECOMBO, "Lane");
    dlg().OnEditupdateComportcombo();
    EXPECT_TRUE(dlg().PendingChange());
}
