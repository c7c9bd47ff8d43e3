// Mutexes: recursion, ownership and abandonment.

#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using vxtest::kBound;
using vxtest::ScopedHandle;

// What a wait with no time-out answers on another thread.
DWORD waitFromAnotherThread(HANDLE object)
{
    DWORD result = WAIT_FAILED;
    std::thread other([&] {
        result = WaitForSingleObject(object, 0);
        if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED)
            ReleaseMutex(object);
    });
    other.join();
    return result;
}

TEST(Mutex, IsRecursiveForItsOwner)
{
    ScopedHandle mutex(CreateMutexA(nullptr, TRUE, nullptr));
    ASSERT_NE(mutex.get(), nullptr);
    EXPECT_EQ(WaitForSingleObject(mutex.get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(mutex.get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(waitFromAnotherThread(mutex.get()), WAIT_TIMEOUT);

    EXPECT_TRUE(ReleaseMutex(mutex.get()));
    EXPECT_TRUE(ReleaseMutex(mutex.get()));
    EXPECT_EQ(waitFromAnotherThread(mutex.get()), WAIT_TIMEOUT) << "still held once";
    EXPECT_TRUE(ReleaseMutex(mutex.get()));
    EXPECT_FALSE(ReleaseMutex(mutex.get())) << "released more often than taken";
    EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
    EXPECT_EQ(waitFromAnotherThread(mutex.get()), WAIT_OBJECT_0);
}

TEST(Mutex, ReleaseByANonOwnerFails)
{
    ScopedHandle mutex(CreateMutexA(nullptr, TRUE, nullptr));
    DWORD released = TRUE;
    DWORD error = 0;
    std::thread other([&] {
        released = ReleaseMutex(mutex.get());
        error = GetLastError();
    });
    other.join();
    EXPECT_FALSE(released);
    EXPECT_EQ(error, ERROR_NOT_OWNER);
    EXPECT_TRUE(ReleaseMutex(mutex.get())) << "the owner still owns it";

    ScopedHandle unowned(CreateMutexA(nullptr, FALSE, nullptr));
    EXPECT_FALSE(ReleaseMutex(unowned.get()));
    EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
}

TEST(Mutex, PassesToAWaiterWhenReleased)
{
    ScopedHandle mutex(CreateMutexA(nullptr, TRUE, nullptr));
    ScopedHandle waiter(vxtest::startThread([&] {
        const DWORD result = WaitForSingleObject(mutex.get(), kBound);
        ReleaseMutex(mutex.get());
        return static_cast<unsigned>(result);
    }));
    EXPECT_TRUE(ReleaseMutex(mutex.get()));
    ASSERT_EQ(WaitForSingleObject(waiter.get(), kBound), WAIT_OBJECT_0);
    DWORD result = WAIT_FAILED;
    GetExitCodeThread(waiter.get(), &result);
    EXPECT_EQ(result, WAIT_OBJECT_0);
}

// A thread takes the mutex and ends without releasing it while this thread
// is already blocked waiting for it.
TEST(Mutex, AbandonedMutexWakesABlockedWaiterWithWaitAbandoned)
{
    ScopedHandle mutex(CreateMutexA(nullptr, FALSE, nullptr));
    ScopedHandle taken(vxtest::manualEvent());
    ScopedHandle finish(vxtest::manualEvent());
    ScopedHandle owner(vxtest::startThread([&] {
        WaitForSingleObject(mutex.get(), kBound);
        SetEvent(taken.get());
        WaitForSingleObject(finish.get(), kBound);
        return 0u;  // ends owning the mutex
    }));
    ASSERT_EQ(WaitForSingleObject(taken.get(), kBound), WAIT_OBJECT_0);
    SetEvent(finish.get());
    EXPECT_EQ(WaitForSingleObject(mutex.get(), kBound), WAIT_ABANDONED);

    // The waiter owns it now, plainly: the abandonment is reported once.
    EXPECT_EQ(waitFromAnotherThread(mutex.get()), WAIT_TIMEOUT);
    EXPECT_TRUE(ReleaseMutex(mutex.get()));
    EXPECT_EQ(WaitForSingleObject(mutex.get(), 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mutex.get()));
}

// The owner's handle is signalled only after its mutexes are abandoned, so
// a wait after joining the owner sees the abandonment at once.
TEST(Mutex, AbandonedBeforeTheOwnersHandleIsSignalled)
{
    ScopedHandle mutex(CreateMutexA(nullptr, FALSE, nullptr));
    ScopedHandle owner(vxtest::startThread([&] {
        WaitForSingleObject(mutex.get(), kBound);
        WaitForSingleObject(mutex.get(), kBound);  // twice: recursion does not matter
        return 0u;
    }));
    ASSERT_EQ(WaitForSingleObject(owner.get(), kBound), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(mutex.get(), 0), WAIT_ABANDONED);
    EXPECT_TRUE(ReleaseMutex(mutex.get()));
    EXPECT_FALSE(ReleaseMutex(mutex.get())) << "the new owner took it once";
}

// A thread not started by _beginthreadex abandons too (its thread-local
// list of owned mutexes is destroyed when it ends).
TEST(Mutex, AbandonedByAStdThread)
{
    ScopedHandle mutex(CreateMutexA(nullptr, FALSE, nullptr));
    std::thread owner([&] { WaitForSingleObject(mutex.get(), kBound); });
    owner.join();
    EXPECT_EQ(waitFromAnotherThread(mutex.get()), WAIT_ABANDONED);
    EXPECT_EQ(WaitForSingleObject(mutex.get(), 0), WAIT_OBJECT_0) << "released by the second thread";
    EXPECT_TRUE(ReleaseMutex(mutex.get()));
}

TEST(Mutex, AbandonedInAMultipleWaitCarriesItsIndex)
{
    ScopedHandle unset(vxtest::manualEvent());
    ScopedHandle mutex(CreateMutexA(nullptr, FALSE, nullptr));
    std::thread owner([&] { WaitForSingleObject(mutex.get(), kBound); });
    owner.join();
    const HANDLE handles[] = {unset.get(), mutex.get()};
    EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, kBound), WAIT_ABANDONED_0 + 1);
    EXPECT_TRUE(ReleaseMutex(mutex.get()));
}

TEST(Mutex, OtherKindsAreRefused)
{
    ScopedHandle event(vxtest::manualEvent());
    EXPECT_FALSE(ReleaseMutex(event.get()));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

}  // namespace
