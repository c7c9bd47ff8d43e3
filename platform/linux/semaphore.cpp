// Semaphores: CreateSemaphore, ReleaseSemaphore.

#include "linux/internal/named_objects.h"
#include "linux/internal/sync_objects.h"
#include "linux/internal/text.h"

#include "platform/sync.h"

namespace platform {

bool SemaphoreObject::release(LONG count, LONG* previous)
{
    std::lock_guard lock(waitMutex());
    // Compared as a difference so that a huge count cannot overflow.
    if (count > m_maximum - m_count) {
        SetLastError(ERROR_TOO_MANY_POSTS);
        return false;
    }
    if (previous != nullptr)
        *previous = m_count;
    m_count += count;
    wakeWaiters();
    return true;
}

bool SemaphoreObject::take(DWORD)
{
    --m_count;
    return false;
}

}  // namespace platform

HANDLE CreateSemaphoreA(LPSECURITY_ATTRIBUTES, LONG initialCount, LONG maximumCount, LPCSTR name)
{
    if (maximumCount <= 0 || initialCount < 0 || initialCount > maximumCount) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return platform::createNamedObject<platform::SemaphoreObject>(name, [&] {
        return std::make_shared<platform::SemaphoreObject>(initialCount, maximumCount);
    });
}

HANDLE CreateSemaphoreW(LPSECURITY_ATTRIBUTES attributes, LONG initialCount, LONG maximumCount, LPCWSTR name)
{
    if (name == nullptr)
        return CreateSemaphoreA(attributes, initialCount, maximumCount, nullptr);
    return CreateSemaphoreA(attributes, initialCount, maximumCount, platform::narrowFromWide(name).c_str());
}

BOOL ReleaseSemaphore(HANDLE semaphore, LONG releaseCount, LONG* previousCount)
{
    const auto object = platform::objectFromHandle<platform::SemaphoreObject>(semaphore);
    if (object == nullptr)
        return FALSE;
    if (releaseCount <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return object->release(releaseCount, previousCount) ? TRUE : FALSE;
}
