// Runs a bound member function on a thread of its own and lets the owner
// wait for the thread's end with a time limit. CThread never ends a thread
// by force: the owner asks its loop to finish by its own means (a flag or an
// event) and then waits. The object behind the delegate must outlive the
// thread.
#pragma once

#include "FastDelegate.h"

#include "platform/types.h"

class CThread {
public:
    // The payload handed to the new thread: made by the starting thread, run
    // and deleted by the new thread only.
    class CThreadDataBase {
    public:
        virtual ~CThreadDataBase() = default;
        virtual void run() = 0;
    };

    template <typename Delegate>
    class CThreadData : public CThreadDataBase {
    public:
        explicit CThreadData(const Delegate& delegate)
            : m_delegate(delegate)
        {
        }
        // A returned int is discarded: the thread's exit code is always 0.
        void run() override { m_delegate(); }

    private:
        Delegate m_delegate;
    };

    // No thread: wait answers true at once.
    CThread() = default;
    // Start the delegate on a new thread at once. When the thread cannot be
    // started the handle stays null (wait answers true) and the payload is
    // freed.
    explicit CThread(const fastdelegate::FastDelegate<void()>& delegate);
    explicit CThread(const fastdelegate::FastDelegate<int()>& delegate);

    // A thread that was not waited for runs on to its end, detached; its
    // handle is closed here.
    ~CThread();

    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;
    CThread(CThread&& other) noexcept;
    CThread& operator=(CThread&& other) noexcept;

    // Waits at most `milliseconds` (INFINITE allowed) for the thread to end.
    // False when the time ran out (the owner may wait again); true when the
    // thread has ended, when the wait failed, or when there is no thread. On
    // true the handle is closed and dropped, so a later wait answers true at
    // once and never touches it again. Called from one thread at a time.
    bool wait(DWORD milliseconds);

    // The thread's handle (null before the start, after a successful wait, or
    // when the start failed) and identifier (0 when none was started).
    HANDLE getHandle() const { return m_handle; }
    DWORD getThreadId() const { return m_threadId; }

private:
    void start(CThreadDataBase* data);
    void closeHandle();

    HANDLE m_handle = nullptr;
    DWORD m_threadId = 0;
    // Informative only after the start: the new thread deletes the payload.
    CThreadDataBase* m_data = nullptr;
};
