// The COM table: which tty each "COMn" names, and the live
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM view built from it.
//
// Ports are found afresh on every call: real ones in
// $VX_SYSFS_ROOT/class/tty (default /sys), virtual ones in the runtime
// directory. A port keeps its COM number across runs: numbers live in a
// small table file next to the registry database ("<registry folder>/
// serial-ports"), keyed by the port's sysfs device path or its virtual id,
// and updated under an flock so that processes never hand out one number
// twice. A real port "ttySn" asks for COM(n+1) first; every other port takes
// the lowest free number. The table notes when each port was last seen: once
// all 255 numbers are taken, a new port gets the number of the port absent
// the longest, and the debugger output says so. The table is opened without
// following links and made 0600. The kernel-device name is the kind of the port
// followed by the COM number less one ("\Device\Serial0" for COM1).
#pragma once

#include "linux/internal/serial_virtual.h"
#include "platform/serial.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

struct SerialPortEntry {
    SerialPortInfo info;
    std::optional<VirtualSerialDescriptor> virtualPort;  // set for a virtual port
};

std::vector<SerialPortEntry> serialPortEntries();

// The port a "COMn" name (any letter case) names now; nullopt when none.
std::optional<SerialPortEntry> findSerialPort(const std::string& comName);

// USB vendor ids whose CDC ACM ports count as the maker's USB-serial ports:
// $VX_MAKER_USB_VENDORS (hex ids separated by commas), empty by default.
std::vector<unsigned> makerUsbVendorIds();

}  // namespace platform
