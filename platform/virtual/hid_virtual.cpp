// Virtual HID interfaces: devices published in the runtime directory by a
// device stand-in (the simulated scanner), reached over a SOCK_SEQPACKET
// socket, one message per report. platform/virtual/WIRE.md ("Virtual HID
// interfaces") is the format; this file is the host side of it.
#include "linux/internal/devtree.h"
#include "linux/internal/hid.h"
#include "linux/internal/private_files.h"

#include "platform/error.h"
#include "platform/runtime.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace platform {
namespace {

// <runtime>/hid/<id>.hid
constexpr const char* kFolder = "hid";
constexpr const char* kDescriptorSuffix = ".hid";

// Message kinds (the first byte of every message).
constexpr BYTE kInputReport = 'I';
constexpr BYTE kOutputReport = 'O';
constexpr BYTE kSetFeature = 'S';
constexpr BYTE kGetFeature = 'G';
constexpr BYTE kAnswer = 'A';
constexpr BYTE kDeviceRequest = 'D';

// How long a feature request waits for the device's answer.
constexpr auto kAnswerBound = std::chrono::milliseconds(5000);
// The largest message: a kind byte and a report of up to 65535 bytes.
constexpr std::size_t kMaxMessage = 1 + 65535 + 2;

bool validId(const std::string& id)
{
    if (id.empty() || id.size() > 64)
        return false;
    return std::all_of(id.begin(), id.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.';
    });
}

class SocketTransport : public HidTransport {
public:
    SocketTransport(int fd, const HidReportLayout& layout) : m_fd(fd), m_layout(layout) {}
    ~SocketTransport() override { ::close(m_fd); }

    int pollDescriptor() const override { return m_fd; }

    Received receive(std::vector<BYTE>& report) override
    {
        std::vector<BYTE> message(kMaxMessage);
        const ssize_t count = ::recv(m_fd, message.data(), message.size(), MSG_DONTWAIT);
        if (count < 0 && (errno == EAGAIN || errno == EINTR))
            return Received::nothing;
        if (count <= 0) {
            // The device closed its end: unplugged (or its process ended).
            std::lock_guard lock(m_mutex);
            m_gone = true;
            m_answered.notify_all();
            return Received::gone;
        }
        message.resize(static_cast<std::size_t>(count));
        if (message[0] == kInputReport) {
            report.assign(message.begin() + 1, message.end());
            report.resize(m_layout.inputReportLength, 0);
            return Received::report;
        }
        if (message[0] == kAnswer) {
            std::lock_guard lock(m_mutex);
            m_answer.emplace(message.begin() + 1, message.end());
            m_answered.notify_all();
        }
        return Received::nothing;  // unknown kinds are ignored
    }

    DWORD sendOutputReport(const BYTE* report, std::size_t length) override
    {
        std::vector<BYTE> message{kOutputReport};
        message.insert(message.end(), report, report + length);
        return send(message);
    }

    DWORD setFeature(const BYTE* report, std::size_t length) override
    {
        std::vector<BYTE> message{kSetFeature};
        message.insert(message.end(), report, report + length);
        std::vector<BYTE> answer;
        return request(message, answer);
    }

    DWORD getFeature(BYTE* report, std::size_t length) override
    {
        const std::vector<BYTE> message{kGetFeature, report[0], static_cast<BYTE>(length & 0xFF),
                                        static_cast<BYTE>((length >> 8) & 0xFF)};
        std::vector<BYTE> answer;
        const DWORD code = request(message, answer);
        if (code == ERROR_SUCCESS)
            std::copy_n(answer.begin(), std::min(length, answer.size()), report);
        return code;
    }

