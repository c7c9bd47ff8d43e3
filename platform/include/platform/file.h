// Device files: opening serial ports and HID interfaces, reading, writing,
// overlapped (asynchronous) transfers and device requests.
//
// CreateFile recognises two kinds of path:
// - "\\.\COMn" (any letter case): a serial port, resolved through the COM
//   table of platform/serial.h;
// - a HID interface path as listed by the device enumeration of
//   platform/hid.h (any letter case).
// Any other path fails with ERROR_FILE_NOT_FOUND (2).
//
// Sharing: share mode 0 opens exclusively; a second open of the device while
// an exclusive handle exists (or an exclusive open while another read/write
// handle exists), from this or another process, fails with
// ERROR_ACCESS_DENIED (5) for serial ports and ERROR_SHARING_VIOLATION (32)
// for HID interfaces, as on the desktop platform. An open with access 0 is a
// probe: it always succeeds on an existing device and allows only queries.
#pragma once

#include "platform/sync.h"
#include "platform/types.h"

constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD FILE_SHARE_READ = 0x00000001u;
constexpr DWORD FILE_SHARE_WRITE = 0x00000002u;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080u;
constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000u;

// An overlapped transfer's record. The caller keeps it (and the buffer)
// alive until the transfer has completed or been cancelled; `hEvent` (a
// manual-reset event) is reset when the transfer starts and set when it
// completes.
struct OVERLAPPED {
    ULONG_PTR Internal = 0;      // completion code of the transfer
    ULONG_PTR InternalHigh = 0;  // bytes transferred
    DWORD Offset = 0;
    DWORD OffsetHigh = 0;
    HANDLE hEvent = nullptr;
};
using LPOVERLAPPED = OVERLAPPED*;

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES attributes, DWORD creation,
                   DWORD flags, HANDLE templateFile);
HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES attributes, DWORD creation,
                   DWORD flags, HANDLE templateFile);

// Synchronous when the handle was opened without FILE_FLAG_OVERLAPPED.
// With an OVERLAPPED record on an overlapped handle: TRUE when the transfer
// completed at once, else FALSE with last error ERROR_IO_PENDING (997) while
// it runs on (wait on hEvent, then GetOverlappedResult).
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD transferred, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD transferred, LPOVERLAPPED overlapped);

// The result of an overlapped transfer. Not yet complete: FALSE with
// ERROR_IO_INCOMPLETE (996) unless `wait` is set, which waits for it.
BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait);

// Cancels the transfers of this handle that are still running; they
// complete with ERROR_OPERATION_ABORTED (995).
BOOL CancelIo(HANDLE file);

BOOL FlushFileBuffers(HANDLE file);

// Device requests (the remote-management filter driver's requests on a
// serial port). A device that does not know a request fails with
// ERROR_INVALID_FUNCTION (1).
BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inSize, LPVOID outBuffer,
                     DWORD outSize, LPDWORD bytesReturned, LPOVERLAPPED overlapped);
