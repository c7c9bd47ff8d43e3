// The OPOS device entries as the add, modify, save and remove flows leave
// them: values, types, NUL-counted sizes, the default value and order.
#include "ConfigTestSupport.h"

using namespace vxtest;
using namespace ctl;

namespace {

class EntriesTest : public ControllerTest {
protected:
    void SetUp() override
    {
        ControllerTest::SetUp();
        start(RegistryApi::System());
    }
};

}  // namespace

TEST_F(EntriesTest, AddWritesTheEntryInOrderWithTheProgIdAsDefault)
{
    fillAdd("Front Lane  \t", "COM3");
    dlg().OnAddbutton();
    EXPECT_EQ(host.messages, (std::vector<Shown>{{"Device added successfully", 3}}));
    EXPECT_FALSE(keyExists(devicePath("Front Lane  \t")));
    EXPECT_EQ(storedValues(devicePath("Front Lane")),
              (std::vector<StoredValue>{
                  {"", REG_SZ, sz("VX.ScannerSO")},
                  {"PORT", REG_SZ, sz("COM3")},
                  {"AUTODETECT", REG_SZ, sz("False")},
                  {"MANUFACTURER", REG_SZ, sz("Varnex")},
                  {"COMMANDTIMEOUT", REG_SZ, sz("10000")},
                  {"MAXIMUMTIMEOUT", REG_SZ, sz("300000")},
                  {"CLAIMTIMEOUT_0", REG_SZ, sz("500")},
                  {"SCANDATAOPTION_01", REG_DWORD, dword(0)},
                  {"DECODE_GS1_LTD", REG_DWORD, dword(0)},
              }));
    // The form is fresh again, in add mode.
    EXPECT_EQ(text(IDC_ENTERDEVICENAME), "Enter the name");
    EXPECT_EQ(text(IDC_CONNECTIONCOMBO), "True");
    EXPECT_EQ(form().Focus(), IDC_ADDDEVICERADIO);
}

TEST_F(EntriesTest, AddWithAutoDetectStoresCom1AndAnIsoLatinName)
{
    setText(IDC_ENTERDEVICENAME, "Caf\xC3\xA9");
    dlg().OnAddbutton();
    ASSERT_EQ(host.lastMessage(), "Device added successfully");
    const auto values = storedValues(devicePath("Caf\xE9"));
    ASSERT_GE(values.size(), 3u);
    EXPECT_EQ(values[1], (StoredValue{"PORT", REG_SZ, sz("COM1")}));
    EXPECT_EQ(values[2], (StoredValue{"AUTODETECT", REG_SZ, sz("True")}));
    dlg().OnCommand(IDC_EDITREMOVERADIO);
    EXPECT_EQ(items(IDC_DEVICENAMECOMBO), (std::vector<std::string>{"-- Select --", "Caf\xC3\xA9"}));
}

TEST_F(EntriesTest, ModifyRewritesFiveValuesAddsMissingExtrasAndLeavesCounters)
{
    makeEntry("Lane1", "COM3");
    writeValue(devicePath("Lane1"), "GOODSCANCOUNT", REG_DWORD, dword(41));
    makeEntry("Lane2", "COM3");
    writeValue(devicePath("Lane2"), "CLAIMTIMEOUT_0", REG_SZ, sz("750"));
    for (const char* name : {"Lane1", "Lane2"}) {
        showDevice(name);
        setText(IDC_TIMEOUTCOMBO, "20000");
        dlg().OnEditchangeTimeoutcombo();
        EXPECT_TRUE(dlg().PendingChange());
        dlg().OnModifyValues();
        EXPECT_EQ(host.lastMessage(), "Specified settings modified successfully");
        EXPECT_EQ(host.messages.back().kind, 3);
        EXPECT_FALSE(dlg().PendingChange());
        EXPECT_EQ(form().Focus(), IDC_MODIFY);
        dlg().OnCommand(IDC_ADDDEVICERADIO);
    }
    EXPECT_EQ(storedValues(devicePath("Lane1")),
              (std::vector<StoredValue>{
                  {"", REG_SZ, sz("VX.ScannerSO")},
                  {"PORT", REG_SZ, sz("COM3")},
                  {"MANUFACTURER", REG_SZ, sz("Varnex")},
                  {"COMMANDTIMEOUT", REG_SZ, sz("20000")},
                  {"MAXIMUMTIMEOUT", REG_SZ, sz("300000")},
                  {"GOODSCANCOUNT", REG_DWORD, dword(41)},
                  {"AUTODETECT", REG_SZ, sz("False")},
                  {"CLAIMTIMEOUT_0", REG_SZ, sz("500")},
                  {"SCANDATAOPTION_01", REG_DWORD, dword(0)},
                  {"DECODE_GS1_LTD", REG_DWORD, dword(0)},
              }));
    const auto lane2 = storedValues(devicePath("Lane2"));
    EXPECT_NE(std::find(lane2.begin(), lane2.end(), StoredValue{"CLAIMTIMEOUT_0", REG_SZ, sz("750")}), lane2.end());
}

TEST_F(EntriesTest, ModifyWithoutAChangeRewritesAndSaysNoChangesAndAutoDetectTrueStoresCom1)
{
    makeEntry("Lane1", "COM3", "True");
    showDevice("Lane1");
    dlg().OnModifyValues();
    EXPECT_EQ(host.lastMessage(), "No changes made for modification");
    EXPECT_EQ(text(IDC_DEVICENAMECOMBO), "Lane1");
    const auto values = storedValues(devicePath("Lane1"));
    EXPECT_NE(std::find(values.begin(), values.end(), StoredValue{"PORT", REG_SZ, sz("COM1")}), values.end());
    EXPECT_EQ(values.back(), (StoredValue{"DECODE_GS1_LTD", REG_DWORD, dword(0)}));
}

