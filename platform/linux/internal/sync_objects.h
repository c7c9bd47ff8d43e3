// The waitable objects of sync.h: events, semaphores and mutexes.
// Their state is read and changed only under platform::waitMutex(); the
// public member functions take that lock themselves.
#pragma once

#include "linux/internal/waitable.h"

namespace platform {

class EventObject final : public Waitable {
public:
    EventObject(bool manualReset, bool initiallySet) : m_manualReset(manualReset), m_set(initiallySet) {}

    void set();
    void reset();

    bool isSignalledFor(DWORD) const override { return m_set; }
    // An auto-reset event lets exactly one wait through per SetEvent.
    bool take(DWORD) override;

private:
    const bool m_manualReset;
    bool m_set;
};

class SemaphoreObject final : public Waitable {
public:
    // Arguments are checked by CreateSemaphore (0 <= initial <= maximum, 0 < maximum).
    SemaphoreObject(LONG initialCount, LONG maximumCount) : m_count(initialCount), m_maximum(maximumCount) {}

    // Adds `count` (> 0). Past the maximum it fails with ERROR_TOO_MANY_POSTS
    // and the count stays as it was. `previous` (may be null) receives the
    // count before a successful release.
    bool release(LONG count, LONG* previous);

    bool isSignalledFor(DWORD) const override { return m_count > 0; }
    bool take(DWORD) override;

private:
    LONG m_count;
    const LONG m_maximum;
};

class MutexObject final : public Waitable {
public:
    // Makes the calling thread the owner (CreateMutex with initialOwner).
    void takeForCallingThread();

    // Releases one level of the calling thread's ownership; fails with
    // ERROR_NOT_OWNER (288) when the calling thread does not own it.
    bool release();

    // The owner thread ended while holding it: frees the mutex and marks it
    // so that the next wait taking it answers WAIT_ABANDONED. Called with
    // waitMutex() held.
    void abandonBy(DWORD threadId);

    bool isSignalledFor(DWORD threadId) const override { return m_owner == 0 || m_owner == threadId; }
    bool take(DWORD threadId) override;

private:
    DWORD m_owner = 0;  // thread id; 0 = free
    unsigned m_recursion = 0;
    bool m_abandoned = false;
};

}  // namespace platform
