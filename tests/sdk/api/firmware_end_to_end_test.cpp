// Whole updates through the facade with the flash library next to the test
// programs, against flashable simulated scanners of every link: discovered,
// connected, updated, reconnected; cancelled, unplugged, blocked.
#include "FirmwareFixture.h"

#include "products/CProduct.h"

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <cstdio>
#include <thread>

using namespace vxtest;
using Kind = vxsim::TimelineEvent::Kind;
using vxsim::FlashableKind;

namespace {

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

const std::string kPing("\x16" "C\r", 3);
const std::string kInitString = "\x16M\rVISMN42.";

// The last order number a timeline holds so far: later events are the
// update's.
std::uint64_t lastOrder(const std::vector<vxsim::TimelineEvent>& timeline)
{
    return timeline.empty() ? 0 : timeline.back().order;
}

std::vector<vxsim::TimelineEvent> after(std::uint64_t order, const std::vector<vxsim::TimelineEvent>& timeline)
{
    std::vector<vxsim::TimelineEvent> later;
    for (const auto& event : timeline)
        if (event.order > order)
            later.push_back(event);
    return later;
}

class FirmwareEndToEnd : public ApiTest {
protected:
    vxsim::FlashableScanner& plugFlashable(FlashableKind kind, const std::string& id,
                                           const std::string& serial = std::string())
    {
        vxsim::FlashableOptions options;
        options.kind = kind;
        options.id = id;
        options.serialNumber = serial.empty() ? "SN-" + id : serial;
        m_flashable.push_back(std::make_unique<vxsim::FlashableScanner>(options));
        return *m_flashable.back();
    }

    // Discovers the one device of these kinds and connects it with
    // exclusive access.
    CDevice* connect(CConnection& connection, std::vector<int> kinds, bool lowerCasePort = false)
    {
        CDevice* device = discoverOne(std::move(kinds));
        if (device == nullptr || device->product == nullptr) {
            ADD_FAILURE() << "no device with a product";
            return nullptr;
        }
        EXPECT_EQ(device->product->flashType, 2);
        if (lowerCasePort)
            device->portName = lower(device->portName);
        connection.initialize();
        HANDLE handle = nullptr;
        EXPECT_EQ(connection.connect(device, &handle, true, false, 10000), 0) << lastErrorOf(connection);
        return device;
    }

    // The same connection opens the device again and collects its labels.
    void reconnectAndCollect(vxsim::FlashableScanner& scanner, CDevice* device)
    {
        HANDLE handle = nullptr;
        ASSERT_EQ(m_connection.connect(device, &handle, true, false, 10000), 0) << lastErrorOf(m_connection);
        ASSERT_EQ(m_collection.initialize(&m_connection, 1, 3000), 0) << lastErrorOf(m_collection);
        ASSERT_EQ(m_collection.setCallback(&m_sink, &RecordSink::callback), 0);
        ASSERT_TRUE(scanner.scan("AFTER-UPDATE"));
        EXPECT_TRUE(waitUntil([&] { return m_sink.has("AFTER-UPDATE"); })) << ::testing::PrintToString(m_sink.snapshot());
        EXPECT_EQ(m_collection.shutDown(), 0);
        EXPECT_EQ(m_connection.disconnect(), 0);
    }

