// Thread-local last error and system error texts.
#pragma once

#include "platform/types.h"

#include <string>

DWORD GetLastError();
void SetLastError(DWORD code);

// FormatMessage stand-in. Only the form the suite uses is offered: message
// text from the system (FORMAT_MESSAGE_FROM_SYSTEM, usually with
// FORMAT_MESSAGE_IGNORE_INSERTS) into a caller's buffer. The text of every
// code the layer produces ends with "\r\n", as the platform's texts do.
// Returns the number of characters written without the terminating NUL, or
// 0 with last error ERROR_NOT_FOUND (1168) for a code without a text and
// ERROR_INSUFFICIENT_BUFFER (122) when the buffer is too small.
constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200u;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000u;
constexpr DWORD LANG_NEUTRAL = 0x00;
constexpr DWORD SUBLANG_DEFAULT = 0x01;
constexpr DWORD MAKELANGID(DWORD primary, DWORD sub) { return (sub << 10) | primary; }

DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer,
                     DWORD size, void* arguments);
DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPWSTR buffer,
                     DWORD size, void* arguments);

namespace platform {

// The system text of a code, "\r\n" included, or nullptr when it has none.
const char* systemErrorText(DWORD code);

// The one place where errno values become the platform's codes.
DWORD errorFromErrno(int err);

// Sets the last error from errno (through errorFromErrno) and returns it.
DWORD setLastErrorFromErrno();

}  // namespace platform
