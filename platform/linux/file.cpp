// CreateFile and the calls on device handles: the handle work common to every
// device, forwarding to the device object behind the handle.
#include "linux/internal/devtree.h"
#include "linux/internal/device.h"
#include "linux/internal/text.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/sync.h"

#include <atomic>
#include <cctype>

namespace platform {

BOOL DeviceObject::cancelIo()
{
    return TRUE;
}

BOOL DeviceObject::flushBuffers()
{
    return TRUE;
}

BOOL DeviceObject::ioControl(DWORD, void*, DWORD, void*, DWORD, DWORD* returned)
{
    *returned = 0;
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
}

// The record's fields are written by the completing thread and read by the
// waiting one; atomics keep the unsynchronised "still pending?" check sound.
void beginOverlapped(OVERLAPPED* overlapped)
{
    std::atomic_ref<ULONG_PTR>(overlapped->InternalHigh).store(0);
    std::atomic_ref<ULONG_PTR>(overlapped->Internal).store(kOverlappedPending);
    if (overlapped->hEvent != nullptr)
        ResetEvent(overlapped->hEvent);
}

void completeOverlapped(OVERLAPPED* overlapped, DWORD code, DWORD transferred)
{
    std::atomic_ref<ULONG_PTR>(overlapped->InternalHigh).store(transferred);
    std::atomic_ref<ULONG_PTR>(overlapped->Internal).store(code);
    if (overlapped->hEvent != nullptr)
        SetEvent(overlapped->hEvent);
}

bool isOverlappedPending(const OVERLAPPED* overlapped)
{
    auto& internal = const_cast<ULONG_PTR&>(overlapped->Internal);
    return std::atomic_ref<ULONG_PTR>(internal).load() == kOverlappedPending;
}

}  // namespace platform

namespace {

bool isSerialPath(const std::string& path)
{
    static const std::string prefix = "\\\\.\\COM";
    if (path.size() <= prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(path[i])) != prefix[i])
            return false;
    return true;
}

std::shared_ptr<platform::DeviceObject> deviceFromHandle(HANDLE file)
{
    return platform::objectFromHandle<platform::DeviceObject>(file);
}

}  // namespace

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES, DWORD creation, DWORD flags,
                   HANDLE)
{
    if (path == nullptr || creation != OPEN_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string name(path);
    // A filter driver's management path names the port or interface it
    // belongs to, or a COM port's management channel.
    bool managementChannel = false;
    if (platform::isManagementPath(name)) {
        const auto target = platform::resolveManagementPath(name);
        if (!target) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        name = target->path;
        managementChannel = target->managementChannel;
    }
    std::shared_ptr<platform::DeviceObject> device =
        isSerialPath(name) ? platform::openSerialDevice(name, access, shareMode, flags, managementChannel)
                           : platform::openHidDevice(name, access, shareMode, flags);
    if (device == nullptr)
        return INVALID_HANDLE_VALUE;
    HANDLE handle = platform::makeHandle(std::move(device));
    return handle != nullptr ? handle : INVALID_HANDLE_VALUE;
}

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES attributes, DWORD creation,
                   DWORD flags, HANDLE templateFile)
{
    if (path == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const std::string narrow = platform::narrowFromWide(path);
    return CreateFileA(narrow.c_str(), access, shareMode, attributes, creation, flags, templateFile);
}

namespace {

// The checks ReadFile and WriteFile share; `transfer` runs the device's own
// operation with a count that is never null.
template <typename Buffer, typename Transfer>
BOOL transferOnDevice(HANDLE file, Buffer buffer, DWORD size, LPDWORD transferred, Transfer transfer)
{
    DWORD local = 0;
    DWORD* count = transferred != nullptr ? transferred : &local;
    *count = 0;
    const auto device = deviceFromHandle(file);
    if (device == nullptr)
        return FALSE;
    if (buffer == nullptr && size != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return transfer(*device, count);
}

}  // namespace

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD transferred, LPOVERLAPPED overlapped)
{
    return transferOnDevice(file, buffer, size, transferred, [&](platform::DeviceObject& device, DWORD* count) {
        return device.read(buffer, size, count, overlapped);
    });
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD transferred, LPOVERLAPPED overlapped)
{
    return transferOnDevice(file, buffer, size, transferred, [&](platform::DeviceObject& device, DWORD* count) {
        return device.write(buffer, size, count, overlapped);
    });
}

BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait)
{
    if (deviceFromHandle(file) == nullptr)
        return FALSE;
    if (overlapped == nullptr || transferred == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (platform::isOverlappedPending(overlapped)) {
        if (!wait || overlapped->hEvent == nullptr) {
            SetLastError(ERROR_IO_INCOMPLETE);
            return FALSE;
        }
        while (platform::isOverlappedPending(overlapped))
            if (WaitForSingleObject(overlapped->hEvent, INFINITE) == WAIT_FAILED)
                return FALSE;
    }
    *transferred = static_cast<DWORD>(std::atomic_ref<ULONG_PTR>(overlapped->InternalHigh).load());
    const auto code = static_cast<DWORD>(std::atomic_ref<ULONG_PTR>(overlapped->Internal).load());
    if (code != ERROR_SUCCESS) {
        SetLastError(code);
        return FALSE;
    }
    return TRUE;
}

BOOL CancelIo(HANDLE file)
{
    const auto device = deviceFromHandle(file);
    return device != nullptr ? device->cancelIo() : FALSE;
}

BOOL FlushFileBuffers(HANDLE file)
{
    const auto device = deviceFromHandle(file);
    return device != nullptr ? device->flushBuffers() : FALSE;
}

BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inSize, LPVOID outBuffer,
                     DWORD outSize, LPDWORD bytesReturned, LPOVERLAPPED)
{
    DWORD local = 0;
    DWORD* returned = bytesReturned != nullptr ? bytesReturned : &local;
    *returned = 0;
    const auto object = deviceFromHandle(device);
    if (object == nullptr)
        return FALSE;
    return object->ioControl(ioControlCode, inBuffer, inSize, outBuffer, outSize, returned);
}
