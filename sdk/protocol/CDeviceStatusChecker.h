// Does the device behind a port-info record still respond? A serial device
// is asked with the sync ping; a USB HID device is judged by its port's own
// disconnect state, without any exchange. Used as the second base class of
// the information workers, which ask it when a query got no reply at all.
//
// No state and no lock. The serial check writes to and reads from the port,
// so nothing else may read that port meanwhile; it works on a copy of the
// record, so the caller's record keeps its read count and delay.
#pragma once

#include "discovery/PORTINFO.h"

class CDeviceStatusChecker {
public:
    CDeviceStatusChecker() = default;
    virtual ~CDeviceStatusChecker() = default;

    // Interface types 0 and 1: the serial check; 2 to 4: the HID check; a
    // null record, no port or type -1: false with a trace; any other type
    // (5 included): false without one.
    bool isDeviceFunctional(PORTINFO* portInfo, int interfaceType);
    // The sync ping on a copy of the record; type 1 (USB serial) skips the
    // baud-rate tuning.
    bool isSerialDeviceFunctional(PORTINFO* portInfo, int interfaceType);
    // True exactly when the port does not report a disconnection.
    bool isUsbHidDeviceFunctional(PORTINFO* portInfo, int interfaceType);
};
