// The termios side of the serial backend, on the kernel's termios2 record
// (any rate through BOTHER, mark and space parity through CMSPAR). This file
// must not include <termios.h> or <sys/ioctl.h>: both clash with
// <asm/termbits.h>.
#include "linux/internal/serial_tty.h"

#include "platform/error.h"
#include "platform/serial.h"

#include <asm/termios.h>  // termios2, the ioctl numbers, TIOCM_*
#include <cerrno>

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace platform::tty {

namespace {

DWORD lastErrno()
{
    return errorFromErrno(errno);
}

DWORD getAttributes(int fd, termios2* t)
{
    return ::ioctl(fd, TCGETS2, t) == 0 ? ERROR_SUCCESS : lastErrno();
}

DWORD setAttributes(int fd, const termios2& t)
{
    return ::ioctl(fd, TCSETS2, &t) == 0 ? ERROR_SUCCESS : lastErrno();
}

unsigned sizeFlag(int dataBits)
{
    switch (dataBits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
    }
}

void encode(const LineSettings& s, termios2* t)
{
    t->c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT) | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t->c_cflag |= BOTHER | (BOTHER << IBSHIFT) | sizeFlag(s.dataBits) | CLOCAL | CREAD;
    t->c_ospeed = s.baudRate;
    t->c_ispeed = s.baudRate;
    switch (s.parity) {
    case 1: t->c_cflag |= PARENB | PARODD; break;
    case 2: t->c_cflag |= PARENB; break;
    case 3: t->c_cflag |= PARENB | PARODD | CMSPAR; break;
    case 4: t->c_cflag |= PARENB | CMSPAR; break;
    default: break;
    }
    // One and a half stop bits are what a UART sends for CSTOPB with 5 data
    // bits, so codes 1 and 2 both map to CSTOPB.
    if (s.stopBits != 0)
        t->c_cflag |= CSTOPB;
    if (s.ctsFlow)
        t->c_cflag |= CRTSCTS;
    t->c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    if (s.xonOutput)
        t->c_iflag |= IXON;
    if (s.xonInput)
        t->c_iflag |= IXOFF;
    if (s.parity != 0)
        t->c_iflag |= INPCK;
    t->c_cc[VSTART] = static_cast<unsigned char>(s.xonChar);
    t->c_cc[VSTOP] = static_cast<unsigned char>(s.xoffChar);
}

LineSettings decode(const termios2& t)
{
    LineSettings s;
    s.baudRate = t.c_ospeed;
    switch (t.c_cflag & CSIZE) {
    case CS5: s.dataBits = 5; break;
    case CS6: s.dataBits = 6; break;
    case CS7: s.dataBits = 7; break;
    default: s.dataBits = 8; break;
    }
    if ((t.c_cflag & PARENB) != 0) {
        const bool odd = (t.c_cflag & PARODD) != 0;
        if ((t.c_cflag & CMSPAR) != 0)
            s.parity = odd ? 3 : 4;
        else
            s.parity = odd ? 1 : 2;
    }
    if ((t.c_cflag & CSTOPB) != 0)
        s.stopBits = s.dataBits == 5 ? 1 : 2;
    s.ctsFlow = (t.c_cflag & CRTSCTS) != 0;
    s.xonOutput = (t.c_iflag & IXON) != 0;
    s.xonInput = (t.c_iflag & IXOFF) != 0;
    s.xonChar = static_cast<char>(t.c_cc[VSTART]);
    s.xoffChar = static_cast<char>(t.c_cc[VSTOP]);
    return s;
}

bool sameLine(const LineSettings& a, const LineSettings& b)
{
    return a.dataBits == b.dataBits && a.parity == b.parity && (a.stopBits != 0) == (b.stopBits != 0) &&
           a.ctsFlow == b.ctsFlow && a.xonOutput == b.xonOutput && a.xonInput == b.xonInput;
}

DWORD simpleIoctl(int fd, unsigned long request)
{
    return ::ioctl(fd, request) == 0 ? ERROR_SUCCESS : lastErrno();
}

}  // namespace

DWORD makeRaw(int fd)
{
    termios2 t{};
    if (const DWORD rc = getAttributes(fd, &t); rc != ERROR_SUCCESS)
        return rc;
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag |= CLOCAL | CREAD;
    // With VMIN 1 a non-blocking read of an empty queue fails with EAGAIN,
    // so that a read of 0 bytes can only mean a hang-up (with VMIN 0 both
    // come back as 0 and only a poll tells them apart).
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return setAttributes(fd, t);
}

