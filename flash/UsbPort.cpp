#include "UsbPort.h"

#include "ScannerCommands.h"

#include "platform/error.h"
#include "platform/setupapi.h"
#include "platform/sync.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {
void closeHandle(HANDLE& handle)
{
    if (handle != INVALID_HANDLE_VALUE && handle != nullptr)
        CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
}
}  // namespace

Usb::~Usb()
{
    Close();
    if (m_readEvent)
        CloseHandle(m_readEvent);
    if (m_writeEvent)
        CloseHandle(m_writeEvent);
}

bool Usb::FindHidDevice(std::uint16_t vendorId, std::uint16_t productId, unsigned interfaceNumber,
                        bool matchInterface)
{
    m_log->print(2,
                 "USB -- FindHidDevice: Searching for VendorID = 0x%04x, ProductID = 0x%04x, Usage # = 0x%04x and "
                 "InterfaceID = 0x%04x.\n",
                 vendorId, productId, 2u, interfaceNumber);
    GUID hidGuid;
    HidD_GetHidGuid(&hidGuid);
    HDEVINFO set = SetupDiGetClassDevsA(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        m_log->print(2, "USB -- FindHidDevice: End Of Hid Devices.\n");
        return false;
    }
    char pattern[64];
    if (matchInterface)
        std::snprintf(pattern, sizeof pattern, "vid_%04x&pid_%04x&mi_%02x", vendorId, productId, interfaceNumber & 0xFF);
    else
        std::snprintf(pattern, sizeof pattern, "vid_%04x&pid_%04x", vendorId, productId);
    bool found = false;
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, &hidGuid, index, &data))
            break;
        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &required, nullptr);
        std::vector<std::uint8_t> storage(std::max<DWORD>(required, sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) + 1, 0);
        auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        if (required == 0 ||
            !SetupDiGetDeviceInterfaceDetailA(set, &data, detail, static_cast<DWORD>(storage.size() - 1), nullptr,
                                              nullptr)) {
            m_log->print(4, "USB -- FindHidDevice: Index: %d, cannot get detail\n", static_cast<int>(index));
            continue;
        }
        m_detailPath = detail->DevicePath;
        m_log->print(2, "Index: %d Found: %s\n", static_cast<int>(index), m_detailPath.c_str());
        m_log->print(2, matchInterface ? "Compare interface ID, Find: %s.\n" : "Not compare interface ID, Find: %s.\n",
                     pattern);
        std::string lower = m_detailPath;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (lower.find(pattern) != std::string::npos) {
            m_log->print(2, "Match low case: %s\n", lower.c_str());
            if (OpenUSBPort(m_detailPath)) {
                found = true;
                break;
            }
        } else {
            m_log->print(2, "Not Match low case: %s\n", lower.c_str());
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    if (!found)
        m_log->print(2, "USB -- FindHidDevice: End Of Hid Devices.\n");
    return found;
}

bool Usb::OpenUSBPort(const std::u16string& path)
{
    std::string name;
    if (!FileNameText(path, &name)) {
        Close();
        m_log->print(4, "USB -- OpenUSBPort: Could not create device Handle, error code = %d.\n",
                     static_cast<int>(ERROR_INVALID_PARAMETER));
        return false;
    }
    return OpenUSBPort(name);
}

bool Usb::OpenUSBPort(const std::string& path)
{
    Close();
    m_device = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (m_device == INVALID_HANDLE_VALUE) {
        m_log->print(4, "USB -- OpenUSBPort: Could not create device Handle, error code = %d.\n",
                     static_cast<int>(GetLastError()));
        return false;
    }
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    if (!HidD_GetAttributes(m_device, &attributes)) {
        m_log->print(4, "USB -- OpenUSBPort: Could not get HID Attributes.\n");
        Close();
        return false;
    }
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    m_caps = HIDP_CAPS{};
    if (HidD_GetPreparsedData(m_device, &preparsed)) {
        HidP_GetCaps(preparsed, &m_caps);
        HidD_FreePreparsedData(preparsed);
    }
    if (attributes.VendorID != kFlashVendorId) {
        m_log->print(4, "USB -- OpenUSBPort: VID does not match.\n");
        Close();
        return false;
    }
    if (m_caps.Usage != 2) {
        m_log->print(4, "USB -- OpenUSBPort: USAAGEID does not match.\n");
        Close();
        return false;
    }
    if (!PrepareForOverlappedTransfer(path)) {
        m_log->print(4, "USB -- OpenUSBPort: PrepareForOverlappedTransfer failed.\n");
        Close();
        return false;
    }
    m_open = true;
    return true;
}

