#include "api/CConnection.h"

#include "base/CAlarmClock.h"
#include "base/CLogHelper.h"
#include "base/CScanningSDK.h"
#include "base/StringUtils.h"
#include "discovery/CSerialDevice.h"
#include "discovery/CSerialDeviceConnector.h"
#include "discovery/CSerialDisconnectMonitor.h"
#include "discovery/CUsbHidDevice.h"
#include "discovery/CUsbHidDeviceConnector.h"
#include "discovery/CUsbHidDisconnectMonitor.h"
#include "ports/CSerialPort.h"
#include "ports/CUsbHidPort.h"

#include <algorithm>
#include <cctype>

namespace {
const char* const kNotInitialized = "Connection not initialized!";

// Enters the critical section for a scope; leave() ends it early.
class SectionGuard {
public:
    explicit SectionGuard(CCriticalSectionHolder& section) : m_section(section) { m_section.enter(); }
    ~SectionGuard() { leave(); }
    void leave()
    {
        if (m_held) {
            m_held = false;
            m_section.leave();
        }
    }
    SectionGuard(const SectionGuard&) = delete;
    SectionGuard& operator=(const SectionGuard&) = delete;

private:
    CCriticalSectionHolder& m_section;
    bool m_held = true;
};
}  // namespace

CConnection::CConnection() : m_lock(std::make_unique<CCriticalSectionHolder>()) {}

CConnection::~CConnection()
{
    disconnect();
    m_initialized = false;
    CDisconnectMonitor* monitor = nullptr;
    {
        SectionGuard guard(*m_lock);
        monitor = m_monitor;
        m_monitor = nullptr;
    }
    endMonitor(monitor);
    // After a disconnect that failed, the connector still holds the port:
    // deleting it closes and frees the port once.
    delete m_connector;
    m_connector = nullptr;
    m_port = nullptr;
    delete m_device;
    m_device = nullptr;
}

void CConnection::setLastError(const std::string& text)
{
    std::lock_guard<std::mutex> guard(m_lastErrorLock);
    m_lastError = text;
}

int CConnection::getLastError(std::string& text)
{
    std::lock_guard<std::mutex> guard(m_lastErrorLock);
    text = m_lastError;
    return 0;
}

int CConnection::fail(const char* method, const std::string& text, int code, int bit)
{
    setLastError(text);
    SDK_LOG(bit, method, text);
    return code;
}

int CConnection::initialize()
{
    m_initialized = true;
    return 0;
}

int CConnection::unInitialize()
{
    m_initialized = false;
    return 0;
}

void CConnection::endMonitor(CDisconnectMonitor* monitor)
{
    // Waits for the monitor thread only, never for a callback under way.
    delete monitor;
}

bool CConnection::preCheck(CDevice* device)
{
    static const char* const kMethod = "CConnection::preCheck";
    const char* refusal = nullptr;
    if (m_connected)
        refusal = "There is already one device connected. Please disconnect it before performing connecting another "
                  "device.";
    else if (m_port != nullptr)
        refusal = "There is one device is already connected.";
    else if (m_connector != nullptr)
        refusal = "Another connector is already there...We should stop it at first.";
    else if (device == nullptr)
        refusal = "Device is null.";
    else if (!device->connectible)
        refusal = "Device is not connectible.";
    if (refusal == nullptr)
        return true;
    fail(kMethod, refusal, 2, logbit::trace);
    return false;
}

