// The field rules of the add and modify flows and the port box's key filter.
#pragma once

// Registry names are ISO-8859-1, the form's texts UTF-8.
#include "TextCoding.h"

#include <string>

// 1 when the name is empty or blanks (' ') only, else 2 when it holds a
// backslash, else 0.
int CheckString(const std::string& name);
// 1 when every character is a decimal digit or a blank (empty passes).
int CheckTimeout(const std::string& text);
// A typed port: 4 to 6 characters, "com", "hid", "COM" or "HID" first
// (these spellings only), digits from the fourth character on.
bool IsValidTypedPort(const std::string& port);
// False for ""; true when every character is a digit (or ':' with the flag).
bool IsDigitString(const std::string& text, bool allowColon);
// Trailing white space (blank, tab, line breaks) removed.
std::string TrimRight(const std::string& text);
// The leading decimal digits as a 32-bit integer (0 when none), and as a
// double (the maximum time-out's bound is beyond 32 bits).
int ToInt32(const std::string& text);
double ToDouble(const std::string& text);

// The port box's key filter: whether a key typed with `textBeforeCaret`
// before the caret may pass. `key` is the key's upper-case letter or digit
// ('0'-'9'; the numeric pad's digits too), `special` marks Backspace, Tab,
// Delete and the arrows, which always pass. `placeholder` is "-- Select --".
bool PortKeyAllowed(const std::string& textBeforeCaret, char key, bool special, bool shift,
                    const std::string& placeholder);
