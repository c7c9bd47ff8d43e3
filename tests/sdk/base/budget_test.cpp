// Time budgets and cancellation: the alarm clock on the wrapping tick count,
// the stopper's cancel flag and budget, and the scoped lock.
#include "base/CAlarmClock.h"
#include "base/CScanningSDK.h"
#include "base/CScopedLock.h"
#include "base/CStopper.h"
#include "base/CancelFlag.h"
#include "TestSupport.h"

#include "platform/sync.h"
#include "platform/time.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

namespace {

std::atomic<DWORD> g_now{0};

DWORD fakeTick()
{
    return g_now.load();
}

// The tick count is ours to set while a test runs.
class FakeClockTest : public ::testing::Test {
protected:
    void SetUp() override { platform::setTickSourceForTesting(&fakeTick); }
    void TearDown() override { platform::setTickSourceForTesting(nullptr); }
    static void at(DWORD tick) { g_now.store(tick); }
};

TEST_F(FakeClockTest, ElapsedTimeAgainstTimeoutIncludingTheTickWrap)
{
    struct Case {
        DWORD timeout;
        DWORD startTick;
        DWORD nowTick;
        bool timedOut;
        DWORD remaining;
    };
    const Case cases[] = {
        {100, 1000, 1000, false, 100},
        {100, 1000, 1099, false, 1},
        {100, 1000, 1100, true, 1},
        {100, 1000, 1150, true, 1},  // expired: 1, never 0
        {100, 1000, 999, true, 1},  // a tick before the start is a wrap: long expired
        // 0xFFFFFF00 -> 0x10 is 272 ms across the wrap.
        {300, 0xFFFFFF00u, 0x10, false, 28},
        {273, 0xFFFFFF00u, 0x10, false, 1},
        {272, 0xFFFFFF00u, 0x10, true, 1},
        {0xFFFFFFFFu, 5, 3, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.timeout << " ms from " << c.startTick << " at " << c.nowTick);
        CAlarmClock clock;
        clock.setTimeout(c.timeout);
        at(c.startTick);
        clock.start();
        at(c.nowTick);
        EXPECT_EQ(clock.isTimeout(), c.timedOut);
        EXPECT_EQ(clock.getRemaining(), c.remaining);
    }
}

TEST_F(FakeClockTest, StoppedOrUnsetClockNeverTimesOutAndHasNothingLeft)
{
    at(50);
    CAlarmClock fresh;
    EXPECT_FALSE(fresh.isTimeout());
    EXPECT_EQ(fresh.getRemaining(), 0u);

    CAlarmClock noTimeout;
    noTimeout.start();
    EXPECT_FALSE(noTimeout.isRunning());
    at(1000000);
    EXPECT_FALSE(noTimeout.isTimeout());

    CAlarmClock stopped;
    stopped.setTimeout(10);
    stopped.start();
    at(2000000);
    EXPECT_TRUE(stopped.isTimeout());
    stopped.stop();
    EXPECT_FALSE(stopped.isTimeout());
    EXPECT_EQ(stopped.getRemaining(), 0u);
}

TEST_F(FakeClockTest, RunningClockKeepsItsTimeoutAndFirstStart)
{
    CAlarmClock clock;
    clock.setTimeout(100);
    at(1000);
    clock.start();
    clock.setTimeout(5000);  // ignored while running
    at(1050);
    clock.start();  // ignored: keeps the start at 1000
    EXPECT_EQ(clock.getTimeout(), 100u);
    EXPECT_EQ(clock.getRemaining(), 50u);
    at(1100);
    EXPECT_TRUE(clock.isTimeout());

    clock.stop();
    clock.setTimeout(5000);
    EXPECT_EQ(clock.getTimeout(), 5000u);
}

TEST_F(FakeClockTest, StopperReportsStoppedWhenItsBudgetRunsOut)
{
    CStopper stopper;
    at(0);
    stopper.setTimeout(500);
    at(499);
    EXPECT_FALSE(stopper.isStopped());
    EXPECT_EQ(stopper.getRemaingTimeout(), 1u);
    at(500);
    EXPECT_TRUE(stopper.isTimeout());
    EXPECT_TRUE(stopper.isStopped());
    EXPECT_EQ(stopper.getRemaingTimeout(), 1u);

    // A new budget restarts the clock.
    stopper.setTimeout(200);
    EXPECT_FALSE(stopper.isStopped());
    EXPECT_EQ(stopper.getRemaingTimeout(), 200u);
}

TEST_F(FakeClockTest, StopperWithoutBudgetNeverTimesOut)
{
    CStopper stopper;
    at(0);
    stopper.setTimeout(100);
    stopper.setTimeout(0);  // removes the earlier budget
    at(0x7FFFFFFF);
    EXPECT_FALSE(stopper.isTimeout());
    EXPECT_FALSE(stopper.isStopped());
    EXPECT_EQ(stopper.getRemaingTimeout(), 0u);
}

// A worker handing on the remaining time of a spent budget gives its
// sub-worker 1 ms, not an unlimited budget.
TEST_F(FakeClockTest, SpentBudgetIsHandedOnAsOneMillisecond)
{
    unsigned char flag = 0;
    CStopper parent;
    parent.setCancelFlag(&flag);
    at(10);
    parent.setTimeout(100);
    at(500);
    ASSERT_TRUE(parent.isStopped());

    CStopper child;
    child.setCancelFlag(parent.getCancelFlag());
    child.setTimeout(parent.getRemaingTimeout());
    EXPECT_FALSE(child.isStopped());
    at(501);
    EXPECT_TRUE(child.isStopped());
    EXPECT_EQ(child.getCancelFlag(), &flag);
}

TEST_F(FakeClockTest, CancelIsCheckedBeforeTheBudget)
{
    unsigned char flag = 0;
    CStopper stopper;
    EXPECT_FALSE(stopper.isCancelled());  // no flag: cannot be cancelled
    stopper.setCancelFlag(&flag);
    at(0);
    stopper.setTimeout(1000);
    EXPECT_FALSE(stopper.isCancelled());
    EXPECT_FALSE(stopper.isStopped());

    requestCancel(&flag);
    EXPECT_TRUE(isCancelRequested(&flag));
    EXPECT_TRUE(stopper.isCancelled());
    EXPECT_TRUE(stopper.isStopped());
    EXPECT_FALSE(stopper.isTimeout());

    clearCancel(&flag);
    EXPECT_FALSE(stopper.isStopped());

    flag = 0x80;  // any non-zero byte is a request
    EXPECT_TRUE(stopper.isCancelled());

    EXPECT_FALSE(isCancelRequested(nullptr));
    requestCancel(nullptr);
    clearCancel(nullptr);
}

TEST(StopperAcrossThreads, CancelFromAnotherThreadStopsAPollingLoop)
{
    unsigned char flag = 0;
    std::atomic<long> polls{0};
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        CStopper stopper;
        stopper.setCancelFlag(&flag);
        stopper.setTimeout(0);  // no budget: only the cancel can stop it
        while (!stopper.isStopped()) {
            polls.fetch_add(1);
            std::this_thread::yield();
        }
        finished = true;
    });
    EXPECT_TRUE(vxtest::waitUntil([&] { return polls.load() > 0; }));
    EXPECT_FALSE(finished.load());
    requestCancel(&flag);
    EXPECT_TRUE(vxtest::waitUntil([&] { return finished.load(); }));
    worker.join();
}

