// The base of the device enumerators: one discovery run's template, its
// shared result list, its cancel flag and time budget, and the port filters
// that every enumerator applies (named ports, exclusion list).
//
// An enumerator lives for one run on the caller's thread. It appends the
// records it builds to the shared list, which owns them, and deletes the
// records it creates and does not append.
#pragma once

#include "discovery/CDevice.h"

#include "api/CDiscoveryTemplate.h"
#include "base/CStopper.h"
#include "protocol/CMenuMemory.h"

#include <string>
#include <vector>

class CDeviceEnumerator : public CStopper {
public:
    // Results of enumerate.
    static constexpr int kFinished = 0;
    static constexpr int kTimedOut = 1;
    static constexpr int kCancelled = 2;

    // Neither pointer is owned; both must outlive the enumerator.
    CDeviceEnumerator(const CDiscoveryTemplate* discoveryTemplate, std::vector<CDevice*>* devices);
    ~CDeviceEnumerator() override = default;

    CDeviceEnumerator(const CDeviceEnumerator&) = delete;
    CDeviceEnumerator& operator=(const CDeviceEnumerator&) = delete;

    // 0 finished (also when maxCount is reached), 1 time-out, 2 cancelled.
    virtual int enumerate() = 0;

    // The first record of the list whose product has this serial number
    // (exactly); null for an empty text.
    CDevice* checkCompositeDeviceExist(const std::string& serialNumber) const;
    bool isLobUsage() const;
    bool isQoxUsage() const;
    // True when the port must be skipped: not among the named ports (when
    // there are any) or the port of an excluded record. Any letter case.
    bool isPortFiltered(const std::string& port) const;
    // The ports kept: in the named ports' order when there are any, less
    // the ports of excluded records.
    std::vector<std::string> filterPorts(std::vector<std::string> ports) const;

protected:
    // True when maxCount is set and the list holds that many records.
    bool maxCountReached() const;
    static bool sameName(const std::string& a, const std::string& b);

    const CDiscoveryTemplate* m_template;
    std::vector<CDevice*>* m_devices;
    CMenuMemory m_menuMemory;
};
