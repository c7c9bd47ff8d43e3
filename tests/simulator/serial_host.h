// A host's side of a simulated serial port, for the simulator's tests.
#pragma once

#include "TestSupport.h"

#include "platform/file.h"
#include "platform/serial.h"

#include <string>

namespace simtest {

// Sets the line to `baud`, 8 data bits, no parity, one stop bit, with reads
// that return at once.
inline bool setLineAndPolledReads(HANDLE h, DWORD baud)
{
    DCB dcb{};
    if (!GetCommState(h, &dcb))
        return false;
    dcb.BaudRate = baud;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    COMMTIMEOUTS t{MAXDWORD, 0, 0, 0, 0};
    return SetCommState(h, &dcb) && SetCommTimeouts(h, &t);
}

// Reads until `got` holds at least `count` bytes; false when they do not
// come within the test's bound.
inline bool readAtLeast(HANDLE h, std::size_t count, std::string& got)
{
    return vxtest::waitUntil([&] {
        char buffer[4096];
        DWORD r = 0;
        if (ReadFile(h, buffer, sizeof buffer, &r, nullptr))
            got.append(buffer, r);
        return got.size() >= count;
    });
}

}  // namespace simtest
