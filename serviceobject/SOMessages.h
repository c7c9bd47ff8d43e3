// The registered window message "DEVICE_ENABLE": the event queue posts it
// to the event window when a barcode is queued, and the window applies
// AutoDisable on it. Registered on first use; the same number in every
// process.
#pragma once

#include "platform/window.h"

UINT DeviceEnableMessage();
