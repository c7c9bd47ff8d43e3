// The name a flash host gives the simulated bootloader scanner as
// CFS_PORTFILENAME: "\\.\COMn" for its serial port (as the host's port list
// numbers the pseudo-terminal), or the HID path of the device that runs now.
#pragma once

#include "simulator/bootloader.h"

#include "platform/serial.h"

#include <string>

namespace flashpeer {

inline std::u16string portName(const vxsim::BootloaderScanner& scanner)
{
    std::string name;
    if (scanner.link() == vxsim::BootLink::hid) {
        name = scanner.hidPath();
    } else {
        const std::string pty = scanner.serialPath();
        for (const auto& port : platform::listSerialPorts())
            if (port.devicePath == pty)
                name = "\\\\.\\" + port.comName;
    }
    return std::u16string(name.begin(), name.end());
}

}  // namespace flashpeer
