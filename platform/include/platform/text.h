// Text conversions that every part of the suite shares.
//
// UTF-16 (char16_t) is the texts' form across our libraries' binary
// interfaces (the flash library's paths, COM strings); the file system takes
// UTF-8 names.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// UTF-16 to UTF-8, for a name handed to the file system. False, with `out`
// emptied, for text that names no file: an embedded NUL, or a surrogate
// without its partner. May throw std::bad_alloc.
bool utf8FromUtf16(std::u16string_view text, std::string& out);

// The same for showing a text (a log line): a surrogate without its partner
// becomes U+FFFD and a NUL stays. May throw std::bad_alloc.
std::string utf8FromUtf16ForDisplay(std::u16string_view text);

// UTF-8 to UTF-16, for a file name a caller holds as bytes. False, with
// `out` emptied, when the bytes are not well-formed UTF-8 (a caller may then
// take them one unit per byte). May throw std::bad_alloc.
bool utf16FromUtf8(std::string_view text, std::u16string& out);

}  // namespace platform
