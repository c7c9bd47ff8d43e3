// The file that marks a "Global\" name machine-wide (named_objects.cpp).
#pragma once

#include <string>
#include <string_view>

namespace platform {

// "global-<name>.lock" for the name without its "Global\" prefix: letters,
// digits, '.', '-' and '_' stay, every other byte becomes %XX. A name whose
// escaped form would make the file name too long for the file system keeps
// the head of that form and adds '~' and the SHA-256 digest of the whole
// name in hex, so any name makes one file name of at most 200 bytes, and two
// names never share one ('~' appears in no escaped form).
std::string globalLockFileName(std::string_view name);

// The SHA-256 digest of `bytes` as 64 lower-case hex digits.
std::string sha256Hex(std::string_view bytes);

}  // namespace platform
