#include "CUsbHidDevice.h"

#include "base/StringUtils.h"

void CUsbHidDevice::setHidSettings(const HidDeviceInfo& info)
{
    productId = info.productId;
    vendorId = info.vendorId;
    usage = info.usage;
    usagePage = info.usagePage;
    product = wstringToString(info.product);
    manufacturer = wstringToString(info.manufacturer);
    serialNumber = wstringToString(info.serialNumber);
    inputReportLength = info.inputReportLength;
    outputReportLength = info.outputReportLength;
    portName = info.path;
}
