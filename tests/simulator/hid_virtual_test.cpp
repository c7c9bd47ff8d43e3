// Virtual HID interfaces served by the simulated scanner, seen through the
// platform's HID calls: listing and identity, reports both ways, feature
// requests, the per-handle input queue, removal and re-plugging, sharing.
#include "simulator/hid_scanner.h"

#include "TestSupport.h"
#include "scoped_handle.h"

#include "platform/debug.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/hid.h"
#include "platform/runtime.h"
#include "platform/setupapi.h"
#include "platform/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <memory>

namespace {

using Bytes = std::vector<std::uint8_t>;

using simtest::Handle;

constexpr DWORD kShared = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;

std::vector<std::string> listedPaths()
{
    std::vector<std::string> paths;
    GUID guid;
    HidD_GetHidGuid(&guid);
    HDEVINFO set = SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, &guid, index, &data))
            break;
        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &required, nullptr);
        std::vector<DWORD> storage(required / sizeof(DWORD) + 1);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
        detail->cbSize = 5;  // the packed size older callers pass
        if (SetupDiGetDeviceInterfaceDetailA(set, &data, detail, required, nullptr, nullptr))
            paths.emplace_back(detail->DevicePath);
    }
    SetupDiDestroyDeviceInfoList(set);
    return paths;
}

HANDLE openPath(const std::string& path, DWORD access = kReadWrite, DWORD share = kShared)
{
    return CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
}

// One overlapped read with a bound: the code (0 for a report) and the report.
struct ReadResult {
    DWORD code;
    Bytes report;
};
ReadResult readReport(HANDLE handle, DWORD timeout, DWORD size = 64)
{
    Handle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.get();
    Bytes buffer(size, 0xEE);
    DWORD count = 0;
    if (ReadFile(handle, buffer.data(), size, &count, &overlapped)) {
        buffer.resize(count);
        return {0, buffer};
    }
    if (GetLastError() != ERROR_IO_PENDING)
        return {GetLastError(), {}};
    if (WaitForSingleObject(event.get(), timeout) != WAIT_OBJECT_0)
        CancelIo(handle);
    if (!GetOverlappedResult(handle, &overlapped, &count, TRUE))
        return {GetLastError(), {}};
    buffer.resize(count);
    return {0, buffer};
}

Bytes numbered(std::uint8_t first, std::size_t length = 64)
{
    Bytes report(length, 0);
    report[0] = 0x02;
    report[1] = first;
    report[2] = static_cast<std::uint8_t>(first >> 8);
    return report;
}

// Counts the input-queue drops that the layer reports on the debugger output.
std::atomic<int> g_drops{0};

class HidVirtual : public ::testing::Test {
protected:
    HidVirtual() : scanner(*vxsim::findHidModel("hid-pos"), "pos1") {}
    void SetUp() override
    {
        // Real interfaces of the machine stay out of these tests.
        platform::setHidSysfsRoot(noDevices.path().string());
        ASSERT_TRUE(scanner.plug()) << scanner.lastError();
    }
    void TearDown() override { platform::setHidSysfsRoot(""); }

    vxtest::TempDir noDevices;
    vxsim::HidScanner scanner;
};

