// HID interfaces. The hidraw and virtual backends come with the HID line;
// until then no HID interface exists.
#include "linux/internal/device.h"

namespace platform {

std::shared_ptr<DeviceObject> openHidDevice(const std::string&, DWORD, DWORD, DWORD)
{
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
}

}  // namespace platform
