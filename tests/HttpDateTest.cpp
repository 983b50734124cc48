#include "http/HttpDate.h"
#include "TestHelpers.h"

#include <climits>
#include <cstring>
#include <random>

#ifdef _WIN32
#include <sys/utime.h>
#else
#include <utime.h>
#endif

namespace {

const int64_t kNov1994 = 784111777; // Sun, 06 Nov 1994 08:49:37 GMT
// 2101-01-01: up to here the parser's leap-day count is the calendar's.
const int64_t kCalendarEnd = 4133980800;

std::string Format(int64_t time) {
    char text[48];
    memset(text, '#', sizeof text);
    HttpDateFormat(time, text);
    EXPECT_EQ(std::string(8, '#'), std::string(text + 40, 8)) << "wrote past 40 bytes";
    return text;
}

TEST(HttpDateParse, FormsYearRulesAndFailures) {
    const std::pair<const char*, int64_t> cases[] = {
        {"Sun, 06 Nov 1994 08:49:37 GMT", kNov1994},
        {"Sunday, 06-Nov-94 08:49:37 GMT", kNov1994},
        {"Sun Nov 6 08:49:37 GMT 1994", kNov1994},
        {"06 NOV 1994 08:49:37", kNov1994},
        {"08:49:37 GMT 6 November 1994", kNov1994},
        {"Mon, 06 Nov 1994 08:49:37 GMT", kNov1994},    // the day name is not checked
        {" \t Sun,06 Nov 1994 08:49:37 UTC", kNov1994}, // blanks match none; zone unchecked
        {"Sun,\n06\tNov  1994\r+08:49:+37", kNov1994},  // ...or any white space; signs
        {"Sun Nov  6 08:49:37 GMT1994", kNov1994},      // %d skips white space itself
        // Both ends of each table once sorted, and the longest names.
        {"Wednesday, 07-September-1994 08:49:37 GMT", 778927777},
        {"fri, 01 apr 1994 00:00:00 GMT", 765158400},
        {"Saturday Dec 31 23:59:59 GMT 1994", 788918399},
        // Years: above 1900 full, below 70 from 2000, else counted from 1900.
        {"1 Jan 70 0:0:0", 0},
        {"1 Jan -30 0:0:0", 0},
        {"1 Jan 00 0:0:0", 946684800},
        {"1 Jan 100 0:0:0", 946684800},
        {"1 Jan 69 0:0:0", 3124224000},
        {"1 Jan 1901 0:0:0", -2177452800},
        // Before 1969 the truncating leap-day count runs a day ahead of the calendar.
        {"1 Jan 1968 0:0:0", -63072000},
        {"Sun Nov  6 08:49:37 1994", -1},
        {"Sun Nov 6 08:49:37 gmt 1994", -1},
        {"08:49:37 06-Nov-1994", -1},
        {"Sun, 06 Sept 1994 08:49:37 GMT", -1},
        {"Tues, 08 Nov 1994 08:49:37", -1},
        {"Sun, 06 Nov 1994", -1},
        {"", -1},
    };
    FOR_EACH_CASE(c, cases) {
        EXPECT_EQ(c.second, HttpDateParse(c.first)) << c.first;
    }
    EXPECT_EQ(-1, HttpDateParse(nullptr));
    // 1900 is not above 1900, so it counts from 1900: the year 3800.
    EXPECT_EQ(HttpDateParse("01 Jan 3800 00:00:00"), HttpDateParse("01 Jan 1900 00:00:00"));
}

TEST(HttpDateParse, FieldsCarryAndHugeValuesAreSafe) {
    const std::pair<const char*, const char*> cases[] = {
        {"31 Feb 1994 00:00:00", "03 Mar 1994 00:00:00"},
        {"06 Nov 1994 25:00:60", "07 Nov 1994 01:01:00"},
        {"0 Jan 1995 -1:00:00", "30 Dec 1994 23:00:00"},
        // Digit runs beyond the int range saturate (the sanitizer build checks overflow).
        {"99999999999999999999 Nov 1994 9999999999:2147483648:2147483647",
         "2147483647 Nov 1994 2147483647:2147483647:2147483647"},
        {"-99999999999 Nov -99999999999 0:0:0", "-2147483648 Nov -2147483648 0:0:0"},
    };
    FOR_EACH_CASE(c, cases) {
        ASSERT_NE(-1, HttpDateParse(c.second));
        EXPECT_EQ(HttpDateParse(c.second), HttpDateParse(c.first));
    }
    const std::string name(5000, 'n'); // read as 400-letter pieces: no known name
    EXPECT_EQ(-1, HttpDateParse(("06 " + name + " 1994 08:49:37 GMT").c_str()));
    EXPECT_EQ(-1, HttpDateParse((name + ", 06 Nov 1994 08:49:37 GMT").c_str()));
    // Months outside 0-11 carry whole years; extreme fields do not overflow.
    EXPECT_EQ(HttpDateToTime(0, 0, 0, 1, 0, 100), HttpDateToTime(0, 0, 0, 1, 12, 99));
    EXPECT_EQ(HttpDateToTime(0, 0, 0, 1, 11, 99), HttpDateToTime(0, 0, 0, 1, -1, 100));
    EXPECT_GT(HttpDateToTime(INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX), 0);
    EXPECT_LT(HttpDateToTime(INT_MIN, INT_MIN, INT_MIN, INT_MIN, INT_MIN, INT_MIN), 0);
}

// The formatter against the platform's own UTC breakdown within the platform's range,
// the extremes by hand, and parse(format(t)) == t over 1969-2100.
TEST(HttpDateFormat, PlatformBreakdownExtremesAndRoundTrips) {
    EXPECT_EQ("Sun, 31 Dec 0000 23:59:59 GMT", Format(-62135596801));
    EXPECT_EQ("Sun, 04 Dec 292277026596 15:30:07 GMT", Format(INT64_MAX));
    EXPECT_NE(std::string::npos, Format(INT64_MIN).find(", 27 Jan -292277022657 08:29:52 GMT"));
#ifdef _WIN32
    std::uniform_int_distribution<int64_t> platformRange(0, 32503679999); // 1970-3000
#else
    std::uniform_int_distribution<int64_t> platformRange(-(int64_t(1) << 50), int64_t(1) << 50);
#endif
    std::uniform_int_distribution<int64_t> calendar(-31536000, kCalendarEnd - 1);
    std::mt19937_64 random(2038);
    for (int i = 0; i < 20000; ++i) {
        const time_t time = static_cast<time_t>(platformRange(random));
        struct tm p;
#ifdef _WIN32
        ASSERT_EQ(0, _gmtime64_s(&p, &time)) << time;
#else
        ASSERT_NE(nullptr, gmtime_r(&time, &p)) << time;
#endif
        char expect[64];
        snprintf(expect, sizeof expect, "%.3s, %02d %.3s %04lld %02d:%02d:%02d GMT",
                 "SunMonTueWedThuFriSat" + 3 * p.tm_wday, p.tm_mday,
                 "JanFebMarAprMayJunJulAugSepOctNovDec" + 3 * p.tm_mon, p.tm_year + 1900LL,
                 p.tm_hour, p.tm_min, p.tm_sec);
        ASSERT_EQ(std::string(expect), Format(time)) << time;
        const int64_t inCalendar = calendar(random);
        ASSERT_EQ(inCalendar, HttpDateParse(Format(inCalendar).c_str())) << Format(inCalendar);
    }
}

TEST(HttpFileDate, SizeAndModificationTime) {
    TempFile file("kiv_http_file_date");
    file.Write("twelve bytes");
    struct utimbuf times = {static_cast<time_t>(kNov1994), static_cast<time_t>(kNov1994)};
    ASSERT_EQ(0, utime(file.c_str(), &times));
    uint32_t size = 0;
    char date[40] = "";
    EXPECT_EQ(1, HttpFileDate(file.c_str(), &size, date));
    EXPECT_EQ("12 Sun, 06 Nov 1994 08:49:37 GMT", std::to_string(size) + " " + date);
    std::error_code error; // a sparse file of 4 GiB + 5 bytes keeps the low 32 bits
    std::filesystem::resize_file(file.path, (uint64_t(1) << 32) + 5, error);
    EXPECT_TRUE(error || (HttpFileDate(file.c_str(), &size, date) == 1 && size == 5u));
    std::remove(file.c_str());
    EXPECT_EQ(0, HttpFileDate(file.c_str(), &size, date));
    EXPECT_EQ(0, HttpFileDate(nullptr, &size, date));
}

} // namespace
