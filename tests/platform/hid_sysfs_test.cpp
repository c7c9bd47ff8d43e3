// Real HID interfaces on a fixture sysfs tree: enumeration through SetupAPI,
// the paths built from the USB location, identity through probe handles,
// hidraw reads (with the id byte put in front for unnumbered devices),
// removal, and the sharing rules.
#include "hid_sysfs_fixture.h"
#include "PlatformTestSupport.h"

#include "platform/error.h"
#include "platform/file.h"
#include "platform/hid.h"
#include "platform/setupapi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

namespace {

using vxtest::Bytes;
using vxtest::FixtureInterface;
using vxtest::HidSysfsFixture;

GUID hidClass()
{
    GUID guid;
    HidD_GetHidGuid(&guid);
    return guid;
}

// The interface paths SetupAPI lists for the HID class, in its order.
std::vector<std::string> listedPaths()
{
    std::vector<std::string> paths;
    const GUID guid = hidClass();
    HDEVINFO set = SetupDiGetClassDevsW(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    EXPECT_NE(set, INVALID_HANDLE_VALUE);
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, &guid, index, &data)) {
            EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
            break;
        }
        DWORD required = 0;
        EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &required, nullptr));
        EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
        std::vector<DWORD> storage(required / sizeof(DWORD) + 1);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        EXPECT_TRUE(SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required, nullptr, nullptr));
        std::string path;
        for (const wchar_t* c = detail->DevicePath; *c != 0; ++c)
            path.push_back(static_cast<char>(*c));
        paths.push_back(path);
    }
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    return paths;
}

std::string upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

