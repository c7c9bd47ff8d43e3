// What a simulated scanner is on USB HID, as data: its ids, the usage of its
// top-level collection, its report lengths and its strings. The catalogue
// gives a few named models; tests copy one and change what they need.
#pragma once

#include "simulator/menu_engine.h"
#include "simulator/vendor_ids.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vxsim {

// The usage page of the remote-management interface.
constexpr std::uint16_t kManagementUsagePage = 0xFF8C;

struct HidModel {
    std::string name;
    std::uint16_t vendorId = kMakerVendorId1;
    std::uint16_t productId = 0x0100;
    std::uint16_t release = 0x0100;
    unsigned interfaceNumber = 0;
    std::uint16_t usagePage = 0x008C;  // bar-code scanner page
    std::uint16_t usage = 0x0002;
    // Report lengths, the report-id byte included; 0 for none.
    unsigned inputLength = 64;
    unsigned outputLength = 64;
    unsigned featureLength = 2;
    // The id byte in front of every input report.
    std::uint8_t inputReportId = 0x02;
    // A missing string is one the device does not give.
    std::optional<std::string> serialNumber = "S000001";
    std::optional<std::string> manufacturer = "Varnex";
    std::optional<std::string> product = "Varnex HID POS Scanner";
    // Settings and replies of the menu commands carried in the reports.
    MenuModel menu;
    // Microseconds between two reports in each direction (input reports
    // sent, the host's output reports taken), as the interrupt endpoints'
    // polling interval paces them (0: as fast as the socket takes them).
    unsigned reportIntervalUs = 1000;
    // Presented by the remote-management filter driver: the host lists the
    // interface under the driver's path and instance id.
    bool filterDriver = false;
    // The driver child's uniquifier (none: the host's default; an empty
    // text publishes a child without one).
    std::optional<std::string> uniquifier;
};

// The named models: "hid-pos" (a point-of-sale scanner, usage 2 on the
// bar-code scanner page), "hid-qox" (the remote-management interface, usage
// 2 on page 0xFF8C), "hid-keyboard" (usage 6 on the desktop page, no
// output reports), "hid-surepos" (the SurePOS interface, usage 0x4A00),
// "hid-filter-pos" and "hid-filter-qox" (the point-of-sale and
// remote-management interfaces as the filter driver presents them),
// "hid-lob" (a line-of-business scanner: usage 2 on the bar-code scanner
// page, no "HID POS" in its product string, terminal id 131). Null
// for an unknown name.
const HidModel* findHidModel(const std::string& name);
std::vector<std::string> hidModelNames();

// A composite device: its point-of-sale interface (0) and its
// remote-management interface (1), with one product id and one serial
// number.
std::vector<HidModel> compositeHidDevice(const std::string& serialNumber);

}  // namespace vxsim
