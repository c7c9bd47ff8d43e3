#include "SOMessages.h"

UINT DeviceEnableMessage()
{
    static const UINT number = RegisterWindowMessageA("DEVICE_ENABLE");
    return number;
}
