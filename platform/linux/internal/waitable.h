// Objects that WaitForSingleObject / WaitForMultipleObjects can wait on.
//
// One process-wide mutex guards the signal state of every waitable object,
// and one condition variable announces every change of it. This makes a wait
// on several objects of different kinds (an event, a mutex and a thread)
// simple and correct: the waiter checks all of them under the one lock and
// takes them at once. The cost is that every change wakes every waiter of
// the process to re-check; the suite has a handful of waiting threads, and
// a per-object waiter list would buy nothing but complexity.
#pragma once

#include "linux/internal/handles.h"

#include <condition_variable>
#include <mutex>

namespace platform {

// The lock under which every waitable object's state is read and changed.
std::mutex& waitMutex();

// Notified (notify_all) after every change that may satisfy a wait.
std::condition_variable& waitCondition();

class Waitable : public KernelObject {
public:
    // Both are called with waitMutex() held, by thread `threadId`.
    // Whether a wait by that thread would be satisfied now.
    virtual bool isSignalledFor(DWORD threadId) const = 0;
    // Takes the object for a satisfied wait (resets an auto-reset event,
    // counts a semaphore down, gives a mutex its owner). Returns true when
    // the wait took an abandoned mutex.
    virtual bool take(DWORD threadId) = 0;
};

// Makes every mutex the calling thread still owns abandoned. Runs when a
// thread ends (a thread_local destructor, and the thread start function of
// _beginthreadex before it signals the thread's handle).
void abandonMutexesOfThisThread();

}  // namespace platform