bool Usb::PrepareForOverlappedTransfer(const std::string& path)
{
    m_read = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
    if (m_read == INVALID_HANDLE_VALUE)
        return false;
    m_write = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OVERLAPPED, nullptr);
    if (m_write == INVALID_HANDLE_VALUE)
        return false;
    if (!HidD_SetNumInputBuffers(m_read, 512)) {
        m_log->print(2, "USB -- OpenUSBPort: Win2K Platform, SetBuf Count 512 failed, trying 200.\n");
        if (!HidD_SetNumInputBuffers(m_read, 200))
            m_log->print(2, "USB -- OpenUSBPort: SetBuf Count 200 failed assuming defaults work.\n");
    }
    if (m_readEvent == nullptr)
        m_readEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    if (m_writeEvent == nullptr)
        m_writeEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    return m_readEvent != nullptr && m_writeEvent != nullptr;
}

std::size_t Usb::ReadReport(std::uint8_t* buffer, std::size_t size, DWORD timeoutMs)
{
    if (buffer != nullptr)
        std::memset(buffer, 0, size);
    if (!m_open || buffer == nullptr)
        return 0;
    std::uint8_t report[256] = {};
    const DWORD length = std::min<DWORD>(m_caps.InputReportByteLength, sizeof report);
    if (length == 0)
        return 0;
    m_readOverlapped = OVERLAPPED{};
    m_readOverlapped.hEvent = m_readEvent;
    DWORD read = 0;
    BOOL ok = ReadFile(m_read, report, length, &read, &m_readOverlapped);
    if (!ok && GetLastError() == ERROR_IO_PENDING) {
        const DWORD wait = WaitForSingleObject(m_readEvent, timeoutMs);
        if (wait == WAIT_OBJECT_0) {
            ok = GetOverlappedResult(m_read, &m_readOverlapped, &read, FALSE);
        } else if (wait == WAIT_TIMEOUT) {
            m_log->print(4, "Read Func timeout, Timeout = %ld millisec.\n", static_cast<long>(timeoutMs));
            CancelIo(m_read);
            GetOverlappedResult(m_read, &m_readOverlapped, &read, TRUE);
            read = 0;
            ok = FALSE;
        } else {
            m_log->print(4, "Default case.\n");
            CancelIo(m_read);
            GetOverlappedResult(m_read, &m_readOverlapped, &read, TRUE);
            ok = FALSE;
        }
    }
    ResetEvent(m_readEvent);
    if (!ok)
        return 0;
    read = std::min<DWORD>(read, length);
    if (read > 1)
        std::memcpy(buffer, report + 1, std::min<std::size_t>(read - 1, size));
    return read;
}

std::size_t Usb::WriteReport(const std::uint8_t* bytes, std::size_t count)
{
    if (!m_open || bytes == nullptr)
        return 0;
    const std::size_t length = std::min<std::size_t>(m_caps.OutputReportByteLength, sizeof m_outBuffer);
    if (length == 0)
        return 0;
    std::memset(m_outBuffer, 0, sizeof m_outBuffer);
    std::memcpy(m_outBuffer, bytes, std::min(count, length));
    m_writeOverlapped = OVERLAPPED{};
    m_writeOverlapped.hEvent = m_writeEvent;
    DWORD written = 0;
    BOOL ok = WriteFile(m_write, m_outBuffer, static_cast<DWORD>(length), &written, &m_writeOverlapped);
    if (!ok && GetLastError() == ERROR_IO_PENDING) {
        if (WaitForSingleObject(m_writeEvent, 5000) == WAIT_OBJECT_0) {
            ok = GetOverlappedResult(m_write, &m_writeOverlapped, &written, FALSE);
        } else {
            CancelIo(m_write);
            GetOverlappedResult(m_write, &m_writeOverlapped, &written, TRUE);
            ok = FALSE;
        }
    }
    ResetEvent(m_writeEvent);
    return ok ? written : 0;
}

void Usb::Close()
{
    closeHandle(m_read);
    closeHandle(m_write);
    closeHandle(m_device);
    m_open = false;
}
