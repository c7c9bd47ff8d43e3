// HID interface handles and the HidD_/HidP_ calls, common to the hidraw and
// the virtual backend: path lookup, sharing, the per-handle input queue,
// overlapped reads and removal.
#include "linux/internal/debug_once.h"
#include "linux/internal/device.h"
#include "linux/internal/hid.h"
#include "linux/internal/private_files.h"

#include "platform/debug.h"
#include "platform/error.h"
#include "platform/hid.h"
#include "platform/runtime.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <unistd.h>

struct HidpPreparsedData {
    static constexpr std::uint32_t kMagic = 0x48494450;  // "HIDP"
    std::uint32_t magic = kMagic;
    HIDP_CAPS caps{};
};

namespace platform {
namespace {

constexpr ULONG kDefaultInputBuffers = 32;
constexpr ULONG kMinInputBuffers = 2;
constexpr ULONG kMaxInputBuffers = 512;

std::atomic<std::size_t> g_openHandles{0};

// A read/write open's claim on its interface: an flock()ed file in the
// runtime directory, shared for a shared open and exclusive for an open with
// share mode 0. flock conflicts between open files of one process as between
// processes, so one rule covers both, and a claim vanishes with its process.
class ShareClaim {
public:
    ~ShareClaim()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    // Null with ERROR_SHARING_VIOLATION (32) while a conflicting open exists.
    static std::unique_ptr<ShareClaim> take(const std::string& path, bool exclusive)
    {
        std::string name = "hid-";
        for (const char c : lowerCase(path))
            name += std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' ? c : '_';
        const std::string directory = runtimeDirectory();
        if (directory.empty())
            return nullptr;  // refused, and said so; the last error is 5
        const std::string file = directory + "/" + name + ".lock";
        const int fd = openPrivateFile(file, O_RDWR | O_CREAT);
        if (fd < 0) {
            const int err = errno;
            const DWORD code = setLastErrorFromErrno();
            reportLockFailure(file, err, code);
            return nullptr;
        }
        int result;
        do {
            result = ::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB);
        } while (result != 0 && errno == EINTR);
        if (result != 0) {
            const int err = errno;
            ::close(fd);
            SetLastError(err == EWOULDBLOCK ? ERROR_SHARING_VIOLATION : errorFromErrno(err));
            return nullptr;
        }
        auto claim = std::make_unique<ShareClaim>();
        claim->m_fd = fd;
        return claim;
    }

private:
    // The caller logs only that the interface could not be opened: the file
    // and the cause are said here, once for each.
    static void reportLockFailure(const std::string& file, int err, DWORD code)
    {
        outputDebugLineOnce("hid: share lock " + file + " cannot be created: " + std::strerror(err) + " (error " +
                            std::to_string(code) + ")\n");
    }

    int m_fd = -1;
};

// One open handle of a HID interface. A read/write handle owns a transport
// and a reader thread that moves every arriving report into the handle's
// queue (or straight into a pending read); a probe has neither.
class HidHandle : public DeviceObject {
public:
    HidHandle(std::shared_ptr<HidInterface> interface, DWORD access)
        : m_interface(std::move(interface)), m_access(access)
    {
        ++g_openHandles;
    }

    ~HidHandle() override
    {
        --g_openHandles;
        if (m_reader.joinable()) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const ssize_t ignored = ::write(m_wakeFd, &one, sizeof one);
            m_reader.join();
        }
        if (m_wakeFd >= 0)
            ::close(m_wakeFd);
        std::lock_guard lock(m_mutex);
        if (m_pending.overlapped != nullptr)
            completeOverlapped(m_pending.overlapped, ERROR_OPERATION_ABORTED, 0);
    }

    // Connects a read/write handle; false with the last error set.
    bool start(std::unique_ptr<HidTransport> transport, std::unique_ptr<ShareClaim> claim)
    {
        m_wakeFd = ::eventfd(0, EFD_CLOEXEC);
        if (m_wakeFd < 0) {
            setLastErrorFromErrno();
            return false;
        }
        m_transport = std::move(transport);
        m_claim = std::move(claim);
        m_reader = std::thread([this] { readLoop(); });
        return true;
    }

