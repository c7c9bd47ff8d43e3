// Connectors: turn a device record that discovery produced into an open
// port to that device, keep the port until disconnect, and hand the
// connection facade the port, its native handle and a copy of the record.
//
// connect: 0 connected, 1 refused by the pre-check, 2 the device could not
// be reached or prepared, 3 the time-out ran out. disconnect: 0 closed (or
// nothing open), 2 the port could not be let go (it is kept). Failure texts
// go to the string given to setErrorMsg, else to the connector's own.
//
// A connector is used by one thread at a time (the connection facade
// serialises its calls).
#pragma once

#include "discovery/CDevice.h"

#include "ports/InterfacePort.h"

#include "platform/types.h"

#include <string>

class CDeviceConnector {
public:
    // `device` is not owned and must outlive connect.
    CDeviceConnector(CDevice* device, bool breakSignal);
    // Disconnects (without the HID point-of-sale report) and deletes what is
    // left.
    virtual ~CDeviceConnector();

    CDeviceConnector(const CDeviceConnector&) = delete;
    CDeviceConnector& operator=(const CDeviceConnector&) = delete;

    // `timeout` in milliseconds, 0 for none.
    virtual int connect(int timeout);
    virtual int disconnect();
    // Fills `device` (an empty record of the connector's kind) with a copy
    // of the connected device.
    virtual bool copyDevice(CDevice* device);

    void setErrorMsg(std::string* errorMsg) { m_errorMsg = errorMsg; }
    bool preCheck();

    // Valid after a successful connect; owned by the connector.
    InterfacePort* getPort() const { return m_port; }
    HANDLE getNativeHandle() const { return m_nativeHandle; }
    const CDevice* getConnectedDevice() const { return m_connectedDevice; }

protected:
    // Writes the text to the error target and logs it at `bit`.
    void fail(const char* method, const std::string& text, int bit);
    std::string& errorText();

    CDevice* m_connectedDevice = nullptr;
    CDevice* m_device;
    HANDLE m_nativeHandle = nullptr;
    bool m_breakSignal;
    int m_timeout = 0;
    std::string* m_errorMsg = nullptr;
    std::string m_ownErrorMsg;
    InterfacePort* m_port = nullptr;
};
