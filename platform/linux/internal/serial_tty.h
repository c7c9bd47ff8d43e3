// The termios calls of the serial backend, in plain terms. They live in a
// translation unit of their own (serial_tty.cpp) because the kernel's
// termios2 record, which any rate needs, cannot be declared next to the C
// library's <termios.h>.
//
// Every function answers ERROR_SUCCESS or a platform code mapped from errno
// (1167 once the tty has hung up); none sets the last error.
#pragma once

#include "platform/types.h"

namespace platform::tty {

struct LineSettings {
    DWORD baudRate = 9600;
    int dataBits = 8;      // 5-8
    int parity = 0;        // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int stopBits = 0;      // 0 one, 1 one and a half, 2 two
    bool ctsFlow = false;  // CTS (and RTS handshake): CRTSCTS
    bool xonOutput = false;  // IXON
    bool xonInput = false;   // IXOFF
    char xonChar = 0x11;
    char xoffChar = 0x13;
};

// Raw mode: no echo, no line editing, no character translation, CLOCAL and
// CREAD, VMIN 1 and VTIME 0. On the descriptor opened non-blocking, a read
// then never blocks: EAGAIN when nothing is queued, 0 once the tty has hung
// up (waiting is done with poll).
DWORD makeRaw(int fd);
// Reads the settings the tty has now.
DWORD getLine(int fd, LineSettings* settings);
// Applies the settings. With `verify`, reads them back and fails with 87
// (restoring the previous ones) when the driver did not take them.
DWORD setLine(int fd, const LineSettings& settings, bool verify);
// Clears the input and/or the output queue.
DWORD flush(int fd, bool input, bool output);
// Waits until the output queue has gone out.
DWORD drain(int fd);
// Raises (set) or drops (clear) the modem lines given as MS-style bits:
// 1 DTR, 2 RTS.
constexpr int kDtr = 1;
constexpr int kRts = 2;
DWORD setOutputLines(int fd, int set, int clear);
// The device's lines as MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON.
DWORD getModemStatus(int fd, DWORD* status);
DWORD setBreak(int fd, bool on);
// Suspends (false) or resumes (true) output as if XOFF/XON had arrived.
DWORD flowOutput(int fd, bool resume);
// Sends XOFF (false) or XON (true) to the device.
DWORD flowInput(int fd, bool resume);
DWORD queueCounts(int fd, DWORD* input, DWORD* output);
// TIOCEXCL / TIOCNXCL.
DWORD setExclusive(int fd, bool on);

}  // namespace platform::tty
