// The parameters of a device search: which interface kinds to look for and
// in which order, which serial settings to try, how many devices are
// enough, which ports and products to keep or leave out, and how much
// device information to read.
//
// A plain value: copied member by member; it owns its lists and nothing
// else (the devices of exclusionList belong to the caller and must outlive
// every search that uses the record). The discovery facade normalises a
// copy with setDefaultValues and hands it to the device enumerators, which
// only read it.
#pragma once

#include <string>
#include <vector>

class CDevice;

class CDiscoveryTemplate {
public:
    CDiscoveryTemplate() = default;
    virtual ~CDiscoveryTemplate() = default;
    CDiscoveryTemplate(const CDiscoveryTemplate&) = default;
    CDiscoveryTemplate& operator=(const CDiscoveryTemplate&) = default;

    // Removes every -1 from the four integer lists (baudRates, dpsSettings,
    // interfaceTypes, interfaceUsages, in that order) and fills a list left
    // empty with its defaults. A list with other values is kept as it is,
    // duplicates included; nothing else changes.
    void setDefaultValues();

    // Baud rates tried on RS-232 ports, in order.
    std::vector<int> baudRates;
    // Data-bits/parity/stop-bits codes tried within each rate, in order.
    std::vector<int> dpsSettings;
    // 0 the normal probe; 1 the break-signal probe (refused by the search).
    int method = 0;
    // Interface kinds to search, in order: 0 RS-232, 1 USB serial, 2 USB HID
    // scanner, 3 USB HID SurePOS, 4 USB HID keyboard, 5 serial port of
    // another driver.
    std::vector<int> interfaceTypes;
    // Interface usages to keep: 0 line of business, 1 remote management,
    // 2 HID point of sale.
    std::vector<int> interfaceUsages;
    // Stop once the result list holds this many devices; 0 = no limit.
    int maxCount = 0;
    // Product names to keep (empty: every product).
    std::vector<std::string> namedProducts;
    // Port names or device paths to search (empty: every port).
    std::vector<std::string> namedPorts;
    // 2 skips the product-information and mode queries.
    int deviceInfoLevel = 1;
    // Devices whose ports the search leaves out (not owned; nulls allowed).
    std::vector<CDevice*> exclusionList;
    // Kernel-device name patterns that select ports of other drivers for
    // kind 5; empty means every such port.
    std::vector<std::string> serialOtherPatterns;
    // Modem signals that show a device on an RS-232 port before it is
    // probed (0x10 CTS, 0x20 DSR, 0x40 ring, 0x80 carrier); without a bit of
    // 0xF0 the test is skipped.
    int modemSignalMask = 0xF0;
};
