// A simulated scanner on a virtual serial port (see virtual_serial_port.h and
// platform/virtual/WIRE.md). One thread per plugged port runs a poll loop
// over the ptys' master ends, the side channels and a wake-up descriptor;
// every other thread only changes the shared state under the mutex and
// wakes the loop.
#include "simulator/virtual_serial_port.h"

#include "simulator/runtime_dir.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <poll.h>
#include <sstream>
#include <tuple>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

namespace vxsim {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxMessage = 8192;
constexpr auto kChatterPeriod = std::chrono::milliseconds(5);
// How far apart the pieces of a split packet or reply leave.
constexpr auto kPieceGap = std::chrono::milliseconds(1);
// How many bytes a host's UART sends ahead of the wire.
constexpr std::size_t kLineFifo = 16;
// How often the lateness meter sends a byte through its own pty, each way.
constexpr auto kProbePeriod = std::chrono::milliseconds(4);

std::string errnoText(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

std::string hex(const std::vector<unsigned char>& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 0xF];
    }
    return out;
}

std::vector<unsigned char> unhex(const std::string& text)
{
    std::vector<unsigned char> out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(static_cast<unsigned char>(std::strtoul(text.substr(i, 2).c_str(), nullptr, 16)));
    return out;
}

std::string field(const std::string& message, const std::string& key)
{
    std::istringstream words(message);
    for (std::string word; words >> word;)
        if (word.size() > key.size() && word.compare(0, key.size(), key) == 0 && word[key.size()] == '=')
            return word.substr(key.size() + 1);
    return {};
}

long number(const std::string& message, const std::string& key, long fallback)
{
    const std::string text = field(message, key);
    return text.empty() ? fallback : std::strtol(text.c_str(), nullptr, 10);
}

// A run of bytes on the scanner's line, in either direction: the i-th byte
// (from 0) has crossed the line once start + (i + 1) x perByte has passed.
// Without wire time perByte is 0 and the whole run is there at start.
struct Transfer {
    Clock::time_point start;
    std::chrono::nanoseconds perByte{0};
    std::vector<unsigned char> bytes;
    std::size_t done = 0;  // bytes already handed on
    HostLine line;         // host to device: the settings they were sent under

    std::size_t dueBy(Clock::time_point now) const
    {
        if (now < start)
            return 0;
        if (perByte.count() == 0)
            return bytes.size();
        return static_cast<std::size_t>(std::min<long long>(static_cast<long long>(bytes.size()),
                                                            (now - start) / perByte));
    }
    Clock::time_point nextDue() const { return start + perByte * static_cast<long long>(done + 1); }
    Clock::time_point end() const { return start + perByte * static_cast<long long>(bytes.size()); }
};

}  // namespace

namespace {

// One way in for a host: a pty whose slave end the host opens and the side
// channel beside it. A port behind the filter driver has two, the
// line-of-business port and its management port.
struct Channel {
    // The serving thread's own.
    int master = -1;
    int slaveKeep = -1;  // keeps the master from seeing a hang-up while no host has the slave open
    int listener = -1;
    int client = -1;
    std::string socketPath;
    std::deque<Transfer> outgoing;  // device to host
    std::deque<Transfer> incoming;  // host to device, read from the pty, not yet across the line
    Clock::time_point inputFreeAt{};

    bool open() const { return master >= 0; }

    void closeAll()
    {
        for (int* fd : {&client, &listener, &master, &slaveKeep})
            if (*fd >= 0) {
                ::close(*fd);
                *fd = -1;
            }
    }
};

}  // namespace

struct VirtualSerialPort::Impl {
    explicit Impl(const SerialModel& model) : responder(model), filter(model.filterDriver) {}

    mutable std::mutex mutex;
    // Shared with the API threads (under mutex).
    bool plugged = false;
    bool stop = false;
    std::string lastError;
    std::string ptyPath;
    std::string managementPtyPath;
    bool hostConnected = false;
    bool managementConnected = false;
    HostLine line;
    HostLine managementLine;
    bool dtr = false;
    bool rts = false;
    int breaks = 0;
    bool inBreak = false;
    std::vector<DeviceRequest> requests;
    std::vector<unsigned char> received;
    // Each line setting of the line-of-business host, with the size of
    // `received` when it took effect.
    std::vector<std::pair<std::size_t, HostLine>> lineHistory;
    std::vector<unsigned char> managementReceived;
    // The same for the management port's bytes, with the line each crossed
    // the scanner's line under.
    std::vector<std::pair<std::size_t, HostLine>> managementLineHistory;
    std::vector<TimelineEvent> timeline;
    unsigned modemLines = 0;
    bool linesChanged = false;
    // Bytes for the host, and whether each must leave a moment after the
    // one before (pieces of a split packet).
    std::vector<std::pair<std::vector<unsigned char>, bool>> toSend;
    // See scanAroundPing.
    std::vector<std::string> labelsBeforePing;
    std::vector<std::string> labelsAfterPing;
    bool chatter = false;
    bool paused = false;
    SerialResponder responder;
    SimulatedFilterDriver filter;

