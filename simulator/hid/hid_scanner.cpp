#include "simulator/hid_scanner.h"

#include <algorithm>
#include <chrono>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace vxsim {
namespace {

// Message kinds of the virtual HID wire format.
constexpr std::uint8_t kInputReport = 'I';
constexpr std::uint8_t kOutputReport = 'O';
constexpr std::uint8_t kSetFeature = 'S';
constexpr std::uint8_t kGetFeature = 'G';
constexpr std::uint8_t kAnswer = 'A';
constexpr std::uint8_t kDeviceRequest = 'D';

// The scanner's report format.
constexpr std::size_t kReportLength = 64;
constexpr std::size_t kInputData = 56;
constexpr std::size_t kOutputData = 62;
constexpr std::uint8_t kOutputReportId = 0xFD;
constexpr std::uint8_t kPosFeature = 0xFE;

constexpr std::size_t kMaxMessage = 1 + 65535 + 2;

std::string systemError(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

// The runtime directory as the host finds it.
std::string runtimeDirectory()
{
    if (const char* dir = std::getenv("VX_RUNTIME_DIR"); dir != nullptr && *dir != '\0')
        return dir;
    if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg != nullptr && *xdg != '\0')
        return std::string(xdg) + "/varnex";
    return "/tmp/varnex-" + std::to_string(::getuid());
}

bool makeFolder(const std::string& path)
{
    return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

// Sleeps until `when` with the smallest timer slack the kernel allows, so
// that a report keeps its slot to the microsecond; the calling thread's own
// slack is put back afterwards.
void sleepUntil(std::chrono::steady_clock::time_point when)
{
    const int previous = ::prctl(PR_GET_TIMERSLACK, 0UL, 0UL, 0UL, 0UL);
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    std::this_thread::sleep_until(when);
    if (previous > 0)
        ::prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(previous), 0UL, 0UL, 0UL);
}

std::string hex4(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04x", value & 0xFFFF);
    return text;
}

}  // namespace

struct HidScanner::State {
    mutable std::mutex mutex;
    bool plugged = false;
    std::string error;
    int listenFd = -1;
    int descriptorFd = -1;
    int wake[2] = {-1, -1};
    std::vector<int> connections;
    std::thread server;
    std::string descriptorPath;
    std::string socketPath;

    std::string received;
    std::vector<OutputReport> outputs;
    std::vector<std::vector<std::uint8_t>> features;
    std::vector<TimelineEvent> timeline;
    std::string id;
    int posMode = -1;
    bool refuseFeatures = false;
    bool posOnAnswerLost = false;
    unsigned featureLength = 0;
    MenuEngine engine;
    // The filter driver's requests (refused unless the constructor found a
    // management interface behind the driver) and those received.
    SimulatedFilterDriver filter{FilterDriverModel{}};
    std::vector<DeviceRequest> deviceRequests;

    // Held across the reports of one stream, so that two streams (a reply
    // and a scan) never interleave; taken before `mutex`.
    std::mutex sendMutex;
    std::chrono::steady_clock::time_point nextReportAt{};
    std::chrono::microseconds reportInterval{0};
    std::uint8_t inputReportId = 0;
    // The host's output reports cross the interrupt OUT endpoint at the
    // same pace: the serving thread takes one per interval.
    std::chrono::steady_clock::time_point nextOutputAt{};
    // When the last input report went to the hosts (under `mutex`).
    std::chrono::steady_clock::time_point deliveredAt{};

    // Waits for the next input report's slot; `sendMutex` held.
    void waitForInputSlot();

    // Sends the pieces as input reports, each piece in reports of at most
    // `pieceReport` data bytes; false when nobody is connected.
    bool sendStream(const std::vector<std::vector<std::uint8_t>>& pieces, std::size_t pieceReport, char codeId,
                    const std::string& aim);
    bool sendToAll(const std::vector<std::uint8_t>& message);

    void serve();
    void handle(int fd, const std::vector<std::uint8_t>& message);
    void dropConnection(int fd);
    std::vector<std::uint8_t> deviceRequestAnswer(const std::vector<std::uint8_t>& body);
};

HidScanner::HidScanner(HidModel model, std::string id)
    : m_model(std::move(model)), m_id(std::move(id)), m_state(std::make_shared<State>())
{
    m_state->featureLength = m_model.featureLength;
    m_state->id = m_id;
    m_state->engine.setModel(m_model.menu);
    m_state->reportInterval = std::chrono::microseconds(m_model.reportIntervalUs);
    m_state->inputReportId = m_model.inputReportId;
    FilterDriverModel driver;
    // The driver's requests reach a device through its management
    // interface; its point-of-sale interface refuses them.
    driver.present = m_model.filterDriver && m_model.usagePage == kManagementUsagePage;
    m_state->filter = SimulatedFilterDriver(driver);
}

