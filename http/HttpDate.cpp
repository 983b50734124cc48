// HTTP dates: formatter, file date, parser and the broken-down-time conversion.
// See HttpDate.h for the contracts.
#include "http/HttpDate.h"

#include "text/BoundedText.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

// The destination size every caller of HttpDateFormat provides. The longest text (the
// most negative time) is 38 characters: "Sun, 01 Jan " + 13 year characters + " 00:00:00 GMT".
const size_t kDateTextSize = 40;

const int64_t kSecondsPerDay = 86400;

const char* const kWeekdayAbbreviations[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonthAbbreviations[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

const int64_t kDaysBeforeMonth[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

// The date formed from a day count since 1970-01-01 (proleptic Gregorian calendar).
struct CivilDate {
    int64_t year;
    int month;   // 1-12
    int day;     // 1-31
    int weekday; // 0 = Sunday
};

// Days since 1970-01-01 to year/month/day by era arithmetic (400-year cycles of 146097
// days), valid for every int64 time divided into days: nothing here comes near the int64
// limits, unlike the platform's gmtime, which refuses times outside its own range.
CivilDate CivilFromDays(int64_t days) {
    const int64_t z = days + 719468; // days since 0000-03-01
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t dayOfEra = z - era * 146097; // [0, 146096]
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365; // [0, 399]
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153; // 0 = March
    CivilDate date;
    date.day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    date.month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    date.year = yearOfEra + era * 400 + (date.month <= 2 ? 1 : 0);
    // 1970-01-01 was a Thursday.
    date.weekday = static_cast<int>(((days % 7) + 7 + 4) % 7);
    return date;
}

// ---- Name tables ----

struct DateName {
    const char* name; // lower case
    int value;
};

// The longest name in either table ("wednesday", "september").
const size_t kLongestName = 9;

bool NameLess(const DateName& a, const DateName& b) {
    return strcmp(a.name, b.name) < 0;
}

// The parser's name tables, written in calendar order and sorted in place at their first
// use; the function-local static of each accessor below is that table's "sorted" flag,
// and its initialisation is thread-safe, so concurrent first parses never see a
// half-sorted table. strcmp compares bytes as unsigned char.
std::array<DateName, 23> HttpMonthTable = {
    {{"jan", 0},       {"january", 0},   {"feb", 1},      {"february", 1}, {"mar", 2},
     {"march", 2},     {"apr", 3},       {"april", 3},    {"may", 4},      {"jun", 5},
     {"june", 5},      {"jul", 6},       {"july", 6},     {"aug", 7},      {"august", 7},
     {"sep", 8},       {"september", 8}, {"oct", 9},      {"october", 9},  {"nov", 10},
     {"november", 10}, {"dec", 11},      {"december", 11}}};

std::array<DateName, 14> HttpWeekdayTable = {{{"sun", 0},
                                              {"sunday", 0},
                                              {"mon", 1},
                                              {"monday", 1},
                                              {"tue", 2},
                                              {"tuesday", 2},
                                              {"wed", 3},
                                              {"wednesday", 3},
                                              {"thu", 4},
                                              {"thursday", 4},
                                              {"fri", 5},
                                              {"friday", 5},
                                              {"sat", 6},
                                              {"saturday", 6}}};

const std::array<DateName, 23>& SortedMonthTable() {
    static const bool sorted =
        (std::sort(HttpMonthTable.begin(), HttpMonthTable.end(), NameLess), true);
    (void)sorted;
    return HttpMonthTable;
}

const std::array<DateName, 14>& SortedWeekdayTable() {
    static const bool sorted =
        (std::sort(HttpWeekdayTable.begin(), HttpWeekdayTable.end(), NameLess), true);
    (void)sorted;
    return HttpWeekdayTable;
}

// Looks a name of `length` letters up by bisection, ignoring ASCII case; -1 when unknown.
template <size_t N>
int LookUpName(const std::array<DateName, N>& table, const char* letters, size_t length) {
    if (length == 0 || length > kLongestName) {
        return -1;
    }
    char lower[kLongestName + 1];
    for (size_t i = 0; i < length; ++i) {
        char c = letters[i];
        lower[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    lower[length] = '\0';
    size_t low = 0;
    size_t high = N; // candidates are [low, high)
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        const int order = strcmp(lower, table[middle].name);
        if (order == 0) {
            return table[middle].value;
        }
        if (order < 0) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    return -1;
}

// ---- Formatted-input scanner ----
//
// Reads a text against one date form with the formatted-input rules of the C library's
// scanf family, restricted to what the forms use: "%d", "%<width>[a-zA-Z]", white space
// (matching any run of white space, also none) and literal characters (matching exactly).
// Names are not copied: each one is kept as a pointer into the text and its length.

struct ScanValue {
    int number;
    const char* letters;
    size_t length;
};

const int kMaxConversions = 7;

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// "%d": skips white space, then an optional sign and at least one decimal digit. A digit
// run beyond the int range is read whole and saturates at INT_MAX or INT_MIN: the date
// arithmetic is 64-bit and stays far from overflow for any int field.
const char* ScanNumber(const char* text, int* number) {
    while (IsSpace(*text)) {
        ++text;
    }
    bool negative = false;
    if (*text == '+' || *text == '-') {
        negative = *text == '-';
        ++text;
    }
    if (!IsDigit(*text)) {
        return nullptr;
    }
    const int64_t limit = negative ? -static_cast<int64_t>(INT_MIN) : INT_MAX;
    int64_t magnitude = 0;
    for (; IsDigit(*text); ++text) {
        magnitude = std::min<int64_t>(magnitude * 10 + (*text - '0'), limit);
    }
    *number = static_cast<int>(negative ? -magnitude : magnitude);
    return text;
}

// "%<width>[a-zA-Z]": 1 to `width` letters, no white space skipped.
const char* ScanLetters(const char* text, size_t width, const char** letters, size_t* length) {
    size_t count = 0;
    while (count < width && IsLetter(text[count])) {
        ++count;
    }
    if (count == 0) {
        return nullptr;
    }
    *letters = text;
    *length = count;
    return text + count;
}

// Returns the number of conversions done before the first failure (or the end of the form).
int ScanForm(const char* text, const char* form, ScanValue* values) {
    int done = 0;
    const char* f = form;
    while (*f != '\0') {
        if (IsSpace(*f)) {
            while (IsSpace(*text)) {
                ++text;
            }
            ++f;
        } else if (*f != '%') {
            if (*text != *f) {
                return done;
            }
            ++text;
            ++f;
        } else if (done == kMaxConversions) {
            return done;
        } else if (f[1] == 'd') {
            text = ScanNumber(text, &values[done].number);
            if (text == nullptr) {
                return done;
            }
            ++done;
            f += 2;
        } else {
            // The forms below only use "%<width>[a-zA-Z]" besides "%d".
            ++f;
            size_t width = 0;
            while (IsDigit(*f)) {
                width = width * 10 + static_cast<size_t>(*f - '0');
                ++f;
            }
            if (width == 0) {
                width = SIZE_MAX; // no width: as many letters as there are
            }
            static const char kLetterSet[] = "[a-zA-Z]";
            if (strncmp(f, kLetterSet, sizeof kLetterSet - 1) != 0) {
                return done;
            }
            f += sizeof kLetterSet - 1;
            text = ScanLetters(text, width, &values[done].letters, &values[done].length);
            if (text == nullptr) {
                return done;
            }
            ++done;
        }
    }
    return done;
}

// ---- The accepted forms, tried in this order ----

enum DateField { kDay, kMonthName, kYear, kHour, kMinute, kSecond, kWeekdayName };

struct DateForm {
    const char* format;
    int conversions;
    DateField fields[kMaxConversions];
};

// Text after the last conversion need not match, so a missing or different zone word
// after the seconds is accepted where the seconds come last.
const DateForm kDateForms[] = {
    {"%d-%400[a-zA-Z]-%d %d:%d:%d GMT", 6, {kDay, kMonthName, kYear, kHour, kMinute, kSecond}},
    {"%d %400[a-zA-Z] %d %d:%d:%d GMT", 6, {kDay, kMonthName, kYear, kHour, kMinute, kSecond}},
    {"%d:%d:%d GMT %d-%400[a-zA-Z]-%d", 6, {kHour, kMinute, kSecond, kDay, kMonthName, kYear}},
    {"%d:%d:%d GMT %d %400[a-zA-Z] %d", 6, {kHour, kMinute, kSecond, kDay, kMonthName, kYear}},
    {"%400[a-zA-Z], %d-%400[a-zA-Z]-%d %d:%d:%d GMT",
     7,
     {kWeekdayName, kDay, kMonthName, kYear, kHour, kMinute, kSecond}},
    {"%400[a-zA-Z], %d %400[a-zA-Z] %d %d:%d:%d GMT",
     7,
     {kWeekdayName, kDay, kMonthName, kYear, kHour, kMinute, kSecond}},
    {"%400[a-zA-Z] %400[a-zA-Z] %d %d:%d:%d GMT %d",
     7,
     {kWeekdayName, kMonthName, kDay, kHour, kMinute, kSecond, kYear}},
};

// Years above 1900 are full years, below 70 they are 2000 + value, and the values in
// between already count from 1900 (so 94 is 1994).
int YearsSince1900(int year) {
    if (year > 1900) {
        return year - 1900;
    }
    if (year < 70) {
        return year + 100; // no overflow: year < 70
    }
    return year;
}

// Tries one form; false when a conversion fails or a name is not known.
bool ParseForm(const char* text, const DateForm& form, int64_t* time) {
    ScanValue values[kMaxConversions] = {};
    if (ScanForm(text, form.format, values) != form.conversions) {
        return false;
    }
    int field[kWeekdayName + 1] = {};
    for (int i = 0; i < form.conversions; ++i) {
        const ScanValue& value = values[i];
        switch (form.fields[i]) {
        case kWeekdayName:
            // Only checked for being a weekday; the date itself decides the result.
            if (LookUpName(SortedWeekdayTable(), value.letters, value.length) < 0) {
                return false;
            }
            break;
        case kMonthName:
            field[kMonthName] = LookUpName(SortedMonthTable(), value.letters, value.length);
            if (field[kMonthName] < 0) {
                return false;
            }
            break;
        default:
            field[form.fields[i]] = value.number;
            break;
        }
    }
    *time = HttpDateToTime(field[kSecond], field[kMinute], field[kHour], field[kDay],
                           field[kMonthName], YearsSince1900(field[kYear]));
    return true;
}

} // namespace

void HttpDateFormat(int64_t time, char* destination) {
    if (destination == nullptr) {
        return;
    }
    // Floor division without forming days * 86400, which could pass INT64_MIN.
    int64_t days = time / kSecondsPerDay;
    int64_t seconds = time % kSecondsPerDay;
    if (seconds < 0) {
        seconds += kSecondsPerDay;
        --days;
    }
    const CivilDate date = CivilFromDays(days);
    const int secondOfDay = static_cast<int>(seconds);
    StrFormat(destination, kDateTextSize, "%s, %02d %s %04lld %02d:%02d:%02d GMT",
              kWeekdayAbbreviations[date.weekday], date.day, kMonthAbbreviations[date.month - 1],
              static_cast<long long>(date.year), secondOfDay / 3600, secondOfDay / 60 % 60,
              secondOfDay % 60);
}

// The runtime's file status: on Windows the 64-bit variant, so that times after 2038 and
// sizes above 2 GiB come through; elsewhere stat, whose time_t and off_t are 64-bit.
#ifdef _WIN32
typedef struct _stat64 FileStatus;
static int ReadFileStatus(const char* path, FileStatus* status) {
    return _stat64(path, status);
}
#else
typedef struct stat FileStatus;
static int ReadFileStatus(const char* path, FileStatus* status) {
    return stat(path, status);
}
#endif

int HttpFileDate(const char* path, uint32_t* size, char* date) {
    FileStatus status;
    if (path == nullptr || ReadFileStatus(path, &status) != 0) {
        return 0;
    }
    if (size != nullptr) {
        // The size travels as a 32-bit value; larger files keep their low 32 bits.
        *size = static_cast<uint32_t>(static_cast<uint64_t>(status.st_size) & 0xFFFFFFFFu);
    }
    HttpDateFormat(static_cast<int64_t>(status.st_mtime), date);
    return 1;
}

int64_t HttpDateParse(const char* text) {
    if (text == nullptr) {
        return -1;
    }
    while (*text == ' ' || *text == '\t') {
        ++text;
    }
    for (const DateForm& form : kDateForms) {
        int64_t time;
        if (ParseForm(text, form, &time)) {
            return time;
        }
    }
    return -1;
}

int64_t HttpDateToTime(int second, int minute, int hour, int day, int month, int yearsSince1900) {
    // A month outside 0-11 carries whole years, like the other fields carry into theirs.
    int64_t years = yearsSince1900;
    int64_t monthOfYear = month % 12;
    years += month / 12;
    if (monthOfYear < 0) {
        monthOfYear += 12;
        --years;
    }
    // The leap days counted by (years - 69) / 4, truncating toward zero, match the calendar
    // from 1969 through 2100. Every product below stays under 2^57 for int fields.
    int64_t days = kDaysBeforeMonth[monthOfYear] + (years - 70) * 365 + (years - 69) / 4;
    const int64_t fullYear = years + 1900;
    const bool leap = fullYear % 400 == 0 || (fullYear % 4 == 0 && fullYear % 100 != 0);
    if (monthOfYear >= 2 && leap) {
        ++days;
    }
    return (((days + day - 1) * 24 + hour) * 60 + minute) * 60 + second;
}