    const HidIdentity& identity() const { return m_interface->identity; }
    bool isProbe() const { return m_transport == nullptr; }

    bool present() const
    {
        if (isProbe())
            return m_interface->present();
        {
            std::lock_guard lock(m_mutex);
            if (m_gone)
                return false;
        }
        // The removal notice goes out once the interface is no longer
        // listed, which may be before the device has closed our connection:
        // from then on the handle answers as gone too.
        return m_interface->present();
    }

    BOOL read(void* buffer, DWORD size, DWORD* transferred, OVERLAPPED* overlapped) override
    {
        if (isProbe() || (m_access & GENERIC_READ) == 0)
            return fail(ERROR_ACCESS_DENIED);
        const DWORD length = identity().layout.inputReportLength;
        if (length == 0)
            return fail(ERROR_INVALID_FUNCTION);
        if (size < length)
            return fail(ERROR_INVALID_PARAMETER);

        std::unique_lock lock(m_mutex);
        if (m_queue.empty() && !m_gone) {
            if (overlapped != nullptr) {
                if (m_pending.overlapped != nullptr)
                    return fail(ERROR_BUSY);
                beginOverlapped(overlapped);
                m_pending = {static_cast<BYTE*>(buffer), overlapped};
                SetLastError(ERROR_IO_PENDING);
                return FALSE;
            }
            m_changed.wait(lock, [this] { return !m_queue.empty() || m_gone; });
        }
        if (m_queue.empty()) {
            if (overlapped != nullptr)
                completeOverlapped(overlapped, ERROR_DEVICE_NOT_CONNECTED, 0);
            return fail(ERROR_DEVICE_NOT_CONNECTED);
        }
        std::memcpy(buffer, m_queue.front().data(), length);
        m_queue.pop_front();
        *transferred = length;
        if (overlapped != nullptr)
            completeOverlapped(overlapped, ERROR_SUCCESS, length);
        return TRUE;
    }

    BOOL write(const void* buffer, DWORD size, DWORD* transferred, OVERLAPPED* overlapped) override
    {
        if (isProbe() || (m_access & GENERIC_WRITE) == 0)
            return fail(ERROR_ACCESS_DENIED);
        const DWORD length = identity().layout.outputReportLength;
        if (length == 0)
            return fail(ERROR_INVALID_FUNCTION);
        if (size < length)
            return fail(ERROR_INVALID_PARAMETER);
        const DWORD code = present() ? m_transport->sendOutputReport(static_cast<const BYTE*>(buffer), length)
                                     : ERROR_DEVICE_NOT_CONNECTED;
        if (overlapped != nullptr) {
            beginOverlapped(overlapped);
            completeOverlapped(overlapped, code, code == ERROR_SUCCESS ? length : 0);
        }
        if (code != ERROR_SUCCESS)
            return fail(code);
        *transferred = length;
        return TRUE;
    }

    // Aborts the pending read. Writes never pend.
    BOOL cancelIo() override
    {
        std::lock_guard lock(m_mutex);
        if (m_pending.overlapped != nullptr) {
            completeOverlapped(m_pending.overlapped, ERROR_OPERATION_ABORTED, 0);
            m_pending = {};
        }
        return TRUE;
    }

    void setQueueSize(ULONG size)
    {
        std::lock_guard lock(m_mutex);
        m_capacity = size;
        while (m_queue.size() > m_capacity)
            m_queue.pop_front();
    }

    ULONG queueSize() const
    {
        std::lock_guard lock(m_mutex);
        return static_cast<ULONG>(m_capacity);
    }

    void flushQueue()
    {
        std::lock_guard lock(m_mutex);
        m_queue.clear();
    }

    DWORD setFeature(const BYTE* report, std::size_t length)
    {
        if (isProbe())
            return ERROR_ACCESS_DENIED;
        return present() ? m_transport->setFeature(report, length) : ERROR_DEVICE_NOT_CONNECTED;
    }

    DWORD getFeature(BYTE* report, std::size_t length)
    {
        if (isProbe())
            return ERROR_ACCESS_DENIED;
        return present() ? m_transport->getFeature(report, length) : ERROR_DEVICE_NOT_CONNECTED;
    }