HidScanner::~HidScanner()
{
    unplug();
}

std::string HidScanner::hostPath() const
{
    char interface[4];
    std::snprintf(interface, sizeof interface, "%02x", m_model.interfaceNumber & 0xFF);
    // The filter driver presents the interface under its own head.
    const std::string head = m_model.filterDriver
                                 ? "\\\\?\\{91e7af5c-8de2-4342-806a-c87cd5541e9d}#{2b78b334-a58f-4e88-8926-74aecf3219e8}#"
                                 : "\\\\?\\hid#";
    std::string path = head + "vid_" + hex4(m_model.vendorId) + "&pid_" + hex4(m_model.productId) + "&mi_" +
                       interface + "#virtual-" + m_id + "#{4d1e55b2-f16f-11cf-88cb-001111000030}";
    std::transform(path.begin(), path.end(), path.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return path;
}

std::string HidScanner::lastError() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->error;
}

bool HidScanner::isPlugged() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->plugged;
}

bool HidScanner::plug()
{
    State& state = *m_state;
    std::lock_guard lock(state.mutex);
    if (state.plugged)
        return true;
    const std::string root = runtimeDirectory();
    const std::string folder = root + "/hid";
    if (!makeFolder(root) || !makeFolder(folder)) {
        state.error = systemError("mkdir");
        return false;
    }
    state.socketPath = folder + "/" + m_id + ".sock";
    state.descriptorPath = folder + "/" + m_id + ".hid";

    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (state.socketPath.size() >= sizeof address.sun_path) {
        state.error = "socket path too long: " + state.socketPath;
        return false;
    }
    std::memcpy(address.sun_path, state.socketPath.c_str(), state.socketPath.size() + 1);
    ::unlink(state.socketPath.c_str());
    state.listenFd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (state.listenFd < 0 || ::bind(state.listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(state.listenFd, 16) != 0 || ::pipe2(state.wake, O_CLOEXEC) != 0) {
        state.error = systemError("socket");
        if (state.listenFd >= 0)
            ::close(state.listenFd);
        state.listenFd = -1;
        return false;
    }

    std::string text = "socket=" + m_id + ".sock\n";
    text += "vendorId=0x" + hex4(m_model.vendorId) + "\n";
    text += "productId=0x" + hex4(m_model.productId) + "\n";
    text += "release=0x" + hex4(m_model.release) + "\n";
    text += "interface=" + std::to_string(m_model.interfaceNumber) + "\n";
    text += "usagePage=0x" + hex4(m_model.usagePage) + "\n";
    text += "usage=0x" + hex4(m_model.usage) + "\n";
    text += "inputLength=" + std::to_string(m_model.inputLength) + "\n";
    text += "outputLength=" + std::to_string(m_model.outputLength) + "\n";
    text += "featureLength=" + std::to_string(m_model.featureLength) + "\n";
    if (m_model.serialNumber)
        text += "serialNumber=" + *m_model.serialNumber + "\n";
    if (m_model.manufacturer)
        text += "manufacturer=" + *m_model.manufacturer + "\n";
    if (m_model.product)
        text += "product=" + *m_model.product + "\n";
    if (m_model.filterDriver)
        text += "filterDriver=1\n";
    if (m_model.uniquifier.has_value())
        text += "uniquifier=" + *m_model.uniquifier + "\n";

    // Written aside, locked, then renamed into place: the host never sees a
    // half-written descriptor, and the lock tells it we are alive.
    const std::string temporary = folder + "/." + m_id + ".hid.tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const bool written = fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                         ::flock(fd, LOCK_EX) == 0 && ::rename(temporary.c_str(), state.descriptorPath.c_str()) == 0;
    if (!written) {
        state.error = systemError("descriptor");
        if (fd >= 0)
            ::close(fd);
        ::unlink(temporary.c_str());
        ::close(state.listenFd);
        ::close(state.wake[0]);
        ::close(state.wake[1]);
        state.listenFd = state.wake[0] = state.wake[1] = -1;
        ::unlink(state.socketPath.c_str());
        return false;
    }
    state.descriptorFd = fd;
    state.plugged = true;
    state.server = std::thread([&state] { state.serve(); });
    return true;
}

void HidScanner::unplug()
{
    State& state = *m_state;
    {
        std::lock_guard lock(state.mutex);
        if (!state.plugged)
            return;
        ::unlink(state.descriptorPath.c_str());
        const char stop = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(state.wake[1], &stop, 1);
    }
    state.server.join();
    std::lock_guard lock(state.mutex);
    for (const int fd : state.connections)
        ::close(fd);
    state.connections.clear();
    ::close(state.listenFd);
    ::unlink(state.socketPath.c_str());
    ::close(state.descriptorFd);
    ::close(state.wake[0]);
    ::close(state.wake[1]);
    state.listenFd = state.descriptorFd = state.wake[0] = state.wake[1] = -1;
    state.plugged = false;
}

void HidScanner::State::serve()
{
    std::vector<std::uint8_t> buffer(kMaxMessage);
    for (;;) {
        std::vector<pollfd> fds = {{wake[0], POLLIN, 0}, {listenFd, POLLIN, 0}};
        {
            std::lock_guard lock(mutex);
            for (const int fd : connections)
                fds.push_back({fd, POLLIN, 0});
        }
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents != 0)
            return;
        if (fds[1].revents & POLLIN) {
            const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                std::lock_guard lock(mutex);
                connections.push_back(fd);
                timeline.push_back(timelineEvent(TimelineEvent::Kind::open, id));
            }
        }
        for (std::size_t i = 2; i < fds.size(); ++i) {
            if (fds[i].revents == 0)
                continue;
            const ssize_t count = ::recv(fds[i].fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
            if (count < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            if (count <= 0) {
                dropConnection(fds[i].fd);
                continue;
            }
            handle(fds[i].fd, std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + count));
        }
    }
}

