// The spelling of control characters in scanned labels and device replies.
#include "ControlCharacters.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr const char* kNames[32] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "",    "LF",
                                    "VT",  "FF",  "CR",  "SO",  "SI",  "DLF", "DC1", "DC2", "DC3", "DC4", "NAK",
                                    "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};

// The label read back from what is shown, without knowing it: a real line
// break was inserted, a bracketed name stands for its byte. Only exact for
// labels without '[' (a label may hold the text "[CR]" itself).
std::string readBack(std::string_view shown)
{
    std::string label;
    std::size_t at = 0;
    while (at < shown.size()) {
        if (shown[at] == '\n') {
            ++at;
            continue;
        }
        bool named = false;
        if (shown[at] == '[') {
            for (int code = 0; code < 32 && !named; ++code) {
                const std::string token = std::string("[") + kNames[code] + "]";
                if (code != 9 && shown.substr(at, token.size()) == token) {
                    label += static_cast<char>(code);
                    at += token.size();
                    named = true;
                }
            }
        }
        if (!named)
            label += shown[at++];
    }
    return label;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view label(reinterpret_cast<const char*>(data), size);
    const std::string shown = NameControlCharacters(label);

    // Nothing below 32 is shown but the tab and an inserted line break, and
    // a line break only ever follows "[LF]".
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const auto byte = static_cast<unsigned char>(shown[i]);
        if (byte == '\n') {
            if (i < 4 || shown.compare(i - 4, 4, "[LF]") != 0)
                std::abort();
        } else if (byte < 32 && byte != '\t') {
            std::abort();
        }
    }
    // Each label byte is shown as itself or as its bracketed name, in order;
    // a line feed after a carriage return (and only that) ends the line.
    std::size_t at = 0;
    bool carriageReturn = false;
    for (const char c : label) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 32 || byte == '\t') {
            if (at >= shown.size() || shown[at] != c)
                std::abort();
            ++at;
        } else {
            const std::string token = std::string("[") + kNames[byte] + "]";
            if (shown.compare(at, token.size(), token) != 0)
                std::abort();
            at += token.size();
        }
        if (byte == '\r')
            carriageReturn = true;
        const bool breaks = byte == '\n' && carriageReturn;
        if (breaks != (at < shown.size() && shown[at] == '\n'))
            std::abort();
        if (breaks) {
            ++at;
            carriageReturn = false;
        }
    }
    if (at != shown.size())
        std::abort();
    if (std::memchr(data, '[', size) == nullptr && readBack(shown) != label)
        std::abort();
    return 0;
}
