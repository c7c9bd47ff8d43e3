// The serial-port kernel object on termios (see internal/serial_device.h).
//
// The tty is opened non-blocking in raw mode (VMIN 1, VTIME 0): every wait
// (read time-outs, a full output queue, events) is a poll on the tty
// together with a wake-up descriptor, never a sleep. A hang-up (POLLHUP, a
// read of 0 bytes, or EIO from the tty) is the device going away: 1167 from
// then on.
#include "linux/internal/serial_device.h"

#include "platform/error.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <set>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

// Ports open in this process, by device path. flock already refuses a
// second open description of the same tty, but the table answers without
// touching the device at all (opening a real port raises its DTR).
std::mutex& openPortsMutex()
{
    static std::mutex m;
    return m;
}

std::set<std::string>& openPorts()
{
    static std::set<std::string> ports;
    return ports;
}

// Milliseconds left until `deadline` for poll: 0 once it has passed.
int millisecondsUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0)
        return 0;
    return static_cast<int>(std::min<long long>(left + 1, 0x7FFFFFFF));
}

tty::LineSettings lineFromDcb(const DCB& dcb)
{
    tty::LineSettings s;
    s.baudRate = dcb.BaudRate;
    s.dataBits = dcb.ByteSize;
    s.parity = dcb.Parity;
    s.stopBits = dcb.StopBits;
    s.ctsFlow = dcb.fOutxCtsFlow != 0 || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE;
    s.xonOutput = dcb.fOutX != 0;
    s.xonInput = dcb.fInX != 0;
    s.xonChar = dcb.XonChar;
    s.xoffChar = dcb.XoffChar;
    return s;
}

bool validDcb(const DCB& dcb)
{
    if (dcb.BaudRate == 0 || dcb.BaudRate > 4'000'000)
        return false;
    if (dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY || dcb.StopBits > TWOSTOPBITS)
        return false;
    if (dcb.StopBits == ONE5STOPBITS && dcb.ByteSize != 5)
        return false;
    if (dcb.StopBits == TWOSTOPBITS && dcb.ByteSize == 5)
        return false;
    if (dcb.fDtrControl > DTR_CONTROL_HANDSHAKE)
        return false;
    if ((dcb.fOutX != 0 || dcb.fInX != 0) && dcb.XonChar == dcb.XoffChar)
        return false;
    return true;
}

// The output lines a DCB asks for: raised unless disabled; a toggling RTS
// rests low between transmissions.
bool dtrOf(const DCB& dcb)
{
    return dcb.fDtrControl != DTR_CONTROL_DISABLE;
}

bool rtsOf(const DCB& dcb)
{
    return dcb.fRtsControl == RTS_CONTROL_ENABLE || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE;
}


}  // namespace

DCB defaultDcb()
{
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = CBR_9600;
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fTXContinueOnXoff = 1;
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return dcb;
}

WakeSignal::Token::Token() : fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

WakeSignal::Token::~Token()
{
    if (fd >= 0)
        ::close(fd);
}

std::shared_ptr<WakeSignal::Token> WakeSignal::token()
{
    std::lock_guard lock(m_mutex);
    return m_current;
}

void WakeSignal::fire()
{
    std::shared_ptr<Token> fired;
    {
        std::lock_guard lock(m_mutex);
        fired = std::move(m_current);
        m_current = std::make_shared<Token>();
    }
    if (fired->fd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(fired->fd, &one, sizeof one);
    }
}

SerialDevice::SerialDevice(int fd, std::string key, DWORD access, bool overlapped)
    : m_fd(fd), m_key(std::move(key)), m_access(access), m_overlapped(overlapped)
{
}

