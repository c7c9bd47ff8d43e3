// Semaphores: counts, the maximum and ERROR_TOO_MANY_POSTS.

#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using vxtest::kBound;
using vxtest::ScopedHandle;

// Takes the semaphore until a wait with no time-out fails; answers how often.
int drain(HANDLE semaphore)
{
    int taken = 0;
    while (WaitForSingleObject(semaphore, 0) == WAIT_OBJECT_0)
        ++taken;
    return taken;
}

struct CreateCase {
    LONG initial;
    LONG maximum;
    bool valid;
};

TEST(Semaphore, CreateChecksItsCounts)
{
    const CreateCase cases[] = {
        {0, 1, true}, {1, 1, true}, {3, 5, true}, {2, 1, false}, {-1, 1, false}, {0, 0, false}, {0, -1, false},
    };
    for (const CreateCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.initial) + " of " + std::to_string(c.maximum));
        SetLastError(ERROR_SUCCESS);
        ScopedHandle semaphore(CreateSemaphoreA(nullptr, c.initial, c.maximum, nullptr));
        if (c.valid) {
            ASSERT_NE(semaphore.get(), nullptr);
            EXPECT_EQ(drain(semaphore.get()), c.initial);
        } else {
            EXPECT_EQ(semaphore.get(), nullptr);
            EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
        }
    }
}

TEST(Semaphore, ReleasePastTheMaximumFailsAndKeepsTheCount)
{
    ScopedHandle semaphore(CreateSemaphoreA(nullptr, 1, 2, nullptr));
    LONG previous = -7;
    EXPECT_FALSE(ReleaseSemaphore(semaphore.get(), 2, &previous));
    EXPECT_EQ(GetLastError(), ERROR_TOO_MANY_POSTS);
    EXPECT_EQ(previous, -7) << "not reported on failure";

    EXPECT_TRUE(ReleaseSemaphore(semaphore.get(), 1, &previous));
    EXPECT_EQ(previous, 1);
    EXPECT_FALSE(ReleaseSemaphore(semaphore.get(), 1, &previous));
    EXPECT_EQ(GetLastError(), ERROR_TOO_MANY_POSTS);
    EXPECT_FALSE(ReleaseSemaphore(semaphore.get(), std::numeric_limits<LONG>::max(), nullptr)) << "no overflow";
    EXPECT_EQ(GetLastError(), ERROR_TOO_MANY_POSTS);

    EXPECT_EQ(drain(semaphore.get()), 2);
}

TEST(Semaphore, ReleaseReportsThePreviousCount)
{
    ScopedHandle semaphore(CreateSemaphoreA(nullptr, 0, 10, nullptr));
    const struct {
        LONG release;
        LONG previous;
    } steps[] = {{1, 0}, {3, 1}, {2, 4}, {4, 6}};
    for (const auto& step : steps) {
        LONG previous = -1;
        ASSERT_TRUE(ReleaseSemaphore(semaphore.get(), step.release, &previous));
        EXPECT_EQ(previous, step.previous);
    }
    EXPECT_EQ(drain(semaphore.get()), 10);
}

TEST(Semaphore, ReleaseCountMustBePositive)
{
    ScopedHandle semaphore(CreateSemaphoreA(nullptr, 0, 10, nullptr));
    for (const LONG count : {0, -1}) {
        EXPECT_FALSE(ReleaseSemaphore(semaphore.get(), count, nullptr));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }
    EXPECT_EQ(drain(semaphore.get()), 0);
}

TEST(Semaphore, ReleaseWakesAWaitingThread)
{
    ScopedHandle semaphore(CreateSemaphoreA(nullptr, 0, 1, nullptr));
    ScopedHandle waiter(vxtest::startThread(
        [&] { return static_cast<unsigned>(WaitForSingleObject(semaphore.get(), kBound)); }));
    ASSERT_TRUE(ReleaseSemaphore(semaphore.get(), 1, nullptr));
    ASSERT_EQ(WaitForSingleObject(waiter.get(), kBound), WAIT_OBJECT_0);
    DWORD result = 1;
    GetExitCodeThread(waiter.get(), &result);
    EXPECT_EQ(result, WAIT_OBJECT_0);
    EXPECT_EQ(drain(semaphore.get()), 0) << "the waiter took the one count";
}

TEST(Semaphore, OtherKindsAreRefused)
{
    ScopedHandle event(vxtest::manualEvent());
    EXPECT_FALSE(ReleaseSemaphore(event.get(), 1, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

}  // namespace
