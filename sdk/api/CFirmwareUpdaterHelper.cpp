#include "api/CFirmwareUpdaterHelper.h"

#include "api/CConnection.h"

#include "base/CLogHelper.h"
#include "base/CScanningSDK.h"
#include "base/StringUtils.h"
#include "discovery/PORTINFO.h"
#include "ports/CBreaker.h"
#include "ports/CFilterDriver.h"
#include "ports/CSerialPort.h"
#include "ports/CUsbHidPort.h"
#include "products/CProduct.h"

#include "platform/error.h"
#include "platform/module.h"
#include "platform/sync.h"
#include "platform/time.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr int kFilterTransactionTimeout = 5000;
constexpr int kPingRetries = 25;
constexpr DWORD kPingRetryPause = 20;
constexpr DWORD kInputQueue = 65536;
constexpr DWORD kOutputQueue = 4096;
const char* const kBlockPrefix = "Global\\QZT_DEVICE_BLOCK_";

bool isSerialType(int type)
{
    return type == EIT_RS232 || type == EIT_USB_SERIAL || type == EIT_OTHER_SERIAL;
}

bool isHidType(int type)
{
    return type == EIT_USB_HID_BARCODE_SCANNER || type == EIT_USB_HID_IBM_SUREPOS || type == EIT_USB_HID_KBD;
}

// The interface the flash library is told for a device's interface type.
int libraryInterface(int type)
{
    switch (type) {
    case EIT_RS232:
    case EIT_OTHER_SERIAL: return CIF_RS232;
    case EIT_USB_SERIAL: return CIF_USBCDC;
    default: return CIF_USBHID_BARCODE_SCANNER;
    }
}

std::string upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

// Closes the block event on every way out of the update.
class EventCloser {
public:
    explicit EventCloser(HANDLE event) : m_event(event) {}
    ~EventCloser() { CloseHandle(m_event); }
    EventCloser(const EventCloser&) = delete;
    EventCloser& operator=(const EventCloser&) = delete;

private:
    HANDLE m_event;
};

}  // namespace

CFirmwareUpdaterHelper::CFirmwareUpdaterHelper() : CFirmwareUpdaterHelper(new CFlashProcess()) {}

CFirmwareUpdaterHelper::CFirmwareUpdaterHelper(CFlashProcess* process) : m_flashProcess(process) {}

CFirmwareUpdaterHelper::~CFirmwareUpdaterHelper()
{
    delete m_flashProcess;
}

void CFirmwareUpdaterHelper::setLastError(const std::string& text)
{
    std::lock_guard<std::mutex> guard(m_lastErrorLock);
    m_lastError = text;
}

int CFirmwareUpdaterHelper::getLastError(std::string& text)
{
    std::lock_guard<std::mutex> guard(m_lastErrorLock);
    text = m_lastError;
    return 0;
}

bool CFirmwareUpdaterHelper::fail(const char* method, const std::string& text, int bit)
{
    setLastError(text);
    SDK_LOG(bit, method, text);
    return false;
}

void CFirmwareUpdaterHelper::takeProcessError(const char* method)
{
    std::string text;
    if (m_flashProcess != nullptr)
        m_flashProcess->getLastError(text);
    fail(method, text, logbit::error);
}

// --- preparation -------------------------------------------------------------

