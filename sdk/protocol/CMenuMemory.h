// The cache of menu replies of one device's discovery: the first reply kept
// for a command (frame kind, storage kind, menu, address) answers every
// later query of the same command without touching the port. Menus and
// addresses of 64 characters or more are neither stored nor looked up. No
// lock: one discovery uses it on one thread.
#pragma once

#include "CMenuHandler.h"

#include <map>
#include <string>

class CMenuMemory {
public:
    static constexpr std::size_t kMaxKeyText = 64;

    CMenuMemory() = default;
    virtual ~CMenuMemory() = default;
    CMenuMemory(const CMenuMemory&) = default;
    CMenuMemory& operator=(const CMenuMemory&) = default;

    // True when the command has an entry afterwards (a first reply already
    // kept stays); false when refused for length.
    bool store(const std::string& menu, MenuResponse response, const std::string& address, int frameKind,
               int storageKind);
    // True, copying the kept reply into `response`, when cached; otherwise
    // false and `response` is left alone.
    bool find(const std::string& menu, MenuResponse* response, const std::string& address, int frameKind,
              int storageKind) const;

private:
    struct Key {
        int frameKind;
        int storageKind;
        std::string menu;
        std::string address;
        bool operator<(const Key& other) const;
    };
    static bool refused(const std::string& menu, const std::string& address);

    std::map<Key, MenuResponse> m_entries;
};