std::shared_ptr<SerialDevice> SerialDevice::open(const SerialPortEntry& port, DWORD access, DWORD flags, DWORD* error)
{
    const std::string& path = port.info.devicePath;
    {
        std::lock_guard lock(openPortsMutex());
        if (openPorts().count(path) != 0) {
            *error = ERROR_ACCESS_DENIED;
            return nullptr;
        }
        openPorts().insert(path);
    }
    auto forget = [&path] {
        std::lock_guard lock(openPortsMutex());
        openPorts().erase(path);
    };

    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        // EBUSY: another open holds TIOCEXCL.
        *error = err == EBUSY ? ERROR_ACCESS_DENIED : errorFromErrno(err);
        forget();
        return nullptr;
    }
    // The lock is what keeps other processes out (TIOCEXCL does not stop
    // root); it goes with the descriptor.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        *error = err == EWOULDBLOCK ? ERROR_ACCESS_DENIED : errorFromErrno(err);
        forget();
        return nullptr;
    }
    tty::setExclusive(fd, true);

    std::shared_ptr<SerialDevice> device(new SerialDevice(fd, path, access, (flags & FILE_FLAG_OVERLAPPED) != 0));
    if (const DWORD rc = tty::makeRaw(fd); rc != ERROR_SUCCESS) {
        *error = rc;
        return nullptr;  // the destructor closes and forgets
    }

    if (port.virtualPort.has_value()) {
        // The pty runs at the rate with 8N1 whatever the host sets; the
        // device gets the full settings over the side channel.
        DWORD rc = ERROR_SUCCESS;
        device->m_channel = VirtualSerialChannel::connect(port.virtualPort->controlPath, &rc);
        if (device->m_channel == nullptr) {
            *error = rc;
            return nullptr;
        }
        device->m_dcb = defaultDcb();
        tty::LineSettings pty;
        pty.baudRate = device->m_dcb.BaudRate;
        tty::setLine(fd, pty, false);
        rc = device->m_channel->sendLine(device->m_dcb);
        if (rc == ERROR_SUCCESS)
            rc = device->applySignals(true, true);
        if (rc != ERROR_SUCCESS) {
            *error = rc;
            return nullptr;
        }
    } else {
        tty::LineSettings now;
        if (const DWORD rc = tty::getLine(fd, &now); rc != ERROR_SUCCESS) {
            *error = rc;
            return nullptr;
        }
        DCB dcb = defaultDcb();
        dcb.BaudRate = now.baudRate;
        dcb.ByteSize = static_cast<BYTE>(now.dataBits);
        dcb.Parity = static_cast<BYTE>(now.parity);
        dcb.fParity = now.parity != 0;
        dcb.StopBits = static_cast<BYTE>(now.stopBits);
        dcb.fOutxCtsFlow = now.ctsFlow;
        dcb.fRtsControl = now.ctsFlow ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
        dcb.fOutX = now.xonOutput;
        dcb.fInX = now.xonInput;
        dcb.XonChar = now.xonChar;
        dcb.XoffChar = now.xoffChar;
        device->m_dcb = dcb;
        device->applySignals(true, true);
    }
    *error = ERROR_SUCCESS;
    return device;
}

SerialDevice::~SerialDevice()
{
    m_channel.reset();
    // TIOCEXCL stays on the tty after the last close of a pty slave whose
    // master lives on; clear it so that the next open (by anyone) works.
    tty::setExclusive(m_fd, false);
    ::close(m_fd);
    std::lock_guard lock(openPortsMutex());
    openPorts().erase(m_key);
}

DWORD SerialDevice::hungUp()
{
    m_gone.store(true);
    return ERROR_DEVICE_NOT_CONNECTED;
}

BOOL SerialDevice::finish(DWORD code, DWORD count, OVERLAPPED* overlapped)
{
    if (overlapped != nullptr)
        completeOverlapped(overlapped, code, count);
    if (code != ERROR_SUCCESS) {
        SetLastError(code);
        return FALSE;
    }
    return TRUE;
}

BOOL SerialDevice::read(void* buffer, DWORD size, DWORD* transferred, OVERLAPPED* overlapped)
{
    if (overlapped != nullptr && !m_overlapped)
        overlapped = nullptr;  // a synchronous handle ignores the record's wait
    if (overlapped != nullptr)
        beginOverlapped(overlapped);
    const DWORD rc = (m_access & GENERIC_READ) != 0 ? readNow(buffer, size, transferred) : ERROR_ACCESS_DENIED;
    return finish(rc, *transferred, overlapped);
}

BOOL SerialDevice::write(const void* buffer, DWORD size, DWORD* transferred, OVERLAPPED* overlapped)
{
    if (overlapped != nullptr && !m_overlapped)
        overlapped = nullptr;
    if (overlapped != nullptr)
        beginOverlapped(overlapped);
    const DWORD rc = (m_access & GENERIC_WRITE) != 0 ? writeNow(buffer, size, transferred) : ERROR_ACCESS_DENIED;
    return finish(rc, *transferred, overlapped);
}

