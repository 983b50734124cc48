// Typed getters over the lookups: strings, integers, booleans, named values and flag
// lists, and the value test. See Profile.h.
#include "profile/Profile.h"

#include "text/BoundedText.h"

#include <cstdint>
#include <cstring>

namespace {

// Buffer sizes of the getters; a lookup never yields more than 510 bytes anyway.
constexpr size_t kNumberBuffer = 256;
constexpr size_t kNameBuffer = 512;
constexpr size_t kStdStringBuffer = 1024;

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsListSeparator(char c) {
    return c == ',' || c == ';' || c == '|' || c == ' ';
}

bool IsTableEnd(const ProfileNameEntry* row) {
    return row->name == nullptr || row->name[0] == '\0';
}

// The first row named like text[0..length), ignoring case; null when none is.
const ProfileNameEntry* FindRow(const ProfileNameEntry* table, const char* text, size_t length) {
    for (const ProfileNameEntry* row = table; !IsTableEnd(row); ++row) {
        if (strlen(row->name) == length && ProfileNameEqualsN(row->name, text, length))
            return row;
    }
    return nullptr;
}

} // namespace

int32_t ProfileTextToInt(const char* text) {
    if (text == nullptr)
        return 0;
    while (IsSpace(*text))
        ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') {
        negative = *text == '-';
        ++text;
    }
    // The magnitude stops growing once it is past every int32_t, so it cannot overflow.
    const uint64_t cap = uint64_t{1} << 31;
    uint64_t magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        if (magnitude <= cap)
            magnitude = magnitude * 10 + static_cast<uint64_t>(*text - '0');
    }
    if (negative)
        return magnitude >= cap ? INT32_MIN : -static_cast<int32_t>(magnitude);
    return magnitude >= cap ? INT32_MAX : static_cast<int32_t>(magnitude);
}

int ProfileGetString(Profile* profile, const char* section, const char* key, char* out,
                     size_t outSize, const char* defaultValue) {
    if (out == nullptr || outSize == 0)
        return 0;
    if (defaultValue == nullptr)
        return 0;
    StrCopy(out, outSize, defaultValue);
    const char* start = nullptr;
    const char* end = nullptr;
    if (key == nullptr || !ProfileFindSection(profile, section, &start, &end))
        return 0;
    return ProfileFindEntry(profile, key, 0, start, end, nullptr, out, outSize, 0);
}

int ProfileGetStdString(Profile* profile, const char* section, const char* key, std::string& out) {
    char buffer[kStdStringBuffer];
    if (ProfileGetString(profile, section, key, buffer, sizeof buffer) == 1) {
        out.assign(buffer);
        return 1;
    }
    out.clear();
    return 0;
}

int ProfileGetInt(Profile* profile, const char* section, const char* key, int32_t* out,
                  int32_t defaultValue) {
    if (out == nullptr)
        return 0;
    *out = defaultValue;
    char buffer[kNumberBuffer];
    if (ProfileGetString(profile, section, key, buffer, sizeof buffer) != 1)
        return 0;
    *out = ProfileTextToInt(buffer);
    return 1;
}

int ProfileGetBool(Profile* profile, const char* section, const char* key, uint32_t* out,
                   uint32_t defaultValue) {
    if (out == nullptr)
        return 0;
    *out = defaultValue;
    char buffer[kNumberBuffer];
    if (ProfileGetString(profile, section, key, buffer, sizeof buffer) != 1)
        return 0;
    if (ProfileTextToInt(buffer) == 1 || ProfileNameEquals(buffer, "On") ||
        ProfileNameEquals(buffer, "Yes"))
        *out = 1;
    else if (strcmp(buffer, "0") == 0 || ProfileNameEquals(buffer, "Off") ||
             ProfileNameEquals(buffer, "No"))
        *out = 0;
    return 1;
}

int ProfileGetEnum(Profile* profile, const char* section, const char* key,
                   const ProfileNameEntry* table, uint32_t* out, uint32_t defaultValue) {
    if (out == nullptr)
        return 0;
    *out = defaultValue;
    char buffer[kNameBuffer];
    if (table == nullptr || ProfileGetString(profile, section, key, buffer, sizeof buffer) != 1)
        return 0;
    const ProfileNameEntry* row = FindRow(table, buffer, strlen(buffer));
    if (row == nullptr)
        return 0;
    *out = row->value;
    return 1;
}

int ProfileGetFlags(Profile* profile, const char* section, const char* key,
                    const ProfileNameEntry* table, uint32_t* out, uint32_t defaultValue) {
    if (out == nullptr)
        return 0;
    *out = defaultValue;
    char buffer[kNameBuffer];
    if (table == nullptr || ProfileGetString(profile, section, key, buffer, sizeof buffer) != 1)
        return 0;
    int allKnown = 1;
    const char* piece = buffer;
    for (const char* p = buffer;; ++p) {
        if (*p != '\0' && !IsListSeparator(*p))
            continue;
        if (p > piece) {
            const ProfileNameEntry* row = FindRow(table, piece, static_cast<size_t>(p - piece));
            if (row != nullptr)
                *out |= row->value;
            else
                allKnown = 0;
        }
        if (*p == '\0')
            break;
        piece = p + 1;
    }
    return allKnown;
}

int ProfileHasValue(Profile* profile, const char* section, const char* key, const char* value,
                    size_t prefixLength) {
    if (profile == nullptr || key == nullptr || value == nullptr)
        return 0;
    const char* start = nullptr;
    const char* end = nullptr;
    if (!ProfileFindSection(profile, section, &start, &end))
        return 0;
    // Every matching line counts, not only the first: after a mismatch the search goes
    // on behind the line where the value stood.
    const char* textEnd = profile->text + profile->text_length;
    while (start <= end) {
        char found[kNameBuffer];
        const char* valueStart = nullptr;
        if (!ProfileFindEntry(profile, key, prefixLength, start, end, &valueStart, found,
                              sizeof found, 0))
            return 0;
        if (strcmp(found, value) == 0)
            return 1;
        const char* lineEnd = valueStart;
        while (lineEnd < textEnd && *lineEnd != '\n' && *lineEnd != '\r')
            ++lineEnd;
        if (lineEnd >= textEnd)
            return 0;
        start = lineEnd + 1;
    }
    return 0;
}
