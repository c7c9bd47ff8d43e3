// Reading product identity out of device reply text: numbers, values with
// leading blanks, the P_INFO key table, single-query values and the
// firmware build stamp. Pure functions, no device traffic.
#pragma once

#include <map>
#include <string>
#include <vector>

class CProduct;

namespace productinfo {

using KeyValues = std::map<std::string, std::string>;

// A number as C's atoi reads it (leading white space, an optional sign,
// digits up to the first non-digit, 0 without digits), except that a value
// beyond the int range is held at INT_MAX or INT_MIN instead of overflowing.
int readDecimal(const std::string& text);

// The text without its leading space characters.
std::string trimLeadingSpaces(const std::string& text);

// The text in lower case (ASCII letters only).
std::string lowerCase(std::string text);
std::string upperCase(std::string text);

// The value under `key` with its leading spaces removed; false when the key
// is absent.
bool findValue(const KeyValues& values, const std::string& key, std::string* value);

// Applies the P_INFO identity keys to `product` in their fixed order:
// "hw-sn", "flash", "app-p_name" (then "boot-p_name" while the name is
// empty), "app-m_name" (then "boot-m_name" while the description is empty),
// the four "app-" and the four "boot-" revision keys. A present key
// overwrites its member and logs its label and value, a missing one logs
// "In P_INFO, can't Find " with the quoted label, both at the trace bit
// under `method`.
void applyIdentityKeys(CProduct& product, const KeyValues& values, const char* method);

// The value of a whole reply to a single query: the reply less its first
// six characters (the echo) and its last two (status byte and storage
// mark); empty for a reply of eight characters or fewer.
std::string singleQueryValue(const std::string& reply);

// The blank-separated words of a "REV_TD?" value (a time, then a date of
// three words); empty pieces dropped.
std::vector<std::string> buildStampWords(const std::string& value);

}  // namespace productinfo
