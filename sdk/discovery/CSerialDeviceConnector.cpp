#include "discovery/CSerialDeviceConnector.h"

#include "discovery/CPortEnumerator.h"
#include "discovery/CSerialDeviceFactory.h"
#include "discovery/CSerialFilterDriver.h"

#include "base/CAlarmClock.h"
#include "base/CScanningSDK.h"
#include "base/StringUtils.h"
#include "ports/CBreaker.h"
#include "ports/CFilterDriver.h"
#include "ports/CSerialPort.h"

#include <cctype>
#include <cstring>

namespace {

std::string upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool isQoxPort(const CDevice* device)
{
    return device != nullptr && device->fromFilterDriver == 1 && device->interfaceUsage == EIU_QOX;
}

}  // namespace

CSerialDeviceConnector::CSerialDeviceConnector(CDevice* device, bool breakSignal)
    : CDeviceConnector(device, breakSignal)
{
}

int CSerialDeviceConnector::connect(int timeout)
{
    constexpr const char* kMethod = "CSerialDeviceConnector::connect";
    if (!preCheck())
        return 1;
    m_timeout = timeout;
    CAlarmClock& alarm = m_alarm;
    alarm.stop();
    if (timeout > 0) {
        alarm.setTimeout(static_cast<DWORD>(timeout));
        alarm.start();
    }
    // Outside a connect, checkDeviceExist pings once.
    struct StopAlarm {
        CAlarmClock& alarm;
        ~StopAlarm() { alarm.stop(); }
    } stopAlarm{alarm};
    std::string path = upper(m_device->portName);
    if (path.rfind("COM", 0) == 0)
        path = "\\\\.\\" + path;
    auto* port = new CSerialPort();
    if (port->open(stringToWString(path)) != 0) {
        fail(kMethod, m_device->portName + " isn't available.", logbit::error);
        port->close();
        delete port;
        return 2;
    }
    auto* copy = new CSerialDevice();
    auto release = [&](int code) {
        port->close();
        delete port;
        delete copy;
        return code;
    };
    auto failWith = [&](const std::string& text, int code) {
        fail(kMethod, text, logbit::error);
        return release(code);
    };
    {
        CSerialDeviceFactory factory(nullptr, false);
        CDevice* source = m_device;
        CDevice* destination = copy;
        if (factory.copyDevice(source, destination) != 0)
            return failWith("Error happens during copying the device content.", 2);
    }
    if (isNeedPortSetting4Qox(copy)) {
        if (!m_usbSerial && port->setup(copy->baudRate, copy->dataBits, copy->parity, copy->stopBits) != 0) {
            fail(kMethod, "Error happened during setup the settings.", logbit::error);
            SDK_LOG(logbit::error, kMethod, "Baud" + intToString(copy->baudRate));
            SDK_LOG(logbit::error, kMethod, "Parity" + intToString(copy->parity));
            SDK_LOG(logbit::error, kMethod, "Data Bits" + intToString(copy->dataBits));
            SDK_LOG(logbit::error, kMethod, "Stop Bits" + intToString(copy->stopBits));
            return release(2);
        }
        if (copy->ctsHandshaking == 1 && port->setupHandshaking(3) != 0)
            return failWith("Error happened during setup the handshaking.", 2);
    }
    if (alarm.isTimeout())
        return failWith("Error happened during setup the handshaking.", 3);
    if (!checkDeviceExist(port)) {
        SDK_LOG(logbit::error, kMethod, "Device doesn't exist.");
        return release(2);
    }
    if (alarm.isTimeout())
        return failWith("Error happened during setup the handshaking.", 3);

    m_port = port;
    m_nativeHandle = port->getHandle();
    m_connectedDevice = copy;
    return 0;
}

bool CSerialDeviceConnector::checkDeviceExist(CSerialPort* port)
{
    constexpr const char* kMethod = "CSerialDeviceConnector::checkDeviceExist";
    if (port == nullptr) {
        errorText() = "port is null";
        return false;
    }
    PORTINFO portInfo;
    std::memset(&portInfo, 0, sizeof portInfo);
    portInfo.port = port;
    portInfo.readCount = 6;
    portInfo.readDelay = 2;
    const bool qox = isQoxPort(m_device);
    HANDLE handle = port->getHandle();
    if (qox) {
        if (!CFilterDriver::setTransTimeOut(handle, 5000)) {
            fail(kMethod, "Failure in setting the transaction timeout for FD QOX PORT.", logbit::error);
            return false;
        }
        if (!CFilterDriver::setTransMode(handle, 1)) {
            fail(kMethod, "Failure in turning on the transaction mode for QOX PORT.", logbit::error);
            return false;
        }
    }
    CBreaker breaker(&portInfo);
    bool answered = false;
    for (bool first = true;; first = false) {
        if (m_alarm.isRunning())
            breaker.setTimeout(m_alarm.getRemaining());
        answered = breaker.ping(m_usbSerial, qox);
        if (answered || !m_alarm.isRunning() || m_alarm.isTimeout())
            break;
        if (first)
            SDK_LOG(logbit::retry, kMethod, "No answer to the ping: pinging again until the time-out.");
    }
    if (!answered) {
        errorText() = "Ping device failure...";
        if (qox && !CFilterDriver::setTransMode(handle, 0))
            errorText() += "Failure in exiting the transaction mode.";
        return false;
    }
    if (qox && !CFilterDriver::setTransMode(handle, 0)) {
        fail(kMethod, "Failure in exiting the transaction mode.", logbit::error);
        return false;
    }
    return true;
}

bool CSerialDeviceConnector::isNeedPortSetting4Qox(CSerialDevice* device)
{
    if (device == nullptr)
        return false;
    if (!isQoxPort(device))
        return true;
    CPortEnumerator ports;
    std::vector<std::string> listed;
    if (device->interfaceType == EIT_RS232)
        listed = ports.enumerateFDSerial();
    else if (device->interfaceType == EIT_USB_SERIAL)
        listed = ports.enumerateFDUsbSerial();
    const std::string wanted = upper(device->portName);
    for (const std::string& lob : listed) {
        CSerialFilterDriver driver;
        if (upper(driver.getFDQoxPort(lob)) != wanted)
            continue;
        CSerialPort probe;
        if (probe.open(stringToWString("\\\\.\\" + lob)) != 0)
            return false;
        probe.close();
        return true;
    }
    return true;
}

bool CSerialDeviceConnector::checkDeviceSettings(CSerialDevice* device)
{
    constexpr const char* kMethod = "CSerialDeviceConnector::checkDeviceSettings";
    if (m_usbSerial)
        return true;
    if (device == nullptr)
        return false;
    if (device->baudRate == -1) {
        fail(kMethod, "RS232 Setting error - Unknown baud rate.", logbit::error);
        return false;
    }
    if (device->parity == -1) {
        fail(kMethod, "RS232 Setting error - Unknown Parity.", logbit::error);
        return false;
    }
    if (device->dataBits == -1) {
        fail(kMethod, "RS232 Setting error - Unknown data bits.", logbit::error);
        return false;
    }
    if (device->stopBits == -1) {
        fail(kMethod, "RS232 Setting error - Unknown stop bits.", logbit::error);
        return false;
    }
    return true;
}

bool CSerialDeviceConnector::copyDevice(CDevice* device)
{
    CSerialDeviceFactory factory(nullptr, false);
    CDevice* source = m_connectedDevice;
    CDevice* destination = device;
    if (factory.copyDevice(source, destination) != 0) {
        fail("CSerialDeviceConnector::copyDevice", "Error happens during copying the device content.",
             logbit::error);
        return false;
    }
    return true;
}
