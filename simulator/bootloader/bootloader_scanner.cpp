// The simulated scanner's application and bootloader for firmware updates;
// see simulator/bootloader.h for the links, the flash model and the faults.
#include "simulator/bootloader.h"

#include "simulator/hid_model.h"
#include "simulator/hid_scanner.h"
#include "simulator/serial_model.h"
#include "simulator/virtual_serial_port.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

namespace vxsim {

using namespace bootmap;

namespace {

// Bytes of the wire formats.
constexpr std::uint8_t kSyn = 0x16;
constexpr std::uint8_t kAck = 0x06;
constexpr std::uint8_t kEnq = 0x05;
constexpr std::uint8_t kDc1 = 0x11;
constexpr std::uint8_t kNak = 0x15;
constexpr std::uint8_t kEsc = 0x1B;
// Payload bytes in one bootloader input report: report id, payload count and
// three bytes the host does not look at come first.
constexpr std::size_t kReportPayload = 59;
constexpr std::size_t kReportHeader = 5;

std::uint32_t be32(const std::uint8_t* b)
{
    return std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | b[3];
}

unsigned sum16(const std::uint8_t* b, std::size_t n)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < n; ++i)
        sum += b[i];
    return sum & 0xFFFF;
}

}  // namespace

struct BootloaderScanner::Impl {
    enum class Channel { serial, appHid, bootHid };
    enum class Boot { menu, op, eraseAddress, dc1, frame, deaf };
    enum class Relay { op, eraseAddress, programAddress, data };

    explicit Impl(const BootloaderOptions& options)
        : m_options(options), m_bootLow(kBootLowSize, 0x00), m_main(kMainSize, 0x00),
          m_appBlockValid(kAppSize / kBlock, !options.startInBoot), m_boot(options.startInBoot),
          m_appValid(!options.startInBoot)
    {
        const BootLink link = options.link;
        if (link == BootLink::rs232 || link == BootLink::cdc) {
            SerialModel model;
            model.name = options.id;
            model.baudRate = 115200;
            model.wireTime = options.wireTime;
            model.usbSerial = link == BootLink::cdc;
            model.deviceKind = link == BootLink::cdc ? "varnex_cdc_acmSerial" : "Serial";
            if (options.serialModel) {
                model = *options.serialModel;
                model.name = options.id;
                model.wireTime = options.wireTime;
                model.usbSerial = link == BootLink::cdc;
            }
            m_serial = std::make_unique<VirtualSerialPort>(model, options.id);
            // The menu engine of the port stays quiet: this class answers.
            m_serial->setSilent(true);
            DataFaults mute;
            mute.silent = true;
            m_serial->setDataFaults(mute);
            m_serial->plug();
        }
        if (link == BootLink::hid)
            m_appHid = makeHid(kAppProduct, kAppInterface, options.id + "-app");
        if (link == BootLink::hid || link == BootLink::cdc)
            m_bootHid = makeHid(kBootProduct, 0, options.id + "-boot");
        if (m_appHid && !m_boot)
            plugHid(*m_appHid, m_appSeen);
        if (m_bootHid && m_boot)
            plugHid(*m_bootHid, m_bootSeen);
        m_thread = std::thread([this] { run(); });
    }

    ~Impl()
    {
        m_stop = true;
        m_thread.join();
    }

    std::unique_ptr<HidScanner> makeHid(std::uint16_t product, unsigned interfaceNumber, const std::string& id)
    {
        HidModel model = *findHidModel("hid-pos");
        if (product == kAppProduct && m_options.applicationHidModel)
            model = *m_options.applicationHidModel;
        model.vendorId = kVendor;
        model.productId = product;
        model.interfaceNumber = interfaceNumber;
        model.usage = 0x0002;
        model.reportIntervalUs = m_options.reportIntervalUs;
        auto hid = std::make_unique<HidScanner>(model, id);
        DataFaults mute;
        mute.silent = true;
        hid->setDataFaults(mute);
        return hid;
    }

    void plugHid(HidScanner& hid, std::size_t& seen)
    {
        // Plugging forgets what the interface received: keep the count.
        m_reportsBefore += hid.outputReports().size();
        hid.clearObservations();
        seen = 0;
        hid.plug();
    }

