// Class identifiers, in-process creation and the helpers of in-process
// servers (see platform/com.h).
#include "platform/com.h"

#include "platform/module.h"
#include "platform/registry.h"

#include "platform/error.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <map>
#include <mutex>

namespace platform {

std::string stringFromGuid(REFGUID guid)
{
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                  guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

bool guidFromString(const std::string& text, GUID* guid)
{
    // 38 characters: braces, 32 hex digits, four dashes in their places.
    if (text.size() != 38 || text.front() != '{' || text.back() != '}')
        return false;
    std::string digits;
    for (std::size_t i = 1; i < 37; ++i) {
        const char c = text[i];
        if (i == 9 || i == 14 || i == 19 || i == 24) {
            if (c != '-')
                return false;
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
        digits += c;
    }
    auto hex = [&](std::size_t at, std::size_t count) {
        return std::strtoul(digits.substr(at, count).c_str(), nullptr, 16);
    };
    GUID parsed{};
    parsed.Data1 = static_cast<DWORD>(hex(0, 8));
    parsed.Data2 = static_cast<WORD>(hex(8, 4));
    parsed.Data3 = static_cast<WORD>(hex(12, 4));
    for (std::size_t i = 0; i < 8; ++i)
        parsed.Data4[i] = static_cast<BYTE>(hex(16 + 2 * i, 2));
    *guid = parsed;
    return true;
}

std::u16string oleFromLatin1(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    for (const char c : text)
        out += static_cast<char16_t>(static_cast<unsigned char>(c));
    return out;
}

std::string latin1FromOle(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char16_t c : text)
        out += c <= 0xFF ? static_cast<char>(c) : '?';
    return out;
}

std::u16string oleFromBstr(BSTR text)
{
    return text == nullptr ? std::u16string() : std::u16string(text, SysStringLen(text));
}

std::string modulePath(const void* address)
{
    Dl_info info{};
    if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr || *info.dli_fname == '\0')
        return {};
    char* resolved = ::realpath(info.dli_fname, nullptr);
    if (resolved == nullptr)
        return {};
    std::string path(resolved);
    std::free(resolved);
    return path;
}

HRESULT ClassFactory::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
        *object = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (outer != nullptr)
        return CLASS_E_NOAGGREGATION;
    try {
        return m_create(iid, object);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT ClassFactory::LockServer(BOOL lock)
{
    if (lock)
        m_module.lock();
    else
        m_module.unlock();
    return S_OK;
}

HRESULT getClassObject(const std::vector<ClassFactory*>& factories, REFCLSID clsid, REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    for (ClassFactory* factory : factories)
        if (factory->clsid() == clsid)
            return factory->QueryInterface(iid, object);
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT registerClassesEntries(const std::vector<ClassesEntry>& entries)
{
    HRESULT result = S_OK;
    for (const ClassesEntry& entry : entries) {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_CLASSES_ROOT, entry.key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                            nullptr, &key, nullptr) != ERROR_SUCCESS) {
            result = SELFREG_E_CLASS;
            continue;
        }
        if (entry.name.has_value() || entry.data.has_value()) {
            const std::string data = entry.data.value_or(std::string());
            if (RegSetValueExA(key, entry.name.has_value() ? entry.name->c_str() : nullptr, 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(data.c_str()),
                               static_cast<DWORD>(data.size() + 1)) != ERROR_SUCCESS)
                result = SELFREG_E_CLASS;
        }
        RegCloseKey(key);
    }
    return result;
}

HRESULT deleteClassesKeys(const std::vector<std::string>& keys)
{
    HRESULT result = S_OK;
    for (const std::string& key : keys) {
        const LONG status = RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
            result = SELFREG_E_CLASS;
    }
    return result;
}

namespace {

// A REG_SZ value of a key below HKEY_CLASSES_ROOT; false when it is not
// there or not text.
bool classesText(const std::string& keyPath, std::string* text)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD size = 0;
    bool found = RegQueryValueExA(key, nullptr, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
                 (type == REG_SZ || type == REG_EXPAND_SZ);
    if (found) {
        std::string data(size, '\0');
        found = RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) ==
                ERROR_SUCCESS;
        data.resize(size);
        while (!data.empty() && data.back() == '\0')
            data.pop_back();
        *text = data;
    }
    RegCloseKey(key);
    return found;
}

// Libraries that created objects stay loaded to the end of the process:
// nothing here knows when their last object goes.
struct LoadedServers {
    std::mutex mutex;
    std::map<std::string, HMODULE> byPath;
};

LoadedServers& loadedServers()
{
    static LoadedServers* const servers = new LoadedServers;
    return *servers;
}

HRESULT loadServer(const std::string& path, HMODULE* module)
{
    LoadedServers& servers = loadedServers();
    std::lock_guard lock(servers.mutex);
    const auto found = servers.byPath.find(path);
    if (found != servers.byPath.end()) {
        *module = found->second;
        return S_OK;
    }
    // Widened per byte: LoadLibraryW narrows it back to the same bytes.
    std::wstring wide;
    for (const char c : path)
        wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
    HMODULE loaded = LoadLibraryW(wide.c_str());
    if (loaded == nullptr) {
        const DWORD error = GetLastError();
        return error == ERROR_MOD_NOT_FOUND ? HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND) : CO_E_ERRORINDLL;
    }
    servers.byPath.emplace(path, loaded);
    *module = loaded;
    return S_OK;
}

}  // namespace

}  // namespace platform

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid)
{
    if (text == nullptr || clsid == nullptr)
        return E_INVALIDARG;
    std::u16string wide(text);
    if (!platform::guidFromString(platform::latin1FromOle(wide), clsid) || wide.size() != 38)
        return CO_E_CLASSSTRING;
    return S_OK;
}

int StringFromGUID2(REFGUID guid, LPOLESTR text, int max)
{
    const std::string narrow = platform::stringFromGuid(guid);
    if (text == nullptr || max < static_cast<int>(narrow.size()) + 1)
        return 0;
    for (std::size_t i = 0; i < narrow.size(); ++i)
        text[i] = static_cast<OLECHAR>(narrow[i]);
    text[narrow.size()] = u'\0';
    return static_cast<int>(narrow.size()) + 1;
}

HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid)
{
    if (progId == nullptr || clsid == nullptr)
        return E_INVALIDARG;
    try {
        const std::string name = platform::latin1FromOle(progId);
        std::string text;
        if (name.empty() || !platform::classesText(name + "\\CLSID", &text) ||
            !platform::guidFromString(text, clsid))
            return CO_E_CLASSSTRING;
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void*, REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    try {
        std::string path;
        if ((context & CLSCTX_INPROC_SERVER) == 0 ||
            !platform::classesText("CLSID\\" + platform::stringFromGuid(clsid) + "\\InprocServer32", &path) ||
            path.empty())
            return REGDB_E_CLASSNOTREG;
        HMODULE module = nullptr;
        const HRESULT loaded = platform::loadServer(path, &module);
        if (FAILED(loaded))
            return loaded;
        const auto getClass = reinterpret_cast<DllGetClassObjectFunction>(GetProcAddress(module, "DllGetClassObject"));
        if (getClass == nullptr)
            return CO_E_ERRORINDLL;
        return getClass(clsid, iid, object);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT result = CoGetClassObject(clsid, context, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(result))
        return result;
    if (factory == nullptr)
        return E_UNEXPECTED;
    result = factory->CreateInstance(outer, iid, object);
    factory->Release();
    if (FAILED(result))
        *object = nullptr;
    return result;
}
