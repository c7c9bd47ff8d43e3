// A scanner that a host both uses and updates (see simulator/flashable.h):
// the application's own answers in front of the bootloader scanner's flash
// commands.
#include "simulator/flashable.h"

#include "simulator/hid_scanner.h"
#include "simulator/virtual_serial_port.h"

#include <mutex>

namespace vxsim {

namespace {

constexpr std::uint8_t kSyn = 0x16;
constexpr std::uint8_t kCr = 0x0D;
constexpr std::uint8_t kAck = 0x06;
// A frame this long without its end is line noise, not a command.
constexpr std::size_t kMaxFrame = 1024;

bool isMark(std::uint8_t b)
{
    return b == '.' || b == '!' || b == '@';
}

// The flash library's commands, which the bootloader scanner answers: the
// class letter and the text with its mark.
bool isFlashCommand(char menuClass, const std::string& text)
{
    if (menuClass == 'M')
        return text == "P_INFO." || text == "TRGMOD0;TRGITG1!" || text == "VISMN40.";
    if (menuClass == 'Y')
        return text == "NEWAP2." || text == "NEWBLS." || text == "NEWBLE." ||
               (text.rfind("NEWBLI", 0) == 0 && text.back() == '.');
    return false;
}

const char* const kInitString = "VISMN42.";

}  // namespace

bool flashableKindFromName(const std::string& name, FlashableKind* kind)
{
    static const struct {
        const char* name;
        FlashableKind kind;
    } kNames[] = {
        {"rs232", FlashableKind::rs232},   {"cdc", FlashableKind::usbSerial},
        {"hid-pos", FlashableKind::hidPos}, {"hid-lob", FlashableKind::hidLob},
        {"filter-rs232", FlashableKind::filterRs232},
    };
    for (const auto& entry : kNames)
        if (name == entry.name) {
            *kind = entry.kind;
            return true;
        }
    return false;
}

// The application's side of the byte stream: splits it into command frames,
// keeps the frames it answers itself and lets the flash commands through.
class ApplicationSide {
public:
    explicit ApplicationSide(MenuModel menu, bool initStringMark)
        : m_engine(std::move(menu)), m_initStringMark(initStringMark)
    {
    }

    void attach(VirtualSerialPort* serial, HidScanner* hid)
    {
        std::lock_guard lock(m_mutex);
        m_serial = serial;
        m_hid = hid;
    }

    // One byte from the host; answers the bytes for the flash commands.
    std::vector<std::uint8_t> take(std::uint8_t byte)
    {
        std::lock_guard lock(m_mutex);
        std::vector<std::uint8_t> passed;
        if (!m_inFrame) {
            if (byte == kSyn) {
                m_inFrame = true;
                m_frame.assign(1, byte);
            } else {
                toEngine(&byte, 1);
            }
            return passed;
        }
        if (byte == kSyn) {
            // A new header ends whatever was collected unfinished.
            toEngine(m_frame.data(), m_frame.size());
            m_frame.assign(1, byte);
            return passed;
        }
        m_frame.push_back(byte);
        const std::uint8_t kind = m_frame[1];
        if (kind == 'C') {
            // The sync ping: the serial port itself answers it.
            if (m_frame.size() == 3) {
                if (byte != kCr)
                    toEngine(m_frame.data(), m_frame.size());
                m_inFrame = false;
            }
            return passed;
        }
        if (kind == 'M' || kind == 'Y') {
            if (m_frame.size() == 3 && byte != kCr) {
                finish(passed, false);
                return passed;
            }
            if (m_frame.size() > 3 && isMark(byte))
                finish(passed, true);
            else if (m_frame.size() > kMaxFrame)
                finish(passed, false);
            return passed;
        }
        // The device-type query ends at its CR; anything else goes to the
        // engine as it is.
        if (kind != 'n' || byte == kCr || m_frame.size() > kMaxFrame)
            finish(passed, false);
        return passed;
    }

