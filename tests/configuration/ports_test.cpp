// Ports: the COM list from the MS-DOS device names, the port box's key
// filter, the maker's HID scanners, and the chosen port across device
// notices.
#include "ConfigTestSupport.h"
#include "FieldChecks.h"
#include "PortDetection.h"
#include "TestSupport.h"

#include "platform/dbt.h"
#include "platform/debug.h"
#include "platform/hid.h"
#include "platform/serial.h"
#include "platform/setupapi.h"

#include "simulator/hid_model.h"
#include "simulator/hid_scanner.h"
#include "simulator/serial_model.h"
#include "simulator/virtual_serial_port.h"

#include <memory>
#include <set>

using namespace vxtest;
using namespace ctl;

TEST(Ports, OnlyComWithDigitsIsListedAscendingThenHid1)
{
    const DosDeviceSource fake = [] {
        return std::vector<std::string>{"COM10", "COM3", "COM1", "COM4X", "COMA", "com7", "COM", "LPT1", "COM3"};
    };
    std::vector<unsigned> ports;
    EnumerateComPorts(ports, fake);
    EXPECT_EQ(ports, (std::vector<unsigned>{10, 3, 1, 7, 3}));
    SortPorts(ports);
    EXPECT_EQ(ports, (std::vector<unsigned>{1, 3, 3, 7, 10}));
    EXPECT_EQ(PortListEntries(fake), (std::vector<std::string>{"COM1", "COM3", "COM3", "COM7", "COM10", "HID1"}));
}

class PortListTest : public ControllerTest {};

TEST_F(PortListTest, TheFormOffersSelectThenTheComPortsThenHid1)
{
    dosDevices = {"COM10", "COM3", "COM1", "COM4X", "COMA"};
    start(RegistryApi::System());
    EXPECT_EQ(items(IDC_COMPORTCOMBO), (std::vector<std::string>{"-- Select --", "COM1", "COM3", "COM10", "HID1"}));
    EXPECT_EQ(text(IDC_COMPORTCOMBO), "-- Select --");
    EXPECT_FALSE(form().IsWindowEnabled(IDC_COMPORTCOMBO));
    choose(IDC_CONNECTIONCOMBO, "False");
    EXPECT_TRUE(form().IsWindowEnabled(IDC_COMPORTCOMBO));
    EXPECT_EQ(items(IDC_COMPORTCOMBO), (std::vector<std::string>{"-- Select --", "COM1", "COM3", "COM10", "HID1"}));
}

TEST(Ports, TheKeyFilterLetsOnlyComOrHidAndDigitsThrough)
{
    struct Row {
        const char* before;
        char key;
        bool special;
        bool shift;
        bool allowed;
    };
    const Row rows[] = {
        {"", 'C', false, false, true},       {"", 'H', false, false, true},      {"", 'X', false, false, false},
        {"", '1', false, false, false},      {"-- Select --", 'c', false, false, true},
        {"C", 'O', false, false, true},      {"c", 'o', false, false, true},     {"C", 'I', false, false, false},
        {"H", 'I', false, false, true},      {"H", 'O', false, false, false},    {"CO", 'M', false, false, true},
        {"hi", 'D', false, false, true},     {"CO", 'D', false, false, false},   {"COM", '1', false, false, true},
        {"COM", 'A', false, false, false},   {"COM", '1', false, true, false},   {"com12", '3', false, false, true},
        {"Com", '1', false, false, false},   {"HID1", '9', false, false, true},  {"COM123", '4', false, false, false},
        {"COM123", 0, true, false, true},    {"", 0, true, false, true},         {"XYZ", 0, true, false, true},
    };
    for (const Row& row : rows)
        EXPECT_EQ(PortKeyAllowed(row.before, row.key, row.special, row.shift, "-- Select --"), row.allowed)
            << "'" << row.before << "' + " << row.key;
}

TEST(Ports, TypedPortRuleAndNameChecks)
{
    for (const char* good : {"com5", "HID2", "COM255", "hid1", "COM1"})
        EXPECT_TRUE(IsValidTypedPort(good)) << good;
    for (const char* bad : {"COM", "COM1234", "Com5", "COMA", "COM1A", "HId1", "LPT1", ""})
        EXPECT_FALSE(IsValidTypedPort(bad)) << bad;
    EXPECT_EQ(CheckString(""), 1);
    EXPECT_EQ(CheckString("   "), 1);
    EXPECT_EQ(CheckString(" a\\"), 2);
    EXPECT_EQ(CheckString("Lane 1"), 0);
    EXPECT_EQ(CheckTimeout(""), 1);
    EXPECT_EQ(CheckTimeout("10 000"), 1);
    EXPECT_EQ(CheckTimeout("1e4"), 0);
    EXPECT_FALSE(IsDigitString("", false));
    EXPECT_TRUE(IsDigitString("12:30", true));
    EXPECT_FALSE(IsDigitString("12:30", false));
}

