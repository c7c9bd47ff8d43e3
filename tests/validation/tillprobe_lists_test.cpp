// The Basic View's lists: devices from the OPOS entries, the claim time-out
// of the chosen entry, the countdown's start from the results file, and the
// refills that "ADD_DEVICE" asks for.
#include "ProbeTestSupport.h"

#include <filesystem>
#include <fstream>

using namespace vxtest;
using Verify = BasicViewModel::Verify;

namespace {

struct ListCase {
    const char* name;
    std::function<void()> fixture;
    std::vector<std::string> devices;
    bool listEnabled;
    Verify look;
    bool verifyEnabled;
};

}  // namespace

class ListsTest : public ProbeTest {};

TEST_F(ListsTest, DevicesAreListedFromTheEntriesOfTheScannerCategory)
{
    const std::vector<ListCase> cases = {
        {"entries in creation order",
         [] {
             addEntry("Lane B");
             addEntry("Lane A");
         },
         {"-- Select --", "Lane B", "Lane A"}, true, Verify::Unavailable, false},
        {"the maker in capitals under a capitalised name",
         [] { addEntry("Caps", "10000", "VARNEX"); },
         {"-- Select --", "Caps"}, true, Verify::Unavailable, false},
        {"a number for a maker, another maker, no maker",
         [] {
             addEntry("Listed");
             addEntry("Dword", "10000", "");
             writeDword(devicePath("Dword"), "Manufacturer", 7);
             addEntry("Other", "10000", "Varnex Ltd");
             addEntry("None", "10000", "");
         },
         {"-- Select --", "Listed"}, true, Verify::Unavailable, false},
        {"only an image scanner",
         [] { writeText(devicePath("Imager", "ImageScanner"), "MANUFACTURER", "Varnex"); },
         {"No device exist"}, false, Verify::Unavailable, false},
        {"entries of other makers only",
         [] { addEntry("Other", "10000", "Varnex Ltd"); },
         {"No device exist"}, false, Verify::Unavailable, false},
        {"no category key", [] {}, {"No device exist"}, false, Verify::Unavailable, false},
    };
    for (const ListCase& c : cases) {
        SCOPED_TRACE(c.name);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\OLEforRetail");
        c.fixture();
        start();
        EXPECT_EQ(model().deviceTypes, (std::vector<std::string>{"-- Select --", "Scanner"}));
        EXPECT_EQ(model().deviceTypeText(), "Scanner");
        EXPECT_EQ(model().devices, c.devices);
        EXPECT_EQ(model().device, 0);
        EXPECT_EQ(model().devicesEnabled, c.listEnabled);
        EXPECT_EQ(model().verifyLook, c.look);
        EXPECT_EQ(model().verifyEnabled, c.verifyEnabled);
        EXPECT_EQ(row(), "no device chosen");
        // Verify cannot be pressed while unavailable.
        dlg().OnCommand(probe::IDC_BTN_VERIFY);
        EXPECT_TRUE(calls().empty());
    }
}

TEST_F(ListsTest, TheChosenEntrysCommandTimeoutIsTheClaimTimeout)
{
    const std::vector<std::pair<std::function<void()>, std::string>> cases = {
        {[] { addEntry("Lane", "20000"); }, "20000"},
        {[] { modifiedEntry("Lane", "20000"); }, "20000"},
        {[] { addEntry("Lane", "2147483647"); }, "2147483647"},
        {[] { addEntry("Lane", "20000x"); }, "10000"},
        {[] { addEntry("Lane", ""); }, "10000"},
        {[] { addEntry("Lane", "99999999999"); }, "10000"},
        {[] { addEntry("Lane", "2147483648"); }, "10000"},
        {[] {
             addEntry("Lane");
             HKEY key = nullptr;
             RegOpenKeyExA(HKEY_LOCAL_MACHINE, devicePath("Lane").c_str(), 0, KEY_ALL_ACCESS, &key);
             RegDeleteValueA(key, "COMMANDTIMEOUT");
             RegCloseKey(key);
         },
         "10000"},
    };
    for (const auto& [fixture, expected] : cases) {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\OLEforRetail");
        fixture();
        start();
        choose("Lane");
        SCOPED_TRACE(expected);
        EXPECT_EQ(dlg().ClaimTimeoutText(), expected);
        EXPECT_EQ(row(), "device chosen");
        verify("Lane");
        ASSERT_GE(calls().size(), 2u);
        EXPECT_EQ(calls()[1], "ClaimDevice(" + expected + ")");
        dlg().CloseDevice();
    }
}