// The answer to a device request: its code and answer size (four bytes
// each, little-endian), then the input bytes. A refusal carries the error
// code.
std::vector<std::uint8_t> HidScanner::State::deviceRequestAnswer(const std::vector<std::uint8_t>& body)
{
    const auto u32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(body[at]) | static_cast<std::uint32_t>(body[at + 1]) << 8 |
               static_cast<std::uint32_t>(body[at + 2]) << 16 | static_cast<std::uint32_t>(body[at + 3]) << 24;
    };
    DeviceAnswer result;
    if (body.size() < 8) {
        result.error = kErrorInvalidParameter;
    } else {
        DeviceRequest request{u32(0), std::vector<unsigned char>(body.begin() + 8, body.end()), u32(4)};
        deviceRequests.push_back(request);
        timeline.push_back(timelineEvent(TimelineEvent::Kind::request, id, request.input, request.code));
        result = filter.handle(request);
    }
    std::vector<std::uint8_t> answer{kAnswer, static_cast<std::uint8_t>(result.error == 0 ? 0 : 1)};
    if (result.error != 0)
        for (int i = 0; i < 4; ++i)
            answer.push_back(static_cast<std::uint8_t>(result.error >> (8 * i)));
    else
        answer.insert(answer.end(), result.output.begin(), result.output.end());
    return answer;
}

void HidScanner::State::dropConnection(int fd)
{
    std::lock_guard lock(mutex);
    const auto found = std::find(connections.begin(), connections.end(), fd);
    if (found != connections.end()) {
        connections.erase(found);
        ::close(fd);
        timeline.push_back(timelineEvent(TimelineEvent::Kind::close, id));
    }
}

