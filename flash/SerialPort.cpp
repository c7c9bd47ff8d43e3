#include "SerialPort.h"

#include "MyPrivateParams.h"
#include "ScannerCommands.h"
#include "platform/error.h"
#include "platform/time.h"

Serial::~Serial() { Close(); }

bool Serial::OpenPort(const std::u16string& name, const win_rs232_settings& settings, DWORD delayMs)
{
    if (m_port != INVALID_HANDLE_VALUE) {
        m_log->print(4, "Serial -- OpenPort: the handle has already been initialized.\n");
        return false;
    }
    std::string path;
    if (FileNameText(name, &path)) {
        if (path.rfind("\\\\", 0) != 0)
            path = "\\\\.\\" + path;
        m_port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    if (m_port == INVALID_HANDLE_VALUE) {
        m_log->print(4, "Serial -- OpenPort: m_hCommPort is INVALID_HANDLE_VALUE.\n");
        return false;
    }
    COMMTIMEOUTS timeouts = settings.comTimeout;
    if (!SetCommTimeouts(m_port, &timeouts)) {
        m_log->print(4, "Serial -- OpenPort: SetCommTimeouts error, value = %d.\n", static_cast<int>(GetLastError()));
        Close();
        return false;
    }
    FixedPause(delayMs);
    if (!SetupComm(m_port, settings.dwInQueue, settings.dwOutQueue)) {
        m_log->print(4, "Serial -- OpenPort: SetupComm dwInQueue and dwOutQueue error, value = %d.\n",
                     static_cast<int>(GetLastError()));
        Close();
        return false;
    }
    FixedPause(delayMs);
    DCB dcb = settings.dcb;
    dcb.DCBlength = sizeof(DCB);
    m_log->print(2, "Serial -- OpenPort: Set the dcb with baudrate: %d, Parity: %d, ByteSize: %d, StopBits: %d.\n",
                 static_cast<int>(dcb.BaudRate), dcb.Parity, dcb.ByteSize, dcb.StopBits);
    if (!SetCommState(m_port, &dcb)) {
        m_log->print(4, "Serial -- OpenPort: SetCommState DCB  settings error, value = %d. \n",
                     static_cast<int>(GetLastError()));
        Close();
        return false;
    }
    m_open = true;
    return true;
}

bool Serial::ChangeDcbSettings(const DCB& wanted)
{
    if (m_port == INVALID_HANDLE_VALUE)
        return false;
    DCB current{};
    current.DCBlength = sizeof(DCB);
    if (!GetCommState(m_port, &current)) {
        m_log->print(4, "Serial -- ChangeDcbSettings: GetCommState error.\n");
        return false;
    }
    m_log->print(2,
                 "Serial -- ChangeDcbSettings: Get the current settings baudrate: %d, Parity: %d, ByteSize: %d, "
                 "StopBits: %d.\n",
                 static_cast<int>(current.BaudRate), current.Parity, current.ByteSize, current.StopBits);
    m_log->print(2,
                 "Serial -- ChangeDcbSettings: Change Dcb Settings to baudrate: %d, Parity: %d, ByteSize: %d, "
                 "StopBits: %d.\n",
                 static_cast<int>(wanted.BaudRate), wanted.Parity, wanted.ByteSize, wanted.StopBits);
    DCB dcb = wanted;
    dcb.DCBlength = sizeof(DCB);
    if (!SetCommState(m_port, &dcb)) {
        m_log->print(4, "Serial -- ChangeDcbSettings: SetCommState DCB  settings error, value = %d. \n",
                     static_cast<int>(GetLastError()));
        return false;
    }
    FixedPause(200);
    return true;
}

std::size_t Serial::ReadWithTimeout(std::uint8_t* buffer, std::size_t count, DWORD timeoutMs)
{
    if (m_port == INVALID_HANDLE_VALUE || buffer == nullptr)
        return 0;
    // Only the read fields change for this read: the host's write time-outs
    // stay in force (0/0 would mean "no time-out", and a write to a scanner
    // that stopped draining its line would then block for ever), and the
    // host's read time-outs come back afterwards.
    COMMTIMEOUTS host{};
    const bool haveHost = GetCommTimeouts(m_port, &host) != 0;
    const DWORD start = GetTickCount();
    std::size_t got = 0;
    while (got < count) {
        const DWORD elapsed = platform::tickElapsed(start, GetTickCount());
        const DWORD left = elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
        // Wait for the first byte no longer than the time left, then take
        // whatever has arrived.
        COMMTIMEOUTS timeouts = host;
        timeouts.ReadIntervalTimeout = MAXDWORD;
        timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
        timeouts.ReadTotalTimeoutConstant = left == 0 ? 1 : left;
        SetCommTimeouts(m_port, &timeouts);
        DWORD read = 0;
        const BOOL ok = ReadFile(m_port, buffer + got, static_cast<DWORD>(count - got), &read, nullptr);
        m_lastRead = read;
        got += read;
        if (!ok)
            break;
        if (read == 0 && platform::tickElapsed(start, GetTickCount()) >= timeoutMs) {
            m_log->print(2, "Read func timeout, Timeout = %ld millisec, Already read count = %d.\n",
                         static_cast<long>(timeoutMs), static_cast<int>(got));
            break;
        }
    }
    if (haveHost)
        SetCommTimeouts(m_port, &host);
    return got;
}

bool Serial::Write(const std::uint8_t* bytes, std::size_t count)
{
    if (m_port == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    return WriteFile(m_port, bytes, static_cast<DWORD>(count), &written, nullptr) && written == count;
}

bool Serial::Purge()
{
    if (m_port == INVALID_HANDLE_VALUE)
        return false;
    return PurgeComm(m_port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR) != 0;
}

void Serial::Close()
{
    if (m_port != INVALID_HANDLE_VALUE)
        CloseHandle(m_port);
    m_port = INVALID_HANDLE_VALUE;
    m_open = false;
}
