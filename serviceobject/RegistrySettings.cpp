#include "RegistrySettings.h"

#include "debug/ZRIDbgBase.h"

#include "platform/registry.h"

#include <cstdint>
#include <mutex>
#include <set>
#include <vector>

const char* const kServiceOposKey = "SOFTWARE\\OLEforRetail\\ServiceOPOS";
const char* const kSuiteKey = "SOFTWARE\\OLEforRetail\\ServiceInfo\\Varnex";
const char* const kDebuggerKey = "SOFTWARE\\OLEforRetail\\ServiceInfo\\Varnex\\Debugger";

namespace {

constexpr std::size_t kStringLimit = 256;

std::string upperCase(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

bool sameName(const std::string& a, const char* b)
{
    return upperCase(a) == b;
}

// The values already told to be of the wrong type (key path and value name,
// upper-cased), so that a counter read at every scan is told once; one read
// as a DWORD again is forgotten, and told again should it go wrong again.
std::mutex g_toldLock;
std::set<std::string> g_told;
constexpr std::size_t kToldLimit = 256;

void noteType(const std::string& keyPath, const char* valueName, bool wrongType, ZRIDbgBase* debug)
{
    {
        std::lock_guard lock(g_toldLock);
        if (!wrongType && g_told.empty())
            return;
        const std::string id = upperCase(keyPath) + "\\" + upperCase(valueName);
        if (!wrongType) {
            g_told.erase(id);
            return;
        }
        if (debug == nullptr || g_told.count(id) != 0)
            return;
        if (g_told.size() < kToldLimit)
            g_told.insert(id);
    }
    debug->LogText2("RegistrySettings; ", "value of the wrong type read as missing", (keyPath + "\\" + valueName).c_str());
}

// A REG_DWORD value. Any other type is no number, whatever its size: a
// four-byte text "123" would read as 3355185.
bool readDword(HKEY key, const std::string& keyPath, const char* valueName, DWORD& value, ZRIDbgBase* debug)
{
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof data;
    const LONG result = RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA)
        return false;
    const bool wrongType = type != REG_DWORD;
    noteType(keyPath, valueName, wrongType, debug);
    if (wrongType || result != ERROR_SUCCESS || size != sizeof data)
        return false;
    value = data;
    return true;
}

// The value as text: a DWORD in decimal (as the platform's 32-bit long
// prints it) or a string.
bool readValue(const std::string& keyPath, const std::string& valueName, bool asDword, std::string& text,
               ZRIDbgBase* debug)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    bool read = false;
    if (asDword) {
        DWORD value = 0;
        read = readDword(key, keyPath, valueName.c_str(), value, debug);
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
                     std::string& text, ZRIDbgBase* debug)
{
    const bool dword = sameName(valueName, "SCANDATAOPTION_01") || sameName(valueName, "GOODSCANCOUNT") ||
                       sameName(valueName, "NOREADCOUNT") || sameName(valueName, "DECODE_GS1_LTD");
    return readValue(DeviceKeyPath(category, device), valueName, dword, text, debug);
}

bool ReadSuiteValue(const std::string& valueName, std::string& text, ZRIDbgBase* debug)
{
    return readValue(kSuiteKey, valueName, sameName(valueName, "DEVICE_POLL_FREQUENCY"), text, debug);
}

bool ReadDeviceDword(const std::string& keyPath, const std::string& valueName, DWORD& value, ZRIDbgBase* debug)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    const bool read = readDword(key, keyPath, valueName.c_str(), value, debug);
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
