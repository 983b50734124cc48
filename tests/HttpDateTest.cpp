#include "http/HttpDate.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <sys/utime.h>
#else
#include <utime.h>
#endif

#if defined(KIV_HAVE_LIBCURL)
#include <curl/curl.h>
#endif

namespace {

const int64_t kNov1994 = 784111777; // Sun, 06 Nov 1994 08:49:37 GMT

// 1969-01-01 and 2101-01-01: the span in which the parser's leap-day count is the calendar's.
const int64_t kCalendarStart = -31536000;
const int64_t kCalendarEnd = 4133980800;

std::string Format(int64_t time) {
    char text[48];
    memset(text, '#', sizeof text);
    HttpDateFormat(time, text);
    EXPECT_EQ(std::string(8, '#'), std::string(text + 40, 8)) << "wrote past 40 bytes";
    return text;
}

TEST(HttpDateParse, AcceptedFormsAndTheirRules) {
    struct Case {
        const char* text;
        int64_t expect;
    } cases[] = {
        {"Sun, 06 Nov 1994 08:49:37 GMT", kNov1994},        // form 6
        {"Sunday, 06-Nov-94 08:49:37 GMT", kNov1994},       // form 5
        {"Sun Nov 6 08:49:37 GMT 1994", kNov1994},          // form 7
        {"06 NOV 1994 08:49:37", kNov1994},                 // form 2, no zone word
        {"06-Nov-1994 08:49:37 GMT", kNov1994},             // form 1
        {"08:49:37 GMT 06-Nov-94", kNov1994},               // form 3
        {"08:49:37 GMT 6 November 1994", kNov1994},         // form 4
        {"Mon, 06 Nov 1994 08:49:37 GMT", kNov1994},        // weekday need not fit
        {" \t Sun, 06 Nov 1994 08:49:37 GMT", kNov1994},    // leading blanks
        {"Sun,06 Nov 1994 08:49:37 GMT", kNov1994},         // a blank matches no white space
        {"Sun,\n06\tNov  1994\r08:49:37 GMT", kNov1994},    // ...or any run of it
        {"Sun, 06 Nov 1994 08:49:37 UTC", kNov1994},        // trailing text is not checked
        {"Sun, 06 Nov 1994 08:49:37", kNov1994},            //
        {"SUNDAY, 06 NOVEMBER 1994 8:49:37 GMT", kNov1994}, // names ignore case
        {"Sun, +06 Nov +1994 08:49:+37 GMT", kNov1994},     // %d takes a sign
        {"Sun Nov  6 08:49:37 GMT1994", kNov1994},          // %d skips white space itself
        {"Thu, 01 Jan 1970 00:00:00 GMT", 0},
        {"Tue, 29 Feb 2000 12:00:00 GMT", 951825600},
        {"1 Mar 2000 00:00:00 GMT", 951868800},
        {"Wed, 31 Dec 1969 23:59:59 GMT", -1},
        {"Tue, 19 Jan 2038 03:14:08 GMT", 2147483648LL},
        {"Mon, 01 Mar 2100 00:00:00 GMT", 4107542400LL}, // 2100 is no leap year
        {"Wed, 29 Feb 2096 00:00:00 GMT", 3981312000LL},
        // Failures
        {"Sun Nov  6 08:49:37 1994", -1},    // asctime without zone word
        {"Sun Nov 6 08:49:37 gmt 1994", -1}, // GMT between conversions matches exactly
        {"08:49:37 06-Nov-1994", -1},        // ...and must be present
        {"Sun, 06 Sept 1994 08:49:37 GMT", -1},
        {"Tues, 08 Nov 1994 08:49:37 GMT", -1},
        {"Thur, 10 Nov 1994 08:49:37 GMT", -1},
        {"Xyz, 06 Nov 1994 08:49:37 GMT", -1},
        {"Sun, 06 Nov 1994", -1}, // no time
        {"Sun, 06 Nov 1994 08:49", -1},
        {"Sun, 06 Nov 1994 08:49:", -1},
        {"Sun, 06 Nov 1994 08:-:37", -1},
        {"Sun, 06 11 1994 08:49:37 GMT", -1},
        {"", -1},
        {"   ", -1},
        {"GMT", -1},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        EXPECT_EQ(cases[i].expect, HttpDateParse(cases[i].text))
            << "case " << i << ": " << cases[i].text;
    }
    EXPECT_EQ(-1, HttpDateParse(nullptr));
}

TEST(HttpDateParse, YearRules) {
    const int64_t jan2000 = 946684800;
    const int64_t jan2069 = 3124224000LL;
    const int64_t jan1901 = -2177452800LL;
    struct Case {
        const char* text;
        int64_t expect;
    } cases[] = {
        {"01 Jan 70 00:00:00", 0},
        {"01 Jan 1970 00:00:00", 0},
        {"01 Jan 00 00:00:00", jan2000},
        {"01 Jan 100 00:00:00", jan2000}, // years since 1900
        {"01 Jan 2000 00:00:00", jan2000},
        {"01 Jan 69 00:00:00", jan2069},
        {"01 Jan 2069 00:00:00", jan2069},
        {"01 Jan 1901 00:00:00", jan1901},
        {"01 Jan -30 00:00:00", 0}, // below 70: 2000 + (-30)
        // Before 1969 the truncating leap-day count is a day ahead of the calendar
        // (1968-01-01 is -63158400).
        {"01 Jan 1968 00:00:00", -63072000},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        EXPECT_EQ(cases[i].expect, HttpDateParse(cases[i].text))
            << "case " << i << ": " << cases[i].text;
    }
    // 1900 itself is not above 1900, so it counts from 1900: the year 3800.
    EXPECT_EQ(HttpDateParse("01 Jan 3800 00:00:00"), HttpDateParse("01 Jan 1900 00:00:00"));
    EXPECT_EQ(HttpDateParse("01 Jan 2005 00:00:00"), HttpDateParse("01 Jan 5 00:00:00"));
}

TEST(HttpDateParse, FieldsOutOfRangeCarry) {
    struct Case {
        const char* text;
        const char* same;
    } cases[] = {
        {"31 Feb 1994 00:00:00", "03 Mar 1994 00:00:00"},
        {"30 Feb 2000 00:00:00", "01 Mar 2000 00:00:00"},
        {"06 Nov 1994 25:00:00", "07 Nov 1994 01:00:00"},
        {"06 Nov 1994 00:00:60", "06 Nov 1994 00:01:00"},
        {"0 Jan 1995 00:00:00", "31 Dec 1994 00:00:00"},
        {"06 Nov 1994 -1:00:00", "05 Nov 1994 23:00:00"},
        {"32 Dec 1999 00:00:00", "1 Jan 2000 00:00:00"},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        int64_t expect = HttpDateParse(cases[i].same);
        ASSERT_NE(-1, expect) << "case " << i;
        EXPECT_EQ(expect, HttpDateParse(cases[i].text)) << "case " << i;
    }
}

TEST(HttpDateParse, HugeNumbersAndLongNamesAreSafe) {
    // Digit runs beyond the int range saturate; the 64-bit arithmetic does not overflow.
    EXPECT_EQ(HttpDateParse("2147483647 Nov 1994 2147483647:2147483647:2147483647"),
              HttpDateParse("99999999999999999999999 Nov 1994 99999999999:9999999999:2147483648"));
    EXPECT_EQ(HttpDateParse("-2147483648 Nov -2147483648 0:0:0"),
              HttpDateParse("-99999999999999999999 Nov -99999999999 0:0:0"));
    EXPECT_GT(HttpDateParse("2147483647 Nov 2147483647 2147483647:2147483647:2147483647"), 0);
    // A name is read as at most 400 letters; longer runs are no known name.
    std::string longName(5000, 'n');
    EXPECT_EQ(-1, HttpDateParse(("06 " + longName + " 1994 08:49:37 GMT").c_str()));
    EXPECT_EQ(-1, HttpDateParse((longName + ", 06 Nov 1994 08:49:37 GMT").c_str()));
    EXPECT_EQ(-1, HttpDateParse(("Sun, 06 Nov" + longName + " 08:49:37 GMT").c_str()));
}

TEST(HttpDateParse, ConcurrentFirstUseAgrees) {
    std::vector<std::thread> threads;
    std::vector<int64_t> results(8, 0);
    for (size_t t = 0; t < results.size(); ++t) {
        threads.emplace_back([&results, t] {
            results[t] = HttpDateParse(t % 2 ? "Sunday, 06-Nov-94 08:49:37 GMT"
                                             : "Sun Nov 6 08:49:37 GMT 1994");
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (size_t t = 0; t < results.size(); ++t) {
        EXPECT_EQ(kNov1994, results[t]) << "thread " << t;
    }
}

TEST(HttpDateToTime, CarriesEveryFieldWithoutOverflow) {
    EXPECT_EQ(kNov1994, HttpDateToTime(37, 49, 8, 6, 10, 94));
    // Months outside 0-11 carry whole years.
    EXPECT_EQ(HttpDateToTime(0, 0, 0, 1, 0, 100), HttpDateToTime(0, 0, 0, 1, 12, 99));
    EXPECT_EQ(HttpDateToTime(0, 0, 0, 1, 11, 99), HttpDateToTime(0, 0, 0, 1, -1, 100));
    EXPECT_EQ(HttpDateToTime(0, 0, 0, 1, 2, 96), HttpDateToTime(0, 0, 0, 1, 2 - 12 * 1000, 1096));
    // The sanitizer build turns any signed overflow here into a failure.
    EXPECT_GT(HttpDateToTime(INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX), 0);
    EXPECT_LT(HttpDateToTime(INT_MIN, INT_MIN, INT_MIN, INT_MIN, INT_MIN, INT_MIN), 0);
}

TEST(HttpDateFormat, KnownTimes) {
    struct Case {
        int64_t time;
        const char* expect;
    } cases[] = {
        {kNov1994, "Sun, 06 Nov 1994 08:49:37 GMT"},
        {0, "Thu, 01 Jan 1970 00:00:00 GMT"},
        {-1, "Wed, 31 Dec 1969 23:59:59 GMT"},
        {951825600, "Tue, 29 Feb 2000 12:00:00 GMT"},
        {2147483648LL, "Tue, 19 Jan 2038 03:14:08 GMT"},
        {4107542400LL, "Mon, 01 Mar 2100 00:00:00 GMT"},
        {253402300799LL, "Fri, 31 Dec 9999 23:59:59 GMT"},
        {253402300800LL, "Sat, 01 Jan 10000 00:00:00 GMT"},
        {-62135596800LL, "Mon, 01 Jan 0001 00:00:00 GMT"},
        {-62135596801LL, "Sun, 31 Dec 0000 23:59:59 GMT"},
        {-2208988800LL, "Mon, 01 Jan 1900 00:00:00 GMT"},
        {INT64_MAX, "Sun, 04 Dec 292277026596 15:30:07 GMT"},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        EXPECT_EQ(cases[i].expect, Format(cases[i].time)) << "case " << i;
    }
    std::string earliest = Format(INT64_MIN);
    EXPECT_NE(std::string::npos, earliest.find(", 27 Jan -292277022657 08:29:52 GMT")) << earliest;
}

TEST(HttpDateFormat, RoundTripsThroughTheParser) {
    std::mt19937_64 random(1994);
    std::uniform_int_distribution<int64_t> within(kCalendarStart, kCalendarEnd - 1);
    for (int i = 0; i < 20000; ++i) {
        const int64_t time = within(random);
        const std::string text = Format(time);
        ASSERT_EQ(time, HttpDateParse(text.c_str())) << text;
    }
}

// The formatter against the platform's own UTC breakdown, wherever the platform has one.
TEST(HttpDateFormat, AgreesWithThePlatformBreakdown) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
#ifdef _WIN32
    // The runtime's 64-bit breakdown covers 1970 to 3000.
    std::uniform_int_distribution<int64_t> within(0, 32503679999LL);
#else
    std::uniform_int_distribution<int64_t> within(-(int64_t(1) << 50), int64_t(1) << 50);
#endif
    std::mt19937_64 random(2038);
    for (int i = 0; i < 20000; ++i) {
        const int64_t time = within(random);
        struct tm parts;
        const time_t platformTime = static_cast<time_t>(time);
#ifdef _WIN32
        ASSERT_EQ(0, _gmtime64_s(&parts, &platformTime)) << time;
#else
        ASSERT_NE(nullptr, gmtime_r(&platformTime, &parts)) << time;
#endif
        char expect[64];
        snprintf(expect, sizeof expect, "%s, %02d %s %04lld %02d:%02d:%02d GMT",
                 kDays[parts.tm_wday], parts.tm_mday, kMonths[parts.tm_mon],
                 static_cast<long long>(parts.tm_year) + 1900, parts.tm_hour, parts.tm_min,
                 parts.tm_sec);
        ASSERT_EQ(std::string(expect), Format(time)) << time;
    }
}

TEST(HttpFileDate, SizeAndModificationTime) {
    namespace fs = std::filesystem;
    const fs::path path = fs::temp_directory_path() / "kiv_http_file_date.txt";
    {
        FILE* file = fopen(path.string().c_str(), "wb");
        ASSERT_NE(nullptr, file);
        fputs("twelve bytes", file);
        fclose(file);
    }
    struct utimbuf times;
    times.actime = static_cast<time_t>(kNov1994);
    times.modtime = static_cast<time_t>(kNov1994);
    ASSERT_EQ(0, utime(path.string().c_str(), &times));

    uint32_t size = 0;
    char date[40] = "";
    EXPECT_EQ(1, HttpFileDate(path.string().c_str(), &size, date));
    EXPECT_EQ(12u, size);
    EXPECT_STREQ("Sun, 06 Nov 1994 08:49:37 GMT", date);

    // Sizes travel as 32 bits: a sparse file of 4 GiB + 5 bytes reports 5.
    std::error_code error;
    fs::resize_file(path, (uint64_t(1) << 32) + 5, error);
    if (!error) {
        EXPECT_EQ(1, HttpFileDate(path.string().c_str(), &size, date));
        EXPECT_EQ(5u, size);
    }
    fs::remove(path);

    size = 77;
    strcpy(date, "unchanged");
    EXPECT_EQ(0, HttpFileDate(path.string().c_str(), &size, date));
    EXPECT_EQ(77u, size);
    EXPECT_STREQ("unchanged", date);
    EXPECT_EQ(0, HttpFileDate(nullptr, &size, date));
}

#if defined(KIV_HAVE_LIBCURL)
// Every accepted form rendered from random times between 1970 and 2100; wherever libcurl's
// parser accepts a text too, both must read the same time.
TEST(HttpDateParse, AgreesWithLibcurl) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kLongDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                            "Thursday", "Friday", "Saturday"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::mt19937_64 random(4648);
    std::uniform_int_distribution<int64_t> within(0, kCalendarEnd - 1);
    int compared = 0;
    int texts = 0;
    for (int i = 0; i < 3000; ++i) {
        const int64_t time = within(random);
        const time_t platformTime = static_cast<time_t>(time);
        struct tm p;
        ASSERT_NE(nullptr, gmtime_r(&platformTime, &p));
        const int year = p.tm_year + 1900;
        const char* day = kDays[p.tm_wday];
        const char* month = kMonths[p.tm_mon];
        // libcurl reads a two-digit 70 as 2070; two-digit years are written only where both
        // rules agree.
        const int shortYear = (year > 1970 && year < 2070) ? year % 100 : year;
        char forms[8][80];
        snprintf(forms[0], 80, "%02d-%s-%d %02d:%02d:%02d GMT", p.tm_mday, month, year, p.tm_hour,
                 p.tm_min, p.tm_sec);
        snprintf(forms[1], 80, "%d %s %d %02d:%02d:%02d GMT", p.tm_mday, month, shortYear,
                 p.tm_hour, p.tm_min, p.tm_sec);
        snprintf(forms[2], 80, "%02d:%02d:%02d GMT %02d-%s-%02d", p.tm_hour, p.tm_min, p.tm_sec,
                 p.tm_mday, month, shortYear);
        snprintf(forms[3], 80, "%02d:%02d:%02d GMT %d %s %d", p.tm_hour, p.tm_min, p.tm_sec,
                 p.tm_mday, month, year);
        snprintf(forms[4], 80, "%s, %02d-%s-%02d %02d:%02d:%02d GMT", kLongDays[p.tm_wday],
                 p.tm_mday, month, shortYear, p.tm_hour, p.tm_min, p.tm_sec);
        snprintf(forms[5], 80, "%s", Format(time).c_str());
        snprintf(forms[6], 80, "%s %s %2d %02d:%02d:%02d GMT %d", day, month, p.tm_mday, p.tm_hour,
                 p.tm_min, p.tm_sec, year);
        snprintf(forms[7], 80, "%s, %02d %s %d %02d:%02d:%02d", day, p.tm_mday, month, year,
                 p.tm_hour, p.tm_min, p.tm_sec);
        for (const char* text : forms) {
            ++texts;
            ASSERT_EQ(time, HttpDateParse(text)) << text;
            const time_t theirs = curl_getdate(text, nullptr);
            if (theirs != -1) {
                ++compared;
                ASSERT_EQ(time, static_cast<int64_t>(theirs)) << text;
            }
        }
    }
    printf("compared %d of %d date texts with libcurl\n", compared, texts);
    EXPECT_GT(compared, texts / 2);
}
#endif

} // namespace