    bool scan(const std::string& label, char codeId, const std::string& aim)
    {
        std::lock_guard lock(m_mutex);
        const std::vector<unsigned char> bytes = m_engine.barcode(label, codeId, aim);
        return send(bytes, "]" + aim, static_cast<std::uint8_t>(codeId));
    }

    void setInitStringMark(bool mark)
    {
        std::lock_guard lock(m_mutex);
        m_initStringMark = mark;
    }
    std::vector<std::string> commands() const
    {
        std::lock_guard lock(m_mutex);
        return m_engine.commands();
    }
    int initStrings() const
    {
        std::lock_guard lock(m_mutex);
        return m_initStrings;
    }
    bool decodeHeader() const
    {
        std::lock_guard lock(m_mutex);
        return m_engine.decodeHeader();
    }

private:
    // A frame is complete (`marked`: a menu frame with its mark).
    void finish(std::vector<std::uint8_t>& passed, bool marked)
    {
        m_inFrame = false;
        if (marked) {
            const char menuClass = static_cast<char>(m_frame[1]);
            const std::string text(m_frame.begin() + 3, m_frame.end());
            if (isFlashCommand(menuClass, text)) {
                passed = m_frame;
                return;
            }
            if (menuClass == 'M' && text == kInitString) {
                ++m_initStrings;
                std::string reply = "VISMN42";
                reply.push_back(static_cast<char>(kAck));
                if (m_initStringMark)
                    reply.push_back('.');
                send(std::vector<unsigned char>(reply.begin(), reply.end()), std::string(), 0);
                return;
            }
        }
        toEngine(m_frame.data(), m_frame.size());
    }

    void toEngine(const std::uint8_t* bytes, std::size_t count)
    {
        std::vector<std::vector<unsigned char>> replies;
        m_engine.take(bytes, count, replies);
        for (const auto& reply : replies)
            send(reply, std::string(), 0);
    }

    bool send(const std::vector<unsigned char>& bytes, const std::string& aim, std::uint8_t codeId)
    {
        if (bytes.empty())
            return true;
        if (m_serial != nullptr) {
            if (!m_serial->isPlugged() || !m_serial->hostConnected())
                return false;
            m_serial->send(bytes);
            return true;
        }
        if (m_hid == nullptr || !m_hid->isPlugged())
            return false;
        return m_hid->sendPacedReports(m_hid->messageReports(std::string(bytes.begin(), bytes.end()), aim, codeId));
    }

