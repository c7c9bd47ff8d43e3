// Last error, the errno mapping and the system error texts.

#include "platform/error.h"

#include <cerrno>
#include <cstring>

namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

struct ErrorText {
    DWORD code;
    const char* text;
};

// One text for every code the layer produces. The wording is ours; the form
// (a sentence ending in "\r\n") is the platform's, because callers print the
// text as it comes or strip the line end themselves.
constexpr ErrorText kErrorTexts[] = {
    {ERROR_SUCCESS, "The operation completed successfully.\r\n"},
    {ERROR_INVALID_FUNCTION, "The function is not valid for this object.\r\n"},
    {ERROR_FILE_NOT_FOUND, "The file could not be found.\r\n"},
    {ERROR_PATH_NOT_FOUND, "The path could not be found.\r\n"},
    {ERROR_ACCESS_DENIED, "Access was denied.\r\n"},
    {ERROR_INVALID_HANDLE, "The handle is not valid.\r\n"},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory is available to complete this operation.\r\n"},
    {ERROR_OUTOFMEMORY, "The system ran out of memory for this operation.\r\n"},
    {ERROR_NOT_READY, "The device is not ready.\r\n"},
    {ERROR_GEN_FAILURE, "A device attached to the system is not working.\r\n"},
    {ERROR_SHARING_VIOLATION, "The file is in use by another process.\r\n"},
    {ERROR_NOT_SUPPORTED, "The request is not supported.\r\n"},
    {ERROR_INVALID_PARAMETER, "A parameter is not valid.\r\n"},
    {ERROR_BROKEN_PIPE, "The pipe was closed at the other end.\r\n"},
    {ERROR_DISK_FULL, "There is not enough space on the disk.\r\n"},
    {ERROR_INSUFFICIENT_BUFFER, "The data area passed to the call is too small.\r\n"},
    {ERROR_BUSY, "The requested resource is busy.\r\n"},
    {ERROR_ALREADY_EXISTS, "The object already exists.\r\n"},
    {ERROR_MORE_DATA, "More data is available.\r\n"},
    {WAIT_TIMEOUT, "The wait timed out.\r\n"},
    {ERROR_NO_MORE_ITEMS, "There are no more items.\r\n"},
    {ERROR_NOT_OWNER, "The caller does not own the mutex.\r\n"},
    {ERROR_TOO_MANY_POSTS, "The semaphore was posted too many times.\r\n"},
    {ERROR_OPERATION_ABORTED, "The I/O operation was aborted because its thread ended or the program asked for it.\r\n"},
    {ERROR_IO_INCOMPLETE, "The overlapped I/O operation has not completed.\r\n"},
    {ERROR_IO_PENDING, "The overlapped I/O operation is in progress.\r\n"},
    {ERROR_KEY_DELETED, "The registry key is marked for deletion; the operation is not allowed on it.\r\n"},
    {ERROR_DEVICE_NOT_CONNECTED, "The device is not connected.\r\n"},
    {ERROR_NOT_FOUND, "The element was not found.\r\n"},
    {ERROR_ALREADY_INITIALIZED, "The object is already initialized.\r\n"},
    {ERROR_INTERNAL_ERROR, "An internal error occurred.\r\n"},
    {ERROR_TIMEOUT, "The operation returned because its time-out period expired.\r\n"},
    {static_cast<DWORD>(E_INVALIDARG), "One or more arguments are not valid.\r\n"},
};

struct ErrnoCode {
    int err;
    DWORD code;
};