int CConnection::connect(CDevice* device, HANDLE* handle, bool exclusive, bool breakSignal, DWORD timeout)
{
    static const char* const kMethod = "CConnection::connect";
    CLogHelper scope(kMethod);
    setLastError("connect successful!");
    if (!m_initialized)
        return fail(kMethod, kNotInitialized, 4, logbit::error);
    CAlarmClock clock;
    clock.setTimeout(timeout);
    clock.start();
    SectionGuard guard(*m_lock);
    if (clock.isTimeout())
        return fail(kMethod, "Timeout during connecting.", 3, logbit::error);
    if (!preCheck(device))
        return 2;
    delete m_device;
    m_device = nullptr;

    CDeviceConnector* connector = nullptr;
    switch (device->interfaceType) {
    case EIT_RS232:
    case EIT_OTHER_SERIAL:
        if (!exclusive)
            return fail(kMethod, "can't open with non exclusive access at RS232 device.", 2, logbit::error);
        connector = new CSerialDeviceConnector(device, breakSignal);
        break;
    case EIT_USB_SERIAL: {
        if (!exclusive)
            return fail(kMethod, "can't open with non exclusive access at USB Serial device.", 2, logbit::error);
        auto* serial = new CSerialDeviceConnector(device, breakSignal);
        serial->setUsbSerial(true);
        connector = serial;
        break;
    }
    case EIT_USB_HID_BARCODE_SCANNER:
        connector = new CUsbHidDeviceConnector(device, exclusive, breakSignal);
        break;
    default:
        return fail(kMethod, "This interface isn't connectible.", 1, logbit::error);
    }

    // The connector writes its texts into a string of its own: the caller
    // may read the last-error text meanwhile.
    std::string connectorText = "connect successful!";
    connector->setErrorMsg(&connectorText);
    int result = connector->connect(static_cast<int>(clock.getRemaining()));
    if (result != 0) {
        delete connector;
        setLastError(connectorText);
        SDK_LOG(logbit::error, kMethod, connectorText);
        return result;
    }
    m_connector = connector;
    if (device->interfaceType == EIT_USB_HID_BARCODE_SCANNER)
        m_device = new CUsbHidDevice();
    else
        m_device = new CSerialDevice();
    if (!m_connector->copyDevice(m_device)) {
        SDK_LOG(logbit::error, kMethod, "Error during copy device from DeviceConnector");
        delete m_connector;
        m_connector = nullptr;
        delete m_device;
        m_device = nullptr;
        setLastError(connectorText);
        return 2;
    }
    m_connector->setErrorMsg(nullptr);
    m_handle = m_connector->getNativeHandle();
    if (handle != nullptr)
        *handle = m_handle;
    m_port = m_connector->getPort();
    startDeviceMonitor();
    m_breakSignal = breakSignal;
    m_exclusive = exclusive;
    m_connected = true;
    return 0;
}

void CConnection::startDeviceMonitor()
{
    // Called once the last monitor has ended (connect after a disconnect,
    // or a callback cleared while connected).
    if (m_device == nullptr) {
        SDK_LOG(logbit::error, "CConnection::startDeviceMonitor", "the CDevice object is null!!");
        return;
    }
    if (m_device->interfaceType == EIT_USB_HID_BARCODE_SCANNER)
        m_monitor = new CUsbHidDisconnectMonitor(m_device->portName);
    else
        m_monitor = new CSerialDisconnectMonitor(m_device->portName);
    // User data first: a loss right after the start already finds both.
    m_monitor->setUserData(m_userData);
    if (m_callback != nullptr)
        m_monitor->setCallback(m_callback);
    m_monitor->startThread(m_port);
}

int CConnection::disconnect()
{
    static const char* const kMethod = "CConnection::disconnect";
    CLogHelper scope(kMethod);
    setLastError("Disconnect successfully!");
    if (!m_initialized)
        return fail(kMethod, kNotInitialized, 4, logbit::error);

    std::lock_guard<std::mutex> sequence(m_disconnectSequence);
    CDisconnectMonitor* monitor = nullptr;
    {
        SectionGuard guard(*m_lock);
        if (!m_connected)
            return fail(kMethod, "We are not connected currently.", 0, logbit::trace);
        if (m_connector == nullptr)
            return fail(kMethod, "There is no connector inside running.", 0, logbit::trace);
        monitor = m_monitor;
        m_monitor = nullptr;
    }
    // The monitor polls the port: it ends before the port is let go.
    endMonitor(monitor);

    SectionGuard guard(*m_lock);
    std::string connectorText = "Disconnect successfully!";
    m_connector->setErrorMsg(&connectorText);
    int result = m_connector->disconnect();
    m_connector->setErrorMsg(nullptr);
    if (result != 0 && m_port != nullptr && m_port->isDisconnected()) {
        // A device that is gone cannot take the connector's last request;
        // the port is closed all the same, or the connection would refuse
        // every later connect.
        SDK_LOG(logbit::trace, kMethod, "the device is gone, the port is closed: " + connectorText);
        result = 0;
        connectorText = "Disconnect successfully!";
    }
    if (result == 0) {
        delete m_connector;  // closes and frees the port when still open
        m_connector = nullptr;
        m_handle = nullptr;
        m_port = nullptr;
        m_connected = false;
        setLastError("Disconnect successfully!");
        return 0;
    }
    return fail(kMethod, connectorText, result, logbit::error);
}

