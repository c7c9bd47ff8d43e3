// The two text forms the dialog programs meet: what devices, the registry
// and the results file give is ISO-8859-1 bytes; the programs' own texts
// (and what Qt shows) are UTF-8.
#pragma once

#include <string>

// Each byte as the character of that code.
std::string Utf8FromLatin1(const std::string& text);
// Each character as its byte; one beyond ISO-8859-1 (or a broken sequence)
// becomes '?'.
std::string Latin1FromUtf8(const std::string& text);
