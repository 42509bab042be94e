// SystemTimeToFileTime converts and validates as Windows does. Portable: on
// Windows this pins the system's own behaviour that the Linux layer copies.
// Wine, which runs the Windows tests in CI, is laxer than Windows: it takes
// Feb 29 of any year and years past 30827. Those refusals are checked on Linux
// and on a real Windows only (the upper year limit in platform_time_unix_test).
#include <gtest/gtest.h>

#include <cstdint>

#include "../platform/winapi.h"
#include "support/file_time.h"
#include "support/wine.h"

namespace {

bool Converts(const SYSTEMTIME& st)
{
    FILETIME ft{0x1234, 0x5678};
    const bool ok = SystemTimeToFileTime(&st, &ft) != FALSE;
    if (!ok) {
        // A refused time leaves the output alone.
        EXPECT_EQ(0x1234u, ft.dwLowDateTime);
        EXPECT_EQ(0x5678u, ft.dwHighDateTime);
    }
    return ok;
}

}  // namespace

TEST(PlatformTime, KnownInstants)
{
    FILETIME ft{};
    SYSTEMTIME st = Date(1601, 1, 1);
    ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
    EXPECT_EQ(0, Ticks(ft));

    st = Date(1970, 1, 1);
    ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
    EXPECT_EQ(116444736000000000LL, Ticks(ft));

    st = Date(2001, 9, 9, 1, 46, 40, 500);  // Unix 1000000000.5
    ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
    EXPECT_EQ(116444736000000000LL + 10000000000000000LL + 5000000LL, Ticks(ft));

    st = Date(2000, 3, 1);  // after the leap day of a century divisible by 400
    ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
    EXPECT_EQ(116444736000000000LL + 951868800LL * 10000000LL, Ticks(ft));

    st = Date(2100, 3, 1);  // 2100 has no leap day
    ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
    EXPECT_EQ(116444736000000000LL + 4107542400LL * 10000000LL, Ticks(ft));

    st = Date(30827, 12, 31, 23, 59, 59, 999);  // the last time Windows takes
    ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
    EXPECT_EQ(0x7FFF35F4F06C58F0LL, Ticks(ft));
}

TEST(PlatformTime, DayOfWeekIsIgnored)
{
    SYSTEMTIME a = Date(2015, 6, 15, 12);
    SYSTEMTIME b = a;
    b.wDayOfWeek = 6;  // wrong on purpose (it was a Monday)
    FILETIME fa{}, fb{};
    ASSERT_TRUE(SystemTimeToFileTime(&a, &fa));
    ASSERT_TRUE(SystemTimeToFileTime(&b, &fb));
    EXPECT_EQ(Ticks(fa), Ticks(fb));
}

TEST(PlatformTime, LeapDays)
{
    EXPECT_TRUE(Converts(Date(2000, 2, 29)));  // divisible by 400
    EXPECT_TRUE(Converts(Date(2016, 2, 29)));
    EXPECT_TRUE(Converts(Date(1980, 2, 29)));  // the first DOS year
    EXPECT_FALSE(Converts(Date(2016, 2, 30)));
    if (RunningUnderWine()) GTEST_SKIP() << "Wine takes Feb 29 of any year";
    EXPECT_FALSE(Converts(Date(1900, 2, 29)));  // divisible by 100, not by 400
    EXPECT_FALSE(Converts(Date(2015, 2, 29)));  // not divisible by 4
    EXPECT_FALSE(Converts(Date(2100, 2, 29)));
}

TEST(PlatformTime, FieldRanges)
{
    EXPECT_FALSE(Converts(Date(1600, 12, 31)));
    EXPECT_TRUE(Converts(Date(1601, 1, 1)));
    EXPECT_TRUE(Converts(Date(30827, 12, 31)));
    EXPECT_FALSE(Converts(Date(2020, 0, 1)));
    EXPECT_FALSE(Converts(Date(2020, 13, 1)));
    EXPECT_FALSE(Converts(Date(2020, 1, 0)));
    EXPECT_FALSE(Converts(Date(2020, 4, 31)));
    EXPECT_TRUE(Converts(Date(2020, 12, 31)));
    EXPECT_FALSE(Converts(Date(2020, 1, 32)));
    EXPECT_TRUE(Converts(Date(2020, 1, 1, 23, 59, 59, 999)));
    EXPECT_FALSE(Converts(Date(2020, 1, 1, 24)));
    EXPECT_FALSE(Converts(Date(2020, 1, 1, 0, 60)));
    EXPECT_FALSE(Converts(Date(2020, 1, 1, 0, 0, 60)));
    EXPECT_FALSE(Converts(Date(2020, 1, 1, 0, 0, 0, 1000)));
}