    // The serving thread's own.
    Channel lob;
    Channel management;
    // Written under wakeMutex, and only while the serving thread is not
    // running; the serving thread reads it without the lock.
    int wake = -1;
    mutable std::mutex wakeMutex;
    int descriptor = -1;
    std::string descriptorPath;
    Clock::time_point lineFreeAt{};
    Clock::time_point nextChatter{};
    // While chatter is on: when bytes last went into the pty (none yet: the
    // epoch) and the longest time between two such writes; under `mutex`.
    Clock::time_point lastChatter{};
    Clock::duration longestChatterGap{};
    // When the last byte sent to the host went into the pty (steady clock
    // ticks; 0 before any). Read from any thread.
    std::atomic<Clock::rep> deliveredAt{0};
    // See longestLateness (nanoseconds). Kept by the serving thread, reset
    // by any.
    std::atomic<long long> longestLatenessNs{0};
    // Whether the serving thread times bytes through a pty of its own (set
    // by startLatenessMeter, never cleared), and when the oldest such byte
    // still on its way was sent (steady clock ticks; 0 while none is): one
    // the kernel holds up counts from then on, before it has arrived.
    std::atomic<bool> probing{false};
    std::atomic<Clock::rep> probeSentAt{0};
    // The line's busy time each way so far (nanoseconds).
    std::atomic<long long> toHostNs{0};
    std::atomic<long long> fromHostNs{0};

    // Any thread may wake the loop (a scan, a line change) while another
    // unplugs: the descriptor is made and closed under wakeMutex, so a wake
    // never writes to a descriptor being closed (or to one the kernel has
    // already given to somebody else).
    void wakeUp() const
    {
        std::lock_guard lock(wakeMutex);
        if (wake >= 0) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const ssize_t n = ::write(wake, &one, sizeof one);
        }
    }

    void setWake(int fd)
    {
        std::lock_guard lock(wakeMutex);
        wake = fd;
    }

    void closeAll()
    {
        lob.closeAll();
        management.closeAll();
        {
            std::lock_guard lock(wakeMutex);
            if (wake >= 0)
                ::close(wake);
            wake = -1;
        }
        if (descriptor >= 0) {
            ::close(descriptor);
            descriptor = -1;
        }
    }

    // The line the scanner's bytes travel on for a channel. The management
    // port shares the scanner's one line: while a host holds the
    // line-of-business port, that host's settings rule it; otherwise the
    // management host's do. Called with the mutex held.
    const HostLine& lineFor(const Channel& channel) const
    {
        if (&channel == &management && !(hostConnected && line.known))
            return managementLine;
        return line;
    }
};

namespace {

// How long the kernel has kept the calling thread waiting for a processor
// so far, from the scheduler's own count (the second field of the thread's
// schedstat); nothing where the kernel keeps no such count.
std::optional<std::chrono::nanoseconds> waitedForProcessor(int schedstat)
{
    if (schedstat < 0)
        return std::nullopt;
    char text[128];
    const ssize_t n = ::pread(schedstat, text, sizeof text - 1, 0);
    if (n <= 0)
        return std::nullopt;
    text[n] = '\0';
    unsigned long long running = 0;
    unsigned long long waiting = 0;
    if (std::sscanf(text, "%llu %llu", &running, &waiting) != 2)
        return std::nullopt;
    return std::chrono::nanoseconds(static_cast<long long>(waiting));
}

// A byte the lateness meter sends through its own pty in one direction,
// from one end to the other, and when it left (nothing while none is on its
// way).
struct PtyProbe {
    int from = -1;
    int to = -1;
    std::optional<Clock::time_point> sentAt;
    Clock::time_point nextAt{};
};

// Opens the lateness meter's pty, both ends raw and non-blocking, so that a
// byte written at one end can be read at the other as soon as the kernel
// has carried it; false (nothing left open) if it cannot.
bool openProbePty(int& master, int& slave)
{
    master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char name[128];
    if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0 &&
        ::ptsname_r(master, name, sizeof name) == 0) {
        slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        termios raw{};
        if (slave >= 0 && ::tcgetattr(slave, &raw) == 0) {
            ::cfmakeraw(&raw);
            if (::tcsetattr(slave, TCSANOW, &raw) == 0)
                return true;
        }
    }
    for (int* fd : {&slave, &master})
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    return false;
}

// Opens a pty (its slave end kept open and raw) and the listening socket of
// its side channel; an error text, or empty.
std::string openChannel(Channel& channel, const std::string& socketPath, std::string* ptyPath)
{
    channel.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (channel.master < 0 || ::grantpt(channel.master) != 0 || ::unlockpt(channel.master) != 0)
        return errnoText("posix_openpt");
    char name[128];
    if (::ptsname_r(channel.master, name, sizeof name) != 0)
        return errnoText("ptsname_r");
    *ptyPath = name;
    channel.slaveKeep = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (channel.slaveKeep < 0)
        return errnoText("open slave");
    termios raw{};
    ::tcgetattr(channel.slaveKeep, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(channel.slaveKeep, TCSANOW, &raw);

    channel.socketPath = socketPath;
    ::unlink(socketPath.c_str());
    channel.listener = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path)
        return "socket path too long: " + socketPath;
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    if (channel.listener < 0 || ::bind(channel.listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(channel.listener, 4) != 0)
        return errnoText("control socket");
    return {};
}

}  // namespace

