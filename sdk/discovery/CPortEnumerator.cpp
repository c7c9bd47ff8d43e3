#include "discovery/CPortEnumerator.h"

#include "base/CScanningSDK.h"
#include "base/StringUtils.h"
#include "discovery/CSerialFilterDriver.h"
#include "ports/CFilterDriver.h"
#include "ports/CSerialPort.h"
#include "ports/CUsbHidPort.h"

#include "platform/error.h"
#include "platform/registry.h"
#include "platform/setupapi.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <cwchar>
#include <cwctype>

namespace {

constexpr DWORD kBufferSize = 1024;
constexpr const char* kSerialComm = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

std::string lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool contains(const std::string& text, const char* part)
{
    return text.find(part) != std::string::npos;
}

bool isComName(const std::string& lowerData)
{
    return lowerData.compare(0, 3, "com") == 0;
}

}  // namespace

template <typename Accept>
std::vector<std::string> CPortEnumerator::walkSerialComm(const char* method, Accept accept)
{
    // An unreadable registry is not "no ports": it is said, with its code.
    const auto failed = [method](const char* step, LONG code) {
        SDK_LOG(logbit::error, method,
                std::string(step) + " " + kSerialComm + " failed, error " + std::to_string(code) + ".");
    };
    std::vector<std::string> result;
    HKEY key = nullptr;
    if (const LONG opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSerialComm, 0, KEY_QUERY_VALUE, &key);
        opened != ERROR_SUCCESS) {
        failed("Opening", opened);
        return result;
    }
    DWORD longestName = 0;
    DWORD longestData = 0;
    const LONG info = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                       &longestName, &longestData, nullptr, nullptr);
    if (info != ERROR_SUCCESS) {
        failed("Querying", info);
        RegCloseKey(key);
        SetLastError(static_cast<DWORD>(info));
        return result;
    }
    std::vector<char> name(kBufferSize);
    std::vector<BYTE> data(kBufferSize);
    for (DWORD index = 0;; ++index) {
        std::fill(name.begin(), name.end(), 0);
        std::fill(data.begin(), data.end(), 0);
        DWORD nameSize = std::min<DWORD>(longestName + 1, kBufferSize);
        // Room for the longest data, rounded down to whole pairs, and a NUL;
        // the last byte of the buffer always stays 0.
        DWORD dataSize = std::min<DWORD>((longestData & ~1u) + 2, kBufferSize - 1);
        DWORD type = 0;
        const LONG listed = RegEnumValueA(key, index, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize);
        if (listed != ERROR_SUCCESS) {
            if (listed != ERROR_NO_MORE_ITEMS)
                failed("Listing", listed);
            break;
        }
        if (type != REG_SZ)
            continue;
        const std::string stored(reinterpret_cast<const char*>(data.data()));
        if (accept(lower(name.data()), lower(stored), stored))
            result.push_back(stored);
    }
    RegCloseKey(key);
    return result;
}

std::vector<std::string> CPortEnumerator::enumerateCOM(int mask)
{
    return walkSerialComm("CPortEnumerator::enumerateCOM", [mask](const std::string& n, const std::string& d, const std::string& stored) {
        if (!isComName(d))
            return false;
        const bool serial = contains(n, "\\device\\serial");
        const bool filter = contains(n, "\\device\\serial_ptvd");
        const bool makerUsb = contains(n, "\\device\\varnex_cdc_acmserial");
        if ((mask & kStandardSerial) != 0 && serial && !filter && !makerUsb)
            return true;
        if ((mask & kOtherSerial) != 0 && !serial && !makerUsb && contains(n, "\\device\\"))
            return true;
        if ((mask & kMakerUsbSerial) != 0 && makerUsb)
            return true;
        // The driver is asked only about its own ports, and only when one of
        // its classes is wanted.
        if ((mask & kFilterDriverSerial) != 0 && filter) {
            const std::string path = lower(CSerialFilterDriver().getFDQoxPort(stored));
            if (!path.empty() && !contains(path, "usbcdc"))
                return true;
        }
        if ((mask & kFilterDriverUsbSerial) != 0 && filter) {
            const std::string path = lower(CSerialFilterDriver().getFDQoxPort(stored));
            if (contains(path, "usbcdc"))
                return true;
        }
        return false;
    });
}

std::vector<std::string> CPortEnumerator::enumerateSerialQZT()
{
    return enumerateCOM(kStandardSerial);
}

std::vector<std::string> CPortEnumerator::enumerateUsbSerialQZT()
{
    return enumerateCOM(kMakerUsbSerial);
}

std::vector<std::string> CPortEnumerator::enumerateFDUsbSerial()
{
    return enumerateCOM(kFilterDriverUsbSerial);
}

std::vector<std::string> CPortEnumerator::enumerateSerialOthers()
{
    return enumerateCOM(kOtherSerial);
}

std::vector<std::string> CPortEnumerator::enumerateSerialOthersWithPattern(std::vector<std::string> patterns)
{
    for (std::string& pattern : patterns)
        pattern = lower(pattern);
    return walkSerialComm("CPortEnumerator::enumerateSerialOthersWithPattern", [&patterns](const std::string& n, const std::string& d, const std::string&) {
        if (contains(n, "\\device\\serial") || contains(n, "\\device\\varnex_cdc_acmserial") || !isComName(d))
            return false;
        return std::any_of(patterns.begin(), patterns.end(),
                           [&n](const std::string& pattern) { return n.find(pattern) != std::string::npos; });
    });
}