TEST_F(ListsTest, TheCountdownStartsFromTheResultsFile)
{
    const std::vector<std::pair<const char*, int>> cases = {
        {"[TimeOut]\ntime=30\n", 30},         {"[TimeOut]\ntime=3x\n", 10},
        {"[TimeOut]\ntime=1000000000\n", 1000000000},
        {"[TimeOut]\ntime=1000000001\n", 10}, {"[TimeOut]\ntime=99999999999\n", 10},
        {"[TimeOut]\ntime=-5\n", 10},         {"[ResultCode]\n0=OPOS_SUCCESS\n", 10},
        {nullptr, 10},
    };
    for (const auto& [file, expected] : cases) {
        SCOPED_TRACE(file != nullptr ? file : "no file");
        std::filesystem::remove("resultsProperty.ini");
        if (file != nullptr)
            std::ofstream("resultsProperty.ini") << file;
        start();
        EXPECT_EQ(dlg().CountdownStart(), expected);
    }
}

TEST_F(ListsTest, AddDeviceRefillsAtOnceWhenNothingIsChosen)
{
    start();
    ASSERT_EQ(model().devices, (std::vector<std::string>{"No device exist"}));
    addEntry("New Lane");
    dlg().OnAddDevice();
    EXPECT_EQ(model().devices, (std::vector<std::string>{"-- Select --", "New Lane"}));
    EXPECT_TRUE(model().devicesEnabled);
    choose("New Lane");
    EXPECT_EQ(row(), "device chosen");
}

TEST_F(ListsTest, AddDeviceWithADeviceChosenRefillsAtTheNextDropDownKeepingIt)
{
    addEntry("Lane 1");
    addEntry("Lane 2");
    start();
    choose("Lane 2");
    addEntry("Lane 3");
    dlg().OnAddDevice();
    EXPECT_TRUE(dlg().DeviceListStale());
    EXPECT_EQ(model().devices, (std::vector<std::string>{"-- Select --", "Lane 1", "Lane 2"}));
    dlg().OnDropdownComboDevice();
    EXPECT_FALSE(dlg().DeviceListStale());
    EXPECT_EQ(model().devices, (std::vector<std::string>{"-- Select --", "Lane 1", "Lane 2", "Lane 3"}));
    EXPECT_EQ(model().deviceText(), "Lane 2");
    EXPECT_EQ(row(), "device chosen");
    verify("Lane 2");
    EXPECT_EQ(calls().at(0), "Open(Lane 2)");
}

TEST_F(ListsTest, ARefillWithoutTheChosenDeviceDisarmsVerify)
{
    addEntry("Lane 1");
    addEntry("Lane 2");
    start();
    choose("Lane 2");
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, devicePath("Lane 2").c_str());
    dlg().OnAddDevice();
    dlg().OnDropdownComboDevice();
    EXPECT_EQ(model().devices, (std::vector<std::string>{"-- Select --", "Lane 1"}));
    EXPECT_EQ(model().deviceText(), "-- Select --");
    EXPECT_EQ(row(), "no device chosen");

    // And with no device left at all.
    choose("Lane 1");
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, devicePath("Lane 1").c_str());
    dlg().OnAddDevice();
    dlg().OnDropdownComboDevice();
    EXPECT_EQ(model().devices, (std::vector<std::string>{"No device exist"}));
    EXPECT_EQ(row(), "no device chosen");
}

TEST_F(ListsTest, ChoosingAnotherDeviceWhileReadingClosesTheFirst)
{
    addEntry("Lane 1");
    addEntry("Lane 2");
    start();
    verify("Lane 1");
    ASSERT_EQ(row(), "reading");
    control.ClearCalls();
    model().device = 2;
    dlg().OnSelchangeComboDevice();
    EXPECT_EQ(host.messages, (std::vector<std::string>{"Currently opened device will be closed automatically"}));
    EXPECT_EQ(calls(), (std::vector<std::string>{"put DataEventEnabled=0", "put DeviceEnabled=0", "put DecodeData=0",
                                                 "ReleaseDevice()", "Close()"}));
    EXPECT_EQ(dlg().DeviceName(), "Lane 2");
    EXPECT_EQ(row(), "device chosen");
}