    BOOL ioControl(DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned) override
    {
        *returned = 0;
        if (isProbe())
            return fail(ERROR_ACCESS_DENIED);
        if ((in == nullptr && inSize != 0) || (out == nullptr && outSize != 0))
            return fail(ERROR_INVALID_PARAMETER);
        std::vector<BYTE> answer;
        const DWORD rc = present()
                             ? m_transport->deviceRequest(code, static_cast<const BYTE*>(in), inSize, answer, outSize)
                             : ERROR_DEVICE_NOT_CONNECTED;
        if (rc != ERROR_SUCCESS)
            return fail(rc);
        const std::size_t count = std::min<std::size_t>(answer.size(), outSize);
        if (count != 0)
            std::memcpy(out, answer.data(), count);
        *returned = static_cast<DWORD>(count);
        return TRUE;
    }

private:
    struct PendingRead {
        BYTE* buffer = nullptr;
        OVERLAPPED* overlapped = nullptr;
    };

    static BOOL fail(DWORD code)
    {
        SetLastError(code);
        return FALSE;
    }

    void readLoop()
    {
        std::vector<BYTE> report;
        for (;;) {
            pollfd fds[2] = {{m_transport->pollDescriptor(), POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
            const int ready = ::poll(fds, 2, -1);
            if (ready < 0) {
                if (errno == EINTR)
                    continue;
                deviceGone();
                return;
            }
            if (fds[1].revents != 0)
                return;  // the handle is closing
            if (fds[0].revents == 0)
                continue;
            switch (m_transport->receive(report)) {
            case HidTransport::Received::nothing:
                break;
            case HidTransport::Received::report:
                deliver(report);
                break;
            case HidTransport::Received::gone:
                deviceGone();
                return;
            }
        }
    }

    void deliver(const std::vector<BYTE>& report)
    {
        const std::size_t length = identity().layout.inputReportLength;
        if (report.size() != length || length == 0)
            return;
        std::lock_guard lock(m_mutex);
        if (m_pending.overlapped != nullptr) {
            std::memcpy(m_pending.buffer, report.data(), length);
            completeOverlapped(m_pending.overlapped, ERROR_SUCCESS, static_cast<DWORD>(length));
            m_pending = {};
            return;
        }
        m_queue.push_back(report);
        if (m_queue.size() > m_capacity) {
            m_queue.pop_front();
            OutputDebugStringA(("hid: input queue of " + identity().path +
                                " is full; the oldest report was dropped\n").c_str());
        }
        m_changed.notify_all();
    }

    void deviceGone()
    {
        std::lock_guard lock(m_mutex);
        m_gone = true;
        if (m_pending.overlapped != nullptr) {
            completeOverlapped(m_pending.overlapped, ERROR_DEVICE_NOT_CONNECTED, 0);
            m_pending = {};
        }
        m_changed.notify_all();
    }

    const std::shared_ptr<HidInterface> m_interface;
    const DWORD m_access;
    std::unique_ptr<HidTransport> m_transport;
    std::unique_ptr<ShareClaim> m_claim;
    int m_wakeFd = -1;
    std::thread m_reader;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::vector<BYTE>> m_queue;
    std::size_t m_capacity = kDefaultInputBuffers;
    PendingRead m_pending;
    bool m_gone = false;
};

std::shared_ptr<HidHandle> hidFromHandle(HANDLE device)
{
    return objectFromHandle<HidHandle>(device);
}

BOOLEAN failed(DWORD code)
{
    SetLastError(code);
    return FALSE;
}

BOOLEAN copyString(HANDLE device, const std::optional<std::wstring> HidIdentity::*which, PVOID buffer,
                   ULONG bufferLength)
{
    const auto hid = hidFromHandle(device);
    if (hid == nullptr)
        return FALSE;
    const std::size_t capacity = bufferLength / sizeof(wchar_t);
    if (buffer == nullptr || capacity == 0)
        return failed(ERROR_INVALID_PARAMETER);
    if (!hid->present())
        return failed(ERROR_DEVICE_NOT_CONNECTED);
    const std::optional<std::wstring>& text = hid->identity().*which;
    if (!text)
        return failed(ERROR_GEN_FAILURE);
    const std::size_t count = std::min(text->size(), capacity - 1);
    auto* out = static_cast<wchar_t*>(buffer);
    std::copy_n(text->data(), count, out);
    out[count] = L'\0';
    return TRUE;
}

}  // namespace

std::string lowerCase(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string makeHidPath(USHORT vendorId, USHORT productId, unsigned interfaceNumber, const std::string& location)
{
    char ids[40];
    std::snprintf(ids, sizeof ids, "vid_%04x&pid_%04x&mi_%02x", vendorId, productId, interfaceNumber & 0xFF);
    return lowerCase("\\\\?\\hid#" + std::string(ids) + "#" + location + "#{4d1e55b2-f16f-11cf-88cb-001111000030}");
}

std::wstring wideFromUtf8(const std::string& text)
{
    std::wstring out;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t extra = lead >= 0xF0 && lead < 0xF8 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
        if (lead >= 0xF8 || (lead >= 0x80 && lead < 0xC0))
            extra = 0;
        std::uint32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
        bool valid = i + extra < text.size();
        for (std::size_t k = 1; valid && k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                valid = false;
            else
                code = (code << 6) | (next & 0x3F);
        }
        if (!valid) {
            out.push_back(static_cast<wchar_t>(lead));  // a stray byte stands for itself
            ++i;
            continue;
        }
        out.push_back(static_cast<wchar_t>(code));
        i += extra + 1;
    }
    return out;
}

std::size_t openHidHandleCount()
{
    return g_openHandles.load();
}

HidInterfaces listHidInterfaces()
{
    HidInterfaces all = listHidrawInterfaces();
    HidInterfaces virtuals = listVirtualHidInterfaces();
    all.insert(all.end(), virtuals.begin(), virtuals.end());
    return all;
}

std::shared_ptr<HidInterface> findHidInterface(const std::string& path)
{
    const std::string wanted = lowerCase(path);
    for (auto& interface : listHidInterfaces())
        if (interface->identity.path == wanted)
            return interface;
    return nullptr;
}

std::shared_ptr<DeviceObject> openHidDevice(const std::string& path, DWORD access, DWORD shareMode, DWORD)
{
    std::shared_ptr<HidInterface> interface = findHidInterface(path);
    if (interface == nullptr) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    auto handle = std::make_shared<HidHandle>(interface, access);
    if ((access & (GENERIC_READ | GENERIC_WRITE)) == 0)
        return handle;  // a probe: identity only, the device is not touched

    const bool exclusive = (shareMode & (FILE_SHARE_READ | FILE_SHARE_WRITE)) != (FILE_SHARE_READ | FILE_SHARE_WRITE);
    std::unique_ptr<ShareClaim> claim = ShareClaim::take(interface->identity.path, exclusive);
    if (claim == nullptr)
        return nullptr;
    std::unique_ptr<HidTransport> transport = interface->connect();
    if (transport == nullptr)
        return nullptr;
    if (!handle->start(std::move(transport), std::move(claim)))
        return nullptr;
    return handle;
}

}  // namespace platform

