// WaitForSingleObject and WaitForMultipleObjects across kinds.

#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

using vxtest::kBound;
using vxtest::ScopedHandle;

struct LowestIndexCase {
    std::vector<int> signalled;
    DWORD expected;
};

TEST(WaitForMultipleObjects, WaitAnyReportsTheLowestSignalledIndex)
{
    const LowestIndexCase cases[] = {
        {{0}, WAIT_OBJECT_0 + 0},       {{3}, WAIT_OBJECT_0 + 3},    {{2, 3}, WAIT_OBJECT_0 + 2},
        {{0, 3}, WAIT_OBJECT_0 + 0},    {{1, 2, 3}, WAIT_OBJECT_0 + 1}, {{3, 1}, WAIT_OBJECT_0 + 1},
    };
    for (const LowestIndexCase& c : cases) {
        std::vector<ScopedHandle> events;
        std::vector<HANDLE> handles;
        for (int i = 0; i < 4; ++i) {
            events.emplace_back(vxtest::manualEvent());
            handles.push_back(events.back().get());
        }
        for (const int index : c.signalled)
            SetEvent(handles[index]);
        EXPECT_EQ(WaitForMultipleObjects(4, handles.data(), FALSE, 0), c.expected);
    }
}

TEST(WaitForMultipleObjects, WaitAnyTakesOnlyTheObjectItReports)
{
    ScopedHandle a(vxtest::autoEvent());
    ScopedHandle b(vxtest::autoEvent(true));
    ScopedHandle c(vxtest::autoEvent(true));
    const HANDLE handles[] = {a.get(), b.get(), c.get()};
    EXPECT_EQ(WaitForMultipleObjects(3, handles, FALSE, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForSingleObject(b.get(), 0), WAIT_TIMEOUT) << "taken";
    EXPECT_EQ(WaitForSingleObject(c.get(), 0), WAIT_OBJECT_0) << "left alone";
}

TEST(WaitForMultipleObjects, WaitAnyAcrossKinds)
{
    ScopedHandle event(vxtest::manualEvent());
    ScopedHandle semaphore(CreateSemaphoreA(nullptr, 0, 1, nullptr));
    ScopedHandle go(vxtest::manualEvent());
    ScopedHandle thread(vxtest::startThread([&] { return WaitForSingleObject(go.get(), kBound); }));
    const HANDLE handles[] = {event.get(), semaphore.get(), thread.get()};

    EXPECT_EQ(WaitForMultipleObjects(3, handles, FALSE, 0), WAIT_TIMEOUT);
    SetEvent(go.get());
    EXPECT_EQ(WaitForMultipleObjects(3, handles, FALSE, kBound), WAIT_OBJECT_0 + 2);
    ReleaseSemaphore(semaphore.get(), 1, nullptr);
    EXPECT_EQ(WaitForMultipleObjects(3, handles, FALSE, kBound), WAIT_OBJECT_0 + 1);
}

TEST(WaitForMultipleObjects, WaitAllTakesEveryObjectAtOnce)
{
    ScopedHandle event(vxtest::autoEvent(true));
    ScopedHandle semaphore(CreateSemaphoreA(nullptr, 1, 1, nullptr));
    ScopedHandle mutex(CreateMutexA(nullptr, FALSE, nullptr));
    ScopedHandle thread(vxtest::startThread([] { return 0u; }));
    const HANDLE handles[] = {event.get(), semaphore.get(), mutex.get(), thread.get()};

    EXPECT_EQ(WaitForMultipleObjects(4, handles, TRUE, kBound), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_TIMEOUT) << "auto-reset event taken";
    EXPECT_EQ(WaitForSingleObject(semaphore.get(), 0), WAIT_TIMEOUT) << "semaphore counted down";
    EXPECT_TRUE(ReleaseMutex(mutex.get())) << "mutex owned by the waiter";
}

TEST(WaitForMultipleObjects, WaitAllTakesNothingUntilEveryObjectIsSignalled)
{
    ScopedHandle event(vxtest::autoEvent(true));
    ScopedHandle semaphore(CreateSemaphoreA(nullptr, 0, 1, nullptr));
    const HANDLE handles[] = {event.get(), semaphore.get()};

    EXPECT_EQ(WaitForMultipleObjects(2, handles, TRUE, 20), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_OBJECT_0) << "the event was left set";
    SetEvent(event.get());

    ScopedHandle releaser(vxtest::startThread(
        [&] { return static_cast<unsigned>(ReleaseSemaphore(semaphore.get(), 1, nullptr)); }));
    EXPECT_EQ(WaitForMultipleObjects(2, handles, TRUE, kBound), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_TIMEOUT);
}

TEST(WaitForMultipleObjects, WaitAllRefusesTheSameObjectTwice)
{
    ScopedHandle semaphore(CreateSemaphoreA(nullptr, 1, 2, nullptr));
    const HANDLE handles[] = {semaphore.get(), semaphore.get()};
    EXPECT_EQ(WaitForMultipleObjects(2, handles, TRUE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, 0), WAIT_OBJECT_0) << "wait-any allows it";
}

TEST(WaitForMultipleObjects, TimeOutsAnswerWaitTimeout)
{
    ScopedHandle a(vxtest::manualEvent());
    ScopedHandle b(vxtest::manualEvent());
    const HANDLE handles[] = {a.get(), b.get()};
    for (const BOOL waitAll : {FALSE, TRUE}) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(WaitForMultipleObjects(2, handles, waitAll, 20), WAIT_TIMEOUT);
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20));
        EXPECT_EQ(WaitForMultipleObjects(2, handles, waitAll, 0), WAIT_TIMEOUT);
    }
}

TEST(WaitForMultipleObjects, BadArgumentsFail)
{
    ScopedHandle event(vxtest::manualEvent(true));
    std::vector<HANDLE> tooMany(MAXIMUM_WAIT_OBJECTS + 1, event.get());
    EXPECT_EQ(WaitForMultipleObjects(0, tooMany.data(), FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS + 1, tooMany.data(), FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(WaitForMultipleObjects(1, nullptr, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, tooMany.data(), FALSE, 0), WAIT_OBJECT_0);
}

TEST(WaitForMultipleObjects, MixedValidAndStaleHandlesFail)
{
    ScopedHandle event(vxtest::manualEvent(true));
    const HANDLE stale = vxtest::manualEvent();
    CloseHandle(stale);
    const HANDLE handles[] = {event.get(), stale};
    EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

}  // namespace
