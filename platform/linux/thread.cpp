// Threads: _beginthreadex, thread ids and exit codes.

#include "platform/thread.h"

#include "linux/internal/waitable.h"

#include "platform/error.h"

#include <sys/prctl.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace platform {
namespace {

// A thread's kernel object: signalled once the thread's function has
// returned, holding its exit code. The running thread holds a reference of
// its own, so closing every handle never ends or disturbs it.
class ThreadObject final : public Waitable {
public:
    // Runs on the new thread.
    void run(ThreadProc proc, void* argument)
    {
        // The SDK's threads pace themselves with short fixed pauses (5 ms
        // between empty reads, the monitors' polls); the kernel's default
        // slack would let each of them run late by up to 50 us more. The
        // smallest slack it takes keeps them on time and costs no wake-ups.
        ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
        publishThreadId();
        const unsigned exitCode = proc(argument);
        // Before the handle is signalled, so that whoever waited for the
        // thread finds its mutexes abandoned already.
        abandonMutexesOfThisThread();
        std::lock_guard lock(waitMutex());
        m_exitCode = exitCode;
        m_finished = true;
        wakeWaiters();
    }

    // Runs on the creating thread: the new thread's id, once it has told it.
    DWORD waitForThreadId()
    {
        std::unique_lock lock(waitMutex());
        waitOn(*this, lock, [this] { return m_threadId != 0; });
        return m_threadId;
    }

    DWORD exitCode() const
    {
        std::lock_guard lock(waitMutex());
        return m_finished ? m_exitCode : STILL_ACTIVE;
    }

    bool isSignalledFor(DWORD) const override { return m_finished; }
    bool take(DWORD) override { return false; }

private:
    void publishThreadId()
    {
        std::lock_guard lock(waitMutex());
        m_threadId = GetCurrentThreadId();
        wakeWaiters();
    }

    DWORD m_threadId = 0;
    DWORD m_exitCode = 0;
    bool m_finished = false;
};

}  // namespace
}  // namespace platform

std::uintptr_t _beginthreadex(void*, unsigned, ThreadProc proc, void* argument, unsigned flags,
                              unsigned* threadId)
{
    if (proc == nullptr || flags != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto object = std::make_shared<platform::ThreadObject>();
    const HANDLE handle = platform::makeHandle(object);
    try {
        // Detached at once: the std::thread object never outlives this call,
        // so nothing can destroy it joinable and abort the process.
        std::thread([object, proc, argument] { object->run(proc, argument); }).detach();
    } catch (const std::system_error&) {
        platform::closeHandle(handle);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    const DWORD id = object->waitForThreadId();
    if (threadId != nullptr)
        *threadId = id;
    return reinterpret_cast<std::uintptr_t>(handle);
}

DWORD GetCurrentThreadId()
{
    // The kernel's id, unique among the live threads of the machine (as the
    // platform's thread ids are). Not cached in a thread_local: a child made
    // by fork() would inherit its parent's cached value.
    return static_cast<DWORD>(::gettid());
}

DWORD GetCurrentProcessId()
{
    return static_cast<DWORD>(::getpid());
}

BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode)
{
    const auto object = platform::objectFromHandle<platform::ThreadObject>(thread);
    if (object == nullptr)
        return FALSE;
    if (exitCode == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *exitCode = object->exitCode();
    return TRUE;
}
