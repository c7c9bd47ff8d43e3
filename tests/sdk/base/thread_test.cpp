// The thread wrapper and bound delegates.
#include "base/CThread.h"
#include "base/FastDelegate.h"
#include "TestSupport.h"

#include "platform/sync.h"
#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <utility>

namespace {

// A loop object whose member functions the threads run. `loop` blocks on an
// event the test controls, so the test decides when the thread ends.
class Worker {
public:
    Worker()
        : m_release(CreateEventA(nullptr, TRUE, FALSE, nullptr))
    {
    }
    ~Worker() { CloseHandle(m_release); }

    void loop()
    {
        m_threadId = GetCurrentThreadId();
        m_started = true;
        WaitForSingleObject(m_release, INFINITE);
        m_finished = true;
    }

    int compute()
    {
        m_threadId = GetCurrentThreadId();
        m_finished = true;
        return 42;
    }

    int value() const { return 7; }

    void release() { SetEvent(m_release); }

    HANDLE m_release;
    std::atomic<DWORD> m_threadId{0};
    std::atomic<bool> m_started{false};
    std::atomic<bool> m_finished{false};
};

TEST(Thread, BoundMemberRunsOnItsOwnThreadAndTimedWaitAnswersFalseThenTrue)
{
    Worker worker;
    CThread thread(fastdelegate::FastDelegate<void()>(&worker, &Worker::loop));
    ASSERT_NE(thread.getHandle(), nullptr);
    ASSERT_TRUE(vxtest::waitUntil([&] { return worker.m_started.load(); }));
    EXPECT_NE(worker.m_threadId.load(), GetCurrentThreadId());
    EXPECT_EQ(worker.m_threadId.load(), thread.getThreadId());

    EXPECT_FALSE(thread.wait(0));
    EXPECT_FALSE(thread.wait(20));
    EXPECT_NE(thread.getHandle(), nullptr);  // still open: the owner may wait again

    worker.release();
    EXPECT_TRUE(thread.wait(20000));
    EXPECT_TRUE(worker.m_finished.load());
    EXPECT_EQ(thread.getHandle(), nullptr);

    // The handle is gone: a second wait answers at once and touches nothing.
    EXPECT_TRUE(thread.wait(0));
    EXPECT_TRUE(thread.wait(INFINITE));
}

TEST(Thread, IntReturningDelegateEndsItsThreadWithExitCodeZero)
{
    Worker worker;
    CThread thread(fastdelegate::FastDelegate<int()>(&worker, &Worker::compute));
    ASSERT_TRUE(vxtest::waitUntil([&] { return worker.m_finished.load(); }));
    DWORD exitCode = STILL_ACTIVE;
    ASSERT_TRUE(vxtest::waitUntil([&] {
        return GetExitCodeThread(thread.getHandle(), &exitCode) != FALSE && exitCode != STILL_ACTIVE;
    }));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_TRUE(thread.wait(20000));
}

TEST(Thread, DefaultConstructedHasNothingToWaitFor)
{
    CThread thread;
    EXPECT_EQ(thread.getHandle(), nullptr);
    EXPECT_TRUE(thread.wait(0));
    EXPECT_TRUE(thread.wait(INFINITE));
}

TEST(Thread, DroppedUnjoinedThreadRunsOnToItsEnd)
{
    Worker worker;
    {
        CThread thread(fastdelegate::FastDelegate<void()>(&worker, &Worker::loop));
        ASSERT_TRUE(vxtest::waitUntil([&] { return worker.m_started.load(); }));
    }
    worker.release();
    EXPECT_TRUE(vxtest::waitUntil([&] { return worker.m_finished.load(); }));
}

TEST(Thread, MovedThreadIsWaitedForByItsNewOwner)
{
    Worker worker;
    CThread first(fastdelegate::FastDelegate<void()>(&worker, &Worker::loop));
    CThread second(std::move(first));
    EXPECT_EQ(first.getHandle(), nullptr);
    EXPECT_TRUE(first.wait(0));
    ASSERT_TRUE(vxtest::waitUntil([&] { return worker.m_started.load(); }));
    EXPECT_FALSE(second.wait(0));
    worker.release();
    EXPECT_TRUE(second.wait(20000));
}

TEST(FastDelegate, CopiesCallTheSameObjectAndEmptyOnesDoNothing)
{
    Worker worker;
    fastdelegate::FastDelegate<int()> compute(&worker, &Worker::compute);
    fastdelegate::FastDelegate<int()> copy = compute;
    EXPECT_TRUE(copy == compute);
    EXPECT_EQ(copy(), 42);
    EXPECT_TRUE(worker.m_finished.load());

    const Worker& constant = worker;
    fastdelegate::FastDelegate<int()> value(&constant, &Worker::value);
    EXPECT_EQ(value(), 7);
    EXPECT_FALSE(value == compute);

    fastdelegate::FastDelegate<int()> none;
    EXPECT_TRUE(none.empty());
    EXPECT_FALSE(static_cast<bool>(none));
    EXPECT_EQ(none(), 0);
    copy.clear();
    EXPECT_TRUE(copy.empty());
    fastdelegate::FastDelegate<void()> nothing;
    nothing();
}

}  // namespace
