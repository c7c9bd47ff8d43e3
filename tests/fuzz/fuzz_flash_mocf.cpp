// The MOCF container checks and the image-kind query over arbitrary bytes.
#include "FirmwareImage.h"
#include "shared/MocfParser.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::uint8_t> bytes(data, data + size);
    CMocfParser parser(bytes.data(), bytes.size());
    parser.IsValid();
    for (std::size_t position = 0; position < 8; ++position)
        parser.GetMocfRecord(position, nullptr);
    ClearFileCompatTable();
    ImageKindOf(bytes);
    return 0;
}