    mutable std::mutex m_mutex;
    MenuEngine m_engine;
    bool m_initStringMark;
    int m_initStrings = 0;
    bool m_inFrame = false;
    std::vector<std::uint8_t> m_frame;
    VirtualSerialPort* m_serial = nullptr;
    HidScanner* m_hid = nullptr;
};

namespace {

IdentityModel applicationIdentity(const FlashableOptions& options)
{
    IdentityModel identity = options.identity;
    if (!options.serialNumber.empty()) {
        identity.device.serialNumber = options.serialNumber;
        for (auto& [key, value] : identity.device.pinfoLines)
            if (key == "hw-sn")
                value = options.serialNumber;
    }
    if (options.kind == FlashableKind::hidPos)
        identity.device.terminalId = "124";
    else if (options.kind == FlashableKind::hidLob)
        identity.device.terminalId = "131";
    return identity;
}

BootloaderOptions bootloaderOptions(const FlashableOptions& options, const IdentityModel& identity)
{
    BootloaderOptions boot;
    boot.id = options.id;
    boot.startInBoot = options.startInBoot;
    boot.wireTime = options.wireTime;
    boot.reportIntervalUs = options.reportIntervalUs;
    // The application at the catalogue's 9600 8N1; the bootloader always
    // works at 115200.
    SerialModel serial = *findSerialModel(options.kind == FlashableKind::filterRs232 ? "filter-rs232" : "rs232");
    switch (options.kind) {
    case FlashableKind::rs232:
    case FlashableKind::filterRs232: boot.link = BootLink::rs232; break;
    case FlashableKind::usbSerial:
        boot.link = BootLink::cdc;
        serial = *findSerialModel("usb-serial");
        break;
    case FlashableKind::hidPos:
    case FlashableKind::hidLob: {
        boot.link = BootLink::hid;
        HidModel hid = *findHidModel("hid-pos");
        hid.serialNumber = identity.device.serialNumber;
        if (options.kind == FlashableKind::hidLob)
            hid.product = "Varnex Area Imager";
        boot.applicationHidModel = hid;
        break;
    }
    }
    boot.serialModel = serial;
    // The application answers only at its own line.
    boot.appLine.baudRate = serial.baudRate;
    boot.appLine.dataBits = serial.dataBits;
    boot.appLine.parity = serial.parity;
    return boot;
}

}  // namespace

struct FlashableScanner::Impl {
    explicit Impl(FlashableOptions flashable)
        : options(std::move(flashable)), identity(applicationIdentity(options)),
          application(std::make_shared<ApplicationSide>(identityMenu(identity), options.initStringMark))
    {
        BootloaderOptions boot = bootloaderOptions(options, identity);
        std::weak_ptr<ApplicationSide> side = application;
        boot.applicationFilter = [side](std::uint8_t byte) {
            const auto application = side.lock();
            return application ? application->take(byte) : std::vector<std::uint8_t>{byte};
        };
        scanner = std::make_unique<BootloaderScanner>(boot);
        application->attach(scanner->serialPort(), scanner->applicationHid());
        // The port's own answer to the sync ping, on whichever of its ports
        // the host sends it (the management port too, while the driver lets
        // it through).
        if (scanner->serialPort() != nullptr)
            scanner->serialPort()->setSilent(false);
    }

    FlashableOptions options;
    IdentityModel identity;
    std::shared_ptr<ApplicationSide> application;
    std::unique_ptr<BootloaderScanner> scanner;
};

FlashableScanner::FlashableScanner(FlashableOptions options) : m_impl(std::make_unique<Impl>(std::move(options))) {}

FlashableScanner::~FlashableScanner() = default;

BootloaderScanner& FlashableScanner::bootloader() { return *m_impl->scanner; }

const FlashableOptions& FlashableScanner::options() const { return m_impl->options; }

std::string FlashableScanner::serialPath() const { return m_impl->scanner->serialPath(); }

std::string FlashableScanner::hidPath() const
{
    HidScanner* hid = m_impl->scanner->applicationHid();
    return hid != nullptr ? hid->hostPath() : std::string();
}

bool FlashableScanner::scan(const std::string& label, char codeId, const std::string& aim)
{
    if (m_impl->scanner->inBoot())
        return false;
    return m_impl->application->scan(label, codeId, aim);
}

void FlashableScanner::setPingSilent(bool silent)
{
    if (VirtualSerialPort* serial = m_impl->scanner->serialPort())
        serial->setSilent(silent);
}

void FlashableScanner::setInitStringMark(bool mark) { m_impl->application->setInitStringMark(mark); }

std::vector<std::string> FlashableScanner::menuCommands() const { return m_impl->application->commands(); }

int FlashableScanner::initStrings() const { return m_impl->application->initStrings(); }

bool FlashableScanner::decodeHeader() const { return m_impl->application->decodeHeader(); }

std::vector<TimelineEvent> FlashableScanner::timeline() const
{
    std::vector<std::vector<TimelineEvent>> parts;
    if (VirtualSerialPort* serial = m_impl->scanner->serialPort())
        parts.push_back(serial->timeline());
    for (HidScanner* hid : {m_impl->scanner->applicationHid(), m_impl->scanner->bootloaderHid()})
        if (hid != nullptr)
            parts.push_back(hid->timeline());
    return mergeTimelines(parts);
}

}  // namespace vxsim
