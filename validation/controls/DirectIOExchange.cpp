#include "DirectIOExchange.h"

#include <algorithm>
#include <cstddef>
#include <limits>

namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) {
               return upper(x) == upper(y);
           });
}

// The returned characters that may be read: at most pData, never past the
// string's own length.
std::u16string_view replyCharacters(BSTR reply, LONG pData)
{
    const std::u16string_view all = platform::bstrView(reply);
    return all.substr(0, std::min<std::size_t>(all.size(), static_cast<std::size_t>(std::max<LONG>(pData, 0))));
}

BYTE lowByte(char16_t c)
{
    return static_cast<BYTE>(c & 0xFF);
}

// Replaces the arguments' string with a zeroed one of `room` characters.
HRESULT allocate(std::size_t room, LONG pData, DirectIOArguments& arguments)
{
    SysFreeString(arguments.string);
    arguments.string = nullptr;
    arguments.pData = 0;
    if (room > std::numeric_limits<UINT>::max())
        return E_OUTOFMEMORY;
    arguments.string = SysAllocStringLen(nullptr, static_cast<UINT>(room));
    if (arguments.string == nullptr)
        return E_OUTOFMEMORY;
    arguments.pData = pData;
    return S_OK;
}

}  // namespace

LONG DirectIOBufferChars(LONG binaryConversion)
{
    switch (binaryConversion) {
    case 0:
        return 0x130000;
    case 1:
        return 0x260000;
    case 2:
        return 0x390000;
    default:
        return 0;
    }
}

std::string SerialCommandTag(std::string_view command)
{
    std::size_t at = 0;
    if (!command.empty() && command.front() == ':') {
        const std::size_t close = command.find(':', 1);
        if (close != std::string_view::npos)
            at = close + 1;
    }
    return std::string(command.substr(at, 6));
}

LONG SerialCommandBufferChars(std::string_view tag)
{
    struct Entry {
        std::string_view tag;
        LONG chars;
    };
    static constexpr Entry kTable[] = {
        {"PREBK2", 2048}, {"SUFBK2", 2048}, {"IMGSNP", 1024},
        {"IMGSHP", 0x180000}, {"REVINF", 1024}, {"P_INFO", 1024},
    };
    for (const Entry& entry : kTable)
        if (equalsIgnoringCase(tag, entry.tag))
            return entry.chars;
    return 2048;
}

bool IsImageSerialTag(std::string_view tag)
{
    return equalsIgnoringCase(tag, "IMGSHP");
}

HRESULT MakeImageRequest(LONG binaryConversion, DirectIOArguments& arguments)
{
    const LONG chars = DirectIOBufferChars(binaryConversion);
    if (chars == 0) {
        SysFreeString(arguments.string);
        arguments.string = nullptr;
        arguments.pData = 0;
        return S_OK;
    }
    return allocate(static_cast<std::size_t>(chars), chars, arguments);
}

HRESULT MakeSerialRequest(std::string_view command, LONG chars, DirectIOArguments& arguments)
{
    // The entry has no limit: a text longer than the room gets room of its
    // own, with its terminating zero.
    const std::size_t room = std::max(static_cast<std::size_t>(std::max<LONG>(chars, 0)), command.size() + 1);
    const HRESULT hr = allocate(room, chars, arguments);
    if (FAILED(hr))
        return hr;
    for (std::size_t i = 0; i < command.size(); ++i)
        arguments.string[i] = static_cast<unsigned char>(command[i]);
    return S_OK;
}

HRESULT MakeCommandTimeoutRequest(std::string_view milliseconds, DirectIOArguments& arguments)
{
    return MakeSerialRequest(milliseconds, kCommandTimeoutChars, arguments);
}

std::string ReplyBytes(BSTR reply, LONG pData)
{
    const std::u16string_view characters = replyCharacters(reply, pData);
    std::string bytes(characters.size(), '\0');
    std::transform(characters.begin(), characters.end(), bytes.begin(),
                   [](char16_t c) { return static_cast<char>(lowByte(c)); });
    return bytes;
}

std::vector<BYTE> DecodeImage(BSTR reply, LONG pData, LONG binaryConversion)
{
    const std::u16string_view characters = replyCharacters(reply, pData);
    std::vector<BYTE> image;
    if (binaryConversion == 1) {
        image.resize(characters.size() / 2);
        for (std::size_t i = 0; i < image.size(); ++i)
            image[i] = static_cast<BYTE>((lowByte(characters[2 * i]) << 4) | (lowByte(characters[2 * i + 1]) & 0x0F));
    } else if (binaryConversion == 2) {
        // Each byte is written as "%03d"; a triple with anything but digits
        // is not one, and what follows it cannot be trusted to line up.
        const std::size_t count = characters.size() / 3;
        image.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            unsigned value = 0;
            for (std::size_t k = 0; k < 3; ++k) {
                const BYTE digit = lowByte(characters[3 * i + k]);
                if (digit < '0' || digit > '9')
                    return image;
                value = value * 10 + (digit - '0');
            }
            image.push_back(static_cast<BYTE>(value & 0xFF));
        }
    } else {
        image.resize(characters.size());
        std::transform(characters.begin(), characters.end(), image.begin(), lowByte);
    }
    return image;
}
