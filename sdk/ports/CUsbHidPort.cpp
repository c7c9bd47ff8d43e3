#include "ports/CUsbHidPort.h"

#include "base/CLogHelper.h"
#include "base/CScanningSDK.h"
#include "base/StringUtils.h"

#include "platform/error.h"
#include "platform/setupapi.h"
#include "platform/sync.h"

#include <cstdio>

namespace {

constexpr ULONG kInputBuffers = 512;
constexpr ULONG kStringBufferBytes = 512;

std::string hex(int value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(value));
    return text;
}

// A probe handle (access 0) that closes itself on every path out.
class ProbeHandle {
public:
    explicit ProbeHandle(const std::wstring& path)
        : m_handle(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                               nullptr))
    {
    }
    ~ProbeHandle()
    {
        if (valid())
            CloseHandle(m_handle);
    }
    ProbeHandle(const ProbeHandle&) = delete;
    ProbeHandle& operator=(const ProbeHandle&) = delete;

    bool valid() const { return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr; }
    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle;
};

// The capabilities through the preparsed data, which is freed on every path.
// `failText` is logged when the capabilities cannot be read.
bool readCaps(HANDLE handle, HIDP_CAPS& caps, const char* method, const char* preparsedFailText)
{
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!HidD_GetPreparsedData(handle, &preparsed)) {
        if (preparsedFailText != nullptr)
            SDK_LOG(logbit::system, method, preparsedFailText);
        return false;
    }
    const bool ok = HidP_GetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS;
    if (!ok)
        SDK_LOG(logbit::system, method, "Fail to get the device level.");
    HidD_FreePreparsedData(preparsed);
    return ok;
}

// A device string into `out`; false when the device has none.
bool readString(HANDLE handle, BOOLEAN (*call)(HANDLE, PVOID, ULONG), std::wstring& out)
{
    wchar_t buffer[kStringBufferBytes * 2 / sizeof(wchar_t)] = {};
    const bool ok = call(handle, buffer, kStringBufferBytes) != FALSE;
    out = buffer;
    return ok;
}

void logRecord(const char* method, const HidDeviceInfo& info)
{
    if (!CScanningSDK::getLogger()->isEnabled(logbit::portTraffic))
        return;
    SDK_LOG(logbit::portTraffic, method, "The following is device data.");
    SDK_LOG(logbit::portTraffic, method, "VID: 0x" + hex(info.vendorId));
    SDK_LOG(logbit::portTraffic, method, "PID: 0x" + hex(info.productId));
    SDK_LOG(logbit::portTraffic, method, "Usage: 0x" + hex(info.usage));
    SDK_LOG(logbit::portTraffic, method, "Page: 0x" + hex(info.usagePage));
    SDK_LOG(logbit::portTraffic, method, "sn-" + wstringToString(info.serialNumber));
    SDK_LOG(logbit::portTraffic, method, "manufacture-" + wstringToString(info.manufacturer));
    SDK_LOG(logbit::portTraffic, method, "product-" + wstringToString(info.product));
}

// GetLastError, never 0: a call that failed without saying why must not
// read as a success.
int lastErrorOrFailure()
{
    const DWORD code = GetLastError();
    return code != ERROR_SUCCESS ? static_cast<int>(code) : static_cast<int>(ERROR_GEN_FAILURE);
}

}  // namespace

CUsbHidPort::CUsbHidPort() : CUsbHidPort(false, true) {}

CUsbHidPort::CUsbHidPort(bool exclusive) : CUsbHidPort(exclusive, true) {}

CUsbHidPort::CUsbHidPort(bool exclusive, bool closeOnDestroy)
    : m_bExclusive(exclusive), m_bCloseOnDestroy(closeOnDestroy)
{
}

CUsbHidPort::~CUsbHidPort()
{
    if (m_bCloseOnDestroy && m_bOpened) {
        SDK_LOG(logbit::portClose, "CUsbHidPort::~CUsbHidPort", "USB HID port not closed.");
        close();
    }
}

int CUsbHidPort::storeError(int code)
{
    m_nLastError.store(code);
    return code;
}

