#include "ports/CSerialPort.h"

#include "base/CLogHelper.h"
#include "base/CScanningSDK.h"
#include "base/StringUtils.h"

#include "platform/error.h"
#include "platform/file.h"
#include "platform/time.h"

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <iterator>

namespace {

constexpr int kNotOpened = ERROR_INVALID_HANDLE;
constexpr int kInvalidArg = static_cast<int>(0x80070057u);
constexpr int kWritePasses = 12;

std::string hexDump(const unsigned char* bytes, std::size_t count)
{
    std::string text = "Data:";
    char item[8];
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(item, sizeof item, "%2x ", bytes[i]);
        text += item;
    }
    return text;
}

void logDump(const char* method, const unsigned char* bytes, std::size_t count)
{
    if (CScanningSDK::getLogger()->isEnabled(logbit::hexDump))
        SDK_LOG(logbit::hexDump, method, hexDump(bytes, count));
}

struct DpsEntry {
    int dataBits;
    int parity;
    int stopBits;
};

// Parity groups none, even, odd, space, mark; within each 7/1, 7/2, 8/1.
constexpr DpsEntry kDps[15] = {
    {7, NOPARITY, ONESTOPBIT},    {7, NOPARITY, TWOSTOPBITS},    {8, NOPARITY, ONESTOPBIT},
    {7, EVENPARITY, ONESTOPBIT},  {7, EVENPARITY, TWOSTOPBITS},  {8, EVENPARITY, ONESTOPBIT},
    {7, ODDPARITY, ONESTOPBIT},   {7, ODDPARITY, TWOSTOPBITS},   {8, ODDPARITY, ONESTOPBIT},
    {7, SPACEPARITY, ONESTOPBIT}, {7, SPACEPARITY, TWOSTOPBITS}, {8, SPACEPARITY, ONESTOPBIT},
    {7, MARKPARITY, ONESTOPBIT},  {7, MARKPARITY, TWOSTOPBITS},  {8, MARKPARITY, ONESTOPBIT},
};

int lastSystemError()
{
    return static_cast<int>(GetLastError());
}

}  // namespace

CSerialPort::CSerialPort() : m_closeOnDestroy(true) {}

CSerialPort::CSerialPort(int closeOnDestroy) : m_closeOnDestroy(closeOnDestroy != 0) {}

CSerialPort::~CSerialPort()
{
    if (m_closeOnDestroy && m_ownedHandle != nullptr) {
        SDK_LOG(logbit::portClose, "CSerialPort::~CSerialPort", "Serial port not closed.");
        close();
    }
}

int CSerialPort::open(HANDLE handle)
{
    CLogHelper trace("CSerialPort::open");
    m_handle.store(handle);
    return done(0);
}

int CSerialPort::open(std::wstring path)
{
    CLogHelper trace("CSerialPort::open");
    if (handle() != nullptr)
        return done(ERROR_ALREADY_INITIALIZED);

    HANDLE opened = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        const int code = lastSystemError();
        SDK_LOG(logbit::system, "CSerialPort::open", "Unable to open port." + wstringToString(path));
        return done(code);
    }
    m_ownedHandle = opened;
    m_handle.store(opened);

    setMask(EV_RXCHAR | EV_BREAK | EV_ERR);
    const int code = setupReadTimeouts(0);

    // The port's default configuration, looked up by its name: "\\.\com12"
    // gives "COM12"; any other path is looked up whole, upper-cased.
    std::wstring name = path;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c))); });
    if (name.compare(0, 7, L"\\\\.\\COM") == 0)
        name = name.substr(4);
    COMMCONFIG config{};
    config.dwSize = sizeof(COMMCONFIG);
    DWORD size = sizeof(COMMCONFIG);
    if (!GetDefaultCommConfigW(name.c_str(), &config, &size)) {
        SDK_LOG(logbit::system, "CSerialPort::open",
                "Unable to obtain default communication configuration.Port =" + wstringToString(path));
    } else if (!SetCommConfig(opened, &config, size)) {
        SDK_LOG(logbit::system, "CSerialPort::open",
                "Unable to set default communication configuration. Port=" + wstringToString(path));
    }
    return done(code);
}

int CSerialPort::close()
{
    CLogHelper trace("CSerialPort::close");
    m_repeats.end();  // the counts of this opening's failures
    if (handle() != nullptr)
        cancelCommIo();
    m_handle.store(nullptr);
    if (m_ownedHandle != nullptr) {
        CloseHandle(m_ownedHandle);
        m_ownedHandle = nullptr;
    }
    return done(0);
}

