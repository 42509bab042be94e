// Time: SystemTimeToFileTime with Windows' validation,
// LocalFileTimeToFileTime with the current local-time offset, the clock
// (GetSystemTimeAsFileTime) and Sleep.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <mutex>
#include <string>

#include "../winapi.h"
#include "fault_points.h"

namespace {

constexpr int64_t kTicksPerSecond = 10000000;       // FILETIME counts 100 ns
constexpr int64_t kUnixEpochSeconds = 11644473600;  // from 1601-01-01 to 1970-01-01

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// tzset looks at /etc/localtime on every call while TZ is unset, once per
// file made; the zone is read again only when TZ has changed since.
void ReadTimeZoneIfChanged()
{
    static std::mutex guard;
    static bool read = false;
    static bool wasSet = false;
    static std::string lastValue;
    const std::lock_guard<std::mutex> lock(guard);
    const char* value = std::getenv("TZ");
    if (read && wasSet == (value != nullptr) && (!value || lastValue == value)) {
        return;
    }
    tzset();
    read = true;
    wasSet = value != nullptr;
    lastValue = value ? value : "";
}

}  // namespace

BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime)
{
    if (systemTime == nullptr || fileTime == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const SYSTEMTIME& st = *systemTime;
    // The same checks as Windows; wDayOfWeek is not looked at.
    if (st.wYear < 1601 || st.wYear > 30827 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
        st.wDay > DaysInMonth(st.wYear, st.wMonth) || st.wHour > 23 || st.wMinute > 59 ||
        st.wSecond > 59 || st.wMilliseconds > 999) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Whole days from 1601-01-01: 1601 starts a 400-year leap cycle.
    const int64_t years = st.wYear - 1601;
    int64_t days = years * 365 + years / 4 - years / 100 + years / 400;
    for (int month = 1; month < st.wMonth; ++month) {
        days += DaysInMonth(st.wYear, month);
    }
    days += st.wDay - 1;
    const int64_t seconds = ((days * 24 + st.wHour) * 60 + st.wMinute) * 60 + st.wSecond;
    const uint64_t ticks =
        static_cast<uint64_t>(seconds * kTicksPerSecond + int64_t{st.wMilliseconds} * 10000);
    fileTime->dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    fileTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return TRUE;
}

BOOL WINAPI LocalFileTimeToFileTime(const FILETIME* localFileTime, FILETIME* fileTime)
{
    if (localFileTime == nullptr || fileTime == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Windows applies the offset in force now, not the one at the given date
    // (a summer date converted in winter is off by the daylight hour). A
    // changed TZ takes effect.
    ReadTimeZoneIfChanged();
    const time_t now = time(nullptr);
    struct tm local;
    if (localtime_r(&now, &local) == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const int64_t offset = static_cast<int64_t>(local.tm_gmtoff) * kTicksPerSecond;  // east of UTC
    const int64_t localTicks =
        static_cast<int64_t>((static_cast<uint64_t>(localFileTime->dwHighDateTime) << 32) |
                             localFileTime->dwLowDateTime);
    if (localTicks < 0 || (offset > 0 && localTicks < offset) ||
        (offset < 0 && localTicks > std::numeric_limits<int64_t>::max() + offset)) {
        SetLastError(ERROR_INVALID_PARAMETER);  // before 1601 or past the FILETIME range
        return FALSE;
    }
    const uint64_t utc = static_cast<uint64_t>(localTicks - offset);
    fileTime->dwLowDateTime = static_cast<DWORD>(utc & 0xFFFFFFFFu);
    fileTime->dwHighDateTime = static_cast<DWORD>(utc >> 32);
    return TRUE;
}

void WINAPI GetSystemTimeAsFileTime(FILETIME* systemTime)
{
    struct timespec now = {0, 0};
    clock_gettime(CLOCK_REALTIME, &now);
    const uint64_t ticks =
        uint64_t((int64_t(now.tv_sec) + kUnixEpochSeconds) * kTicksPerSecond + now.tv_nsec / 100);
    systemTime->dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    systemTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
}

void WINAPI Sleep(DWORD milliseconds)
{
#ifdef UPDATER_FAULT_INJECTION
    platform_unix::RecordSleep(milliseconds);
#else
    struct timespec left = {static_cast<time_t>(milliseconds / 1000),
                            static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
#endif
}
