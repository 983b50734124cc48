// Reading a document's version, packages and expiry: see update/UpdateDocument.h.
#include "update/UpdateDocument.h"

#include "profile/Profile.h"
#include "text/BoundedText.h"
#include "text/HexDigit.h"

#include <cstring>

namespace {

struct PackageKeys {
    const char* url;
    const char* size;
    const char* digest;
};

const PackageKeys kPackageKeys[kUpdatePackageKinds] = {
    {"UrlDownload", "Filesize", "Sha256"},
    {"UrlDownload-x86", "Filesize-x86", "Sha256-x86"},
    {"UrlDownload-x86-64", "Filesize-x86-64", "Sha256-x86-64"},
};

constexpr int64_t kSecondsPerDay = 86400;
constexpr int kLastYear = 9999;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// `count` decimal digits at `text`, or -1.
int Digits(const char* text, int count) {
    int value = 0;
    for (int i = 0; i < count; ++i) {
        if (!IsDigit(text[i]))
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to the date, counted through the proleptic Gregorian calendar in
// eras of 400 years (each 146,097 days long), with years starting in March so that the
// leap day comes last.
int64_t DaysFromCivil(int year, int month, int day) {
    year -= month <= 2;
    const int64_t era = year / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// The inverse of DaysFromCivil for days on or after 1970-01-01.
void CivilFromDays(int64_t days, int* year, int* month, int* day) {
    days += 719468;
    const int64_t era = days / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthIndex = (5 * dayOfYear + 2) / 153; // 0 is March
    *day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    *month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    *year = static_cast<int>(yearOfEra + era * 400 + (*month <= 2));
}

// One decimal number of at most ten digits within the signed 32-bit range.
bool ParseNumber(const char* text, size_t length, int32_t* out) {
    if (length == 0 || length > 10)
        return false;
    int64_t value = 0;
    for (size_t i = 0; i < length; ++i) {
        if (!IsDigit(text[i]))
            return false;
        value = value * 10 + (text[i] - '0');
    }
    if (value > INT32_MAX)
        return false;
    *out = static_cast<int32_t>(value);
    return true;
}

UpdateValueState ReadDigest(Profile* document, const char* section, const char* key,
                            uint8_t digest[kUpdateDigestSize]) {
    char value[256];
    if (!ProfileGetString(document, section, key, value, sizeof value))
        return UPDATE_VALUE_ABSENT;
    return UpdateParseDigest(value, digest) ? UPDATE_VALUE_VALID : UPDATE_VALUE_MALFORMED;
}

} // namespace

int UpdateDocumentRead(const char* bytes, size_t size, int32_t language, UpdateDocument* out) {
    if (out == nullptr)
        return 0;
    memset(out, 0, sizeof *out);
    if (bytes == nullptr || size > INT64_MAX)
        return 0;
    Profile document;
    ProfileInit(&document);
    if (!ProfileLoadBuffer(&document, bytes, static_cast<long long>(size)))
        return 0;
    // The section the update check reads, by the same rule.
    StrFormat(out->section, sizeof out->section, "Language %d", language);
    if (!ProfileSectionExists(&document, out->section))
        StrFormat(out->section, sizeof out->section, "Language 2");
    const char* section = out->section;

    ProfileGetInt(&document, section, "Version", &out->release.version);
    ProfileGetInt(&document, section, "Servicepack", &out->release.service_pack);
    ProfileGetInt(&document, section, "Build", &out->release.build);
    for (int kind = 0; kind < kUpdatePackageKinds; ++kind) {
        UpdatePackage& package = out->packages[kind];
        const PackageKeys& keys = kPackageKeys[kind];
        ProfileGetString(&document, section, keys.url, package.url, sizeof package.url);
        package.has_size = ProfileGetInt(&document, section, keys.size, &package.size);
        package.digest_state = ReadDigest(&document, section, keys.digest, package.sha256);
    }
    char value[256];
    if (ProfileGetString(&document, section, "Expires", value, sizeof value))
        out->expires_state =
            UpdateParseTime(value, &out->expires) ? UPDATE_VALUE_VALID : UPDATE_VALUE_MALFORMED;
    ProfileClose(&document);
    return 1;
}

int UpdateDocumentFresh(const UpdateDocument& document, int64_t now) {
    return document.expires_state == UPDATE_VALUE_VALID && now < document.expires;
}

int UpdateParseTime(const char* text, int64_t* out) {
    // YYYY-MM-DDTHH:MM:SSZ: twenty characters, the separators at fixed places.
    if (text == nullptr || strlen(text) != 20 || text[4] != '-' || text[7] != '-' ||
        text[10] != 'T' || text[13] != ':' || text[16] != ':' || text[19] != 'Z')
        return 0;
    int year = Digits(text, 4), month = Digits(text + 5, 2), day = Digits(text + 8, 2);
    int hour = Digits(text + 11, 2), minute = Digits(text + 14, 2), second = Digits(text + 17, 2);
    if (year < 1970 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) ||
        hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
        return 0;
    *out = DaysFromCivil(year, month, day) * kSecondsPerDay + hour * 3600 + minute * 60 + second;
    return 1;
}

int UpdateFormatTime(int64_t time, char* out, size_t outSize) {
    if (out == nullptr || outSize < 21 || time < 0 ||
        time >= (DaysFromCivil(kLastYear + 1, 1, 1)) * kSecondsPerDay)
        return 0;
    int year, month, day;
    CivilFromDays(time / kSecondsPerDay, &year, &month, &day);
    int64_t second = time % kSecondsPerDay;
    StrFormat(out, outSize, "%04d-%02d-%02dT%02d:%02d:%02dZ", year, month, day,
              static_cast<int>(second / 3600), static_cast<int>(second / 60 % 60),
              static_cast<int>(second % 60));
    return 1;
}

int UpdateParseDigest(const char* text, uint8_t out[kUpdateDigestSize]) {
    if (text == nullptr || strlen(text) != 2 * kUpdateDigestSize)
        return 0;
    uint8_t digest[kUpdateDigestSize];
    for (size_t i = 0; i < kUpdateDigestSize; ++i) {
        int high = HexDigit(text[2 * i]), low = HexDigit(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return 0;
        digest[i] = static_cast<uint8_t>(high << 4 | low);
    }
    memcpy(out, digest, sizeof digest);
    return 1;
}

void UpdateFormatDigest(const uint8_t digest[kUpdateDigestSize], char out[65]) {
    static const char kHex[] = "0123456789abcdef";
    for (size_t i = 0; i < kUpdateDigestSize; ++i) {
        out[2 * i] = kHex[digest[i] >> 4];
        out[2 * i + 1] = kHex[digest[i] & 15];
    }
    out[2 * kUpdateDigestSize] = '\0';
}

int UpdateParseVersion(const char* text, UpdateVersion* out) {
    if (text == nullptr)
        return 0;
    int32_t parts[3] = {0, 0, 0};
    size_t count = 0;
    const char* start = text;
    for (const char* p = text;; ++p) {
        if (*p != '.' && *p != '\0')
            continue;
        if (count == 3 || !ParseNumber(start, static_cast<size_t>(p - start), &parts[count]))
            return 0;
        ++count;
        if (*p == '\0')
            break;
        start = p + 1;
    }
    out->version = parts[0];
    out->service_pack = parts[1];
    out->build = parts[2];
    return 1;
}

int UpdateCompareVersions(const UpdateVersion& a, const UpdateVersion& b) {
    const int32_t left[3] = {a.version, a.service_pack, a.build};
    const int32_t right[3] = {b.version, b.service_pack, b.build};
    for (int i = 0; i < 3; ++i)
        if (left[i] != right[i])
            return left[i] < right[i] ? -1 : 1;
    return 0;
}
