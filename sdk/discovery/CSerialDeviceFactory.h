// The serial device factory: turns a serial port on which a scanner has
// answered the sync ping into a complete CSerialDevice record (filters,
// RS-232 settings read with menu queries, mode and product), prepares the
// port record for the queries, and clones records. The serial connector
// builds one without a port record, only to clone.
#pragma once

#include "discovery/CDeviceFactory.h"
#include "discovery/CSerialDevice.h"

class CDeviceInfoFetcher;

class CSerialDeviceFactory : public CDeviceFactory {
public:
    // `portInfo` may be null (a factory that only clones); not owned.
    CSerialDeviceFactory(PORTINFO* portInfo, bool usbSerial, CMenuMemory* menuMemory = nullptr);
    ~CSerialDeviceFactory() override = default;

    // 0 done, 3 stopped, 5 filtered out, 7 wrong record or port or the
    // information could not be filled, 8 the RS-232 settings not read.
    int createDevice(CDevice*& device) override;
    // 0 when usage 0 is kept, else -1; the argument is not used.
    int checkUsage(PORTINFO* portInfo) override;
    // Clones `source` (serial or HID) into `destination` (serial) with a copy
    // of its product; with a port record it also reads the line settings.
    // 0, 5 or 7 as createDevice.
    int copyDevice(CDevice*& source, CDevice*& destination);
    // Prepares the port record (ACK before every command, three times the
    // read count) and checks that the device answers a menu query.
    bool calibratePortInfo();

    bool fillRS232Settings(CSerialDevice* device);
    bool fillRS232Handshaking(CSerialDevice* device);
    bool fillRS232DpsSettings(CSerialDevice* device);
    bool fillRS232Timeout(CSerialDevice* device);

    // The line settings of a "232WRD?" code (0 to 13); false for any other.
    static bool dpsCodeSettings(int code, int* dataBits, int* parity, int* stopBits);

private:
    // False (logged) when the last query got no reply at all and the device
    // no longer answers.
    bool stillAttached(const CDeviceInfoFetcher& fetcher, const char* method);
    void prepareFetcher(CDeviceInfoFetcher& fetcher);

    PORTINFO* m_portInfo;
    bool m_usbSerial;
};
