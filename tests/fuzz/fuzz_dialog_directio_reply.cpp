// The Advanced View's DirectIO reply reading: byte 0 is BinaryConversion
// (signed), bytes 1-4 pData (little-endian, signed), the rest the returned
// string's characters (UTF-16LE, an odd last byte ignored). The string is
// made to its exact length, so a read past it is a sanitizer finding.
#include "DirectIOExchange.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 5)
        return 0;
    const LONG binaryConversion = static_cast<std::int8_t>(data[0]);
    std::uint32_t raw = 0;
    for (int i = 0; i < 4; ++i)
        raw |= static_cast<std::uint32_t>(data[1 + i]) << (8 * i);
    LONG pData;
    std::memcpy(&pData, &raw, sizeof pData);
    const std::size_t length = (size - 5) / 2;
    BSTR reply = SysAllocStringLen(nullptr, static_cast<UINT>(length));
    if (reply == nullptr)
        return 0;
    for (std::size_t i = 0; i < length; ++i)
        reply[i] = static_cast<char16_t>(data[5 + 2 * i] | (data[6 + 2 * i] << 8));

    const std::size_t readable = std::min<std::size_t>(length, static_cast<std::size_t>(std::max<LONG>(pData, 0)));
    const std::string bytes = ReplyBytes(reply, pData);
    if (bytes.size() != readable)
        std::abort();
    const std::vector<BYTE> image = DecodeImage(reply, pData, binaryConversion);
    switch (binaryConversion) {
    case 1:
        if (image.size() != readable / 2)
            std::abort();
        break;
    case 2:
        if (image.size() > readable / 3)
            std::abort();
        break;
    default:
        if (!std::equal(image.begin(), image.end(), bytes.begin(), bytes.end(),
                        [](BYTE b, char c) { return b == static_cast<unsigned char>(c); }))
            std::abort();
    }
    // The returned text read back as a serial command: its tag and room.
    const std::string tag = SerialCommandTag(bytes);
    if (tag.size() > 6 || SerialCommandBufferChars(tag) < 1024)
        std::abort();
    SysFreeString(reply);
    return 0;
}