int CSerialPort::read(std::string& text)
{
    CLogHelper trace("CSerialPort::read");
    unsigned char buffer[256] = {};
    unsigned int count = 0;
    const int code = read(buffer, 255, &count);
    // From the first non-zero byte up to the next zero byte; the 256th byte
    // is always zero, so the text ends inside the buffer.
    std::size_t start = 0;
    while (start < count && buffer[start] == 0)
        ++start;
    std::size_t end = start;
    while (end < count && buffer[end] != 0)
        ++end;
    text.assign(reinterpret_cast<const char*>(buffer) + start, end - start);
    SDK_LOG(logbit::portTraffic, "CSerialPort::read", "string readed: " + text);
    return code;
}

int CSerialPort::read(unsigned char* buffer, int size, unsigned int* count)
{
    CLogHelper trace("CSerialPort::read");
    unsigned int local = 0;
    unsigned int* got = count != nullptr ? count : &local;
    *got = 0;
    const HANDLE h = handle();
    if (h == nullptr) {
        m_repeats.failed(logbit::system, "CSerialPort::read", "Device is not opened.");
        return done(kNotOpened);
    }
    if (size < 0 || (buffer == nullptr && size != 0))
        return done(ERROR_INVALID_PARAMETER);
    DWORD n = 0;
    if (!ReadFile(h, buffer, static_cast<DWORD>(size), &n, nullptr)) {
        const int code = lastSystemError();
        m_repeats.failed(logbit::system, "CSerialPort::read", "No data is readed.");
        return done(code);
    }
    m_repeats.succeeded("CSerialPort::read");
    *got = n;
    if (n != 0)
        logDump("CSerialPort::read", buffer, n);
    return done(0);
}

int CSerialPort::write(const unsigned char* buffer, int length, unsigned int* count)
{
    CLogHelper trace("CSerialPort::write");
    unsigned int local = 0;
    unsigned int* written = count != nullptr ? count : &local;
    *written = 0;
    const HANDLE h = handle();
    if (h == nullptr) {
        m_repeats.failed(logbit::system, "CSerialPort::write", "Device is not opened.");
        return done(kNotOpened);
    }
    if (length < 0 || (buffer == nullptr && length != 0))
        return done(ERROR_INVALID_PARAMETER);

    unsigned int total = 0;
    for (int pass = 1; length > 0 && pass <= kWritePasses; ++pass) {
        // Every pass starts at the first byte the driver has not taken.
        DWORD n = 0;
        if (!WriteFile(h, buffer + total, static_cast<DWORD>(length) - total, &n, nullptr)) {
            const int code = lastSystemError();
            *written = n;
            m_repeats.failed(logbit::portClose, "CSerialPort::write", "No data is written.");
            return done(code);
        }
        total += n;
        if (pass == kWritePasses)
            break;
        Sleep(2);
        if (total >= static_cast<unsigned int>(length))
            break;
        SDK_LOG(logbit::portTraffic, "CSerialPort::write", "Serial port write - LOOPS.");
    }
    m_repeats.succeeded("CSerialPort::write");
    if (length > 0)
        logDump("CSerialPort::write", buffer, static_cast<std::size_t>(length));
    *written = total;
    return done(0);
}

int CSerialPort::flush()
{
    return purge();
}

int CSerialPort::purge()
{
    CLogHelper trace("CSerialPort::purge");
    const HANDLE h = handle();
    if (h == nullptr) {
        m_repeats.failed(logbit::system, "CSerialPort::purge", "Device is not opened.");
        return done(kNotOpened);
    }
    if (!PurgeComm(h, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR)) {
        const int code = lastSystemError();
        m_repeats.failed(logbit::system, "CSerialPort::purge", "Overlapped completed without result.");
        return done(code);
    }
    m_repeats.succeeded("CSerialPort::purge");
    return done(0);
}

bool CSerialPort::isOpened()
{
    return handle() != nullptr;
}

int CSerialPort::getLastError()
{
    return m_lastError.load();
}

HANDLE CSerialPort::getHandle()
{
    return handle();
}

int CSerialPort::cancelCommIo()
{
    const HANDLE h = handle();
    return h != nullptr ? CancelIo(h) : 0;
}

