// Critical sections: recursive locks for one process.

#include "platform/sync.h"

#include <mutex>

namespace {

std::recursive_mutex* lockOf(CRITICAL_SECTION* section)
{
    return static_cast<std::recursive_mutex*>(section->impl);
}

}  // namespace

void InitializeCriticalSection(CRITICAL_SECTION* section)
{
    if (section != nullptr)
        section->impl = new std::recursive_mutex;
}

void DeleteCriticalSection(CRITICAL_SECTION* section)
{
    if (section == nullptr)
        return;
    delete lockOf(section);
    section->impl = nullptr;
}

// Entering a section that was never initialized (or already deleted) is a
// caller's bug, as on the platform; it crashes here on the null lock.
void EnterCriticalSection(CRITICAL_SECTION* section)
{
    lockOf(section)->lock();
}

BOOL TryEnterCriticalSection(CRITICAL_SECTION* section)
{
    return lockOf(section)->try_lock() ? TRUE : FALSE;
}

void LeaveCriticalSection(CRITICAL_SECTION* section)
{
    lockOf(section)->unlock();
}
