// Whole updates through the facade with the flash library next to the test
// programs, against flashable simulated scanners: discovered, connected,
// updated, reconnected.
#include "FirmwareFixture.h"

#include "products/CProduct.h"

#include <algorithm>
#include <cctype>

using namespace vxtest;
using Kind = vxsim::TimelineEvent::Kind;

namespace {

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

class FirmwareEndToEnd : public ApiTest {
protected:
    vxsim::FlashableScanner& plugFlashable(vxsim::FlashableKind kind, const std::string& id,
                                           const std::string& serial = std::string())
    {
        vxsim::FlashableOptions options;
        options.kind = kind;
        options.id = id;
        options.serialNumber = serial.empty() ? "SN-" + id : serial;
        m_flashable.push_back(std::make_unique<vxsim::FlashableScanner>(options));
        return *m_flashable.back();
    }

    // Discovered among these kinds and connected with exclusive access.
    void connect(std::vector<int> kinds, bool lowerCasePort = false)
    {
        CDevice* device = discoverOne(std::move(kinds));
        ASSERT_NE(device, nullptr);
        ASSERT_NE(device->product, nullptr);
        EXPECT_EQ(device->product->flashType, 2);
        if (lowerCasePort)
            device->portName = lower(device->portName);
        m_device = device;
        m_connection.initialize();
        HANDLE handle = nullptr;
        ASSERT_EQ(m_connection.connect(device, &handle, true, false, 10000), 0) << lastErrorOf(m_connection);
    }

    // The same connection opens the device again and collects its labels.
    void reconnectAndCollect(vxsim::FlashableScanner& scanner)
    {
        HANDLE handle = nullptr;
        ASSERT_EQ(m_connection.connect(m_device, &handle, true, false, 10000), 0) << lastErrorOf(m_connection);
        ASSERT_EQ(m_collection.initialize(&m_connection, 1, 3000), 0) << lastErrorOf(m_collection);
        ASSERT_EQ(m_collection.setCallback(&m_sink, &RecordSink::callback), 0);
        ASSERT_TRUE(scanner.scan("AFTER-UPDATE"));
        EXPECT_TRUE(waitUntil([&] { return m_sink.has("AFTER-UPDATE"); })) << ::testing::PrintToString(m_sink.snapshot());
        EXPECT_EQ(m_collection.shutDown(), 0);
        EXPECT_EQ(m_connection.disconnect(), 0);
    }

    FirmwareFiles m_files;
    ProgressLog m_progress;
    CDevice* m_device = nullptr;
    std::vector<std::unique_ptr<vxsim::FlashableScanner>> m_flashable;
};

TEST_F(FirmwareEndToEnd, Rs232)
{
    auto& scanner = plugFlashable(vxsim::FlashableKind::rs232, "fw-rs232");
    connect({0}, true);
    ASSERT_EQ(m_device->portName.rfind("com", 0), 0u) << m_device->portName;

    CFirmwareUpdater updater;
    ASSERT_EQ(updater.intialize(&m_connection, libraryTemplate(m_files)), 0) << lastErrorOf(updater);
    std::string version;
    ASSERT_EQ(updater.getDllVersion(version), 0) << lastErrorOf(updater);
    EXPECT_EQ(version.rfind("1.19 | 1.23.0 | VX-FW-2207 | VXFLASH02 | ", 0), 0u) << version;

    ASSERT_EQ(updater.flashFirmware(&m_progress, m_files.application()), 0) << lastErrorOf(updater);
    EXPECT_EQ(lastErrorOf(updater), "flashFirmware successful!");
    EXPECT_TRUE(scanner.bootloader().appCopy() == m_files.expectedApplication());
    m_progress.expectWholeRun();
    EXPECT_FALSE(m_connection.isConnected());

    const auto timeline = scanner.timeline();
    expectInOrder(timeline, {{"the ping", bytesWith(std::string("\x16" "C\r", 3))},
                             {"the port closing", kindOf(Kind::close)},
                             {"the init string", bytesWith("\x16M\rVISMN42.")},
                             {"the flash", bytesWith("NEWAP2.")},
                             {"a block", bytesWith("P")}});
    reconnectAndCollect(scanner);
}

}  // namespace
