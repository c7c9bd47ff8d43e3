// Holds a critical section (owned elsewhere) for the lifetime of a scope; it
// is left on every way out of the scope, exceptions included. A null section
// is allowed and means "no lock".
#pragma once

#include "platform/sync.h"

class CScopedLock {
public:
    explicit CScopedLock(CRITICAL_SECTION* section)
        : m_section(section)
    {
        if (m_section != nullptr) {
            EnterCriticalSection(m_section);
        }
    }
    ~CScopedLock()
    {
        if (m_section != nullptr) {
            LeaveCriticalSection(m_section);
        }
    }
    CScopedLock(const CScopedLock&) = delete;
    CScopedLock& operator=(const CScopedLock&) = delete;

private:
    CRITICAL_SECTION* m_section;
};
