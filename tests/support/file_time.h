// FILETIME and SYSTEMTIME values made from, and read as, plain numbers.
#pragma once

#include <cstdint>

#include "platform/winapi.h"

// The 100-nanosecond ticks since 1601 that a FILETIME holds.
inline int64_t Ticks(const FILETIME& time)
{
    return int64_t((uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

inline FILETIME FromTicks(int64_t ticks)
{
    return FILETIME{DWORD(ticks), DWORD(uint64_t(ticks) >> 32)};
}

inline SYSTEMTIME Date(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0,
                       WORD second = 0, WORD milliseconds = 0)
{
    SYSTEMTIME time{};
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = hour;
    time.wMinute = minute;
    time.wSecond = second;
    time.wMilliseconds = milliseconds;
    return time;
}
