// Starting programs (the shell-execution stand-in), for the verb "open" (or
// no verb) on a program file.
//
// - A file name without '/' is looked up in the current directory (never
//   on PATH); the program must be an executable file.
// - The program starts detached: it gets its own session, its parent is not
//   this process (no zombie is ever left), and the call does not wait for
//   it beyond its start. Parameters are split at blanks; the working
//   directory is the given one, else the caller's.
// - ShellExecuteA answers a value above 32 on success, else SE_ERR_FNF (2)
//   for a missing file, SE_ERR_ACCESSDENIED (5) for a file that cannot be
//   run, SE_ERR_NOASSOC (31) for a verb other than "open".
// - ShellExecuteExA answers TRUE, or FALSE with the last error
//   (ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_NO_ASSOCIATION);
//   hInstApp gets the ShellExecuteA value.
//
// Thread safety: any thread.
#pragma once

#include "platform/types.h"
#include "platform/window.h"

constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_NORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_RESTORE = 9;

constexpr int SE_ERR_FNF = 2;
constexpr int SE_ERR_PNF = 3;
constexpr int SE_ERR_ACCESSDENIED = 5;
constexpr int SE_ERR_NOASSOC = 31;

constexpr DWORD ERROR_NO_ASSOCIATION = 1155;

HINSTANCE ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory, int showCommand);

constexpr ULONG SEE_MASK_DEFAULT = 0x00000000u;
constexpr ULONG SEE_MASK_NOCLOSEPROCESS = 0x00000040u;

struct SHELLEXECUTEINFOA {
    DWORD cbSize;
    ULONG fMask;
    HWND hwnd;
    LPCSTR lpVerb;
    LPCSTR lpFile;
    LPCSTR lpParameters;
    LPCSTR lpDirectory;
    int nShow;
    HINSTANCE hInstApp;
    void* lpIDList;
    LPCSTR lpClass;
    void* hkeyClass;
    DWORD dwHotKey;
    HANDLE hIcon;
    HANDLE hProcess;  // never set: the program is detached
};
using LPSHELLEXECUTEINFOA = SHELLEXECUTEINFOA*;

// FALSE with ERROR_INVALID_PARAMETER unless cbSize is sizeof(SHELLEXECUTEINFOA).
BOOL ShellExecuteExA(LPSHELLEXECUTEINFOA info);