VirtualSerialPort::VirtualSerialPort(SerialModel model, std::string id)
    : m_model(std::move(model)), m_id(id.empty() ? m_model.name : std::move(id)),
      m_impl(std::make_unique<Impl>(m_model))
{
    m_impl->modemLines = m_model.modemLines;
}

VirtualSerialPort::~VirtualSerialPort()
{
    unplug();
}

bool VirtualSerialPort::plug()
{
    Impl& s = *m_impl;
    {
        std::lock_guard lock(s.mutex);
        if (s.plugged)
            return true;
    }
    auto fail = [&s](std::string text) {
        s.closeAll();
        for (const Channel* channel : {&s.lob, &s.management})
            if (!channel->socketPath.empty())
                ::unlink(channel->socketPath.c_str());
        std::lock_guard lock(s.mutex);
        s.lastError = std::move(text);
        return false;
    };

    const std::string root = runtimeDirectory();
    if (root.empty())
        return fail("no runtime directory");
    const std::string dir = root + "/serial";
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        return fail(errnoText("mkdir"));

    std::string ptyPath;
    if (std::string error = openChannel(s.lob, dir + "/" + m_id + ".sock", &ptyPath); !error.empty())
        return fail(std::move(error));
    // Behind the filter driver the port has a management port of its own.
    std::string managementPtyPath;
    if (m_model.filterDriver.present) {
        if (std::string error = openChannel(s.management, dir + "/" + m_id + ".mgmt.sock", &managementPtyPath);
            !error.empty())
            return fail(std::move(error));
    }

    s.setWake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (s.wake < 0)
        return fail(errnoText("eventfd"));

    // Publish: written aside, locked, then renamed into place, so that a host
    // never reads half a descriptor; the lock says the device is alive.
    s.descriptorPath = dir + "/" + m_id + ".port";
    const std::string temporary = dir + "/." + m_id + ".port." + std::to_string(::getpid());
    s.descriptor = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (s.descriptor < 0)
        return fail(errnoText("descriptor"));
    std::string text = "pty=" + ptyPath + "\ncontrol=" + s.lob.socketPath + "\ndevice=" + m_model.deviceKind +
                       "\ndefault-config=" + (m_model.defaultConfig ? "1" : "0") + "\n";
    if (s.management.open())
        text += "management-pty=" + managementPtyPath + "\nmanagement-control=" + s.management.socketPath + "\n";
    if (!m_model.description.empty())
        text += "description=" + m_model.description + "\n";
    if (!m_model.filterBus.empty())
        text += "filter-bus=" + m_model.filterBus + "\n";
    if (m_model.uniquifier.has_value())
        text += "uniquifier=" + *m_model.uniquifier + "\n";
    if (::write(s.descriptor, text.data(), text.size()) != static_cast<ssize_t>(text.size()) ||
        ::flock(s.descriptor, LOCK_EX) != 0 || ::rename(temporary.c_str(), s.descriptorPath.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return fail(errnoText("publish"));
    }

    {
        std::lock_guard lock(s.mutex);
        s.plugged = true;
        s.stop = false;
        s.ptyPath = ptyPath;
        s.managementPtyPath = managementPtyPath;
        s.lastError.clear();
    }
    s.nextChatter = Clock::now();
    m_thread = std::thread([this] { serve(); });
    return true;
}

void VirtualSerialPort::unplug()
{
    Impl& s = *m_impl;
    {
        std::lock_guard lock(s.mutex);
        if (!s.plugged)
            return;
        s.stop = true;
    }
    s.wakeUp();
    if (m_thread.joinable())
        m_thread.join();
    // Leave the host's lists first, then hang up.
    ::unlink(s.descriptorPath.c_str());
    for (Channel* channel : {&s.lob, &s.management}) {
        if (!channel->socketPath.empty())
            ::unlink(channel->socketPath.c_str());
        channel->socketPath.clear();
        channel->outgoing.clear();
        channel->incoming.clear();
    }
    s.closeAll();
    std::lock_guard lock(s.mutex);
    s.plugged = false;
    s.hostConnected = false;
    s.managementConnected = false;
    s.managementPtyPath.clear();
    s.dtr = false;
    s.rts = false;
    s.ptyPath.clear();
}

bool VirtualSerialPort::isPlugged() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->plugged;
}

std::string VirtualSerialPort::lastError() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->lastError;
}

std::string VirtualSerialPort::ptyPath() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->ptyPath;
}

std::string VirtualSerialPort::managementPtyPath() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->managementPtyPath;
}

bool VirtualSerialPort::hostConnected() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->hostConnected;
}

bool VirtualSerialPort::managementConnected() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->managementConnected;
}

HostLine VirtualSerialPort::hostLine() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->line;
}

bool VirtualSerialPort::dtr() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->dtr;
}

bool VirtualSerialPort::rts() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->rts;
}

int VirtualSerialPort::breaksStarted() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->breaks;
}

bool VirtualSerialPort::inBreak() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->inBreak;
}

std::vector<DeviceRequest> VirtualSerialPort::requests() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->requests;
}

std::vector<unsigned char> VirtualSerialPort::received() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->received;
}

std::vector<unsigned char> VirtualSerialPort::received(std::size_t from) const
{
    std::lock_guard lock(m_impl->mutex);
    const std::size_t first = std::min(from, m_impl->received.size());
    return std::vector<unsigned char>(m_impl->received.begin() + static_cast<std::ptrdiff_t>(first),
                                      m_impl->received.end());
}

