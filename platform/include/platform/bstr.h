// COM strings (BSTR): UTF-16 text with its length kept in front of it, so a
// BSTR may hold NULs. The pointer addresses the first character and the text
// is also NUL-terminated, so it can be read as a plain string where no NUL
// is embedded. A null BSTR is the empty string everywhere.
//
// Ownership: whoever allocates a BSTR frees it with SysFreeString, unless it
// hands it over (a by-reference argument, a VARIANT cleared by its holder).
#pragma once

#include "platform/types.h"

using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using BSTR = OLECHAR*;

// A copy of the NUL-terminated `text`; null for null text or no memory.
BSTR SysAllocString(const OLECHAR* text);
// `length` characters of `text` (NULs included); with `text` null the
// characters are zero. Null when there is no memory.
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
// Replaces *bstr by a new string of `length` characters of `text` and frees
// the old one; `text` may point into the old string. FALSE (and *bstr
// untouched) when there is no memory.
int SysReAllocStringLen(BSTR* bstr, const OLECHAR* text, UINT length);
void SysFreeString(BSTR bstr);
// Characters, without the terminating NUL; 0 for null.
UINT SysStringLen(BSTR bstr);
