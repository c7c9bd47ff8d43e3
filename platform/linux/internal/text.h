// Conversions of the platform's wide strings (wchar_t, 4 bytes here).
#pragma once

#include <string>

namespace platform {

// Narrows by value per character, as the platform's "ANSI" code page
// (ISO-8859-1) would: 0-255 stay the same byte; a character beyond that has
// no byte and becomes '?'. Null gives "".
std::string narrowFromWide(const wchar_t* text);

}  // namespace platform