std::vector<std::string> CPortEnumerator::enumerateFDSerial()
{
    std::vector<std::string> ports = enumerateCOM(kFilterDriverSerial);
    const std::vector<std::string> others = enumerateFDSerialOthers();
    ports.erase(std::remove_if(ports.begin(), ports.end(),
                               [&others](const std::string& port) {
                                   return std::find(others.begin(), others.end(), port) != others.end();
                               }),
                ports.end());
    return ports;
}

std::vector<std::string> CPortEnumerator::enumerateFDSerialOthers()
{
    std::vector<std::string> result;
    const std::vector<std::string> others = enumerateSerialOthers();
    if (others.empty())
        return result;
    for (const std::string& port : enumerateCOM(kFilterDriverSerial)) {
        CSerialPort serial;
        if (serial.open(stringToWString("\\\\.\\" + port)) != 0) {
            SDK_LOG(logbit::trace, "CPortEnumerator::enumerateFDSerialOthers", port + " can't be opened.");
            serial.close();
            continue;
        }
        std::string original = lower(CFilterDriver::getOrigPortString(serial.getHandle()));
        if (original.find("\\\\.\\") != std::string::npos)
            original.erase(0, 4);
        for (const std::string& other : others) {
            if (lower(other) == original) {
                result.push_back(port);
                break;
            }
        }
        serial.close();
    }
    return result;
}

std::vector<std::string> CPortEnumerator::qoxPortsOf(const std::vector<std::string>& ports)
{
    std::vector<std::string> result;
    for (const std::string& port : ports) {
        CSerialFilterDriver driver;
        std::string path = driver.getFDQoxPort(port);
        if (!path.empty())
            result.push_back(std::move(path));
    }
    return result;
}

std::vector<std::string> CPortEnumerator::enumerateFDSerialQOX()
{
    return qoxPortsOf(enumerateFDSerial());
}

std::vector<std::string> CPortEnumerator::enumerateFDUsbSerialQOX()
{
    return qoxPortsOf(enumerateFDUsbSerial());
}

std::vector<std::string> CPortEnumerator::enumerateFDSerialOthersQOX()
{
    return qoxPortsOf(enumerateFDSerialOthers());
}

bool CPortEnumerator::enumeratePhysicalCOM(std::vector<std::string>& names, std::vector<std::string>& descriptions)
{
    HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVINTERFACE_COMPORT, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        SetLastError(GetLastError());
        return false;
    }
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!SetupDiEnumDeviceInfo(set, index, &device))
            break;
        HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
        if (key == reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE))
            continue;
        std::vector<BYTE> buffer(512 + sizeof(wchar_t), 0);
        DWORD size = 512;
        DWORD type = 0;
        bool accepted = false;
        if (RegQueryValueExW(key, L"PortName", nullptr, &type, buffer.data(), &size) == ERROR_SUCCESS &&
            type == REG_SZ) {
            const auto* chars = reinterpret_cast<const wchar_t*>(buffer.data());
            const std::wstring text(chars, wcsnlen(chars, 512 / sizeof(wchar_t)));
            if (text.size() > 3 && std::towupper(static_cast<wint_t>(text[0])) == L'C' &&
                std::towupper(static_cast<wint_t>(text[1])) == L'O' &&
                std::towupper(static_cast<wint_t>(text[2])) == L'M' && isNumber(text.substr(3), false)) {
                names.push_back(wstringToString(text));
                accepted = true;
            }
        }
        RegCloseKey(key);
        if (!accepted)
            continue;
        char description[256] = {};
        DWORD propertyType = 0;
        if (SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_DEVICEDESC, &propertyType,
                                              reinterpret_cast<BYTE*>(description), sizeof description - 1,
                                              nullptr) &&
            propertyType == REG_SZ)
            descriptions.emplace_back(description);
        else
            descriptions.emplace_back();
    }
    SetupDiDestroyDeviceInfoList(set);
    return true;
}

std::vector<HidDeviceInfo> CPortEnumerator::enumerateUsbHid()
{
    std::vector<HidDeviceInfo> result = CUsbHidPort::listHidDevice(kMakerVendorId1, 0, 0, 0);
    std::vector<HidDeviceInfo> second = CUsbHidPort::listHidDevice(kMakerVendorId2, 0, 0, 0);
    result.insert(result.end(), second.begin(), second.end());
    return result;
}

std::vector<std::string> CPortEnumerator::enumerateUsbHidPath()
{
    std::vector<std::string> paths;
    for (const HidDeviceInfo& info : enumerateUsbHid())
        paths.push_back(info.path);
    return paths;
}

bool CPortEnumerator::isUsbHidDeviceExist(std::string path)
{
    const std::string wanted = lower(path);
    const std::vector<HidDeviceInfo> present = enumerateUsbHid();
    return std::any_of(present.begin(), present.end(),
                       [&wanted](const HidDeviceInfo& info) { return lower(info.path) == wanted; });
}

bool CPortEnumerator::isNumber(const std::wstring& text, bool allowColon)
{
    if (text.empty())
        return false;
    return std::all_of(text.begin(), text.end(),
                       [allowColon](wchar_t c) { return (c >= L'0' && c <= L'9') || (allowColon && c == L':'); });
}
