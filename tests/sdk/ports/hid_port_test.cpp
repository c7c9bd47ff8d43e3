// CUsbHidPort on virtual interfaces served by the simulated scanner and on a
// fixture sysfs tree: the interface list and its filters, identity, the
// result codes of open, read, write and flush, time-outs, removal, buffers
// shorter than the report, and one read, one write and a disconnect check
// running at once.
#include "PortLog.h"

#include "../../platform/hid_sysfs_fixture.h"

#include "base/CLogger.h"
#include "base/CScanningSDK.h"
#include "ports/CUsbHidPort.h"

#include "simulator/hid_scanner.h"

#include "platform/hid.h"
#include "platform/sync.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>
#include <thread>

namespace {

using Bytes = std::vector<std::uint8_t>;

std::wstring wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

using porttest::captureLine;
using porttest::logged;

class HidPort : public ::testing::Test {
protected:
    HidPort() : scanner(*vxsim::findHidModel("hid-pos"), "pos1"), logger(CLogger::createCustomizeLogger(4, &captureLine))
    {
    }
    void SetUp() override
    {
        porttest::clearLog();
        logger.setMask(0xFFFFFFFFu);
        CScanningSDK::SetLogger(&logger);
        ASSERT_TRUE(scanner.plug()) << scanner.lastError();
    }
    void TearDown() override { CScanningSDK::SetLogger(nullptr); }

    // Opens `port` on the scanner and waits until the scanner sees it.
    void openOnScanner(CUsbHidPort& port)
    {
        const std::size_t before = scanner.connections();
        ASSERT_EQ(port.open(wide(scanner.hostPath())), 0);
        ASSERT_TRUE(vxtest::waitUntil([&] { return scanner.connections() == before + 1; }));
    }

