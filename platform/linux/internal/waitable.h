// Objects that WaitForSingleObject / WaitForMultipleObjects can wait on.
//
// One process-wide mutex guards the signal state of every waitable object,
// so that a wait on several objects of different kinds (an event, a mutex
// and a thread) checks all of them under one lock and takes them at once.
// Waking is per object: each object keeps the list of the waits blocked on
// it, and a change of its state wakes only those. A host keeps several
// scanners connected, each with threads of its own; a label on one must not
// wake the threads of all the others.
#pragma once

#include "linux/internal/handles.h"

#include <condition_variable>
#include <mutex>
#include <vector>

namespace platform {

// The lock under which every waitable object's state, and its list of
// waiters, is read and changed.
std::mutex& waitMutex();

// One blocked wait. It lives on the waiting thread's stack and sits on the
// waiter list of every object it waits for, from before it first blocks
// until it returns; both under waitMutex().
struct Waiter {
    std::condition_variable wake;
    bool woken = false;  // set by a change of one of its objects
};

class Waitable : public KernelObject {
public:
    // Both are called with waitMutex() held, by thread `threadId`.
    // Whether a wait by that thread would be satisfied now.
    virtual bool isSignalledFor(DWORD threadId) const = 0;
    // Takes the object for a satisfied wait (resets an auto-reset event,
    // counts a semaphore down, gives a mutex its owner). Returns true when
    // the wait took an abandoned mutex.
    virtual bool take(DWORD threadId) = 0;

    // The waiter list; called with waitMutex() held.
    void addWaiter(Waiter* waiter) { m_waiters.push_back(waiter); }
    void removeWaiter(Waiter* waiter) { std::erase(m_waiters, waiter); }
    // After a change that may satisfy a wait on this object: wakes the
    // waits blocked on it, and no other. Called with waitMutex() held (a
    // waiter cannot leave, and so end its life, while it is being woken).
    void wakeWaiters()
    {
        for (Waiter* waiter : m_waiters) {
            waiter->woken = true;
            waiter->wake.notify_one();
        }
    }

private:
    std::vector<Waiter*> m_waiters;
};

// Blocks the calling thread, waitMutex() held by `lock`, until `ready()`
// holds; `object` wakes it when its state changes.
template <typename Ready>
void waitOn(Waitable& object, std::unique_lock<std::mutex>& lock, Ready ready)
{
    if (ready())
        return;
    Waiter waiter;
    object.addWaiter(&waiter);
    waiter.wake.wait(lock, ready);
    object.removeWaiter(&waiter);
}

// Makes every mutex the calling thread still owns abandoned. Runs when a
// thread ends (a thread_local destructor, and the thread start function of
// _beginthreadex before it signals the thread's handle).
void abandonMutexesOfThisThread();

}  // namespace platform
