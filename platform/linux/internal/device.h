// Device files: the kernel objects behind the handles that CreateFile opens
// (serial ports, HID interfaces). file.cpp does the handle work common to
// all of them and forwards each call to the device object; each backend
// (serial, HID; real or virtual) is one subclass.
//
// Overlapped transfers: a device object that cannot complete an overlapped
// transfer at once marks the record pending (beginOverlapped), answers
// FALSE with ERROR_IO_PENDING, and later finishes it with
// completeOverlapped from whatever thread sees it done (or cancelIo does,
// with ERROR_OPERATION_ABORTED).
#pragma once

#include "linux/internal/handles.h"
#include "platform/file.h"

#include <memory>
#include <string>

namespace platform {

class DeviceObject : public KernelObject {
public:
    // Each returns TRUE or FALSE with the last error set, as the matching
    // platform call does. `transferred` is never null here.
    virtual BOOL read(void* buffer, DWORD size, DWORD* transferred, OVERLAPPED* overlapped) = 0;
    virtual BOOL write(const void* buffer, DWORD size, DWORD* transferred, OVERLAPPED* overlapped) = 0;
    virtual BOOL cancelIo();
    virtual BOOL flushBuffers();
    virtual BOOL ioControl(DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned);
};

// What an OVERLAPPED record holds while its transfer runs.
constexpr ULONG_PTR kOverlappedPending = 0x103;

// Marks a transfer started: pending, nothing transferred, event reset.
void beginOverlapped(OVERLAPPED* overlapped);
// Finishes a transfer: its code and count, then its event set.
void completeOverlapped(OVERLAPPED* overlapped, DWORD code, DWORD transferred);
// Whether a transfer is still running.
bool isOverlappedPending(const OVERLAPPED* overlapped);

// Opens a serial port for a "\\.\COMn" path (already known to have that
// prefix), or with `managementChannel` that port's management channel;
// null with the last error set on failure. Defined by the serial backend.
std::shared_ptr<DeviceObject> openSerialDevice(const std::string& path, DWORD access, DWORD shareMode, DWORD flags,
                                               bool managementChannel = false);

// Opens a HID interface path; null with the last error set on failure
// (ERROR_FILE_NOT_FOUND when no interface has that path). Defined by the
// HID backend.
std::shared_ptr<DeviceObject> openHidDevice(const std::string& path, DWORD access, DWORD shareMode, DWORD flags);

}  // namespace platform