int CSerialPort::readState(DCB* dcb, const char* method, const char* notOpened, const char* failed)
{
    const HANDLE h = handle();
    if (h == nullptr) {
        SDK_LOG(logbit::system, method, notOpened);
        return kNotOpened;
    }
    *dcb = DCB{};
    dcb->DCBlength = sizeof(DCB);
    if (!GetCommState(h, dcb)) {
        const int code = lastSystemError();
        SDK_LOG(logbit::system, method, failed);
        return code;
    }
    return 0;
}

int CSerialPort::writeState(DCB& dcb, const char* method, const char* failed)
{
    if (!SetCommState(handle(), &dcb)) {
        const int code = lastSystemError();
        SDK_LOG(logbit::system, method, failed);
        return done(code);
    }
    return done(0);
}

int CSerialPort::setup(int baudRate, unsigned dps)
{
    CLogHelper trace("CSerialPort::setup");
    if (handle() == nullptr) {
        SDK_LOG(logbit::system, "CSerialPort::setup", "Device is not opened.");
        return done(kNotOpened);
    }
    if (dps >= std::size(kDps)) {
        SDK_LOG(logbit::system, "CSerialPort::setup", "CSerialPort::setup - Not supported dps setting.");
        m_lastError.store(0);
        return kNotOpened;
    }
    const DpsEntry& e = kDps[dps];
    return setup(baudRate, e.dataBits, e.parity, e.stopBits);
}

int CSerialPort::setup(int baudRate, int dataBits, int parity, int stopBits)
{
    CLogHelper trace("CSerialPort::setup");
    DCB dcb;
    if (const int code = readState(&dcb, "CSerialPort::setup", "Device is not opened.",
                                   "Unable to obtain DCB information.");
        code != 0)
        return done(code);
    // Passed on unchecked: the platform refuses what the line cannot take
    // (87) and changes nothing.
    dcb.BaudRate = static_cast<DWORD>(baudRate);
    dcb.ByteSize = static_cast<BYTE>(dataBits);
    dcb.Parity = static_cast<BYTE>(parity);
    dcb.StopBits = static_cast<BYTE>(stopBits);
    dcb.fParity = parity != 0 ? 1 : 0;
    return writeState(dcb, "CSerialPort::setup", "Unable to set DCB information.");
}

int CSerialPort::setupDTR(int dtrControl)
{
    CLogHelper trace("CSerialPort::setupDTR");
    DCB dcb;
    if (const int code = readState(&dcb, "CSerialPort::setupDTR", "Device is not opened.",
                                   "Unable to obtain DCB information\n");
        code != 0)
        return done(code);
    dcb.fDtrControl = static_cast<DWORD>(dtrControl) & 3u;
    return writeState(dcb, "CSerialPort::setupDTR", "CSerialPort::setupDTR - Unable to set DCB information\n");
}

int CSerialPort::setupRTS(int rtsControl)
{
    CLogHelper trace("CSerialPort::setupRTS");
    DCB dcb;
    if (const int code = readState(&dcb, "CSerialPort::setupRTS", "Device is not opened.",
                                   "Unable to obtain DCB information.");
        code != 0)
        return done(code);
    dcb.fRtsControl = static_cast<DWORD>(rtsControl) & 3u;
    return writeState(dcb, "CSerialPort::setupRTS", "Unable to set DCB information");
}

int CSerialPort::setupHandshaking(int mode)
{
    CLogHelper trace("CSerialPort::setupHandshaking");
    DCB dcb;
    if (const int code = readState(&dcb, "CSerialPort::setupHandshaking", "Device is not opened.",
                                   "Unable to obtain DCB information.");
        code != 0)
        return done(code);
    // Per mode: CTS and DSR output flow, DTR and RTS control, XON/XOFF out
    // and in. 0 none, 1 hardware, 2 software, 3 lines simply on.
    struct Handshake {
        unsigned outxCts, outxDsr, dtrControl, rtsControl, outX, inX;
    };
    static const Handshake kModes[] = {
        {0, 0, DTR_CONTROL_DISABLE, RTS_CONTROL_DISABLE, 0, 0},
        {1, 1, DTR_CONTROL_HANDSHAKE, RTS_CONTROL_HANDSHAKE, 0, 0},
        {0, 0, DTR_CONTROL_DISABLE, RTS_CONTROL_DISABLE, 1, 1},
        {0, 0, DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE, 0, 0},
    };
    if (mode < 0 || mode >= static_cast<int>(std::size(kModes)))
        return done(kInvalidArg);
    const Handshake& h = kModes[mode];
    dcb.fOutxCtsFlow = h.outxCts;
    dcb.fOutxDsrFlow = h.outxDsr;
    dcb.fDtrControl = h.dtrControl;
    dcb.fRtsControl = h.rtsControl;
    dcb.fOutX = h.outX;
    dcb.fInX = h.inX;
    return writeState(dcb, "CSerialPort::setupHandshaking", "Unable to set DCB information.");
}

