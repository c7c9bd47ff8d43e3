// Serial ports: CreateFile's "\\.\COMn" paths and the comm calls, which
// forward to the SerialDevice behind the handle.
#include "linux/internal/serial_comtable.h"
#include "linux/internal/serial_device.h"
#include "linux/internal/text.h"
#include "platform/error.h"
#include "platform/serial.h"

#include <cstring>

namespace platform {

std::shared_ptr<DeviceObject> openSerialDevice(const std::string& path, DWORD access, DWORD, DWORD flags,
                                               bool managementChannel)
{
    // "\\.\" and the port name. Serial ports are exclusive whatever the
    // share mode asks for.
    std::optional<SerialPortEntry> port = findSerialPort(path.substr(4));
    if (port.has_value() && managementChannel) {
        // The management channel is a device of its own, held apart from
        // the port: its own pty and side channel.
        if (port->virtualPort.has_value() && port->virtualPort->hasManagementChannel()) {
            VirtualSerialDescriptor& channel = *port->virtualPort;
            channel.ptyPath = channel.managementPtyPath;
            channel.controlPath = channel.managementControlPath;
            port->info.devicePath = channel.ptyPath;
        } else {
            port.reset();
        }
    }
    if (!port.has_value()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    DWORD error = ERROR_SUCCESS;
    std::shared_ptr<SerialDevice> device = SerialDevice::open(*port, access, flags, &error);
    if (device == nullptr)
        SetLastError(error);
    return device;
}

}  // namespace platform

namespace {

using platform::SerialDevice;

std::shared_ptr<SerialDevice> serialFromHandle(HANDLE file)
{
    return platform::objectFromHandle<SerialDevice>(file);
}

BOOL result(DWORD code)
{
    if (code != ERROR_SUCCESS) {
        SetLastError(code);
        return FALSE;
    }
    return TRUE;
}

// Runs `call` on the serial device behind `file`; FALSE with 6 for a handle
// that is not a serial port, 87 when a pointer the call needs is null.
template <typename Call>
BOOL onSerial(HANDLE file, bool argumentsOk, Call call)
{
    const auto device = serialFromHandle(file);
    if (device == nullptr)
        return FALSE;
    if (!argumentsOk)
        return result(ERROR_INVALID_PARAMETER);
    return result(call(*device));
}

COMMCONFIG defaultConfig()
{
    COMMCONFIG config{};
    config.dwSize = sizeof(COMMCONFIG);
    config.wVersion = 1;
    config.dcb = platform::defaultDcb();
    config.dwProviderSubType = PST_RS232;
    return config;
}

}  // namespace

BOOL GetCommState(HANDLE file, LPDCB dcb)
{
    return onSerial(file, dcb != nullptr, [&](SerialDevice& d) { return d.getState(dcb); });
}

BOOL SetCommState(HANDLE file, LPDCB dcb)
{
    return onSerial(file, dcb != nullptr, [&](SerialDevice& d) { return d.setState(*dcb); });
}

BOOL GetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts)
{
    return onSerial(file, timeouts != nullptr, [&](SerialDevice& d) { return d.getTimeouts(timeouts); });
}

BOOL SetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts)
{
    return onSerial(file, timeouts != nullptr, [&](SerialDevice& d) { return d.setTimeouts(*timeouts); });
}

BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue)
{
    return onSerial(file, true, [&](SerialDevice& d) { return d.setupQueues(inQueue, outQueue); });
}

BOOL PurgeComm(HANDLE file, DWORD flags)
{
    return onSerial(file, true, [&](SerialDevice& d) { return d.purge(flags); });
}

BOOL EscapeCommFunction(HANDLE file, DWORD function)
{
    return onSerial(file, true, [&](SerialDevice& d) { return d.escape(function); });
}

BOOL SetCommBreak(HANDLE file)
{
    return EscapeCommFunction(file, SETBREAK);
}

BOOL ClearCommBreak(HANDLE file)
{
    return EscapeCommFunction(file, CLRBREAK);
}

BOOL TransmitCommChar(HANDLE file, char character)
{
    return onSerial(file, true, [&](SerialDevice& d) { return d.transmitChar(character); });
}

BOOL GetCommModemStatus(HANDLE file, LPDWORD status)
{
    return onSerial(file, status != nullptr, [&](SerialDevice& d) { return d.modemStatus(status); });
}

BOOL SetCommMask(HANDLE file, DWORD mask)
{
    return onSerial(file, true, [&](SerialDevice& d) { return d.setMask(mask); });
}

BOOL GetCommMask(HANDLE file, LPDWORD mask)
{
    return onSerial(file, mask != nullptr, [&](SerialDevice& d) { return d.getMask(mask); });
}

BOOL WaitCommEvent(HANDLE file, LPDWORD eventMask, LPOVERLAPPED overlapped)
{
    return onSerial(file, eventMask != nullptr, [&](SerialDevice& d) {
        if (overlapped != nullptr)
            platform::beginOverlapped(overlapped);
        const DWORD rc = d.waitEvent(eventMask);
        if (overlapped != nullptr)
            platform::completeOverlapped(overlapped, rc, 0);
        return rc;
    });
}

BOOL ClearCommError(HANDLE file, LPDWORD errors, LPCOMSTAT status)
{
    return onSerial(file, true, [&](SerialDevice& d) { return d.clearError(errors, status); });
}

BOOL GetDefaultCommConfigA(LPCSTR name, LPCOMMCONFIG config, LPDWORD size)
{
    if (name == nullptr || size == nullptr)
        return result(ERROR_INVALID_PARAMETER);
    if (*size < sizeof(COMMCONFIG) || config == nullptr) {
        *size = sizeof(COMMCONFIG);
        return result(ERROR_INSUFFICIENT_BUFFER);
    }
    const auto port = platform::findSerialPort(name);
    if (!port.has_value() || (port->virtualPort.has_value() && !port->virtualPort->hasDefaultConfig))
        return result(ERROR_FILE_NOT_FOUND);
    *config = defaultConfig();
    *size = sizeof(COMMCONFIG);
    return TRUE;
}

BOOL GetDefaultCommConfigW(LPCWSTR name, LPCOMMCONFIG config, LPDWORD size)
{
    if (name == nullptr)
        return result(ERROR_INVALID_PARAMETER);
    const std::string narrow = platform::narrowFromWide(name);
    return GetDefaultCommConfigA(narrow.c_str(), config, size);
}

BOOL SetCommConfig(HANDLE file, LPCOMMCONFIG config, DWORD size)
{
    const bool ok = config != nullptr && size >= offsetof(COMMCONFIG, dcb) + sizeof(DCB);
    return onSerial(file, ok, [&](SerialDevice& d) { return d.setState(config->dcb); });
}
