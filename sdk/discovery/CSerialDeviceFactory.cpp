#include "discovery/CSerialDeviceFactory.h"

#include "discovery/CUsbHidDevice.h"

#include "base/CScanningSDK.h"
#include "ports/CSerialPort.h"
#include "products/CProduct.h"
#include "protocol/CDeviceInfoFetcher.h"
#include "protocol/CDeviceInfoFiller.h"

namespace {

constexpr unsigned char kAck = 0x06;

}  // namespace

CSerialDeviceFactory::CSerialDeviceFactory(PORTINFO* portInfo, bool usbSerial, CMenuMemory* menuMemory)
    : CDeviceFactory(menuMemory), m_portInfo(portInfo), m_usbSerial(usbSerial)
{
}

void CSerialDeviceFactory::prepareFetcher(CDeviceInfoFetcher& fetcher)
{
    fetcher.setCancelFlag(getCancelFlag());
    fetcher.setTimeout(getRemaingTimeout());
}

bool CSerialDeviceFactory::stillAttached(const CDeviceInfoFetcher& fetcher, const char* method)
{
    if (fetcher.getLastMenuResponseCode() != -1)
        return true;
    if (isDeviceFunctional(m_portInfo, m_usbSerial ? EIT_USB_SERIAL : EIT_RS232))
        return true;
    SDK_LOG(logbit::trace, method, "Device is disconnected...");
    return false;
}

int CSerialDeviceFactory::checkUsage(PORTINFO*)
{
    return usageKept(EIU_LOB) ? EIU_LOB : EIU_UNKNOWN;
}

bool CSerialDeviceFactory::dpsCodeSettings(int code, int* dataBits, int* parity, int* stopBits)
{
    // Parity groups of three codes: none, even, odd, space, mark (Win32
    // parity codes 0, 2, 1, 4, 3); within a group 7/1, 7/2, 8/1.
    static constexpr int kParity[] = {0, 2, 1, 4, 3};
    if (code < 0 || code > 13)
        return false;
    const int variant = code % 3;
    *parity = kParity[code / 3];
    *dataBits = variant == 2 ? 8 : 7;
    *stopBits = variant == 1 ? 2 : 0;
    return true;
}

int CSerialDeviceFactory::createDevice(CDevice*& device)
{
    constexpr const char* kMethod = "CSerialDeviceFactory::createDevice";
    if (isStopped())
        return 3;
    auto* serial = dynamic_cast<CSerialDevice*>(device);
    if (serial == nullptr)
        return 7;
    serial->connectible = true;
    if (m_portInfo == nullptr || m_portInfo->port == nullptr) {
        SDK_LOG(logbit::trace, kMethod, "Timeout or port is null.");
        return 7;
    }
    if (dynamic_cast<CSerialPort*>(m_portInfo->port) == nullptr) {
        SDK_LOG(logbit::error, kMethod, "the interface port isn't Serial Device.");
        return 7;
    }
    m_portInfo->prepareData[0] = kAck;
    if (!checkProductName(m_portInfo)) {
        SDK_LOG(logbit::trace, kMethod, "Product name not in the list to find.");
        return 5;
    }
    serial->interfaceType = m_usbSerial ? EIT_USB_SERIAL : EIT_RS232;
    if (isDeviceFiltered(m_portInfo, serial->interfaceUsage, serial->interfaceType, std::string()))
        return 5;
    if (isStopped())
        return 3;
    CDeviceInfoFiller filler(serial, m_portInfo, &m_menuMemory, m_infoLevel);
    filler.setCancelFlag(getCancelFlag());
    filler.setTimeout(getRemaingTimeout());
    if (!fillRS232Settings(serial))
        return 8;
    if (isStopped())
        return 3;
    if (!filler.fillDeviceInfo()) {
        SDK_LOG(logbit::error, kMethod, "Error during fill the information. ");
        return 7;
    }
    return 0;
}

bool CSerialDeviceFactory::calibratePortInfo()
{
    constexpr const char* kMethod = "CSerialDeviceFactory::calibratePortInfo";
    if (m_usbSerial)
        return true;
    if (m_portInfo == nullptr || m_portInfo->port == nullptr) {
        SDK_LOG(logbit::trace, kMethod, "Timeout or port is null.");
        return false;
    }
    if (isStopped()) {
        SDK_LOG(logbit::trace, kMethod, "Stopped.");
        return false;
    }
    m_portInfo->prepareData[0] = kAck;
    if (dynamic_cast<CSerialPort*>(m_portInfo->port) == nullptr) {
        SDK_LOG(logbit::error, kMethod, "the interface port isn't Serial.");
        return false;
    }
    m_portInfo->readCount *= 3;
    CDeviceInfoFetcher fetcher(m_portInfo, &m_menuMemory);
    prepareFetcher(fetcher);
    fetcher.getProductName(std::string());
    return fetcher.getLastMenuResponseCode() != -1;
}

bool CSerialDeviceFactory::fillRS232Settings(CSerialDevice* device)
{
    constexpr const char* kMethod = "CSerialDeviceFactory::fillRS232Settings";
    if (device == nullptr || isStopped())
        return false;
    if (m_portInfo != nullptr) {
        if (auto* port = dynamic_cast<CSerialPort*>(m_portInfo->port)) {
            device->baudRate = port->getBaudrate();
            device->dataBits = port->getDataBits();
            device->parity = port->getParity();
            device->stopBits = port->getStopBits();
        }
    }
    if (m_infoLevel == 2 || device->mode == EDM_BOOT)
        return true;
    if (!fillRS232Handshaking(device)) {
        SDK_LOG(logbit::error, kMethod, "***Error happened during fill the RS232 handshakings...");
        return false;
    }
    if (isStopped())
        return false;
    if (!fillRS232DpsSettings(device)) {
        SDK_LOG(logbit::error, kMethod, "***Error happened during fill the RS232 dps settings...");
        return false;
    }
    if (isStopped())
        return false;
    if (!fillRS232Timeout(device)) {
        SDK_LOG(logbit::error, kMethod, "***Error happened during fill the RS232 timeout settings...");
        return false;
    }
    return true;
}

