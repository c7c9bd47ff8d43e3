// A gone device fails every read and every line poll the same way, every
// few milliseconds: each failure of a port is logged once, and once more
// with its count when the run ends (a success of the same call, or the
// port's close), so the default mask does not fill the log.
#include "../SdkLogCapture.h"
#include "../../platform/hid_sysfs_fixture.h"
#include "SerialSimulatorFixture.h"
#include "TestSupport.h"

#include "ports/CSerialPort.h"
#include "ports/CUsbHidBarcodeScanner.h"
#include "simulator/hid_scanner.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using vxtest::SdkLogCapture;

namespace {

constexpr int kRounds = 50;

std::vector<std::string> lines(const std::string& method)
{
    return SdkLogCapture::linesWith(method + ", ");
}

// A serial port opened on a simulated scanner that is then unplugged; the
// log is captured from just before.
class UnpluggedSerialPort : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(port.open(scanner.path()), 0);
        log = std::make_unique<SdkLogCapture>();
        scanner->unplug();
    }

    vxtest::SimulatedSerialScanner scanner{vxtest::serialModel("rs232")};
    CSerialPort port;
    std::unique_ptr<SdkLogCapture> log;
};

}  // namespace

TEST_F(UnpluggedSerialPort, EachFailureIsLoggedOnceWithItsCount)
{
    unsigned char buffer[16];
    unsigned int count = 0;
    for (int i = 0; i < kRounds; ++i) {
        // The receiver's read and the disconnect monitor's poll, in turn.
        ASSERT_NE(port.read(buffer, sizeof buffer, &count), 0);
        port.isSignalOn(0x30);
    }
    EXPECT_EQ(lines("CSerialPort::read"), (std::vector<std::string>{"CSerialPort::read, No data is readed."}));
    const std::string pollText = "CSerialPort::isSignalOn, Unable to obtain the modem status";
    EXPECT_EQ(lines("CSerialPort::isSignalOn"), std::vector<std::string>{pollText});
    EXPECT_EQ(port.close(), 0);
    EXPECT_EQ(lines("CSerialPort::read"),
              (std::vector<std::string>{"CSerialPort::read, No data is readed.",
                                        "CSerialPort::read, No data is readed. " + std::to_string(kRounds) +
                                            " times in a row."}));
    EXPECT_EQ(lines("CSerialPort::isSignalOn"),
              (std::vector<std::string>{pollText, pollText + " " + std::to_string(kRounds) + " times in a row."}));
}

TEST(RepeatedFailureLog, ARunEndsWhenTheSameCallSucceedsAndAOneOffHasNoCount)
{
    vxtest::SimulatedSerialScanner scanner(vxtest::serialModel("rs232"));
    SdkLogCapture log;
    CSerialPort port;
    unsigned char buffer[16];
    unsigned int count = 0;
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(port.read(buffer, sizeof buffer, &count), 6);
    EXPECT_EQ(port.write(buffer, 1, &count), 6);  // once: no count follows
    ASSERT_EQ(port.open(scanner.path()), 0);
    ASSERT_EQ(port.setupReadTimeouts(1, 1, 1), 0);
    EXPECT_EQ(port.read(buffer, sizeof buffer, &count), 0);
    EXPECT_EQ(lines("CSerialPort::read"),
              (std::vector<std::string>{"CSerialPort::read, Device is not opened.",
                                        "CSerialPort::read, Device is not opened. 5 times in a row."}));
    // A new run after the success starts with its line again.
    EXPECT_EQ(port.close(), 0);
    EXPECT_EQ(port.read(buffer, sizeof buffer, &count), 6);
    EXPECT_EQ(port.read(buffer, sizeof buffer, &count), 6);
    EXPECT_EQ(lines("CSerialPort::read").size(), 3u);
    EXPECT_EQ(lines("CSerialPort::write"), (std::vector<std::string>{"CSerialPort::write, Device is not opened."}));
}

TEST(RepeatedFailureLog, AnUnpluggedHidScannerLogsEachFailureOnceWithItsCount)
{
    vxtest::HidSysfsFixture sysfs;
    vxsim::HidScanner scanner(*vxsim::findHidModel("hid-pos"), "repeats");
    ASSERT_TRUE(scanner.plug()) << scanner.lastError();
    SdkLogCapture log;
    {
        CUsbHidBarcodeScanner port;
        const std::string path = scanner.hostPath();
        ASSERT_EQ(port.open(std::wstring(path.begin(), path.end())), 0);
        ASSERT_TRUE(vxtest::waitUntil([&] { return scanner.connections() == 1; }));
        scanner.unplug();
        unsigned char buffer[64];
        unsigned int count = 0;
        for (int i = 0; i < kRounds; ++i) {
            ASSERT_NE(port.read(buffer, sizeof buffer, &count), 0);
            EXPECT_TRUE(port.isDisconnected());
        }
        const std::string gone = "CUsbHidPort::isDisconnected, Device is disconnected...I cann't get any information "
                                 "from it..";
        EXPECT_EQ(lines("CUsbHidPort::read"), (std::vector<std::string>{"CUsbHidPort::read, Error during reading data."}));
        EXPECT_EQ(lines("CUsbHidPort::isDisconnected"), (std::vector<std::string>{gone}));
        // Its end (without a close) counts them.
    }
    const std::string rounds = std::to_string(kRounds);
    EXPECT_EQ(SdkLogCapture::count("CUsbHidPort::read, Error during reading data. " + rounds + " times in a row."), 1u);
    EXPECT_EQ(SdkLogCapture::count("from it.. " + rounds + " times in a row."), 1u);
}

TEST_F(UnpluggedSerialPort, TheReceiverAndTheMonitorFailingAtOnceAreEachCountedExactly)
{
    constexpr int kEach = 400;
    // Both threads start together, so that their failures interleave.
    std::atomic<int> ready{0};
    auto together = [&] {
        ready.fetch_add(1);
        while (ready.load() < 2) {
        }
    };
    std::thread receiver([&] {
        together();
        unsigned char buffer[16];
        unsigned int count = 0;
        for (int i = 0; i < kEach; ++i)
            port.read(buffer, sizeof buffer, &count);
    });
    std::thread monitor([&] {
        together();
        for (int i = 0; i < kEach; ++i)
            port.isSignalOn(0x30);
    });
    receiver.join();
    monitor.join();
    EXPECT_EQ(port.close(), 0);
    const std::string each = std::to_string(kEach);
    EXPECT_EQ(lines("CSerialPort::read"),
              (std::vector<std::string>{"CSerialPort::read, No data is readed.",
                                        "CSerialPort::read, No data is readed. " + each + " times in a row."}));
    EXPECT_EQ(lines("CSerialPort::isSignalOn"),
              (std::vector<std::string>{"CSerialPort::isSignalOn, Unable to obtain the modem status",
                                        "CSerialPort::isSignalOn, Unable to obtain the modem status " + each +
                                            " times in a row."}));
}
