// Virtual serial ports, host side: finding the published ports and talking
// to their devices over the side channel (WIRE.md, "Virtual serial ports").
#include "linux/internal/private_files.h"
#include "linux/internal/serial_virtual.h"

#include "platform/error.h"
#include "platform/runtime.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform {

namespace {

// A device answers a request from its serving loop at once; the bound only
// turns a hung device into a failure.
constexpr int kReplyBoundMs = 5000;
constexpr std::size_t kMaxMessage = 8192;

bool validId(const std::string& id)
{
    if (id.empty())
        return false;
    return std::all_of(id.begin(), id.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_' || c == '.';
    });
}

// Reads a descriptor, answering false when it is malformed or its device is
// no longer there (nobody holds its lock).
bool readDescriptor(const std::string& path, const std::string& id, VirtualSerialDescriptor* out)
{
    // Only a descriptor this user published is trusted, and only with a
    // control socket of the user's: anything else in the folder is ignored.
    const int fd = openOwnedFile(path);
    if (fd < 0)
        return false;
    bool alive = false;
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0)
        alive = errno == EWOULDBLOCK;
    else
        ::flock(fd, LOCK_UN);
    std::string text;
    if (alive) {
        char buffer[1024];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            text.append(buffer, static_cast<std::size_t>(n));
            if (text.size() > 65536)
                break;
        }
    }
    ::close(fd);
    if (!alive)
        return false;
    VirtualSerialDescriptor d;
    d.id = id;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        if (key == "pty")
            d.ptyPath = value;
        else if (key == "control")
            d.controlPath = value;
        else if (key == "device")
            d.deviceKind = value;
        else if (key == "default-config")
            d.hasDefaultConfig = value != "0";
        else if (key == "management-pty")
            d.managementPtyPath = value;
        else if (key == "management-control")
            d.managementControlPath = value;
    }
    const bool kindOk = !d.deviceKind.empty() && std::all_of(d.deviceKind.begin(), d.deviceKind.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
    });
    if (d.ptyPath.empty() || d.controlPath.empty() || !kindOk || isForeignSocket(d.controlPath) ||
        isForeignSocket(d.managementControlPath))
        return false;
    *out = std::move(d);
    return true;
}

std::string field(const std::string& message, const std::string& key)
{
    std::istringstream words(message);
    for (std::string word; words >> word;)
        if (word.size() > key.size() && word.compare(0, key.size(), key) == 0 && word[key.size()] == '=')
            return word.substr(key.size() + 1);
    return {};
}

std::string hex(const void* data, DWORD size)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (DWORD i = 0; i < size; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0xF];
    }
    return out;
}

bool unhex(const std::string& text, std::vector<unsigned char>* out)
{
    if (text.size() % 2 != 0)
        return false;
    auto value = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    out->clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int hi = value(text[i]);
        const int lo = value(text[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        out->push_back(static_cast<unsigned char>(hi * 16 + lo));
    }
    return true;
}

DWORD parseCode(const std::string& reply)
{
    // "ERR <code>"
    const unsigned long code = std::strtoul(reply.c_str() + 3, nullptr, 10);
    return code != 0 ? static_cast<DWORD>(code) : ERROR_GEN_FAILURE;
}

}  // namespace

std::string virtualSerialDirectory()
{
    const std::string directory = runtimeDirectory();
    return directory.empty() ? directory : directory + "/serial";
}

std::vector<VirtualSerialDescriptor> listVirtualSerialPorts()
{
    std::vector<VirtualSerialDescriptor> ports;
    const std::string folder = virtualSerialDirectory();
    DIR* dir = folder.empty() ? nullptr : ::opendir(folder.c_str());
    if (dir == nullptr)
        return ports;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        const std::string suffix = ".port";
        if (name.size() <= suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        const std::string id = name.substr(0, name.size() - suffix.size());
        VirtualSerialDescriptor d;
        if (validId(id) && readDescriptor(folder + "/" + name, id, &d))
            ports.push_back(std::move(d));
    }
    ::closedir(dir);
    std::sort(ports.begin(), ports.end(),
              [](const VirtualSerialDescriptor& a, const VirtualSerialDescriptor& b) { return a.id < b.id; });
    return ports;
}

VirtualSerialChannel::~VirtualSerialChannel()
{
    ::close(m_fd);
}

std::unique_ptr<VirtualSerialChannel> VirtualSerialChannel::connect(const std::string& controlPath, DWORD* error)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (controlPath.size() >= sizeof address.sun_path) {
        *error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    std::memcpy(address.sun_path, controlPath.c_str(), controlPath.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = errorFromErrno(errno);
        return nullptr;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        *error = ERROR_DEVICE_NOT_CONNECTED;
        return nullptr;
    }
    std::unique_ptr<VirtualSerialChannel> channel(new VirtualSerialChannel(fd));
    std::string reply;
    if (const DWORD rc = channel->request("HELLO 1", &reply); rc != ERROR_SUCCESS) {
        *error = rc;
        return nullptr;
    }
    const std::string lines = field(reply, "lines");
    channel->m_lines = static_cast<DWORD>(std::strtoul(lines.c_str(), nullptr, 10));
    *error = ERROR_SUCCESS;
    return channel;
}