void HidScanner::State::handle(int fd, const std::vector<std::uint8_t>& message)
{
    const auto arrived = std::chrono::steady_clock::now();
    if (message[0] == kOutputReport && reportInterval.count() > 0) {
        if (nextOutputAt > arrived)
            sleepUntil(nextOutputAt);
        nextOutputAt = std::max(arrived, nextOutputAt) + reportInterval;
    }
    const std::vector<std::uint8_t> body(message.begin() + 1, message.end());
    std::vector<std::uint8_t> answer;
    std::vector<std::vector<std::uint8_t>> replyPieces;
    std::size_t pieceReport = kInputData;
    {
        std::lock_guard lock(mutex);
        switch (message[0]) {
        case kOutputReport:
            outputs.push_back({body, arrived});
            timeline.push_back(timelineEvent(TimelineEvent::Kind::report, id, body));
            // An output report carries no end-of-message mark: its data just
            // continues the stream.
            if (body.size() >= 2 && body[0] == kOutputReportId) {
                const std::size_t count = std::min<std::size_t>({body[1], kOutputData, body.size() - 2});
                received.append(body.begin() + 2, body.begin() + 2 + static_cast<std::ptrdiff_t>(count));
                std::vector<std::vector<unsigned char>> replies;
                engine.take(body.data() + 2, count, replies);
                for (const auto& reply : replies)
                    for (auto& piece : engine.replyPieces(reply))
                        replyPieces.push_back(std::move(piece));
                if (engine.faults().splitEvery > 0)
                    pieceReport = std::min(pieceReport, engine.faults().splitEvery);
            }
            break;
        case kSetFeature:
            features.push_back(body);
            timeline.push_back(timelineEvent(TimelineEvent::Kind::feature, id, body));
            if (!refuseFeatures && body.size() >= 2 && body[0] == kPosFeature)
                posMode = body[1];
            answer = {kAnswer, static_cast<std::uint8_t>(refuseFeatures ? 1 : 0)};
            // The mode is switched on, but the answer says the device failed.
            if (posOnAnswerLost && !refuseFeatures && body.size() >= 2 && body[0] == kPosFeature && body[1] == 1)
                answer[1] = 1;
            break;
        case kGetFeature:
            answer = {kAnswer, static_cast<std::uint8_t>(refuseFeatures ? 1 : 0)};
            if (!refuseFeatures && body.size() >= 1) {
                std::vector<std::uint8_t> report(std::max(featureLength, 2u), 0);
                report[0] = body[0];
                if (body[0] == kPosFeature)
                    report[1] = static_cast<std::uint8_t>(posMode < 0 ? 0 : posMode);
                answer.insert(answer.end(), report.begin(), report.end());
            }
            break;
        case kDeviceRequest:
            answer = deviceRequestAnswer(body);
            break;
        default:
            return;  // unknown kinds are ignored
        }
    }
    if (message[0] == kOutputReport) {
        if (!replyPieces.empty())
            sendStream(replyPieces, pieceReport, 0, std::string());
        return;
    }
    ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
}

bool HidScanner::State::sendToAll(const std::vector<std::uint8_t>& message)
{
    std::lock_guard lock(mutex);
    if (connections.empty())
        return false;
    bool ok = true;
    for (const int fd : connections)
        ok = ::send(fd, message.data(), message.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(message.size()) && ok;
    deliveredAt = std::chrono::steady_clock::now();
    return ok;
}

void HidScanner::State::waitForInputSlot()
{
    // The interrupt endpoint carries one report per polling interval.
    if (reportInterval.count() == 0)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (nextReportAt > now)
        sleepUntil(nextReportAt);
    nextReportAt = std::max(now, nextReportAt) + reportInterval;
}

bool HidScanner::State::sendStream(const std::vector<std::vector<std::uint8_t>>& pieces, std::size_t pieceReport,
                                   char codeId, const std::string& aim)
{
    std::lock_guard sending(sendMutex);
    pieceReport = std::clamp<std::size_t>(pieceReport, 1, kInputData);
    for (const auto& piece : pieces) {
        std::size_t at = 0;
        do {
            const std::size_t count = std::min(pieceReport, piece.size() - at);
            std::vector<std::uint8_t> message(1 + kReportLength, 0);
            message[0] = kInputReport;
            std::uint8_t* report = message.data() + 1;
            report[0] = inputReportId;
            report[1] = static_cast<std::uint8_t>(count);
            for (std::size_t i = 0; i < 3 && i < aim.size(); ++i)
                report[2 + i] = static_cast<std::uint8_t>(aim[i]);
            std::memcpy(report + 5, piece.data() + at, count);
            report[61] = static_cast<std::uint8_t>(codeId);
            at += count;
            report[63] = at < piece.size() ? 1 : 0;
            waitForInputSlot();
            if (!sendToAll(message))
                return false;
        } while (at < piece.size());
    }
    return true;
}

std::size_t HidScanner::connections() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->connections.size();
}

bool HidScanner::sendReport(const std::vector<std::uint8_t>& report)
{
    std::vector<std::uint8_t> message{kInputReport};
    message.insert(message.end(), report.begin(), report.end());
    return m_state->sendToAll(message);
}

bool HidScanner::sendPacedReports(const std::vector<std::vector<std::uint8_t>>& reports)
{
    std::lock_guard sending(m_state->sendMutex);
    for (const auto& report : reports) {
        std::vector<std::uint8_t> message{kInputReport};
        message.insert(message.end(), report.begin(), report.end());
        m_state->waitForInputSlot();
        if (!m_state->sendToAll(message))
            return false;
    }
    return true;
}

bool HidScanner::scan(const std::string& label, char codeId, const std::string& aim)
{
    std::vector<std::vector<std::uint8_t>> pieces;
    std::size_t pieceReport = kInputData;
    {
        std::lock_guard lock(m_state->mutex);
        const MenuEngine& engine = m_state->engine;
        pieces = engine.withFaults(engine.barcode(label, codeId, aim), engine.decodeHeader());
        if (engine.faults().splitEvery > 0)
            pieceReport = engine.faults().splitEvery;
    }
    return m_state->sendStream(pieces, pieceReport, codeId, "]" + aim);
}

