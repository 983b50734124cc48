// Time conversions and the version check, in both builds.
#include <cstring>
#include <ctime>

#include "TestHelpers.h"
#include "osutil/OsTime.h"

namespace {

SYSTEMTIME Date(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0, WORD second = 0) {
    SYSTEMTIME t{};
    t.wYear = year, t.wMonth = month, t.wDay = day;
    t.wHour = hour, t.wMinute = minute, t.wSecond = second;
    return t;
}

TEST(OsTime, SystemTimeToUnix) {
    struct Case {
        SYSTEMTIME time;
        std::uint32_t expected;
    } const cases[] = {
        {Date(1970, 1, 1), 0},         {Date(1970, 1, 2, 1, 2, 3), 86400 + 3723},
        {Date(2000, 3, 1), 951868800}, {Date(2000, 2, 29, 23, 59, 59), 951868799},
        {Date(1972, 3, 1), 68256000}, // the first leap day lies before
        {Date(1973, 1, 1), 94694400},  {Date(2099, 12, 31, 23, 59, 59), 4102444799u},
        {Date(2024, 13, 1), 0}, // no such month
        {Date(2024, 0, 1), 0},
    };
    FOR_EACH_CASE(c, cases) {
        EXPECT_EQ(c.expected, SystemTimeToUnix(&c.time));
    }
}

TEST(OsTime, EveryDayFrom1970To2099RoundTrips) {
    for (std::uint32_t day = 0; day < 47482; ++day) { // 2100-01-01 is day 47482
        std::uint32_t seconds = day * 86400 + (day * 7919) % 86400;
        SYSTEMTIME t;
        std::memset(&t, 0xA5, sizeof(t));
        ASSERT_EQ(1, UnixToSystemTime(seconds, &t));
        std::time_t asTime = static_cast<std::time_t>(seconds);
        std::tm expected = *std::gmtime(&asTime);
        ASSERT_EQ(expected.tm_year + 1900, t.wYear) << seconds;
        ASSERT_EQ(expected.tm_mon + 1, t.wMonth) << seconds;
        ASSERT_EQ(expected.tm_mday, t.wDay) << seconds;
        ASSERT_EQ(expected.tm_wday, t.wDayOfWeek) << seconds;
        ASSERT_EQ(expected.tm_hour * 3600 + expected.tm_min * 60 + expected.tm_sec,
                  t.wHour * 3600 + t.wMinute * 60 + t.wSecond)
            << seconds;
        ASSERT_EQ(0, t.wMilliseconds);
        ASSERT_EQ(seconds, SystemTimeToUnix(&t));
    }
}

TEST(OsTime, FileTimeToUnixCutsToWholeSeconds) {
    struct Case {
        std::uint64_t ticks;
        std::uint32_t expected;
    } const cases[] = {
        {116444736000000000ULL, 0},
        {116444736000000000ULL + 9999999, 0},
        {116444736000000000ULL + 10000000, 1},
        {116444736000000000ULL + 9518688000000000ULL, 951868800},
    };
    FOR_EACH_CASE(c, cases) {
        FILETIME time = {static_cast<DWORD>(c.ticks), static_cast<DWORD>(c.ticks >> 32)};
        EXPECT_EQ(c.expected, FileTimeToUnix(&time));
    }
}

TEST(OsTime, LeapYears) {
    struct Case {
        std::uint32_t year;
        int expected;
    } const cases[] = {{1600, 1}, {1900, 0}, {1970, 0}, {1972, 1}, {2000, 1},
                       {2023, 0}, {2024, 1}, {2100, 0}, {2400, 1}};
    FOR_EACH_CASE(c, cases) {
        EXPECT_EQ(c.expected, IsLeapYear(c.year));
    }
}

TEST(OsTime, VersionCheckAgreesWithReportedVersion) {
    OSVERSIONINFOEXA host;
    std::memset(&host, 0, sizeof(host));
    host.dwOSVersionInfoSize = sizeof(host);
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&host)));
    const std::uint32_t major = host.dwMajorVersion, minor = host.dwMinorVersion,
                        servicePack = host.wServicePackMajor;
    struct Case {
        std::uint32_t major, minor, servicePack;
        int expected;
    } const cases[] = {
        {major, minor, servicePack, 1},
        {major, minor, servicePack + 1, 0},
        {major, minor + 1, 0, 0},
        {major + 1, 0, 0, 0},
        {major - 1, minor + 9, 99, 1},
        {major, minor - (minor > 0), 0, 1},
        {0, 0, 0, 1},
    };
    FOR_EACH_CASE(c, cases) {
        EXPECT_EQ(c.expected, IsOsVersionAtLeast(c.major, c.minor, c.servicePack));
    }
}

} // namespace
