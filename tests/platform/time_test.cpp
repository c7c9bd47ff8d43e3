// Tick count, sleeps, local and system time, and the clocks' test sources.

#include "platform/time.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

struct ElapsedCase {
    DWORD start;
    DWORD now;
    DWORD elapsed;
};

TEST(TickElapsed, IsTheWrappingDifference)
{
    const ElapsedCase cases[] = {
        {0, 0, 0},
        {100, 250, 150},
        {0xFFFFFF00u, 0x10u, 0x110u},  // the count wrapped between the two
        {0xFFFFFFFFu, 0, 1},
        {0x7FFFFFFFu, 0x80000000u, 1},
        {5, 4, 0xFFFFFFFFu},  // "now" before "start": a full turn less one
    };
    for (const ElapsedCase& c : cases)
        EXPECT_EQ(platform::tickElapsed(c.start, c.now), c.elapsed) << c.start << " -> " << c.now;
    static_assert(platform::tickElapsed(0xFFFFFF00u, 0x10u) == 0x110u);
}

DWORD g_fakeTick = 0;

TEST(TickSource, TestSourceIsAnsweredUntilRemoved)
{
    platform::setTickSourceForTesting([] { return g_fakeTick; });
    g_fakeTick = 0xFFFFFF00u;
    const DWORD start = GetTickCount();
    EXPECT_EQ(start, 0xFFFFFF00u);
    g_fakeTick = 0x10u;
    EXPECT_EQ(platform::tickElapsed(start, GetTickCount()), 0x110u);

    platform::setTickSourceForTesting(nullptr);
    const DWORD first = GetTickCount();
    const DWORD second = GetTickCount();
    EXPECT_LT(platform::tickElapsed(first, second), 1000u);
}

DWORD monotonicMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<DWORD>(static_cast<std::uint64_t>(now.tv_sec) * 1000u + now.tv_nsec / 1000000);
}

TEST(TickCount, FollowsTheMonotonicClock)
{
    const DWORD before = GetTickCount();
    const DWORD clock = monotonicMilliseconds();
    const DWORD after = GetTickCount();
    EXPECT_LE(platform::tickElapsed(before, clock), platform::tickElapsed(before, after));
}

TEST(SleepTest, SleepsAtLeastTheTimeAsked)
{
    const auto start = std::chrono::steady_clock::now();
    Sleep(20);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20));
    Sleep(0);  // gives up the slice and returns
}

// Sets the process's time zone for a test and restores it afterwards.
class ScopedZone {
public:
    explicit ScopedZone(const char* zone)
    {
        const char* previous = std::getenv("TZ");
        m_had = previous != nullptr;
        m_saved = m_had ? previous : "";
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedZone()
    {
        if (m_had)
            setenv("TZ", m_saved.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool m_had = false;
    std::string m_saved;
};

// With a fixed zone three hours east of UTC (no summer time), local time is
// UTC + 3 h; compared field by field within one second of the clock.
TEST(LocalTime, IsTheZonesTimeWithMilliseconds)
{
    ScopedZone zone("XYZ-3");

    bool compared = false;
    for (int attempt = 0; attempt < 20 && !compared; ++attempt) {
        const std::time_t before = std::time(nullptr);
        SYSTEMTIME local{};
        GetLocalTime(&local);
        if (std::time(nullptr) != before)
            continue;  // a second boundary passed; take another reading
        const std::time_t shifted = before + 3 * 3600;
        std::tm expected{};
        gmtime_r(&shifted, &expected);
        EXPECT_EQ(local.wYear, expected.tm_year + 1900);
        EXPECT_EQ(local.wMonth, expected.tm_mon + 1);
        EXPECT_EQ(local.wDay, expected.tm_mday);
        EXPECT_EQ(local.wDayOfWeek, expected.tm_wday);
        EXPECT_EQ(local.wHour, expected.tm_hour);
        EXPECT_EQ(local.wMinute, expected.tm_min);
        EXPECT_EQ(local.wSecond, expected.tm_sec);
        EXPECT_LT(local.wMilliseconds, 1000);
        compared = true;
    }
    EXPECT_TRUE(compared);
}

TEST(LocalTime, NullIsIgnored)
{
    GetLocalTime(nullptr);
}

// In a zone three hours east of UTC the system time stays UTC while the
// local time moves; compared within one second of the clock.
TEST(SystemTime, IsUtcWhateverTheZone)
{
    ScopedZone zone("XYZ-3");

    bool compared = false;
    for (int attempt = 0; attempt < 20 && !compared; ++attempt) {
        const std::time_t before = std::time(nullptr);
        SYSTEMTIME utc{};
        SYSTEMTIME local{};
        GetSystemTime(&utc);
        GetLocalTime(&local);
        if (std::time(nullptr) != before)
            continue;  // a second boundary passed; take another reading
        std::tm expected{};
        gmtime_r(&before, &expected);
        EXPECT_EQ(utc.wYear, expected.tm_year + 1900);
        EXPECT_EQ(utc.wMonth, expected.tm_mon + 1);
        EXPECT_EQ(utc.wDay, expected.tm_mday);
        EXPECT_EQ(utc.wHour, expected.tm_hour);
        EXPECT_EQ(utc.wMinute, expected.tm_min);
        EXPECT_EQ(utc.wSecond, expected.tm_sec);
        EXPECT_LT(utc.wMilliseconds, 1000);
        EXPECT_EQ(local.wHour, (expected.tm_hour + 3) % 24);
        compared = true;
    }
    EXPECT_TRUE(compared);
    GetSystemTime(nullptr);  // ignored
}

TEST(WallClockSources, AreAnsweredUntilRemoved)
{
    platform::setSystemTimeSourceForTesting([](SYSTEMTIME* time) { *time = {2026, 9, 0, 12, 9, 5, 12, 7}; });
    platform::setLocalTimeSourceForTesting([](SYSTEMTIME* time) { *time = {2026, 9, 0, 12, 11, 5, 12, 7}; });
    SYSTEMTIME utc{};
    SYSTEMTIME local{};
    GetSystemTime(&utc);
    GetLocalTime(&local);
    EXPECT_EQ(utc.wHour, 9);
    EXPECT_EQ(utc.wMilliseconds, 7);
    EXPECT_EQ(local.wHour, 11);

    platform::setSystemTimeSourceForTesting(nullptr);
    platform::setLocalTimeSourceForTesting(nullptr);
    GetSystemTime(&utc);
    EXPECT_GE(utc.wYear, 2024);
    EXPECT_NE(utc.wYear, 2026 + 1000);
}

}  // namespace
