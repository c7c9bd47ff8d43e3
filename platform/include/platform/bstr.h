// COM strings: BSTR, a UTF-16 text with its length in front, and the
// "ANSI" conversions to and from it.
//
// A BSTR points at the first character; the four bytes before it hold the
// length in bytes, and a NUL follows the last character (a BSTR may hold
// NULs of its own: its length, not the first NUL, is the end). A null BSTR
// is an empty text everywhere a BSTR is read. Every BSTR comes from the
// SysAlloc family and goes back through SysFreeString.
//
// "ANSI" is ISO-8859-1 here: a byte becomes the character of the same
// value, so every byte 0-255 round-trips; a character above 255 becomes '?'
// on the way back.
//
// Threads: any BSTR may be made and freed on any thread.
#pragma once

#include "platform/types.h"

#include <string>
#include <string_view>

using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using BSTR = OLECHAR*;

// A copy of the NUL-terminated text; null for a null text or when memory
// runs out.
BSTR SysAllocString(LPCOLESTR text);
// `length` characters of `text` (not read when null: the characters are then
// left zero); null when memory runs out.
BSTR SysAllocStringLen(LPCOLESTR text, UINT length);
// Replaces *string (freed) with `length` characters of `text`, which may lie
// inside *string; FALSE, *string unchanged, when memory runs out or
// `string` is null.
BOOL SysReAllocStringLen(BSTR* string, LPCOLESTR text, UINT length);
void SysFreeString(BSTR string);
// Characters, 0 for null.
UINT SysStringLen(BSTR string);

namespace platform {

// A new BSTR of the bytes, one character per byte; null when memory runs out.
BSTR bstrFromAnsi(std::string_view bytes);
// The BSTR's characters as bytes (above 255: '?'); empty for null.
std::string ansiFromBstr(BSTR string);
// The same for a NUL-terminated text.
std::string ansiFromOleString(LPCOLESTR text);
// A BSTR's characters as a view; empty for null.
std::u16string_view bstrView(BSTR string);

}  // namespace platform