// The errno mapping, one table for the whole layer. Choices worth knowing:
// - EAGAIN/EWOULDBLOCK means "not finished yet", which is what an overlapped
//   ReadFile/WriteFile answers with ERROR_IO_PENDING (997). A caller for
//   whom it means something else (a non-blocking flock() that found the file
//   locked is "in use", 32 or 5) maps it itself before calling here.
// - Everything that says the other end or the device went away (EIO, ENXIO,
//   ENODEV, EPIPE, ECONNRESET, ENOTCONN, ECONNREFUSED, ESHUTDOWN) is "device
//   not connected" (1167): a hidraw node and a virtual device's socket fail
//   this way when a scanner is unplugged, and callers test for 1167.
// - ENOTTY/EOPNOTSUPP/ENOSYS are "not supported" (50): an ioctl a pty or a
//   virtual device does not offer.
// - EMFILE/ENFILE are resource exhaustion, "not enough memory" (8) as the
//   platform reports for an exhausted kernel pool.
// - Anything not listed is ERROR_GEN_FAILURE (31), which has a text.
constexpr ErrnoCode kErrnoCodes[] = {
    {0, ERROR_SUCCESS},
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {ENAMETOOLONG, ERROR_PATH_NOT_FOUND},
    {ELOOP, ERROR_PATH_NOT_FOUND},
    {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},
    {EROFS, ERROR_ACCESS_DENIED},
    {EISDIR, ERROR_ACCESS_DENIED},
    {EBADF, ERROR_INVALID_HANDLE},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EMFILE, ERROR_NOT_ENOUGH_MEMORY},
    {ENFILE, ERROR_NOT_ENOUGH_MEMORY},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {EFAULT, ERROR_INVALID_PARAMETER},
    {ERANGE, ERROR_INVALID_PARAMETER},
    {EEXIST, ERROR_ALREADY_EXISTS},
    {EBUSY, ERROR_BUSY},
    {ETXTBSY, ERROR_SHARING_VIOLATION},
    {ENOSPC, ERROR_DISK_FULL},
    {EDQUOT, ERROR_DISK_FULL},
    {EFBIG, ERROR_DISK_FULL},
    {ETIMEDOUT, ERROR_TIMEOUT},
    {EIO, ERROR_DEVICE_NOT_CONNECTED},
    {ENXIO, ERROR_DEVICE_NOT_CONNECTED},
    {ENODEV, ERROR_DEVICE_NOT_CONNECTED},
    {EPIPE, ERROR_DEVICE_NOT_CONNECTED},
    {ECONNRESET, ERROR_DEVICE_NOT_CONNECTED},
    {ENOTCONN, ERROR_DEVICE_NOT_CONNECTED},
    {ECONNREFUSED, ERROR_DEVICE_NOT_CONNECTED},
    {ESHUTDOWN, ERROR_DEVICE_NOT_CONNECTED},
    {EAGAIN, ERROR_IO_PENDING},
    {EWOULDBLOCK, ERROR_IO_PENDING},  // the same value as EAGAIN on Linux
    {EINPROGRESS, ERROR_IO_PENDING},
    {EINTR, ERROR_OPERATION_ABORTED},
    {ECANCELED, ERROR_OPERATION_ABORTED},
    {ENOTTY, ERROR_NOT_SUPPORTED},
    {EOPNOTSUPP, ERROR_NOT_SUPPORTED},
    {ENOSYS, ERROR_NOT_SUPPORTED},
};

// Copies `text` (without its NUL) into a caller's buffer of `size` characters
// of type Char, NUL-terminated; the FormatMessage contract for the result.
template <typename Char>
DWORD copyText(const char* text, Char* buffer, DWORD size)
{
    const std::size_t length = std::strlen(text);
    if (buffer == nullptr || size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (length + 1 > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (std::size_t i = 0; i < length; ++i)
        buffer[i] = static_cast<Char>(static_cast<unsigned char>(text[i]));
    buffer[length] = Char(0);
    return static_cast<DWORD>(length);
}

template <typename Char>
DWORD formatMessage(DWORD flags, DWORD messageId, Char* buffer, DWORD size)
{
    // Only texts from the system are offered; anything else (a message
    // table of a module, an allocated buffer) is a caller's mistake.
    // FORMAT_MESSAGE_ALLOCATE_BUFFER would make `buffer` a pointer to a
    // pointer; writing text into it would corrupt the caller's memory.
    constexpr DWORD kAllocateBuffer = 0x00000100u;
    if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || (flags & kAllocateBuffer) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const char* text = platform::systemErrorText(messageId);
    if (text == nullptr) {
        SetLastError(ERROR_NOT_FOUND);
        return 0;
    }
    return copyText(text, buffer, size);
}

}  // namespace

DWORD GetLastError()
{
    return t_lastError;
}

void SetLastError(DWORD code)
{
    t_lastError = code;
}

DWORD FormatMessageA(DWORD flags, LPCVOID, DWORD messageId, DWORD, LPSTR buffer, DWORD size, void*)
{
    return formatMessage(flags, messageId, buffer, size);
}

DWORD FormatMessageW(DWORD flags, LPCVOID, DWORD messageId, DWORD, LPWSTR buffer, DWORD size, void*)
{
    return formatMessage(flags, messageId, buffer, size);
}

namespace platform {

const char* systemErrorText(DWORD code)
{
    for (const ErrorText& entry : kErrorTexts) {
        if (entry.code == code)
            return entry.text;
    }
    return nullptr;
}

DWORD errorFromErrno(int err)
{
    for (const ErrnoCode& entry : kErrnoCodes) {
        if (entry.err == err)
            return entry.code;
    }
    return ERROR_GEN_FAILURE;
}

DWORD setLastErrorFromErrno()
{
    const DWORD code = errorFromErrno(errno);
    SetLastError(code);
    return code;
}

}  // namespace platform