std::vector<std::pair<std::size_t, HostLine>> VirtualSerialPort::lineHistory() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->lineHistory;
}

HostLine VirtualSerialPort::managementLine() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->managementLine;
}

std::vector<TimelineEvent> VirtualSerialPort::timeline() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->timeline;
}

std::vector<unsigned char> VirtualSerialPort::managementReceived() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->managementReceived;
}

std::vector<unsigned char> VirtualSerialPort::managementReceived(std::size_t from) const
{
    std::lock_guard lock(m_impl->mutex);
    const std::size_t first = std::min(from, m_impl->managementReceived.size());
    return std::vector<unsigned char>(m_impl->managementReceived.begin() + static_cast<std::ptrdiff_t>(first),
                                      m_impl->managementReceived.end());
}

std::vector<std::pair<std::size_t, HostLine>> VirtualSerialPort::managementLineHistory() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->managementLineHistory;
}

int VirtualSerialPort::pingsAnswered() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->responder.pingsAnswered();
}

FilterDriverModel VirtualSerialPort::filterDriverState() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->filter.state();
}

void VirtualSerialPort::setModemLines(unsigned lines)
{
    {
        std::lock_guard lock(m_impl->mutex);
        m_impl->modemLines = lines;
        m_impl->linesChanged = true;
    }
    m_impl->wakeUp();
}

void VirtualSerialPort::send(const std::vector<unsigned char>& bytes)
{
    {
        std::lock_guard lock(m_impl->mutex);
        m_impl->toSend.emplace_back(bytes, false);
    }
    m_impl->wakeUp();
}

std::chrono::steady_clock::time_point VirtualSerialPort::deliveredAt() const
{
    return Clock::time_point(Clock::duration(m_impl->deliveredAt.load()));
}

VirtualSerialPort::LineTime VirtualSerialPort::lineTime() const
{
    return {std::chrono::nanoseconds(m_impl->toHostNs.load()), std::chrono::nanoseconds(m_impl->fromHostNs.load())};
}

void VirtualSerialPort::scan(const std::string& label, char codeId, const std::string& aim)
{
    {
        std::lock_guard lock(m_impl->mutex);
        const MenuEngine& engine = m_impl->responder.engine();
        const bool split = engine.faults().splitEvery > 0;
        for (auto& piece : engine.withFaults(engine.barcode(label, codeId, aim), engine.decodeHeader()))
            m_impl->toSend.emplace_back(std::move(piece), split);
    }
    m_impl->wakeUp();
}

void VirtualSerialPort::scanJoined(const std::vector<std::string>& labels, char codeId, const std::string& aim)
{
    {
        std::lock_guard lock(m_impl->mutex);
        const MenuEngine& engine = m_impl->responder.engine();
        std::vector<unsigned char> joined;
        for (const std::string& label : labels)
            for (const auto& piece : engine.withFaults(engine.barcode(label, codeId, aim), engine.decodeHeader()))
                joined.insert(joined.end(), piece.begin(), piece.end());
        m_impl->toSend.emplace_back(std::move(joined), false);
    }
    m_impl->wakeUp();
}

void VirtualSerialPort::sendImage(const std::string& bytes, int format)
{
    {
        std::lock_guard lock(m_impl->mutex);
        const MenuEngine& engine = m_impl->responder.engine();
        const bool split = engine.faults().splitEvery > 0;
        for (auto& piece : engine.withFaults(engine.image(bytes, format), true))
            m_impl->toSend.emplace_back(std::move(piece), split);
    }
    m_impl->wakeUp();
}

void VirtualSerialPort::setMenuModel(MenuModel menu)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->responder.engine().setModel(std::move(menu));
}

void VirtualSerialPort::setDataFaults(DataFaults faults)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->responder.engine().setFaults(std::move(faults));
}

std::vector<std::string> VirtualSerialPort::menuCommands() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->responder.engine().commands();
}

bool VirtualSerialPort::decodeHeader() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->responder.engine().decodeHeader();
}

void VirtualSerialPort::setSilent(bool silent)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->responder.setSilent(silent);
}

void VirtualSerialPort::scanAroundPing(std::vector<std::string> before, std::vector<std::string> after)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->labelsBeforePing = std::move(before);
    m_impl->labelsAfterPing = std::move(after);
}

void VirtualSerialPort::setChatter(bool chatter)
{
    {
        std::lock_guard lock(m_impl->mutex);
        m_impl->chatter = chatter;
        m_impl->lastChatter = {};
        m_impl->longestChatterGap = {};
    }
    m_impl->wakeUp();
}

std::chrono::microseconds VirtualSerialPort::longestLateness() const
{
    std::chrono::nanoseconds longest(m_impl->longestLatenessNs.load());
    if (const Clock::rep sent = m_impl->probeSentAt.load(); sent != 0)
        longest = std::max<std::chrono::nanoseconds>(longest, Clock::now() - Clock::time_point(Clock::duration(sent)));
    return std::chrono::duration_cast<std::chrono::microseconds>(longest);
}

