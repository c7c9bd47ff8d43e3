// Connects a USB HID barcode-scanner interface; a point-of-sale scanner
// (usage 2) is switched to its point-of-sale mode with feature report 254
// while connected.
#pragma once

#include "discovery/CDeviceConnector.h"

class CUsbHidBarcodeScanner;

class CUsbHidDeviceConnector : public CDeviceConnector {
public:
    CUsbHidDeviceConnector(CDevice* device, bool exclusive, bool breakSignal);
    ~CUsbHidDeviceConnector() override = default;

    int connect(int timeout) override;
    // Switches a point-of-sale scanner off first; a scanner that is gone
    // is simply let go.
    int disconnect() override;
    bool copyDevice(CDevice* device) override;

    bool send254Report(CUsbHidBarcodeScanner* port, int value);

private:
    bool m_exclusive;
};
