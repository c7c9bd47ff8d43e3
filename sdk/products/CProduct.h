// The identity of the scanner behind a device record: names, serial number,
// firmware revisions, firmware architecture and supported features. A plain
// value: copies share nothing, and a hub keeps its sub-products by value.
#pragma once

#include <string>
#include <vector>

// Firmware architecture codes (the `architecture` member).
constexpr int ARCH_UNKNOWN = -1;
constexpr int ARCH_QUARTZ = 0;
constexpr int ARCH_TALON_R1 = 1;
constexpr int ARCH_TALON_R2 = 2;
constexpr int ARCH_KELP = 3;
constexpr int ARCH_TZW = 4;

// Product kinds (the `productType` member).
constexpr int PT_QUICK = 0;       // the quick product of information level 2
constexpr int PT_NORMAL = 1;      // a stand-alone product
constexpr int PT_HUB = 2;         // a CHubProduct
constexpr int PT_SUB_UNKNOWN = 3; // a hub's device without a known type
constexpr int PT_SUB_EXTERNAL = 4;
constexpr int PT_SUB_INTERNAL = 5;
constexpr int PT_SUB_INTERNAL_VIRTUAL = 6;

// Feature identifiers with a name; the others are plain numbers 1 to 13.
constexpr int EFS_FLASH_DLL_SUPPORT = 14;
constexpr int EFS_COMPID = 15;
constexpr int EFS_WORKGROUP = 17;
// The mark of a hub whose devices came from the port report.
constexpr int EFS_RPTSCN = 13;

class CProduct {
public:
    CProduct() = default;
    CProduct(const CProduct&) = default;
    CProduct& operator=(const CProduct&) = default;
    virtual ~CProduct() = default;

    bool hasFeature(int id) const;

    int architecture = ARCH_UNKNOWN;
    int productType = 0;
    std::string name;
    std::string description;
    // Empty for the device itself; for a device behind a hub the address
    // every query to it carries between colons.
    std::string deviceAddress;
    // The raw P_INFO reply.
    std::string productInfo;
    std::string serialNumber;
    std::string appSoftwarePartNumber;
    std::string appVersion;
    std::string appDate;
    std::string appTime;
    std::string bootSoftwarePartNumber;
    std::string bootVersion;
    std::string bootDate;
    std::string bootTime;
    // In the order they were found.
    std::vector<int> features;
    int flashType = -1;
    // The answer to "TERMID?".
    int terminalId = -1;
};
