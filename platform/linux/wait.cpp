// WaitForSingleObject and WaitForMultipleObjects over every waitable kind.

#include "linux/internal/waitable.h"

#include "platform/sync.h"
#include "platform/thread.h"

#include <algorithm>
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

std::condition_variable& waitCondition()
{
    static std::condition_variable* const instance = new std::condition_variable;
    return *instance;
}

namespace {

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
    for (;;) {
        if (auto result = tryTake(objects, waitAll, self))
            return *result;
        if (milliseconds == INFINITE) {
            waitCondition().wait(lock);
        } else if (milliseconds == 0 ||
                   waitCondition().wait_until(lock, deadline) == std::cv_status::timeout) {
            // One last look: a change that raced with the time-out counts.
            if (auto result = tryTake(objects, waitAll, self))
                return *result;
            return WAIT_TIMEOUT;
        }
    }
}

}  // namespace
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
