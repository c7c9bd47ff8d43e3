// Both Intel HEX readers over arbitrary text, as a file and as a container
// object.
#include "FirmwareImage.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    FirmwareImage image;
    ReadHexText(text, true, IMAGE_KIND_BOOT, &image);
    ReadHexText(text, false, IMAGE_KIND_APP, &image);
    ReadHexText(text, true, IMAGE_KIND_APP, &image);
    return 0;
}