void CUsbHidPort::dumpBytes(const char* method, const char* label, const unsigned char* bytes, std::size_t count)
{
    if (!CScanningSDK::getLogger()->isEnabled(logbit::hexDump))
        return;
    std::string text = label;
    char one[8];
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(one, sizeof one, "%2x ", bytes[i]);
        text += one;
    }
    SDK_LOG(logbit::hexDump, method, text);
}

int CUsbHidPort::open(std::wstring path)
{
    CLogHelper trace("CUsbHidPort::open");
    storeError(0);
    const std::string narrowPath = wstringToString(path);
    if (m_bOpened) {
        SDK_LOG(logbit::system, "CUsbHidPort::open", "Currenlty there is one device already opened. " + narrowPath);
        return 0;
    }
    {
        ProbeHandle probe(path);
        if (!probe.valid()) {
            const int code = lastErrorOrFailure();
            SDK_LOG(logbit::system, "CUsbHidPort::open", "Unable to open port. Port=" + narrowPath);
            return storeError(code);
        }
        HANDLE handle = probe.get();
        if (!GetDeviceCapabilities(&handle, &m_caps))
            return storeError(lastErrorOrFailure());
    }
    const int prepared = PrepareForOverlappedTransfer(path);
    if (prepared != 0) {
        SDK_LOG(logbit::system, "CUsbHidPort::open",
                "Error occur during PrepareForOverlappedTransfer. Port=" + narrowPath);
        return prepared;
    }
    HidD_SetNumInputBuffers(m_hOverlapped, kInputBuffers);
    m_hDevice = m_hOverlapped;
    m_bOpened = true;
    m_wsPath = path;
    return 0;
}

int CUsbHidPort::PrepareForOverlappedTransfer(std::wstring path)
{
    const DWORD share = m_bExclusive ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) {
        const int code = lastErrorOrFailure();
        m_hOverlapped = nullptr;
        SDK_LOG(logbit::system, "CUsbHidPort::PrepareForOverlappedTransfer",
                "Unable to create the read handle for port - " + wstringToString(path));
        return code;
    }
    m_hOverlapped = handle;
    if (!createEvents()) {
        const int code = lastErrorOrFailure();
        CloseHandle(m_hOverlapped);
        m_hOverlapped = nullptr;
        return code;
    }
    return 0;
}

bool CUsbHidPort::createEvents()
{
    if (m_hReadEvent == nullptr) {
        m_hReadEvent = CreateEventW(nullptr, TRUE, TRUE, L"");
        m_readOverlapped = OVERLAPPED{};
        m_readOverlapped.hEvent = m_hReadEvent;
    }
    if (m_hWriteEvent == nullptr) {
        m_hWriteEvent = CreateEventW(nullptr, TRUE, TRUE, L"");
        m_writeOverlapped = OVERLAPPED{};
        m_writeOverlapped.hEvent = m_hWriteEvent;
    }
    return m_hReadEvent != nullptr && m_hWriteEvent != nullptr;
}

void CUsbHidPort::closeEvents()
{
    if (m_hReadEvent != nullptr) {
        CloseHandle(m_hReadEvent);
        m_hReadEvent = nullptr;
    }
    if (m_hWriteEvent != nullptr) {
        CloseHandle(m_hWriteEvent);
        m_hWriteEvent = nullptr;
    }
    m_readOverlapped.hEvent = nullptr;
    m_writeOverlapped.hEvent = nullptr;
}

int CUsbHidPort::open(HANDLE handle)
{
    CLogHelper trace("CUsbHidPort::open");
    storeError(0);
    if (m_bOpened) {
        SDK_LOG(logbit::system, "CUsbHidPort::open",
                "There is one device already been opened. Please close it before open another one.");
        return storeError(ERROR_ACCESS_DENIED);
    }
    m_hDevice = handle;
    m_bOpened = true;
    if (!GetDeviceCapabilities(&m_hDevice, &m_caps)) {
        const int code = lastErrorOrFailure();
        SDK_LOG(logbit::system, "CUsbHidPort::open", "Error occur during via GetDeviceCapabilities.");
        return storeError(code);
    }
    createEvents();
    HidD_SetNumInputBuffers(m_hDevice, kInputBuffers);
    return 0;
}