    vxtest::HidSysfsFixture sysfs;  // empty unless a test adds to it
    vxsim::HidScanner scanner;
    CLogger logger;
};

Bytes report(std::uint8_t marker)
{
    Bytes bytes(64, 0);
    bytes[0] = 0x02;
    bytes[1] = marker;
    return bytes;
}

TEST_F(HidPort, ListHidDeviceFiltersByIdsAndUsagesAndNeedsEveryString)
{
    vxtest::FixtureInterface lob;
    vxtest::FixtureInterface qox = lob;
    qox.interfaceNumber = 1;
    qox.descriptor = vxtest::scannerDescriptor(0x8C, 0xFF);
    vxtest::FixtureInterface keyboard;
    keyboard.usbDevice = "2-1";
    keyboard.vendorId = 0x1234;
    keyboard.descriptor = vxtest::keyboardDescriptor();
    vxtest::FixtureInterface noSerial = lob;
    noSerial.usbDevice = "1-3";
    noSerial.serial.reset();
    vxtest::FixtureInterface brokenDescriptor = lob;
    brokenDescriptor.usbDevice = "1-4";
    brokenDescriptor.descriptor = {0x05};
    for (const auto* iface : {&lob, &qox, &keyboard, &noSerial, &brokenDescriptor})
        sysfs.add(*iface);
    const std::string lobPath = "\\\\?\\hid#vid_7a11&pid_0100&mi_00#usb-1-2#{4d1e55b2-f16f-11cf-88cb-001111000030}";
    const std::string qoxPath = "\\\\?\\hid#vid_7a11&pid_0100&mi_01#usb-1-2#{4d1e55b2-f16f-11cf-88cb-001111000030}";
    const std::string keyboardPath =
        "\\\\?\\hid#vid_1234&pid_0100&mi_00#usb-2-1#{4d1e55b2-f16f-11cf-88cb-001111000030}";
    const std::string virtualPath = scanner.hostPath();  // 7a11:0100, usage 2 on page 0x8C

    struct Case {
        int vendorId, productId, usage, usagePage;
        std::set<std::string> paths;
    };
    const Case cases[] = {
        {0, 0, 0, 0, {lobPath, qoxPath, keyboardPath, virtualPath}},
        {0x7A11, 0, 0, 0, {lobPath, qoxPath, virtualPath}},
        {0x7A11, 0x0100, 2, 0xFF8C, {qoxPath}},
        {0, 0, 6, 0, {keyboardPath}},
        {0, 0, 0, 0x8C, {lobPath, virtualPath}},
        {0, 0x0999, 0, 0, {}},
        {0x9999, 0, 0, 0, {}},
    };
    const std::size_t handlesBefore = platform::openHidHandleCount();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.vendorId << "/" << c.productId << "/" << c.usage << "/" << c.usagePage);
        std::set<std::string> paths;
        for (const HidDeviceInfo& info : CUsbHidPort::listHidDevice(c.vendorId, c.productId, c.usage, c.usagePage))
            paths.insert(info.path);
        EXPECT_EQ(paths, c.paths);
        // Every interface skipped on the way had its probe closed.
        EXPECT_EQ(platform::openHidHandleCount(), handlesBefore);
    }

    const std::vector<HidDeviceInfo> qoxOnly = CUsbHidPort::listHidDevice(0, 0, 2, 0xFF8C);
    ASSERT_EQ(qoxOnly.size(), 1u);
    const HidDeviceInfo& info = qoxOnly[0];
    EXPECT_EQ(info.path, qoxPath);
    EXPECT_EQ(info.vendorId, 0x7A11);
    EXPECT_EQ(info.productId, 0x0100);
    EXPECT_EQ(info.usage, 2);
    EXPECT_EQ(info.usagePage, 0xFF8C);
    EXPECT_EQ(info.inputReportLength, 64);
    EXPECT_EQ(info.outputReportLength, 64);
    EXPECT_EQ(info.serialNumber, L"SN0001");
    EXPECT_EQ(info.manufacturer, L"Varnex");
    EXPECT_EQ(info.product, L"HID POS Scanner");

    // Left out of the list, but its identity reads well.
    HidDeviceInfo unlisted;
    const std::wstring noSerialPath = L"\\\\?\\HID#VID_7A11&PID_0100&MI_00#USB-1-3#{4D1E55B2-F16F-11CF-88CB-001111000030}";
    EXPECT_EQ(CUsbHidPort::GetDeviceInfo(noSerialPath, unlisted), 0);
    EXPECT_TRUE(unlisted.serialNumber.empty());
    EXPECT_EQ(unlisted.product, L"HID POS Scanner");
    EXPECT_EQ(unlisted.usage, 2);
    EXPECT_EQ(unlisted.path, std::string(noSerialPath.begin(), noSerialPath.end()));
    EXPECT_EQ(platform::openHidHandleCount(), handlesBefore);

    HidDeviceInfo missing;
    EXPECT_EQ(CUsbHidPort::GetDeviceInfo(L"\\\\?\\hid#nothing", missing), static_cast<int>(ERROR_FILE_NOT_FOUND));
}

TEST_F(HidPort, AClosedPortAnswersSixEverywhere)
{
    CUsbHidPort port;
    unsigned char buffer[64] = {};
    unsigned int count = 5;
    EXPECT_EQ(port.read(buffer, 64, &count), 6);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(port.getLastError(), 6);
    count = 5;
    EXPECT_EQ(port.write(buffer, 64, &count), 6);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(port.flush(), 6);
    EXPECT_FALSE(port.setFeature(buffer, 2));
    EXPECT_TRUE(port.isDisconnected());
    EXPECT_FALSE(port.isOpened());
    EXPECT_EQ(port.getLastError(), 6);
    HidDeviceInfo info;
    EXPECT_EQ(port.GetDeviceInfo(info), 6);
    EXPECT_EQ(port.close(), 0);
    EXPECT_TRUE(logged("CUsbHidPort::read, Device is not opened."));
}

