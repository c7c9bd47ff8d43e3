// Small helpers shared by the platform tests.
#pragma once

#include "platform/error.h"
#include "platform/sync.h"
#include "platform/thread.h"

#include <functional>
#include <memory>

namespace vxtest {

// A bound for waits that are expected to succeed: it never paces a passing
// test, it only turns a hang into a failure.
constexpr DWORD kBound = 20000;

struct HandleCloser {
    void operator()(void* handle) const { CloseHandle(handle); }
};
// Closes its handle when it goes out of scope.
using ScopedHandle = std::unique_ptr<void, HandleCloser>;

// Runs `body` on a thread started with _beginthreadex and answers the
// thread's handle (null when it could not start); `threadId` receives its id.
inline HANDLE startThread(std::function<unsigned()> body, unsigned* threadId = nullptr)
{
    auto* payload = new std::function<unsigned()>(std::move(body));
    const std::uintptr_t handle = _beginthreadex(
        nullptr, 0,
        [](void* argument) -> unsigned {
            std::unique_ptr<std::function<unsigned()>> run(static_cast<std::function<unsigned()>*>(argument));
            return (*run)();
        },
        payload, 0, threadId);
    if (handle == 0)
        delete payload;
    return reinterpret_cast<HANDLE>(handle);
}

inline HANDLE manualEvent(bool set = false)
{
    return CreateEventA(nullptr, TRUE, set ? TRUE : FALSE, nullptr);
}

inline HANDLE autoEvent(bool set = false)
{
    return CreateEventA(nullptr, FALSE, set ? TRUE : FALSE, nullptr);
}

}  // namespace vxtest
