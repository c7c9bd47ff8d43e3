// Conversions of wide strings.

#include "linux/internal/text.h"

namespace platform {

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