int CFirmwareUpdaterHelper::initializeForUpdater(CDevice* device, HANDLE* handle,
                                                 CFirmwareUpdaterTemplate updaterTemplate)
{
    static const char* const kMethod = "CFirmwareUpdaterHelper::initializeForUpdater";
    CLogHelper scope(kMethod);
    m_connection = nullptr;
    if (!preCheck(device, handle != nullptr ? *handle : nullptr))
        return 1;
    m_flashProcess->cleanUp();

    if (updaterTemplate.logLevel != -1 && updaterTemplate.logType != -1) {
        if (!setDebugInfo(updaterTemplate.logType, updaterTemplate.logLevel, updaterTemplate.logFile))
            return 1;
        m_flashProcess->setLoggingValue(m_logTarget, m_logFileField != nullptr ? m_logFileField->c_str() : nullptr,
                                        m_logLevel);
    }
    if (!updaterTemplate.protocolFile.empty()) {
        m_protocolFile = stringToWString(updaterTemplate.protocolFile);
        m_flashProcess->setFlashProtocolSettingsValue(m_protocolFile.c_str());
    }
    if (!findDll(device->product->flashType, updaterTemplate.flashDllFolder)) {
        fail(kMethod, "can't find the dll file!", logbit::error);
        return 2;
    }
    if (!m_flashProcess->setVXFlashDllFile(m_dllPath)) {
        fail(kMethod, "load the dll file failed!", logbit::error);
        return 2;
    }
    m_flashProcess->setCallbackValue(updaterTemplate.progressCallback);

    // A COM port is opened through the device prefix; any other path (a
    // HID interface, a management port) is handed on in upper case.
    const std::string upperPath = upper(device->portName);
    const std::string path = upperPath.rfind("COM", 0) == 0 ? "\\\\.\\" + device->portName : upperPath;
    m_portPath = stringToWString(path);
    m_flashProcess->setPortFileNameValue(m_portPath.c_str());
    m_flashProcess->setInterfaceValue(libraryInterface(device->interfaceType));

    const bool serial = isSerialType(device->interfaceType);
    if (serial && !setWin232(*handle))
        return 1;
    if (!m_flashProcess->preInit(serial)) {
        takeProcessError(kMethod);
        return 1;
    }
    m_handle = handle;
    m_interfaceType = device->interfaceType;
    m_filterDriver = device->fromFilterDriver == 1 && device->interfaceUsage == EIU_QOX;
    m_report254 = device->interfaceUsage == EIU_HID_POS;
    m_blockEventName = kBlockPrefix + device->product->serialNumber;
    return 0;
}

bool CFirmwareUpdaterHelper::preCheck(CDevice* device, HANDLE handle)
{
    static const char* const kMethod = "CFirmwareUpdaterHelper::preCheck";
    if (device == nullptr)
        return fail(kMethod, "null CDevice pointer!", logbit::error);
    if (device->product == nullptr)
        return fail(kMethod, "invalid CDevice object, it contain null CProduct pointer!", logbit::error);
    if (!device->connectible)
        return fail(kMethod, "invalid CDevice object, the interface type not supported!", logbit::error);
    if (handle == nullptr)
        return fail(kMethod, "null handle pointer!", logbit::error);
    if (m_flashProcess == nullptr)
        return fail(kMethod, "null flash process pointer!", logbit::error);
    return true;
}

bool CFirmwareUpdaterHelper::setDebugInfo(int type, int level, const std::string& fileName)
{
    static const char* const kMethod = "CFirmwareUpdaterHelper::setDebugInfo";
    if (type < 0 || type > 2)
        return fail(kMethod, "Invalid debug type setting!", logbit::error);
    if (level < 1 || level > 3)
        return fail(kMethod, "Invalid debug level setting!", logbit::error);
    if (type == CFS_LOG_FILE && fileName.empty())
        return fail(kMethod, "Invalid debug file name setting!", logbit::error);
    m_logTarget = type;
    m_logLevel = level;
    m_logFile = stringToWString(fileName);
    m_logFileField = &m_logFile;
    return true;
}

bool CFirmwareUpdaterHelper::findDll(int flashType, const std::string& folder)
{
    m_dllPath.clear();
    const std::wstring path = stringToWString(folder + "/libVXFLASH0" + intToString(flashType) + ".so");
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        SDK_LOG(logbit::error, "CFirmwareUpdaterHelper::findDll", "can't find the dll file!");
        return false;
    }
    m_dllPath = path;
    return true;
}

bool CFirmwareUpdaterHelper::setWin232(HANDLE handle)
{
    static const char* const kMethod = "CFirmwareUpdaterHelper::setWin232";
    // Wraps the caller's handle; closing the wrapper leaves it open.
    CSerialPort port;
    if (port.open(handle) != 0)
        return fail(kMethod, "can't open the pass in handle!", logbit::error);
    win_rs232_settings settings{};
    if (port.getDCB(&settings.dcb) != 0)
        return fail(kMethod, "can't get the DCB of this port", logbit::error);
    if (port.getTimeout(&settings.comTimeout) != 0)
        return fail(kMethod, "can't get the timeout attribute of this port", logbit::error);
    settings.dwInQueue = kInputQueue;
    settings.dwOutQueue = kOutputQueue;
    m_flashProcess->setWin32Rs232SettingsValue(settings);
    return true;
}

