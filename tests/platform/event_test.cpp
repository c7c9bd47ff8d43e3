// Events: manual and auto reset.

#include "PlatformTestSupport.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <vector>

namespace {

using vxtest::kBound;
using vxtest::ScopedHandle;

struct ResetCase {
    const char* name;
    BOOL manualReset;
    BOOL initialState;
    DWORD firstWait;
    DWORD secondWait;
};

TEST(Event, ResetModesAndInitialStates)
{
    const ResetCase cases[] = {
        {"manual, set", TRUE, TRUE, WAIT_OBJECT_0, WAIT_OBJECT_0},
        {"manual, clear", TRUE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT},
        {"auto, set", FALSE, TRUE, WAIT_OBJECT_0, WAIT_TIMEOUT},
        {"auto, clear", FALSE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT},
    };
    for (const ResetCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedHandle event(CreateEventA(nullptr, c.manualReset, c.initialState, nullptr));
        ASSERT_NE(event.get(), nullptr);
        EXPECT_EQ(WaitForSingleObject(event.get(), 0), c.firstWait);
        EXPECT_EQ(WaitForSingleObject(event.get(), 0), c.secondWait);
    }
}

TEST(Event, ManualResetStaysSetUntilReset)
{
    ScopedHandle event(vxtest::manualEvent());
    EXPECT_TRUE(SetEvent(event.get()));
    EXPECT_TRUE(SetEvent(event.get()));
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ResetEvent(event.get()));
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_TIMEOUT);
}

TEST(Event, AutoResetSetLetsExactlyOneWaiterThrough)
{
    ScopedHandle event(vxtest::autoEvent());
    std::atomic<int> woken{0};
    std::vector<ScopedHandle> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back(vxtest::startThread([&] {
            const DWORD result = WaitForSingleObject(event.get(), kBound);
            if (result == WAIT_OBJECT_0)
                ++woken;
            return static_cast<unsigned>(result);
        }));
    }

    for (int round = 1; round <= 3; ++round) {
        ASSERT_TRUE(SetEvent(event.get()));
        ASSERT_TRUE(vxtest::waitUntil([&] { return woken == round; })) << "round " << round;
        // The waiter that went through reset the event: no second one can
        // follow on the same SetEvent.
        EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_TIMEOUT);
        EXPECT_EQ(woken, round);
    }
    for (const auto& waiter : waiters)
        EXPECT_EQ(WaitForSingleObject(waiter.get(), kBound), WAIT_OBJECT_0);
}

TEST(Event, ManualResetSetReleasesEveryWaiter)
{
    ScopedHandle event(vxtest::manualEvent());
    std::vector<ScopedHandle> waiters;
    for (int i = 0; i < 4; ++i) {
        waiters.emplace_back(vxtest::startThread(
            [&] { return static_cast<unsigned>(WaitForSingleObject(event.get(), kBound)); }));
    }
    ASSERT_TRUE(SetEvent(event.get()));
    for (const auto& waiter : waiters) {
        ASSERT_EQ(WaitForSingleObject(waiter.get(), kBound), WAIT_OBJECT_0);
        DWORD result = 0;
        ASSERT_TRUE(GetExitCodeThread(waiter.get(), &result));
        EXPECT_EQ(result, WAIT_OBJECT_0);
    }
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_OBJECT_0) << "still set";
}

TEST(Event, WaitOnAnUnsetEventTimesOut)
{
    ScopedHandle event(vxtest::manualEvent());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForSingleObject(event.get(), 20), WAIT_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20));
}

TEST(Event, SetFromAnotherThreadEndsAnInfiniteWait)
{
    ScopedHandle event(vxtest::autoEvent());
    ScopedHandle setter(vxtest::startThread([&] { return static_cast<unsigned>(SetEvent(event.get())); }));
    EXPECT_EQ(WaitForSingleObject(event.get(), INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(setter.get(), kBound), WAIT_OBJECT_0);
}

TEST(Event, OtherKindsAreRefused)
{
    ScopedHandle mutex(CreateMutexA(nullptr, FALSE, nullptr));
    EXPECT_FALSE(SetEvent(mutex.get()));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(ResetEvent(mutex.get()));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

}  // namespace
