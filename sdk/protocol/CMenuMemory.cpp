#include "CMenuMemory.h"

#include "base/CScanningSDK.h"

#include <tuple>

bool CMenuMemory::Key::operator<(const Key& other) const
{
    // std::string compares its bytes as unsigned values.
    return std::tie(frameKind, storageKind, menu, address)
        < std::tie(other.frameKind, other.storageKind, other.menu, other.address);
}

bool CMenuMemory::refused(const std::string& menu, const std::string& address)
{
    if (menu.size() < kMaxKeyText && address.size() < kMaxKeyText) {
        return false;
    }
    SDK_LOG(logbit::trace, "CMenuMemory", "menu or its addr >64, menu =" + menu);
    SDK_LOG(logbit::trace, "CMenuMemory", "menu or its addr >64, addr =" + address);
    return true;
}

bool CMenuMemory::store(const std::string& menu, MenuResponse response, const std::string& address, int frameKind,
                        int storageKind)
{
    if (refused(menu, address)) {
        return false;
    }
    // A key field ends at its first zero byte.
    Key key{frameKind, storageKind, menu.substr(0, menu.find('\0')), address.substr(0, address.find('\0'))};
    m_entries.emplace(std::move(key), std::move(response));
    return true;
}

bool CMenuMemory::find(const std::string& menu, MenuResponse* response, const std::string& address, int frameKind,
                       int storageKind) const
{
    if (refused(menu, address)) {
        return false;
    }
    const Key key{frameKind, storageKind, menu.substr(0, menu.find('\0')), address.substr(0, address.find('\0'))};
    const auto it = m_entries.find(key);
    if (it == m_entries.end()) {
        return false;
    }
    if (response != nullptr) {
        *response = it->second;
    }
    return true;
}
