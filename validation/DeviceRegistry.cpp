#include "DeviceRegistry.h"

namespace probe {

namespace {

constexpr std::size_t kMaxRegistryText = 16383;

}  // namespace

RegKey::~RegKey()
{
    if (m_key != nullptr)
        RegCloseKey(m_key);
}

bool RegKey::open(const std::string& path)
{
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &m_key) == ERROR_SUCCESS;
}

std::vector<RegValue> readValues(HKEY key, DWORD limit, LONG* error)
{
    std::vector<RegValue> values;
    for (DWORD index = 0; index < limit; ++index) {
        std::vector<char> name(kMaxRegistryText + 1);
        DWORD nameSize = static_cast<DWORD>(name.size());
        std::vector<BYTE> data(kMaxRegistryText + 1);
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        const LONG status = RegEnumValueA(key, index, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize);
        if (status != ERROR_SUCCESS) {
            if (error != nullptr && status != ERROR_NO_MORE_ITEMS)
                *error = status;
            break;
        }
        RegValue value{std::string(name.data(), nameSize), type, {}};
        if (type == REG_SZ) {
            value.text.assign(reinterpret_cast<const char*>(data.data()), dataSize);
            while (!value.text.empty() && value.text.back() == '\0')
                value.text.pop_back();
        }
        values.push_back(std::move(value));
    }
    return values;
}

std::string lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::vector<std::string> suiteDevices(const std::string& categoryPath, const std::string& manufacturer,
                                      const std::string& maker, DWORD valueLimit, DWORD& subKeys)
{
    std::vector<std::string> devices;
    subKeys = 0;
    RegKey category;
    if (!category.open(categoryPath))
        return devices;
    RegQueryInfoKeyA(category.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr);
    const std::string wantedName = lower(manufacturer);
    const std::string wantedMaker = lower(maker);
    for (DWORD index = 0; index < subKeys; ++index) {
        char name[256];
        DWORD nameSize = sizeof name;
        if (RegEnumKeyExA(category.get(), index, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            continue;
        const std::string device(name, nameSize);
        RegKey deviceKey;
        if (!deviceKey.open(categoryPath + "\\" + device))
            continue;
        for (const RegValue& value : readValues(deviceKey.get(), valueLimit)) {
            if (value.type == REG_SZ && lower(value.name) == wantedName && lower(value.text) == wantedMaker) {
                devices.push_back(device);
                break;
            }
        }
    }
    return devices;
}

}  // namespace probe
