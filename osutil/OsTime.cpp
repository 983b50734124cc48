// Time conversions and the version check; see OsTime.h.
#include "osutil/OsTime.h"

#include <cstring>

namespace {

// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kEpochDifference = 11644473600LL;
constexpr std::uint32_t kSecondsPerDay = 86400;

// Days of the year before each month, February counted with 28 days.
constexpr std::uint32_t kDaysBeforeMonth[12] = {0,   31,  59,  90,  120, 151,
                                                181, 212, 243, 273, 304, 334};

} // namespace

// Dividing the ticks counted from 1601, never negative, rounds down before 1970 too: one
// tick before 1970 gives -1. Every 64-bit tick count fits the signed seconds.
std::int64_t FileTimeToUnix(const FILETIME* fileTime) {
    if (!fileTime)
        return 0;
    std::uint64_t ticks =
        (static_cast<std::uint64_t>(fileTime->dwHighDateTime) << 32) | fileTime->dwLowDateTime;
    return static_cast<std::int64_t>(ticks / 10000000) - kEpochDifference;
}

int UnixToSystemTime(std::uint32_t seconds, SYSTEMTIME* systemTime) {
    if (!systemTime)
        return 0;
    std::uint32_t days = seconds / kSecondsPerDay;
    std::uint32_t rest = seconds % kSecondsPerDay;
    systemTime->wDayOfWeek = static_cast<WORD>((days + 4) % 7);
    systemTime->wHour = static_cast<WORD>(rest / 3600);
    systemTime->wMinute = static_cast<WORD>(rest / 60 % 60);
    systemTime->wSecond = static_cast<WORD>(rest % 60);
    systemTime->wMilliseconds = 0;

    std::uint32_t year = 1970;
    for (;;) {
        std::uint32_t yearDays = IsLeapYear(year) ? 366 : 365;
        if (days < yearDays)
            break;
        days -= yearDays;
        ++year;
    }
    std::uint32_t month = 12;
    while (month > 1) {
        std::uint32_t before = kDaysBeforeMonth[month - 1] + (month > 2 && IsLeapYear(year));
        if (days >= before) {
            days -= before;
            break;
        }
        --month;
    }
    systemTime->wYear = static_cast<WORD>(year);
    systemTime->wMonth = static_cast<WORD>(month);
    systemTime->wDay = static_cast<WORD>(days + 1);
    return 1;
}

std::uint32_t SystemTimeToUnix(const SYSTEMTIME* systemTime) {
    if (!systemTime || systemTime->wMonth < 1 || systemTime->wMonth > 12)
        return 0;
    std::int64_t year = systemTime->wYear;
    std::int64_t days =
        kDaysBeforeMonth[systemTime->wMonth - 1] + (year - 1970) * 365 + (year - 1969) / 4;
    if (systemTime->wMonth > 2 && IsLeapYear(systemTime->wYear))
        ++days;
    std::int64_t seconds =
        (((days + systemTime->wDay - 1) * 24 + systemTime->wHour) * 60 + systemTime->wMinute) * 60 +
        systemTime->wSecond;
    return static_cast<std::uint32_t>(seconds);
}

int IsLeapYear(std::uint32_t year) {
    return (year % 400 == 0 || (year % 4 == 0 && year % 100 != 0)) ? 1 : 0;
}

int IsOsVersionAtLeast(std::uint32_t major, std::uint32_t minor, std::uint32_t servicePackMajor) {
    OSVERSIONINFOEXW version;
    std::memset(&version, 0, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    version.dwMajorVersion = major;
    version.dwMinorVersion = minor;
    version.wServicePackMajor = static_cast<WORD>(servicePackMajor);
    DWORDLONG conditions = VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL);
    conditions = VerSetConditionMask(conditions, VER_MINORVERSION, VER_GREATER_EQUAL);
    conditions = VerSetConditionMask(conditions, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&version, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR,
                              conditions)
               ? 1
               : 0;
}