    DWORD deviceRequest(DWORD code, const BYTE* in, std::size_t inSize, std::vector<BYTE>& out,
                        std::size_t outSize) override
    {
        std::vector<BYTE> message{kDeviceRequest};
        appendNumber(message, code);
        appendNumber(message, static_cast<DWORD>(std::min<std::size_t>(outSize, 0xFFFFFFFFu)));
        message.insert(message.end(), in, in + inSize);
        if (message.size() > kMaxMessage)
            return ERROR_INVALID_PARAMETER;
        std::vector<BYTE> answer;
        const DWORD rc = request(message, answer);
        if (rc == ERROR_GEN_FAILURE && answer.size() >= 4) {
            // A refusal carries the platform's error code; a device that
            // left it out (or sent 0) failed in general.
            DWORD error = 0;
            for (std::size_t i = 0; i < 4; ++i)
                error |= static_cast<DWORD>(answer[i]) << (8 * i);
            return error != 0 ? error : ERROR_GEN_FAILURE;
        }
        if (rc != ERROR_SUCCESS)
            return rc;
        // At most what the host's buffer holds, whatever the device sent.
        out.assign(answer.begin(), answer.begin() + static_cast<std::ptrdiff_t>(std::min(outSize, answer.size())));
        return ERROR_SUCCESS;
    }

private:
    DWORD send(const std::vector<BYTE>& message)
    {
        for (;;) {
            if (::send(m_fd, message.data(), message.size(), MSG_NOSIGNAL) >= 0)
                return ERROR_SUCCESS;
            if (errno != EINTR)
                return errorFromErrno(errno);
        }
    }

    static void appendNumber(std::vector<BYTE>& message, DWORD value)
    {
        for (int i = 0; i < 4; ++i)
            message.push_back(static_cast<BYTE>(value >> (8 * i)));
    }

    // One request and its answer; `answer` gets the answer's bytes after its
    // status byte, also when the device refused the request (31).
    DWORD request(const std::vector<BYTE>& message, std::vector<BYTE>& answer)
    {
        std::lock_guard one(m_requestMutex);  // one request at a time per connection
        {
            std::lock_guard lock(m_mutex);
            if (m_gone)
                return ERROR_DEVICE_NOT_CONNECTED;
            m_answer.reset();
        }
        if (const DWORD code = send(message); code != ERROR_SUCCESS)
            return code;
        std::unique_lock lock(m_mutex);
        if (!m_answered.wait_for(lock, kAnswerBound, [this] { return m_answer.has_value() || m_gone; }))
            return ERROR_TIMEOUT;
        if (!m_answer)
            return ERROR_DEVICE_NOT_CONNECTED;
        if (!m_answer->empty())
            answer.assign(m_answer->begin() + 1, m_answer->end());
        if (m_answer->empty() || (*m_answer)[0] != 0)
            return ERROR_GEN_FAILURE;  // the device refused the request
        return ERROR_SUCCESS;
    }

    const int m_fd;
    const HidReportLayout m_layout;
    std::mutex m_requestMutex;
    std::mutex m_mutex;
    std::condition_variable m_answered;
    std::optional<std::vector<BYTE>> m_answer;
    bool m_gone = false;
};

class VirtualInterface : public HidInterface {
public:
    fs::path descriptorFile;
    fs::path socketFile;

    bool present() const override { return isPublished(descriptorFile); }

    std::unique_ptr<HidTransport> connect() const override
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string name = socketFile.string();
        if (name.size() >= sizeof address.sun_path) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return nullptr;
        }
        std::memcpy(address.sun_path, name.c_str(), name.size() + 1);
        const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            setLastErrorFromErrno();
            return nullptr;
        }
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            // No socket any more: unplugged between listing and opening.
            SetLastError(errno == ENOENT || errno == ECONNREFUSED ? ERROR_FILE_NOT_FOUND : errorFromErrno(errno));
            ::close(fd);
            return nullptr;
        }
        return std::make_unique<SocketTransport>(fd, identity.layout);
    }

    // A descriptor file counts while its publisher lives: the publisher holds
    // an exclusive flock on it, so our try succeeds only on a file left
    // behind by a process that ended.
    static bool isPublished(const fs::path& file)
    {
        const int fd = openOwnedFile(file.string());
        if (fd < 0)
            return false;
        const bool stale = ::flock(fd, LOCK_SH | LOCK_NB) == 0;
        ::close(fd);
        return !stale;
    }
};