int CConnection::setDisconnectCallback(void* userData, DisconnectCallback callback)
{
    setLastError("Set disconnection callback successfully!");
    if (!m_initialized)
        return fail("CConnection::setDisconnectCallback", kNotInitialized, 4, logbit::error);
    if (callback == nullptr) {
        clearDisconnectCallback();
        return 0;
    }
    SectionGuard guard(*m_lock);
    // Kept for every later monitor, the user pointer before the callback.
    m_userData = userData;
    m_callback = callback;
    if (m_monitor != nullptr) {
        m_monitor->setUserData(userData);
        m_monitor->setCallback(callback);
    }
    return 0;
}

void CConnection::clearDisconnectCallback()
{
    // No disconnect runs meanwhile: the port stays until this returns.
    std::lock_guard<std::mutex> sequence(m_disconnectSequence);
    CDisconnectMonitor* monitor = nullptr;
    {
        SectionGuard guard(*m_lock);
        m_userData = nullptr;
        m_callback = nullptr;
        monitor = m_monitor;
        m_monitor = nullptr;
    }
    if (monitor == nullptr)
        return;
    // The running monitor holds the old pair and a monitor keeps a callback
    // once given: a new one without a callback watches from here on, so the
    // user data, which the caller may free now, is never handed back.
    endMonitor(monitor);
    SectionGuard guard(*m_lock);
    if (m_connected && m_monitor == nullptr)
        startDeviceMonitor();
}

int CConnection::setMonitorMask(int mask)
{
    static const char* const kMethod = "CConnection::setMonitorMask";
    setLastError("setMonitorMask successful!");
    if (!m_initialized)
        return fail(kMethod, kNotInitialized, 4, logbit::error);
    SectionGuard guard(*m_lock);
    if (m_monitor == nullptr) {
        SDK_LOG(logbit::error, kMethod, "the disconnect monitor is null!");
        setLastError("There is no device monitor currently.");
        return 2;
    }
    auto* serial = dynamic_cast<CSerialDisconnectMonitor*>(m_monitor);
    if (serial == nullptr) {
        SDK_LOG(logbit::error, kMethod, "can't convert to serial disconnect monitor pointer!");
        setLastError("This API only apply for Serial Device monitor.....");
        return 2;
    }
    serial->setMonitorMask(static_cast<unsigned int>(mask));
    return 0;
}

int CConnection::isPortAvailable(std::string port, bool* available)
{
    static const char* const kMethod = "CConnection::isPortAvailable";
    CLogHelper scope(kMethod);
    setLastError("isPortAvailable successful!");
    if (!m_initialized)
        return fail(kMethod, kNotInitialized, 4, logbit::error);
    SectionGuard guard(*m_lock);
    bool answer = false;
    port.erase(std::remove_if(port.begin(), port.end(), [](unsigned char c) { return std::isspace(c) != 0; }),
               port.end());
    std::transform(port.begin(), port.end(), port.begin(), [](unsigned char c) { return std::toupper(c); });
    if (port.rfind("COM", 0) == 0) {
        CSerialPort serial;
        if (serial.open(stringToWString("\\\\.\\" + port)) == 0) {
            answer = true;
            serial.close();
        }
    } else {
        CUsbHidPort hid;
        if (hid.open(stringToWString(port)) == 0) {
            answer = true;
            hid.close();
        } else {
            CSerialPort serial;
            if (serial.open(stringToWString(port)) == 0) {
                answer = true;
                serial.close();
            }
        }
    }
    if (available != nullptr)
        *available = answer;
    return 0;
}
