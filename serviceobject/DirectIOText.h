// The texts of DirectIO 18 (a menu command passed through, with an optional
// device address between two colons in front) and DirectIO 19 (the command
// time-out), as a host hands them in its string, and the answer written
// back into that string.
#pragma once

#include "platform/bstr.h"

#include <string>

// The caller's string up to its first NUL: hosts hand the command in a
// buffer with room for the reply, so what follows the command is zeros.
std::string DirectIOCommandText(BSTR string);
// Where the command starts: after a leading ":address:", else 0.
std::size_t DirectIOCommandStart(const std::string& text);
// The six-letter name after the address; empty when fewer follow.
std::string DirectIOCommandName(const std::string& text);
// An address or a command that no menu frame carries (as many characters
// as the menu transport refuses, or more).
bool DirectIOTooLongForAMenu(const std::string& text);
// A DirectIO 19 text: "-1", or one to ten digits not above 2147483647.
bool DirectIOTimeoutValue(const std::string& text, long long& value);

// Each byte as one UTF-16 unit, without its sign.
std::u16string WidenDirectIOBytes(const std::string& bytes);
// Makes `answer` the caller's string, of the answer's own length; false
// when memory ran out.
bool WriteDirectIOAnswer(BSTR* string, const std::u16string& answer);
