// CUsbHidBarcodeScanner against the simulated scanner: output reports cut
// from the data and paced, messages joined from input reports, the packet
// record, the clamp of a device's length byte, feature report 254, and a
// device whose reports do not fit the 64-byte buffers.
#include "PortLog.h"

#include "../../platform/hid_sysfs_fixture.h"

#include "base/CLogger.h"
#include "base/CStopper.h"
#include "base/CancelFlag.h"
#include "base/CScanningSDK.h"
#include "ports/CUsbHidBarcodeScanner.h"

#include "simulator/hid_scanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace {

using Bytes = std::vector<std::uint8_t>;

using porttest::captureLine;
using porttest::logged;

std::string pattern(std::size_t length)
{
    std::string text;
    for (std::size_t i = 0; i < length; ++i)
        text.push_back(static_cast<char>('A' + i % 26));
    return text;
}

class HidScannerPort : public ::testing::Test {
protected:
    explicit HidScannerPort(vxsim::HidModel model = *vxsim::findHidModel("hid-pos"))
        : scanner(std::move(model), "pos1"), logger(CLogger::createCustomizeLogger(5, &captureLine))
    {
    }
    void SetUp() override
    {
        porttest::clearLog();
        logger.setMask(0xFFFFFFFFu);
        CScanningSDK::SetLogger(&logger);
        ASSERT_TRUE(scanner.plug()) << scanner.lastError();
        const std::string path = scanner.hostPath();
        ASSERT_EQ(port.open(std::wstring(path.begin(), path.end())), 0);
        ASSERT_TRUE(vxtest::waitUntil([&] { return scanner.connections() == 1; }));
        port.setTimeout(20000, 20000);  // bounds only: every read here has a report waiting
    }
    void TearDown() override
    {
        port.close();
        CScanningSDK::SetLogger(nullptr);
    }

    // An input report with the given length byte, AIM id, data, code id and
    // continuation byte.
    static Bytes inputReport(std::uint8_t length, const std::string& data, std::uint8_t codeId,
                             std::uint8_t continuation)
    {
        Bytes report(64, 0);
        report[0] = 0x02;
        report[1] = length;
        report[2] = ']';
        report[3] = 'E';
        report[4] = '0';
        std::copy(data.begin(), data.end(), report.begin() + 5);
        report[61] = codeId;
        report[63] = continuation;
        return report;
    }

    vxtest::HidSysfsFixture sysfs;
    vxsim::HidScanner scanner;
    CLogger logger;
    CUsbHidBarcodeScanner port;
};

TEST_F(HidScannerPort, WritesCutTheDataInto62ByteReports30MsApart)
{
    struct Case {
        std::size_t length;
        std::vector<int> reportSizes;
    };
    const Case cases[] = {{62, {62}}, {63, {62, 1}}, {124, {62, 62}}, {0, {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        scanner.clearObservations();
        const std::string data = pattern(c.length);
        unsigned int count = 99;
        const auto started = std::chrono::steady_clock::now();
        ASSERT_EQ(port.write(reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(data.size()),
                             &count),
                  0);
        const auto took = std::chrono::steady_clock::now() - started;
        EXPECT_EQ(count, c.length);
        ASSERT_TRUE(vxtest::waitUntil([&] { return scanner.outputReports().size() == c.reportSizes.size(); }));
        const auto reports = scanner.outputReports();
        for (std::size_t i = 0; i < reports.size(); ++i) {
            ASSERT_EQ(reports[i].bytes.size(), 64u);
            EXPECT_EQ(reports[i].bytes[0], 0xFD);
            EXPECT_EQ(reports[i].bytes[1], c.reportSizes[i]);
            EXPECT_TRUE(std::all_of(reports[i].bytes.begin() + 2 + c.reportSizes[i], reports[i].bytes.end(),
                                    [](std::uint8_t b) { return b == 0; }));
            // Report i cannot leave before i pauses have passed. (Arrival
            // times bound it from below; a gap between two arrivals would
            // not, since the first may be seen late.)
            EXPECT_GE(reports[i].when - started, std::chrono::milliseconds(30) * static_cast<int>(i));
        }
        // One pause per gap between reports.
        if (reports.size() > 1) {
            EXPECT_GE(took, std::chrono::milliseconds(30) * static_cast<int>(reports.size() - 1));
        }
        // The device joins the reports back into the data.
        EXPECT_EQ(scanner.receivedData(), data);
    }
}

TEST_F(HidScannerPort, AMessageOfThreeReportsComesBackJoined)
{
    const std::string message = pattern(56) + pattern(56) + "tail";
    ASSERT_TRUE(scanner.sendMessage(message));
    std::string text;
    EXPECT_EQ(port.read(text), 0);
    EXPECT_EQ(text, message);

    // Zero bytes: dropped by the string read, kept by the byte read.
    const std::string withZeros("a\0b\0c", 5);
    ASSERT_TRUE(scanner.sendReport(inputReport(5, withZeros, 'd', 0)));
    EXPECT_EQ(port.read(text), 0);
    EXPECT_EQ(text, "abc");
    ASSERT_TRUE(scanner.sendReport(inputReport(5, withZeros, 'd', 0)));
    unsigned char buffer[64] = {};
    unsigned int count = 0;
    EXPECT_EQ(port.read(buffer, sizeof buffer, &count), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), count), withZeros);

    // A buffer smaller than the data takes what fits.
    ASSERT_TRUE(scanner.sendReport(inputReport(10, pattern(10), 'd', 0)));
    EXPECT_EQ(port.read(buffer, 4, &count), 0);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 4), "ABCD");
}