int CSerialPort::setupReadTimeouts(unsigned interval, unsigned totalConstant, unsigned totalMultiplier)
{
    CLogHelper trace("CSerialPort::setupReadTimeouts");
    const HANDLE h = handle();
    if (h == nullptr) {
        SDK_LOG(logbit::system, "CSerialPort::setupReadTimeouts", "Device is not opened.");
        return done(kNotOpened);
    }
    COMMTIMEOUTS t{};
    if (!GetCommTimeouts(h, &t)) {
        const int code = lastSystemError();
        SDK_LOG(logbit::system, "CSerialPort::setupReadTimeouts", "Unable to obtain timeout information.");
        return done(code);
    }
    t.ReadIntervalTimeout = interval;
    t.ReadTotalTimeoutConstant = totalConstant;
    t.ReadTotalTimeoutMultiplier = totalMultiplier;
    if (!SetCommTimeouts(h, &t)) {
        const int code = lastSystemError();
        SDK_LOG(logbit::system, "CSerialPort::setupReadTimeouts", "Unable to set timeout information.");
        return done(code);
    }
    return done(0);
}

int CSerialPort::setupReadTimeouts(int mode)
{
    CLogHelper trace("CSerialPort::setupReadTimeouts");
    const HANDLE h = handle();
    if (h == nullptr) {
        SDK_LOG(logbit::system, "CSerialPort::setupReadTimeouts", "Device is not opened.");
        return done(kNotOpened);
    }
    COMMTIMEOUTS t{};
    if (!GetCommTimeouts(h, &t)) {
        const int code = lastSystemError();
        SDK_LOG(logbit::system, "CSerialPort::setupReadTimeouts", "Unable to obtain timeout information.");
        return done(code);
    }
    if (mode == 0)
        t.ReadIntervalTimeout = MAXDWORD;  // a read returns at once with what has arrived
    else if (mode == 1)
        t.ReadIntervalTimeout = 0;  // a read waits for the full count
    else
        return done(kInvalidArg);
    t.ReadTotalTimeoutMultiplier = 0;
    t.ReadTotalTimeoutConstant = 0;
    if (!SetCommTimeouts(h, &t)) {
        const int code = lastSystemError();
        SDK_LOG(logbit::system, "CSerialPort::setupReadTimeouts", "Unable to set timeout information.");
        return done(code);
    }
    return done(0);
}

int CSerialPort::setupQueueSize(int inputSize, int outputSize)
{
    CLogHelper trace("CSerialPort::setupQueueSize");
    const HANDLE h = handle();
    if (h == nullptr) {
        SDK_LOG(logbit::system, "CSerialPort::setupQueueSize", "Device is not opened.");
        return done(kNotOpened);
    }
    if (inputSize == 0 && outputSize == 0)
        return done(0);
    if (!SetupComm(h, static_cast<DWORD>(inputSize), static_cast<DWORD>(outputSize))) {
        const int code = lastSystemError();
        SDK_LOG(logbit::system, "CSerialPort::setupQueueSize", " Unable to setup the COM-port.");
        close();
        return done(code);
    }
    return done(0);
}

int CSerialPort::getBaudrate()
{
    CLogHelper trace("CSerialPort::getBaudrate");
    DCB dcb;
    const int code = readState(&dcb, "CSerialPort::getBaudrate", "Device is not opened.",
                               "Unable to obtain DCB information.");
    done(code);
    return code != 0 ? -1 : static_cast<int>(dcb.BaudRate);
}

int CSerialPort::getDataBits()
{
    CLogHelper trace("CSerialPort::getDataBits");
    DCB dcb;
    const int code = readState(&dcb, "CSerialPort::getDataBits", "CSerialPort::GetDataBits - Device is not opened.",
                               "CSerialPort::GetDataBits - Unable to obtain DCB information.");
    done(code);
    return code != 0 ? -1 : dcb.ByteSize;
}