HANDLE probe(const std::string& path)
{
    return CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

std::wstring stringOf(HANDLE handle, BOOLEAN (*call)(HANDLE, PVOID, ULONG), bool* ok = nullptr)
{
    wchar_t buffer[128] = {};
    const bool answered = call(handle, buffer, sizeof buffer) != FALSE;
    if (ok != nullptr)
        *ok = answered;
    return buffer;
}

TEST(HidSysfs, ListsEveryInterfaceWithAStablePathFromItsUsbLocation)
{
    HidSysfsFixture fixture;
    FixtureInterface lob;  // 1-2, interface 0
    FixtureInterface qox = lob;
    qox.interfaceNumber = 1;
    qox.descriptor = vxtest::scannerDescriptor(0x8C, 0xFF);
    FixtureInterface keyboard;
    keyboard.usbDevice = "3-1.4";
    keyboard.vendorId = 0x1234;
    keyboard.productId = 0xABCD;
    keyboard.descriptor = vxtest::keyboardDescriptor();
    keyboard.serial.reset();
    FixtureInterface bluetooth;
    bluetooth.usbDevice.clear();
    bluetooth.bus = 5;
    bluetooth.vendorId = 0x046D;
    bluetooth.productId = 0xB01A;
    bluetooth.hidName = "BT Remote";
    bluetooth.hidUniq = "aa:bb:cc";
    // Added out of order: the listing is sorted by path, not by node number.
    fixture.add(keyboard);
    fixture.add(qox);
    fixture.add(lob);
    fixture.add(bluetooth);

    const std::vector<std::string> expected = {
        "\\\\?\\hid#vid_046d&pid_b01a&mi_00#hid-0005-046d-b01a.0004#{4d1e55b2-f16f-11cf-88cb-001111000030}",
        "\\\\?\\hid#vid_1234&pid_abcd&mi_00#usb-3-1.4#{4d1e55b2-f16f-11cf-88cb-001111000030}",
        "\\\\?\\hid#vid_7a11&pid_0100&mi_00#usb-1-2#{4d1e55b2-f16f-11cf-88cb-001111000030}",
        "\\\\?\\hid#vid_7a11&pid_0100&mi_01#usb-1-2#{4d1e55b2-f16f-11cf-88cb-001111000030}",
    };
    EXPECT_EQ(listedPaths(), expected);
    for (const std::string& path : expected) {
        EXPECT_EQ(path.find_first_of(" \t\r\n"), std::string::npos);
        // An ordinary interface names its ids early; later "VID_" marks a
        // path made by the remote-management filter driver.
        EXPECT_LE(upper(path).find("VID_"), 20u) << path;
    }

    // The listing is the same when asked again.
    EXPECT_EQ(listedPaths(), expected);
}

TEST(HidSysfs, ProbeHandlesAnswerIdentityCapabilitiesAndStrings)
{
    HidSysfsFixture fixture;
    FixtureInterface scanner;
    fixture.add(scanner);
    FixtureInterface keyboard;
    keyboard.usbDevice = "3-1";
    keyboard.descriptor = vxtest::keyboardDescriptor();
    keyboard.serial.reset();
    keyboard.product = "Tastatur \xC3\xBC";  // UTF-8 in sysfs
    fixture.add(keyboard);

    struct Expected {
        std::string path;
        USHORT usagePage, usage, input, output, feature;
        std::optional<std::wstring> serial;
        std::wstring product;
    };
    const Expected cases[] = {
        {"\\\\?\\hid#vid_7a11&pid_0100&mi_00#usb-1-2#{4d1e55b2-f16f-11cf-88cb-001111000030}", 0x8C, 2, 64, 64, 2,
         L"SN0001", L"HID POS Scanner"},
        {"\\\\?\\hid#vid_7a11&pid_0100&mi_00#usb-3-1#{4d1e55b2-f16f-11cf-88cb-001111000030}", 1, 6, 9, 2, 0,
         std::nullopt, L"Tastatur \u00FC"},
    };
    for (const Expected& c : cases) {
        SCOPED_TRACE(c.path);
        // Opened in another letter case, as a caller that upper-cased it.
        vxtest::ScopedHandle handle(probe(upper(c.path)));
        ASSERT_NE(handle.get(), INVALID_HANDLE_VALUE);
        HIDD_ATTRIBUTES attributes{};
        attributes.Size = sizeof attributes;
        ASSERT_TRUE(HidD_GetAttributes(handle.get(), &attributes));
        EXPECT_EQ(attributes.VendorID, 0x7A11);
        EXPECT_EQ(attributes.ProductID, 0x0100);
        EXPECT_EQ(attributes.VersionNumber, 0x0123);
        PHIDP_PREPARSED_DATA preparsed = nullptr;
        ASSERT_TRUE(HidD_GetPreparsedData(handle.get(), &preparsed));
        HIDP_CAPS caps{};
        EXPECT_EQ(HidP_GetCaps(preparsed, &caps), HIDP_STATUS_SUCCESS);
        EXPECT_TRUE(HidD_FreePreparsedData(preparsed));
        EXPECT_EQ(caps.UsagePage, c.usagePage);
        EXPECT_EQ(caps.Usage, c.usage);
        EXPECT_EQ(caps.InputReportByteLength, c.input);
        EXPECT_EQ(caps.OutputReportByteLength, c.output);
        EXPECT_EQ(caps.FeatureReportByteLength, c.feature);
        bool ok = false;
        const std::wstring serial = stringOf(handle.get(), &HidD_GetSerialNumberString, &ok);
        EXPECT_EQ(ok, c.serial.has_value());
        if (c.serial)
            EXPECT_EQ(serial, *c.serial);
        else
            EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
        EXPECT_EQ(stringOf(handle.get(), &HidD_GetManufacturerString), L"Varnex");
        EXPECT_EQ(stringOf(handle.get(), &HidD_GetProductString), c.product);

        // A probe never reaches the device: no reports, no features.
        BYTE report[64] = {};
        DWORD count = 7;
        EXPECT_FALSE(ReadFile(handle.get(), report, sizeof report, &count, nullptr));
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
        EXPECT_EQ(count, 0u);
        EXPECT_FALSE(HidD_SetFeature(handle.get(), report, 2));
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    }

    // A string longer than the buffer is cut and still terminated.
    vxtest::ScopedHandle handle(probe(cases[0].path));
    wchar_t shortBuffer[4] = {L'x', L'x', L'x', L'x'};
    EXPECT_TRUE(HidD_GetProductString(handle.get(), shortBuffer, sizeof shortBuffer));
    EXPECT_EQ(std::wstring(shortBuffer), L"HID");
}

TEST(HidSysfs, UnknownPathsAndBrokenDescriptors)
{
    HidSysfsFixture fixture;
    FixtureInterface broken;
    broken.descriptor = {0x05, 0x01, 0x09};  // cut off inside an item
    fixture.add(broken);

    EXPECT_EQ(probe("\\\\?\\hid#vid_7a11&pid_0100&mi_05#usb-1-2#{4d1e55b2-f16f-11cf-88cb-001111000030}"),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    // Listed and probed, but it has no capabilities to give.
    const std::vector<std::string> paths = listedPaths();
    ASSERT_EQ(paths.size(), 1u);
    vxtest::ScopedHandle handle(probe(paths[0]));
    ASSERT_NE(handle.get(), INVALID_HANDLE_VALUE);
    HIDD_ATTRIBUTES attributes{};
    EXPECT_TRUE(HidD_GetAttributes(handle.get(), &attributes));
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    EXPECT_FALSE(HidD_GetPreparsedData(handle.get(), &preparsed));
    HIDP_CAPS caps{};
    EXPECT_EQ(HidP_GetCaps(nullptr, &caps), HIDP_STATUS_INVALID_PREPARSED_DATA);

    // A read/write open needs the device file, which this tree lacks.
    EXPECT_EQ(CreateFileA(paths[0].c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(HidSysfs, UnnumberedReportsGetAZeroIdByteAndTheEndOfTheDeviceIsRemoval)
{
    HidSysfsFixture fixture;
    FixtureInterface keyboard;
    keyboard.descriptor = vxtest::keyboardDescriptor();  // 8 data bytes, no ids
    keyboard.node = Bytes{1, 2, 3, 4, 5, 6, 7, 8, 11, 12, 13, 14, 15, 16, 17, 18};
    fixture.add(keyboard);
    const std::string path = listedPaths().at(0);

    vxtest::ScopedHandle handle(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                            FILE_FLAG_OVERLAPPED, nullptr));
    ASSERT_NE(handle.get(), INVALID_HANDLE_VALUE);
    vxtest::ScopedHandle event(vxtest::manualEvent());
    const Bytes expected[] = {{0, 1, 2, 3, 4, 5, 6, 7, 8}, {0, 11, 12, 13, 14, 15, 16, 17, 18}};
    for (const Bytes& report : expected) {
        BYTE buffer[16];
        std::fill(std::begin(buffer), std::end(buffer), 0xEE);
        OVERLAPPED overlapped{};
        overlapped.hEvent = event.get();
        DWORD count = 0;
        if (!ReadFile(handle.get(), buffer, sizeof buffer, &count, &overlapped)) {
            ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
            ASSERT_TRUE(GetOverlappedResult(handle.get(), &overlapped, &count, TRUE));
        }
        ASSERT_EQ(count, 9u);
        EXPECT_EQ(Bytes(buffer, buffer + 9), report);
        EXPECT_EQ(buffer[9], 0xEE) << "one report, nothing past it";
    }
    // The device file ends: the device is gone, and says so.
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.get();
    BYTE buffer[16];
    DWORD count = 0;
    if (!ReadFile(handle.get(), buffer, sizeof buffer, &count, &overlapped) && GetLastError() == ERROR_IO_PENDING) {
        EXPECT_FALSE(GetOverlappedResult(handle.get(), &overlapped, &count, TRUE));
    }
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    HIDD_ATTRIBUTES attributes{};
    EXPECT_FALSE(HidD_GetAttributes(handle.get(), &attributes));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);

    // A buffer shorter than the report is refused before anything moves.
    EXPECT_FALSE(ReadFile(handle.get(), buffer, 8, &count, &overlapped));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(HidSysfs, ProbeOfARemovedInterfaceReportsRemoval)
{
    HidSysfsFixture fixture;
    const std::string node = fixture.add(FixtureInterface{});
    vxtest::ScopedHandle handle(probe(listedPaths().at(0)));
    ASSERT_NE(handle.get(), INVALID_HANDLE_VALUE);
    HIDD_ATTRIBUTES attributes{};
    EXPECT_TRUE(HidD_GetAttributes(handle.get(), &attributes));
    fixture.remove(node);
    EXPECT_FALSE(HidD_GetAttributes(handle.get(), &attributes));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_TRUE(listedPaths().empty());
}

TEST(HidSysfs, SharingRules)
{
    HidSysfsFixture fixture;
    FixtureInterface scanner;
    scanner.node = Bytes{};
    fixture.add(scanner);
    const std::string path = listedPaths().at(0);
    constexpr DWORD kShared = FILE_SHARE_READ | FILE_SHARE_WRITE;
    constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
    auto open = [&](DWORD access, DWORD share) {
        return CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    };

    struct Case {
        const char* name;
        DWORD firstShare;
        DWORD secondAccess;
        DWORD secondShare;
        bool secondOpens;
    };
    const Case cases[] = {
        {"shared beside shared", kShared, kReadWrite, kShared, true},
        {"exclusive beside shared", kShared, kReadWrite, 0, false},
        {"shared beside exclusive", 0, kReadWrite, kShared, false},
        {"exclusive beside exclusive", 0, kReadWrite, 0, false},
        {"probe beside exclusive", 0, 0, kShared, true},
        {"exclusive probe beside exclusive", 0, 0, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        vxtest::ScopedHandle first(open(kReadWrite, c.firstShare));
        ASSERT_NE(first.get(), INVALID_HANDLE_VALUE);
        HANDLE second = open(c.secondAccess, c.secondShare);
        EXPECT_EQ(second != INVALID_HANDLE_VALUE, c.secondOpens);
        if (second != INVALID_HANDLE_VALUE)
            CloseHandle(second);
        else
            EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    }
    // Closing the exclusive handle frees the interface.
    HANDLE exclusive = open(kReadWrite, 0);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
    EXPECT_EQ(open(kReadWrite, kShared), INVALID_HANDLE_VALUE);
    CloseHandle(exclusive);
    vxtest::ScopedHandle again(open(kReadWrite, kShared));
    EXPECT_NE(again.get(), INVALID_HANDLE_VALUE);
}

}  // namespace