bool CSerialDeviceFactory::fillRS232Handshaking(CSerialDevice* device)
{
    constexpr const char* kMethod = "CSerialDeviceFactory::fillRS232Handshaking";
    if (device == nullptr || m_portInfo == nullptr)
        return false;
    CDeviceInfoFetcher fetcher(m_portInfo, &m_menuMemory);
    prepareFetcher(fetcher);
    auto nonNegative = [](int value) { return value < 0 ? 0 : value; };
    if (m_usbSerial) {
        m_portInfo->prepareData[0] = kAck;
        device->ctsHandshaking = nonNegative(fetcher.getUSBCTS());
        if (!stillAttached(fetcher, kMethod))
            return false;
        device->ackNakHandshaking = nonNegative(fetcher.getUSBACK());
        if (!stillAttached(fetcher, kMethod))
            return false;
    } else {
        device->ctsHandshaking = nonNegative(fetcher.get232CTS());
        if (!stillAttached(fetcher, kMethod))
            return false;
        device->xonXoff = nonNegative(fetcher.get232XON());
        if (!stillAttached(fetcher, kMethod))
            return false;
        device->ackNakHandshaking = nonNegative(fetcher.get232ACK());
        if (!stillAttached(fetcher, kMethod))
            return false;
    }
    if (device->ackNakHandshaking == 0)
        m_portInfo->prepareData[0] = 0;
    return true;
}

bool CSerialDeviceFactory::fillRS232DpsSettings(CSerialDevice* device)
{
    constexpr const char* kMethod = "CSerialDeviceFactory::fillRS232DpsSettings";
    if (device == nullptr)
        return false;
    if (m_usbSerial) {
        device->baudRate = -1;
        device->dataBits = -1;
        device->parity = -1;
        device->stopBits = -1;
        return true;
    }
    if (m_portInfo == nullptr)
        return false;
    CDeviceInfoFetcher fetcher(m_portInfo, &m_menuMemory);
    prepareFetcher(fetcher);
    const int code = fetcher.get232DpsSetting();
    int dataBits = 0;
    int parity = 0;
    int stopBits = 0;
    if (dpsCodeSettings(code, &dataBits, &parity, &stopBits)) {
        device->dataBits = dataBits;
        device->parity = parity;
        device->stopBits = stopBits;
        return true;
    }
    SDK_LOG(logbit::error, kMethod, "Unknown DPS settings");
    return isDeviceFunctional(m_portInfo, EIT_RS232);
}

bool CSerialDeviceFactory::fillRS232Timeout(CSerialDevice* device)
{
    constexpr const char* kMethod = "CSerialDeviceFactory::fillRS232Timeout";
    if (device == nullptr)
        return false;
    device->charDelay = 0;
    device->messageDelay = 0;
    device->functionDelay = 0;
    if (m_usbSerial)
        return true;
    if (m_portInfo == nullptr)
        return false;
    CDeviceInfoFetcher fetcher(m_portInfo, &m_menuMemory);
    prepareFetcher(fetcher);
    device->charDelay = fetcher.get232DlyChr();
    if (!stillAttached(fetcher, kMethod))
        return false;
    device->messageDelay = fetcher.get232DlyMsg();
    if (!stillAttached(fetcher, kMethod))
        return false;
    device->functionDelay = fetcher.get232DlyFunc();
    return stillAttached(fetcher, kMethod);
}

int CSerialDeviceFactory::copyDevice(CDevice*& source, CDevice*& destination)
{
    constexpr const char* kMethod = "CSerialDeviceFactory::copyDevice";
    auto* target = dynamic_cast<CSerialDevice*>(destination);
    if (source == nullptr || target == nullptr ||
        (dynamic_cast<CSerialDevice*>(source) == nullptr && dynamic_cast<CUsbHidDevice*>(source) == nullptr)) {
        SDK_LOG(logbit::error, kMethod, "the orignial device isn't CSerial device.");
        return 7;
    }
    const int ownUsage = target->interfaceUsage;
    // Copies the device fields (all serial settings from a serial source)
    // and clones the product; a hub's sub-product is refused.
    const bool cloned = copyDeviceRecord(*source, *target, kMethod);
    if (m_usbSerial) {
        target->interfaceType = EIT_USB_SERIAL;
    } else if (m_portInfo != nullptr && target->interfaceType != EIT_RS232 &&
               target->interfaceType != EIT_OTHER_SERIAL) {
        // A record cloned from another interface of the same scanner (a HID
        // interface) describes this serial port from now on: it must be
        // connected as a serial device, not the way its source was.
        target->interfaceType = EIT_RS232;
    }
    if (!cloned)
        return 7;
    if (ownUsage != EIU_UNKNOWN)
        target->interfaceUsage = ownUsage;
    if (m_portInfo == nullptr || m_infoLevel == 2)
        return 0;

    CDeviceInfoFetcher fetcher(m_portInfo, &m_menuMemory);
    prepareFetcher(fetcher);
    if (target->product != nullptr)
        target->product->terminalId = fetcher.getTerminalID(std::string());
    fillRS232Settings(target);
    if (target->product != nullptr &&
        isDeviceFiltered(m_portInfo, target->interfaceUsage, target->interfaceType, target->product->serialNumber))
        return 5;
    return 0;
}
