// The handle table and CloseHandle.

#include "linux/internal/handles.h"

#include "platform/sync.h"

#include <mutex>
#include <unordered_map>

namespace platform {
namespace {

using HandleValue = std::uintptr_t;

// Handle values count up from here in steps of 4 (the platform's handles are
// multiples of 4 too) and are never reused, so a stale handle can never name
// a newer object. Starting high keeps small integers, null and -1 invalid.
constexpr HandleValue kFirstHandle = 0x10000;
constexpr HandleValue kHandleStep = 4;

struct HandleTable {
    std::mutex mutex;
    std::unordered_map<HandleValue, std::shared_ptr<KernelObject>> objects;
    HandleValue next = kFirstHandle;
};

// Never destroyed: detached threads may close handles while the process
// exits, after static destructors have started.
HandleTable& table()
{
    static HandleTable* const instance = new HandleTable;
    return *instance;
}

HandleValue valueOf(HANDLE handle)
{
    return reinterpret_cast<HandleValue>(handle);
}

}  // namespace

KernelObject::~KernelObject() = default;

HANDLE makeHandle(std::shared_ptr<KernelObject> object)
{
    if (object == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    HandleTable& handles = table();
    std::lock_guard lock(handles.mutex);
    const HandleValue value = handles.next;
    handles.next += kHandleStep;
    handles.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> lookupHandle(HANDLE handle)
{
    HandleTable& handles = table();
    {
        std::lock_guard lock(handles.mutex);
        const auto found = handles.objects.find(valueOf(handle));
        if (found != handles.objects.end())
            return found->second;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

bool closeHandle(HANDLE handle)
{
    std::shared_ptr<KernelObject> released;  // destroyed after the lock is gone
    HandleTable& handles = table();
    {
        std::lock_guard lock(handles.mutex);
        const auto found = handles.objects.find(valueOf(handle));
        if (found == handles.objects.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return false;
        }
        released = std::move(found->second);
        handles.objects.erase(found);
    }
    return true;
}

}  // namespace platform

BOOL CloseHandle(HANDLE handle)
{
    return platform::closeHandle(handle) ? TRUE : FALSE;
}
