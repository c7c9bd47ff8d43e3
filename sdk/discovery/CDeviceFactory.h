// The base of the device factories: turns one port that discovery found into
// a filled device record, or refuses it. Holds the filters of a discovery run
// (product names, interface usages, devices not to create again), the
// information level and the menu-reply cache that every query of the factory
// shares.
//
// A factory serves one port on one thread; only its cancel flag may be set
// from another thread.
#pragma once

#include "discovery/CDevice.h"
#include "discovery/PORTINFO.h"

#include "base/CStopper.h"
#include "protocol/CDeviceStatusChecker.h"
#include "protocol/CMenuMemory.h"

#include <string>
#include <vector>

class CDeviceFactory : public CStopper, public CDeviceStatusChecker {
public:
    // `menuMemory` (may be null): the factory's cache starts as a copy of it.
    explicit CDeviceFactory(CMenuMemory* menuMemory = nullptr);
    ~CDeviceFactory() override;

    CDeviceFactory(const CDeviceFactory&) = delete;
    CDeviceFactory& operator=(const CDeviceFactory&) = delete;

    // Fills the record (which the caller owns throughout); a result code.
    virtual int createDevice(CDevice*& device) = 0;
    // True when no product names are set, or the device's "P_NAME?" answer,
    // upper-cased, is one of them.
    virtual bool checkProductName(PORTINFO* portInfo);
    // The interface usage of the device, or -1 when it is refused.
    virtual int checkUsage(PORTINFO* portInfo) = 0;

    void setDeviceInfoLevel(int level) { m_infoLevel = level; }
    // Replaces the usages kept (0, 1 and -1 at first).
    void setFilterInterfaceUsage(std::vector<int> usages) { m_filterUsages = std::move(usages); }
    // Replaces the product names kept; stored upper-cased.
    void setFilterNamedProduct(std::vector<std::string> names);
    // Devices that must not be created again (not owned; nulls allowed).
    void setFilterDevices(std::vector<CDevice*> devices) { m_filterDevices = std::move(devices); }

    // True when a device of `usage` and `interfaceType` with this serial
    // number matches one of the filter devices. An empty serial number is
    // asked from the device when a port is given.
    bool isDeviceFiltered(PORTINFO* portInfo, int usage, int interfaceType, std::string serialNumber);

    int getDeviceInfoLevel() const { return m_infoLevel; }
    const std::vector<int>& getFilterUsages() const { return m_filterUsages; }
    const std::vector<std::string>& getNamedProducts() const { return m_namedProducts; }

protected:
    bool usageKept(int usage) const;

    std::vector<std::string> m_namedProducts;
    std::vector<int> m_filterUsages{EIU_LOB, EIU_QOX, EIU_UNKNOWN};
    int m_infoLevel = 1;
    std::vector<CDevice*> m_filterDevices;
    CMenuMemory m_menuMemory;
};