bool CUsbHidPort::GetDeviceCapabilities(HANDLE* handle, HIDP_CAPS* caps)
{
    if (handle == nullptr || caps == nullptr)
        return false;
    return readCaps(*handle, *caps, "CUsbHidPort::GetDeviceCapabilities", nullptr);
}

int CUsbHidPort::close()
{
    CLogHelper trace("CUsbHidPort::close");
    m_repeats.end();  // the counts of this opening's failures
    storeError(0);
    if (m_hOverlapped != nullptr) {
        CloseHandle(m_hOverlapped);
        m_hOverlapped = nullptr;
    }
    m_hDevice = nullptr;
    closeEvents();
    m_bOpened = false;
    return 0;
}

int CUsbHidPort::finishTransfer(BOOL started, OVERLAPPED& overlapped, HANDLE event, DWORD timeout, DWORD& count,
                                bool reading)
{
    const char* method = reading ? "CUsbHidPort::read" : "CUsbHidPort::write";
    const char* errorText = reading ? "Error during reading data." : "Unexpected error.";
    if (started)
        return 0;  // completed at once; `count` is set
    const DWORD startError = GetLastError();
    if (startError != ERROR_IO_PENDING) {
        // Refused or failed at once (a removed device: 1167); nothing runs.
        m_repeats.failed(logbit::system, method, errorText);
        count = 0;
        return startError != ERROR_SUCCESS ? static_cast<int>(startError) : static_cast<int>(ERROR_GEN_FAILURE);
    }
    const DWORD waited = WaitForSingleObject(event, timeout);
    if (waited == WAIT_OBJECT_0) {
        if (GetOverlappedResult(m_hDevice, &overlapped, &count, FALSE))
            return 0;
        const int code = lastErrorOrFailure();
        m_repeats.failed(logbit::system, method, errorText);
        count = 0;
        return code;
    }
    // Timed out (or the wait failed): cancel, then let the transfer end so
    // that nothing writes into the caller's buffer after we return.
    const int waitError = lastErrorOrFailure();
    CancelIo(m_hDevice);
    if (GetOverlappedResult(m_hDevice, &overlapped, &count, TRUE))
        return 0;  // the report arrived while we gave up on it
    count = 0;
    if (waited != WAIT_TIMEOUT) {
        m_repeats.failed(logbit::system, method, errorText);
        return waitError;
    }
    DWORD code = GetLastError();
    if (code == ERROR_OPERATION_ABORTED || code == ERROR_SUCCESS)
        code = ERROR_IO_PENDING;  // a time-out: "no data yet"
    if (reading)
        SDK_LOG(logbit::portTraffic, method, "Timeout during reading data." + intToString(static_cast<int>(code)));
    else
        SDK_LOG(logbit::portClose, method, "Timeout during writing data.");
    return static_cast<int>(code);
}

int CUsbHidPort::read(unsigned char* buffer, int size, unsigned int* count)
{
    unsigned int local = 0;
    if (count == nullptr)
        count = &local;
    *count = 0;
    if (!m_bOpened) {
        m_repeats.failed(logbit::system, "CUsbHidPort::read", "Device is not opened.");
        return storeError(ERROR_INVALID_HANDLE);
    }
    const DWORD length = m_caps.InputReportByteLength;
    if (buffer == nullptr || size < 0 || static_cast<DWORD>(size) < length) {
        SDK_LOG(logbit::system, "CUsbHidPort::read",
                "The buffer is shorter than the input report. Report length=" + intToString(static_cast<int>(length)) +
                    " buffer length=" + intToString(size));
        return storeError(ERROR_INVALID_PARAMETER);
    }
    DWORD transferred = 0;
    const BOOL started = ReadFile(m_hDevice, buffer, length, &transferred, &m_readOverlapped);
    const int code = finishTransfer(started, m_readOverlapped, m_hReadEvent, m_dwReadTimeout.load(), transferred,
                                    true);
    if (code == 0) {
        m_repeats.succeeded("CUsbHidPort::read");
        *count = transferred;
        dumpBytes("CUsbHidPort::read", "Read Packet:", buffer, transferred);
    } else if (code == static_cast<int>(ERROR_IO_PENDING)) {
        dumpBytes("CUsbHidPort::read", "TIMEOUT Read Packet:", buffer, length);
    }
    ResetEvent(m_hReadEvent);
    return storeError(code);
}

