// Updates of a scanner behind the remote-management filter driver, through
// its management port: the check that the scanner answers runs inside the
// driver's transaction mode, with the update's own time-out.
#include "FirmwareFixture.h"

using namespace vxtest;
using Kind = vxsim::TimelineEvent::Kind;

namespace {

constexpr std::uint32_t kSetTransMode = 0x8023A004;
constexpr std::uint32_t kSetTimeoutFirst = 0x8023A008;
constexpr std::uint32_t kSetTimeoutSecond = 0x8023A00C;

std::uint32_t u32At(const std::vector<unsigned char>& data, std::size_t at)
{
    return data.size() < at + 4 ? 0xFFFFFFFFu
                                : std::uint32_t(data[at]) | std::uint32_t(data[at + 1]) << 8 |
                                      std::uint32_t(data[at + 2]) << 16 | std::uint32_t(data[at + 3]) << 24;
}

EventTest transactionTimeout(std::uint32_t code, std::uint32_t milliseconds)
{
    return [=](const TimelineEvent& e) { return request(code)(e) && u32At(e.data, 24) == milliseconds; };
}

EventTest transactionMode(int mode)
{
    return [=](const TimelineEvent& e) {
        return request(kSetTransMode)(e) && e.data.size() > 20 && e.data[20] == mode;
    };
}

class FirmwareFilterDriver : public FakeFirmwareTest {
protected:
    // The management port's record of the scanner behind the driver,
    // connected.
    CDevice* connectManagementPort(vxsim::FlashableScanner& scanner)
    {
        (void)scanner;
        CDiscoveryTemplate search = searchTemplate({EIT_RS232});
        search.interfaceUsages = {EIU_LOB, EIU_QOX};
        CDiscovery discovery;
        discovery.initialize();
        EXPECT_EQ(discovery.enumerate(search, &m_found.devices, 30000), 0) << lastErrorOf(discovery);
        CDevice* management = nullptr;
        for (CDevice* device : m_found.devices)
            if (device->interfaceUsage == EIU_QOX && device->fromFilterDriver == 1)
                management = device;
        if (management == nullptr) {
            ADD_FAILURE() << "no management-port record";
            return nullptr;
        }
        m_connection.initialize();
        HANDLE handle = nullptr;
        EXPECT_EQ(m_connection.connect(management, &handle, true, false, 10000), 0) << lastErrorOf(m_connection);
        return management;
    }
};

// The driver gets the 5000 ms transaction time-out, then the mode; the
// ping goes over the management port inside it; the mode ends after it.
TEST_F(FirmwareFilterDriver, TheCheckRunsInsideTransactionMode)
{
    vxsim::FlashableOptions options;
    options.kind = vxsim::FlashableKind::filterRs232;
    options.id = "fd-check";
    vxsim::FlashableScanner scanner(options);
    CDevice* device = connectManagementPort(scanner);
    ASSERT_NE(device, nullptr);
    CFirmwareUpdater updater;
    ASSERT_EQ(updater.intialize(&m_connection, fakeTemplate(device->product->flashType)), 0) << lastErrorOf(updater);

    const std::uint64_t before = scanner.timeline().back().order;
    ASSERT_EQ(updater.flashFirmware(&m_progress, "fd.mocf"), 0) << lastErrorOf(updater);
    // The scanner notices the port's host going in its own time.
    ASSERT_TRUE(waitUntil([&] { return !scanner.bootloader().serialPort()->managementConnected(); }));
    std::vector<TimelineEvent> update;
    for (const auto& event : scanner.timeline())
        if (event.order > before)
            update.push_back(event);
    expectInOrder(update, {
                              {"time-out 5000", transactionTimeout(kSetTimeoutFirst, 5000)},
                              {"time-out 5000 again", transactionTimeout(kSetTimeoutSecond, 5000)},
                              {"transaction mode on", transactionMode(1)},
                              {"the ping on the management port",
                               [](const TimelineEvent& e) {
                                   return e.management && bytesWith(std::string("\x16" "C\r", 3))(e);
                               }},
                              {"transaction mode off", transactionMode(0)},
                              {"the management port closing",
                               [](const TimelineEvent& e) { return e.management && e.kind == Kind::close; }},
                          });
    EXPECT_FALSE(scanner.bootloader().serialPort()->filterDriverState().transactionMode);
    EXPECT_EQ(m_fake.callsStartingWith("FlashScanner").size(), 1u);
}

// A whole update with the flash library over the management port.
TEST_F(FirmwareFilterDriver, AWholeUpdateOverTheManagementPort)
{
    vxsim::FlashableOptions options;
    options.kind = vxsim::FlashableKind::filterRs232;
    options.id = "fd-update";
    vxsim::FlashableScanner scanner(options);
    CDevice* device = connectManagementPort(scanner);
    ASSERT_NE(device, nullptr);
    FirmwareFiles files;
    CFirmwareUpdater updater;
    ASSERT_EQ(updater.intialize(&m_connection, libraryTemplate(files)), 0) << lastErrorOf(updater);
    ASSERT_EQ(updater.flashFirmware(&m_progress, files.application()), 0) << lastErrorOf(updater);
    EXPECT_TRUE(scanner.bootloader().appCopy() == files.expectedApplication());
    m_progress.expectWholeRun();
}

}  // namespace
