// How a scanned label or a device reply is shown: every control byte but
// the tab is spelled out by name in brackets ("[STX]", "[CR]", ...), and a
// line feed that follows a carriage return (anything may lie between) gets
// a real line break after its "[LF]", so that CR LF still ends a line on
// screen. Bytes 0x80-0xFF and the tab pass unchanged.
#pragma once

#include <string>
#include <string_view>

std::string NameControlCharacters(std::string_view label);
