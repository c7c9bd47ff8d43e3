// Events: CreateEvent, SetEvent, ResetEvent.

#include "linux/internal/named_objects.h"
#include "linux/internal/sync_objects.h"
#include "linux/internal/text.h"

#include "platform/sync.h"

namespace platform {

void EventObject::set()
{
    std::lock_guard lock(waitMutex());
    m_set = true;
    // Its waiters re-check; for an auto-reset event the first one to take
    // it resets it and the others wait on.
    wakeWaiters();
}

void EventObject::reset()
{
    std::lock_guard lock(waitMutex());
    m_set = false;
}

bool EventObject::take(DWORD)
{
    if (!m_manualReset)
        m_set = false;
    return false;
}

}  // namespace platform

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR name)
{
    return platform::createNamedObject<platform::EventObject>(name, [&] {
        return std::make_shared<platform::EventObject>(manualReset != FALSE, initialState != FALSE);
    });
}

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState, LPCWSTR name)
{
    if (name == nullptr)
        return CreateEventA(attributes, manualReset, initialState, nullptr);
    return CreateEventA(attributes, manualReset, initialState, platform::narrowFromWide(name).c_str());
}

HANDLE OpenEventA(DWORD, BOOL, LPCSTR name)
{
    return platform::openNamedObject<platform::EventObject>(name);
}

BOOL SetEvent(HANDLE event)
{
    const auto object = platform::objectFromHandle<platform::EventObject>(event);
    if (object == nullptr)
        return FALSE;
    object->set();
    return TRUE;
}

BOOL ResetEvent(HANDLE event)
{
    const auto object = platform::objectFromHandle<platform::EventObject>(event);
    if (object == nullptr)
        return FALSE;
    object->reset();
    return TRUE;
}
