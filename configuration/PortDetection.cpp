#include "PortDetection.h"

#include "FieldChecks.h"
#include "FormModel.h"

#include "platform/debug.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/hid.h"
#include "platform/setupapi.h"
#include "platform/sysinfo.h"

#include <cstdio>
#include <vector>

DosDeviceSource systemDosDevices()
{
    return [] {
        std::vector<std::string> names;
        OSVERSIONINFOA version{};
        version.dwOSVersionInfoSize = sizeof version;
        if (!GetVersionExA(&version) || version.dwPlatformId != VER_PLATFORM_WIN32_NT)
            return names;
        std::vector<char> buffer(65535);
        const DWORD count = QueryDosDeviceA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        std::string current;
        for (DWORD i = 0; i < count; ++i) {
            if (buffer[i] == '\0') {
                if (!current.empty())
                    names.push_back(current);
                current.clear();
            } else {
                current.push_back(buffer[i]);
            }
        }
        return names;
    };
}

void EnumerateComPorts(std::vector<unsigned>& ports, const DosDeviceSource& source)
{
    ports.clear();
    for (const std::string& name : source()) {
        if (name.size() <= 3 || !equalsNoCase(name.substr(0, 3), "COM"))
            continue;
        const std::string digits = name.substr(3);
        if (!IsDigitString(digits, false) || digits.size() > 9)
            continue;
        ports.push_back(static_cast<unsigned>(std::stoul(digits)));
    }
}

void SortPorts(std::vector<unsigned>& ports)
{
    for (std::size_t i = 0; i + 1 < ports.size(); ++i)
        for (std::size_t j = 0; j + 1 < ports.size() - i; ++j)
            if (ports[j] > ports[j + 1])
                std::swap(ports[j], ports[j + 1]);
}

std::vector<std::string> PortListEntries(const DosDeviceSource& source)
{
    std::vector<unsigned> ports;
    EnumerateComPorts(ports, source);
    SortPorts(ports);
    std::vector<std::string> entries;
    for (const unsigned port : ports)
        entries.push_back("COM" + std::to_string(port));
    entries.push_back("HID1");
    return entries;
}

namespace {

constexpr const char* kMakerNames[] = {"Brellon", "RQN", "Varnex"};
constexpr const char* kHidPortNames[] = {"HID1", "HID2", "HID3"};

// The device's strings come as wide characters (260 of them, the
// platform's 520 bytes); the list shows them in ISO-8859-1.
std::string narrowWide(const wchar_t* text)
{
    std::string out;
    for (; *text != 0; ++text)
        out.push_back(static_cast<unsigned>(*text) <= 0xFF ? static_cast<char>(*text) : '?');
    return out;
}

}  // namespace

int DetectHidScanners(std::vector<std::string>& products, int capacity)
{
    products.clear();
    GUID hidClass;
    HidD_GetHidGuid(&hidClass);
    HDEVINFO set = SetupDiGetClassDevsW(&hidClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return 0;
    for (DWORD index = 0; static_cast<int>(products.size()) < capacity; ++index) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, &hidClass, index, &data)) {
            if (GetLastError() != ERROR_NO_MORE_ITEMS) {
                char line[64];
                std::snprintf(line, sizeof line, "SetupDiEnumInterfaceDevice() Failed: %lu\n",
                              static_cast<unsigned long>(GetLastError()));
                OutputDebugStringA(line);
            }
            break;
        }
        DWORD needed = 0;
        SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &needed, nullptr);
        std::vector<BYTE> storage(needed + sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W));
        auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!SetupDiGetDeviceInterfaceDetailW(set, &data, detail, needed, nullptr, nullptr)) {
            char line[64];
            std::snprintf(line, sizeof line, "SetupDiGetDeviceInterfaceDetail() Failed: %lu\n",
                          static_cast<unsigned long>(GetLastError()));
            OutputDebugStringA(line);
            continue;
        }
        HANDLE device = CreateFileW(detail->DevicePath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    0, nullptr);
        if (device == INVALID_HANDLE_VALUE)
            continue;
        wchar_t manufacturer[260] = {};
        if (HidD_GetManufacturerString(device, manufacturer, sizeof manufacturer)) {
            const std::string name = narrowWide(manufacturer);
            bool maker = false;
            for (const char* wanted : kMakerNames) {
                const std::string w = wanted;
                maker = maker || (name.size() >= w.size() && equalsNoCase(name.substr(0, w.size()), w));
            }
            wchar_t product[260] = {};
            if (maker && HidD_GetProductString(device, product, sizeof product))
                products.push_back(narrowWide(product));
            else if (maker)
                products.push_back(std::string());
        }
        CloseHandle(device);
    }
    SetupDiDestroyDeviceInfoList(set);
    return static_cast<int>(products.size());
}

std::vector<HidPort> GetHidPortNames()
{
    std::vector<std::string> products;
    DetectHidScanners(products, 16);
    std::vector<HidPort> ports;
    for (std::size_t i = 0; i < products.size() && i < std::size(kHidPortNames); ++i)
        ports.push_back({products[i], kHidPortNames[i]});
    return ports;
}
