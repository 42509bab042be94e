// LocalFileTimeToFileTime applies the local-time offset in force now (as
// Windows does), and a changed TZ at once. Linux-only: the tests set TZ.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>

#include "../platform/winapi.h"
#include "support/environment_scope.h"
#include "support/file_time.h"

namespace {

constexpr int64_t kTicksPerSecond = 10000000;

int64_t LocalDate(WORD year, WORD month, WORD day, WORD hour)
{
    const SYSTEMTIME st = Date(year, month, day, hour);
    FILETIME ft{};
    EXPECT_TRUE(SystemTimeToFileTime(&st, &ft));
    return Ticks(ft);
}

int64_t ToUtcMinusLocalSeconds(int64_t local)
{
    const FILETIME in = FromTicks(local);
    FILETIME out{};
    EXPECT_TRUE(LocalFileTimeToFileTime(&in, &out));
    return (Ticks(out) - local) / kTicksPerSecond;
}

}  // namespace

TEST(PlatformSystemTime, YearsPast30827AreRefused)
{
    SYSTEMTIME st = Date(30828, 1, 1);
    FILETIME ft{5, 5};
    EXPECT_FALSE(SystemTimeToFileTime(&st, &ft));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
    EXPECT_EQ(5u, ft.dwLowDateTime);
    st.wYear = 65535;
    EXPECT_FALSE(SystemTimeToFileTime(&st, &ft));
    st.wYear = 30827;
    EXPECT_TRUE(SystemTimeToFileTime(&st, &ft));
}

TEST(PlatformLocalTime, EastOfUtcIsSubtracted)
{
    EnvironmentScope zone("TZ", "UTC-8");  // POSIX sign: eight hours east, like Beijing
    EXPECT_EQ(-8 * 3600, ToUtcMinusLocalSeconds(LocalDate(2015, 6, 1, 12)));
    EXPECT_EQ(-8 * 3600, ToUtcMinusLocalSeconds(LocalDate(1980, 1, 1, 0)));
}

TEST(PlatformLocalTime, WestOfUtcIsAdded)
{
    EnvironmentScope zone("TZ", "XST+5:30");
    EXPECT_EQ(5 * 3600 + 1800, ToUtcMinusLocalSeconds(LocalDate(2015, 6, 1, 12)));
}

TEST(PlatformLocalTime, TzChangesAreSeenAtOnce)
{
    // Nobody else calls tzset here: the conversion must notice each change.
    {
        EnvironmentScope zone("TZ", "UTC0");
        EXPECT_EQ(0, ToUtcMinusLocalSeconds(LocalDate(2015, 6, 1, 12)));
    }
    {
        EnvironmentScope zone("TZ", "UTC-9");
        EXPECT_EQ(-9 * 3600, ToUtcMinusLocalSeconds(LocalDate(2015, 6, 1, 12)));
        EXPECT_EQ(-9 * 3600, ToUtcMinusLocalSeconds(LocalDate(2016, 6, 1, 12)));
    }
    {
        EnvironmentScope zone("TZ", "UTC+3");
        EXPECT_EQ(3 * 3600, ToUtcMinusLocalSeconds(LocalDate(2015, 6, 1, 12)));
    }
}

TEST(PlatformLocalTime, UnsettingTzGoesBackToTheSystemZone)
{
    EnvironmentScope zone("TZ", "XST-13");  // an offset no system zone has
    EXPECT_EQ(-13 * 3600, ToUtcMinusLocalSeconds(LocalDate(2015, 6, 1, 12)));
    unsetenv("TZ");
    const int64_t seen = ToUtcMinusLocalSeconds(LocalDate(2015, 6, 1, 12));
    tzset();
    const time_t now = time(nullptr);
    struct tm local;
    ASSERT_NE(nullptr, localtime_r(&now, &local));
    EXPECT_EQ(-int64_t(local.tm_gmtoff), seen);
}

TEST(PlatformLocalTime, TheOffsetOfNowAppliesToEveryDate)
{
    // Central European time: +1 in winter, +2 in summer. Whatever today is,
    // a January and a July date shift by the same, current, offset.
    EnvironmentScope zone("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    tzset();
    const time_t now = time(nullptr);
    struct tm local;
    ASSERT_NE(nullptr, localtime_r(&now, &local));
    const int64_t expected = -int64_t(local.tm_gmtoff);
    EXPECT_EQ(expected, ToUtcMinusLocalSeconds(LocalDate(2015, 1, 15, 12)));
    EXPECT_EQ(expected, ToUtcMinusLocalSeconds(LocalDate(2015, 7, 15, 12)));
}

TEST(PlatformLocalTime, BeforeTheFileTimeEpochFails)
{
    EnvironmentScope zone("TZ", "UTC-8");
    const FILETIME early = FromTicks(3600 * kTicksPerSecond);  // 1601-01-01 01:00 local
    FILETIME out{7, 7};
    EXPECT_FALSE(LocalFileTimeToFileTime(&early, &out));
    EXPECT_EQ(7u, out.dwLowDateTime);
}

// The clock in FILETIME units: the Unix time, counted from 1601.
TEST(PlatformSystemTime, TheClockIsTheUnixTimeFrom1601)
{
    const int64_t before = int64_t(std::time(nullptr));
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const int64_t after = int64_t(std::time(nullptr));
    const int64_t seconds = Ticks(now) / kTicksPerSecond - 11644473600;
    EXPECT_GE(seconds, before);
    EXPECT_LE(seconds, after);
}
