#include "discovery/CDeviceEnumerator.h"

#include "products/CProduct.h"

#include <algorithm>
#include <cctype>

CDeviceEnumerator::CDeviceEnumerator(const CDiscoveryTemplate* discoveryTemplate, std::vector<CDevice*>* devices)
    : m_template(discoveryTemplate), m_devices(devices)
{
}

bool CDeviceEnumerator::sameName(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

CDevice* CDeviceEnumerator::checkCompositeDeviceExist(const std::string& serialNumber) const
{
    if (serialNumber.empty() || m_devices == nullptr)
        return nullptr;
    for (CDevice* device : *m_devices)
        if (device != nullptr && device->product != nullptr && device->product->serialNumber == serialNumber)
            return device;
    return nullptr;
}

bool CDeviceEnumerator::isLobUsage() const
{
    const auto& usages = m_template->interfaceUsages;
    return std::find(usages.begin(), usages.end(), EIU_LOB) != usages.end();
}

bool CDeviceEnumerator::isQoxUsage() const
{
    const auto& usages = m_template->interfaceUsages;
    return std::find(usages.begin(), usages.end(), EIU_QOX) != usages.end();
}

bool CDeviceEnumerator::maxCountReached() const
{
    return m_template->maxCount != 0 && m_devices != nullptr &&
           m_devices->size() >= static_cast<std::size_t>(m_template->maxCount);
}

bool CDeviceEnumerator::isPortFiltered(const std::string& port) const
{
    bool filtered = false;
    if (!m_template->namedPorts.empty()) {
        filtered = std::none_of(m_template->namedPorts.begin(), m_template->namedPorts.end(),
                                [&](const std::string& named) { return sameName(named, port); });
    }
    for (const CDevice* excluded : m_template->exclusionList)
        if (excluded != nullptr && sameName(excluded->portName, port))
            return true;
    return filtered;
}

std::vector<std::string> CDeviceEnumerator::filterPorts(std::vector<std::string> ports) const
{
    std::vector<std::string> excluded;
    for (const CDevice* device : m_template->exclusionList)
        if (device != nullptr && !device->portName.empty())
            excluded.push_back(device->portName);

    std::vector<std::string> kept;
    if (!m_template->namedPorts.empty()) {
        for (const std::string& named : m_template->namedPorts) {
            auto found = std::find_if(ports.begin(), ports.end(),
                                      [&](const std::string& port) { return sameName(named, port); });
            if (found != ports.end())
                kept.push_back(*found);
        }
    } else {
        kept = std::move(ports);
    }
    if (!excluded.empty()) {
        std::erase_if(kept, [&](const std::string& port) {
            return std::any_of(excluded.begin(), excluded.end(),
                               [&](const std::string& name) { return sameName(name, port); });
        });
    }
    return kept;
}