std::optional<unsigned long> number(const std::map<std::string, std::string>& fields, const char* key)
{
    const auto found = fields.find(key);
    if (found == fields.end() || found->second.empty())
        return std::nullopt;
    char* end = nullptr;
    const unsigned long value = std::strtoul(found->second.c_str(), &end, 0);
    if (*end != '\0')
        return std::nullopt;
    return value;
}

std::optional<std::wstring> text(const std::map<std::string, std::string>& fields, const char* key)
{
    const auto found = fields.find(key);
    if (found == fields.end())
        return std::nullopt;
    return wideFromUtf8(found->second);
}

std::shared_ptr<VirtualInterface> readDescriptor(const fs::path& file)
{
    // Only a descriptor this user published counts; another user's file in
    // the folder is not a device of ours.
    std::map<std::string, std::string> fields;
    for (auto& [key, value] : readOwnedKeyValueFile(file.string()))
        fields.emplace(std::move(key), std::move(value));
    if (fields.empty())
        return nullptr;
    const std::string id = file.stem().string();
    const auto socket = fields.find("socket");
    if (!validId(id) || socket == fields.end() || socket->second.empty())
        return nullptr;

    auto interface = std::make_shared<VirtualInterface>();
    interface->descriptorFile = file;
    interface->socketFile = file.parent_path() / socket->second;  // an absolute path stays as it is
    if (isForeignSocket(interface->socketFile.string()))
        return nullptr;
    HidIdentity& identity = interface->identity;
    const auto vendor = number(fields, "vendorId");
    const auto product = number(fields, "productId");
    if (!vendor || !product || *vendor > 0xFFFF || *product > 0xFFFF)
        return nullptr;
    identity.vendorId = static_cast<USHORT>(*vendor);
    identity.productId = static_cast<USHORT>(*product);
    identity.versionNumber = static_cast<USHORT>(number(fields, "release").value_or(0));
    identity.layout.usagePage = static_cast<std::uint16_t>(number(fields, "usagePage").value_or(0));
    identity.layout.usage = static_cast<std::uint16_t>(number(fields, "usage").value_or(0));
    identity.layout.inputReportLength = static_cast<std::uint16_t>(number(fields, "inputLength").value_or(0));
    identity.layout.outputReportLength = static_cast<std::uint16_t>(number(fields, "outputLength").value_or(0));
    identity.layout.featureReportLength = static_cast<std::uint16_t>(number(fields, "featureLength").value_or(0));
    identity.layout.numbered = true;
    identity.layout.collections = 1;
    identity.serialNumber = text(fields, "serialNumber");
    identity.manufacturer = text(fields, "manufacturer");
    identity.product = text(fields, "product");
    const unsigned interfaceNumber = static_cast<unsigned>(number(fields, "interface").value_or(0));
    // An interface that the remote-management filter driver presents has
    // the driver's bus in its path (internal/devtree.h).
    identity.path = number(fields, "filterDriver").value_or(0) != 0
                        ? makeFilterDriverHidPath(identity.vendorId, identity.productId, interfaceNumber,
                                                  "virtual-" + id)
                        : makeHidPath(identity.vendorId, identity.productId, interfaceNumber, "virtual-" + id);
    return interface;
}

}  // namespace

HidInterfaces listVirtualHidInterfaces()
{
    std::vector<std::shared_ptr<VirtualInterface>> found;
    std::error_code error;
    const std::string runtime = runtimeDirectory();
    if (runtime.empty())
        return {};
    const fs::path folder = fs::path(runtime) / kFolder;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (it->path().extension() != kDescriptorSuffix)
            continue;
        if (!VirtualInterface::isPublished(it->path()))
            continue;
        if (auto interface = readDescriptor(it->path()))
            found.push_back(std::move(interface));
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a->identity.path < b->identity.path; });
    return HidInterfaces(found.begin(), found.end());
}

}  // namespace platform
