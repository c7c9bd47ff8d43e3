// Windows and messages: the stand-in for the platform's window manager as
// far as hidden windows go (the suite never shows a window).
//
// - Window classes are process-wide, named without regard to case; a class
//   cannot be unregistered while a window of it exists
//   (ERROR_CLASS_HAS_WINDOWS).
// - Windows are process-local and belong to the thread that created them:
//   only that thread destroys them, and the messages posted to them go to
//   that thread's queue. A thread that ends takes its windows with it
//   (without WM_DESTROY) and drops its queue.
// - Each thread has one FIFO message queue, made at its first window or
//   message call; platform::messageQueueDescriptor gives a descriptor that
//   poll() reports readable while a message waits, so another loop can wait
//   on it. PostMessage never blocks. SendMessage to a window of another
//   thread waits until that thread takes its messages (GetMessage,
//   PeekMessage) and the window procedure has answered.
// - Messages posted to a window that no longer exists are dropped.
// - RegisterWindowMessage gives numbers in 0xC000-0xFFFF, the same for the
//   same name (any case) in every process that shares the runtime
//   directory.
//
// Thread safety: every call may be made from any thread; window procedures
// run on the thread that dispatches (or sends on its own thread).
#pragma once

#include "platform/types.h"

#include <cstdint>
#include <functional>

struct HWND__;
using HWND = HWND__*;
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
struct HICON__;
using HICON = HICON__*;
using HCURSOR = HICON;
struct HBRUSH__;
using HBRUSH = HBRUSH__*;
struct HMENU__;
using HMENU = HMENU__*;

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using LONG_PTR = std::intptr_t;
using ATOM = WORD;

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

struct WNDCLASSEXW {
    UINT cbSize;
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCWSTR lpszMenuName;
    LPCWSTR lpszClassName;
    HICON hIconSm;
};

struct CREATESTRUCTW {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCWSTR lpszName;
    LPCWSTR lpszClass;
    DWORD dwExStyle;
};

struct POINT {
    LONG x;
    LONG y;
};

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
using LPMSG = MSG*;

// Messages.
constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_NCCREATE = 0x0081;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_DEVICECHANGE = 0x0219;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

// Class styles, window styles, positions.
constexpr UINT CS_VREDRAW = 0x0001;
constexpr UINT CS_HREDRAW = 0x0002;
constexpr UINT CS_OWNDC = 0x0020;
constexpr DWORD WS_OVERLAPPEDWINDOW = 0x00CF0000u;
constexpr DWORD WS_EX_CLIENTEDGE = 0x00000200u;
constexpr DWORD WS_EX_APPWINDOW = 0x00040000u;
constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000u);
constexpr int COLOR_WINDOW = 5;

// Window data.
constexpr int GWL_USERDATA = -21;
constexpr int GWLP_USERDATA = -21;

// PeekMessage.
constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

// Resources: MAKEINTRESOURCE ids of the standard icon and cursor.
#define MAKEINTRESOURCEW(id) (reinterpret_cast<LPCWSTR>(static_cast<std::uintptr_t>(static_cast<WORD>(id))))
#define IDI_APPLICATION MAKEINTRESOURCEW(32512)
#define IDC_ARROW MAKEINTRESOURCEW(32512)

// Errors of this service.
constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;
constexpr DWORD ERROR_CANNOT_FIND_WND_CLASS = 1407;
constexpr DWORD ERROR_CLASS_ALREADY_EXISTS = 1410;
constexpr DWORD ERROR_CLASS_DOES_NOT_EXIST = 1411;
constexpr DWORD ERROR_CLASS_HAS_WINDOWS = 1412;
constexpr DWORD ERROR_INVALID_THREAD_ID = 1444;
constexpr DWORD ERROR_MESSAGE_SYNC_ONLY = 1159;

// The module handle of the process (null name) — the same for every
// library of it; another name: null with ERROR_FILE_NOT_FOUND.
HMODULE GetModuleHandleW(LPCWSTR moduleName);
// Stand-in handles for the standard icon and cursor (never drawn).
HICON LoadIconW(HINSTANCE instance, LPCWSTR name);
HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name);

