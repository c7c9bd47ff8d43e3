// The DirectIO exchange of the Advanced View, without its windows: the room
// given to each request, the serial command's tag, the request strings, and
// the reading of what the service object returns.
//
// A DirectIO string is a BSTR of the scanner control; pData carries its room
// in characters on the way in and the count of characters returned on the
// way out. Neither the count nor the characters come from this program, so
// every reader here stays inside the returned string whatever pData says.
#pragma once

#include "platform/bstr.h"
#include "platform/com.h"

#include <string>
#include <string_view>
#include <vector>

// Room of the DirectIO string of the "Command Timeout" entry.
constexpr LONG kCommandTimeoutChars = 1024;

// One DirectIO call's in-out arguments, passed as (&pData, &string). Frees
// the string it holds last: the control may have replaced the one it was
// given.
struct DirectIOArguments {
    LONG pData = 0;
    BSTR string = nullptr;

    DirectIOArguments() = default;
    ~DirectIOArguments() { SysFreeString(string); }
    DirectIOArguments(const DirectIOArguments&) = delete;
    DirectIOArguments& operator=(const DirectIOArguments&) = delete;
};

// Characters of an image request's string at this BinaryConversion: 0x130000
// (one character per byte), 0x260000 (nibbles), 0x390000 (decimal); 0 for any
// other value, which sends no string at all.
LONG DirectIOBufferChars(LONG binaryConversion);

// The six-character tag of a serial command: after ":address:" when the text
// starts with ":", else at its start (a ":" without a second one included,
// as the service object reads it); fewer characters at the end of the text.
std::string SerialCommandTag(std::string_view command);

// Room of a serial command's string by its tag, case ignored: 1024 for
// "IMGSNP", "REVINF" and "P_INFO", 0x180000 for "IMGSHP", 2048 otherwise.
LONG SerialCommandBufferChars(std::string_view tag);

// True for the tag whose reply is an image ("IMGSHP", case ignored).
bool IsImageSerialTag(std::string_view tag);

// Arguments of an image capture at this BinaryConversion: a zeroed string of
// DirectIOBufferChars and pData of the same count, or no string and pData 0.
// E_OUTOFMEMORY, arguments emptied, when the string cannot be made.
HRESULT MakeImageRequest(LONG binaryConversion, DirectIOArguments& arguments);

// Arguments carrying a text: room for max(chars, text length + 1) characters,
// each byte widened without sign (0x80-0xFF stay U+0080-U+00FF) and zeros
// after it; pData = chars. E_OUTOFMEMORY, arguments emptied, when the string
// cannot be made.
HRESULT MakeSerialRequest(std::string_view command, LONG chars, DirectIOArguments& arguments);

// The "Command Timeout" entry's arguments: the typed text, kCommandTimeoutChars.
HRESULT MakeCommandTimeoutRequest(std::string_view milliseconds, DirectIOArguments& arguments);

// The low byte of each returned character, of at most pData characters and
// never more than the string holds (a negative pData reads none).
std::string ReplyBytes(BSTR reply, LONG pData);

// The image in a reply, read as ReplyBytes reads it, by the BinaryConversion
// read before the call (an "IMGSHP" serial reply is encoded the same way as a
// capture's): 1 takes two characters per byte (low nibble of
// each, high first), 2 three decimal digits per byte (low 8 bits of the
// value), anything else one character per byte. A trailing odd character or
// incomplete triple is dropped; decimal decoding ends at the first triple
// that is not three digits.
std::vector<BYTE> DecodeImage(BSTR reply, LONG pData, LONG binaryConversion);
