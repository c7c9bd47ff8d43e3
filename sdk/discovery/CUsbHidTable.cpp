#include "discovery/CUsbHidTable.h"

#include "discovery/CDevice.h"

#include "base/CScanningSDK.h"
#include "base/StringUtils.h"

namespace {

void logIdentity(const char* method, const HidDeviceInfo& info)
{
    SDK_LOG(logbit::trace, method, "VID:" + intToString(info.vendorId));
    SDK_LOG(logbit::trace, method, "PID:" + intToString(info.productId));
    SDK_LOG(logbit::trace, method, "Usage:" + intToString(info.usage));
    SDK_LOG(logbit::trace, method, "Page:" + intToString(info.usagePage));
}

}  // namespace

int CUsbHidTable::getDeviceUsage(const HidDeviceInfo& info)
{
    constexpr const char* kMethod = "CUsbHidTable::getDeviceUsage";
    logIdentity(kMethod, info);
    if (info.usage == 2 && info.usagePage == kQoxUsagePage) {
        SDK_LOG(logbit::trace, kMethod, "Usage = QOX.");
        return EIU_QOX;
    }
    if (info.usage == 2 || info.usage == 6 || info.usage == 0x4A00 || info.usage == 0x4B00) {
        SDK_LOG(logbit::trace, kMethod, "Usage = LOB.");
        return EIU_LOB;
    }
    SDK_LOG(logbit::trace, kMethod, "Usage = Unkonw.");
    return EIU_UNKNOWN;
}

int CUsbHidTable::getInterfaceType(const HidDeviceInfo& info)
{
    constexpr const char* kMethod = "CUsbHidTable::getInterfaceType";
    logIdentity(kMethod, info);
    switch (info.usage) {
    case 2:
        SDK_LOG(logbit::trace, kMethod, "Interface type = EIT_USB_HID_BARCODE_SCANNER.");
        return EIT_USB_HID_BARCODE_SCANNER;
    case 6:
        SDK_LOG(logbit::trace, kMethod, "Interface type = EIT_USB_HID_KBD:");
        return EIT_USB_HID_KBD;
    case 0x4A00:
    case 0x4B00:
        SDK_LOG(logbit::trace, kMethod, "Interface type = EIT_USB_HID_IBM_SUREPOS:");
        return EIT_USB_HID_IBM_SUREPOS;
    default:
        SDK_LOG(logbit::trace, kMethod, "Interface type = EIT_UNKNOWN:");
        return EIT_UNKNOWN;
    }
}
