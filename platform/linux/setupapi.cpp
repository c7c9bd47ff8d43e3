// Device and device-interface enumeration: SetupDiGetClassDevs snapshots the
// devices of a class (from the device tree, internal/devtree.h) into a device
// information set (a kernel object of the layer).
//
// Each class is one row of kDeviceClasses: its GUID and the function that
// lists its present devices.
#include "linux/internal/devtree.h"
#include "linux/internal/handles.h"
#include "linux/internal/text.h"

#include "platform/error.h"
#include "platform/hid.h"
#include "platform/setupapi.h"

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace platform {
namespace {

GUID hidClass()
{
    GUID guid;
    HidD_GetHidGuid(&guid);
    return guid;
}

GUID comPortClass()
{
    return GUID_DEVINTERFACE_COMPORT;
}

struct DeviceClass {
    GUID (*guid)();
    std::vector<DeviceNode> (*list)();
};

const DeviceClass kDeviceClasses[] = {
    {&hidClass, &hidDevices},
    {&comPortClass, &comPortDevices},
};

class DeviceInfoSet : public KernelObject {
public:
    std::vector<DeviceNode> devices;
    bool interfaces = false;  // made with DIGCF_DEVICEINTERFACE
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
    set->interfaces = (flags & DIGCF_DEVICEINTERFACE) != 0;
    for (const DeviceClass& row : kDeviceClasses) {
        if ((flags & DIGCF_ALLCLASSES) == 0 && !(row.guid() == *classGuid))
            continue;
        for (DeviceNode& node : row.list())
            set->devices.push_back(std::move(node));
    }
    HANDLE handle = makeHandle(set);
    return handle != nullptr ? handle : INVALID_HANDLE_VALUE;
}

const DeviceNode* interfaceOf(const DeviceInfoSet& set, const SP_DEVICE_INTERFACE_DATA* data)
{
    if (data == nullptr || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) || !set.interfaces ||
        data->Reserved >= set.devices.size()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return &set.devices[data->Reserved];
}

// The device a device record names (filled by SetupDiEnumDeviceInfo or an
// interface detail), or null with 87.
const DeviceNode* deviceOf(const DeviceInfoSet& set, const SP_DEVINFO_DATA* data)
{
    if (data == nullptr || data->cbSize != sizeof(SP_DEVINFO_DATA) || data->DevInst >= set.devices.size() ||
        !(set.devices[data->DevInst].interfaceClass == data->ClassGuid)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return &set.devices[data->DevInst];
}

// The detail record for both widths: a DWORD, then the path's characters.
template <typename Detail, typename Char>
BOOL interfaceDetail(HDEVINFO handle, PSP_DEVICE_INTERFACE_DATA data, Detail* detail, DWORD detailSize,
                     LPDWORD requiredSize, PSP_DEVINFO_DATA deviceInfo, DWORD packedSize)
{
    const auto set = setFromHandle(handle);
    if (set == nullptr)
        return FALSE;
    const DeviceNode* entry = interfaceOf(*set, data);
    if (entry == nullptr)
        return FALSE;
    const std::string& path = entry->interfacePath;
    const DWORD needed = static_cast<DWORD>(offsetof(Detail, DevicePath) + (path.size() + 1) * sizeof(Char));
    if (requiredSize != nullptr)
        *requiredSize = needed;
    if (deviceInfo != nullptr) {
        if (deviceInfo->cbSize != sizeof(SP_DEVINFO_DATA)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        deviceInfo->ClassGuid = entry->interfaceClass;
        deviceInfo->DevInst = static_cast<DWORD>(data->Reserved);
        deviceInfo->Reserved = data->Reserved;
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
    for (std::size_t i = 0; i < path.size(); ++i)
        out[i] = static_cast<Char>(static_cast<unsigned char>(path[i]));
    out[path.size()] = Char(0);
    return TRUE;
}

template <typename Char>
BOOL instanceId(HDEVINFO handle, PSP_DEVINFO_DATA device, Char* id, DWORD size, LPDWORD requiredSize)
{
    const auto set = setFromHandle(handle);
    if (set == nullptr)
        return FALSE;
    const DeviceNode* node = deviceOf(*set, device);
    if (node == nullptr)
        return FALSE;
    const DWORD needed = static_cast<DWORD>(node->instanceId.size() + 1);
    if (requiredSize != nullptr)
        *requiredSize = needed;
    if (id == nullptr || size < needed) {
        SetLastError(id == nullptr && size != 0 ? ERROR_INVALID_PARAMETER : ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    for (std::size_t i = 0; i < node->instanceId.size(); ++i)
        id[i] = static_cast<Char>(static_cast<unsigned char>(node->instanceId[i]));
    id[node->instanceId.size()] = Char(0);
    return TRUE;
}

template <typename Char>
BOOL registryProperty(HDEVINFO handle, PSP_DEVINFO_DATA device, DWORD property, LPDWORD type, LPBYTE buffer,
                      DWORD size, LPDWORD requiredSize)
{
    const auto set = setFromHandle(handle);
    if (set == nullptr)
        return FALSE;
    const DeviceNode* node = deviceOf(*set, device);
    if (node == nullptr)
        return FALSE;
    if (property != SPDRP_DEVICEDESC && property != SPDRP_FRIENDLYNAME) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    const std::string& text = node->description;
    const DWORD needed = static_cast<DWORD>((text.size() + 1) * sizeof(Char));
    if (requiredSize != nullptr)
        *requiredSize = needed;
    if (type != nullptr)
        *type = REG_SZ;
    if (buffer == nullptr || size < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::vector<Char> out(text.size() + 1, Char(0));
    for (std::size_t i = 0; i < text.size(); ++i)
        out[i] = static_cast<Char>(static_cast<unsigned char>(text[i]));
    std::memcpy(buffer, out.data(), needed);
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
    if (!set->interfaces) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    // The member index counts the interfaces of the wanted class only.
    DWORD seen = 0;
    for (std::size_t i = 0; i < set->devices.size(); ++i) {
        if (!(set->devices[i].interfaceClass == *interfaceClassGuid))
            continue;
        if (seen++ == memberIndex) {
            data->InterfaceClassGuid = set->devices[i].interfaceClass;
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

BOOL SetupDiEnumDeviceInfo(HDEVINFO handle, DWORD memberIndex, PSP_DEVINFO_DATA data)
{
    const auto set = platform::setFromHandle(handle);
    if (set == nullptr)
        return FALSE;
    if (data == nullptr || data->cbSize != sizeof(SP_DEVINFO_DATA)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (memberIndex >= set->devices.size()) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    data->ClassGuid = set->devices[memberIndex].interfaceClass;
    data->DevInst = memberIndex;
    data->Reserved = memberIndex;
    return TRUE;
}

BOOL SetupDiGetDeviceInstanceIdW(HDEVINFO set, PSP_DEVINFO_DATA device, LPWSTR id, DWORD size, LPDWORD requiredSize)
{
    return platform::instanceId(set, device, id, size, requiredSize);
}

BOOL SetupDiGetDeviceInstanceIdA(HDEVINFO set, PSP_DEVINFO_DATA device, LPSTR id, DWORD size, LPDWORD requiredSize)
{
    return platform::instanceId(set, device, id, size, requiredSize);
}

HKEY SetupDiOpenDevRegKey(HDEVINFO handle, PSP_DEVINFO_DATA device, DWORD, DWORD, DWORD keyType, REGSAM)
{
    const HKEY failed = reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE);
    const auto set = platform::setFromHandle(handle);
    if (set == nullptr)
        return failed;
    const platform::DeviceNode* node = platform::deviceOf(*set, device);
    if (node == nullptr)
        return failed;
    if (keyType != DIREG_DEV) {
        SetLastError(keyType == DIREG_DRV ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_PARAMETER);
        return failed;
    }
    // The key lives where the platform keeps it, and is brought up to date
    // with the device as it is now: values it has are written (an unchanged
    // value keeps its place), values it lacks are removed.
    const std::string path = "SYSTEM\\CurrentControlSet\\Enum\\" + node->instanceId + "\\Device Parameters";
    HKEY key = nullptr;
    LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr);
    for (const char* name : {"PortName", "Uniquifier"}) {
        if (result != ERROR_SUCCESS)
            break;
        const std::string* value = nullptr;
        for (const auto& [valueName, text] : node->values)
            if (valueName == name)
                value = &text;
        if (value == nullptr) {
            const LONG removed = RegDeleteValueA(key, name);
            result = removed == static_cast<LONG>(ERROR_FILE_NOT_FOUND) ? ERROR_SUCCESS : removed;
        } else {
            result = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value->c_str()),
                                    static_cast<DWORD>(value->size() + 1));
        }
    }
    if (result != ERROR_SUCCESS) {
        if (key != nullptr)
            RegCloseKey(key);
        SetLastError(static_cast<DWORD>(result));
        return failed;
    }
    return key;
}

BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property, LPDWORD type,
                                       LPBYTE buffer, DWORD size, LPDWORD requiredSize)
{
    return platform::registryProperty<CHAR>(set, device, property, type, buffer, size, requiredSize);
}

BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property, LPDWORD type,
                                       LPBYTE buffer, DWORD size, LPDWORD requiredSize)
{
    return platform::registryProperty<WCHAR>(set, device, property, type, buffer, size, requiredSize);
}

LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size)
{
    const std::string name = platform::narrowFromWide(valueName);
    DWORD storedType = 0;
    DWORD storedSize = 0;
    LONG result = RegQueryValueExA(key, name.c_str(), reserved, &storedType, nullptr, &storedSize);
    if (result != ERROR_SUCCESS)
        return result;
    std::vector<BYTE> bytes(storedSize);
    result = RegQueryValueExA(key, name.c_str(), reserved, &storedType, bytes.data(), &storedSize);
    if (result != ERROR_SUCCESS)
        return result;
    bytes.resize(storedSize);
    if (storedType == REG_SZ || storedType == REG_EXPAND_SZ) {
        std::vector<BYTE> wide(bytes.size() * sizeof(WCHAR));
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const WCHAR c = static_cast<WCHAR>(bytes[i]);
            std::memcpy(wide.data() + i * sizeof(WCHAR), &c, sizeof(WCHAR));
        }
        bytes.swap(wide);
    }
    if (type != nullptr)
        *type = storedType;
    if (size == nullptr)
        return data == nullptr ? ERROR_SUCCESS : static_cast<LONG>(ERROR_INVALID_PARAMETER);
    const DWORD capacity = *size;
    *size = static_cast<DWORD>(bytes.size());
    if (data == nullptr)
        return ERROR_SUCCESS;
    if (capacity < bytes.size())
        return ERROR_MORE_DATA;
    std::memcpy(data, bytes.data(), bytes.size());
    return ERROR_SUCCESS;
}