int CSerialPort::getParity()
{
    CLogHelper trace("CSerialPort::getParity");
    DCB dcb;
    const int code = readState(&dcb, "CSerialPort::getParity", "CSerialPort::GetParity - Device is not opened.",
                               "CSerialPort::GetParity - Unable to obtain DCB information.");
    done(code);
    if (code != 0)
        return -1;
    return dcb.fParity != 0 ? dcb.Parity : 0;
}

int CSerialPort::getStopBits()
{
    CLogHelper trace("CSerialPort::getStopBits");
    DCB dcb;
    const int code = readState(&dcb, "CSerialPort::getStopBits", "CSerialPort::GetStopBits - Device is not opened.",
                               "CSerialPort::GetStopBits - Unable to obtain DCB information.");
    done(code);
    return code != 0 ? -1 : dcb.StopBits;
}

int CSerialPort::getHandshaking()
{
    CLogHelper trace("CSerialPort::getHandshaking");
    DCB dcb;
    const int code = readState(&dcb, "CSerialPort::getHandshaking", "Device is not opened.",
                               "Unable to obtain DCB information.");
    done(code);
    if (code != 0)
        return -1;
    if (dcb.fDtrControl == DTR_CONTROL_HANDSHAKE && dcb.fRtsControl == RTS_CONTROL_HANDSHAKE)
        return 1;
    if (dcb.fOutX != 0 && dcb.fInX != 0)
        return 2;
    return 0;
}

int CSerialPort::setEventChar(char character, bool addToMask)
{
    CLogHelper trace("CSerialPort::setEventChar");
    DCB dcb;
    if (const int code = readState(&dcb, "CSerialPort::setEventChar", "Device is not opened.",
                                   "Unable to obtain DCB information.");
        code != 0)
        return done(code);
    dcb.EvtChar = character;
    if (addToMask)
        setMask(getEventMask() | EV_RXFLAG);
    return writeState(dcb, "CSerialPort::setEventChar", "Unable to set DCB information.");
}

int CSerialPort::setMask(unsigned mask)
{
    CLogHelper trace("CSerialPort::setMask");
    const HANDLE h = handle();
    if (h == nullptr) {
        SDK_LOG(logbit::system, "CSerialPort::setMask", "Device is not opened.");
        return done(kNotOpened);
    }
    if (!SetCommMask(h, mask)) {
        const int code = lastSystemError();
        SDK_LOG(logbit::system, "CSerialPort::setMask", "Unable to set event mask.");
        return done(code);
    }
    m_eventMask.store(mask);
    return done(0);
}

int CSerialPort::waitEvent()
{
    CLogHelper trace("CSerialPort::waitEvent");
    const HANDLE h = handle();
    if (h == nullptr) {
        SDK_LOG(logbit::system, "CSerialPort::waitEvent", "Device is not opened.");
        return done(kNotOpened);
    }
    DWORD events = 0;
    if (!WaitCommEvent(h, &events, nullptr)) {
        const int code = lastSystemError();
        SDK_LOG(logbit::system, "CSerialPort::waitEvent", "Unable to wait for COM event.");
        return done(code);
    }
    m_lastEvent.store(events);
    return done(0);
}

unsigned CSerialPort::getEventMask()
{
    if (handle() == nullptr) {
        SDK_LOG(logbit::system, "CSerialPort::getEventMask", "Device is not opened.");
        done(kNotOpened);
        return 0;
    }
    done(0);
    return m_eventMask.load();
}

char CSerialPort::getEventChar()
{
    CLogHelper trace("CSerialPort::getEventChar");
    DCB dcb;
    const int code = readState(&dcb, "CSerialPort::getEventChar", "Device is not opened.",
                               "Unable to obtain DCB information.");
    done(code);
    return code != 0 ? 0 : dcb.EvtChar;
}

int CSerialPort::getTimeout(COMMTIMEOUTS* timeouts)
{
    CLogHelper trace("CSerialPort::getTimeout");
    const HANDLE h = handle();
    if (h == nullptr) {
        SDK_LOG(logbit::system, "CSerialPort::getTimeout", "Device is not opened.");
        return done(kNotOpened);
    }
    if (!GetCommTimeouts(h, timeouts)) {
        const int code = lastSystemError();
        SDK_LOG(logbit::system, "CSerialPort::getTimeout", "Unable to obtain timeout information.");
        return done(code);
    }
    return done(0);
}

