// Time conversions between Windows file times, seconds since 1970 and broken-down dates,
// and the check of the running system's version.
#pragma once

#include <cstdint>

#include "compat/win32.h"

// Seconds since 1970 of a file time (100-nanosecond ticks since 1601), cut to whole
// seconds; negative before 1970. A null time gives 0.
std::int64_t FileTimeToUnix(const FILETIME* fileTime);

// The Gregorian date and time of seconds since 1970, day of week included (0 is Sunday),
// milliseconds 0. 0 for a null record.
int UnixToSystemTime(std::uint32_t seconds, SYSTEMTIME* systemTime);

// Seconds since 1970 of a date and time, as an unsigned 32-bit number. Leap days are
// counted every fourth year, so the result is exact from 1970 to 2099 only. A month
// outside 1 to 12 (which has no days before it) and a null record give 0.
std::uint32_t SystemTimeToUnix(const SYSTEMTIME* systemTime);

// 1 for a year divisible by 400, or by 4 and not by 100.
int IsLeapYear(std::uint32_t year);

// 1 when the running system's version (major.minor, then service pack major) is at least
// the one given.
int IsOsVersionAtLeast(std::uint32_t major, std::uint32_t minor, std::uint32_t servicePackMajor);
