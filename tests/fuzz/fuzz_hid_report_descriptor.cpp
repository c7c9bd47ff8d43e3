// A device's HID report descriptor into usages and report lengths. The
// parser lives in the platform library; its header is internal to it.
#include "../../platform/linux/internal/hid_descriptor.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // An exact copy: a read past the device's bytes is a heap overflow.
    const std::vector<std::uint8_t> bytes(data, data + size);
    const auto layout = platform::parseHidReportDescriptor(bytes.data(), bytes.size());
    if (!layout)
        return 0;
    // A report length counts the id byte and at least one data byte, or is 0.
    for (const std::uint16_t length :
         {layout->inputReportLength, layout->outputReportLength, layout->featureReportLength}) {
        if (length == 1)
            std::abort();
    }
    // The same bytes give the same answer.
    const auto again = platform::parseHidReportDescriptor(bytes.data(), bytes.size());
    if (!again || again->usagePage != layout->usagePage || again->usage != layout->usage ||
        again->inputReportLength != layout->inputReportLength || again->numbered != layout->numbered) {
        std::abort();
    }
    return 0;
}
