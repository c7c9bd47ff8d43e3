#include "discovery/CUsbHidFilterDriver.h"

#include "base/CScanningSDK.h"
#include "base/StringUtils.h"
#include "discovery/FilterDriverPaths.h"

#include "platform/error.h"
#include "platform/hid.h"
#include "platform/registry.h"
#include "platform/setupapi.h"

#include <cctype>
#include <cstring>
#include <cwchar>
#include <vector>

namespace {

const char* const kMethod = "CUsbHidFilterDriver::getFDQoxPort";

std::string lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The "Uniquifier" of a device's key; false when the key or the value
// cannot be read.
bool readUniquifier(HDEVINFO set, SP_DEVINFO_DATA* device, std::wstring* text)
{
    HKEY key = SetupDiOpenDevRegKey(set, device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE))
        return false;
    // Room for five characters and the terminator.
    std::vector<BYTE> buffer(7 * sizeof(wchar_t), 0);
    DWORD size = static_cast<DWORD>(buffer.size() - sizeof(wchar_t));
    DWORD type = 0;
    const LONG result = RegQueryValueExW(key, L"Uniquifier", nullptr, &type, buffer.data(), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS)
        return false;
    const auto* chars = reinterpret_cast<const wchar_t*>(buffer.data());
    text->assign(chars, wcsnlen(chars, 5));
    return true;
}

// The device path of the interface at `index` and its owning device; false
// when there is none.
bool interfaceAt(HDEVINFO set, const GUID& hidClass, DWORD index, std::string* path, SP_DEVINFO_DATA* device)
{
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    if (!SetupDiEnumDeviceInterfaces(set, nullptr, &hidClass, index, &data))
        return false;
    DWORD needed = 0;
    SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &needed, nullptr);
    if (needed == 0)
        return false;
    std::vector<unsigned char> storage(needed + sizeof(wchar_t), 0);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    device->cbSize = sizeof(SP_DEVINFO_DATA);
    if (!SetupDiGetDeviceInterfaceDetailW(set, &data, detail, needed, nullptr, device))
        return false;
    *path = wstringToString(detail->DevicePath);
    return true;
}

bool hasInterface(HDEVINFO set, const GUID& hidClass, DWORD index)
{
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    return SetupDiEnumDeviceInterfaces(set, nullptr, &hidClass, index, &data) != FALSE;
}

// The walk over the HID class that both lookups make. `wanted` empty lists
// every child; otherwise the walk ends at the child whose path matches.
// Returns false when the class list could not be made.
bool walkChildren(const std::string& wanted, std::vector<std::string>* found)
{
    GUID hidClass;
    HidD_GetHidGuid(&hidClass);
    HDEVINFO set = SetupDiGetClassDevsW(&hidClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        SDK_LOG(logbit::system, kMethod,
                "SetupDiGetClassDevs failed, error:" + intToString(static_cast<int>(GetLastError())));
        return false;
    }
    const std::size_t prefix = filterdriver::kBusPrefixLength;
    for (DWORD i = 0;; ++i) {
        SDK_LOG(logbit::trace, kMethod, "check --------" + intToString(static_cast<int>(i)));
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        wchar_t idBuffer[520] = {};
        if (!SetupDiEnumDeviceInfo(set, i, &device) ||
            !SetupDiGetDeviceInstanceIdW(set, &device, idBuffer, 520, nullptr))
            break;  // past the last device, or a device that cannot be read
        const std::string id = wstringToString(idBuffer);
        if (id.size() > prefix && lower(id.substr(0, prefix)) == filterdriver::kBusPrefix) {
            std::string path;
            SP_DEVINFO_DATA owner{};
            if (!interfaceAt(set, hidClass, i, &path, &owner))
                break;
            if (!wanted.empty() && lower(path) != wanted)
                continue;
            std::wstring uniquifier;
            if (!readUniquifier(set, &owner, &uniquifier))
                break;
            found->push_back(filterdriver::kQoxPathHead + (id + wstringToString(uniquifier)).substr(prefix));
            if (!wanted.empty())
                break;
            continue;
        }
        // Not a child: go on while there is a next interface to look at.
        if (!hasInterface(set, hidClass, id.size() <= prefix ? i : i + 1))
            break;
    }
    SetupDiDestroyDeviceInfoList(set);
    return true;
}

}  // namespace

std::string CUsbHidFilterDriver::getFDQoxPort(std::string path)
{
    std::vector<std::string> found;
    // An empty path would list every child; it names none.
    if (path.empty() || !walkChildren(lower(path), &found) || found.empty())
        return std::string();
    return found.front();
}

std::vector<std::string> CUsbHidFilterDriver::listQoxHidDevice()
{
    std::vector<std::string> found;
    walkChildren(std::string(), &found);
    return found;
}
