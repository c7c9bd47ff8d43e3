// The record of a USB HID interface: the device record plus the interface's
// HID identity, copied from its HidDeviceInfo.
#pragma once

#include "CDevice.h"

#include "ports/HidDeviceInfo.h"

#include <string>

class CUsbHidDevice : public CDevice {
public:
    CUsbHidDevice() = default;
    ~CUsbHidDevice() override = default;

    CUsbHidDevice(const CUsbHidDevice&) = delete;
    // The device fields as CDevice's assignment copies them (the product
    // stays), then the HID settings.
    CUsbHidDevice& operator=(const CUsbHidDevice&) = default;

    // Takes the HID settings from `info` and the port name from its path.
    void setHidSettings(const HidDeviceInfo& info);

    int productId = 0;
    int vendorId = 0;
    int usage = 0;
    int usagePage = 0;
    // The interface's product string. It hides CDevice::product (the owned
    // product record) in this class's scope: reach that one through a
    // CDevice pointer or as CDevice::product.
    std::string product;
    std::string manufacturer;
    std::string serialNumber;
    int inputReportLength = 0;
    int outputReportLength = 0;
};
