#include "TextCoding.h"

std::string Latin1FromUtf8(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            out.push_back(static_cast<char>(byte));
        } else if ((byte & 0xE0) == 0xC0 && i + 1 < text.size()) {
            const unsigned code = ((byte & 0x1Fu) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
            out.push_back(code <= 0xFF ? static_cast<char>(code) : '?');
            ++i;
        } else {
            // A character beyond ISO-8859-1 has no byte.
            out.push_back('?');
            while (i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80)
                ++i;
        }
    }
    return out;
}

std::string Utf8FromLatin1(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out.push_back(c);
        } else {
            out.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            out.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return out;
}
