// The HID report-descriptor parser: what the layer needs of a descriptor
// (the first top-level collection's usage and the report lengths).
//
// The bytes come from the device, so nothing in them is trusted: every item
// is checked against the end of the buffer before it is read, and sizes,
// counts, report ids and nesting are bounded the way the kernel's own parser
// bounds them. Self-contained (no other part of the layer), so the fuzz
// target links it as it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace platform {

struct HidReportLayout {
    // Of the first application collection at the outermost level (0 when
    // the descriptor has none). A four-byte usage carries its own page.
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    // The longest report of each kind in bytes, the report-id byte included
    // whether or not the device numbers its reports; 0 when there is no
    // report of that kind.
    std::uint16_t inputReportLength = 0;
    std::uint16_t outputReportLength = 0;
    std::uint16_t featureReportLength = 0;
    // Whether the device numbers its reports (a Report ID item appeared).
    bool numbered = false;
    // Number of collections (of any kind).
    std::uint16_t collections = 0;
};

// Parses `size` bytes at `data` (null allowed with size 0). Empty when the
// bytes are not a usable descriptor: an item that runs past the end, a
// report id of 0 or above 255, a report size above 256 bits or a count
// above 12288, push/pop nesting deeper than 16, a report longer than
// 65535 bytes, or no main item at all.
std::optional<HidReportLayout> parseHidReportDescriptor(const std::uint8_t* data, std::size_t size);

}  // namespace platform