void HidD_GetHidGuid(GUID* hidGuid)
{
    if (hidGuid != nullptr)
        *hidGuid = GUID{0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
}

BOOLEAN HidD_GetAttributes(HANDLE device, PHIDD_ATTRIBUTES attributes)
{
    const auto hid = platform::hidFromHandle(device);
    if (hid == nullptr)
        return FALSE;
    if (attributes == nullptr)
        return platform::failed(ERROR_INVALID_PARAMETER);
    if (!hid->present())
        return platform::failed(ERROR_DEVICE_NOT_CONNECTED);
    attributes->Size = sizeof(HIDD_ATTRIBUTES);
    attributes->VendorID = hid->identity().vendorId;
    attributes->ProductID = hid->identity().productId;
    attributes->VersionNumber = hid->identity().versionNumber;
    return TRUE;
}

BOOLEAN HidD_GetPreparsedData(HANDLE device, PHIDP_PREPARSED_DATA* preparsedData)
{
    const auto hid = platform::hidFromHandle(device);
    if (hid == nullptr)
        return FALSE;
    if (preparsedData == nullptr)
        return platform::failed(ERROR_INVALID_PARAMETER);
    if (!hid->present())
        return platform::failed(ERROR_DEVICE_NOT_CONNECTED);
    if (!hid->identity().layoutKnown)
        return platform::failed(ERROR_GEN_FAILURE);
    const platform::HidReportLayout& layout = hid->identity().layout;
    auto* data = new HidpPreparsedData;
    data->caps.Usage = layout.usage;
    data->caps.UsagePage = layout.usagePage;
    data->caps.InputReportByteLength = layout.inputReportLength;
    data->caps.OutputReportByteLength = layout.outputReportLength;
    data->caps.FeatureReportByteLength = layout.featureReportLength;
    data->caps.NumberLinkCollectionNodes = layout.collections;
    *preparsedData = data;
    return TRUE;
}

BOOLEAN HidD_FreePreparsedData(PHIDP_PREPARSED_DATA preparsedData)
{
    if (preparsedData == nullptr || preparsedData->magic != HidpPreparsedData::kMagic)
        return platform::failed(ERROR_INVALID_PARAMETER);
    preparsedData->magic = 0;
    delete preparsedData;
    return TRUE;
}

NTSTATUS HidP_GetCaps(PHIDP_PREPARSED_DATA preparsedData, PHIDP_CAPS capabilities)
{
    if (preparsedData == nullptr || preparsedData->magic != HidpPreparsedData::kMagic || capabilities == nullptr)
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    *capabilities = preparsedData->caps;
    return HIDP_STATUS_SUCCESS;
}

BOOLEAN HidD_GetSerialNumberString(HANDLE device, PVOID buffer, ULONG bufferLength)
{
    return platform::copyString(device, &platform::HidIdentity::serialNumber, buffer, bufferLength);
}

BOOLEAN HidD_GetManufacturerString(HANDLE device, PVOID buffer, ULONG bufferLength)
{
    return platform::copyString(device, &platform::HidIdentity::manufacturer, buffer, bufferLength);
}

BOOLEAN HidD_GetProductString(HANDLE device, PVOID buffer, ULONG bufferLength)
{
    return platform::copyString(device, &platform::HidIdentity::product, buffer, bufferLength);
}

BOOLEAN HidD_SetNumInputBuffers(HANDLE device, ULONG numberBuffers)
{
    const auto hid = platform::hidFromHandle(device);
    if (hid == nullptr)
        return FALSE;
    if (numberBuffers < platform::kMinInputBuffers || numberBuffers > platform::kMaxInputBuffers)
        return platform::failed(ERROR_INVALID_PARAMETER);
    hid->setQueueSize(numberBuffers);
    return TRUE;
}

BOOLEAN HidD_GetNumInputBuffers(HANDLE device, ULONG* numberBuffers)
{
    const auto hid = platform::hidFromHandle(device);
    if (hid == nullptr)
        return FALSE;
    if (numberBuffers == nullptr)
        return platform::failed(ERROR_INVALID_PARAMETER);
    *numberBuffers = hid->queueSize();
    return TRUE;
}

BOOLEAN HidD_FlushQueue(HANDLE device)
{
    const auto hid = platform::hidFromHandle(device);
    if (hid == nullptr)
        return FALSE;
    hid->flushQueue();
    return TRUE;
}

BOOLEAN HidD_SetFeature(HANDLE device, PVOID reportBuffer, ULONG reportBufferLength)
{
    const auto hid = platform::hidFromHandle(device);
    if (hid == nullptr)
        return FALSE;
    if (reportBuffer == nullptr || reportBufferLength == 0)
        return platform::failed(ERROR_INVALID_PARAMETER);
    const DWORD code = hid->setFeature(static_cast<const BYTE*>(reportBuffer), reportBufferLength);
    return code == ERROR_SUCCESS ? TRUE : platform::failed(code);
}

BOOLEAN HidD_GetFeature(HANDLE device, PVOID reportBuffer, ULONG reportBufferLength)
{
    const auto hid = platform::hidFromHandle(device);
    if (hid == nullptr)
        return FALSE;
    if (reportBuffer == nullptr || reportBufferLength == 0)
        return platform::failed(ERROR_INVALID_PARAMETER);
    const DWORD code = hid->getFeature(static_cast<BYTE*>(reportBuffer), reportBufferLength);
    return code == ERROR_SUCCESS ? TRUE : platform::failed(code);
}
