// The simulated scanner's application and bootloader for firmware updates;
// see simulator/bootloader.h for the links, the rules it holds the host to,
// the flash model and the faults.
#include "simulator/bootloader.h"

#include "simulator/hid_model.h"
#include "simulator/hid_scanner.h"
#include "simulator/serial_model.h"
#include "simulator/virtual_serial_port.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

namespace vxsim {

using namespace bootmap;

namespace {

// Bytes of the wire formats.
constexpr std::uint8_t kSyn = 0x16;
constexpr std::uint8_t kCr = 0x0D;
constexpr std::uint8_t kAck = 0x06;
constexpr std::uint8_t kEnq = 0x05;
constexpr std::uint8_t kDc1 = 0x11;
constexpr std::uint8_t kNak = 0x15;
constexpr std::uint8_t kEsc = 0x1B;
// The host's output reports: id, count, at most 62 bytes.
constexpr std::uint8_t kOutputReportId = 0xFD;
constexpr std::size_t kOutputPayload = 62;
// Payload bytes in one input report: report id, payload count and three
// bytes the host does not look at come first.
constexpr std::size_t kReportPayload = 59;
constexpr std::size_t kReportHeader = 5;
// Relay frames: 16 image bytes and their sum.
constexpr std::size_t kRelayData = 16;
// A menu frame longer than this is garbage.
constexpr std::size_t kMaxFrameText = 600;

constexpr BootLine kBootloaderLine{115200, 8, 0};

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

std::string hex8(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

std::string byteName(std::uint8_t b)
{
    switch (b) {
    case kEsc: return "ESC";
    case kAck: return "ACK";
    case kDc1: return "DC1";
    default: break;
    }
    char text[16];
    if (b >= 0x20 && b < 0x7F)
        std::snprintf(text, sizeof text, "'%c'", b);
    else
        std::snprintf(text, sizeof text, "0x%02x", b);
    return text;
}

std::string lineName(const HostLine& line)
{
    if (!line.known)
        return "no line settings";
    static const char kParity[] = {'N', 'O', 'E', 'M', 'S'};
    char text[48];
    std::snprintf(text, sizeof text, "%u %d%c", line.baudRate, line.dataBits,
                  line.parity >= 0 && line.parity <= 4 ? kParity[line.parity] : '?');
    return text;
}

// The stop bits do not change what a receiver makes of a byte; rate, size
// and parity do.
bool lineMatches(const HostLine& line, const BootLine& wanted)
{
    return line.known && line.baudRate == wanted.baudRate && line.dataBits == wanted.dataBits &&
           line.parity == wanted.parity;
}

// The menu commands the scanner knows, with the class letter each takes.
struct KnownCommand {
    const char* text;
    char menuClass;
};
constexpr KnownCommand kCommands[] = {
    {"P_INFO.", 'M'}, {"TRGMOD0;TRGITG1!", 'M'}, {"VISMN40.", 'M'}, {"NEWAP2.", 'Y'},
    {"NEWBLS.", 'Y'}, {"NEWBLE.", 'Y'},          {"BTLPRO*.", 'Y'},
};

const KnownCommand* knownCommand(const std::string& text)
{
    for (const KnownCommand& c : kCommands)
        if (text == c.text)
            return &c;
    return nullptr;
}

// One menu frame taken a byte at a time: SYN, class letter, CR, the text up
// to '.' or '!'. The sync probe is SYN 'C' CR.
class MenuFrame {
public:
    enum class Result { more, frame, probe, refused };

    Result take(std::uint8_t b, std::string* why)
    {
        switch (m_state) {
        case State::idle:
            if (b == kSyn) {
                m_state = State::letter;
                return Result::more;
            }
            *why = "byte " + byteName(b) + " outside a frame";
            return Result::refused;
        case State::letter:
            m_class = static_cast<char>(b);
            m_text.clear();
            m_state = State::cr;
            return Result::more;
        case State::cr:
            if (b != kCr) {
                *why = "no CR after the class letter " + byteName(static_cast<std::uint8_t>(m_class));
                m_state = b == kSyn ? State::letter : State::idle;
                return Result::refused;
            }
            if (m_class == 'C') {
                m_state = State::idle;
                return Result::probe;
            }
            m_state = State::text;
            return Result::more;
        case State::text:
            if (b == kSyn) {
                *why = "frame cut short by SYN";
                m_state = State::letter;
                return Result::refused;
            }
            m_text.push_back(static_cast<char>(b));
            if (b == '.' || b == '!') {
                m_state = State::idle;
                return Result::frame;
            }
            if (m_text.size() > kMaxFrameText) {
                *why = "frame without an end";
                m_state = State::idle;
                return Result::refused;
            }
            return Result::more;
        }
        return Result::more;
    }

    // Whatever was being collected is lost (garbage on the line, a restart).
    void reset() { m_state = State::idle; }
    bool idle() const { return m_state == State::idle; }
    char menuClass() const { return m_class; }
    const std::string& text() const { return m_text; }

private:
    enum class State { idle, letter, cr, text };
    State m_state = State::idle;
    char m_class = 0;
    std::string m_text;
};

}  // namespace

struct BootloaderScanner::Impl {
    enum class Channel { serial, appHid, bootHid };
    // The bootloader's session, direct.
    enum class Session { none, wantEsc, wantAck, ready, eraseAddress, wantDc1, frameAddress, frameData, frameSum };
    // The session relayed through the application.
    enum class Relay { off, wantEsc, wantAck, ready, eraseAddress, programAddress, data };

