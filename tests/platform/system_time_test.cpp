// The system time in UTC and the test sources of both wall clocks.

#include "platform/time.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace {

// In a zone three hours east of UTC the system time stays UTC while the
// local time moves; compared within one second of the clock.
TEST(SystemTime, IsUtcWhateverTheZone)
{
    const char* previous = std::getenv("TZ");
    const std::string saved = previous != nullptr ? previous : "";
    setenv("TZ", "XYZ-3", 1);
    tzset();

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

    if (previous != nullptr)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
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
