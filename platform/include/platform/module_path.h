// The path of the running program (GetModuleFileNameA), for files that
// ship beside it.
#pragma once

#include "platform/module.h"

#include <string>


// Only the program itself is known: `module` must be null (any other value
// fails with ERROR_INVALID_HANDLE, 6). Copies the program's full path, as
// bytes, with a NUL, and returns its length. When it does not fit, the path
// is cut to size - 1 bytes, NUL-terminated, size is returned and the last
// error is ERROR_INSUFFICIENT_BUFFER (122). 0 with ERROR_INVALID_PARAMETER
// (87) for no buffer or size 0.
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);

namespace platform {

// The program's full path, any length; empty when it cannot be read.
std::string executablePath();

}  // namespace platform