// --- the update --------------------------------------------------------------

int CFirmwareUpdaterHelper::flashForUpdater(void* user, std::string firmwareFile)
{
    static const char* const kMethod = "CFirmwareUpdaterHelper::flashForUpdater";
    CLogHelper scope(kMethod);
    // The block is held machine-wide for as long as the event exists; a
    // null DACL lets any process see it. The attributes are not inherited.
    SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    const HANDLE block = CreateEventW(&attributes, FALSE, FALSE, stringToWString(m_blockEventName).c_str());
    const DWORD created = GetLastError();
    if (block == nullptr) {
        fail(kMethod, "create block event failed!", logbit::error);
        return 1;
    }
    EventCloser closer(block);
    if (created == ERROR_ALREADY_EXISTS) {
        fail(kMethod, "the same device is blocked by another SDK operation!", logbit::error);
        return 4;
    }
    m_firmwareFile = stringToWString(firmwareFile);
    if (m_firmwareFile.empty()) {
        fail(kMethod, "invalid firmware file specified!", logbit::error);
        return 1;
    }
    if (m_flashProcess == nullptr) {
        fail(kMethod, "null flash process pointer!", logbit::error);
        return 1;
    }
    if (!verifyDevice())
        return 1;

    if (m_connection != nullptr)
        m_connection->disconnect();
    else
        closeDeviceHandle();

    if (!send254Report(1))
        return 1;
    if (!m_flashProcess->sendInitString()) {
        // The point-of-sale mode was switched on for the flash: switch it
        // off again before giving up.
        std::string text;
        m_flashProcess->getLastError(text);
        send254Report(0);
        fail(kMethod, text, logbit::error);
        return 1;
    }
    m_flashProcess->setFlashScannerValue(user, m_firmwareFile.c_str());
    int result = 0;
    const bool flashed = m_flashProcess->flashScanner(&result);
    const bool modeOff = send254Report(0);
    if (flashed)
        return modeOff ? 0 : 1;
    // What the library answered is what the caller needs: a scanner that
    // left during a failed or cancelled flash cannot take report 254 any
    // more, and that failure (logged already) must not hide the answer.
    takeProcessError(kMethod);
    return result == CUR_FILEBAD || result == CUR_FILE_INCOMPATIBLE ? 2 : 1;
}

bool CFirmwareUpdaterHelper::verifyDevice()
{
    switch (m_interfaceType) {
    case EIT_RS232:
    case EIT_OTHER_SERIAL: return verifyForSerialDevice(false);
    case EIT_USB_SERIAL: return verifyForSerialDevice(true);
    default: return isHidType(m_interfaceType) && verifyForUsbHidDevice();
    }
}

bool CFirmwareUpdaterHelper::verifyForSerialDevice(bool usbSerial)
{
    static const char* const kMethod = "CFirmwareUpdaterHelper::verifyForSerialDevice";
    if (m_handle == nullptr || *m_handle == nullptr)
        return fail(kMethod, "invalid handle object in verify!", logbit::error);
    CSerialPort port;
    if (port.open(*m_handle) != 0)
        return fail(kMethod, "can't open the exist serial handle!", logbit::error);
    if (!pingDevice(&port, usbSerial))
        return fail(kMethod, "can't verify the device!", logbit::error);
    return true;
}

bool CFirmwareUpdaterHelper::verifyForUsbHidDevice()
{
    static const char* const kMethod = "CFirmwareUpdaterHelper::verifyForUsbHidDevice";
    if (m_handle == nullptr || *m_handle == nullptr)
        return fail(kMethod, "invalid handle object in verify!", logbit::error);
    CUsbHidPort port;
    const int opened = port.open(*m_handle);
    // The handle of a device that is gone cannot even be asked for its
    // capabilities: that is a lost device, not a bad handle.
    if (opened != 0 && opened != static_cast<int>(ERROR_DEVICE_NOT_CONNECTED))
        return fail(kMethod, "can't open the exist usb hid handle!", logbit::error);
    if (opened != 0 || port.isDisconnected())
        return fail(kMethod, "the device disconnect already, please check!", logbit::error);
    return true;
}