DWORD SerialDevice::readNow(void* buffer, DWORD size, DWORD* transferred)
{
    *transferred = 0;
    if (m_gone.load())
        return ERROR_DEVICE_NOT_CONNECTED;
    std::lock_guard serial(m_readMutex);
    COMMTIMEOUTS t;
    {
        std::lock_guard lock(m_mutex);
        t = m_timeouts;
    }
    const bool immediate = t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
                           t.ReadTotalTimeoutConstant == 0;
    // An immediate read never waits: it needs no clock and no abort token
    // (it runs 200 times a second on an idle connection).
    const auto start = immediate ? Clock::time_point{} : Clock::now();
    const bool firstByte = t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD &&
                           t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != MAXDWORD;
    std::optional<Clock::time_point> total;
    if (firstByte) {
        total = start + std::chrono::milliseconds(t.ReadTotalTimeoutConstant);
    } else if (!immediate && (t.ReadTotalTimeoutMultiplier != 0 || t.ReadTotalTimeoutConstant != 0)) {
        const unsigned long long ms =
            static_cast<unsigned long long>(t.ReadTotalTimeoutMultiplier) * size + t.ReadTotalTimeoutConstant;
        total = start + std::chrono::milliseconds(ms);
    }
    const bool useInterval = !immediate && !firstByte && t.ReadIntervalTimeout != 0 &&
                             t.ReadIntervalTimeout != MAXDWORD;
    Clock::time_point lastByte = start;

    auto* bytes = static_cast<unsigned char*>(buffer);
    const auto abort = immediate ? nullptr : m_abortRead.token();
    DWORD got = 0;
    while (got < size) {
        const ssize_t n = ::read(m_fd, bytes + got, size - got);
        if (n > 0) {
            got += static_cast<DWORD>(n);
            if (!immediate)
                lastByte = Clock::now();
            *transferred = got;
            continue;  // take what else is there before deciding to wait
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0) {
            hungUp();  // end of file: a hung-up tty
            return got > 0 ? ERROR_SUCCESS : ERROR_DEVICE_NOT_CONNECTED;
        }
        if (errno != EAGAIN) {
            const DWORD code = errorFromErrno(errno);
            if (code == ERROR_DEVICE_NOT_CONNECTED)
                hungUp();
            return got > 0 ? ERROR_SUCCESS : code;
        }
        // Nothing waiting now (EAGAIN): return with what there is, or wait
        // for more. An immediate read needs no poll to tell an empty queue
        // from a hang-up: the read itself said which.
        if (immediate || (firstByte && got > 0))
            return ERROR_SUCCESS;
        int timeout = -1;
        if (total.has_value())
            timeout = millisecondsUntil(*total);
        if (useInterval && got > 0) {
            const int gap = millisecondsUntil(lastByte + std::chrono::milliseconds(t.ReadIntervalTimeout));
            timeout = timeout < 0 ? gap : std::min(timeout, gap);
        }
        if (timeout == 0)
            return ERROR_SUCCESS;  // timed out: success with what arrived
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {abort->fd, POLLIN, 0}};
        const int ready = ::poll(fds, abort->fd >= 0 ? 2 : 1, timeout);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return errorFromErrno(errno);
        }
        if (abort->fd >= 0 && fds[1].revents != 0)
            return ERROR_OPERATION_ABORTED;
        if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            // A hung-up tty still polls readable: take what is left, then
            // report the hang-up.
            const ssize_t rest = ::read(m_fd, bytes + got, size - got);
            if (rest > 0) {
                got += static_cast<DWORD>(rest);
                *transferred = got;
                continue;
            }
            hungUp();
            return got > 0 ? ERROR_SUCCESS : ERROR_DEVICE_NOT_CONNECTED;
        }
    }
    return ERROR_SUCCESS;
}

