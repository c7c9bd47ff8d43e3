#include "ControlCharacters.h"

namespace {

// Names of the bytes 0-31; the tab (9) is never spelled.
constexpr const char* kNames[32] = {
    "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  nullptr, "LF",  "VT",  "FF",  "CR",  "SO",  "SI",
    "DLF", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB", "CAN", "EM",    "SUB", "ESC", "FS",  "GS",  "RS",  "US"};

constexpr unsigned char kTab = 9;
constexpr unsigned char kLineFeed = 10;
constexpr unsigned char kCarriageReturn = 13;

}  // namespace

std::string NameControlCharacters(std::string_view label)
{
    std::string out;
    out.reserve(label.size() + label.size() / 2);
    bool carriageReturnSeen = false;
    for (const char c : label) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 32 || byte == kTab) {
            out += c;
            continue;
        }
        out += '[';
        out += kNames[byte];
        out += ']';
        if (byte == kCarriageReturn) {
            carriageReturnSeen = true;
        } else if (byte == kLineFeed && carriageReturnSeen) {
            out += '\n';
            carriageReturnSeen = false;
        }
    }
    return out;
}