void VirtualSerialChannel::applyNotice(const std::string& message)
{
    if (message.compare(0, 6, "LINES ") == 0)
        m_lines = static_cast<DWORD>(std::strtoul(message.c_str() + 6, nullptr, 10)) &
                  (MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON);
}

DWORD VirtualSerialChannel::receive(int timeoutMs, std::string* reply, bool* gotReply)
{
    *gotReply = false;
    if (m_gone)
        return ERROR_DEVICE_NOT_CONNECTED;
    pollfd p{m_fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, timeoutMs);
    if (ready < 0)
        return errno == EINTR ? ERROR_SUCCESS : errorFromErrno(errno);
    if (ready == 0)
        return ERROR_SUCCESS;
    char buffer[kMaxMessage];
    const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return ERROR_SUCCESS;
    if (n <= 0) {
        // An orderly shutdown, a reset: the device is gone for good.
        m_gone = true;
        return ERROR_DEVICE_NOT_CONNECTED;
    }
    std::string message(buffer, static_cast<std::size_t>(n));
    if (message.compare(0, 2, "OK") == 0 || message.compare(0, 3, "ERR") == 0) {
        *reply = std::move(message);
        *gotReply = true;
    } else {
        applyNotice(message);
    }
    return ERROR_SUCCESS;
}

DWORD VirtualSerialChannel::request(const std::string& message, std::string* reply)
{
    std::lock_guard lock(m_mutex);
    if (m_gone)
        return ERROR_DEVICE_NOT_CONNECTED;
    if (::send(m_fd, message.data(), message.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(message.size())) {
        m_gone = true;
        return ERROR_DEVICE_NOT_CONNECTED;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReplyBoundMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            // A late reply would be taken for the next request's: a device
            // that does not answer is treated as gone from now on.
            m_gone = true;
            return ERROR_TIMEOUT;
        }
        bool got = false;
        if (const DWORD rc = receive(static_cast<int>(left.count()), reply, &got); rc != ERROR_SUCCESS)
            return rc;
        if (got)
            return reply->compare(0, 2, "OK") == 0 ? ERROR_SUCCESS : parseCode(*reply);
    }
}

DWORD VirtualSerialChannel::sendLine(const DCB& dcb)
{
    std::ostringstream m;
    m << "LINE baud=" << dcb.BaudRate << " data=" << unsigned(dcb.ByteSize) << " parity=" << unsigned(dcb.Parity)
      << " stop=" << unsigned(dcb.StopBits) << " ctsflow=" << dcb.fOutxCtsFlow << " dsrflow=" << dcb.fOutxDsrFlow
      << " dtrcontrol=" << dcb.fDtrControl << " rtscontrol=" << dcb.fRtsControl << " outx=" << dcb.fOutX
      << " inx=" << dcb.fInX << " xon=" << unsigned(static_cast<unsigned char>(dcb.XonChar))
      << " xoff=" << unsigned(static_cast<unsigned char>(dcb.XoffChar));
    std::string reply;
    return request(m.str(), &reply);
}

DWORD VirtualSerialChannel::sendSignals(bool dtr, bool rts)
{
    std::string reply;
    return request(std::string("SIGNALS dtr=") + (dtr ? "1" : "0") + " rts=" + (rts ? "1" : "0"), &reply);
}

DWORD VirtualSerialChannel::sendBreak(bool on)
{
    std::string reply;
    return request(on ? "BREAK 1" : "BREAK 0", &reply);
}

DWORD VirtualSerialChannel::ioControl(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                                      DWORD* returned)
{
    *returned = 0;
    if (inSize > 2048 || (in == nullptr && inSize != 0) || (out == nullptr && outSize != 0))
        return ERROR_INVALID_PARAMETER;
    char codeText[16];
    std::snprintf(codeText, sizeof codeText, "%08x", code);
    std::string reply;
    const std::string message = std::string("IOCTL code=") + codeText + " out=" + std::to_string(outSize) +
                                " in=" + hex(in, inSize);
    if (const DWORD rc = request(message, &reply); rc != ERROR_SUCCESS)
        return rc;
    std::vector<unsigned char> answer;
    if (!unhex(field(reply, "out"), &answer))
        return ERROR_GEN_FAILURE;
    // Never more than the caller's buffer holds, whatever the device sent.
    const std::size_t n = std::min<std::size_t>(answer.size(), outSize);
    if (n != 0)
        std::memcpy(out, answer.data(), n);
    *returned = static_cast<DWORD>(n);
    return ERROR_SUCCESS;
}

DWORD VirtualSerialChannel::modemStatus(DWORD* status)
{
    std::lock_guard lock(m_mutex);
    for (;;) {
        std::string reply;
        bool got = false;
        pollfd p{m_fd, POLLIN, 0};
        if (m_gone || ::poll(&p, 1, 0) <= 0)
            break;
        if (const DWORD rc = receive(0, &reply, &got); rc != ERROR_SUCCESS)
            return rc;
    }
    if (m_gone)
        return ERROR_DEVICE_NOT_CONNECTED;
    *status = m_lines;
    return ERROR_SUCCESS;
}

}  // namespace platform
