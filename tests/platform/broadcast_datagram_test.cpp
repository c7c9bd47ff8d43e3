// What a window may be handed by a post or by another process's datagram:
// a system message whose lParam is a pointer (WM_CREATE's CREATESTRUCT,
// WM_SETTEXT's text ...) is never posted, and from a datagram only numbers
// the windows can take as numbers get through; malformed datagrams are
// dropped and the messages after them still arrive.
#include "ForgedBroadcast.h"
#include "TestSupport.h"

#include "platform/broadcast.h"
#include "platform/error.h"
#include "platform/thread.h"
#include "platform/window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using vxtest::broadcastDatagram;
using vxtest::sendBroadcastToSelf;

std::vector<MSG>& dispatched()
{
    static std::vector<MSG> messages;
    return messages;
}

// Takes lParam as what the message says it is, as the suite's windows do:
// a forged pointer crashes here.
LRESULT trustingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE || message == WM_CREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    } else if (message == WM_SETTEXT) {
        volatile char first = *reinterpret_cast<const char*>(lParam);
        (void)first;
    }
    dispatched().push_back({window, message, wParam, lParam, 0, {0, 0}});
    return message == WM_NCCREATE ? TRUE : 0;
}

HWND makeTrustingWindow()
{
    static const ATOM atom = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &trustingProc;
        windowClass.lpszClassName = L"TrustingTestWindow";
        return RegisterClassExW(&windowClass);
    }();
    (void)atom;
    return CreateWindowExW(0, L"TrustingTestWindow", L"t", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
}

std::vector<MSG> drain()
{
    std::vector<MSG> messages;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        messages.push_back(msg);
    return messages;
}


}  // namespace

TEST(BroadcastDatagrams, SystemMessagesCarryingAPointerAreNeverPosted)
{
    HWND window = makeTrustingWindow();
    ASSERT_NE(window, nullptr);
    drain();
    dispatched().clear();
    const UINT registered = RegisterWindowMessageA("VX_DATAGRAM_TEST_POSTED");
    struct Case {
        const char* name;
        UINT message;
        WPARAM wParam;
        bool posted;
    };
    const std::vector<Case> cases = {
        {"WM_CREATE", WM_CREATE, 0, false},
        {"WM_NCCREATE", WM_NCCREATE, 0, false},
        {"WM_SETTEXT", WM_SETTEXT, 0, false},
        {"WM_GETTEXT", WM_GETTEXT, 16, false},
        {"a device notice with its record", WM_DEVICECHANGE, 0x8004, false},
        {"a device notice without a record", WM_DEVICECHANGE, 0x0007, true},
        {"WM_COMMAND", WM_COMMAND, 1025, true},
        {"WM_TIMER", WM_TIMER, 1, true},
        {"a private message", WM_USER + 1, 0, true},
        {"a registered message", registered, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* road : {"to the window", "to the thread", "broadcast"}) {
            SCOPED_TRACE(road);
            SetLastError(0);
            BOOL result = FALSE;
            if (std::strcmp(road, "to the window") == 0)
                result = PostMessageW(window, c.message, c.wParam, 0x10);
            else if (std::strcmp(road, "to the thread") == 0)
                result = PostThreadMessageW(GetCurrentThreadId(), c.message, c.wParam, 0x10);
            else
                result = PostMessageW(HWND_BROADCAST, c.message, c.wParam, 0x10);
            std::vector<MSG> queued = drain();
            // A broadcast reaches every top-level window of the process:
            // only this test's own counts.
            queued.erase(std::remove_if(queued.begin(), queued.end(),
                                        [&](const MSG& m) { return m.hwnd != nullptr && m.hwnd != window; }),
                         queued.end());
            if (c.posted) {
                EXPECT_TRUE(result);
                ASSERT_EQ(queued.size(), 1u);
                EXPECT_EQ(queued[0].message, c.message);
            } else {
                EXPECT_FALSE(result);
                EXPECT_EQ(GetLastError(), ERROR_MESSAGE_SYNC_ONLY);
                EXPECT_TRUE(queued.empty());
            }
        }
    }
    // Sent on the window's own thread the record is real: that still works.
    CREATESTRUCTW create{};
    int parameter = 0;
    create.lpCreateParams = &parameter;
    SendMessageW(window, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create));
    EXPECT_EQ(GetWindowLongPtrW(window, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&parameter));
    DestroyWindow(window);
}

TEST(BroadcastDatagrams, OnlyWellFormedDatagramsOfNumbersReachTheWindows)
{
    HWND window = makeTrustingWindow();
    ASSERT_NE(window, nullptr);
    HWND second = makeTrustingWindow();
    ASSERT_NE(second, nullptr);
    drain();
    dispatched().clear();
    const UINT registered = RegisterWindowMessageA("VX_DATAGRAM_TEST_MARK");
    const UINT before = RegisterWindowMessageA("VX_DATAGRAM_TEST_BEFORE");

    const std::string wellFormed = broadcastDatagram(registered, 5, 6);
    const std::vector<std::pair<const char*, std::string>> dropped = {
        {"WM_CREATE with a null record", broadcastDatagram(WM_CREATE, 0, 0)},
        {"WM_NCCREATE with a null record", broadcastDatagram(WM_NCCREATE, 0, 0)},
        {"WM_SETTEXT with a stray pointer", broadcastDatagram(WM_SETTEXT, 0, 0x10)},
        {"WM_COMMAND with a number the event windows would take for a record", broadcastDatagram(WM_COMMAND, 1025, 0x10)},
        {"WM_CLOSE, which would end every window", broadcastDatagram(WM_CLOSE, 0, 0)},
        {"truncated", wellFormed.substr(0, 20)},
        {"a byte too short", wellFormed.substr(0, 31)},
        {"longer than the record", wellFormed + std::string(8, '\0')},
        {"empty", std::string()},
        {"another magic", broadcastDatagram(registered, 5, 6, "VXWC")},
        {"another version", broadcastDatagram(registered, 5, 6, "VXWB", 2)},
    };
    sendBroadcastToSelf(broadcastDatagram(before, 1, 2));
    for (const auto& [name, bytes] : dropped)
        sendBroadcastToSelf(bytes);
    sendBroadcastToSelf(broadcastDatagram(registered, 7, -8));

    // Datagrams are taken in the order sent: once the last arrives, every
    // one before it was handled.
    auto seen = [&](UINT message) {
        for (const MSG& m : dispatched())
            if (m.message == message)
                return true;
        return false;
    };
    ASSERT_TRUE(vxtest::waitUntil([&] {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        return std::count_if(dispatched().begin(), dispatched().end(),
                             [&](const MSG& m) { return m.message == registered; }) == 2;
    }));
    ASSERT_TRUE(seen(before));
    std::vector<std::string> got;
    for (const MSG& m : dispatched())
        got.push_back((m.hwnd == window ? "first " : "second ") + std::to_string(m.message == before) + " " +
                      std::to_string(m.wParam) + " " + std::to_string(m.lParam));
    EXPECT_EQ(got, (std::vector<std::string>{"first 1 1 2", "second 1 1 2", "first 0 7 -8", "second 0 7 -8"}));
    DestroyWindow(window);
    DestroyWindow(second);
}
