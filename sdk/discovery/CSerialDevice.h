// The record of a serial device: the device record plus the RS-232 settings
// read from the device and applied by the serial connector. -1 in a line
// setting means that it is not known.
#pragma once

#include "CDevice.h"

class CSerialDevice : public CDevice {
public:
    CSerialDevice() = default;
    ~CSerialDevice() override = default;

    CSerialDevice(const CSerialDevice&) = delete;
    // The device fields as CDevice's assignment copies them (the product
    // stays), then the serial settings.
    CSerialDevice& operator=(const CSerialDevice&) = default;

    int charDelay = 0;
    int functionDelay = 0;
    int messageDelay = 0;
    int baudRate = -1;
    // 0 none, 1 odd, 2 even, 3 mark, 4 space.
    int parity = -1;
    int dataBits = -1;
    // 0 one, 1 one and a half, 2 two.
    int stopBits = -1;
    int ctsHandshaking = 0;
    int xonXoff = 0;
    int ackNakHandshaking = 0;
};
