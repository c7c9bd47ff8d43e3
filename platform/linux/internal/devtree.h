// The device tree behind the SetupAPI stand-in: the devices of the COM-port
// and HID interface classes present now, each with one interface, an
// instance id, a device key and a description.
//
// Real devices come from sysfs ($VX_SYSFS_ROOT), virtual ones from the
// descriptor files in the runtime directory. Devices behind the
// remote-management filter driver are the driver's child devices: their
// instance ids begin with kFilterBusPrefix, their device keys carry a
// "Uniquifier" value, and their management path is kManagementPathHead,
// the instance id less the bus prefix, and the uniquifier. CreateFile opens
// such a path (any letter case) as the port's management channel when the
// port publishes one, else as the port or interface it belongs to.
//
// Thread safety: every function may be called from any thread.
#pragma once

#include "platform/hid.h"
#include "platform/setupapi.h"
#include "platform/types.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

inline constexpr const char* kFilterBusPrefix =
    "{91e7af5c-8de2-4342-806a-c87cd5541e9d}\\{2b78b334-a58f-4e88-8926-74aecf3219e8}\\";
inline constexpr std::size_t kFilterBusPrefixLength = 78;
inline constexpr const char* kManagementPathHead = "\\\\.\\{2ce3d77e-89ef-4ea6-9730-6fdf2a69508c}:";

struct ManagementTarget {
    std::string path;
    bool managementChannel = false;  // the COM port's management channel, not the port
};

struct DeviceNode {
    GUID interfaceClass{};
    std::string instanceId;
    std::string interfacePath;
    std::string description;
    // The device key's REG_SZ values, in order.
    std::vector<std::pair<std::string, std::string>> values;
    // A filter-driver child: the management path (lower case) and what it
    // opens ("\\.\COMn" or a HID interface path), for a COM port possibly
    // the port's own management channel.
    std::string managementPath;
    ManagementTarget opens;
};

// The devices of one class now, in the class's stable order: COM ports by
// COM number; HID interfaces real first, then virtual, each sorted by path.
std::vector<DeviceNode> comPortDevices();
std::vector<DeviceNode> hidDevices();

// Whether `path` begins with the management path head (any letter case).
bool isManagementPath(const std::string& path);
// What a management path opens now; nullopt when no present child has it.
std::optional<ManagementTarget> resolveManagementPath(const std::string& path);

// The interface path of a HID interface that the filter driver presents:
// its vendor id comes after the driver's bus in the path.
std::string makeFilterDriverHidPath(USHORT vendorId, USHORT productId, unsigned interfaceNumber,
                                    const std::string& location);

}  // namespace platform
