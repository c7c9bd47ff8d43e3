// WaitForSingleObject and WaitForMultipleObjects over every waitable kind.

#include "linux/internal/waitable.h"

#include "platform/sync.h"
#include "platform/thread.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <vector>

namespace platform {

std::mutex& waitMutex()
{
    // Never destroyed: threads still running at exit may wait or signal.
    static std::mutex* const instance = new std::mutex;
    return *instance;
}

namespace {

std::atomic<std::uint64_t> g_wakeUps{0};
std::atomic<std::size_t> g_blocked{0};

using Objects = std::vector<std::shared_ptr<Waitable>>;

// Wait-any: takes the lowest signalled object. Called with waitMutex() held.
std::optional<DWORD> takeAny(const Objects& objects, DWORD self)
{
    for (std::size_t i = 0; i < objects.size(); ++i) {
        if (objects[i]->isSignalledFor(self)) {
            const bool abandoned = objects[i]->take(self);
            return static_cast<DWORD>((abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0) + i);
        }
    }
    return std::nullopt;
}

// Wait-all: takes every object at once, or none of them. Answers
// WAIT_ABANDONED_0 + the lowest index of an abandoned mutex among them.
std::optional<DWORD> takeAll(const Objects& objects, DWORD self)
{
    const bool allSignalled = std::all_of(objects.begin(), objects.end(), [self](const auto& object) {
        return object->isSignalledFor(self);
    });
    if (!allSignalled)
        return std::nullopt;
    std::optional<DWORD> abandonedIndex;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        if (objects[i]->take(self) && !abandonedIndex)
            abandonedIndex = static_cast<DWORD>(i);
    }
    return abandonedIndex ? WAIT_ABANDONED_0 + *abandonedIndex : WAIT_OBJECT_0;
}

std::optional<DWORD> tryTake(const Objects& objects, bool waitAll, DWORD self)
{
    return waitAll ? takeAll(objects, self) : takeAny(objects, self);
}

// Resolves the handles; false (last error set) for a handle that is not a
// waitable object, or for an object named twice in a wait-all (the
// platform refuses that, since one object cannot be taken twice at once).
bool resolve(DWORD count, const HANDLE* handles, bool waitAll, Objects& objects)
{
    objects.reserve(count);
    for (DWORD i = 0; i < count; ++i) {
        auto object = objectFromHandle<Waitable>(handles[i]);
        if (object == nullptr)
            return false;
        if (waitAll && std::find(objects.begin(), objects.end(), object) != objects.end()) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return false;
        }
        objects.push_back(std::move(object));
    }
    return true;
}

DWORD waitFor(const Objects& objects, bool waitAll, DWORD milliseconds)
{
    const DWORD self = GetCurrentThreadId();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    std::unique_lock lock(waitMutex());
    if (auto result = tryTake(objects, waitAll, self))
        return *result;
    if (milliseconds == 0)
        return WAIT_TIMEOUT;
    Waiter waiter;
    for (const auto& object : objects)
        object->addWaiter(&waiter);
    g_blocked.fetch_add(1, std::memory_order_relaxed);
    std::optional<DWORD> result;
    while (!result) {
        bool timedOut = false;
        if (milliseconds == INFINITE)
            waiter.wake.wait(lock);
        else
            timedOut = waiter.wake.wait_until(lock, deadline) == std::cv_status::timeout;
        if (waiter.woken) {
            waiter.woken = false;
            g_wakeUps.fetch_add(1, std::memory_order_relaxed);
        }
        // After a time-out, one last look: a change that raced with it counts.
        result = tryTake(objects, waitAll, self);
        if (!result && timedOut)
            result = WAIT_TIMEOUT;
    }
    for (const auto& object : objects)
        object->removeWaiter(&waiter);
    g_blocked.fetch_sub(1, std::memory_order_relaxed);
    return *result;
}

}  // namespace

std::uint64_t waitWakeUpCount()
{
    return g_wakeUps.load(std::memory_order_relaxed);
}

std::size_t blockedWaitCount()
{
    return g_blocked.load(std::memory_order_relaxed);
}

}  // namespace platform

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    return WaitForMultipleObjects(1, &handle, FALSE, milliseconds);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds)
{
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    // The references keep every object alive for the whole wait, even if
    // another thread closes a handle meanwhile. Declared outside waitFor's
    // lock, so a last reference is dropped after that lock is released.
    platform::Objects objects;
    if (!platform::resolve(count, handles, waitAll != FALSE, objects))
        return WAIT_FAILED;
    return platform::waitFor(objects, waitAll != FALSE, milliseconds);
}