TEST(Ports, TheMakersHidScannersAreFoundByTheirManufacturerPrefix)
{
    struct Device {
        const char* id;
        std::optional<std::string> manufacturer;
        const char* product;
    };
    const Device devices[] = {
        {"a-lower-long", "varnex point of sale systems", "Lane scanner"},
        {"b-short", "Var", "Not ours"},
        {"c-former", "BRELLON", "Old scanner"},
        {"d-abbreviation", "RQN Ltd", "Older scanner"},
        {"e-other", "Othermaker", "Theirs"},
        {"f-no-string", std::nullopt, "No maker"},
        {"g-fourth", "Varnex", "Fourth scanner"},
    };
    std::vector<std::unique_ptr<vxsim::HidScanner>> scanners;
    for (const Device& device : devices) {
        vxsim::HidModel model = *vxsim::findHidModel("hid-pos");
        model.manufacturer = device.manufacturer;
        model.product = device.product;
        scanners.push_back(std::make_unique<vxsim::HidScanner>(model, device.id));
        ASSERT_TRUE(scanners.back()->plug()) << scanners.back()->lastError();
    }
    std::vector<std::string> products;
    EXPECT_EQ(DetectHidScanners(products, 16), 4);
    EXPECT_EQ(products, (std::vector<std::string>{"Lane scanner", "Old scanner", "Older scanner", "Fourth scanner"}));
    EXPECT_EQ(DetectHidScanners(products, 2), 2);
    const auto named = GetHidPortNames();
    ASSERT_EQ(named.size(), 3u);  // a fourth has no name
    EXPECT_EQ(named[0].portName, "HID1");
    EXPECT_EQ(named[0].product, "Lane scanner");
    EXPECT_EQ(named[2].portName, "HID3");
    EXPECT_EQ(platform::openHidHandleCount(), 0u);
}

namespace {

LRESULT noticeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

std::set<std::string> comNames()
{
    std::set<std::string> names;
    for (const auto& port : platform::listSerialPorts())
        names.insert(port.comName);
    return names;
}

// The COM name a port got: the one name that `plug` adds.
std::string plugAndName(vxsim::VirtualSerialPort& port)
{
    const auto before = comNames();
    if (!port.plug())
        return std::string();
    for (const std::string& name : comNames())
        if (before.count(name) == 0)
            return name;
    return std::string();
}

}  // namespace

class DeviceNoticeTest : public ControllerTest {};

TEST_F(DeviceNoticeTest, TheChosenPortStaysChosenWhileOtherPortsComeAndGo)
{
    vxsim::SerialModel model = *vxsim::findSerialModel("rs232");
    model.wireTime = false;
    auto kept = std::make_unique<vxsim::VirtualSerialPort>(model, "kept");
    const std::string keptName = plugAndName(*kept);
    ASSERT_FALSE(keptName.empty()) << kept->lastError();

    // The real device list and the real notices.
    m_dlg = std::make_unique<CFinal_UIDlg>(host, RegistryApi::System());
    dlg().OnInitDialog();
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &noticeProc;
    windowClass.lpszClassName = L"PortNoticeTest";
    RegisterClassExW(&windowClass);
    HWND window = CreateWindowExW(0, L"PortNoticeTest", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = GUID_DEVINTERFACE_COMPORT;
    HDEVNOTIFY notice = RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    ASSERT_NE(notice, nullptr);
    auto awaitNotice = [&](WPARAM event) {
        return waitUntil([&] {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_DEVICECHANGE && msg.wParam == event) {
                    dlg().OnDeviceChange();
                    return true;
                }
            }
            return false;
        });
    };

    choose(IDC_CONNECTIONCOMBO, "False");
    choose(IDC_COMPORTCOMBO, keptName);

    auto other = std::make_unique<vxsim::VirtualSerialPort>(model, "other");
    const std::string otherName = plugAndName(*other);
    ASSERT_FALSE(otherName.empty());
    ASSERT_TRUE(awaitNotice(DBT_DEVICEARRIVAL));
    EXPECT_NE(form().FindStringExact(IDC_COMPORTCOMBO, -1, otherName), FormModel::CB_ERR);
    EXPECT_EQ(text(IDC_COMPORTCOMBO), keptName);

    other->unplug();
    ASSERT_TRUE(awaitNotice(DBT_DEVICEREMOVECOMPLETE));
    EXPECT_EQ(form().FindStringExact(IDC_COMPORTCOMBO, -1, otherName), FormModel::CB_ERR);
    EXPECT_EQ(text(IDC_COMPORTCOMBO), keptName);

    // The chosen port itself goes: nothing is chosen any more.
    kept->unplug();
    ASSERT_TRUE(awaitNotice(DBT_DEVICEREMOVECOMPLETE));
    EXPECT_EQ(form().GetCurSel(IDC_COMPORTCOMBO), -1);
    EXPECT_EQ(items(IDC_COMPORTCOMBO).front(), "-- Select --");
    EXPECT_EQ(items(IDC_COMPORTCOMBO).back(), "HID1");
    UnregisterDeviceNotification(notice);
    DestroyWindow(window);
}