TEST_F(HidScannerPort, ThePacketRecordCarriesTheCodeIdAndTheFinalFlag)
{
    struct Case {
        std::uint8_t continuation;
        std::uint8_t finalFlag;
    };
    for (const Case c : {Case{0, 1}, Case{1, 0}, Case{0x80, 0}}) {
        SCOPED_TRACE(static_cast<int>(c.continuation));
        ASSERT_TRUE(scanner.sendReport(inputReport(3, "xyz", 0x9C, c.continuation)));
        HidScannerPacket packet;
        std::fill(std::begin(packet.bytes), std::end(packet.bytes), 0xEE);
        ASSERT_EQ(port.read(packet), 0);
        Bytes expected(64, 0);
        expected[1] = 3;
        expected[2] = ']';
        expected[3] = 'E';
        expected[4] = '0';
        expected[5] = 'x';
        expected[6] = 'y';
        expected[7] = 'z';
        expected[62] = 0x9C;
        expected[63] = c.finalFlag;
        EXPECT_EQ(Bytes(packet.bytes, packet.bytes + 64), expected);
    }
}

TEST_F(HidScannerPort, ALengthByteBeyondTheDataAreaIsClampedTo56)
{
    // Every byte of the report is set, so a read past the data area shows.
    Bytes report(64);
    for (std::size_t i = 0; i < report.size(); ++i)
        report[i] = static_cast<std::uint8_t>(0x40 + i);
    report[1] = 200;
    report[63] = 0;

    ASSERT_TRUE(scanner.sendReport(report));
    unsigned char buffer[200];
    std::fill(std::begin(buffer), std::end(buffer), 0xEE);
    unsigned int count = 0;
    ASSERT_EQ(port.read(buffer, sizeof buffer, &count), 0);
    EXPECT_EQ(count, 56u);
    EXPECT_EQ(Bytes(buffer, buffer + 56), Bytes(report.begin() + 5, report.begin() + 61));
    EXPECT_EQ(buffer[56], 0xEE);

    ASSERT_TRUE(scanner.sendReport(report));
    HidScannerPacket packet;
    ASSERT_EQ(port.read(packet), 0);
    EXPECT_EQ(packet.bytes[1], 56);
    EXPECT_EQ(Bytes(packet.bytes + 5, packet.bytes + 61), Bytes(report.begin() + 5, report.begin() + 61));
    EXPECT_EQ(packet.bytes[61], 0);
    EXPECT_EQ(packet.bytes[62], report[61]);  // the code id, not data
    EXPECT_EQ(packet.bytes[63], 1);

    ASSERT_TRUE(scanner.sendReport(report));
    std::string text;
    ASSERT_EQ(port.read(text), 0);
    EXPECT_EQ(text, std::string(report.begin() + 5, report.begin() + 61));
    EXPECT_TRUE(logged("The data length 200 is larger than 56, clamped to 56."));
}

TEST_F(HidScannerPort, FeatureReport254SwitchesThePointOfSaleMode)
{
    unsigned char feature[64] = {0xFE, 1};
    ASSERT_TRUE(port.setFeature(feature, 2));
    EXPECT_EQ(scanner.posMode(), 1);
    feature[1] = 0;
    ASSERT_TRUE(port.setFeature(feature, 2));
    EXPECT_EQ(scanner.posMode(), 0);
    EXPECT_EQ(scanner.featureReports(), (std::vector<Bytes>{{0xFE, 1}, {0xFE, 0}}));
}

TEST_F(HidScannerPort, TheStringReadGivesUpAtTheSecondFailureInARow)
{
    port.setTimeout(10, 20000);
    // Half a message, then silence: the part so far and the time-out code.
    ASSERT_TRUE(scanner.sendReport(inputReport(4, "half", 'd', 1)));
    std::string text;
    EXPECT_EQ(port.read(text), static_cast<int>(ERROR_IO_PENDING));
    EXPECT_EQ(text, "half");

    // The device goes in the middle of a message.
    ASSERT_TRUE(scanner.sendReport(inputReport(4, "more", 'd', 1)));
    ASSERT_TRUE(vxtest::waitUntil([&] {
        HidScannerPacket packet;
        return port.read(packet) == 0;
    }));
    scanner.unplug();
    EXPECT_EQ(port.read(text), 1167);
    EXPECT_EQ(text, "");
    EXPECT_TRUE(port.isDisconnected());
}