// 0 with ERROR_CLASS_ALREADY_EXISTS, or 87 for a record without a name, a
// procedure or the right cbSize.
ATOM RegisterClassExW(const WNDCLASSEXW* windowClass);
// FALSE with ERROR_CLASS_DOES_NOT_EXIST for an unknown class.
BOOL GetClassInfoExW(HINSTANCE instance, LPCWSTR className, WNDCLASSEXW* windowClass);
// FALSE with ERROR_CLASS_HAS_WINDOWS while a window of the class exists,
// ERROR_CLASS_DOES_NOT_EXIST for an unknown class.
BOOL UnregisterClassW(LPCWSTR className, HINSTANCE instance);

// The desktop window: the parent of top-level windows. A fixed handle that
// no window of the process ever gets; it receives no messages.
HWND GetDesktopWindow();
// The next window of this process after `childAfter` (null: from the first,
// in creation order) whose parent is `parent` (null or the desktop window:
// the top-level windows, created without a parent or as children of the
// desktop) and whose class and window name match, each without regard to
// case; a null class or name matches any. Null when none is left.
HWND FindWindowExW(HWND parent, HWND childAfter, LPCWSTR className, LPCWSTR windowName);
HWND FindWindowExA(HWND parent, HWND childAfter, LPCSTR className, LPCSTR windowName);

// Sends WM_NCCREATE and WM_CREATE (lParam: the CREATESTRUCTW) on the calling
// thread before it returns; a procedure that answers FALSE to the first or
// -1 to the second fails the call (null). Unknown class: null with
// ERROR_CANNOT_FIND_WND_CLASS.
HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
// Sends WM_DESTROY and WM_NCDESTROY, then forgets the window and drops its
// queued messages. Another thread's window: FALSE with ERROR_ACCESS_DENIED;
// an unknown one: ERROR_INVALID_WINDOW_HANDLE.
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
// WM_CLOSE destroys the window; WM_NCCREATE answers TRUE; others 0.
LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// GWLP_USERDATA only (87 otherwise); the previous value is returned.
LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR value);
LONG_PTR GetWindowLongPtrW(HWND window, int index);
// The 32-bit forms keep only 32 bits: a pointer needs the Ptr forms.
LONG SetWindowLongW(HWND window, int index, LONG value);
LONG GetWindowLongW(HWND window, int index);
DWORD GetWindowThreadProcessId(HWND window, LPDWORD processId);

// Blocks until a message for the filter arrives (`window` null: any; the
// range 0, 0: any message). Returns 0 for WM_QUIT, -1 on a bad window.
BOOL GetMessageW(LPMSG message, HWND window, UINT filterMin, UINT filterMax);
// As GetMessage without waiting: FALSE when nothing matches.
BOOL PeekMessageW(LPMSG message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags);
BOOL TranslateMessage(const MSG* message);
// Calls the window's procedure; 0 for a thread message or a window that
// no longer exists.
LRESULT DispatchMessageW(const MSG* message);
// Queues the message for the window's thread; a null window posts to the
// calling thread. FALSE with ERROR_INVALID_WINDOW_HANDLE for an unknown
// window. A system message whose lParam is a pointer to a record
// (WM_CREATE, WM_NCCREATE, WM_SETTEXT, WM_GETTEXT, WM_DEVICECHANGE with a
// notice that carries one) is refused with ERROR_MESSAGE_SYNC_ONLY: by the
// time it is taken the record may be gone, and the window procedures read
// it without a check. Such messages are only sent.
BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// FALSE with ERROR_INVALID_THREAD_ID when the thread has no queue; the
// messages PostMessageW refuses are refused here as well.
BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);

// 0 with 87 for an empty name.
UINT RegisterWindowMessageW(LPCWSTR name);
UINT RegisterWindowMessageA(LPCSTR name);

namespace platform {

// The calling thread's queue as a descriptor: readable while a message
// waits. Owned by the layer; valid until the thread ends.
int messageQueueDescriptor();

// Called with every message posted to `window` that the layer drops
// instead of delivering: the messages still queued when DestroyWindow
// destroys it, those met after it went (posted just before) and those left
// in its thread's queue when the thread ends. A poster that hands a
// resource over in lParam frees it here. The hook is taken into each
// message when it is posted, so it outlives the window for that message;
// it runs on whichever thread drops the message, with no lock of the layer
// held. Set it on the new window before anything is posted to it (an empty
// function removes it). FALSE with ERROR_INVALID_WINDOW_HANDLE for an
// unknown window.
using PostedMessageDiscardHook = std::function<void(const MSG& message)>;
BOOL setPostedMessageDiscardHook(HWND window, PostedMessageDiscardHook hook);

}  // namespace platform
