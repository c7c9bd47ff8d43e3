// The Qt bridge: the platform queue of the UI thread is served from Qt's
// event loops, modal ones included.
#include "QtMessagePump.h"
#include "QtTestApp.h"
#include "TestSupport.h"

#include "platform/broadcast.h"
#include "platform/thread.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <thread>
#include <vector>

TEST(QtBridge, MessagesReachTheirWindowWhileAModalDialogRuns)
{
    vxtest::qtApp();
    QtMessagePump pump;
    const DWORD uiThread = GetCurrentThreadId();
    const UINT first = RegisterWindowMessageA("BRIDGE_FIRST");
    const UINT closeIt = RegisterWindowMessageA("BRIDGE_CLOSE");
    std::vector<UINT> seen;
    std::vector<DWORD> threads;
    QDialog dialog;
    MessageWindow window([&](UINT message, WPARAM, LPARAM) -> LRESULT {
        seen.push_back(message);
        threads.push_back(GetCurrentThreadId());
        if (message == closeIt)
            dialog.done(7);
        return 0;
    });
    ASSERT_NE(window.handle(), nullptr);
    // A bound, so a pump that does not run inside exec() fails instead of hanging.
    QTimer::singleShot(20000, &dialog, [&] { dialog.done(-1); });
    vxtest::whenModalOpens([&](QWidget*) {
        // Posted from another thread, and broadcast: both arrive on the UI thread.
        std::thread([&] { PostMessageW(window.handle(), first, 1, 2); }).join();
        PostMessageW(HWND_BROADCAST, closeIt, 1, 1);
    });
    EXPECT_EQ(dialog.exec(), 7);
    EXPECT_EQ(seen, (std::vector<UINT>{first, closeIt}));
    for (DWORD thread : threads)
        EXPECT_EQ(thread, uiThread);
}

TEST(QtBridge, ThreadMessagesGoToTheSignal)
{
    vxtest::qtApp();
    QtMessagePump pump;
    std::vector<unsigned> seen;
    QObject::connect(&pump, &QtMessagePump::threadMessage,
                     [&](unsigned message, quintptr wParam, qintptr) { seen.push_back(message + wParam); });
    PostThreadMessageW(GetCurrentThreadId(), WM_USER + 5, 10, 0);
    ASSERT_TRUE(vxtest::waitUntil([&] {
        QApplication::processEvents();
        return !seen.empty();
    }));
    EXPECT_EQ(seen, (std::vector<unsigned>{WM_USER + 15}));
}