DWORD SerialDevice::writeNow(const void* buffer, DWORD size, DWORD* transferred)
{
    *transferred = 0;
    if (m_gone.load())
        return ERROR_DEVICE_NOT_CONNECTED;
    std::lock_guard serial(m_writeMutex);
    COMMTIMEOUTS t;
    {
        std::lock_guard lock(m_mutex);
        t = m_timeouts;
    }
    std::optional<Clock::time_point> total;
    if (t.WriteTotalTimeoutMultiplier != 0 || t.WriteTotalTimeoutConstant != 0) {
        const unsigned long long ms =
            static_cast<unsigned long long>(t.WriteTotalTimeoutMultiplier) * size + t.WriteTotalTimeoutConstant;
        total = Clock::now() + std::chrono::milliseconds(ms);
    }
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    const auto abort = m_abortWrite.token();
    DWORD done = 0;
    while (done < size) {
        const ssize_t n = ::write(m_fd, bytes + done, size - done);
        if (n > 0) {
            done += static_cast<DWORD>(n);
            *transferred = done;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            const DWORD code = errorFromErrno(errno);
            return code == ERROR_DEVICE_NOT_CONNECTED ? hungUp() : code;
        }
        // The output queue is full.
        int timeout = -1;
        if (total.has_value()) {
            timeout = millisecondsUntil(*total);
            if (timeout == 0)
                return ERROR_SUCCESS;  // timed out: success with what was taken
        }
        pollfd fds[2] = {{m_fd, POLLOUT, 0}, {abort->fd, POLLIN, 0}};
        const int ready = ::poll(fds, abort->fd >= 0 ? 2 : 1, timeout);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return errorFromErrno(errno);
        }
        if (abort->fd >= 0 && fds[1].revents != 0)
            return ERROR_OPERATION_ABORTED;
        if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
            return hungUp();
    }
    return ERROR_SUCCESS;
}

BOOL SerialDevice::cancelIo()
{
    m_abortRead.fire();
    m_abortWrite.fire();
    return TRUE;
}

BOOL SerialDevice::flushBuffers()
{
    if (m_gone.load()) {
        SetLastError(ERROR_DEVICE_NOT_CONNECTED);
        return FALSE;
    }
    const DWORD rc = tty::drain(m_fd);
    if (rc != ERROR_SUCCESS) {
        SetLastError(rc == ERROR_DEVICE_NOT_CONNECTED ? hungUp() : rc);
        return FALSE;
    }
    return TRUE;
}

BOOL SerialDevice::ioControl(DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned)
{
    *returned = 0;
    DWORD rc = ERROR_INVALID_FUNCTION;  // a real port has no filter driver
    if (m_gone.load())
        rc = ERROR_DEVICE_NOT_CONNECTED;
    else if (m_channel != nullptr)
        rc = m_channel->ioControl(code, in, inSize, out, outSize, returned);
    if (rc != ERROR_SUCCESS) {
        SetLastError(rc);
        return FALSE;
    }
    return TRUE;
}

DWORD SerialDevice::getState(DCB* dcb)
{
    if (m_gone.load())
        return ERROR_DEVICE_NOT_CONNECTED;
    std::lock_guard lock(m_mutex);
    *dcb = m_dcb;
    dcb->DCBlength = sizeof(DCB);
    return ERROR_SUCCESS;
}

DWORD SerialDevice::setState(const DCB& wanted)
{
    if (!validDcb(wanted))
        return ERROR_INVALID_PARAMETER;
    if (m_gone.load())
        return ERROR_DEVICE_NOT_CONNECTED;
    std::lock_guard lock(m_mutex);
    DWORD rc = ERROR_SUCCESS;
    if (m_channel != nullptr) {
        tty::LineSettings pty;
        pty.baudRate = wanted.BaudRate;
        rc = tty::setLine(m_fd, pty, false);
        if (rc == ERROR_SUCCESS)
            rc = m_channel->sendLine(wanted);
    } else {
        rc = tty::setLine(m_fd, lineFromDcb(wanted), true);
    }
    if (rc == ERROR_DEVICE_NOT_CONNECTED)
        return hungUp();
    if (rc != ERROR_SUCCESS)
        return rc;
    m_dcb = wanted;
    m_dcb.DCBlength = sizeof(DCB);
    if (dtrOf(wanted) != m_dtr || rtsOf(wanted) != m_rts)
        rc = applySignals(dtrOf(wanted), rtsOf(wanted));
    return rc;
}

DWORD SerialDevice::applySignals(bool dtr, bool rts)
{
    DWORD rc = ERROR_SUCCESS;
    if (m_channel != nullptr) {
        rc = m_channel->sendSignals(dtr, rts);
    } else {
        const int set = (dtr ? tty::kDtr : 0) | (rts ? tty::kRts : 0);
        const int clear = (dtr ? 0 : tty::kDtr) | (rts ? 0 : tty::kRts);
        rc = tty::setOutputLines(m_fd, set, clear);
        if (rc == ERROR_NOT_SUPPORTED)
            rc = ERROR_SUCCESS;  // a tty without modem lines
    }
    if (rc == ERROR_DEVICE_NOT_CONNECTED)
        return hungUp();
    if (rc == ERROR_SUCCESS) {
        m_dtr = dtr;
        m_rts = rts;
    }
    return rc;
}

