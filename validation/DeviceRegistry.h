// Reading the OPOS device entries TillSetup writes: a key opened for
// reading, its values in enumeration order, and the suite's devices of a
// category (the keys whose "Manufacturer" names the maker).
#pragma once

#include "platform/registry.h"

#include <string>
#include <vector>

namespace probe {

struct RegValue {
    std::string name;
    DWORD type = 0;
    std::string text;  // REG_SZ data without its NUL; empty for other types
};

class RegKey {
public:
    RegKey() = default;
    ~RegKey();
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    // HKEY_LOCAL_MACHINE\path for reading.
    bool open(const std::string& path);
    HKEY get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

// Up to `limit` values of an open key in enumeration order, stopping at the
// first enumeration error; the error other than "no more items" in `error`
// when given.
std::vector<RegValue> readValues(HKEY key, DWORD limit, LONG* error = nullptr);

// ASCII letters lowered.
std::string lower(std::string text);

// The suite's devices under the category key, in enumeration order, reading
// at most `valueLimit` values of each; `subKeys` gets the category's count of
// subkeys (0 when it cannot be opened). A device counts when a REG_SZ value
// named `manufacturer` holds `maker` (both without regard to case).
std::vector<std::string> suiteDevices(const std::string& categoryPath, const std::string& manufacturer,
                                      const std::string& maker, DWORD valueLimit, DWORD& subKeys);

}  // namespace probe