TEST_F(EntriesTest, ThePromptsSaveRewritesWithoutExtrasAndRenamesTheService)
{
    makeEntry("Lane1", "COM3");
    writeValue(devicePath("Lane1"), "", REG_SZ, sz("Someone.Else"));
    writeValue(devicePath("Lane1"), "NOREADCOUNT", REG_DWORD, dword(7));
    makeEntry("Lane2", "COM1");
    showDevice("Lane1");
    choose(IDC_COMPORTCOMBO, "COM1");
    ASSERT_TRUE(dlg().PendingChange());
    host.saveAnswers = {1};
    choose(IDC_DEVICENAMECOMBO, "Lane2");
    EXPECT_EQ(host.prompts, (std::vector<std::string>{"LANE1"}));
    EXPECT_EQ(host.lastMessage(), "Specified settings modified successfully");
    EXPECT_EQ(text(IDC_DEVICENAMECOMBO), "Lane2");
    EXPECT_EQ(storedValues(devicePath("Lane1")),
              (std::vector<StoredValue>{
                  {"", REG_SZ, sz("VX.ScannerSO")},
                  {"PORT", REG_SZ, sz("COM1")},
                  {"MANUFACTURER", REG_SZ, sz("Varnex")},
                  {"COMMANDTIMEOUT", REG_SZ, sz("10000")},
                  {"MAXIMUMTIMEOUT", REG_SZ, sz("300000")},
                  {"NOREADCOUNT", REG_DWORD, dword(7)},
                  {"AUTODETECT", REG_SZ, sz("False")},
              }));
}

TEST_F(EntriesTest, ADeviceDeletedMeanwhileCountsAsSavedAndNothingIsWritten)
{
    makeEntry("Lane1", "COM3");
    makeEntry("Lane2", "COM1");
    showDevice("Lane1");
    choose(IDC_COMPORTCOMBO, "COM1");
    deleteKeyTree(devicePath("Lane1"));
    host.saveAnswers = {1};
    dlg().OnClose();
    EXPECT_EQ(host.ended, (std::vector<int>{0}));
    EXPECT_TRUE(host.messages.empty());
    EXPECT_FALSE(keyExists(devicePath("Lane1")));
    EXPECT_FALSE(dlg().PendingChange());
    EXPECT_EQ(items(IDC_DEVICENAMECOMBO), (std::vector<std::string>{"-- Select --", "Lane2"}));
}

TEST_F(EntriesTest, RemoveDeletesTheKeyAndTheListFallsBackToSelect)
{
    makeEntry("Only", "COM3");
    showDevice("Only");
    dlg().OnRemove();
    EXPECT_EQ(host.confirmations, 1);
    EXPECT_EQ(host.lastMessage(), "Device removed successfully");
    EXPECT_EQ(host.messages.back().kind, 3);
    EXPECT_FALSE(keyExists(devicePath("Only")));
    EXPECT_EQ(items(IDC_DEVICENAMECOMBO), (std::vector<std::string>{"-- Select --"}));
    EXPECT_EQ(text(IDC_DEVICENAMECOMBO), "-- Select --");
    EXPECT_EQ(form().Focus(), IDC_SUBKEYS);

    makeEntry("Kept", "COM3");
    showDevice("Kept");
    host.confirmAnswer = false;
    dlg().OnRemove();
    EXPECT_TRUE(keyExists(devicePath("Kept")));
}

TEST_F(EntriesTest, OnlyAWholeMakerNameInAnyCaseListsADevice)
{
    makeEntry("Capitals", "COM3", "False", "VARNEX");
    makeEntry("MoreWords", "COM3", "False", "Varnex Corp");
    makeEntry("NoMaker", "COM3", "False", "");
    makeEntry("Dword", "COM3", "False", "");
    writeValue(devicePath("Dword"), "MANUFACTURER", REG_DWORD, dword(1));
    makeEntry("Lower", "COM3", "False", "");
    writeValue(devicePath("Lower"), "manufacturer", REG_SZ, sz("varnex"));
    makeEntry("Image", "COM3", "False", "Varnex", "ImageScanner");
    dlg().OnCommand(IDC_EDITREMOVERADIO);
    EXPECT_EQ(items(IDC_DEVICENAMECOMBO), (std::vector<std::string>{"-- Select --", "Capitals", "Lower"}));
}

TEST_F(EntriesTest, AnImageScannerEntryNamesTheImagerAndKeepsItsAimMode)
{
    form().AddString(IDC_SUBKEYS, "ImageScanner");
    choose(IDC_SUBKEYS, "ImageScanner");
    EXPECT_TRUE(form().IsWindowVisible(IDC_AIMMODECOMBO));
    fillAdd("Imager", "HID1");
    choose(IDC_AIMMODECOMBO, "Interlaced");
    dlg().OnAddbutton();
    ASSERT_EQ(host.lastMessage(), "Device added successfully");
    const auto values = storedValues(devicePath("Imager", "ImageScanner"));
    ASSERT_EQ(values.size(), 10u);
    EXPECT_EQ(values[0], (StoredValue{"", REG_SZ, sz("VX.ImagerSO")}));
    EXPECT_EQ(values[9], (StoredValue{"AIMMODE", REG_SZ, sz("Interlaced")}));
}
