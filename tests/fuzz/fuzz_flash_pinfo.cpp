// The scanner's P_INFO reply: parse and interpretation.
#include "PinfoParser.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    PinfoRecord record{};
    if (ParsePinfo(std::string(reinterpret_cast<const char*>(data), size), &record) == 0)
        InterpretPinfo(&record);
    return 0;
}