DWORD SerialDevice::getTimeouts(COMMTIMEOUTS* timeouts)
{
    std::lock_guard lock(m_mutex);
    *timeouts = m_timeouts;
    return ERROR_SUCCESS;
}

DWORD SerialDevice::setTimeouts(const COMMTIMEOUTS& timeouts)
{
    if (timeouts.ReadIntervalTimeout == MAXDWORD && timeouts.ReadTotalTimeoutMultiplier == MAXDWORD &&
        timeouts.ReadTotalTimeoutConstant == MAXDWORD)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(m_mutex);
    m_timeouts = timeouts;
    return ERROR_SUCCESS;
}

DWORD SerialDevice::setupQueues(DWORD input, DWORD output)
{
    if (input > 0x7FFFFFFFu || output > 0x7FFFFFFFu)
        return ERROR_INVALID_PARAMETER;
    if (m_gone.load())
        return ERROR_DEVICE_NOT_CONNECTED;
    std::lock_guard lock(m_mutex);
    m_inQueue = input;
    m_outQueue = output;
    return ERROR_SUCCESS;
}

DWORD SerialDevice::purge(DWORD flags)
{
    if ((flags & ~(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR)) != 0)
        return ERROR_INVALID_PARAMETER;
    if (m_gone.load())
        return ERROR_DEVICE_NOT_CONNECTED;
    if ((flags & PURGE_RXABORT) != 0) {
        m_abortRead.fire();
        m_maskChanged.fire();
    }
    if ((flags & PURGE_TXABORT) != 0)
        m_abortWrite.fire();
    const DWORD rc = tty::flush(m_fd, (flags & PURGE_RXCLEAR) != 0, (flags & PURGE_TXCLEAR) != 0);
    return rc == ERROR_DEVICE_NOT_CONNECTED ? hungUp() : rc;
}

DWORD SerialDevice::escape(DWORD function)
{
    if (m_gone.load())
        return ERROR_DEVICE_NOT_CONNECTED;
    std::lock_guard lock(m_mutex);
    DWORD rc = ERROR_SUCCESS;
    switch (function) {
    case SETDTR: return applySignals(true, m_rts);
    case CLRDTR: return applySignals(false, m_rts);
    case SETRTS: return applySignals(m_dtr, true);
    case CLRRTS: return applySignals(m_dtr, false);
    case SETBREAK:
    case CLRBREAK:
        rc = m_channel != nullptr ? m_channel->sendBreak(function == SETBREAK)
                                  : tty::setBreak(m_fd, function == SETBREAK);
        if (rc == ERROR_NOT_SUPPORTED && m_channel == nullptr)
            rc = ERROR_SUCCESS;
        break;
    case SETXOFF:
    case SETXON:
        // Output held as if the device had sent XOFF (or released). A
        // virtual port's pty has no flow control to hold.
        if (m_channel == nullptr)
            rc = tty::flowOutput(m_fd, function == SETXON);
        break;
    default:
        return ERROR_INVALID_PARAMETER;
    }
    return rc == ERROR_DEVICE_NOT_CONNECTED ? hungUp() : rc;
}

DWORD SerialDevice::transmitChar(char character)
{
    DWORD written = 0;
    if ((m_access & GENERIC_WRITE) == 0)
        return ERROR_ACCESS_DENIED;
    return writeNow(&character, 1, &written);
}

DWORD SerialDevice::modemStatus(DWORD* status)
{
    *status = 0;
    if (m_gone.load())
        return ERROR_DEVICE_NOT_CONNECTED;
    const DWORD rc = m_channel != nullptr ? m_channel->modemStatus(status) : tty::getModemStatus(m_fd, status);
    return rc == ERROR_DEVICE_NOT_CONNECTED ? hungUp() : rc;
}

DWORD SerialDevice::setMask(DWORD mask)
{
    if ((mask & ~0x1FFFu) != 0)
        return ERROR_INVALID_PARAMETER;
    {
        std::lock_guard lock(m_mutex);
        m_mask = mask;
    }
    m_maskChanged.fire();
    return ERROR_SUCCESS;
}

