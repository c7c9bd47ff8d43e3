#include "discovery/CUsbHidDeviceConnector.h"

#include "discovery/CUsbHidDevice.h"
#include "discovery/CUsbHidDeviceFactory.h"

#include "base/CAlarmClock.h"
#include "base/CScanningSDK.h"
#include "base/StringUtils.h"
#include "ports/CUsbHidBarcodeScanner.h"

CUsbHidDeviceConnector::CUsbHidDeviceConnector(CDevice* device, bool exclusive, bool breakSignal)
    : CDeviceConnector(device, breakSignal), m_exclusive(exclusive)
{
}

bool CUsbHidDeviceConnector::send254Report(CUsbHidBarcodeScanner* port, int value)
{
    unsigned char report[CUsbHidBarcodeScanner::kReportLength] = {};
    report[0] = CUsbHidBarcodeScanner::kPosFeatureReportId;
    report[1] = static_cast<unsigned char>(value);
    if (port == nullptr || !port->setFeature(report, 2)) {
        SDK_LOG(logbit::error, "CUsbHidDeviceConnector::send254Report", "Failure in sending 254 report.");
        return false;
    }
    return true;
}

int CUsbHidDeviceConnector::connect(int timeout)
{
    constexpr const char* kMethod = "CUsbHidDeviceConnector::connect";
    if (!preCheck())
        return 1;
    CAlarmClock alarm;
    if (timeout > 0) {
        alarm.setTimeout(static_cast<DWORD>(timeout));
        alarm.start();
    }
    const std::wstring path = stringToWString(m_device->portName);
    HidDeviceInfo info;
    if (CUsbHidPort::GetDeviceInfo(path, info) != 0) {
        fail(kMethod, "Error during get the hid information", logbit::error);
        return 2;
    }
    auto* port = new CUsbHidBarcodeScanner(m_exclusive);
    if (port->open(path) != 0) {
        fail(kMethod, "Port isn't available. Port = " + m_device->portName, logbit::error);
        port->close();
        delete port;
        return 2;
    }
    CDevice* copy = new CUsbHidDevice();
    bool posModeOn = false;
    auto failWith = [&](const std::string& text, int code) {
        fail(kMethod, text, logbit::error);
        // A scanner left in its point-of-sale mode would stay there for
        // every later host: switch it back before letting it go.
        if (posModeOn)
            send254Report(port, 0);
        port->close();
        delete port;
        delete copy;
        return code;
    };
    {
        CUsbHidDeviceFactory factory(info, nullptr);
        CDevice* source = m_device;
        if (factory.copyDevice(source, copy, true) != 0)
            return failWith("Error happens during copying the device content.", 2);
    }
    if (alarm.isTimeout())
        return failWith("Error happened during setup the handshaking.", 3);
    if (m_device->interfaceUsage == EIU_HID_POS) {
        posModeOn = true;
        if (!send254Report(port, 1))
            return failWith("Error happens during send 254(1) report to HID interface.", 2);
    }
    if (alarm.isTimeout())
        return failWith("Error happened during setup the handshaking.", 3);
    if (!port->isOpened())
        return failWith("Device is disconnected..", 2);

    m_port = port;
    m_nativeHandle = port->getHandle();
    m_connectedDevice = copy;
    return 0;
}

int CUsbHidDeviceConnector::disconnect()
{
    auto* scanner = dynamic_cast<CUsbHidBarcodeScanner*>(m_port);
    if (m_connectedDevice != nullptr && m_connectedDevice->interfaceType == EIT_USB_HID_BARCODE_SCANNER &&
        m_connectedDevice->interfaceUsage == EIU_HID_POS && scanner != nullptr) {
        // A scanner that is gone cannot take the report; it leaves its
        // point-of-sale mode with its power, so the port is let go as usual.
        if (!scanner->isDisconnected() && !send254Report(scanner, 0)) {
            fail("CUsbHidDeviceConnector::disconnect", "Error happens during send 254 report to HID interface.",
                 logbit::error);
            return 2;
        }
    }
    return CDeviceConnector::disconnect();
}

bool CUsbHidDeviceConnector::copyDevice(CDevice* device)
{
    CUsbHidDeviceFactory factory(HidDeviceInfo{}, nullptr);
    CDevice* source = m_connectedDevice;
    if (factory.copyDevice(source, device, true) != 0) {
        fail("CUsbHidDeviceConnector::copyDevice", "Error happens during copy the device...", logbit::error);
        return false;
    }
    return true;
}
