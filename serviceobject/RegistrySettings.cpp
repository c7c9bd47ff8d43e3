#include "RegistrySettings.h"

#include "platform/registry.h"

#include <cstdint>
#include <vector>

const char* const kServiceOposKey = "SOFTWARE\\OLEforRetail\\ServiceOPOS";
const char* const kSuiteKey = "SOFTWARE\\OLEforRetail\\ServiceInfo\\Varnex";
const char* const kDebuggerKey = "SOFTWARE\\OLEforRetail\\ServiceInfo\\Varnex\\Debugger";

namespace {

constexpr std::size_t kStringLimit = 256;

bool sameName(const std::string& a, const char* b)
{
    std::string upper = a;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return upper == b;
}

bool readDword(HKEY key, const char* valueName, DWORD& value)
{
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof data;
    if (RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) != ERROR_SUCCESS ||
        size != sizeof data)
        return false;
    value = data;
    return true;
}

// The value as text: a DWORD in decimal (as the platform's 32-bit long
// prints it) or a string.
bool readValue(const std::string& keyPath, const std::string& valueName, bool asDword, std::string& text)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    bool read = false;
    if (asDword) {
        DWORD value = 0;
        read = readDword(key, valueName.c_str(), value);
        if (read)
            text = std::to_string(static_cast<std::int32_t>(value));
    } else {
        read = ReadStringValue(key, valueName.c_str(), kStringLimit, text);
    }
    RegCloseKey(key);
    return read;
}

}  // namespace

bool ReadStringValue(HKEY key, const char* valueName, std::size_t limit, std::string& text)
{
    std::vector<char> buffer(limit + 1, '\0');
    DWORD size = static_cast<DWORD>(limit);
    DWORD type = 0;
    if (RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
        ERROR_SUCCESS)
        return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return false;
    text.assign(buffer.data());  // up to its NUL
    return true;
}

std::string DeviceKeyPath(const std::string& category, const std::string& device)
{
    return std::string(kServiceOposKey) + "\\" + category + "\\" + device;
}

bool ReadDeviceValue(const std::string& category, const std::string& device, const std::string& valueName,
                     std::string& text)
{
    const bool dword = sameName(valueName, "SCANDATAOPTION_01") || sameName(valueName, "GOODSCANCOUNT") ||
                       sameName(valueName, "NOREADCOUNT") || sameName(valueName, "DECODE_GS1_LTD");
    return readValue(DeviceKeyPath(category, device), valueName, dword, text);
}

bool ReadSuiteValue(const std::string& valueName, std::string& text)
{
    return readValue(kSuiteKey, valueName, sameName(valueName, "DEVICE_POLL_FREQUENCY"), text);
}

bool ReadDeviceDword(const std::string& keyPath, const std::string& valueName, DWORD& value)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    const bool read = readDword(key, valueName.c_str(), value);
    RegCloseKey(key);
    return read;
}

bool WriteDeviceCounter(const std::string& keyPath, const std::string& valueName, DWORD value)
{
    if (!sameName(valueName, "GOODSCANCOUNT") && !sameName(valueName, "COMMERRORCOUNT") &&
        !sameName(valueName, "NOREADCOUNT"))
        return false;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return false;
    const bool written = RegSetValueExA(key, valueName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                        sizeof value) == ERROR_SUCCESS;
    RegCloseKey(key);
    return written;
}