DWORD getLine(int fd, LineSettings* settings)
{
    termios2 t{};
    if (const DWORD rc = getAttributes(fd, &t); rc != ERROR_SUCCESS)
        return rc;
    *settings = decode(t);
    return ERROR_SUCCESS;
}

DWORD setLine(int fd, const LineSettings& settings, bool verify)
{
    termios2 before{};
    if (const DWORD rc = getAttributes(fd, &before); rc != ERROR_SUCCESS)
        return rc;
    termios2 wanted = before;
    encode(settings, &wanted);
    if (const DWORD rc = setAttributes(fd, wanted); rc != ERROR_SUCCESS)
        return rc;
    if (!verify)
        return ERROR_SUCCESS;
    // Drivers take what they can and silently keep the rest: read back, and
    // undo a partial change so that a refused setting changes nothing.
    termios2 now{};
    if (const DWORD rc = getAttributes(fd, &now); rc != ERROR_SUCCESS)
        return rc;
    if (sameLine(decode(now), settings))
        return ERROR_SUCCESS;
    setAttributes(fd, before);
    return ERROR_INVALID_PARAMETER;
}

DWORD flush(int fd, bool input, bool output)
{
    if (!input && !output)
        return ERROR_SUCCESS;
    const int which = input && output ? TCIOFLUSH : (input ? TCIFLUSH : TCOFLUSH);
    return ::ioctl(fd, TCFLSH, which) == 0 ? ERROR_SUCCESS : lastErrno();
}

DWORD drain(int fd)
{
    // TCSBRK with a non-zero argument is tcdrain.
    return ::ioctl(fd, TCSBRK, 1) == 0 ? ERROR_SUCCESS : lastErrno();
}

DWORD setOutputLines(int fd, int set, int clear)
{
    auto bits = [](int lines) {
        int out = 0;
        if ((lines & kDtr) != 0)
            out |= TIOCM_DTR;
        if ((lines & kRts) != 0)
            out |= TIOCM_RTS;
        return out;
    };
    if (set != 0) {
        const int b = bits(set);
        if (::ioctl(fd, TIOCMBIS, &b) != 0)
            return lastErrno();
    }
    if (clear != 0) {
        const int b = bits(clear);
        if (::ioctl(fd, TIOCMBIC, &b) != 0)
            return lastErrno();
    }
    return ERROR_SUCCESS;
}

DWORD getModemStatus(int fd, DWORD* status)
{
    int bits = 0;
    if (::ioctl(fd, TIOCMGET, &bits) != 0)
        return lastErrno();
    DWORD s = 0;
    if ((bits & TIOCM_CTS) != 0)
        s |= MS_CTS_ON;
    if ((bits & TIOCM_DSR) != 0)
        s |= MS_DSR_ON;
    if ((bits & TIOCM_RI) != 0)
        s |= MS_RING_ON;
    if ((bits & TIOCM_CD) != 0)
        s |= MS_RLSD_ON;
    *status = s;
    return ERROR_SUCCESS;
}

DWORD setBreak(int fd, bool on)
{
    return simpleIoctl(fd, on ? TIOCSBRK : TIOCCBRK);
}

DWORD flowOutput(int fd, bool resume)
{
    return ::ioctl(fd, TCXONC, resume ? TCOON : TCOOFF) == 0 ? ERROR_SUCCESS : lastErrno();
}

DWORD flowInput(int fd, bool resume)
{
    return ::ioctl(fd, TCXONC, resume ? TCION : TCIOFF) == 0 ? ERROR_SUCCESS : lastErrno();
}

DWORD queueCounts(int fd, DWORD* input, DWORD* output)
{
    int in = 0;
    int out = 0;
    if (::ioctl(fd, FIONREAD, &in) != 0 || ::ioctl(fd, TIOCOUTQ, &out) != 0)
        return lastErrno();
    *input = in > 0 ? static_cast<DWORD>(in) : 0;
    *output = out > 0 ? static_cast<DWORD>(out) : 0;
    return ERROR_SUCCESS;
}

DWORD setExclusive(int fd, bool on)
{
    return simpleIoctl(fd, on ? TIOCEXCL : TIOCNXCL);
}

}  // namespace platform::tty
