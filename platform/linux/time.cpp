// Tick count, sleeps, local and system time.

#include "platform/time.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>

namespace {

// Atomic although the header asks tests to set it from one thread only: a
// worker thread of the code under test may read the tick while the test
// swaps the source.
std::atomic<platform::TickSource> g_tickSource{nullptr};

thread_local std::uint64_t t_sleepRequested = 0;

DWORD monotonicTick()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const std::uint64_t ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                             static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<DWORD>(ms);  // wraps like the platform's count
}

}  // namespace

DWORD GetTickCount()
{
    if (platform::TickSource source = g_tickSource.load(std::memory_order_acquire))
        return source();
    return monotonicTick();
}

void Sleep(DWORD milliseconds)
{
    if (milliseconds == 0) {
        std::this_thread::yield();  // the platform's Sleep(0): give up the rest of the slice
        return;
    }
    if (milliseconds == INFINITE) {
        for (;;)
            std::this_thread::sleep_for(std::chrono::hours(24));
    }
    t_sleepRequested += milliseconds;
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

namespace {

std::atomic<platform::WallClockSource> g_systemTimeSource{nullptr};
std::atomic<platform::WallClockSource> g_localTimeSource{nullptr};

// One clock reading gives both the calendar fields and the milliseconds, so
// a second boundary between two readings cannot make 12:00:00.999 come out
// as 12:00:01.999.
void readWallClock(SYSTEMTIME* time, bool utc)
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm fields{};
    if (utc)
        gmtime_r(&now.tv_sec, &fields);
    else
        localtime_r(&now.tv_sec, &fields);
    time->wYear = static_cast<WORD>(fields.tm_year + 1900);
    time->wMonth = static_cast<WORD>(fields.tm_mon + 1);
    time->wDayOfWeek = static_cast<WORD>(fields.tm_wday);
    time->wDay = static_cast<WORD>(fields.tm_mday);
    time->wHour = static_cast<WORD>(fields.tm_hour);
    time->wMinute = static_cast<WORD>(fields.tm_min);
    // A leap second (tm_sec 60) has no place in the platform's fields.
    time->wSecond = static_cast<WORD>(fields.tm_sec > 59 ? 59 : fields.tm_sec);
    time->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}

void wallClock(SYSTEMTIME* time, const std::atomic<platform::WallClockSource>& source, bool utc)
{
    if (time == nullptr)
        return;
    if (platform::WallClockSource chosen = source.load(std::memory_order_acquire))
        chosen(time);
    else
        readWallClock(time, utc);
}

}  // namespace

void GetLocalTime(SYSTEMTIME* time)
{
    wallClock(time, g_localTimeSource, false);
}

void GetSystemTime(SYSTEMTIME* time)
{
    wallClock(time, g_systemTimeSource, true);
}

namespace platform {

void setTickSourceForTesting(TickSource source)
{
    g_tickSource.store(source, std::memory_order_release);
}

std::uint64_t sleepRequestedOnThisThread()
{
    return t_sleepRequested;
}

void setSystemTimeSourceForTesting(WallClockSource source)
{
    g_systemTimeSource.store(source, std::memory_order_release);
}

void setLocalTimeSourceForTesting(WallClockSource source)
{
    g_localTimeSource.store(source, std::memory_order_release);
}

}  // namespace platform