    void run()
    {
        while (!m_stop) {
            poll();
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    }

    void poll()
    {
        if (m_serial && m_serial->isPlugged()) {
            const std::vector<unsigned char> bytes = m_serial->received();
            for (; m_serialSeen < bytes.size(); ++m_serialSeen)
                take(Channel::serial, bytes[m_serialSeen]);
        }
        if (m_appHid && m_appHid->isPlugged()) {
            const std::string bytes = m_appHid->receivedData();
            for (; m_appSeen < bytes.size() && m_appHid->isPlugged(); ++m_appSeen)
                take(Channel::appHid, static_cast<std::uint8_t>(bytes[m_appSeen]));
        }
        if (m_bootHid && m_bootHid->isPlugged()) {
            const std::string bytes = m_bootHid->receivedData();
            for (; m_bootSeen < bytes.size() && m_bootHid->isPlugged(); ++m_bootSeen)
                take(Channel::bootHid, static_cast<std::uint8_t>(bytes[m_bootSeen]));
        }
    }

    // Who listens on a channel now: the application or the bootloader.
    bool bootloaderListens(Channel channel) const
    {
        if (channel == Channel::bootHid)
            return true;
        if (channel == Channel::appHid)
            return false;
        return m_options.link == BootLink::rs232 && m_boot;
    }

    void take(Channel channel, std::uint8_t byte)
    {
        std::unique_lock lock(m_mutex);
        if (m_dead)
            return;
        if (bootloaderListens(channel))
            bootByte(channel, byte, lock);
        else if (!m_boot && !m_options.applicationFilter)
            appByte(channel, byte, lock);
        else if (!m_boot)
            for (const std::uint8_t passed : m_options.applicationFilter(byte))
                appByte(channel, passed, lock);
    }

    // --- replies --------------------------------------------------------

    void reply(Channel channel, const std::string& bytes)
    {
        if (channel == Channel::serial) {
            m_serial->send(std::vector<unsigned char>(bytes.begin(), bytes.end()));
            m_serialToHost += bytes.size();
            return;
        }
        HidScanner& hid = channel == Channel::appHid ? *m_appHid : *m_bootHid;
        const std::size_t reportLength = std::max<std::size_t>(hid.model().inputLength, kReportHeader + kReportPayload);
        std::vector<std::vector<std::uint8_t>> reports;
        for (std::size_t at = 0; at < bytes.size() || at == 0; at += kReportPayload) {
            const std::size_t n = std::min(kReportPayload, bytes.size() - at);
            std::vector<std::uint8_t> report(reportLength, 0);
            report[0] = hid.model().inputReportId;
            report[1] = static_cast<std::uint8_t>(n);
            std::copy(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                      bytes.begin() + static_cast<std::ptrdiff_t>(at + n), report.begin() + kReportHeader);
            reports.push_back(std::move(report));
            if (bytes.empty())
                break;
        }
        // One report per interval, as the host's output reports are taken.
        hid.sendPacedReports(reports);
        m_reportsToHost += reports.size();
    }

    std::string pinfoText() const
    {
        std::string t = "fmt: 1\r\n";
        t += m_boot ? "mode: boot\r\n" : "mode: app\r\n";
        t += "app-present: 1\r\napp-sw-rev: A1.00\r\napp-compat: 0,17\r\n";
        t += "boot-present: 1\r\nboot-sw-rev: B1.00\r\n";
        t += m_options.link == BootLink::rs232 ? "cbl: 2\r\n" : "cbl: 4\r\n";
        char ids[64];
        std::snprintf(ids, sizeof ids, "usbvid: 0x%04x\r\nusbpid: 0x%04x\r\n", kVendor, kBootProduct);
        t += ids;
        return t;
    }

    void sendPinfo(Channel channel)
    {
        const std::string tail = "csum: 4711\r\n\r\n\x06.";
        const std::string head = "P_INFO" + pinfoText();
        if (channel == Channel::serial) {
            reply(channel, head + tail);
            return;
        }
        // Over HID the text goes out in reports; the last one carries the
        // check-sum line and the closing ACK.
        reply(channel, head);
        reply(channel, tail);
    }

    // --- the application ------------------------------------------------

    void appByte(Channel channel, std::uint8_t byte, std::unique_lock<std::mutex>& lock)
    {
        if (!m_appFrameOpen) {
            if (byte == kSyn) {
                m_appFrameOpen = true;
                m_appFrame.clear();
            }
            return;
        }
        m_appFrame.push_back(static_cast<char>(byte));
        if (m_appFrame.size() == 2 && m_appFrame[0] == 'C' && m_appFrame[1] == '\r') {
            m_appFrameOpen = false;
            if (!m_appMute)
                reply(channel, std::string(1, char(kAck)));
            return;
        }
        if (m_appFrame.size() < 3 || (byte != '.' && byte != '!'))
            return;
        m_appFrameOpen = false;
        if (m_appMute)
            return;
        const std::string text = m_appFrame.substr(2);  // after the class letter and CR
        if (text.rfind("NEWBLI", 0) == 0 && m_relay) {
            relayCommand(channel, text, lock);
            return;
        }
        m_commands.push_back(text);
        if (text == "P_INFO.") {
            sendPinfo(channel);
        } else if (text == "TRGMOD0;TRGITG1!") {
            reply(channel, std::string("TRGMOD0\x06;TRGITG1\x06!"));
        } else if (text == "NEWAP2.") {
            restart(true);
        } else if (text == "NEWBLS.") {
            m_relay = true;
            m_relayState = Relay::op;
            reply(channel, std::string("NEWBLS\x11\x06."));
        } else if (text == "NEWBLE.") {
            m_relay = false;
        } else if (text == "VISMN40.") {
            reply(channel, std::string("VISMN40\x06."));
        } else {
            reply(channel, std::string(1, char(kEnq)));
        }
    }

    void relayReply(Channel channel, bool ok)
    {
        reply(channel, std::string("NEWBLI") + char(ok ? kDc1 : kNak) + "\x06.");
    }

    // A relay command: NEWBLI, two letters of length, two letters per byte
    // (each letter 'A' + a nibble), the mark.
    void relayCommand(Channel channel, const std::string& text, std::unique_lock<std::mutex>& lock)
    {
        ++m_relayCount;
        auto letter = [&](std::size_t at) { return static_cast<unsigned>(text[at] - 'A') & 0x0F; };
        if (text.size() < 9) {
            relayReply(channel, false);
            return;
        }
        const std::size_t n = letter(6) * 16 + letter(7);
        if (text.size() != 8 + 2 * n + 1) {
            relayReply(channel, false);
            return;
        }
        std::vector<std::uint8_t> data(n);
        for (std::size_t i = 0; i < n; ++i)
            data[i] = static_cast<std::uint8_t>(letter(8 + 2 * i) * 16 + letter(9 + 2 * i));
        switch (m_relayState) {
        case Relay::op:
            if (n == 1 && (data[0] == kEsc || data[0] == kAck)) {
                relayReply(channel, true);
            } else if (n == 1 && data[0] == 'E') {
                m_relayState = Relay::eraseAddress;
                relayReply(channel, true);
            } else if (n == 1 && data[0] == 'P') {
                m_relayState = Relay::programAddress;
                relayReply(channel, true);
            } else {
                relayReply(channel, false);
            }
            return;
        case Relay::eraseAddress:
            m_relayState = Relay::op;
            relayReply(channel, n == 4 && erase(be32(data.data())));
            return;
        case Relay::programAddress:
            if (n != 4 || !mapped(be32(data.data()))) {
                m_relayState = Relay::op;
                relayReply(channel, false);
                return;
            }
            m_programAddress = be32(data.data());
            m_frameBlock.clear();
            m_relayState = Relay::data;
            relayReply(channel, true);
            return;
        case Relay::data: {
            if (n != 18 || sum16(data.data(), 16) != (unsigned(data[16]) << 8 | data[17])) {
                m_relayState = Relay::op;
                relayReply(channel, false);
                return;
            }
            m_frameBlock.insert(m_frameBlock.end(), data.begin(), data.begin() + 16);
            if (m_frameBlock.size() < kBlock) {
                relayReply(channel, true);
                return;
            }
            m_relayState = Relay::op;
            const BlockAction action = blockAction(lock);
            if (action == BlockAction::ack)
                program(m_programAddress, m_frameBlock.data());
            finishBlock(channel, action, [&](bool ok) { relayReply(channel, ok); });
            return;
        }
        }
    }

    // --- the bootloader -------------------------------------------------

    void bootByte(Channel channel, std::uint8_t byte, std::unique_lock<std::mutex>& lock)
    {
        switch (m_bootState) {
        case Boot::deaf:
        case Boot::menu:
            if (m_bootFrameOpen) {
                m_bootFrame.push_back(static_cast<char>(byte));
                if (m_bootFrame.size() >= 3 && (byte == '.' || byte == '!')) {
                    m_bootFrameOpen = false;
                    const std::string text = m_bootFrame.substr(2);
                    m_commands.push_back(text);
                    if (m_bootMute)
                        return;
                    if (text == "BTLPRO*.") {
                        m_bootState = Boot::op;
                        m_bootBaud = m_serial && channel == Channel::serial ? m_serial->hostLine().baudRate : 0;
                        reply(channel, std::string("BTLPRO*V1\x06."));
                    } else if (text == "P_INFO." && m_bootState == Boot::menu) {
                        sendPinfo(channel);
                    }
                }
            } else if (byte == kSyn) {
                m_bootFrameOpen = true;
                m_bootFrame.clear();
            }
            return;
        case Boot::op:
            if (byte == kEsc || byte == kAck) {
                reply(channel, std::string(1, char(kDc1)));
            } else if (byte == 'E') {
                m_bootState = Boot::eraseAddress;
                m_bytes.clear();
                reply(channel, std::string(1, char(kDc1)));
            } else if (byte == 'P') {
                m_bootState = Boot::dc1;
                reply(channel, std::string(1, char(kDc1)));
            } else if (byte == 'X') {
                m_bootState = Boot::menu;
                restart(!m_appValid);
            } else {
                reply(channel, std::string(1, char(kNak)));
            }
            return;
        case Boot::eraseAddress:
            m_bytes.push_back(byte);
            if (m_bytes.size() == 4) {
                m_bootState = Boot::op;
                reply(channel, std::string(1, char(erase(be32(m_bytes.data())) ? kDc1 : kNak)));
            }
            return;
        case Boot::dc1:
            m_bootState = byte == kDc1 ? Boot::frame : Boot::op;
            m_bytes.clear();
            return;
        case Boot::frame: {
            // Address, the block, its 16-bit sum (high byte first).
            m_bytes.push_back(byte);
            if (m_bytes.size() < 4 + kBlock + 2)
                return;
            m_bootState = Boot::op;
            const std::uint32_t address = be32(m_bytes.data());
            const unsigned sum = static_cast<unsigned>(m_bytes[4 + kBlock] << 8 | m_bytes[4 + kBlock + 1]);
            if (!mapped(address) || sum16(m_bytes.data() + 4, kBlock) != sum) {
                reply(channel, std::string(1, char(kNak)));
                return;
            }
            const BlockAction action = blockAction(lock);
            if (action == BlockAction::ack)
                program(address, m_bytes.data() + 4);
            finishBlock(channel, action, [&](bool ok) { reply(channel, std::string(1, char(ok ? kDc1 : kNak))); });
            return;
        }
        }
    }

    BlockAction blockAction(std::unique_lock<std::mutex>& lock)
    {
        if (!m_hook)
            return BlockAction::ack;
        std::function<BlockAction(int)> hook = m_hook;
        const int done = static_cast<int>(m_blockAddresses.size());
        // The hook may call back into the scanner (or into the host).
        lock.unlock();
        const BlockAction action = hook(done);
        lock.lock();
        return action;
    }

    template <typename Answer>
    void finishBlock(Channel channel, BlockAction action, Answer answer)
    {
        switch (action) {
        case BlockAction::ack: answer(true); break;
        case BlockAction::reject: answer(false); break;
        case BlockAction::silent: m_dead = true; break;
        case BlockAction::reset:
            m_relay = false;
            m_bootState = Boot::deaf;  // a restarted bootloader waits for a new session
            break;
        case BlockAction::unplug:
            m_dead = true;
            if (channel == Channel::serial)
                m_serial->unplug();
            else
                (channel == Channel::appHid ? *m_appHid : *m_bootHid).unplug();
            break;
        }
    }

    // The scanner restarts, into its bootloader or its application.
    void restart(bool intoBoot)
    {
        m_boot = intoBoot;
        m_relay = false;
        m_appFrameOpen = false;
        m_bootFrameOpen = false;
        m_bootState = Boot::menu;
        if (m_options.link == BootLink::rs232)
            return;
        if (m_appHid) {
            if (intoBoot)
                m_appHid->unplug();
            else if (!m_appHid->isPlugged())
                plugHid(*m_appHid, m_appSeen);
        }
        if (intoBoot && !m_bootHid->isPlugged())
            plugHid(*m_bootHid, m_bootSeen);
        else if (!intoBoot)
            m_bootHid->unplug();
    }

    // --- the flash ------------------------------------------------------

    // The block's bytes in the flash, or null for an address outside it or
    // not on a block boundary.
    std::uint8_t* blockMemory(std::uint32_t address)
    {
        if (address % kBlock != 0)
            return nullptr;
        if (address >= kBootLowBase && address < kBootLowBase + kBootLowSize)
            return m_bootLow.data() + (address - kBootLowBase);
        if (address >= kMainBase && address < kMainBase + kMainSize)
            return m_main.data() + (address - kMainBase);
        return nullptr;
    }
    bool mapped(std::uint32_t address) { return blockMemory(address) != nullptr; }
    bool erase(std::uint32_t address)
    {
        std::uint8_t* memory = blockMemory(address);
        if (memory == nullptr)
            return false;
        std::fill(memory, memory + kBlock, 0xFF);
        if (address >= kMainBase && address < kMainBase + kAppSize) {
            m_appBlockValid[(address - kMainBase) / kBlock] = false;
            m_appValid = false;
        }
        return true;
    }
    void program(std::uint32_t address, const std::uint8_t* data)
    {
        std::uint8_t* memory = blockMemory(address);
        for (std::size_t i = 0; i < kBlock; ++i)
            memory[i] &= data[i];
        if (address >= kMainBase && address < kMainBase + kAppSize) {
            m_appBlockValid[(address - kMainBase) / kBlock] = true;
            // The application starts again only once its last block is in
            // and nothing erased is left.
            if (address == kMainBase + kAppSize - kBlock)
                m_appValid = std::all_of(m_appBlockValid.begin(), m_appBlockValid.end(), [](bool v) { return v; });
        }
        m_blockAddresses.push_back(address);
    }

    const BootloaderOptions m_options;
    std::unique_ptr<VirtualSerialPort> m_serial;
    std::unique_ptr<HidScanner> m_appHid;
    std::unique_ptr<HidScanner> m_bootHid;
    // Received bytes already taken, per channel (the poll thread's own).
    std::size_t m_serialSeen = 0;
    std::size_t m_appSeen = 0;
    std::size_t m_bootSeen = 0;

    mutable std::mutex m_mutex;
    std::vector<std::uint8_t> m_bootLow;
    std::vector<std::uint8_t> m_main;
    std::vector<bool> m_appBlockValid;
    std::vector<std::uint32_t> m_blockAddresses;
    std::vector<std::string> m_commands;
    int m_relayCount = 0;
    std::function<BlockAction(int)> m_hook;
    bool m_boot;
    bool m_appValid;
    bool m_dead = false;
    bool m_bootMute = false;
    bool m_appMute = false;
    unsigned m_bootBaud = 0;

    bool m_appFrameOpen = false;
    std::string m_appFrame;
    bool m_relay = false;
    Relay m_relayState = Relay::op;
    std::uint32_t m_programAddress = 0;
    std::vector<std::uint8_t> m_frameBlock;

    Boot m_bootState = Boot::menu;
    bool m_bootFrameOpen = false;
    std::string m_bootFrame;
    std::vector<std::uint8_t> m_bytes;

    std::size_t m_serialToHost = 0;
    std::size_t m_reportsToHost = 0;
    std::size_t m_reportsBefore = 0;

    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

BootloaderScanner::BootloaderScanner(BootloaderOptions options) : m_impl(std::make_unique<Impl>(options)) {}

BootloaderScanner::BootloaderScanner(BootLink link, bool startInBoot, const std::string& id)
    : BootloaderScanner(BootloaderOptions{link, startInBoot, id})
{
}

BootloaderScanner::~BootloaderScanner() = default;

BootLink BootloaderScanner::link() const { return m_impl->m_options.link; }

std::string BootloaderScanner::serialPath() const
{
    return m_impl->m_serial ? m_impl->m_serial->ptyPath() : std::string();
}

std::string BootloaderScanner::hidPath() const
{
    std::lock_guard lock(m_impl->m_mutex);
    if (m_impl->m_appHid && !m_impl->m_boot)
        return m_impl->m_appHid->hostPath();
    return m_impl->m_bootHid ? m_impl->m_bootHid->hostPath() : std::string();
}

void BootloaderScanner::setBlockHook(std::function<BlockAction(int)> hook)
{
    std::lock_guard lock(m_impl->m_mutex);
    m_impl->m_hook = std::move(hook);
}

void BootloaderScanner::failAtBlock(int blocksDone, BlockAction action)
{
    setBlockHook([blocksDone, action](int done) { return done == blocksDone ? action : BlockAction::ack; });
}

void BootloaderScanner::setBootloaderMute(bool mute)
{
    std::lock_guard lock(m_impl->m_mutex);
    m_impl->m_bootMute = mute;
}

void BootloaderScanner::setApplicationMute(bool mute)
{
    std::lock_guard lock(m_impl->m_mutex);
    m_impl->m_appMute = mute;
}

std::vector<std::uint8_t> BootloaderScanner::bootCopy() const
{
    std::lock_guard lock(m_impl->m_mutex);
    std::vector<std::uint8_t> image(m_impl->m_bootLow.begin(), m_impl->m_bootLow.end());
    image.insert(image.end(), m_impl->m_main.begin() + kAppSize, m_impl->m_main.end());
    return image;
}

std::vector<std::uint8_t> BootloaderScanner::appCopy() const
{
    std::lock_guard lock(m_impl->m_mutex);
    return std::vector<std::uint8_t>(m_impl->m_main.begin(), m_impl->m_main.begin() + kAppSize);
}

std::vector<std::string> BootloaderScanner::commands() const
{
    std::lock_guard lock(m_impl->m_mutex);
    return m_impl->m_commands;
}

int BootloaderScanner::relayCommands() const
{
    std::lock_guard lock(m_impl->m_mutex);
    return m_impl->m_relayCount;
}

std::vector<std::uint32_t> BootloaderScanner::blocks() const
{
    std::lock_guard lock(m_impl->m_mutex);
    return m_impl->m_blockAddresses;
}

bool BootloaderScanner::inBoot() const
{
    std::lock_guard lock(m_impl->m_mutex);
    return m_impl->m_boot;
}

unsigned BootloaderScanner::bootloaderBaud() const
{
    std::lock_guard lock(m_impl->m_mutex);
    return m_impl->m_bootBaud;
}

VirtualSerialPort* BootloaderScanner::serialPort() const { return m_impl->m_serial.get(); }

HidScanner* BootloaderScanner::applicationHid() const { return m_impl->m_appHid.get(); }

HidScanner* BootloaderScanner::bootloaderHid() const { return m_impl->m_bootHid.get(); }

BootloaderScanner::Traffic BootloaderScanner::traffic() const
{
    Traffic t;
    std::lock_guard lock(m_impl->m_mutex);
    if (m_impl->m_serial)
        t.serialFromHost = m_impl->m_serial->received().size();
    t.serialToHost = m_impl->m_serialToHost;
    t.reportsFromHost = m_impl->m_reportsBefore;
    for (const HidScanner* hid : {m_impl->m_appHid.get(), m_impl->m_bootHid.get()})
        if (hid)
            t.reportsFromHost += hid->outputReports().size();
    t.reportsToHost = m_impl->m_reportsToHost;
    return t;
}

}  // namespace vxsim
