// Device-interface enumeration: SetupDiGetClassDevs snapshots the interfaces
// of a class into a device information set (a kernel object of the layer).
//
// Each interface class is one row of kInterfaceClasses: its GUID and the
// function that lists its present interfaces. A new class (COM ports, say)
// is a new row; an entry can grow fields (device properties) the same way.
#include "linux/internal/handles.h"
#include "linux/internal/hid.h"

#include "platform/error.h"
#include "platform/hid.h"
#include "platform/setupapi.h"

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace platform {
namespace {

struct InterfaceEntry {
    GUID classGuid;
    std::string path;
};

std::vector<std::string> hidInterfacePaths()
{
    std::vector<std::string> paths;
    for (const auto& interface : listHidInterfaces())
        paths.push_back(interface->identity.path);
    return paths;
}

GUID hidClass()
{
    GUID guid;
    HidD_GetHidGuid(&guid);
    return guid;
}

struct InterfaceClass {
    GUID (*guid)();
    std::vector<std::string> (*list)();
};

const InterfaceClass kInterfaceClasses[] = {
    {&hidClass, &hidInterfacePaths},
};

class DeviceInfoSet : public KernelObject {
public:
    std::vector<InterfaceEntry> interfaces;
};

std::shared_ptr<DeviceInfoSet> setFromHandle(HANDLE set)
{
    return objectFromHandle<DeviceInfoSet>(set);
}

HDEVINFO getClassDevs(const GUID* classGuid, DWORD flags)
{
    if (classGuid == nullptr && (flags & DIGCF_ALLCLASSES) == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    auto set = std::make_shared<DeviceInfoSet>();
    if ((flags & DIGCF_DEVICEINTERFACE) != 0) {
        for (const InterfaceClass& row : kInterfaceClasses) {
            const GUID guid = row.guid();
            if ((flags & DIGCF_ALLCLASSES) == 0 && !(guid == *classGuid))
                continue;
            for (std::string& path : row.list())
                set->interfaces.push_back({guid, std::move(path)});
        }
    }
    HANDLE handle = makeHandle(set);
    return handle != nullptr ? handle : INVALID_HANDLE_VALUE;
}

const InterfaceEntry* entryOf(const DeviceInfoSet& set, const SP_DEVICE_INTERFACE_DATA* data)
{
    if (data == nullptr || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) || data->Reserved >= set.interfaces.size()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return &set.interfaces[data->Reserved];
}

// The detail record for both widths: a DWORD, then the path's characters.
template <typename Detail, typename Char>
BOOL interfaceDetail(HDEVINFO handle, PSP_DEVICE_INTERFACE_DATA data, Detail* detail, DWORD detailSize,
                     LPDWORD requiredSize, PSP_DEVINFO_DATA deviceInfo, DWORD packedSize)
{
    const auto set = setFromHandle(handle);
    if (set == nullptr)
        return FALSE;
    const InterfaceEntry* entry = entryOf(*set, data);
    if (entry == nullptr)
        return FALSE;
    const DWORD needed = static_cast<DWORD>(offsetof(Detail, DevicePath) + (entry->path.size() + 1) * sizeof(Char));
    if (requiredSize != nullptr)
        *requiredSize = needed;
    if (deviceInfo != nullptr) {
        if (deviceInfo->cbSize != sizeof(SP_DEVINFO_DATA)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        deviceInfo->ClassGuid = entry->classGuid;
        deviceInfo->DevInst = static_cast<DWORD>(data->Reserved);
    }
    if (detail == nullptr || detailSize < needed) {
        SetLastError(detail == nullptr && detailSize != 0 ? ERROR_INVALID_PARAMETER : ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (detail->cbSize != sizeof(Detail) && detail->cbSize != packedSize) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Char* out = detail->DevicePath;
    for (std::size_t i = 0; i < entry->path.size(); ++i)
        out[i] = static_cast<Char>(static_cast<unsigned char>(entry->path[i]));
    out[entry->path.size()] = Char(0);
    return TRUE;
}

}  // namespace
}  // namespace platform

HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, LPCWSTR, void*, DWORD flags)
{
    return platform::getClassDevs(classGuid, flags);
}

HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, LPCSTR, void*, DWORD flags)
{
    return platform::getClassDevs(classGuid, flags);
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO handle, PSP_DEVINFO_DATA, const GUID* interfaceClassGuid, DWORD memberIndex,
                                 PSP_DEVICE_INTERFACE_DATA data)
{
    const auto set = platform::setFromHandle(handle);
    if (set == nullptr)
        return FALSE;
    if (interfaceClassGuid == nullptr || data == nullptr || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The member index counts the interfaces of the wanted class only.
    DWORD seen = 0;
    for (std::size_t i = 0; i < set->interfaces.size(); ++i) {
        if (!(set->interfaces[i].classGuid == *interfaceClassGuid))
            continue;
        if (seen++ == memberIndex) {
            data->InterfaceClassGuid = set->interfaces[i].classGuid;
            data->Flags = SPINT_ACTIVE;
            data->Reserved = i;
            return TRUE;
        }
    }
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
}

BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detailSize,
                                      LPDWORD requiredSize, PSP_DEVINFO_DATA deviceInfo)
{
    return platform::interfaceDetail<SP_DEVICE_INTERFACE_DETAIL_DATA_W, WCHAR>(set, data, detail, detailSize,
                                                                             requiredSize, deviceInfo, 6);
}

BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD detailSize,
                                      LPDWORD requiredSize, PSP_DEVINFO_DATA deviceInfo)
{
    return platform::interfaceDetail<SP_DEVICE_INTERFACE_DETAIL_DATA_A, CHAR>(set, data, detail, detailSize,
                                                                            requiredSize, deviceInfo, 5);
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set)
{
    if (platform::setFromHandle(set) == nullptr)
        return FALSE;
    return platform::closeHandle(set) ? TRUE : FALSE;
}