void VirtualSerialPort::startLatenessMeter()
{
    m_impl->longestLatenessNs.store(0);
    if (!m_impl->probing.exchange(true))
        m_impl->wakeUp();
}

std::chrono::milliseconds VirtualSerialPort::longestChatterGap() const
{
    std::lock_guard lock(m_impl->mutex);
    return std::chrono::duration_cast<std::chrono::milliseconds>(m_impl->longestChatterGap);
}

void VirtualSerialPort::setReadingPaused(bool paused)
{
    {
        std::lock_guard lock(m_impl->mutex);
        m_impl->paused = paused;
    }
    m_impl->wakeUp();
}

void VirtualSerialPort::failRequest(std::uint32_t code, unsigned error)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->filter.failRequest(code, error);
}

void VirtualSerialPort::serve()
{
    Impl& s = *m_impl;
    const bool usb = m_model.usbSerial;
    // Bytes are due at their wire time, to the microsecond: this thread's
    // waits may not run late by the kernel's default slack.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    // This thread's own scheduler count, for the lateness meter.
    const int schedstat = ::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
    std::optional<std::chrono::nanoseconds> waitedBefore = waitedForProcessor(schedstat);
    s.longestLatenessNs.store(0);
    auto noteLateness = [&s](std::chrono::nanoseconds late) {
        long long longest = s.longestLatenessNs.load();
        while (late.count() > longest && !s.longestLatenessNs.compare_exchange_weak(longest, late.count())) {
        }
    };
    // The meter's own pty (opened once the meter is started) and its bytes:
    // one toward the master end, as the host's bytes travel, and one toward
    // the slave end, as the scanner's answers do.
    int probeMaster = -1;
    int probeSlave = -1;
    bool probeFailed = false;
    PtyProbe probes[2];
    s.probeSentAt.store(0);
    auto closeProbePty = [&] {
        for (int* fd : {&probeSlave, &probeMaster})
            if (*fd >= 0) {
                ::close(*fd);
                *fd = -1;
            }
        for (PtyProbe& probe : probes)
            probe = PtyProbe{};
        s.probeSentAt.store(0);
    };
    // Tells longestLateness when the oldest byte still on its way left.
    auto publishProbes = [&] {
        std::optional<Clock::time_point> oldest;
        for (const PtyProbe& probe : probes)
            if (probe.sentAt)
                oldest = oldest ? std::min(*oldest, *probe.sentAt) : *probe.sentAt;
        s.probeSentAt.store(oldest ? oldest->time_since_epoch().count() : 0);
    };

    // What one byte takes on the line under `line` (0 without wire time).
    auto perByte = [&](const HostLine& line) {
        if (!m_model.wireTime || usb)
            return std::chrono::nanoseconds(0);
        SerialModel atHostRate = m_model;
        if (line.known && line.baudRate != 0)
            atHostRate.baudRate = line.baudRate;
        // Microseconds for 1000 bytes are nanoseconds for one.
        return std::chrono::nanoseconds(wireMicroseconds(atHostRate, 1000));
    };

    // Queues bytes for the host on a channel; with wire time each byte
    // leaves no sooner than the scanner's one line carries it. Called with
    // the mutex held.
    auto schedule = [&](Channel& to, std::vector<unsigned char> bytes, bool apart = false) {
        if (bytes.empty())
            return;
        Transfer transfer;
        transfer.start = std::max(Clock::now(), s.lineFreeAt);
        if (apart)
            transfer.start += kPieceGap;
        transfer.perByte = perByte(s.lineFor(to));
        transfer.bytes = std::move(bytes);
        s.lineFreeAt = transfer.end();
        s.toHostNs.fetch_add(std::chrono::nanoseconds(transfer.end() - transfer.start).count());
        to.outgoing.push_back(std::move(transfer));
    };

    // The scanner takes bytes that have crossed the line from the host, and
    // answers them on the same channel under the settings they were sent
    // under. The driver lets the management port's bytes through to the
    // scanner at all times.
    auto arrive = [&](Channel& from, const unsigned char* bytes, std::size_t count, const HostLine& line) {
        const bool isLob = &from == &s.lob;
        std::lock_guard lock(s.mutex);
        // Each run of bytes is kept with the line it was sent under (the
        // host may change it while earlier bytes are still crossing).
        const auto framing = [](const HostLine& l) {
            return std::make_tuple(l.known, l.baudRate, l.dataBits, l.parity, l.stopBits);
        };
        auto& history = isLob ? s.lineHistory : s.managementLineHistory;
        auto& received = isLob ? s.received : s.managementReceived;
        if (history.empty() || framing(history.back().second) != framing(line))
            history.emplace_back(received.size(), line);
        received.insert(received.end(), bytes, bytes + count);
        const bool apart = s.responder.engine().faults().splitEvery > 0;
        const int syncsBefore = s.responder.syncCommands();
        auto pieces = s.responder.takePieces(bytes, count, line);
        if (s.responder.syncCommands() == syncsBefore) {
            for (auto& piece : pieces)
                schedule(from, std::move(piece), apart);
            return;
        }
        // Labels read as the sync command came in, around its answer. A
        // ping travels alone, so its answer is all that `pieces` holds.
        const MenuEngine& engine = s.responder.engine();
        const auto scanned = [&](const std::vector<std::string>& labels) {
            for (const std::string& label : labels) {
                for (auto& piece : engine.withFaults(engine.barcode(label), engine.decodeHeader())) {
                    if (s.filter.state().transactionMode)
                        s.toSend.emplace_back(std::move(piece), apart);
                    else
                        schedule(!s.hostConnected && s.managementConnected ? s.management : s.lob,
                                 std::move(piece), apart);
                }
            }
        };
        scanned(s.labelsBeforePing);
        for (auto& piece : pieces)
            schedule(from, std::move(piece), apart);
        scanned(s.labelsAfterPing);
    };

    // How many more bytes the line takes from the host now: the host's
    // UART sends no more than its FIFO ahead of the wire, so the rest stays
    // in the host's queue (the pty) until the line has carried the bytes
    // before it. Without wire time, all.
    auto inputRoom = [&](const Channel& from) -> std::size_t {
        HostLine line;
        {
            std::lock_guard lock(s.mutex);
            line = s.lineFor(from);
        }
        if (perByte(line).count() == 0)
            return std::numeric_limits<std::size_t>::max();
        std::size_t pending = 0;
        for (const Transfer& transfer : from.incoming)
            pending += transfer.bytes.size() - transfer.done;
        return pending < kLineFifo ? kLineFifo - pending : 0;
    };

    // Takes what the host has written on a channel into the line, as far as
    // it has room (or all of it), each byte crossing it at the rate the host
    // has set now.
    auto takeInput = [&](Channel& from, bool all) {
        unsigned char buffer[4096];
        for (std::size_t room = all ? std::numeric_limits<std::size_t>::max() : inputRoom(from); room > 0;) {
            const ssize_t n = ::read(from.master, buffer, std::min(sizeof buffer, room));
            if (n <= 0)
                return;
            room = room == std::numeric_limits<std::size_t>::max() ? room : room - static_cast<std::size_t>(n);
            Transfer transfer;
            {
                std::lock_guard lock(s.mutex);
                transfer.line = s.lineFor(from);
                s.timeline.push_back(timelineEvent(TimelineEvent::Kind::bytes, m_id,
                                                   std::vector<unsigned char>(buffer, buffer + n), 0,
                                                   &from == &s.management));
            }
            transfer.start = std::max(Clock::now(), from.inputFreeAt);
            transfer.perByte = perByte(transfer.line);
            transfer.bytes.assign(buffer, buffer + n);
            from.inputFreeAt = transfer.end();
            s.fromHostNs.fetch_add(std::chrono::nanoseconds(transfer.end() - transfer.start).count());
            from.incoming.push_back(std::move(transfer));
        }
    };

    // Hands the scanner every byte that has crossed the line by now.
    auto deliverInput = [&](Channel& channel) {
        const auto now = Clock::now();
        while (!channel.incoming.empty()) {
            Transfer& transfer = channel.incoming.front();
            const std::size_t due = transfer.dueBy(now);
            if (due > transfer.done) {
                arrive(channel, transfer.bytes.data() + transfer.done, due - transfer.done, transfer.line);
                transfer.done = due;
            }
            if (transfer.done < transfer.bytes.size())
                return;
            channel.incoming.pop_front();
        }
    };

    // While the line chatters, the longest time between two writes into the
    // pty: how long the host could have found the line quiet.
    auto noteChatterDelivered = [&s] {
        const auto now = Clock::now();
        std::lock_guard lock(s.mutex);
        if (!s.chatter)
            return;
        if (s.lastChatter != Clock::time_point{})
            s.longestChatterGap = std::max(s.longestChatterGap, now - s.lastChatter);
        s.lastChatter = now;
    };

    // Every byte for the host that has crossed the line by now goes into
    // the pty; false when the host is not reading (the pty is full).
    auto flushOutgoing = [&](Channel& channel) {
        const auto now = Clock::now();
        while (!channel.outgoing.empty()) {
            Transfer& transfer = channel.outgoing.front();
            const std::size_t due = transfer.dueBy(now);
            if (due > transfer.done) {
                const ssize_t n = ::write(channel.master, transfer.bytes.data() + transfer.done, due - transfer.done);
                if (n < 0)
                    return false;
                transfer.done += static_cast<std::size_t>(n);
                s.deliveredAt.store(Clock::now().time_since_epoch().count());
                if (&channel == &s.lob)
                    noteChatterDelivered();
            }
            if (transfer.done < transfer.bytes.size())
                return transfer.done == due;
            channel.outgoing.pop_front();
        }
        return true;
    };

    auto sendMessage = [](const Channel& to, const std::string& text) {
        if (to.client >= 0)
            ::send(to.client, text.data(), text.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    };

    auto dropClient = [&](Channel& channel) {
        ::close(channel.client);
        channel.client = -1;
        std::lock_guard lock(s.mutex);
        s.timeline.push_back(timelineEvent(TimelineEvent::Kind::close, m_id, {}, 0, &channel == &s.management));
        if (&channel == &s.management) {
            s.managementConnected = false;
            return;
        }
        s.hostConnected = false;
        s.dtr = false;
        s.rts = false;
        s.inBreak = false;
    };

    auto handleMessage = [&](Channel& from, const std::string& message) {
        const bool isLob = &from == &s.lob;
        std::istringstream words(message);
        std::string verb;
        words >> verb;
        if (verb == "HELLO") {
            std::lock_guard lock(s.mutex);
            s.timeline.push_back(timelineEvent(TimelineEvent::Kind::open, m_id, {}, 0, !isLob));
            (isLob ? s.hostConnected : s.managementConnected) = true;
            sendMessage(from, "OK lines=" + std::to_string(s.modemLines));
            return;
        }
        if (verb == "LINE") {
            // Bytes sent before the change were sent under the old settings
            // (unless the device is not taking any just now).
            bool paused;
            {
                std::lock_guard lock(s.mutex);
                paused = s.paused && isLob;
            }
            if (!paused)
                takeInput(from, true);
            std::lock_guard lock(s.mutex);
            HostLine line;
            line.known = true;
            line.baudRate = static_cast<unsigned>(number(message, "baud", 0));
            line.dataBits = static_cast<int>(number(message, "data", 8));
            line.parity = static_cast<int>(number(message, "parity", 0));
            line.stopBits = static_cast<int>(number(message, "stop", 0));
            line.ctsFlow = number(message, "ctsflow", 0) != 0;
            line.dsrFlow = number(message, "dsrflow", 0) != 0;
            line.dtrControl = static_cast<int>(number(message, "dtrcontrol", 0));
            line.rtsControl = static_cast<int>(number(message, "rtscontrol", 0));
            line.outX = number(message, "outx", 0) != 0;
            line.inX = number(message, "inx", 0) != 0;
            line.xonChar = static_cast<unsigned>(number(message, "xon", 0x11));
            line.xoffChar = static_cast<unsigned>(number(message, "xoff", 0x13));
            (isLob ? s.line : s.managementLine) = line;
            sendMessage(from, "OK");
            return;
        }
        // The management port's output lines and breaks never reach the
        // scanner's line.
        if (verb == "SIGNALS") {
            std::lock_guard lock(s.mutex);
            if (isLob) {
                s.dtr = number(message, "dtr", 0) != 0;
                s.rts = number(message, "rts", 0) != 0;
            }
            sendMessage(from, "OK");
            return;
        }
        if (verb == "BREAK") {
            std::string on;
            words >> on;
            std::lock_guard lock(s.mutex);
            if (isLob) {
                if (on == "1" && !s.inBreak)
                    ++s.breaks;
                s.inBreak = on == "1";
            }
            sendMessage(from, "OK");
            return;
        }
        if (verb == "IOCTL") {
            DeviceRequest request;
            request.code = static_cast<std::uint32_t>(std::strtoul(field(message, "code").c_str(), nullptr, 16));
            request.outputSize = static_cast<std::uint32_t>(number(message, "out", 0));
            request.input = unhex(field(message, "in"));
            std::lock_guard lock(s.mutex);
            s.requests.push_back(request);
            s.timeline.push_back(
                timelineEvent(TimelineEvent::Kind::request, m_id, request.input, request.code, !isLob));
            const DeviceAnswer answer = s.filter.handle(request);
            if (answer.error != 0)
                sendMessage(from, "ERR " + std::to_string(answer.error));
            else
                sendMessage(from, "OK out=" + hex(answer.output));
            return;
        }
        sendMessage(from, "ERR 1");
    };

    for (;;) {
        bool paused;
        {
            std::lock_guard lock(s.mutex);
            if (s.stop)
                break;
            // What the scanner sends on its own (labels) waits while the
            // driver's transaction mode is on, and then goes to the host
            // that holds the line-of-business port, else to one that holds
            // the management port.
            if (!s.filter.state().transactionMode) {
                Channel& to = !s.hostConnected && s.managementConnected ? s.management : s.lob;
                for (auto& [bytes, apart] : s.toSend)
                    schedule(to, std::move(bytes), apart);
                s.toSend.clear();
            }
            if (s.linesChanged) {
                s.linesChanged = false;
                for (const Channel* channel : {&s.lob, &s.management})
                    sendMessage(*channel, "LINES " + std::to_string(s.modemLines));
            }
            if (s.chatter && Clock::now() >= s.nextChatter) {
                schedule(s.lob, {'x'});
                s.nextChatter = Clock::now() + kChatterPeriod;
            }
            paused = s.paused;
        }

        // The earliest moment something falls due: the next byte either
        // way, a retry of a full pty, the next chatter byte.
        std::optional<Clock::time_point> wake;
        auto wakeBy = [&wake](Clock::time_point when) { wake = wake ? std::min(*wake, when) : when; };
        for (Channel* channel : {&s.lob, &s.management}) {
            deliverInput(*channel);
            if (!channel->incoming.empty())
                wakeBy(channel->incoming.front().nextDue());
        }
        for (Channel* channel : {&s.lob, &s.management}) {
            if (!flushOutgoing(*channel))
                wakeBy(Clock::now() + std::chrono::milliseconds(1));  // the host is not reading: try again
            else if (!channel->outgoing.empty())
                wakeBy(channel->outgoing.front().nextDue());
        }
        {
            std::lock_guard lock(s.mutex);
            if (s.chatter)
                wakeBy(s.nextChatter);
        }
        // The meter's bytes: each direction has one on its way at a time,
        // the next leaving a probe period after the last arrived.
        if (s.probing.load() && probeMaster < 0 && !probeFailed) {
            probeFailed = !openProbePty(probeMaster, probeSlave);
            if (!probeFailed) {
                const auto now = Clock::now();
                probes[0] = {probeSlave, probeMaster, std::nullopt, now};
                probes[1] = {probeMaster, probeSlave, std::nullopt, now};
            }
        }
        if (probeMaster >= 0) {
            for (PtyProbe& probe : probes) {
                const auto now = Clock::now();
                if (!probe.sentAt && now >= probe.nextAt) {
                    const unsigned char byte = 0;
                    if (::write(probe.from, &byte, 1) == 1)
                        probe.sentAt = now;
                    else
                        probe.nextAt = now + kProbePeriod;
                }
                if (!probe.sentAt)
                    wakeBy(probe.nextAt);
            }
            publishProbes();
        }

        // The wake-up descriptor, the meter's bytes on their way, then per
        // channel: listener, pty, client.
        struct Watched {
            Channel* channel;
            int listener = -1;
            int master = -1;
            int client = -1;
        };
        pollfd fds[9];
        nfds_t count = 0;
        fds[count++] = {s.wake, POLLIN, 0};
        int probeSlots[2] = {-1, -1};
        for (int i = 0; i < 2; ++i)
            if (probes[i].sentAt) {
                probeSlots[i] = static_cast<int>(count);
                fds[count++] = {probes[i].to, POLLIN, 0};
            }
        Watched watched[2] = {{&s.lob}, {&s.management}};
        for (Watched& w : watched) {
            Channel& channel = *w.channel;
            if (!channel.open())
                continue;
            const bool held = (&channel == &s.lob && paused) || inputRoom(channel) == 0;
            w.listener = static_cast<int>(count);
            fds[count++] = {channel.listener, POLLIN, 0};
            w.master = static_cast<int>(count);
            fds[count++] = {channel.master, static_cast<short>(held ? 0 : POLLIN), 0};
            if (channel.client >= 0) {
                w.client = static_cast<int>(count);
                fds[count++] = {channel.client, POLLIN, 0};
            }
        }
        timespec timeout{};
        if (wake) {
            const auto left = std::max(std::chrono::nanoseconds(0), *wake - Clock::now());
            timeout.tv_sec = static_cast<time_t>(std::chrono::duration_cast<std::chrono::seconds>(left).count());
            timeout.tv_nsec = static_cast<long>((left - std::chrono::seconds(timeout.tv_sec)).count());
        }
        if (::ppoll(fds, count, wake ? &timeout : nullptr, nullptr) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        // How late this pass runs: woken past its due moment, or kept
        // waiting for a processor at any point since the last pass (after
        // the host's bytes came in, say, which no due moment covers).
        {
            const auto now = Clock::now();
            std::chrono::nanoseconds late{0};
            if (wake && now > *wake)
                late = now - *wake;
            const auto waited = waitedForProcessor(schedstat);
            if (waited && waitedBefore)
                late = std::max(late, *waited - *waitedBefore);
            waitedBefore = waited;
            noteLateness(late);
            for (int i = 0; i < 2; ++i) {
                PtyProbe& probe = probes[i];
                if (probeSlots[i] < 0 || fds[probeSlots[i]].revents == 0)
                    continue;
                unsigned char buffer[16];
                const ssize_t n = ::read(probe.to, buffer, sizeof buffer);
                if (n > 0) {
                    noteLateness(now - *probe.sentAt);
                    probe.sentAt.reset();
                    probe.nextAt = now + kProbePeriod;
                } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                    // The pty has failed in some way: time no more bytes
                    // rather than poll it again and again.
                    closeProbePty();
                    probeFailed = true;
                    break;
                }
            }
            publishProbes();
        }
        if (fds[0].revents != 0) {
            std::uint64_t value;
            [[maybe_unused]] const ssize_t n = ::read(s.wake, &value, sizeof value);
        }
        // A pause set while the poll waited holds for what the host wrote
        // after it: the value taken before the poll may be stale.
        {
            std::lock_guard lock(s.mutex);
            paused = s.paused;
        }
        for (const Watched& w : watched) {
            if (w.listener < 0)
                continue;
            Channel& channel = *w.channel;
            const bool isLob = &channel == &s.lob;
            if ((fds[w.listener].revents & POLLIN) != 0) {
                const int accepted = ::accept4(channel.listener, nullptr, nullptr, SOCK_CLOEXEC);
                if (accepted >= 0) {
                    if (channel.client >= 0)
                        dropClient(channel);  // one host at a time: the newest wins
                    channel.client = accepted;
                }
            }
            if ((fds[w.master].revents & POLLIN) != 0 && !(isLob && paused))
                takeInput(channel, false);
            if (w.client >= 0 && channel.client >= 0 && fds[w.client].revents != 0) {
                char buffer[kMaxMessage];
                const ssize_t n = ::recv(channel.client, buffer, sizeof buffer, MSG_DONTWAIT);
                if (n > 0)
                    handleMessage(channel, std::string(buffer, static_cast<std::size_t>(n)));
                else if (n == 0 || (errno != EAGAIN && errno != EINTR))
                    dropClient(channel);
            }
        }
    }
    closeProbePty();
    if (schedstat >= 0)
        ::close(schedstat);
}

}  // namespace vxsim