    FirmwareFiles m_files;
    ProgressLog m_progress;
    std::vector<std::unique_ptr<vxsim::FlashableScanner>> m_flashable;
};

struct LinkCase {
    const char* name;
    FlashableKind kind;
    int interfaceType;
    // The library and the firmware file in folders of UTF-8 names.
    bool utf8Names;
};

void PrintTo(const LinkCase& c, std::ostream* out)
{
    *out << c.name;
}

std::string caseName(const ::testing::TestParamInfo<LinkCase>& info)
{
    return info.param.name;
}

const LinkCase kRs232{"rs232", FlashableKind::rs232, EIT_RS232, true};
const LinkCase kCdc{"cdc", FlashableKind::usbSerial, EIT_USB_SERIAL, false};
const LinkCase kHidLob{"hid_lob", FlashableKind::hidLob, EIT_USB_HID_BARCODE_SCANNER, false};
const LinkCase kHidPos{"hid_pos", FlashableKind::hidPos, EIT_USB_HID_BARCODE_SCANNER, true};

class FirmwareLinks : public FirmwareEndToEnd, public ::testing::WithParamInterface<LinkCase> {};

// Discovered, connected, updated (the flash holds the image), the
// connection left disconnected, then connected again for labels. The
// scanner saw, in order: the check that it answers (serial), the port
// closing, report 254 = 1 (point of sale), the init string, the flash,
// report 254 = 0.
TEST_P(FirmwareLinks, UpdatesAndCollectsAgain)
{
    const LinkCase& c = GetParam();
    auto& scanner = plugFlashable(c.kind, std::string("fw-") + c.name);
    const bool serial = c.interfaceType != EIT_USB_HID_BARCODE_SCANNER;
    // A COM name in lower case is opened through the device prefix.
    CDevice* device = connect(m_connection, {c.interfaceType}, serial);
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(m_connection.isConnected());

    CFirmwareUpdaterTemplate updaterTemplate = libraryTemplate(m_files);
    std::string firmware = m_files.application();
    if (c.utf8Names) {
        const std::filesystem::path folder = m_files.dir().path() / "Bibliothèque-\xc3\xbc";
        std::filesystem::create_directories(folder);
        std::filesystem::create_symlink(programDirectory() + "/libVXFLASH02.so", folder / "libVXFLASH02.so");
        updaterTemplate.flashDllFolder = folder.string();
        firmware = m_files.copyApplication(m_files.dir().path() / "Firmwäre", "Firmwäre-\xc3\xa9.mocf");
    }

    CFirmwareUpdater updater;
    ASSERT_EQ(updater.intialize(&m_connection, updaterTemplate), 0) << lastErrorOf(updater);
    EXPECT_EQ(lastErrorOf(updater), "intialize successful!");
    std::string version;
    ASSERT_EQ(updater.getDllVersion(version), 0) << lastErrorOf(updater);
    EXPECT_EQ(version.rfind("1.19 | 1.23.0 | VX-FW-2207 | VXFLASH02 | ", 0), 0u) << version;
    EXPECT_EQ(lastErrorOf(updater), "getDllVersion successful!");

    const std::uint64_t before = lastOrder(scanner.timeline());
    ASSERT_EQ(updater.flashFirmware(&m_progress, firmware), 0) << lastErrorOf(updater);
    EXPECT_EQ(lastErrorOf(updater), "flashFirmware successful!");
    EXPECT_TRUE(scanner.bootloader().appCopy() == m_files.expectedApplication());
    EXPECT_FALSE(scanner.bootloader().inBoot());
    m_progress.expectWholeRun();
    EXPECT_EQ(m_progress.snapshot().back().total, static_cast<int>(kAppBlocks * 4096));
    EXPECT_FALSE(m_connection.isConnected());

    const auto update = after(before, scanner.timeline());
    std::vector<std::pair<std::string, EventTest>> steps;
    if (serial)
        steps.push_back({"the ping", bytesWith(kPing)});
    steps.push_back({"the port closing", kindOf(Kind::close)});
    if (c.kind == FlashableKind::hidPos)
        steps.push_back({"254 = 1", feature254(1)});
    steps.push_back({"the init string", dataWith(kInitString)});
    steps.push_back({"the flash", dataWith("NEWAP2.")});
    if (c.kind == FlashableKind::hidPos)
        steps.push_back({"254 = 0", feature254(0)});
    expectInOrder(update, steps);
    if (c.kind != FlashableKind::hidPos) {
        EXPECT_TRUE(std::none_of(update.begin(), update.end(), kindOf(Kind::feature))) << describeAll(update);
    }
    EXPECT_EQ(scanner.initStrings(), 1);

    reconnectAndCollect(scanner, device);
}

INSTANTIATE_TEST_SUITE_P(, FirmwareLinks, ::testing::Values(kRs232, kCdc, kHidLob, kHidPos), caseName);

using FirmwareCancel = FirmwareLinks;

// A cancel from another thread in the middle of the application's transfer
// answers at once, while the flashing thread is held inside the library;
// the flash then ends with the library's cancel result.
TEST_P(FirmwareCancel, FromAnotherThreadInTheApplicationTransfer)
{
    const LinkCase& c = GetParam();
    auto& scanner = plugFlashable(c.kind, std::string("fw-cancel-") + c.name);
    ASSERT_NE(connect(m_connection, {c.interfaceType}), nullptr);
    CFirmwareUpdater updater;
    ASSERT_EQ(updater.intialize(&m_connection, libraryTemplate(m_files)), 0) << lastErrorOf(updater);

    Gate gate;
    scanner.bootloader().setBlockHook([&](int done) {
        if (done == 2)
            gate.arriveAndWait();
        return vxsim::BlockAction::ack;
    });
    int result = -1;
    std::thread flashing([&] { result = updater.flashFirmware(&m_progress, m_files.application()); });
    ASSERT_TRUE(gate.waitReached());
    // The flashing thread waits inside the library for the block's answer.
    EXPECT_EQ(updater.cancelFlash(), 0) << lastErrorOf(updater);
    EXPECT_EQ(lastErrorOf(updater), "cancelFlash successful!");
    gate.release();
    flashing.join();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(lastErrorOf(updater),
              "API FlashScanner: Input[firmwareFileName " + m_files.application() + "] Return [CUR_CANCELED]");
    EXPECT_LT(scanner.bootloader().blocks().size(), kAppBlocks);
}

INSTANTIATE_TEST_SUITE_P(, FirmwareCancel, ::testing::Values(kRs232, kHidLob, kHidPos), caseName);

using FirmwareUnplug = FirmwareLinks;

// The scanner drops off the bus in the middle of the transfer: the update
// fails, nothing hangs.
TEST_P(FirmwareUnplug, InTheMiddleOfTheTransfer)
{
    const LinkCase& c = GetParam();
    auto& scanner = plugFlashable(c.kind, std::string("fw-unplug-") + c.name);
    ASSERT_NE(connect(m_connection, {c.interfaceType}), nullptr);
    CFirmwareUpdater updater;
    ASSERT_EQ(updater.intialize(&m_connection, libraryTemplate(m_files)), 0) << lastErrorOf(updater);
    scanner.bootloader().failAtBlock(3, vxsim::BlockAction::unplug);
    EXPECT_EQ(updater.flashFirmware(&m_progress, m_files.application()), 1);
    EXPECT_NE(lastErrorOf(updater), "flashFirmware successful!");
    EXPECT_EQ(scanner.bootloader().blocks().size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(, FirmwareUnplug, ::testing::Values(kRs232, kHidPos), caseName);

// --- blocking --------------------------------------------------------------

// Runs vx_block_holder on a serial number; it holds the device block until
// its input ends or it is killed.
class BlockHolder {
public:
    explicit BlockHolder(const std::string& serial, const TempDir& dir) : m_out(dir.file("holder-" + serial + ".out"))
    {
        const std::string command =
            "exec '" + programDirectory() + "/vx_block_holder' '" + serial + "' > '" + m_out + "' 2>&1";
        m_pipe = ::popen(command.c_str(), "w");
    }
    ~BlockHolder() { end(); }
    // "held <pid> <last error>" once it holds the block.
    bool waitHeld()
    {
        return m_pipe != nullptr && waitUntil([&] { return readFile(m_out).find('\n') != std::string::npos; }) &&
               readFile(m_out).rfind("held ", 0) == 0;
    }
    void kill()
    {
        long pid = 0;
        unsigned long error = 0;
        if (std::sscanf(readFile(m_out).c_str(), "held %ld %lu", &pid, &error) == 2 && pid > 0)
            ::kill(static_cast<pid_t>(pid), SIGKILL);
        end();
    }
    void end()
    {
        if (m_pipe != nullptr)
            ::pclose(m_pipe);
        m_pipe = nullptr;
    }

private:
    std::string m_out;
    std::FILE* m_pipe = nullptr;
};

// A second update of the same device, from another process or another
// facade of this one, answers 4 at once and leaves the update that holds
// the device alone; once the other process is gone, the update runs.
TEST_F(FirmwareEndToEnd, ASecondUpdateOfTheSameDeviceIsBlocked)
{
    auto& scanner = plugFlashable(FlashableKind::hidLob, "fw-block", "SN-BLOCKED");
    ASSERT_NE(connect(m_connection, {EIT_USB_HID_BARCODE_SCANNER}), nullptr);
    CFirmwareUpdater updater;
    ASSERT_EQ(updater.intialize(&m_connection, libraryTemplate(m_files)), 0) << lastErrorOf(updater);

    {
        BlockHolder holder("SN-BLOCKED", m_files.dir());
        ASSERT_TRUE(holder.waitHeld()) << readFile(m_files.dir().file("holder-SN-BLOCKED.out"));
        EXPECT_EQ(updater.flashFirmware(&m_progress, m_files.application()), 4);
        EXPECT_EQ(lastErrorOf(updater), "the same device is blocked by another SDK operation!");
        EXPECT_TRUE(m_connection.isConnected()) << "a blocked update leaves the port alone";
        holder.kill();
    }

    // Another facade on the same device, while this update runs.
    CConnection otherConnection;
    CFirmwareUpdater other;
    Gate gate;
    scanner.bootloader().setBlockHook([&](int done) {
        if (done == 1)
            gate.arriveAndWait();
        return vxsim::BlockAction::ack;
    });
    int result = -1;
    std::thread flashing([&] { result = updater.flashFirmware(&m_progress, m_files.application()); });
    ASSERT_TRUE(gate.waitReached());
    {
        // The other facade needs a device record and an open handle of its
        // own: the record of the update's device, with a port handle that
        // is never used.
        CDevice record;
        record = *m_found.devices.back();
        record.product = new CProduct(*m_found.devices.back()->product);
        HANDLE unused = reinterpret_cast<HANDLE>(1);
        CFirmwareUpdaterTemplate fake = libraryTemplate(m_files);
        ASSERT_EQ(other.intialize(&record, &unused, fake), 0) << lastErrorOf(other);
        EXPECT_EQ(other.flashFirmware(nullptr, m_files.application()), 4);
        EXPECT_EQ(lastErrorOf(other), "the same device is blocked by another SDK operation!");
        EXPECT_EQ(unused, reinterpret_cast<HANDLE>(1)) << "the blocked update closed nothing";
    }
    gate.release();
    flashing.join();
    EXPECT_EQ(result, 0) << lastErrorOf(updater);
    EXPECT_TRUE(scanner.bootloader().appCopy() == m_files.expectedApplication());
}

// Two devices updated from one process at the same time both succeed, one
// flash after the other: the library keeps one compatibility table.
TEST_F(FirmwareEndToEnd, TwoDevicesOfOneProcessUpdateInTurn)
{
    auto& first = plugFlashable(FlashableKind::hidLob, "fw-first", "SN-FIRST");
    auto& second = plugFlashable(FlashableKind::hidPos, "fw-second", "SN-SECOND");
    CDiscovery discovery;
    discovery.initialize();
    ASSERT_EQ(discovery.enumerate(searchTemplate({EIT_USB_HID_BARCODE_SCANNER}), &m_found.devices, 30000), 0);
    ASSERT_EQ(m_found.devices.size(), 2u);

    struct Update {
        CConnection connection;
        CFirmwareUpdater updater;
        ProgressLog progress;
        int result = -1;
    } updates[2];
    for (int i = 0; i < 2; ++i) {
        updates[i].connection.initialize();
        HANDLE handle = nullptr;
        ASSERT_EQ(updates[i].connection.connect(m_found.devices[i], &handle, true, false, 10000), 0);
        ASSERT_EQ(updates[i].updater.intialize(&updates[i].connection, libraryTemplate(m_files)), 0)
            << lastErrorOf(updates[i].updater);
    }
    std::thread threads[2];
    for (int i = 0; i < 2; ++i)
        threads[i] = std::thread([&, i] {
            updates[i].result = updates[i].updater.flashFirmware(&updates[i].progress, m_files.application());
        });
    for (auto& thread : threads)
        thread.join();
    for (auto& update : updates) {
        EXPECT_EQ(update.result, 0) << lastErrorOf(update.updater);
        update.progress.expectWholeRun();
    }
    EXPECT_TRUE(first.bootloader().appCopy() == m_files.expectedApplication());
    EXPECT_TRUE(second.bootloader().appCopy() == m_files.expectedApplication());
    // One scanner's whole transfer lies before the other's first block.
    auto span = [](const vxsim::FlashableScanner& scanner) {
        std::uint64_t firstBlock = UINT64_MAX;
        std::uint64_t lastBlock = 0;
        for (const auto& event : scanner.timeline())
            if (event.kind == Kind::report && event.device.find("-boot") != std::string::npos) {
                firstBlock = std::min(firstBlock, event.order);
                lastBlock = std::max(lastBlock, event.order);
            }
        return std::make_pair(firstBlock, lastBlock);
    };
    const auto [firstStart, firstEnd] = span(first);
    const auto [secondStart, secondEnd] = span(second);
    EXPECT_TRUE(firstEnd < secondStart || secondEnd < firstStart);
}

}  // namespace
