// The event-window thread: creates the event window and pumps its thread's
// messages until WM_CLOSE (posted to the thread or the window) or WM_QUIT.
// Every WM_COMMAND for the window goes to its OnCommand (and, when not
// handled there, its default procedure); every other message is
// dispatched, so a message that only looks like an event (wParam 1025) is
// never taken for a record. The window is destroyed on the thread before
// it ends, and what was still posted to it is freed by its discard hook.
//
// The scanner logic starts one at OpenService and closes it when it is
// destroyed.
#pragma once

#include "CEventIF.h"

#include "platform/thread.h"
#include "platform/types.h"

#include <atomic>
#include <cstdint>

class ZRIDbgBase;

class CEventWindowThread {
public:
    // Starts a thread as _beginthreadex does: its handle, 0 when none could
    // be started.
    using Starter = std::uintptr_t (*)(void* security, unsigned stackSize, ThreadProc proc, void* argument,
                                       unsigned flags, unsigned* threadId);

    // `window` and `debug` are not owned and outlive the thread; `starter`
    // null is _beginthreadex.
    CEventWindowThread(CEventIF& window, ZRIDbgBase* debug, Starter starter = nullptr)
        : m_window(window), m_pDebug(debug), m_start(starter != nullptr ? starter : &_beginthreadex)
    {
    }
    // Closes a running thread and waits for its end.
    ~CEventWindowThread();
    CEventWindowThread(const CEventWindowThread&) = delete;
    CEventWindowThread& operator=(const CEventWindowThread&) = delete;

    // Starts the thread (the window-ready flag 0 until it has tried to make
    // the window); false when no thread could be started.
    bool Start();
    // 0 before the thread tried, 1 when the window exists, -1 when it could
    // not be made.
    int WindowReady() const { return m_ready.load(); }
    // Waits up to `timeout` ms for the flag to leave 0; the flag.
    int WaitForWindow(DWORD timeout);
    DWORD ThreadId() const { return m_threadId.load(); }
    // Posts WM_CLOSE to the thread (once it has its queue).
    bool PostClose();
    // Waits up to `timeout` ms for the thread's end; true when it ended (or
    // never ran).
    bool WaitForEnd(DWORD timeout);

private:
    static unsigned Entry(void* self);
    unsigned ThreadRoutine();

    CEventIF& m_window;
    ZRIDbgBase* m_pDebug;
    Starter m_start;
    std::atomic<int> m_ready{0};
    std::atomic<DWORD> m_threadId{0};
    HANDLE m_hThread = nullptr;
    HANDLE m_hReady = nullptr;  // manual-reset: the flag left 0
};