bool CFirmwareUpdaterHelper::pingDevice(InterfacePort* port, bool usbSerial)
{
    static const char* const kMethod = "CFirmwareUpdaterHelper::pingDevice";
    auto* serial = dynamic_cast<CSerialPort*>(port);
    if (serial == nullptr)
        return false;
    const HANDLE handle = serial->getHandle();
    if (m_filterDriver) {
        if (!CFilterDriver::setTransTimeOut(handle, kFilterTransactionTimeout))
            return fail(kMethod, "Failure in setting the transaction timeout for FD QOX PORT.", logbit::error);
        if (!CFilterDriver::setTransMode(handle, 1))
            return fail(kMethod, "Failure in turning on the transaction mode for QOX PORT.", logbit::error);
    }
    PORTINFO info{};
    info.port = serial;
    CBreaker breaker(&info);
    bool answered = breaker.ping(usbSerial, m_filterDriver);
    for (int retry = 0; !answered && retry < kPingRetries; ++retry) {
        Sleep(kPingRetryPause);
        answered = breaker.ping(usbSerial, m_filterDriver);
    }
    const bool left = !m_filterDriver || CFilterDriver::setTransMode(handle, 0);
    if (!answered) {
        // Stored without a log line: the caller logs its own verdict.
        setLastError(left ? "Ping device failure..." : "Ping device failure...Failure in exiting the transaction mode.");
        return false;
    }
    if (!left)
        return fail(kMethod, "Failure in exiting the transaction mode.", logbit::error);
    return true;
}

bool CFirmwareUpdaterHelper::send254Report(unsigned char value)
{
    static const char* const kMethod = "CFirmwareUpdaterHelper::send254Report";
    if (!m_report254)
        return true;
    CUsbHidPort port;
    if (port.open(m_portPath) != 0)
        return fail(kMethod, "Failed to open the port to be send 254 report!", logbit::error);
    unsigned char report[64] = {};
    report[0] = 254;
    report[1] = value;
    const bool sent = port.setFeature(report, 2);
    port.close();
    if (!sent)
        return fail(kMethod, "Failure in sending 254 report.", logbit::error);
    return true;
}

void CFirmwareUpdaterHelper::closeDeviceHandle()
{
    if (m_handle != nullptr && *m_handle != nullptr) {
        CloseHandle(*m_handle);
        *m_handle = nullptr;
    }
}

// --- handles for the caller --------------------------------------------------

bool CFirmwareUpdaterHelper::getDeviceHandle()
{
    if (isHidType(m_interfaceType))
        return getHandleFromUsbHid();
    if (isSerialType(m_interfaceType))
        return getHandleFromSerial();
    return false;
}

bool CFirmwareUpdaterHelper::getHandleFromSerial()
{
    static const char* const kMethod = "CFirmwareUpdaterHelper::getHandleFromSerial";
    if (m_handle == nullptr)
        return fail(kMethod, "invalid handle address!", logbit::internal);
    CSerialPort port(0);  // the handle outlives the port object
    if (port.open(m_portPath) != 0)
        return fail(kMethod, "can't open the serial device!", logbit::internal);
    *m_handle = port.getHandle();
    return true;
}

bool CFirmwareUpdaterHelper::getHandleFromUsbHid()
{
    static const char* const kMethod = "CFirmwareUpdaterHelper::getHandleFromUsbHid";
    if (m_handle == nullptr)
        return fail(kMethod, "invalid handle address!", logbit::internal);
    CUsbHidPort port(true, false);  // the handle outlives the port object
    if (port.open(m_portPath) != 0)
        return fail(kMethod, "can't open the usb hid device!", logbit::internal);
    *m_handle = port.getHandle();
    return true;
}
