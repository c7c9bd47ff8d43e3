#include "discovery/CSerialFilterDriver.h"

#include "base/CScanningSDK.h"
#include "base/StringUtils.h"
#include "discovery/FilterDriverPaths.h"

#include "platform/error.h"
#include "platform/registry.h"
#include "platform/setupapi.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <cwctype>

namespace {

constexpr DWORD kLastIndex = 5000;

std::wstring upper(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
    return text;
}

std::string hexCode(DWORD code)
{
    char text[16];
    std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(code));
    return text;
}

// A REG_SZ value of a device key as wide text, in a buffer of `characters`
// characters; false when it cannot be read.
bool readText(HKEY key, const wchar_t* name, std::size_t characters, std::wstring* text, LONG* error)
{
    std::vector<BYTE> buffer((characters + 1) * sizeof(wchar_t), 0);
    DWORD size = static_cast<DWORD>(buffer.size() - sizeof(wchar_t));
    DWORD type = 0;
    *error = RegQueryValueExW(key, name, nullptr, &type, buffer.data(), &size);
    if (*error != ERROR_SUCCESS)
        return false;
    const auto* chars = reinterpret_cast<const wchar_t*>(buffer.data());
    text->assign(chars, wcsnlen(chars, buffer.size() / sizeof(wchar_t)));
    return true;
}

}  // namespace

std::string CSerialFilterDriver::getFDQoxPort(std::string port)
{
    static const char* const kMethod = "CSerialFilterDriver::getFDQoxPort";
    const std::wstring wanted = upper(stringToWString(port));

    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVINTERFACE_COMPORT, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return std::string();

    std::wstring remembered;
    bool found = false;
    for (DWORD index = 0; index <= kLastIndex; ++index) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!SetupDiEnumDeviceInfo(set, index, &device))
            continue;  // a gap in the set does not end the walk
        wchar_t idBuffer[520] = {};
        if (!SetupDiGetDeviceInstanceIdW(set, &device, idBuffer, 520, nullptr)) {
            SDK_LOG(logbit::trace, kMethod,
                    "SetupDiGetDeviceInstanceId failed, error =" + intToString(static_cast<int>(GetLastError())));
            break;
        }
        std::wstring id(idBuffer);
        for (wchar_t& c : id)
            c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));

        HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE)) {
            SDK_LOG(logbit::trace, kMethod, "Unable to open registry for device " + wstringToString(id));
            continue;
        }
        std::wstring portName;
        LONG error = 0;
        const bool read = readText(key, L"PortName", 130, &portName, &error);
        RegCloseKey(key);
        if (!read) {
            SDK_LOG(logbit::trace, kMethod, "Unable to get Port setting for device ");
            continue;
        }
        if (upper(portName) != wanted)
            continue;

        // The port's device: its uniquifier completes the management path.
        key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE)) {
            SDK_LOG(logbit::trace, kMethod,
                    "ChildIntfc::GetDeviceInstanceId: unable to get device hardware key, 0x" + hexCode(GetLastError()));
            break;
        }
        std::wstring uniquifier;
        if (!readText(key, L"Uniquifier", 6, &uniquifier, &error)) {
            RegCloseKey(key);
            SDK_LOG(logbit::trace, kMethod,
                    "ChildIntfc::GetDeviceInstanceId: unable to get uniquifier value, 0x" +
                        hexCode(static_cast<DWORD>(error)));
            break;
        }
        RegCloseKey(key);
        remembered = id + uniquifier.substr(0, 5);
        found = true;
        break;
    }
    SetupDiDestroyDeviceInfoList(set);

    // A device whose id is too short to carry the driver's bus has no
    // management port.
    if (!found || remembered.size() <= filterdriver::kBusPrefixLength)
        return std::string();
    return filterdriver::kQoxPathHead + wstringToString(remembered.substr(filterdriver::kBusPrefixLength));
}
