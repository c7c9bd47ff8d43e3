// The abstract byte port through which every data path of the SDK talks to a
// device: the receive loop, the menu transport, enumeration and connection,
// the disconnect monitors and the serial ping.
//
// Every operation returns 0 for success, 6 when the port is not opened, and
// otherwise the platform's error code of the failing call, which it also
// keeps as the port's last error. Callers treat 1460 (time-out) and 997
// (still pending) from a read as "no data yet" and 1167 as a device that is
// gone.
#pragma once

#include "platform/types.h"

#include <string>

class InterfacePort {
public:
    virtual ~InterfacePort() = default;

    // Adopts a handle opened elsewhere; the port never closes it.
    virtual int open(HANDLE handle) = 0;
    // Opens a device path ("\\.\COM3", a HID interface path ...).
    virtual int open(std::wstring path) = 0;
    virtual int close() = 0;
    virtual int read(std::string& text) = 0;
    virtual int read(unsigned char* buffer, int size, unsigned int* count) = 0;
    virtual int write(const unsigned char* buffer, int length, unsigned int* count) = 0;
    virtual int flush() = 0;
    virtual bool isOpened() = 0;
    virtual int getLastError() = 0;
    // Only ports that can notice their own removal answer true.
    virtual bool isDisconnected() { return false; }
    virtual HANDLE getHandle() = 0;
};
