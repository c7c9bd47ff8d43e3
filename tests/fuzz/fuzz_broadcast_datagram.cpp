// The window-broadcast listener: each input is one datagram as another
// process of the user could send it. Whatever it holds, a window of ours is
// handed only a message that may cross processes, and it reads lParam the
// way the suite's windows read it for the messages they handle: a forged
// pointer handed over would crash here.
#include "linux/internal/broadcast.h"

#include "platform/window.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// Set once the window exists: its creation sends it the system's messages
// with real records.
bool g_created = false;

LRESULT trustingProc(HWND window, UINT message, WPARAM, LPARAM lParam)
{
    if (message == WM_NCCREATE || message == WM_CREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    } else if (message == WM_SETTEXT || message == WM_GETTEXT) {
        volatile char first = *reinterpret_cast<const char*>(lParam);
        (void)first;
    }
    // Nothing of the system's range comes from another process.
    if (g_created && message < WM_USER)
        std::abort();
    return message == WM_NCCREATE ? TRUE : 0;
}

HWND window()
{
    static HWND created = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &trustingProc;
        windowClass.lpszClassName = L"FuzzBroadcastWindow";
        RegisterClassExW(&windowClass);
        HWND made = CreateWindowExW(0, L"FuzzBroadcastWindow", L"fuzz", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                                    nullptr);
        g_created = true;
        return made;
    }();
    return created;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (window() == nullptr)
        std::abort();
    const bool posted = platform::handleBroadcastDatagram(data, size);
    std::size_t taken = 0;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ++taken;
        DispatchMessageW(&msg);
    }
    // A record that was taken reaches our one window, once.
    if (taken != (posted ? 1u : 0u))
        std::abort();
    return 0;
}