// A device that keeps sending reports that are not the last of a message
// holds the string read only until the caller's stopper says stop: a cancel
// from another thread or a spent budget end it with 995 and what arrived.
TEST_F(HidScannerPort, TheStringReadOfAnEndlessMessageEndsOnCancelOrASpentBudget)
{
    port.setTimeout(50, 20000);
    struct Case {
        const char* name;
        bool cancel;
        DWORD budget;
    };
    for (const Case& c : {Case{"cancel", true, 0}, Case{"budget", false, 200}}) {
        SCOPED_TRACE(c.name);
        std::atomic<bool> chatter{true};
        std::atomic<int> sent{0};
        std::thread device([&] {
            while (chatter) {
                scanner.sendReport(inputReport(4, "more", 'd', 1));
                ++sent;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            // The last report: it ends a read that did not stop by itself.
            scanner.sendReport(inputReport(3, "end", 'd', 0));
        });
        unsigned char cancel = 0;
        CStopper stopper;
        stopper.setCancelFlag(&cancel);
        stopper.setTimeout(c.budget);
        port.setStopper(&stopper);
        std::atomic<bool> done{false};
        int code = -1;
        std::string text;
        std::thread reader([&] {
            code = port.read(text);
            done = true;
        });
        if (c.cancel) {
            ASSERT_TRUE(vxtest::waitUntil([&] { return sent.load() >= 20; }));
            requestCancel(&cancel);
        }
        const bool stoppedByItself = vxtest::waitUntil([&] { return done.load(); }, std::chrono::seconds(10));
        chatter = false;
        device.join();
        reader.join();
        port.setStopper(nullptr);
        EXPECT_TRUE(stoppedByItself);
        EXPECT_EQ(code, static_cast<int>(ERROR_OPERATION_ABORTED));
        EXPECT_EQ(text.substr(0, 8), "moremore");
        EXPECT_EQ(text.find("end"), std::string::npos);
        // What the device sent meanwhile is read as it comes.
        port.setTimeout(10, 20000);
        std::string rest;
        while (port.read(rest) == 0) {
        }
        port.setTimeout(50, 20000);
    }
}

TEST_F(HidScannerPort, AClosedScannerPortAnswersSix)
{
    CUsbHidBarcodeScanner closed;
    unsigned char buffer[64] = {};
    unsigned int count = 3;
    std::string text = "old";
    EXPECT_EQ(closed.write(buffer, 10, &count), 6);
    EXPECT_EQ(count, 0u);
    count = 3;
    EXPECT_EQ(closed.read(buffer, 64, &count), 6);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(closed.read(text), 6);
    EXPECT_EQ(text, "");
    EXPECT_EQ(closed.writeRaw(buffer, 64, &count), 6);
    HidScannerPacket packet;
    EXPECT_EQ(closed.read(packet), 6);
    EXPECT_EQ(closed.getLastError(), 6);
}

TEST_F(HidScannerPort, WriteRawSendsTheReportAsItIs)
{
    unsigned char report[64] = {0xFD, 2, 'h', 'i', 0, 0, 0x55};
    unsigned int count = 0;
    EXPECT_EQ(port.writeRaw(report, 7, &count), 0);
    EXPECT_EQ(count, 64u);
    ASSERT_TRUE(vxtest::waitUntil([&] { return scanner.outputReports().size() == 1; }));
    EXPECT_EQ(scanner.outputReports()[0].bytes, Bytes(report, report + 64));
}

// A device whose reports are longer than the 64 bytes the scanner port
// reads and writes: every transfer is refused before any I/O.
class OversizedReports : public HidScannerPort {
protected:
    static vxsim::HidModel oversized()
    {
        vxsim::HidModel model = *vxsim::findHidModel("hid-pos");
        model.inputLength = 65;
        model.outputLength = 65;
        return model;
    }
    OversizedReports() : HidScannerPort(oversized()) {}
};

TEST_F(OversizedReports, AreRefusedWith87)
{
    Bytes report(65, 0x41);
    report[1] = 3;
    ASSERT_TRUE(scanner.sendReport(report));
    unsigned char buffer[64];
    unsigned int count = 7;
    EXPECT_EQ(port.read(buffer, sizeof buffer, &count), 87);
    EXPECT_EQ(count, 0u);
    HidScannerPacket packet;
    EXPECT_EQ(port.read(packet), 87);
    std::string text;
    EXPECT_EQ(port.read(text), 87);
    const unsigned char data[3] = {'a', 'b', 'c'};
    EXPECT_EQ(port.write(data, 3, &count), 87);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(port.getLastError(), 87);
    EXPECT_TRUE(scanner.outputReports().empty());
    EXPECT_TRUE(logged(",256,CUsbHidPort::read, The buffer is shorter than the input report. Report length=65"));
}

}  // namespace