TEST_F(HidPort, OpenCodes)
{
    CUsbHidPort port;
    EXPECT_EQ(port.open(L"\\\\?\\hid#vid_0000&pid_0000&mi_00#nowhere#{x}"), static_cast<int>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(port.getLastError(), static_cast<int>(ERROR_FILE_NOT_FOUND));
    openOnScanner(port);
    EXPECT_TRUE(port.isOpened());
    EXPECT_FALSE(port.isDisconnected());
    // A second open keeps the first device and answers 0; by handle it is 5.
    EXPECT_EQ(port.open(wide(scanner.hostPath())), 0);
    EXPECT_EQ(scanner.connections(), 1u);
    EXPECT_EQ(port.open(port.getHandle()), 5);
    EXPECT_EQ(port.getLastError(), 5);

    HidDeviceInfo info;
    EXPECT_EQ(port.GetDeviceInfo(info), 0);
    EXPECT_EQ(info.path, scanner.hostPath());
    EXPECT_EQ(info.serialNumber, L"S000001");

    // An exclusive port cannot open beside it; the handle open fails, not
    // the port's stored error.
    CUsbHidPort exclusive(true);
    EXPECT_EQ(exclusive.open(wide(scanner.hostPath())), static_cast<int>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(exclusive.getLastError(), 0);
    EXPECT_FALSE(exclusive.isOpened());
    EXPECT_TRUE(logged("Error occur during PrepareForOverlappedTransfer. Port="));
}

TEST_F(HidPort, ReadsOneReportOrTimesOutWithNothing)
{
    CUsbHidPort port;
    openOnScanner(port);
    port.setTimeout(20, 150);
    unsigned char buffer[80];
    std::fill(std::begin(buffer), std::end(buffer), 0xEE);
    unsigned int count = 9;
    EXPECT_EQ(port.read(buffer, sizeof buffer, &count), static_cast<int>(ERROR_IO_PENDING));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(port.getLastError(), static_cast<int>(ERROR_IO_PENDING));

    port.setTimeout(20000, 150);  // a bound, never reached when all is well
    ASSERT_TRUE(scanner.sendReport(report(1)));
    EXPECT_EQ(port.read(buffer, sizeof buffer, &count), 0);
    EXPECT_EQ(count, 64u);
    EXPECT_EQ(Bytes(buffer, buffer + 64), report(1));
    EXPECT_EQ(buffer[64], 0xEE);
    EXPECT_EQ(port.getLastError(), 0);

    // Flushing drops what is queued.
    EXPECT_EQ(port.flush(), 0);

    // Writes are one output report of the device's length.
    unsigned char output[64] = {0xFD, 2, 'o', 'k'};
    EXPECT_EQ(port.write(output, 64, &count), 0);
    EXPECT_EQ(count, 64u);
    EXPECT_TRUE(vxtest::waitUntil([&] { return scanner.receivedData() == "ok"; }));

    unsigned char feature[2] = {0xFE, 1};
    EXPECT_TRUE(port.setFeature(feature, 2));
    EXPECT_EQ(scanner.posMode(), 1);
}

TEST_F(HidPort, ABufferShorterThanTheReportIsRefusedWithoutIo)
{
    CUsbHidPort port;
    openOnScanner(port);
    port.setTimeout(20000, 150);
    ASSERT_TRUE(scanner.sendReport(report(3)));
    unsigned char buffer[64] = {};
    unsigned int count = 9;
    EXPECT_EQ(port.read(buffer, 63, &count), 87);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(port.getLastError(), 87);
    EXPECT_EQ(port.write(buffer, 63, &count), 87);
    EXPECT_EQ(port.read(nullptr, 64, &count), 87);
    EXPECT_TRUE(logged(",256,CUsbHidPort::read, The buffer is shorter than the input report."));
    EXPECT_TRUE(logged(",256,CUsbHidPort::write, The buffer is shorter than the output report."));
    // Nothing was taken or sent: the report is still there to read.
    EXPECT_EQ(port.read(buffer, 64, &count), 0);
    EXPECT_EQ(Bytes(buffer, buffer + 64), report(3));
    EXPECT_TRUE(scanner.outputReports().empty());
}

TEST_F(HidPort, RemovalIs1167WithNothingAndIsDisconnected)
{
    CUsbHidPort port;
    openOnScanner(port);
    port.setTimeout(20000, 150);
    unsigned char buffer[64];
    unsigned int count = 0;
    std::atomic<int> pendingResult{-1};
    std::atomic<unsigned> pendingCount{99};
    std::thread reader([&] {
        unsigned int n = 99;
        pendingResult = port.read(buffer, 64, &n);
        pendingCount = n;
    });
    // The read is in flight; the device goes.
    scanner.unplug();
    reader.join();
    EXPECT_EQ(pendingResult, 1167);
    EXPECT_EQ(pendingCount, 0u);
    EXPECT_TRUE(port.isDisconnected());
    EXPECT_EQ(port.read(buffer, 64, &count), 1167);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(port.write(buffer, 64, &count), 1167);
    EXPECT_EQ(port.getLastError(), 1167);
    EXPECT_TRUE(logged("Device is disconnected...I cann't get any information from it.."));
}

TEST_F(HidPort, OneReadOneWriteAndTheMonitorRunAtOnceEachWithItsOwnCode)
{
    CUsbHidPort port;
    openOnScanner(port);
    port.setTimeout(5, 20000);
    constexpr int kRounds = 40;
    std::vector<int> readCodes;
    std::vector<int> writeCodes;
    std::atomic<int> disconnectedSeen{0};
    std::atomic<bool> done{false};
    std::thread reader([&] {
        unsigned char buffer[64];
        for (int i = 0; i < kRounds; ++i)
            readCodes.push_back(port.read(buffer, 64, nullptr));
    });
    std::thread writer([&] {
        unsigned char output[64] = {0xFD, 1, 'w'};
        for (int i = 0; i < kRounds; ++i)
            writeCodes.push_back(port.write(output, 64, nullptr));
    });
    std::thread monitor([&] {
        while (!done)
            if (port.isDisconnected())
                ++disconnectedSeen;
    });
    reader.join();
    writer.join();
    done = true;
    monitor.join();
    EXPECT_EQ(std::count(readCodes.begin(), readCodes.end(), static_cast<int>(ERROR_IO_PENDING)), kRounds);
    EXPECT_EQ(std::count(writeCodes.begin(), writeCodes.end(), 0), kRounds);
    EXPECT_EQ(disconnectedSeen, 0);
    EXPECT_TRUE(vxtest::waitUntil([&] { return scanner.receivedData() == std::string(kRounds, 'w'); }));
    const int last = port.getLastError();
    EXPECT_TRUE(last == 0 || last == static_cast<int>(ERROR_IO_PENDING)) << last;
}

TEST_F(HidPort, AnAdoptedHandleStaysWithItsOwner)
{
    HANDLE handle = nullptr;
    {
        // Built to keep its handles: destroying it leaves them open.
        CUsbHidPort keeper(false, false);
        openOnScanner(keeper);
        handle = keeper.getHandle();
        CUsbHidPort borrower;
        ASSERT_EQ(borrower.open(handle), 0);
        EXPECT_EQ(borrower.getHandle(), handle);
        EXPECT_EQ(borrower.close(), 0);  // never closes what it adopted
    }
    CUsbHidPort next;
    ASSERT_EQ(next.open(handle), 0);
    next.setTimeout(20000, 150);
    ASSERT_TRUE(scanner.sendReport(report(4)));
    unsigned char buffer[64];
    unsigned int count = 0;
    EXPECT_EQ(next.read(buffer, 64, &count), 0);
    EXPECT_EQ(Bytes(buffer, buffer + 64), report(4));
    next.close();
    CloseHandle(handle);
}

TEST_F(HidPort, AnOpenByHandleOfSomethingElseStaysOpened)
{
    CUsbHidPort port;
    const HANDLE notHid = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_NE(port.open(notHid), 0);
    EXPECT_TRUE(port.isOpened());
    EXPECT_TRUE(logged("Error occur during via GetDeviceCapabilities."));
    EXPECT_EQ(port.close(), 0);
    CloseHandle(notHid);
}

}  // namespace
