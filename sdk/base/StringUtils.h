// String and system helpers shared by the whole SDK. None of them logs.
//
// The narrow/wide conversions convert character by character with no code
// page: they suit the plain ASCII text the SDK handles (port names, device
// paths, object names, menu texts).
#pragma once

#include "platform/types.h"

#include <map>
#include <string>
#include <vector>

// The value in signed decimal ("%d").
std::string intToString(int value);

// The system's text for an error code, cut at its first carriage return;
// "Unknown Error!" when the system has no text for the code.
std::wstring getSystemErrorString(DWORD code);

// Each byte becomes the wide character of the same value (0-255).
std::wstring stringToWString(const std::string& text);
// Each wide character keeps only its low byte.
std::string wstringToString(const std::wstring& text);
std::wstring convertToWString(const std::string& text);
std::string convertToString(const std::wstring& text);

// A name for a private kernel object, made only of decimal digits: the
// thread id, a seed from the current time, a random number drawn after
// seeding with it, the tick count, and a process-wide counter, so that no
// two calls in a process ever return the same name.
std::wstring generateUniqueName();

// Cuts `text` at every occurrence of `delimiter` (searched left to right,
// each search starting after the previous occurrence) and appends the pieces
// before, between and after the occurrences to `pieces`; empty pieces only
// when `keepEmpty` is set. Returns the number of occurrences. A text without
// the delimiter, an empty text or an empty delimiter appends nothing.
int splitString(const std::string& text, const std::string& delimiter, std::vector<std::string>& pieces,
                 bool keepEmpty);

// For each line holding the separator (its first character is used): the
// key is the text before its first occurrence, the value the rest of the
// line less one blank directly after the separator. Lines without it are
// skipped; the first value of a key stays.
std::map<std::string, std::string> parseKeyValuePairs(std::vector<std::string> lines, const std::string& separator);

// A device reply of "key: value" lines ended by CR LF. Text without any
// CR LF gives an empty map.
std::map<std::string, std::string> parseKeyValueText(const std::string& text);
