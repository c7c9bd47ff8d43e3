// Mutexes: CreateMutex, ReleaseMutex, and abandonment when an owner ends.

#include "linux/internal/named_objects.h"
#include "linux/internal/sync_objects.h"
#include "linux/internal/text.h"

#include "platform/sync.h"
#include "platform/thread.h"

#include <algorithm>
#include <vector>

namespace platform {
namespace {

// The mutexes the calling thread owns. Its destructor runs when the thread
// ends, however it was started (_beginthreadex, std::thread, a thread of a
// JVM), and abandons what the thread still owns, as the platform does.
class OwnedMutexes {
public:
    ~OwnedMutexes() { abandonAll(); }

    void add(const MutexObject* mutex, std::weak_ptr<KernelObject> object)
    {
        m_entries.push_back({mutex, std::move(object)});
    }

    void remove(const MutexObject* mutex)
    {
        std::erase_if(m_entries, [mutex](const Entry& entry) { return entry.mutex == mutex; });
    }

    void abandonAll()
    {
        const DWORD self = GetCurrentThreadId();
        // Declared before the lock: if one of these is the mutex's last
        // reference, it is destroyed after waitMutex() is released (its
        // destructor may take the named-object lock).
        std::vector<std::shared_ptr<KernelObject>> held;
        for (const Entry& entry : m_entries) {
            if (auto object = entry.object.lock())
                held.push_back(std::move(object));
        }
        m_entries.clear();
        if (held.empty())
            return;
        std::lock_guard lock(waitMutex());
        for (const auto& object : held)
            static_cast<MutexObject&>(*object).abandonBy(self);
    }

private:
    struct Entry {
        const MutexObject* mutex;
        std::weak_ptr<KernelObject> object;
    };
    std::vector<Entry> m_entries;
};

OwnedMutexes& ownedByThisThread()
{
    thread_local OwnedMutexes owned;
    return owned;
}

}  // namespace

void abandonMutexesOfThisThread()
{
    ownedByThisThread().abandonAll();
}

// take() always runs on the thread that takes the mutex (the waiting thread),
// so the thread-local list it updates is the new owner's.
bool MutexObject::take(DWORD threadId)
{
    if (m_owner != threadId) {
        m_owner = threadId;
        m_recursion = 0;
        ownedByThisThread().add(this, weak_from_this());
    }
    ++m_recursion;
    const bool abandoned = m_abandoned;
    m_abandoned = false;
    return abandoned;
}

void MutexObject::takeForCallingThread()
{
    std::lock_guard lock(waitMutex());
    take(GetCurrentThreadId());
}

bool MutexObject::release()
{
    const DWORD self = GetCurrentThreadId();
    std::lock_guard lock(waitMutex());
    if (m_owner != self) {
        SetLastError(ERROR_NOT_OWNER);
        return false;
    }
    if (--m_recursion > 0)
        return true;
    m_owner = 0;
    ownedByThisThread().remove(this);
    wakeWaiters();
    return true;
}

void MutexObject::abandonBy(DWORD threadId)
{
    if (m_owner != threadId)
        return;
    m_owner = 0;
    m_recursion = 0;
    m_abandoned = true;
    wakeWaiters();
}

}  // namespace platform

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCSTR name)
{
    // The platform ignores initialOwner when the name already exists; the
    // factory runs only for a new object, which gives the same.
    return platform::createNamedObject<platform::MutexObject>(name, [&] {
        auto mutex = std::make_shared<platform::MutexObject>();
        if (initialOwner)
            mutex->takeForCallingThread();
        return mutex;
    });
}

HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCWSTR name)
{
    if (name == nullptr)
        return CreateMutexA(attributes, initialOwner, nullptr);
    return CreateMutexA(attributes, initialOwner, platform::narrowFromWide(name).c_str());
}

HANDLE OpenMutexA(DWORD, BOOL, LPCSTR name)
{
    return platform::openNamedObject<platform::MutexObject>(name);
}

BOOL ReleaseMutex(HANDLE mutex)
{
    const auto object = platform::objectFromHandle<platform::MutexObject>(mutex);
    if (object == nullptr)
        return FALSE;
    return object->release() ? TRUE : FALSE;
}
