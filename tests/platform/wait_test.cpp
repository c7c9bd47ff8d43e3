// WaitForSingleObject and WaitForMultipleObjects across kinds.

#include "PlatformTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
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

// Eight threads, each blocked on an object of its own (events, a
// semaphore, a mutex, a thread handle): a change of one object wakes the one
// thread waiting on it and no other.
TEST(WaitForMultipleObjects, AChangeWakesOnlyTheWaitsOnThatObject)
{
    const std::size_t blockedBefore = platform::blockedWaitCount();
    ScopedHandle finish(vxtest::manualEvent());
    ScopedHandle mutex(CreateMutexA(nullptr, TRUE, nullptr));
    ScopedHandle worker(vxtest::startThread([&] { return WaitForSingleObject(finish.get(), kBound); }));
    ScopedHandle autoEvent(vxtest::autoEvent());
    ScopedHandle manualEvent(vxtest::manualEvent());
    ScopedHandle semaphore(CreateSemaphoreA(nullptr, 0, 4, nullptr));
    std::vector<ScopedHandle> idle;  // objects nobody changes until the end
    for (int i = 0; i < 3; ++i)
        idle.emplace_back(vxtest::autoEvent());
    const HANDLE targets[] = {autoEvent.get(), manualEvent.get(), semaphore.get(), mutex.get(),
                              worker.get(),    idle[0].get(),     idle[1].get(),   idle[2].get()};
    constexpr int kWaiters = 8;
    std::array<std::atomic<bool>, kWaiters> done{};
    std::vector<ScopedHandle> waiters;
    for (int i = 0; i < kWaiters; ++i) {
        waiters.emplace_back(vxtest::startThread([&, i] {
            const DWORD result = WaitForSingleObject(targets[i], INFINITE);
            done[i].store(true);
            return result;
        }));
    }
    // The eight waiters and the worker are on their objects' lists.
    ASSERT_TRUE(vxtest::waitUntil([&] { return platform::blockedWaitCount() == blockedBefore + kWaiters + 1; }));

    struct Change {
        int waiter;
        std::function<void()> make;
        std::uint64_t wakeUps;
    };
    const Change changes[] = {
        {0, [&] { SetEvent(autoEvent.get()); }, 1},
        {2, [&] { ReleaseSemaphore(semaphore.get(), 1, nullptr); }, 1},
        {1, [&] { SetEvent(manualEvent.get()); }, 1},
        {3, [&] { ReleaseMutex(mutex.get()); }, 1},
        // The worker wakes and ends, which signals its handle: two wake-ups.
        {4, [&] { SetEvent(finish.get()); }, 2},
    };
    std::array<bool, kWaiters> expectDone{};
    for (const Change& change : changes) {
        const std::uint64_t before = platform::waitWakeUpCount();
        change.make();
        expectDone[change.waiter] = true;
        ASSERT_TRUE(vxtest::waitUntil([&] { return done[change.waiter].load(); })) << change.waiter;
        EXPECT_EQ(platform::waitWakeUpCount() - before, change.wakeUps) << "waiter " << change.waiter;
        for (int i = 0; i < kWaiters; ++i)
            EXPECT_EQ(done[i].load(), expectDone[i]) << "waiter " << i << " after waiter " << change.waiter;
    }
    for (const ScopedHandle& event : idle)
        SetEvent(event.get());
    for (const ScopedHandle& waiter : waiters)
        EXPECT_EQ(WaitForSingleObject(waiter.get(), kBound), WAIT_OBJECT_0);
}

}  // namespace
