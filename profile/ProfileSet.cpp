// Setters and edits: replacing or adding entries, adding sections, deleting sections and
// entries. Each ends in ProfileInsertText or ProfileRemoveText. See Profile.h.
#include "profile/Profile.h"

#include "text/BoundedText.h"

#include <cstdint>
#include <cstring>

namespace {

// Escaped values and formatted lines hold at most 511 characters; ProfileAddEntry's
// lines at most 399.
constexpr size_t kLineBuffer = 512;
constexpr size_t kAddEntryBuffer = 400;

size_t OffsetOf(const Profile* profile, const char* position) {
    return static_cast<size_t>(position - profile->text);
}

// Makes a value safe to store on one line: '#' is doubled so that it does not start a
// comment, line breaks become spaces. A tab becomes a space as well: a lookup would drop
// it, joining the words it separated. Escaping stops when the buffer is full, and a '#'
// whose pair no longer fits is left out rather than stored as a comment start.
void EscapeValue(const char* value, char* out, size_t outSize) {
    size_t used = 0;
    for (const char* p = value; *p != '\0' && used + 1 < outSize; ++p) {
        if (*p == '#') {
            if (used + 2 >= outSize)
                break;
            out[used++] = '#';
            out[used++] = '#';
        } else if (*p == '\r' || *p == '\n' || *p == '\t') {
            out[used++] = ' ';
        } else {
            out[used++] = *p;
        }
    }
    out[used] = '\0';
}

// Bytes of text that `valueLength` collected value bytes occupy from `start`: tabs inside
// the value were dropped by the lookup but stand in the text, and must go with it.
size_t OccupiedLength(const char* start, const char* textEnd, size_t valueLength) {
    size_t counted = 0;
    const char* p = start;
    while (counted < valueLength && p < textEnd) {
        if (*p != '\t')
            ++counted;
        ++p;
    }
    return static_cast<size_t>(p - start);
}

} // namespace

int ProfileSetString(Profile* profile, const char* section, const char* key, const char* value) {
    if (profile == nullptr || section == nullptr || key == nullptr || value == nullptr ||
        profile->text == nullptr)
        return 0;
    char escaped[kLineBuffer];
    EscapeValue(value, escaped, sizeof escaped);
    char line[kLineBuffer];

    const char* start = nullptr;
    const char* end = nullptr;
    if (!ProfileFindSection(profile, section, &start, &end)) {
        StrFormat(line, sizeof line, "\n\n[%s]\n%s=%s\n", section, key, escaped);
        return ProfileInsertText(profile, line, profile->text_length);
    }

    char old[kLineBuffer];
    const char* valueStart = nullptr;
    if (ProfileFindEntry(profile, key, 0, start, end, &valueStart, old, sizeof old, 1)) {
        // Only the value is replaced; a trailing comment or the quotes around it stay.
        const char* textEnd = profile->text + profile->text_length;
        size_t offset = OffsetOf(profile, valueStart);
        size_t count = OccupiedLength(valueStart, textEnd, strlen(old));
        if (!ProfileRemoveText(profile, offset, count))
            return 0;
        // An empty value starts where a trailing comment does; a space keeps the two apart.
        if (old[0] == '\0' && profile->text[offset] == '#')
            StrAppend(escaped, sizeof escaped, " ");
        return ProfileInsertText(profile, escaped, offset);
    }

    // A new entry goes just before the next section's '[' (or at the end of the text).
    size_t offset = OffsetOf(profile, end) + 1;
    if (offset > profile->text_length)
        offset = profile->text_length;
    // Behind a last line without a line end the entry starts a line of its own instead of
    // running on from that line's value.
    const char* format = "%s=%s\n";
    if (offset == profile->text_length && offset > 0 &&
        !ProfileIsLineEnd(profile->text[offset - 1]))
        format = "\n%s=%s\n";
    StrFormat(line, sizeof line, format, key, escaped);
    return ProfileInsertText(profile, line, offset);
}

int ProfileSetInt(Profile* profile, const char* section, const char* key, int32_t value) {
    char text[16];
    StrFormat(text, sizeof text, "%d", static_cast<int>(value));
    return ProfileSetString(profile, section, key, text);
}

int ProfileSetBool(Profile* profile, const char* section, const char* key, uint32_t flag) {
    return ProfileSetString(profile, section, key, flag != 0 ? "On" : "Off");
}

int ProfileSetFlags(Profile* profile, const char* section, const char* key,
                    const ProfileNameEntry* table, uint32_t mask) {
    if (table == nullptr)
        return 0;
    char text[kLineBuffer] = "";
    bool first = true;
    for (const ProfileNameEntry* row = table; row->name != nullptr && row->name[0] != '\0'; ++row) {
        if ((row->value & mask) == 0)
            continue;
        if (!first)
            StrAppend(text, sizeof text, ",");
        StrAppend(text, sizeof text, row->name);
        first = false;
    }
    return ProfileSetString(profile, section, key, text);
}

int ProfileAddEntry(Profile* profile, const char* section, const char* key, const char* value) {
    if (profile == nullptr || section == nullptr || key == nullptr || value == nullptr ||
        profile->text == nullptr)
        return 0;
    char line[kAddEntryBuffer];
    const char* end = nullptr;
    if (ProfileFindSection(profile, section, nullptr, &end)) {
        StrFormat(line, sizeof line, "\n%s=%s\n", key, value);
        return ProfileInsertText(profile, line, OffsetOf(profile, end) + 1);
    }
    StrFormat(line, sizeof line, "\n\n[%s]\n%s=%s\n", section, key, value);
    return ProfileInsertText(profile, line, profile->text_length);
}

int ProfileDeleteSection(Profile* profile, const char* section) {
    const char* start = nullptr;
    const char* end = nullptr;
    if (!ProfileFindSection(profile, section, &start, &end) || end < start)
        return 0;
    // The line end before the next header stays, so that header keeps its own line.
    return ProfileRemoveText(profile, OffsetOf(profile, start), static_cast<size_t>(end - start));
}

int ProfileDeleteEntry(Profile* profile, const char* section, const char* key) {
    if (key == nullptr)
        return 0;
    const char* start = nullptr;
    const char* end = nullptr;
    if (!ProfileFindSection(profile, section, &start, &end))
        return 0;
    // Unlike the lookup, this scan keeps spaces in the key part: "key = v" is no line of
    // "key" here. The key part collected so far is compared at every '='.
    char collected[kLineBuffer];
    size_t used = 0;
    bool tooLong = false;
    bool inComment = false;
    const char* lineStart = start;
    const char* p = start;
    for (; p <= end; ++p) {
        const char c = *p;
        if (c == '\t')
            continue;
        if (ProfileIsLineEnd(c)) {
            lineStart = p + 1;
            used = 0;
            tooLong = false;
            inComment = false;
        } else if (c == '#') {
            inComment = true;
        } else if (c == '=') {
            collected[used] = '\0';
            if (!tooLong && ProfileNameEquals(collected, key))
                break;
        } else if (!inComment) {
            if (used + 1 < sizeof collected)
                collected[used++] = c;
            else
                tooLong = true;
        }
    }
    if (p > end)
        return 0;
    // The marked line goes with the run of line ends behind it; a line that the section
    // ends on without a line end is left alone.
    while (p <= end && !ProfileIsLineEnd(*p))
        ++p;
    if (p > end)
        return 0;
    while (p + 1 <= end && ProfileIsLineEnd(p[1]))
        ++p;
    size_t offset = OffsetOf(profile, lineStart);
    return ProfileRemoveText(profile, offset, static_cast<size_t>(p - lineStart) + 1);
}
