// Loading a shared library by path and finding its exports (the
// LoadLibrary family), and asking whether a file exists.
//
// Paths: a wide path is narrowed by value per character (0-255 stay the
// same byte, anything beyond becomes '?'), so a path whose bytes the caller
// widened one by one (a UTF-8 folder name, say) reaches the file system
// unchanged. An empty or null path fails with ERROR_INVALID_PARAMETER (87).
//
// Libraries are opened with every symbol bound at once and kept local to
// the library (RTLD_NOW | RTLD_LOCAL). Loading the same file twice gives the
// same module and counts a reference; each FreeLibrary gives one back, the
// last unloads it.
//
// Threads: every call may be made from any thread; a module must not be
// freed while another thread still calls into it.
#pragma once

#include "platform/types.h"

constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
constexpr DWORD ERROR_BAD_EXE_FORMAT = 193;

constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x00000010u;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x00000020u;

// A loaded library. Not a kernel handle: only LoadLibrary's own results are
// accepted by GetProcAddress and FreeLibrary (any other value fails with
// ERROR_INVALID_HANDLE, 6).
struct HINSTANCE__;
using HMODULE = HINSTANCE__*;
// An export's address; cast it to the export's real type before calling.
using FARPROC = void (*)();

// Null with ERROR_MOD_NOT_FOUND (126) when there is no such file, or
// ERROR_BAD_EXE_FORMAT (193) when the file is not a loadable library (or
// one of its own dependencies is missing).
HMODULE LoadLibraryW(LPCWSTR path);
HMODULE LoadLibraryA(LPCSTR path);

// Null with ERROR_PROC_NOT_FOUND (127) when the library has no such export.
FARPROC GetProcAddress(HMODULE module, LPCSTR name);

BOOL FreeLibrary(HMODULE module);

// FILE_ATTRIBUTE_DIRECTORY for a folder, FILE_ATTRIBUTE_ARCHIVE for any
// other file; INVALID_FILE_ATTRIBUTES with ERROR_FILE_NOT_FOUND (2) when
// nothing exists at the path, ERROR_PATH_NOT_FOUND (3) when a part of it is
// not a folder, ERROR_ACCESS_DENIED (5) when it cannot be looked at.
DWORD GetFileAttributesW(LPCWSTR path);
DWORD GetFileAttributesA(LPCSTR path);
