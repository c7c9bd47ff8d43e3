#include "discovery/CDeviceFactory.h"

#include "base/CScanningSDK.h"
#include "base/StringUtils.h"
#include "products/CProduct.h"
#include "protocol/CDeviceInfoFetcher.h"

#include <algorithm>
#include <cctype>

namespace {

std::string upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

CDeviceFactory::CDeviceFactory(CMenuMemory* menuMemory)
{
    if (menuMemory != nullptr && menuMemory != &m_menuMemory)
        m_menuMemory = *menuMemory;
}

CDeviceFactory::~CDeviceFactory() = default;

void CDeviceFactory::setFilterNamedProduct(std::vector<std::string> names)
{
    m_namedProducts = std::move(names);
    for (std::string& name : m_namedProducts)
        name = upper(name);
}

bool CDeviceFactory::usageKept(int usage) const
{
    return std::find(m_filterUsages.begin(), m_filterUsages.end(), usage) != m_filterUsages.end();
}

bool CDeviceFactory::checkProductName(PORTINFO* portInfo)
{
    if (m_namedProducts.empty())
        return true;
    CDeviceInfoFetcher fetcher(portInfo, &m_menuMemory);
    fetcher.setCancelFlag(getCancelFlag());
    fetcher.setTimeout(getRemaingTimeout());
    const std::string name = upper(fetcher.getProductName(std::string()));
    if (name.empty()) {
        SDK_LOG(logbit::error, "CDeviceFactory::checkProductName",
                "Cann't get P_NAME response....Please have a check on it.");
        return false;
    }
    return std::find(m_namedProducts.begin(), m_namedProducts.end(), name) != m_namedProducts.end();
}

bool CDeviceFactory::isDeviceFiltered(PORTINFO* portInfo, int usage, int interfaceType, std::string serialNumber)
{
    constexpr const char* kMethod = "CDeviceFactory::isDeviceFiltered";
    if (m_filterDevices.empty())
        return false;
    if (serialNumber.empty() && portInfo != nullptr) {
        CDeviceInfoFetcher fetcher(portInfo, &m_menuMemory);
        fetcher.setCancelFlag(getCancelFlag());
        fetcher.setTimeout(getRemaingTimeout());
        serialNumber = fetcher.getSerialNum(std::string());
    }
    SDK_LOG(logbit::trace, kMethod, "Interface type:" + intToString(interfaceType));
    SDK_LOG(logbit::trace, kMethod, "Interface usage:" + intToString(usage));
    SDK_LOG(logbit::trace, kMethod, "serial number:" + serialNumber);
    for (const CDevice* device : m_filterDevices) {
        if (device == nullptr || device->interfaceUsage == EIU_UNKNOWN || device->product == nullptr)
            continue;
        const std::string& serial = device->product->serialNumber;
        if (serial.empty() || device->interfaceUsage != usage || serial != serialNumber)
            continue;
        if (device->interfaceType == EIT_UNKNOWN || device->interfaceType == interfaceType) {
            SDK_LOG(logbit::trace, kMethod, "********Meet filter criteria**********");
            return true;
        }
    }
    return false;
}
