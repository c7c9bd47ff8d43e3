// The registry calls TillSetup makes, behind one interface, so that tests
// can make any of them fail (the tests run as root: no file permission
// stops a write). The default forwards to the platform's registry.
#pragma once

#include "platform/registry.h"

#include <string>
#include <vector>

class RegistryApi {
public:
    virtual ~RegistryApi() = default;

    virtual LONG OpenKey(HKEY parent, const std::string& subKey, REGSAM access, HKEY* result);
    // `created` (may be null): whether the last key of the path was made.
    virtual LONG CreateKey(HKEY parent, const std::string& subKey, REGSAM access, HKEY* result, bool* created);
    virtual LONG CloseKey(HKEY key);
    virtual LONG SetValue(HKEY key, const std::string& name, DWORD type, const BYTE* data, DWORD size);
    virtual LONG QueryValue(HKEY key, const std::string& name, DWORD* type, std::vector<BYTE>* data);
    virtual LONG DeleteValue(HKEY key, const std::string& name);
    // A key without sub-keys (ERROR_ACCESS_DENIED otherwise).
    virtual LONG DeleteKey(HKEY parent, const std::string& subKey);
    virtual LONG EnumKey(HKEY key, DWORD index, std::string* name);
    // Names and data up to 16383 bytes.
    virtual LONG EnumValue(HKEY key, DWORD index, std::string* name, DWORD* type, std::vector<BYTE>* data);

    static RegistryApi& System();
};

// Closes a key handle on every path out of a scope.
class ScopedKey {
public:
    explicit ScopedKey(RegistryApi& registry) : m_registry(registry) {}
    ~ScopedKey() { reset(); }
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;
    HKEY* out() { return &m_key; }
    HKEY get() const { return m_key; }
    void reset()
    {
        if (m_key != nullptr)
            m_registry.CloseKey(m_key);
        m_key = nullptr;
    }

private:
    RegistryApi& m_registry;
    HKEY m_key = nullptr;
};
