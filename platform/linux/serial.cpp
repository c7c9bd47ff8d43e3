// Serial ports. The termios backend and the COM table come with the serial
// line; until then no COM port exists.
#include "linux/internal/device.h"

namespace platform {

std::shared_ptr<DeviceObject> openSerialDevice(const std::string&, DWORD, DWORD, DWORD)
{
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
}

}  // namespace platform
