// Tick count, sleeps and local time.
#pragma once

#include "platform/types.h"

// Milliseconds since an arbitrary start, as a wrapping 32-bit count (it wraps
// after about 49.7 days). Always compare ticks through platform::tickElapsed.
DWORD GetTickCount();

void Sleep(DWORD milliseconds);

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;  // 1-12
    WORD wDayOfWeek;  // 0 = Sunday
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

// The local time, and the system time in UTC, each to the millisecond.
void GetLocalTime(SYSTEMTIME* time);
void GetSystemTime(SYSTEMTIME* time);

namespace platform {

// Milliseconds from `start` to `now` on the wrapping tick count: the unsigned
// 32-bit difference, so a wrap between the two is harmless.
constexpr DWORD tickElapsed(DWORD start, DWORD now) { return now - start; }

// Lets a test choose what GetTickCount answers (nullptr returns to the real
// clock). Process-wide; meant for single-threaded test code only.
using TickSource = DWORD (*)();
void setTickSourceForTesting(TickSource source);

// The milliseconds the calling thread has asked Sleep for so far: the
// pauses its callers prescribe, not the time the kernel took (for
// benchmarks and diagnostics).
std::uint64_t sleepRequestedOnThisThread();

// Lets a test choose what GetSystemTime (UTC) and GetLocalTime answer; the
// source fills the record (nullptr returns to the real clock). Process-wide,
// like the tick source.
using WallClockSource = void (*)(SYSTEMTIME* time);
void setSystemTimeSourceForTesting(WallClockSource source);
void setLocalTimeSourceForTesting(WallClockSource source);

}  // namespace platform
