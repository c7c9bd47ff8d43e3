// The ports a scanner can be configured on: the COM ports present (from
// the MS-DOS device names) and the maker's USB HID scanners.
#pragma once

#include <functional>
#include <string>
#include <vector>

// The MS-DOS device names, as QueryDosDeviceA lists them. Tests replace it.
using DosDeviceSource = std::function<std::vector<std::string>()>;
DosDeviceSource systemDosDevices();

// Empties `ports` and adds the number of every "COM<digits>" name (prefix
// compared ignoring case), in the order listed.
void EnumerateComPorts(std::vector<unsigned>& ports, const DosDeviceSource& source = systemDosDevices());

// Ascending by a stable exchange sort; duplicates stay.
void SortPorts(std::vector<unsigned>& ports);

// The port list's entries after "-- Select --": "COM<n>" ascending, then "HID1".
std::vector<std::string> PortListEntries(const DosDeviceSource& source = systemDosDevices());

// The maker's HID devices present: their product strings, at most
// `capacity`; a device counts when its manufacturer string begins, ignoring
// case, with "Brellon", "RQN" or "Varnex".
int DetectHidScanners(std::vector<std::string>& products, int capacity);

struct HidPort {
    std::string product;
    std::string portName;  // "HID1" .. "HID3"
};
// The detected devices named from the port-name table; devices past "HID3"
// are left out.
std::vector<HidPort> GetHidPortNames();