int CUsbHidPort::write(const unsigned char* buffer, int length, unsigned int* count)
{
    unsigned int local = 0;
    if (count == nullptr)
        count = &local;
    *count = 0;
    if (!m_bOpened) {
        m_repeats.failed(logbit::system, "CUsbHidPort::write", "Device is not opened.");
        return storeError(ERROR_INVALID_HANDLE);
    }
    const DWORD reportLength = m_caps.OutputReportByteLength;
    if (buffer == nullptr || length < 0 || static_cast<DWORD>(length) < reportLength) {
        SDK_LOG(logbit::system, "CUsbHidPort::write",
                "The buffer is shorter than the output report. Report length=" +
                    intToString(static_cast<int>(reportLength)) + " buffer length=" + intToString(length));
        return storeError(ERROR_INVALID_PARAMETER);
    }
    DWORD transferred = 0;
    const BOOL started = WriteFile(m_hDevice, buffer, reportLength, &transferred, &m_writeOverlapped);
    const int code = finishTransfer(started, m_writeOverlapped, m_hWriteEvent, m_dwWriteTimeout.load(), transferred,
                                    false);
    if (code == 0) {
        m_repeats.succeeded("CUsbHidPort::write");
        *count = transferred;
    }
    dumpBytes("CUsbHidPort::write", "data:", buffer, reportLength);
    ResetEvent(m_hWriteEvent);
    return storeError(code);
}

int CUsbHidPort::read(std::string&)
{
    SDK_LOG(logbit::system, "CUsbHidPort::read", "Not supported in UsbHidPort level.");
    return 0;
}

int CUsbHidPort::flush()
{
    if (!m_bOpened) {
        SDK_LOG(logbit::system, "CUsbHidPort::flush", "Device is not opened.");
        return storeError(ERROR_INVALID_HANDLE);
    }
    if (!HidD_FlushQueue(m_hDevice))
        SDK_LOG(logbit::system, "CUsbHidPort::flush", "Error to flash the queue.");
    return storeError(0);
}

bool CUsbHidPort::isOpened()
{
    return m_hDevice != nullptr;
}

int CUsbHidPort::getLastError()
{
    return m_nLastError.load();
}

bool CUsbHidPort::isDisconnected()
{
    if (!m_bOpened) {
        storeError(ERROR_INVALID_HANDLE);
        m_repeats.failed(logbit::system, "CUsbHidPort::isDisconnected", "Device is not opened.");
        return true;
    }
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    if (HidD_GetAttributes(m_hDevice, &attributes)) {
        m_repeats.succeeded("CUsbHidPort::isDisconnected");
        return false;
    }
    m_repeats.failed(logbit::system, "CUsbHidPort::isDisconnected",
                     "Device is disconnected...I cann't get any information from it..");
    return true;
}

HANDLE CUsbHidPort::getHandle()
{
    return m_hDevice;
}

bool CUsbHidPort::setFeature(unsigned char* report, int length)
{
    if (!m_bOpened) {
        storeError(ERROR_INVALID_HANDLE);
        SDK_LOG(logbit::system, "CUsbHidPort::setFeature", "Device is not opened.");
        return false;
    }
    if (report == nullptr || length <= 0)
        return false;
    return HidD_SetFeature(m_hDevice, report, static_cast<ULONG>(length)) != FALSE;
}

void CUsbHidPort::setTimeout(DWORD readTimeout, DWORD writeTimeout)
{
    m_dwReadTimeout.store(readTimeout);
    m_dwWriteTimeout.store(writeTimeout);
}

