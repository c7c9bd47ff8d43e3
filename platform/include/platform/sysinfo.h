// What a program asks about the system it runs on: the platform version,
// the MS-DOS device names and the user's language.
//
// - GetVersionExA always reports the NT family (major 6, minor 1, platform
//   VER_PLATFORM_WIN32_NT), the family whose device names list the ports.
// - QueryDosDeviceA lists the serial ports present now as "COM<n>", one
//   name per port of platform::listSerialPorts() (real and virtual ones), so
//   a "COMn" a program finds here is the port that "\\.\COMn" opens. A
//   named query answers the port's kernel-device name.
// - GetUserDefaultLangID reads the first non-empty of LC_ALL, LC_MESSAGES
//   and LANG ("fr_FR.UTF-8" gives 1036, "en_US" 1033); a language the table
//   does not know, "C", "POSIX" or none at all give 1033.
//
// Thread safety: every call may run on any thread.
#pragma once

#include "platform/types.h"

using LANGID = WORD;

constexpr DWORD VER_PLATFORM_WIN32s = 0;
constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr DWORD VER_PLATFORM_WIN32_NT = 2;

struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
};
using LPOSVERSIONINFOA = OSVERSIONINFOA*;

// FALSE with ERROR_INVALID_PARAMETER unless dwOSVersionInfoSize is
// sizeof(OSVERSIONINFOA).
BOOL GetVersionExA(LPOSVERSIONINFOA versionInfo);

// `deviceName` null: every name, each NUL-terminated, then one more NUL;
// otherwise the target of that name ("COM3": its kernel-device name). The
// count of characters stored, NULs included; 0 with ERROR_FILE_NOT_FOUND
// for an unknown name or ERROR_INSUFFICIENT_BUFFER (122) when the buffer
// is too small (nothing useful is stored then).
DWORD QueryDosDeviceA(LPCSTR deviceName, LPSTR targetPath, DWORD size);

constexpr LANGID kLangEnglishUnitedStates = 0x0409;
constexpr LANGID kLangFrenchFrance = 0x040C;

LANGID GetUserDefaultLangID();