bool HidScanner::scanJoined(const std::vector<std::string>& labels, char codeId, const std::string& aim)
{
    std::vector<std::uint8_t> joined;
    {
        std::lock_guard lock(m_state->mutex);
        const MenuEngine& engine = m_state->engine;
        for (const std::string& label : labels)
            for (const auto& piece : engine.withFaults(engine.barcode(label, codeId, aim), engine.decodeHeader()))
                joined.insert(joined.end(), piece.begin(), piece.end());
    }
    return m_state->sendStream({joined}, kInputData, codeId, "]" + aim);
}

bool HidScanner::sendImage(const std::string& bytes, int format)
{
    std::vector<std::vector<std::uint8_t>> pieces;
    std::size_t pieceReport = kInputData;
    {
        std::lock_guard lock(m_state->mutex);
        const MenuEngine& engine = m_state->engine;
        pieces = engine.withFaults(engine.image(bytes, format), true);
        if (engine.faults().splitEvery > 0)
            pieceReport = engine.faults().splitEvery;
    }
    return m_state->sendStream(pieces, pieceReport, 0, std::string());
}

void HidScanner::setMenuModel(MenuModel menu)
{
    std::lock_guard lock(m_state->mutex);
    m_state->engine.setModel(std::move(menu));
}

void HidScanner::setDataFaults(DataFaults faults)
{
    std::lock_guard lock(m_state->mutex);
    m_state->engine.setFaults(std::move(faults));
}

std::vector<std::string> HidScanner::menuCommands() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->engine.commands();
}

bool HidScanner::decodeHeader() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->engine.decodeHeader();
}

std::vector<std::vector<std::uint8_t>> HidScanner::messageReports(const std::string& data, const std::string& aim,
                                                                  std::uint8_t codeId) const
{
    std::vector<std::vector<std::uint8_t>> reports;
    std::size_t at = 0;
    do {
        std::vector<std::uint8_t> report(kReportLength, 0);
        const std::size_t count = std::min(kInputData, data.size() - at);
        report[0] = m_model.inputReportId;
        report[1] = static_cast<std::uint8_t>(count);
        for (std::size_t i = 0; i < 3 && i < aim.size(); ++i)
            report[2 + i] = static_cast<std::uint8_t>(aim[i]);
        std::memcpy(report.data() + 5, data.data() + at, count);
        report[61] = codeId;
        at += count;
        report[63] = at < data.size() ? 1 : 0;
        reports.push_back(std::move(report));
    } while (at < data.size());
    return reports;
}

bool HidScanner::sendMessage(const std::string& data, const std::string& aim, std::uint8_t codeId)
{
    for (const auto& report : messageReports(data, aim, codeId))
        if (!sendReport(report))
            return false;
    return true;
}

std::chrono::steady_clock::time_point HidScanner::deliveredAt() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->deliveredAt;
}

std::string HidScanner::receivedData() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->received;
}

std::vector<HidScanner::OutputReport> HidScanner::outputReports() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->outputs;
}

std::vector<HidScanner::OutputReport> HidScanner::outputReports(std::size_t from) const
{
    std::lock_guard lock(m_state->mutex);
    const std::size_t first = std::min(from, m_state->outputs.size());
    return std::vector<OutputReport>(m_state->outputs.begin() + static_cast<std::ptrdiff_t>(first),
                                     m_state->outputs.end());
}

std::vector<TimelineEvent> HidScanner::timeline() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->timeline;
}

std::vector<std::vector<std::uint8_t>> HidScanner::featureReports() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->features;
}

int HidScanner::posMode() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->posMode;
}

void HidScanner::setPosOnAnswerLost(bool lost)
{
    std::lock_guard lock(m_state->mutex);
    m_state->posOnAnswerLost = lost;
}

void HidScanner::setRefuseFeatures(bool refuse)
{
    std::lock_guard lock(m_state->mutex);
    m_state->refuseFeatures = refuse;
}

FilterDriverModel HidScanner::filterDriverState() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->filter.state();
}

std::vector<DeviceRequest> HidScanner::deviceRequests() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->deviceRequests;
}

void HidScanner::failRequest(std::uint32_t code, unsigned error)
{
    std::lock_guard lock(m_state->mutex);
    m_state->filter.failRequest(code, error);
}

void HidScanner::clearObservations()
{
    std::lock_guard lock(m_state->mutex);
    m_state->received.clear();
    m_state->outputs.clear();
    m_state->features.clear();
}

}  // namespace vxsim
