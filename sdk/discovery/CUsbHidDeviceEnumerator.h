// The enumerator of USB HID devices: the maker's scanning (LOB) interfaces
// listed from the HID class, then the remote-management (Qox) interfaces
// that the filter driver publishes, questioned in the driver's transaction
// mode. A further interface of a scanner already in the list (same serial
// number) is cloned from that record.
//
// A point-of-sale interface whose input or output reports are shorter than
// the protocol's 64 bytes is skipped with a log line: it cannot carry a
// packet. Every interface is questioned under its probe mark (CProbeMark).
#pragma once

#include "discovery/CDeviceEnumerator.h"

#include "ports/HidDeviceInfo.h"

#include <string>
#include <vector>

class CUsbHidDeviceEnumerator : public CDeviceEnumerator {
public:
    CUsbHidDeviceEnumerator(const CDiscoveryTemplate* discoveryTemplate, std::vector<CDevice*>* devices);
    ~CUsbHidDeviceEnumerator() override = default;

    int enumerate() override;
    virtual int enumerateFDQox();

    static void filterByNamedPorts(std::vector<HidDeviceInfo>& interfaces, std::vector<std::string> namedPorts);
    static void filterByExclusionList(std::vector<HidDeviceInfo>& interfaces, std::vector<CDevice*> exclusionList);
    // Removes (and deletes) the HID records whose interface is gone.
    void deleteDisconnectedDevice();

private:
    bool interfaceTypeWanted(int type) const;
    // Stopped, or the list is full.
    bool walkEnds() const;
};