DWORD SerialDevice::getMask(DWORD* mask)
{
    std::lock_guard lock(m_mutex);
    *mask = m_mask;
    return ERROR_SUCCESS;
}

DWORD SerialDevice::waitEvent(DWORD* events)
{
    *events = 0;
    const auto abort = m_abortRead.token();
    const auto changed = m_maskChanged.token();
    DWORD mask;
    {
        std::lock_guard lock(m_mutex);
        mask = m_mask;
    }
    if (mask == 0)
        return ERROR_INVALID_PARAMETER;
    constexpr DWORD kLineEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;
    const bool watchLines = m_channel != nullptr && (mask & kLineEvents) != 0;
    DWORD lines = 0;
    if (watchLines) {
        if (const DWORD rc = modemStatus(&lines); rc != ERROR_SUCCESS)
            return rc;
    }
    for (;;) {
        if (m_gone.load())
            return ERROR_DEVICE_NOT_CONNECTED;
        DWORD found = 0;
        DWORD input = 0;
        DWORD output = 0;
        const DWORD rc = tty::queueCounts(m_fd, &input, &output);
        if (rc == ERROR_DEVICE_NOT_CONNECTED)
            return hungUp();
        if ((mask & EV_RXCHAR) != 0 && input > 0)
            found |= EV_RXCHAR;
        if ((mask & EV_TXEMPTY) != 0 && rc == ERROR_SUCCESS && output == 0)
            found |= EV_TXEMPTY;
        if (watchLines) {
            DWORD now = 0;
            if (const DWORD mrc = modemStatus(&now); mrc != ERROR_SUCCESS)
                return mrc;
            const DWORD diff = now ^ lines;
            if ((diff & MS_CTS_ON) != 0)
                found |= mask & EV_CTS;
            if ((diff & MS_DSR_ON) != 0)
                found |= mask & EV_DSR;
            if ((diff & MS_RLSD_ON) != 0)
                found |= mask & EV_RLSD;
            if ((diff & MS_RING_ON) != 0)
                found |= mask & EV_RING;
            lines = now;
        }
        if (found != 0) {
            *events = found;
            return ERROR_SUCCESS;
        }
        pollfd fds[4];
        nfds_t count = 0;
        fds[count++] = {m_fd, static_cast<short>((mask & EV_RXCHAR) != 0 ? POLLIN : 0), 0};
        if (watchLines)
            fds[count++] = {m_channel->pollDescriptor(), POLLIN, 0};
        const nfds_t abortAt = count;
        if (abort->fd >= 0)
            fds[count++] = {abort->fd, POLLIN, 0};
        const nfds_t changedAt = count;
        if (changed->fd >= 0)
            fds[count++] = {changed->fd, POLLIN, 0};
        // The kernel tells when there is room in the output queue, not when
        // it has emptied: an EV_TXEMPTY still to come is looked at again
        // every few milliseconds.
        const int timeout = (mask & EV_TXEMPTY) != 0 && output > 0 ? 5 : -1;
        if (::poll(fds, count, timeout) < 0) {
            if (errno == EINTR)
                continue;
            return errorFromErrno(errno);
        }
        if (abort->fd >= 0 && fds[abortAt].revents != 0)
            return ERROR_OPERATION_ABORTED;
        if (changed->fd >= 0 && fds[changedAt].revents != 0)
            return ERROR_SUCCESS;  // the mask changed: events 0
        if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 && (fds[0].revents & POLLIN) == 0)
            return hungUp();
        if ((fds[0].revents & POLLHUP) != 0) {
            DWORD waiting = 0;
            DWORD ignored = 0;
            if (tty::queueCounts(m_fd, &waiting, &ignored) != ERROR_SUCCESS || waiting == 0)
                return hungUp();
        }
    }
}

DWORD SerialDevice::clearError(DWORD* errors, COMSTAT* status)
{
    if (errors != nullptr)
        *errors = 0;  // the tty reports no framing or overrun errors here
    if (m_gone.load())
        return ERROR_DEVICE_NOT_CONNECTED;
    if (status != nullptr) {
        *status = COMSTAT{};
        const DWORD rc = tty::queueCounts(m_fd, &status->cbInQue, &status->cbOutQue);
        if (rc != ERROR_SUCCESS)
            return rc == ERROR_DEVICE_NOT_CONNECTED ? hungUp() : rc;
    }
    return ERROR_SUCCESS;
}

}  // namespace platform
