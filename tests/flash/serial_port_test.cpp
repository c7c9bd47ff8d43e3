// The flash library's own serial port: what a failed open leaves behind, how
// long a read on a silent scanner takes, and what a timed read leaves of the
// host's time-outs.
#include "Log.h"
#include "SerialPort.h"

#include "simulator/serial_model.h"
#include "simulator/virtual_serial_port.h"

#include "platform/serial.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

win_rs232_settings usableSettings()
{
    win_rs232_settings settings{};
    settings.dcb.DCBlength = sizeof(DCB);
    settings.dcb.BaudRate = 115200;
    settings.dcb.ByteSize = 8;
    settings.dcb.fBinary = 1;
    settings.dwInQueue = 4096;
    settings.dwOutQueue = 4096;
    return settings;
}

std::u16string comNameOf(const vxsim::VirtualSerialPort& device)
{
    for (const auto& port : platform::listSerialPorts())
        if (port.devicePath == device.ptyPath())
            return std::u16string(port.comName.begin(), port.comName.end());
    return {};
}

class FlashSerialPort : public ::testing::Test {
protected:
    void SetUp() override
    {
        vxsim::SerialModel model = *vxsim::findSerialModel("rs232");
        model.wireTime = false;
        m_device = std::make_unique<vxsim::VirtualSerialPort>(model, "flash-serial");
        ASSERT_TRUE(m_device->plug()) << m_device->lastError();
        m_name = comNameOf(*m_device);
        ASSERT_FALSE(m_name.empty());
    }

    Log m_log;
    std::unique_ptr<vxsim::VirtualSerialPort> m_device;
    std::u16string m_name;
};

TEST_F(FlashSerialPort, FailedSetupClosesThePortSoTheNextOpenSucceeds)
{
    // The port opens exclusively: had the failed open kept its handle, every
    // later open of the port, by this object or another, would be refused.
    win_rs232_settings refused = usableSettings();
    refused.dcb.ByteSize = 3;
    Serial first(&m_log);
    EXPECT_FALSE(first.OpenPort(m_name, refused, 0));
    EXPECT_FALSE(first.isOpen());

    Serial second(&m_log);
    EXPECT_TRUE(second.OpenPort(m_name, usableSettings(), 0));
    second.Close();
    EXPECT_TRUE(first.OpenPort(m_name, usableSettings(), 0));
    EXPECT_TRUE(first.isOpen());
}

TEST_F(FlashSerialPort, ReadOnASilentScannerEndsWithItsOwnTimeOutWhateverThePortsTimeOutsSay)
{
    // Port time-outs that would let one read wait a minute.
    win_rs232_settings settings = usableSettings();
    settings.comTimeout = COMMTIMEOUTS{MAXDWORD, MAXDWORD, 60000, 0, 0};
    Serial serial(&m_log);
    ASSERT_TRUE(serial.OpenPort(m_name, settings, 0));
    std::uint8_t buffer[16] = {};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(serial.ReadWithTimeout(buffer, sizeof buffer, 300), 0u);
    const auto took = std::chrono::steady_clock::now() - start;
    // Generous on a loaded machine; far below the port's own minute.
    EXPECT_GE(took, std::chrono::milliseconds(290));
    EXPECT_LT(took, std::chrono::seconds(20));
}

// A scanner that stops draining its line: with the host's write time-out of
// 500 ms in force, a write returns within its bound after a timed read too
// (the read must not leave "no write time-out" behind).
TEST_F(FlashSerialPort, TimedReadLeavesTheHostsWriteTimeOutInForce)
{
    win_rs232_settings settings = usableSettings();
    settings.comTimeout = COMMTIMEOUTS{0, 0, 0, 0, 500};
    Serial serial(&m_log);
    ASSERT_TRUE(serial.OpenPort(m_name, settings, 0));
    m_device->setReadingPaused(true);
    std::uint8_t buffer[4] = {};
    EXPECT_EQ(serial.ReadWithTimeout(buffer, sizeof buffer, 50), 0u);

    // More than the pseudo-terminal holds, so the write has to wait.
    const std::vector<std::uint8_t> block(1 << 20, 0x55);
    std::mutex mutex;
    std::condition_variable changed;
    bool returned = false;
    std::thread writer([&] {
        serial.Write(block.data(), block.size());
        std::lock_guard lock(mutex);
        returned = true;
        changed.notify_all();
    });
    bool inTime;
    {
        std::unique_lock lock(mutex);
        // 500 ms is the bound; far more is allowed for a loaded machine.
        inTime = changed.wait_for(lock, std::chrono::seconds(20), [&] { return returned; });
    }
    // Let a blocked writer finish, so that the test ends either way.
    m_device->setReadingPaused(false);
    writer.join();
    EXPECT_TRUE(inTime) << "the write ignored the host's time-out";
}

}  // namespace
