// The protocol-settings text file: "NAME: value" lines applied through the
// tool's own SetSetting, with comments, string values with escapes, and a
// diagnostic for every line that fails.
#pragma once

#include "Log.h"
#include "include/VXFLASH02.h"

#include <cstdint>
#include <string>

struct ProtocolSetting {
    const char* name;
    std::int32_t id;
    bool isString;
};

// The entry of a name (exact, case-sensitive), or null.
const ProtocolSetting* FindProtocolSetting(const std::string& name);
// Removes leading and trailing white space.
void TrimSpaces(std::string& text);
// Decodes a string value into `out` (at most `capacity` characters, the
// rest zero); returns the number of characters or -1 for a syntax error.
int DecodeStringValue(const std::string& value, char16_t* out, std::size_t capacity);
// Reads the file and applies every line through `tool`. 0 when every line
// was applied, 1 for a wrong extension, 2 when it cannot be opened or a line
// failed.
int LoadProtocolSettingsFile(CFlashTool* tool, Log* log, const std::u16string& path);
