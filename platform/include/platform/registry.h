// The registry stand-in: one SQLite database shared by every process of the
// suite ($VX_REGISTRY, else ${XDG_CONFIG_HOME:-$HOME/.config}/varnex/registry.db).
//
// Semantics callers rely on:
// - Roots HKEY_LOCAL_MACHINE and HKEY_CLASSES_ROOT; the latter is a view of
//   HKEY_LOCAL_MACHINE\SOFTWARE\Classes.
// - Key and value names are compared without regard to (ASCII) case and keep
//   the spelling they were created with. Paths use '\' between key names.
// - Sub-keys and values enumerate in the order they were first created. An
//   overwritten value keeps its place; a deleted and re-written one moves to
//   the end.
// - REG_SZ (and REG_EXPAND_SZ) data always ends with a NUL, and its size
//   counts it: a NUL is added when the caller's bytes lack one. REG_DWORD
//   data is exactly 4 bytes (ERROR_INVALID_PARAMETER (87) otherwise).
// - A missing key or value answers ERROR_FILE_NOT_FOUND (2); a buffer too
//   small answers ERROR_MORE_DATA (234) and the size needed.
// - Every write is one transaction, so two processes writing at once never
//   lose each other's writes; platform::RegIncrementDword is atomic.
// - Handles from RegOpenKeyExA/RegCreateKeyExA are validated on every use:
//   a closed or made-up one answers ERROR_INVALID_HANDLE (6); one whose key
//   was deleted answers ERROR_KEY_DELETED (1018). The predefined roots need
//   no closing (closing them succeeds).
// - Functions may be called from any thread. They return the error code
//   (LONG) and do not set the last error. A database that cannot be used
//   answers a code too, never 2 (5 for an unwritable file, 1359 for a
//   corrupt one).
#pragma once

#include "platform/types.h"

#include <string>

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using REGSAM = DWORD;

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000000u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000002u)))

// Value types.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;

// Access rights are accepted and not enforced.
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// `subKey` null or empty opens a new handle on `key` itself.
LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
// Creates every missing key on the path; `disposition` (may be null) tells
// whether the last key was created or opened; `subKey` null or empty opens a
// new handle on `key`. A key name longer than 255 characters is refused with
// ERROR_INVALID_PARAMETER.
LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options, REGSAM access,
                     void* securityAttributes, PHKEY result, LPDWORD disposition);
LONG RegCloseKey(HKEY key);

// `valueName` null or empty names the key's default value. `type`, `data`
// and `size` may each be null; with `data` null the size needed is stored.
LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size);
LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD size);
LONG RegDeleteValueA(HKEY key, LPCSTR valueName);

// Deletes a key that has no sub-keys (ERROR_ACCESS_DENIED (5) otherwise).
// An empty `subKey` deletes the key `key` names (a root: 5).
LONG RegDeleteKeyA(HKEY key, LPCSTR subKey);
// Deletes a key with all its sub-keys and values, in one transaction. With
// `subKey` null or empty, empties `key` and leaves it in place.
LONG RegDeleteTreeA(HKEY key, LPCSTR subKey);

// Enumeration by index; ERROR_NO_MORE_ITEMS (259) past the end. `nameSize`
// is in characters: on input the buffer's capacity, on output the name's
// length without the NUL (ERROR_MORE_DATA, and `nameSize` left as it was,
// when it does not fit: RegQueryInfoKeyA tells the longest). Keys have no
// class (an empty one is reported) and `lastWriteTime` is not written.
LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved, LPSTR keyClass,
                   LPDWORD classSize, void* lastWriteTime);
LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved, LPDWORD type,
                   LPBYTE data, LPDWORD dataSize);

// Counts and longest lengths of sub-key names, value names and value data.
// Any pointer may be null.
LONG RegQueryInfoKeyA(HKEY key, LPSTR keyClass, LPDWORD classSize, LPDWORD reserved, LPDWORD subKeys,
                      LPDWORD maxSubKeyLength, LPDWORD maxClassLength, LPDWORD values, LPDWORD maxValueNameLength,
                      LPDWORD maxValueLength, LPDWORD securityDescriptor, void* lastWriteTime);

namespace platform {

// Adds `delta` to a REG_DWORD value in one transaction (a missing value
// counts as 0; the sum wraps) and stores the new value in `result` (may be
// null). A value of another type or size: ERROR_INVALID_PARAMETER.
LONG RegIncrementDword(HKEY key, LPCSTR valueName, DWORD delta, DWORD* result);

// Points this process at another registry file (tests give each case its
// own; an empty path goes back to the default above, read again from the
// environment). The file and its folders are created on first use.
// Key handles from before answer ERROR_INVALID_HANDLE afterwards
// (closing them still succeeds).
void setRegistryPath(const std::string& path);
// The file in use.
std::string registryPath();

}  // namespace platform