TEST_F(HidVirtual, ListsThePublishedIdentityUntilUnplugged)
{
    vxsim::HidModel keyboardModel = *vxsim::findHidModel("hid-keyboard");
    keyboardModel.serialNumber.reset();
    keyboardModel.manufacturer = "";  // an empty string is still a string
    vxsim::HidScanner keyboard(keyboardModel, "kbd");
    ASSERT_TRUE(keyboard.plug());

    EXPECT_EQ(listedPaths(), (std::vector<std::string>{scanner.hostPath(), keyboard.hostPath()}));
    EXPECT_EQ(scanner.hostPath(),
              "\\\\?\\hid#vid_7a11&pid_0100&mi_00#virtual-pos1#{4d1e55b2-f16f-11cf-88cb-001111000030}");

    Handle probe(openPath(keyboard.hostPath(), 0));
    ASSERT_NE(probe.get(), INVALID_HANDLE_VALUE);
    HIDD_ATTRIBUTES attributes{};
    ASSERT_TRUE(HidD_GetAttributes(probe.get(), &attributes));
    EXPECT_EQ(attributes.VendorID, 0x7A11);
    EXPECT_EQ(attributes.VersionNumber, 0x0100);
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    ASSERT_TRUE(HidD_GetPreparsedData(probe.get(), &preparsed));
    HIDP_CAPS caps{};
    EXPECT_EQ(HidP_GetCaps(preparsed, &caps), HIDP_STATUS_SUCCESS);
    HidD_FreePreparsedData(preparsed);
    EXPECT_EQ(caps.UsagePage, 1);
    EXPECT_EQ(caps.Usage, 6);
    EXPECT_EQ(caps.InputReportByteLength, 9);
    EXPECT_EQ(caps.OutputReportByteLength, 0);
    wchar_t text[64] = {L'x'};
    EXPECT_FALSE(HidD_GetSerialNumberString(probe.get(), text, sizeof text));
    EXPECT_TRUE(HidD_GetManufacturerString(probe.get(), text, sizeof text));
    EXPECT_EQ(std::wstring(text), L"");
    EXPECT_TRUE(HidD_GetProductString(probe.get(), text, sizeof text));
    EXPECT_EQ(std::wstring(text), L"Varnex Keyboard Interface");
    // A probe is no connection.
    EXPECT_EQ(keyboard.connections(), 0u);

    keyboard.unplug();
    EXPECT_EQ(listedPaths(), std::vector<std::string>{scanner.hostPath()});
    EXPECT_FALSE(HidD_GetAttributes(probe.get(), &attributes));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(openPath(keyboard.hostPath(), 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(HidVirtual, ADescriptorLeftBehindByADeadDeviceIsIgnored)
{
    // Written as a device writes it, but nobody holds its lock.
    const std::string folder = platform::runtimeDirectory() + "/hid";
    std::ofstream(folder + "/ghost.hid") << "socket=ghost.sock\nvendorId=0x7a11\nproductId=0x0200\n";
    EXPECT_EQ(listedPaths(), std::vector<std::string>{scanner.hostPath()});
}

TEST_F(HidVirtual, ReportsTravelBothWaysAndFeaturesAreAnswered)
{
    Handle handle(openPath(scanner.hostPath()));
    ASSERT_NE(handle.get(), INVALID_HANDLE_VALUE);
    ASSERT_TRUE(vxtest::waitUntil([&] { return scanner.connections() == 1; }));

    // A short report is padded to the input length.
    ASSERT_TRUE(scanner.sendReport({0x02, 5, 'a'}));
    const ReadResult got = readReport(handle.get(), 20000);
    ASSERT_EQ(got.code, 0u);
    Bytes expected(64, 0);
    expected[0] = 0x02;
    expected[1] = 5;
    expected[2] = 'a';
    EXPECT_EQ(got.report, expected);

    Bytes output(64, 0);
    output[0] = 0xFD;
    output[1] = 3;
    output[2] = 'x';
    output[3] = 'y';
    output[4] = 'z';
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(handle.get(), output.data(), 64, &written, nullptr));
    EXPECT_EQ(written, 64u);
    ASSERT_TRUE(vxtest::waitUntil([&] { return scanner.receivedData() == "xyz"; }));
    EXPECT_FALSE(WriteFile(handle.get(), output.data(), 63, &written, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    BYTE feature[2] = {0xFE, 1};
    EXPECT_TRUE(HidD_SetFeature(handle.get(), feature, 2));
    EXPECT_EQ(scanner.posMode(), 1);
    BYTE answer[2] = {0xFE, 0};
    EXPECT_TRUE(HidD_GetFeature(handle.get(), answer, 2));
    EXPECT_EQ(answer[1], 1);
    scanner.setRefuseFeatures(true);
    EXPECT_FALSE(HidD_SetFeature(handle.get(), feature, 2));
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
}

TEST_F(HidVirtual, EveryHandleHasItsOwnQueueThatDropsTheOldestWhenFull)
{
    g_drops = 0;
    platform::setDebugOutputSink([](const std::string& text) {
        if (text.find("input queue") != std::string::npos)
            ++g_drops;
    });
    Handle full(openPath(scanner.hostPath()));
    Handle other(openPath(scanner.hostPath()));
    ASSERT_NE(full.get(), INVALID_HANDLE_VALUE);
    ASSERT_NE(other.get(), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(HidD_SetNumInputBuffers(full.get(), 513));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(HidD_SetNumInputBuffers(full.get(), 1));
    ASSERT_TRUE(HidD_SetNumInputBuffers(full.get(), 512));
    ULONG buffers = 0;
    ASSERT_TRUE(HidD_GetNumInputBuffers(other.get(), &buffers));
    EXPECT_EQ(buffers, 32u);
    ASSERT_TRUE(vxtest::waitUntil([&] { return scanner.connections() == 2; }));

    for (unsigned i = 0; i < 600; ++i)
        ASSERT_TRUE(scanner.sendReport(numbered(static_cast<std::uint8_t>(i), 64)));
    // 600 - 512 drops on the big queue, 600 - 32 on the default one.
    ASSERT_TRUE(vxtest::waitUntil([] { return g_drops == 88 + 568; }));

    for (unsigned i = 88; i < 600; ++i) {
        const ReadResult got = readReport(full.get(), 20000);
        ASSERT_EQ(got.code, 0u);
        ASSERT_EQ(got.report, numbered(static_cast<std::uint8_t>(i))) << i;
    }
    // Empty now: a read waits, and times out.
    EXPECT_EQ(readReport(full.get(), 10).code, ERROR_OPERATION_ABORTED);

    // The other handle kept the newest 32; flushing empties it.
    EXPECT_EQ(readReport(other.get(), 20000).report, numbered(static_cast<std::uint8_t>(568)));
    EXPECT_TRUE(HidD_FlushQueue(other.get()));
    EXPECT_EQ(readReport(other.get(), 10).code, ERROR_OPERATION_ABORTED);
    platform::setDebugOutputSink({});
}

TEST_F(HidVirtual, UnplugEndsAPendingReadWithRemovalAndPlugBackGivesTheSamePath)
{
    Handle handle(openPath(scanner.hostPath()));
    ASSERT_NE(handle.get(), INVALID_HANDLE_VALUE);
    Handle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.get();
    BYTE buffer[64];
    DWORD count = 99;
    ASSERT_FALSE(ReadFile(handle.get(), buffer, 64, &count, &overlapped));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    EXPECT_FALSE(ReadFile(handle.get(), buffer, 64, &count, &overlapped));
    EXPECT_EQ(GetLastError(), ERROR_BUSY) << "one read at a time";

    scanner.unplug();
    ASSERT_EQ(WaitForSingleObject(event.get(), 20000), WAIT_OBJECT_0);
    EXPECT_FALSE(GetOverlappedResult(handle.get(), &overlapped, &count, FALSE));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(count, 0u);
    // Every later call says the same, at once: never "no data yet".
    EXPECT_FALSE(ReadFile(handle.get(), buffer, 64, &count, &overlapped));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_FALSE(WriteFile(handle.get(), buffer, 64, &count, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    BYTE feature[2] = {0xFE, 0};
    EXPECT_FALSE(HidD_SetFeature(handle.get(), feature, 2));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    HIDD_ATTRIBUTES attributes{};
    EXPECT_FALSE(HidD_GetAttributes(handle.get(), &attributes));

    // Plugged back, the interface has the same path and answers a new open.
    ASSERT_TRUE(scanner.plug());
    EXPECT_EQ(listedPaths(), std::vector<std::string>{scanner.hostPath()});
    Handle again(openPath(scanner.hostPath()));
    ASSERT_NE(again.get(), INVALID_HANDLE_VALUE);
    ASSERT_TRUE(vxtest::waitUntil([&] { return scanner.connections() == 1; }));
    ASSERT_TRUE(scanner.sendReport(numbered(7)));
    EXPECT_EQ(readReport(again.get(), 20000).report, numbered(7));
    // The old handle stays dead.
    EXPECT_FALSE(HidD_GetAttributes(handle.get(), &attributes));
}

TEST_F(HidVirtual, AnExclusiveOpenKeepsOthersOut)
{
    Handle exclusive(openPath(scanner.hostPath(), kReadWrite, 0));
    ASSERT_NE(exclusive.get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(openPath(scanner.hostPath()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    // Any letter case names the same interface, for sharing too.
    std::string upper = scanner.hostPath();
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(openPath(upper, kReadWrite, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    Handle probe(openPath(upper, 0));
    EXPECT_NE(probe.get(), INVALID_HANDLE_VALUE);
}

}  // namespace
