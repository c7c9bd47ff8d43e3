// Threads: exit codes, signalled handles, ids, and handles dropped early.

#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

using vxtest::kBound;
using vxtest::ScopedHandle;

TEST(Thread, HandleIsSignalledWithTheExitCodeWhenTheFunctionReturns)
{
    ScopedHandle go(vxtest::manualEvent());
    ScopedHandle thread(vxtest::startThread([&] {
        WaitForSingleObject(go.get(), kBound);
        return 42u;
    }));
    ASSERT_NE(thread.get(), nullptr);

    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread.get(), &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(thread.get(), 20), WAIT_TIMEOUT) << "a timed join while it runs";

    SetEvent(go.get());
    EXPECT_EQ(WaitForSingleObject(thread.get(), kBound), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(thread.get(), 0), WAIT_OBJECT_0) << "stays signalled";
    ASSERT_TRUE(GetExitCodeThread(thread.get(), &code));
    EXPECT_EQ(code, 42u);
}

TEST(Thread, TheArgumentReachesTheFunction)
{
    int value = 0;
    const std::uintptr_t handle = _beginthreadex(
        nullptr, 0,
        [](void* argument) -> unsigned {
            *static_cast<int*>(argument) = 7;
            return 0;
        },
        &value, 0, nullptr);
    ASSERT_NE(handle, 0u);
    ScopedHandle thread(reinterpret_cast<HANDLE>(handle));
    ASSERT_EQ(WaitForSingleObject(thread.get(), kBound), WAIT_OBJECT_0);
    EXPECT_EQ(value, 7);
}

TEST(Thread, TheIdIsFilledBeforeTheCallReturns)
{
    std::atomic<DWORD> seenInside{0};
    ScopedHandle go(vxtest::manualEvent());
    unsigned id = 0;
    ScopedHandle thread(vxtest::startThread(
        [&] {
            seenInside = GetCurrentThreadId();
            WaitForSingleObject(go.get(), kBound);
            return 0u;
        },
        &id));
    EXPECT_NE(id, 0u);
    EXPECT_NE(id, GetCurrentThreadId());
    SetEvent(go.get());
    ASSERT_EQ(WaitForSingleObject(thread.get(), kBound), WAIT_OBJECT_0);
    EXPECT_EQ(seenInside.load(), id);
}

TEST(Thread, IdsAreTheKernels)
{
    EXPECT_EQ(GetCurrentThreadId(), static_cast<DWORD>(syscall(SYS_gettid)));
    EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(getpid()));
    EXPECT_EQ(GetCurrentThreadId(), GetCurrentProcessId()) << "the main thread's id is the process id";
}

TEST(Thread, ClosingARunningThreadsHandleLetsItFinish)
{
    ScopedHandle go(vxtest::manualEvent());
    ScopedHandle done(vxtest::manualEvent());
    const HANDLE thread = vxtest::startThread([&] {
        WaitForSingleObject(go.get(), kBound);
        SetEvent(done.get());
        return 0u;
    });
    ASSERT_TRUE(CloseHandle(thread));
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    SetEvent(go.get());
    EXPECT_EQ(WaitForSingleObject(done.get(), kBound), WAIT_OBJECT_0);
}

TEST(Thread, ManyThreadsJoinedByOneWaitAll)
{
    std::vector<ScopedHandle> threads;
    std::vector<HANDLE> handles;
    for (unsigned i = 0; i < MAXIMUM_WAIT_OBJECTS; ++i) {
        threads.emplace_back(vxtest::startThread([i] { return i * 3; }));
        ASSERT_NE(threads.back().get(), nullptr);
        handles.push_back(threads.back().get());
    }
    ASSERT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, handles.data(), TRUE, kBound), WAIT_OBJECT_0);
    for (unsigned i = 0; i < MAXIMUM_WAIT_OBJECTS; ++i) {
        DWORD code = 0;
        ASSERT_TRUE(GetExitCodeThread(handles[i], &code));
        EXPECT_EQ(code, i * 3);
    }
}

TEST(Thread, BadArgumentsStartNothing)
{
    unsigned id = 99;
    EXPECT_EQ(_beginthreadex(nullptr, 0, nullptr, nullptr, 0, &id), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    const ThreadProc proc = [](void*) -> unsigned { return 0; };
    EXPECT_EQ(_beginthreadex(nullptr, 0, proc, nullptr, 4 /* CREATE_SUSPENDED */, &id), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(id, 99u);
}

}  // namespace
