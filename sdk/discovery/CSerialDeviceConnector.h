// Connects a serial device (RS-232, USB serial or a port of another
// driver): opens the COM port, applies the device's line settings where
// they are needed and proves with the sync ping that the device answers,
// inside the filter driver's transaction mode for a management (Qox) port.
// A scanner in use may miss a ping (it is busy sending labels), so the ping
// is repeated while the connect's time-out lasts; without a time-out it is
// sent once.
#pragma once

#include "base/CAlarmClock.h"
#include "discovery/CDeviceConnector.h"
#include "discovery/CSerialDevice.h"

class CSerialPort;

class CSerialDeviceConnector : public CDeviceConnector {
public:
    CSerialDeviceConnector(CDevice* device, bool breakSignal);
    ~CSerialDeviceConnector() override = default;

    int connect(int timeout) override;
    bool copyDevice(CDevice* device) override;

    // True for a USB-serial device: no line settings, a ping without the
    // baud table.
    void setUsbSerial(bool usbSerial) { m_usbSerial = usbSerial; }

    // Pings the device on `port` until it answers or the time-out of the
    // running connect is spent (one ping outside a connect, or without a
    // time-out).
    bool checkDeviceExist(CSerialPort* port);
    // False only for a management port whose line-of-business port is held
    // by someone else.
    bool isNeedPortSetting4Qox(CSerialDevice* device);
    // True for a USB-serial connector or when every line setting is known.
    bool checkDeviceSettings(CSerialDevice* device);

private:
    bool m_usbSerial = false;
    // The time-out of the running connect; stopped outside one.
    CAlarmClock m_alarm;
};
