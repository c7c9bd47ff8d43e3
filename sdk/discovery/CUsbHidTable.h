// Classifies a USB HID interface by the usage (and, for usage 2, the usage
// page) of its top-level collection.
#pragma once

#include "ports/HidDeviceInfo.h"

class CUsbHidTable {
public:
    static constexpr int kQoxUsagePage = 0xFF8C;

    virtual ~CUsbHidTable() = default;

    // The interface usage: 1 (Qox) for usage 2 on the management page, 0
    // (LOB) for usage 2 on any other page and for 6, 0x4A00 and 0x4B00,
    // else -1.
    static int getDeviceUsage(const HidDeviceInfo& info);
    // The interface type: 2 scanner (usage 2), 4 keyboard (6), 3 SurePOS
    // (0x4A00, 0x4B00), else -1.
    static int getInterfaceType(const HidDeviceInfo& info);
};
