// The enumerator of serial devices, one per serial kind: 0 RS-232 ports, 1
// the maker's USB-serial ports, 2 serial ports of other drivers (records
// get interface type 5). The LOB pass probes the ordinary ports of the kind
// and then those the filter driver presents (sync ping, then the serial
// factory); the Qox pass probes the management port behind each
// filter-driver port inside the driver's transaction mode, or clones the
// record already found on its LOB port.
//
// Every probe holds the port's probe mark (CProbeMark) while the port is
// open. A line that never falls quiet ends the probe after one drain (at
// most CHandshakingHandler::kDrainLimitMs) and the port is given up with a
// log line, rather than drained again at every baud rate and dps.
#pragma once

#include "discovery/CDeviceEnumerator.h"
#include "discovery/CSerialDevice.h"
#include "discovery/PORTINFO.h"

#include <string>
#include <vector>

class CBreaker;
class CSerialPort;

class CSerialDeviceEnumerator : public CDeviceEnumerator {
public:
    static constexpr int kRs232 = 0;
    static constexpr int kUsbSerial = 1;
    static constexpr int kOtherSerial = 2;

    CSerialDeviceEnumerator(const CDiscoveryTemplate* discoveryTemplate, std::vector<CDevice*>* devices,
                            int serialKind);
    ~CSerialDeviceEnumerator() override = default;

    int enumerate() override;
    int enumerateLOB();
    int enumerateFDQox();

    std::vector<std::string> getAllFDLOBPorts();
    std::vector<std::string> getFilteredFDLOBPorts();
    std::vector<std::string> getFilteredNormalLOBPorts();

    // Creation results: 0 built or copied, 3 stopped, 5 filtered out, 6
    // calibration failed, 7 preparation or factory failure, 8 RS-232
    // settings not read, -1 no answer or no transaction mode.
    int createRS232Device(CDevice*& device, CSerialPort* port, bool viaFilterDriver);
    int createUsbSerialDevice(CDevice*& device, CSerialPort* port);
    int createDeviceGeneral(CDevice*& device, PORTINFO* portInfo);
    int createFDQoxDevice(CDevice*& device, CSerialPort* port, bool lobPortFree);
    void createFDQoxDeviceFromPort(CSerialPort* port, const std::string& qoxPort, bool lobPortFree);
    void copyFDQoxDeviceFromLOB(CSerialPort* port, CDevice* lobDevice, const std::string& qoxPort);

    int serialKind() const { return m_serialKind; }

private:
    // The checks before every port: 1 time-out, 2 cancelled, 0 list full,
    // -1 go on.
    int stopCheck(const char* method);
    bool modemLinesShowDevice(CSerialPort& port);
    static PORTINFO emptyPortInfo(CSerialPort* port);
    void transactionModeOff(HANDLE handle, const char* method);
    // Notes a ping that failed because the line never fell quiet; true then.
    bool noteChatter(const CBreaker& breaker);
    // Logs that the port is given up when its last probe met a line that
    // never fell quiet.
    void logIfGivenUp(const std::string& portName);

    int m_serialKind;
    // The current port's probe met a line that never fell quiet.
    bool m_lineNeverQuiet = false;
};
