// Conversions of wide strings.

#include "linux/internal/text.h"
#include "platform/text.h"

namespace platform {

namespace {

void appendUtf8(char32_t c, std::string& out)
{
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

bool isHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// For a file name (`forFiles`) a NUL or a lone surrogate stops the
// conversion with false; for display a lone surrogate becomes U+FFFD.
bool convert(std::u16string_view text, std::string& out, bool forFiles)
{
    out.clear();
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == 0 && forFiles) {
            out.clear();
            return false;
        }
        if (isHighSurrogate(c) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            appendUtf8(0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00), out);
            ++i;
            continue;
        }
        if (isHighSurrogate(c) || isLowSurrogate(c)) {
            if (forFiles) {
                out.clear();
                return false;
            }
            appendUtf8(0xFFFD, out);
            continue;
        }
        appendUtf8(c, out);
    }
    return true;
}

}  // namespace

bool utf8FromUtf16(std::u16string_view text, std::string& out)
{
    return convert(text, out, true);
}

bool utf16FromUtf8(std::string_view text, std::u16string& out)
{
    out.clear();
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t c = 0;
        char32_t least = 0;
        if (lead < 0x80) {
            length = 1;
            c = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            c = lead & 0x1F;
            least = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            c = lead & 0x0F;
            least = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            c = lead & 0x07;
            least = 0x10000;
        } else {
            out.clear();
            return false;
        }
        if (i + length > text.size()) {
            out.clear();
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                out.clear();
                return false;
            }
            c = (c << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if (c < least || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            out.clear();
            return false;
        }
        if (c >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        i += length;
    }
    return true;
}

std::string utf8FromUtf16ForDisplay(std::u16string_view text)
{
    std::string out;
    convert(text, out, false);
    return out;
}

std::string narrowFromWide(const wchar_t* text)
{
    std::string narrow;
    if (text == nullptr)
        return narrow;
    for (; *text != L'\0'; ++text) {
        const auto value = static_cast<unsigned long>(*text);
        narrow.push_back(value <= 0xFF ? static_cast<char>(value) : '?');
    }
    return narrow;
}

}  // namespace platform
