// The bytes of the commands the engine sends to the scanner's application
// and bootloader, the relay encoding that carries bootloader bytes through
// the application, and the library's small text utilities.
#pragma once

#include "include/VXFLASH02.h"

#include <cstddef>
#include <cstdint>
#include <string>

enum CommandId : std::uint32_t {
    CC_ACK = 0,
    CC_ESC = 1,
    CC_ERASE = 2,
    CC_PROGRAM = 3,
    CC_DC1 = 6,
    CC_EXIT = 7,
    CC_TRGMOD = 8,
    CC_NEWAP2 = 9,
    CC_NEWBLS = 10,
    CC_NEWBLE = 12,
    CC_P_INFO = 13,
    CC_BTLPRO = 14,
    CC_VISMN40 = 15,
};

// Writes the command's bytes and a NUL into `buffer` (at least 20 bytes);
// returns the count without the NUL, 0 for an id that is not a command.
std::size_t BuildCommand(std::uint32_t id, std::uint8_t* buffer);
// The relay command for `n` (1-255) bootloader bytes: 2n + 12 bytes into
// `buffer` (at least 2n + 12 bytes); returns the count, 0 for a bad n.
std::size_t BuildRelayCommand(std::uint8_t* buffer, std::size_t n, const std::uint8_t* data);

// True when the text after the last '.' of `name` equals `extension`
// ignoring case, over the length of the name's extension (so an empty
// extension and a prefix of `extension` match). A name without '.' is
// compared from its second character on.
bool FileExtensionMatches(const std::u16string& name, const std::u16string& extension);

// A file or port name as the file system takes it (UTF-8). False for a name
// that names nothing: an embedded NUL or a surrogate without its partner.
bool FileNameText(const std::u16string& name, std::string* out);
// A wide text for a log line (UTF-8); empty when it cannot be made. Never
// throws, so that a log line never changes an operation's result.
std::string LogText(const std::u16string& text) noexcept;
// Each byte as the character of the same value.
std::u16string WidenText(const std::string& text);
// Length of a NUL-terminated UTF-16 text, reading at most `limit` characters.
std::size_t WideLength(const char16_t* text, std::size_t limit = SIZE_MAX);

// The value of one hexadecimal digit, either case; -1 for any other character.
int HexDigitValue(char c);

// "Jan".."Dec" to 0..11, else -1.
int MonthNumber(const std::string& name);
// Parses "Feb 23 2012 10:39:09" into `time` (zero-filled by the caller);
// stops at the first field that fails, keeping those already set.
void ParseBuildDate(const std::string& text, fileversion_time* time);
