#include "CDeviceStatusChecker.h"

#include "base/CLogHelper.h"
#include "base/CScanningSDK.h"
#include "ports/CBreaker.h"

bool CDeviceStatusChecker::isDeviceFunctional(PORTINFO* portInfo, int interfaceType)
{
    static const char* const kMethod = "CDeviceStatusChecker::isDeviceFunctional";
    CLogHelper trace(kMethod);
    if (portInfo == nullptr || portInfo->port == nullptr || interfaceType == -1) {
        SDK_LOG(logbit::trace, kMethod, "port info is null OR interface type is unknonw");
        return false;
    }
    switch (interfaceType) {
    case 0:
    case 1:
        return isSerialDeviceFunctional(portInfo, interfaceType);
    case 2:
    case 3:
    case 4:
        return isUsbHidDeviceFunctional(portInfo, interfaceType);
    default:
        return false;
    }
}

bool CDeviceStatusChecker::isSerialDeviceFunctional(PORTINFO* portInfo, int interfaceType)
{
    static const char* const kMethod = "CDeviceStatusChecker::isSerialDeviceFunctional";
    CLogHelper trace(kMethod);
    if (portInfo == nullptr || portInfo->port == nullptr) {
        SDK_LOG(logbit::trace, kMethod, "Port is null...");
        return false;
    }
    // The ping retunes the read count and delay of the record it is given.
    PORTINFO copy = *portInfo;
    CBreaker breaker(&copy);
    if (!breaker.ping(interfaceType == 1, false)) {
        SDK_LOG(logbit::trace, kMethod, "Ping the device via SYNC failure, no response....");
        return false;
    }
    return true;
}

bool CDeviceStatusChecker::isUsbHidDeviceFunctional(PORTINFO* portInfo, int /*interfaceType*/)
{
    static const char* const kMethod = "CDeviceStatusChecker::isUsbHidDeviceFunctional";
    CLogHelper trace(kMethod);
    if (portInfo == nullptr || portInfo->port == nullptr) {
        SDK_LOG(logbit::trace, kMethod, "Port is null...");
        return false;
    }
    return !portInfo->port->isDisconnected();
}