// The trace lines the budget classes write, byte for byte.
std::mutex g_traceMutex;
std::vector<std::string> g_traceLines;

void captureTrace(int, std::string line)
{
    std::lock_guard<std::mutex> lock(g_traceMutex);
    std::size_t at = 0;
    for (int commas = 0; commas < 3; ++commas) {
        at = line.find(',', at) + 1;
    }
    g_traceLines.push_back(line.substr(at));
}

class BudgetTraceTest : public FakeClockTest {
protected:
    void SetUp() override
    {
        FakeClockTest::SetUp();
        m_logger = CLogger::createCustomizeLogger(0, &captureTrace);
        m_logger.setMask(0x1);
        CScanningSDK::SetLogger(&m_logger);
        take();
    }
    void TearDown() override
    {
        CScanningSDK::SetLogger(nullptr);
        FakeClockTest::TearDown();
    }
    static std::vector<std::string> take()
    {
        std::lock_guard<std::mutex> lock(g_traceMutex);
        return std::exchange(g_traceLines, {});
    }

    CLogger m_logger;
};

TEST_F(BudgetTraceTest, TraceTexts)
{
    using Lines = std::vector<std::string>;
    CStopper stopper;
    at(0);
    stopper.setTimeout(500);
    EXPECT_EQ(take(), Lines{"CStopper::setTimeout, Set Timeout:500"});

    at(200);
    EXPECT_FALSE(stopper.isStopped());
    EXPECT_EQ(take(), Lines{"CAlarmClock::isTimeout, Remaining 300"});
    EXPECT_EQ(stopper.getRemaingTimeout(), 300u);
    EXPECT_EQ(take(), Lines{"CAlarmClock::getRemaining, Already active:300"});

    at(900);
    EXPECT_TRUE(stopper.isStopped());
    EXPECT_EQ(take(), (Lines{"CAlarmClock::isTimeout, Timeout.", "CStopper::isStopped, Timeout..."}));

    unsigned char flag = 1;
    stopper.setCancelFlag(&flag);
    EXPECT_TRUE(stopper.isStopped());
    EXPECT_EQ(take(), (Lines{"CStopper::isCancelled, Cancelled!", "CStopper::isStopped, Canceled..."}));

    CAlarmClock clock;
    clock.isTimeout();
    EXPECT_EQ(take(), (Lines{"CAlarmClock::isTimeout, not started or no timeout",
                             "CAlarmClock::isTimeout, Timeout value:0", "CAlarmClock::isTimeout, Status value:0"}));
    clock.setTimeout(100);
    clock.start();
    take();
    clock.start();
    EXPECT_EQ(take(), (Lines{"CAlarmClock::start, Already started or timeout====0.",
                             "CAlarmClock::start, Already active:100", "CAlarmClock::start, Already active:1"}));
    clock.setTimeout(7);
    EXPECT_EQ(take(), Lines{"CAlarmClock::setTimeout, Please stop the alarm clock at first. Then set the timeout"});
}

TEST(ScopedLock, LeavesTheSectionOnEveryWayOut)
{
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    auto freeForOthers = [&section] {
        bool entered = false;
        std::thread other([&] {
            entered = TryEnterCriticalSection(&section) != FALSE;
            if (entered) {
                LeaveCriticalSection(&section);
            }
        });
        other.join();
        return entered;
    };
    {
        CScopedLock lock(&section);
        EXPECT_FALSE(freeForOthers());
    }
    EXPECT_TRUE(freeForOthers());
    try {
        CScopedLock lock(&section);
        throw std::runtime_error("leaving by exception");
    } catch (const std::runtime_error&) {
    }
    EXPECT_TRUE(freeForOthers());
    DeleteCriticalSection(&section);

    CScopedLock none(nullptr);  // allowed, holds nothing
}

}  // namespace
