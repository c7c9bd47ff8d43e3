// Private-profile (INI) files, as far as a program reads one value.
//
// GetPrivateProfileStringA(section, key, default, buffer, size, path):
// - the file is read on every call; a missing or unreadable file, section
//   or key gives the default (null counts as ""), with its trailing blanks
//   removed;
// - only a regular file of at most kProfileFileLimit bytes is read, never
//   through a symbolic link and never waiting on a FIFO: anything else
//   gives the defaults, with the reason said once on the debugger output
//   and the last error of platform::readRegularFile;
// - section and key names are compared without regard to (ASCII) case; the
//   first section and the first key in it that match are used;
// - around a key and its value, blanks and tabs are removed; a value
//   enclosed in one pair of matching quotes (' or ") loses them; lines
//   beginning with ';' are comments; "\r\n" and "\n" both end lines;
// - the value is cut to size - 1 characters and NUL-terminated; the count
//   of characters stored (without the NUL) is returned.
// A null section or key (the platform's listing forms) is not offered:
// the default is stored, with ERROR_INVALID_PARAMETER as last error.
//
// Thread safety: any thread.
#pragma once

#include "platform/types.h"

#include <cstddef>
#include <string>

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer, DWORD size,
                               LPCSTR path);

namespace platform {

// The largest profile file read: far above any the programs ship.
constexpr std::size_t kProfileFileLimit = 1024 * 1024;

// The lookup on a file's text, without the file: true and the value when
// the section holds the key. GetPrivateProfileStringA uses it.
bool findProfileValue(const std::string& text, const std::string& section, const std::string& key,
                      std::string* value);

}  // namespace platform