int CSerialPort::setTimeout(COMMTIMEOUTS timeouts)
{
    CLogHelper trace("CSerialPort::setTimeout");
    const HANDLE h = handle();
    if (h == nullptr) {
        SDK_LOG(logbit::system, "CSerialPort::setTimeout", "Device is not opened.");
        return done(kNotOpened);
    }
    if (!SetCommTimeouts(h, &timeouts)) {
        const int code = lastSystemError();
        SDK_LOG(logbit::system, "CSerialPort::setTimeout", "Unable to set timeout information.");
        return done(code);
    }
    return done(0);
}

int CSerialPort::getDCB(DCB* dcb)
{
    CLogHelper trace("CSerialPort::getDCB");
    DCB local;
    const int code = readState(&local, "CSerialPort::getDCB", "Device is not opened.",
                               "Unable to obtain DCB information.");
    if (code == 0 && dcb != nullptr)
        *dcb = local;
    return done(code);
}

int CSerialPort::setDCB(DCB* dcb)
{
    CLogHelper trace("CSerialPort::setDCB");
    const HANDLE h = handle();
    if (h == nullptr) {
        SDK_LOG(logbit::system, "CSerialPort::setDCB", "Device is not opened.");
        return done(kNotOpened);
    }
    if (!SetCommState(h, dcb)) {
        const int code = lastSystemError();
        SDK_LOG(logbit::system, "CSerialPort::setDCB", "Unable to set DCB information.");
        return done(code);
    }
    return done(0);
}

bool CSerialPort::modemBit(DWORD bits, const char* method, const char* failed)
{
    const HANDLE h = handle();
    if (h == nullptr) {
        m_repeats.failed(logbit::system, method, "Device is not opened.");
        done(kNotOpened);
        return false;
    }
    DWORD status = 0;
    if (!GetCommModemStatus(h, &status)) {
        const int code = lastSystemError();
        m_repeats.failed(logbit::system, method, failed);
        done(code);
        return false;
    }
    m_repeats.succeeded(method);
    done(0);
    return (status & bits) != 0;
}

bool CSerialPort::getCTS()
{
    return modemBit(MS_CTS_ON, "CSerialPort::getCTS", "Unable to obtain the modem status.");
}

bool CSerialPort::getDSR()
{
    return modemBit(MS_DSR_ON, "CSerialPort::getDSR", "Unable to obtain the modem status.");
}

bool CSerialPort::getRing()
{
    return modemBit(MS_RING_ON, "CSerialPort::getRing", "Unable to obtain the modem status");
}

bool CSerialPort::getRLSD()
{
    return modemBit(MS_RLSD_ON, "CSerialPort::getRLSD", "Unable to obtain the modem status");
}

bool CSerialPort::isSignalOn(unsigned mask)
{
    return modemBit(mask, "CSerialPort::isSignalOn", "Unable to obtain the modem status");
}

int CSerialPort::Break()
{
    CLogHelper trace("CSerialPort::Break");
    const HANDLE h = handle();
    if (h == nullptr) {
        SDK_LOG(logbit::system, "CSerialPort::Break", "Device is not opened.");
        return done(kNotOpened);
    }
    SetCommBreak(h);
    Sleep(100);
    ClearCommBreak(h);
    return done(0);
}

unsigned CSerialPort::getError()
{
    CLogHelper trace("CSerialPort::getError");
    const HANDLE h = handle();
    if (h == nullptr) {
        SDK_LOG(logbit::system, "CSerialPort::getError", "Device is not opened.");
        done(kNotOpened);
        return 0;
    }
    DWORD errors = 0;
    if (!ClearCommError(h, &errors, nullptr)) {
        const int code = lastSystemError();
        SDK_LOG(logbit::system, "CSerialPort::getError", "Unable to obtain COM status.");
        done(code);
        return 0;
    }
    done(0);
    return errors;
}

unsigned CSerialPort::getEventType()
{
    if (handle() == nullptr) {
        SDK_LOG(logbit::system, "CSerialPort::getEventType", "Device is not opened.");
        done(kNotOpened);
        return 0;
    }
    done(0);
    return m_eventMask.load() & m_lastEvent.exchange(0);
}
