#include "RegistryApi.h"

LONG RegistryApi::OpenKey(HKEY parent, const std::string& subKey, REGSAM access, HKEY* result)
{
    return RegOpenKeyExA(parent, subKey.c_str(), 0, access, result);
}

LONG RegistryApi::CreateKey(HKEY parent, const std::string& subKey, REGSAM access, HKEY* result, bool* created)
{
    DWORD disposition = 0;
    const LONG status = RegCreateKeyExA(parent, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                                        result, &disposition);
    if (created != nullptr)
        *created = status == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY;
    return status;
}

LONG RegistryApi::CloseKey(HKEY key)
{
    return RegCloseKey(key);
}

LONG RegistryApi::SetValue(HKEY key, const std::string& name, DWORD type, const BYTE* data, DWORD size)
{
    return RegSetValueExA(key, name.c_str(), 0, type, data, size);
}

LONG RegistryApi::QueryValue(HKEY key, const std::string& name, DWORD* type, std::vector<BYTE>* data)
{
    DWORD size = 0;
    LONG status = RegQueryValueExA(key, name.c_str(), nullptr, type, nullptr, &size);
    if (status != ERROR_SUCCESS || data == nullptr)
        return status;
    data->resize(size);
    status = RegQueryValueExA(key, name.c_str(), nullptr, type, data->data(), &size);
    data->resize(size);
    return status;
}

LONG RegistryApi::DeleteValue(HKEY key, const std::string& name)
{
    return RegDeleteValueA(key, name.c_str());
}

LONG RegistryApi::DeleteKey(HKEY parent, const std::string& subKey)
{
    return RegDeleteKeyA(parent, subKey.c_str());
}

LONG RegistryApi::EnumKey(HKEY key, DWORD index, std::string* name)
{
    char buffer[256];
    DWORD size = sizeof buffer;
    const LONG status = RegEnumKeyExA(key, index, buffer, &size, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS)
        name->assign(buffer, size);
    return status;
}

LONG RegistryApi::EnumValue(HKEY key, DWORD index, std::string* name, DWORD* type, std::vector<BYTE>* data)
{
    std::vector<char> nameBuffer(16384);
    DWORD nameSize = static_cast<DWORD>(nameBuffer.size());
    data->assign(16383, 0);
    DWORD dataSize = static_cast<DWORD>(data->size());
    const LONG status =
        RegEnumValueA(key, index, nameBuffer.data(), &nameSize, nullptr, type, data->data(), &dataSize);
    if (status == ERROR_SUCCESS) {
        name->assign(nameBuffer.data(), nameSize);
        data->resize(dataSize);
    }
    return status;
}

RegistryApi& RegistryApi::System()
{
    static RegistryApi api;
    return api;
}