void CUsbHidPort::GetDeviceInfoByHandle(HANDLE handle, HidDeviceInfo& info)
{
    const char* method = "CUsbHidPort::GetDeviceInfoByHandle";
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    if (!HidD_GetAttributes(handle, &attributes))
        return;
    HIDP_CAPS caps{};
    if (!readCaps(handle, caps, method, "Fail to get the preparsed data level."))
        return;
    info.productId = attributes.ProductID;
    info.vendorId = attributes.VendorID;
    info.usage = caps.Usage;
    info.usagePage = caps.UsagePage;
    info.inputReportLength = caps.InputReportByteLength;
    info.outputReportLength = caps.OutputReportByteLength;
    // A string the device does not give stays empty.
    readString(handle, &HidD_GetSerialNumberString, info.serialNumber);
    readString(handle, &HidD_GetManufacturerString, info.manufacturer);
    readString(handle, &HidD_GetProductString, info.product);
    logRecord(method, info);
}

int CUsbHidPort::GetDeviceInfo(HidDeviceInfo& info)
{
    if (!m_bOpened) {
        SDK_LOG(logbit::system, "CUsbHidPort::GetDeviceInfo", "Hid port isn't opened.");
        return ERROR_INVALID_HANDLE;
    }
    GetDeviceInfoByHandle(m_hDevice, info);
    info.path = wstringToString(m_wsPath);
    return 0;
}

int CUsbHidPort::GetDeviceInfo(std::wstring path, HidDeviceInfo& info)
{
    ProbeHandle probe(path);
    if (!probe.valid())
        return lastErrorOrFailure();
    GetDeviceInfoByHandle(probe.get(), info);
    info.path = wstringToString(path);
    return 0;
}

std::vector<HidDeviceInfo> CUsbHidPort::listHidDevice(int vendorId, int productId, int usage, int usagePage)
{
    const char* method = "CUsbHidPort::listHidDevice";
    std::vector<HidDeviceInfo> found;
    GUID hidGuid;
    HidD_GetHidGuid(&hidGuid);
    HDEVINFO set = SetupDiGetClassDevsW(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        SDK_LOG(logbit::system, method,
                "SetupDiGetClassDevs failed, error:" + intToString(static_cast<int>(GetLastError())));
        return found;
    }
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = sizeof interfaceData;
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, &hidGuid, index, &interfaceData))
            break;
        // Every skip below leaves the loop body, which frees the detail and
        // closes the probe: discovery lists foreign interfaces on every run.
        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, nullptr, 0, &required, nullptr);
        if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
            continue;
        std::vector<DWORD> storage((required + sizeof(DWORD) - 1) / sizeof(DWORD));
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, detail, required, nullptr, nullptr))
            continue;
        const std::wstring path = detail->DevicePath;

        ProbeHandle probe(path);
        if (!probe.valid())
            continue;
        HIDD_ATTRIBUTES attributes{};
        attributes.Size = sizeof attributes;
        if (!HidD_GetAttributes(probe.get(), &attributes))
            continue;
        if (vendorId != 0 && vendorId != attributes.VendorID)
            continue;
        if (productId != 0 && productId != attributes.ProductID)
            continue;
        HIDP_CAPS caps{};
        const bool capsRead = readCaps(probe.get(), caps, method, nullptr);
        SDK_LOG(logbit::portTraffic, method, "Find HID device:" + wstringToString(path));
        if (usage != 0 && usage != caps.Usage)
            continue;
        if (!capsRead)
            continue;
        if (usagePage != 0 && usagePage != caps.UsagePage)
            continue;

        HidDeviceInfo info;
        info.productId = attributes.ProductID;
        info.vendorId = attributes.VendorID;
        info.usage = caps.Usage;
        info.usagePage = caps.UsagePage;
        info.path = wstringToString(path);
        info.inputReportLength = caps.InputReportByteLength;
        info.outputReportLength = caps.OutputReportByteLength;
        bool stringsRead = readString(probe.get(), &HidD_GetSerialNumberString, info.serialNumber);
        stringsRead = readString(probe.get(), &HidD_GetManufacturerString, info.manufacturer) && stringsRead;
        stringsRead = readString(probe.get(), &HidD_GetProductString, info.product) && stringsRead;
        logRecord(method, info);
        SDK_LOG(logbit::portTraffic, method, "The above device is what we desired.");
        if (stringsRead)
            found.push_back(info);
    }
    SetupDiDestroyDeviceInfoList(set);
    return found;
}