    explicit Impl(const BootloaderOptions& options)
        : m_options(options), m_bootLow(kBootLowSize, 0x00), m_main(kMainSize, 0x00),
          m_appBlockValid(kAppSize / kBlock, !options.startInBoot), m_boot(options.startInBoot),
          m_appValid(!options.startInBoot)
    {
        const BootLink link = options.link;
        if (link == BootLink::rs232 || link == BootLink::cdc) {
            SerialModel model;
            model.name = options.id;
            // The rate that paces the wire when the host has set none.
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
        // While the host talks, the next poll comes soon (a relayed block is
        // 260 exchanges); an idle scanner looks less often.
        while (!m_stop) {
            const bool busy = poll();
            std::this_thread::sleep_for(std::chrono::microseconds(busy ? 50 : 500));
        }
    }

    // Takes what arrived; true when something did.
    bool poll()
    {
        bool busy = false;
        if (m_serial && m_serial->isPlugged()) {
            // Behind the filter driver the management port's bytes reach the
            // same line; the answers go to whichever port's host is there.
            const std::vector<unsigned char> bytes = m_serial->received(m_serialSeen);
            if (!bytes.empty()) {
                busy = true;
                takeSerial(bytes, m_serial->lineHistory(), m_serialSeen);
            }
            const std::vector<unsigned char> managed = m_serial->managementReceived(m_managementSeen);
            if (!managed.empty()) {
                busy = true;
                takeSerial(managed, m_serial->managementLineHistory(), m_managementSeen);
            }
        }
        for (const Channel channel : {Channel::appHid, Channel::bootHid}) {
            HidScanner* hid = channel == Channel::appHid ? m_appHid.get() : m_bootHid.get();
            std::size_t& seen = channel == Channel::appHid ? m_appSeen : m_bootSeen;
            if (hid == nullptr || !hid->isPlugged())
                continue;
            for (const HidScanner::OutputReport& report : hid->outputReports(seen)) {
                ++seen;
                busy = true;
                std::unique_lock lock(m_mutex);
                if (m_dead)
                    break;
                takeReport(channel, *hid, report.bytes, lock);
                // The report may have unplugged the interface (a restart):
                // the rest went nowhere.
                if (!hid->isPlugged())
                    break;
            }
        }
        std::lock_guard lock(m_mutex);
        if (m_bootPlugDue && std::chrono::steady_clock::now() >= *m_bootPlugDue) {
            m_bootPlugDue.reset();
            if (m_boot && !m_bootHid->isPlugged())
                plugHid(*m_bootHid, m_bootSeen);
        }
        return busy;
    }

    // --- the log ----------------------------------------------------------

    void note(const std::string& line) { m_log.push_back(line); }
    void refuse(const std::string& who, const std::string& why) { m_log.push_back("refused " + who + ": " + why); }

    // Whether this attempt at `step` gets the wrong answer.
    bool answerWrongly(BootStep step)
    {
        const int attempt = ++m_attempts[step];
        const auto found = m_wrong.find(step);
        return found != m_wrong.end() && found->second.count(attempt) != 0;
    }

    // --- input ------------------------------------------------------------

    // New serial bytes, each under the line the host had set when it sent
    // it. On rs232 the listener takes only bytes at its own line.
    void takeSerial(const std::vector<unsigned char>& bytes, const std::vector<std::pair<std::size_t, HostLine>>& lines,
                    std::size_t& seen)
    {
        std::unique_lock lock(m_mutex);
        std::size_t at = 0;
        while (at < bytes.size() && !m_dead) {
            const std::size_t index = seen;
            // The line of this byte, and how many bytes after it share it.
            HostLine line;
            std::size_t runEnd = static_cast<std::size_t>(-1);
            for (const auto& [from, setting] : lines) {
                if (from <= index)
                    line = setting;
                else {
                    runEnd = from;
                    break;
                }
            }
            const std::size_t run = std::min(bytes.size() - at, runEnd - index);
            takeSerialRun(bytes.data() + at, run, line, lock);
            at += run;
            seen += run;
        }
        if (m_dead)
            seen += bytes.size() - at;
    }

    // Bytes that all went out under one line setting. Each goes to whoever
    // listens when it arrives (a byte may restart the scanner), and is
    // garbage to a listener whose line it does not match.
    void takeSerialRun(const unsigned char* bytes, std::size_t count, const HostLine& line,
                       std::unique_lock<std::mutex>& lock)
    {
        std::size_t garbage = 0;
        std::string garbageTo;
        auto reportGarbage = [&] {
            if (garbage == 0)
                return;
            refuse(garbageTo, std::to_string(garbage) + (garbageTo == "app" && m_options.link == BootLink::cdc
                                                             ? " bytes while the bootloader runs"
                                                             : " bytes at " + lineName(line)));
            garbage = 0;
        };
        for (std::size_t i = 0; i < count && !m_dead; ++i) {
            const bool boot = m_boot;
            // A USB serial port takes any line, but belongs to the
            // application alone.
            const bool heard = m_options.link == BootLink::cdc
                                   ? !boot
                                   : lineMatches(line, boot ? kBootloaderLine : m_options.appLine);
            if (!heard) {
                const std::string to = m_options.link == BootLink::cdc ? "app" : boot ? "boot" : "app";
                if (garbage == 0 || garbageTo != to) {
                    reportGarbage();
                    garbageTo = to;
                    // What the receiver was collecting is lost.
                    (boot ? m_bootFrame : m_appFrame).reset();
                    if (boot && m_session > Session::ready) {
                        m_bytes.clear();
                        m_session = Session::ready;
                    }
                }
                ++garbage;
                continue;
            }
            reportGarbage();
            if (boot)
                bootByte(Channel::serial, bytes[i], lock);
            else if (!m_options.applicationFilter)
                appByte(Channel::serial, bytes[i], lock);
            else
                for (const std::uint8_t passed : m_options.applicationFilter(bytes[i]))
                    appByte(Channel::serial, passed, lock);
        }
        reportGarbage();
    }

    // One output report from the host. Its form first: id, count, padding,
    // length.
    void takeReport(Channel channel, HidScanner& hid, const std::vector<std::uint8_t>& body,
                    std::unique_lock<std::mutex>& lock)
    {
        if (body.size() != hid.model().outputLength || body.size() < 2 || body[0] != kOutputReportId ||
            body[1] > kOutputPayload) {
            refuse("hid", "output report of " + std::to_string(body.size()) + " bytes, id " +
                              byteName(body.empty() ? 0 : body[0]) + ", count " +
                              std::to_string(body.size() > 1 ? body[1] : 0));
            return;
        }
        const std::size_t count = body[1];
        if (std::any_of(body.begin() + 2 + static_cast<std::ptrdiff_t>(count), body.end(),
                        [](std::uint8_t b) { return b != 0; })) {
            refuse("hid", "output report with bytes behind its count");
            return;
        }
        const std::vector<std::uint8_t> payload(body.begin() + 2, body.begin() + 2 + static_cast<std::ptrdiff_t>(count));
        if (channel == Channel::appHid) {
            if (m_boot)
                return;
            if (!m_options.applicationFilter) {
                appReport(channel, payload, lock);
                return;
            }
            // What the filter passes on is whole commands for the flash
            // side; the rest it answered itself.
            std::vector<std::uint8_t> passed;
            for (const std::uint8_t byte : payload)
                for (const std::uint8_t b : m_options.applicationFilter(byte))
                    passed.push_back(b);
            if (!passed.empty())
                appReport(channel, passed, lock);
            return;
        }
        bootReport(payload, lock);
    }

    // A report to the application holds one whole command.
    void appReport(Channel channel, const std::vector<std::uint8_t>& payload, std::unique_lock<std::mutex>& lock)
    {
        MenuFrame frame;
        std::string why;
        for (std::size_t i = 0; i < payload.size(); ++i) {
            const MenuFrame::Result r = frame.take(payload[i], &why);
            if (r == MenuFrame::Result::refused) {
                refuse("app", why);
                return;
            }
            if (r == MenuFrame::Result::frame || r == MenuFrame::Result::probe) {
                if (i + 1 != payload.size()) {
                    refuse("app", "report with more than one command");
                    return;
                }
                if (r == MenuFrame::Result::probe)
                    appProbe(channel);
                else
                    appCommand(channel, frame.menuClass(), frame.text(), lock);
                return;
            }
        }
        refuse("app", "report without a whole command");
    }

    // --- replies ----------------------------------------------------------

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

    static std::string codes(const std::vector<unsigned>& list)
    {
        std::string text;
        for (unsigned code : list)
            text += (text.empty() ? "" : ",") + std::to_string(code);
        return text;
    }

    std::string pinfoText() const
    {
        std::string t = "fmt: 1\r\n";
        t += m_boot ? "mode: boot\r\n" : "mode: app\r\n";
        t += "app-present: 1\r\napp-sw-rev: A1.00\r\n";
        if (!m_options.appCompat.empty())
            t += "app-compat: 0," + codes(m_options.appCompat) + "\r\n";
        if (!m_options.appIncompat.empty())
            t += "app-incompat: " + codes(m_options.appIncompat) + "\r\n";
        t += "boot-present: 1\r\nboot-sw-rev: B1.00\r\n";
        if (!m_options.bootCompat.empty())
            t += "boot-compat: " + codes(m_options.bootCompat) + "\r\n";
        if (!m_options.bootIncompat.empty())
            t += "boot-incompat: " + codes(m_options.bootIncompat) + "\r\n";
        t += m_options.link == BootLink::rs232 ? "cbl: 2\r\n" : "cbl: 4\r\n";
        char ids[64];
        std::snprintf(ids, sizeof ids, "usbvid: 0x%04x\r\nusbpid: 0x%04x\r\n", kVendor, kBootProduct);
        t += ids;
        return t;
    }

    void sendPinfo(Channel channel, const std::string& who)
    {
        if (answerWrongly(BootStep::pinfo)) {
            note(who + " P_INFO. (answered wrongly)");
            reply(channel, std::string(1, char(kEnq)));
            return;
        }
        note(who + " P_INFO.");
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

    // --- the application --------------------------------------------------

    void appByte(Channel channel, std::uint8_t byte, std::unique_lock<std::mutex>& lock)
    {
        if (m_probePad) {
            m_probePad = false;
            if (byte == 0)
                return;
        }
        std::string why;
        switch (m_appFrame.take(byte, &why)) {
        case MenuFrame::Result::more: return;
        case MenuFrame::Result::refused: refuse("app", why); return;
        case MenuFrame::Result::probe:
            appProbe(channel);
            m_probePad = true;
            return;
        case MenuFrame::Result::frame: appCommand(channel, m_appFrame.menuClass(), m_appFrame.text(), lock); return;
        }
    }

    void appProbe(Channel channel)
    {
        note("app SYN C");
        if (!m_appMute)
            reply(channel, std::string(1, char(kAck)));
    }

    void appCommand(Channel channel, char menuClass, const std::string& text, std::unique_lock<std::mutex>& lock)
    {
        const bool relay = text.rfind("NEWBLI", 0) == 0;
        const KnownCommand* known = knownCommand(text);
        const char wanted = relay ? 'Y' : known ? known->menuClass : menuClass;
        if (menuClass != wanted) {
            refuse("app", std::string("class '") + menuClass + "' for " + (relay ? std::string("NEWBLI") : text));
            return;
        }
        if (m_appMute) {
            note("app " + (relay ? std::string("NEWBLI") : text) + " (mute)");
            return;
        }
        if (relay) {
            if (m_relay == Relay::off) {
                refuse("app", "NEWBLI outside flash mode");
                return;
            }
            relayCommand(channel, text, lock);
            return;
        }
        m_commands.push_back(text);
        if (text == "P_INFO.") {
            sendPinfo(channel, "app");
        } else if (text == "TRGMOD0;TRGITG1!") {
            const bool wrong = answerWrongly(BootStep::trgmod);
            note("app " + text + (wrong ? " (answered wrongly)" : ""));
            reply(channel, std::string("TRGMOD0") + char(wrong ? kNak : kAck) + ";TRGITG1\x06!");
        } else if (text == "NEWAP2.") {
            note("app " + text);
            restart(true);
        } else if (text == "NEWBLS.") {
            const bool wrong = answerWrongly(BootStep::newbls);
            note("app " + text + (wrong ? " (answered wrongly)" : ""));
            if (!wrong)
                m_relay = Relay::wantEsc;
            reply(channel, std::string("NEWBLS") + char(wrong ? kNak : kDc1) + "\x06.");
        } else if (text == "NEWBLE.") {
            note("app " + text);
            m_relay = Relay::off;
        } else if (text == "VISMN40.") {
            const bool wrong = answerWrongly(BootStep::vismn40);
            note("app " + text + (wrong ? " (answered wrongly)" : ""));
            if (wrong && channel == Channel::serial)
                reply(channel, std::string(16, '\0'));
            reply(channel, std::string("VISMN40\x06."));
        } else {
            note("app " + text);
            reply(channel, std::string(1, char(kEnq)));
        }
    }

    void relayReply(Channel channel, bool ok)
    {
        reply(channel, std::string("NEWBLI") + char(ok ? kDc1 : kNak) + "\x06.");
    }

    void relayRefuse(Channel channel, const std::string& why)
    {
        refuse("relay", why);
        relayReply(channel, false);
    }

    // A relay command: NEWBLI, two letters of length, two letters per byte
    // (each letter 'A' + a nibble), the mark.
    void relayCommand(Channel channel, const std::string& text, std::unique_lock<std::mutex>& lock)
    {
        ++m_relayCount;
        const std::string letters = text.substr(6, text.size() - 7);
        if (text.back() != '.' || letters.size() < 2 || letters.size() % 2 != 0 ||
            !std::all_of(letters.begin(), letters.end(), [](char c) { return c >= 'A' && c <= 'P'; })) {
            relayRefuse(channel, "NEWBLI letters out of form");
            return;
        }
        auto value = [&](std::size_t at) { return static_cast<std::uint8_t>((letters[at] - 'A') * 16 + (letters[at + 1] - 'A')); };
        const std::size_t n = value(0);
        if (letters.size() != 2 + 2 * n) {
            relayRefuse(channel, "NEWBLI length " + std::to_string(n) + " for " + std::to_string(letters.size() / 2 - 1) +
                                     " bytes");
            return;
        }
        std::vector<std::uint8_t> data(n);
        for (std::size_t i = 0; i < n; ++i)
            data[i] = value(2 + 2 * i);
        const bool single = n == 1;
        switch (m_relay) {
        case Relay::off:
            return;
        case Relay::wantEsc:
        case Relay::wantAck:
            if (single && data[0] == kEsc) {
                const bool wrong = answerWrongly(BootStep::escape);
                note(std::string("relay ESC") + (wrong ? " (answered wrongly)" : ""));
                if (!wrong)
                    m_relay = Relay::wantAck;
                relayReply(channel, !wrong);
            } else if (single && data[0] == kAck && m_relay == Relay::wantAck) {
                note("relay ACK");
                m_relay = Relay::ready;
                relayReply(channel, true);
            } else {
                relayRefuse(channel, (single ? byteName(data[0]) : std::to_string(n) + " bytes") +
                                         " before the handshake");
            }
            return;
        case Relay::ready:
            if (single && (data[0] == 'E' || data[0] == 'P')) {
                m_relay = data[0] == 'E' ? Relay::eraseAddress : Relay::programAddress;
                relayReply(channel, true);
            } else {
                relayRefuse(channel, (single ? byteName(data[0]) : std::to_string(n) + " bytes") + " as an operation");
            }
            return;
        case Relay::eraseAddress:
            m_relay = Relay::ready;
            if (n != 4) {
                relayRefuse(channel, std::to_string(n) + " bytes as an address");
                return;
            }
            note("relay E " + hex8(be32(data.data())));
            relayReply(channel, erase(be32(data.data())));
            return;
        case Relay::programAddress:
            if (n != 4 || !mapped(be32(data.data()))) {
                m_relay = Relay::ready;
                relayRefuse(channel, n != 4 ? std::to_string(n) + " bytes as an address" : "address out of the flash");
                return;
            }
            m_programAddress = be32(data.data());
            note("relay P " + hex8(m_programAddress));
            m_frameBlock.clear();
            m_relay = Relay::data;
            relayReply(channel, true);
            return;
        case Relay::data: {
            if (n != kRelayData + 2 || sum16(data.data(), kRelayData) != (unsigned(data[16]) << 8 | data[17])) {
                m_relay = Relay::ready;
                relayRefuse(channel, n != kRelayData + 2 ? std::to_string(n) + " bytes as a data frame"
                                                         : "data frame with a wrong sum");
                return;
            }
            m_frameBlock.insert(m_frameBlock.end(), data.begin(), data.begin() + kRelayData);
            if (m_frameBlock.size() < kBlock) {
                relayReply(channel, true);
                return;
            }
            m_relay = Relay::ready;
            const BlockAction action = blockAction(lock);
            if (action == BlockAction::ack) {
                program(m_programAddress, m_frameBlock.data());
                note("relay block " + hex8(m_programAddress));
            }
            finishBlock(channel, action, [&](bool ok) { relayReply(channel, ok); });
            return;
        }
        }
    }

    // --- the bootloader ---------------------------------------------------

    // How many bytes the next HID report must carry in the session's state
    // (0: a whole menu command).
    std::size_t reportSizeWanted() const
    {
        switch (m_session) {
        case Session::none: return 0;
        case Session::eraseAddress:
        case Session::frameAddress: return 4;
        case Session::frameData: return std::min(kOutputPayload, kBlock - (m_bytes.size() - 4));
        case Session::frameSum: return 2;
        default: return 1;
        }
    }

    void bootReport(const std::vector<std::uint8_t>& payload, std::unique_lock<std::mutex>& lock)
    {
        const std::size_t wanted = reportSizeWanted();
        if (wanted == 0) {
            // Leaving flash mode is one byte whether or not a session runs.
            if (payload.size() == 1 && payload[0] == 'X') {
                bootByte(Channel::bootHid, payload[0], lock);
                return;
            }
            MenuFrame frame;
            std::string why;
            for (std::size_t i = 0; i < payload.size(); ++i) {
                const MenuFrame::Result r = frame.take(payload[i], &why);
                if (r == MenuFrame::Result::refused || r == MenuFrame::Result::probe) {
                    refuse("boot", r == MenuFrame::Result::probe ? "sync probe" : why);
                    return;
                }
                if (r == MenuFrame::Result::frame) {
                    if (i + 1 != payload.size()) {
                        refuse("boot", "report with more than one command");
                        return;
                    }
                    bootCommand(Channel::bootHid, frame.menuClass(), frame.text());
                    return;
                }
            }
            refuse("boot", "report without a whole command");
            return;
        }
        if (payload.size() != wanted) {
            refuse("hid", "report of " + std::to_string(payload.size()) + " bytes where " + std::to_string(wanted) +
                              " belong");
            // An erase or a block cut short is lost; the handshake keeps its
            // place.
            if (m_session > Session::ready) {
                m_bytes.clear();
                m_session = Session::ready;
            }
            reply(Channel::bootHid, std::string(1, char(kNak)));
            return;
        }
        for (std::uint8_t b : payload)
            bootByte(Channel::bootHid, b, lock);
    }

    void bootCommand(Channel channel, char menuClass, const std::string& text)
    {
        const KnownCommand* known = knownCommand(text);
        if (known == nullptr || (text != "BTLPRO*." && text != "P_INFO.")) {
            refuse("boot", "command " + text);
            return;
        }
        if (menuClass != known->menuClass) {
            refuse("boot", std::string("class '") + menuClass + "' for " + text);
            return;
        }
        m_commands.push_back(text);
        if (text == "P_INFO.") {
            sendPinfo(channel, "boot");
            return;
        }
        if (m_bootMute) {
            note("boot BTLPRO*. (mute)");
            return;
        }
        const bool wrong = answerWrongly(BootStep::btlpro);
        note(std::string("boot BTLPRO*.") + (wrong ? " (answered wrongly)" : ""));
        if (!wrong) {
            m_session = Session::wantEsc;
            m_bootBaud = channel == Channel::serial ? m_serial->hostLine().baudRate : 0;
        }
        // The wrong answer carries its ACK a byte early, where a host that
        // looks at the wrong place would take it.
        reply(channel, wrong ? std::string("BTLPRO*V\x06.") : std::string("BTLPRO*V1\x06."));
    }

    void bootRefuse(Channel channel, const std::string& why)
    {
        refuse("boot", why);
        reply(channel, std::string(1, char(kNak)));
    }

    void bootByte(Channel channel, std::uint8_t byte, std::unique_lock<std::mutex>& lock)
    {
        auto ok = [&] { reply(channel, std::string(1, char(kDc1))); };
        switch (m_session) {
        case Session::none: {
            // Without a session the bootloader takes menu commands; a host
            // that failed to open one may still send 'X'.
            if (m_bootFrame.idle() && byte == 'X') {
                note("boot X");
                return;
            }
            std::string why;
            const MenuFrame::Result r = m_bootFrame.take(byte, &why);
            if (r == MenuFrame::Result::refused || r == MenuFrame::Result::probe)
                refuse("boot", r == MenuFrame::Result::probe ? "sync probe" : why);
            else if (r == MenuFrame::Result::frame)
                bootCommand(channel, m_bootFrame.menuClass(), m_bootFrame.text());
            return;
        }
        case Session::wantEsc:
        case Session::wantAck:
            if (byte == kEsc) {
                const bool wrong = answerWrongly(BootStep::escape);
                note(std::string("boot ESC") + (wrong ? " (answered wrongly)" : ""));
                if (wrong) {
                    reply(channel, std::string(1, char(kNak)));
                    return;
                }
                m_session = Session::wantAck;
                ok();
            } else if (byte == kAck && m_session == Session::wantAck) {
                note("boot ACK");
                m_session = Session::ready;
                ok();
            } else {
                bootRefuse(channel, byteName(byte) + " before the handshake");
            }
            return;
        case Session::ready:
            if (byte == 'E') {
                m_session = Session::eraseAddress;
                m_bytes.clear();
                ok();
            } else if (byte == 'P') {
                note("boot P");
                m_session = Session::wantDc1;
                ok();
            } else if (byte == 'X') {
                note("boot X");
                m_session = Session::none;
                restart(!m_appValid);
            } else {
                bootRefuse(channel, byteName(byte) + " as an operation");
            }
            return;
        case Session::eraseAddress:
            m_bytes.push_back(byte);
            if (m_bytes.size() == 4) {
                m_session = Session::ready;
                const std::uint32_t address = be32(m_bytes.data());
                note("boot E " + hex8(address));
                reply(channel, std::string(1, char(erase(address) ? kDc1 : kNak)));
            }
            return;
        case Session::wantDc1:
            if (byte != kDc1) {
                m_session = Session::ready;
                bootRefuse(channel, byteName(byte) + " where DC1 opens the data");
                return;
            }
            m_session = Session::frameAddress;
            m_bytes.clear();
            return;
        case Session::frameAddress:
        case Session::frameData:
        case Session::frameSum: {
            // Address, the block, its 16-bit sum (high byte first).
            m_bytes.push_back(byte);
            m_session = m_bytes.size() < 4 ? Session::frameAddress
                        : m_bytes.size() < 4 + kBlock ? Session::frameData
                                                      : Session::frameSum;
            if (m_bytes.size() < 4 + kBlock + 2)
                return;
            m_session = Session::ready;
            const std::uint32_t address = be32(m_bytes.data());
            const unsigned sum = static_cast<unsigned>(m_bytes[4 + kBlock] << 8 | m_bytes[4 + kBlock + 1]);
            if (!mapped(address) || sum16(m_bytes.data() + 4, kBlock) != sum) {
                bootRefuse(channel, !mapped(address) ? "block at " + hex8(address) + ", out of the flash"
                                                     : "block with a wrong sum");
                return;
            }
            const BlockAction action = blockAction(lock);
            if (action == BlockAction::ack) {
                program(address, m_bytes.data() + 4);
                note("boot block " + hex8(address));
            }
            finishBlock(channel, action, [&](bool good) { reply(channel, std::string(1, char(good ? kDc1 : kNak))); });
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
            // A restarted scanner waits for a new session.
            m_relay = Relay::off;
            m_session = Session::none;
            m_bootFrame.reset();
            m_appFrame.reset();
            note("restart in the session");
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
        note(intoBoot ? "restart into boot" : "restart into app");
        m_boot = intoBoot;
        m_relay = Relay::off;
        m_session = Session::none;
        m_appFrame.reset();
        m_bootFrame.reset();
        m_probePad = false;
        if (m_options.link == BootLink::rs232)
            return;
        if (m_appHid) {
            if (intoBoot)
                m_appHid->unplug();
            else if (!m_appHid->isPlugged())
                plugHid(*m_appHid, m_appSeen);
        }
        if (intoBoot && !m_bootHid->isPlugged()) {
            if (m_options.bootDeviceDelayMs == 0)
                plugHid(*m_bootHid, m_bootSeen);
            else
                m_bootPlugDue = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_options.bootDeviceDelayMs);
        } else if (!intoBoot) {
            m_bootPlugDue.reset();
            m_bootHid->unplug();
        }
    }

    // --- the flash --------------------------------------------------------

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
    // Received bytes and reports already taken, per channel (the poll
    // thread's own).
    std::size_t m_serialSeen = 0;
    std::size_t m_managementSeen = 0;
    std::size_t m_appSeen = 0;
    std::size_t m_bootSeen = 0;

    mutable std::mutex m_mutex;
    std::vector<std::uint8_t> m_bootLow;
    std::vector<std::uint8_t> m_main;
    std::vector<bool> m_appBlockValid;
    std::vector<std::uint32_t> m_blockAddresses;
    std::vector<std::string> m_commands;
    std::vector<std::string> m_log;
    int m_relayCount = 0;
    std::function<BlockAction(int)> m_hook;
    std::map<BootStep, std::set<int>> m_wrong;
    std::map<BootStep, int> m_attempts;
    bool m_boot;
    bool m_appValid;
    bool m_dead = false;
    bool m_bootMute = false;
    bool m_appMute = false;
    unsigned m_bootBaud = 0;
    std::optional<std::chrono::steady_clock::time_point> m_bootPlugDue;

    MenuFrame m_appFrame;
    bool m_probePad = false;
    Relay m_relay = Relay::off;
    std::uint32_t m_programAddress = 0;
    std::vector<std::uint8_t> m_frameBlock;

    Session m_session = Session::none;
    MenuFrame m_bootFrame;
    std::vector<std::uint8_t> m_bytes;

    std::size_t m_serialToHost = 0;
    std::size_t m_reportsToHost = 0;
    std::size_t m_reportsBefore = 0;

    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

BootloaderScanner::BootloaderScanner(BootloaderOptions options) : m_impl(std::make_unique<Impl>(options)) {}

namespace {
BootloaderOptions optionsFor(BootLink link, bool startInBoot, const std::string& id)
{
    BootloaderOptions options;
    options.link = link;
    options.startInBoot = startInBoot;
    options.id = id;
    return options;
}
}  // namespace

BootloaderScanner::BootloaderScanner(BootLink link, bool startInBoot, const std::string& id)
    : BootloaderScanner(optionsFor(link, startInBoot, id))
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

void BootloaderScanner::answerWrongly(BootStep step, std::vector<int> attempts)
{
    std::lock_guard lock(m_impl->m_mutex);
    m_impl->m_wrong[step] = std::set<int>(attempts.begin(), attempts.end());
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

std::vector<std::string> BootloaderScanner::log() const
{
    std::lock_guard lock(m_impl->m_mutex);
    return m_impl->m_log;
}

std::vector<std::string> BootloaderScanner::refusals() const
{
    std::lock_guard lock(m_impl->m_mutex);
    std::vector<std::string> lines;
    for (const std::string& line : m_impl->m_log)
        if (line.rfind("refused ", 0) == 0)
            lines.push_back(line);
    return lines;
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
        t.serialFromHost = m_impl->m_serialSeen + m_impl->m_managementSeen;
    t.serialToHost = m_impl->m_serialToHost;
    t.reportsFromHost = m_impl->m_reportsBefore;
    for (const HidScanner* hid : {m_impl->m_appHid.get(), m_impl->m_bootHid.get()})
        if (hid)
            t.reportsFromHost += hid->outputReports().size();
    t.reportsToHost = m_impl->m_reportsToHost;
    return t;
}

}  // namespace vxsim
