// Owns one critical section for its whole lifetime: initialised on
// construction, deleted on destruction. Critical sections are recursive for
// the thread that holds them.
#pragma once

#include "platform/sync.h"

class CCriticalSectionHolder {
public:
    CCriticalSectionHolder() { InitializeCriticalSection(&m_section); }
    ~CCriticalSectionHolder() { DeleteCriticalSection(&m_section); }
    CCriticalSectionHolder(const CCriticalSectionHolder&) = delete;
    CCriticalSectionHolder& operator=(const CCriticalSectionHolder&) = delete;

    CRITICAL_SECTION* get() { return &m_section; }
    void enter() { EnterCriticalSection(&m_section); }
    bool tryEnter() { return TryEnterCriticalSection(&m_section) != FALSE; }
    void leave() { LeaveCriticalSection(&m_section); }

private:
    CRITICAL_SECTION m_section;
};
