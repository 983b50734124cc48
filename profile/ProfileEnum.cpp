// Enumeration of section names and of the entries of one section. These scans read the
// text a little differently from the lookups on purpose: '#' comments hide headers, every
// section is listed even when its name repeats, keys keep their inner spaces and quotes,
// and a line too long for the buffer ends the enumeration.
#include "profile/Profile.h"

#include "text/BoundedText.h"

#include <cstdint>
#include <cstring>

namespace {

// Entry enumeration buffer; reaching kEntryLimit collected bytes ends the enumeration.
constexpr size_t kEntryBuffer = 260;
constexpr size_t kEntryLimit = 256;

// A cursor is only trusted while it still points into the current text (up to its NUL);
// after an edit replaced the buffer it does not, and enumeration just ends.
bool InText(const Profile* profile, const char* position) {
    size_t unused;
    return ProfileOffsetInText(profile, position, &unused);
}

// Cuts a finished value: at its last quote when quoted, else trimmed of 0x01-0x20.
void CloseValue(char* buffer, size_t used, bool quoted, bool haveQuote, size_t lastQuote) {
    if (quoted) {
        used = haveQuote ? lastQuote : 0;
    } else {
        while (used > 0 && static_cast<unsigned char>(buffer[used - 1]) >= 0x01 &&
               static_cast<unsigned char>(buffer[used - 1]) <= 0x20)
            --used;
    }
    buffer[used] = '\0';
}

} // namespace

int ProfileFirstSection(Profile* profile, char* out, size_t outSize) {
    if (profile == nullptr || profile->text == nullptr)
        return 0;
    profile->section_cursor = profile->text;
    return ProfileNextSection(profile, out, outSize);
}

int ProfileNextSection(Profile* profile, char* out, size_t outSize) {
    if (profile == nullptr || profile->text == nullptr || out == nullptr || outSize == 0 ||
        !InText(profile, profile->section_cursor))
        return 0;
    char* text = profile->text;
    char* textEnd = text + profile->text_length;
    char* p = profile->section_cursor;
    // The previous call stopped just behind a ']'; a further '[' on that line is no header.
    bool atLineStart = p == text || ProfileIsLineEnd(p[-1]);
    bool inComment = false;
    const char* nameStart = nullptr;
    for (; p < textEnd; ++p) {
        switch (*p) {
        case '\n':
        case '\r':
            atLineStart = true;
            inComment = false;
            // As in the lookup, a header closes on its own line.
            nameStart = nullptr;
            break;
        case ' ':
            break;
        case '#':
            inComment = true;
            break;
        case '[':
            if (atLineStart && !inComment)
                nameStart = p + 1;
            break;
        case ']':
            if (!inComment && nameStart != nullptr) {
                StrCopyN(out, outSize, nameStart, static_cast<size_t>(p - nameStart));
                profile->section_cursor = p + 1;
                return 1;
            }
            break;
        default:
            atLineStart = false;
            break;
        }
    }
    profile->section_cursor = textEnd;
    return 0;
}

int ProfileFirstEntry(Profile* profile, const char* section, char* keyOut, size_t keyOutSize,
                      char* valueOut, size_t valueOutSize) {
    if (profile == nullptr || section == nullptr || keyOut == nullptr)
        return 0;
    const char* start = nullptr;
    const char* end = nullptr;
    if (!ProfileFindSection(profile, section, &start, &end))
        return 0;
    // The positions point into the profile's own text, which it may edit.
    profile->entry_cursor = const_cast<char*>(start);
    profile->entry_end = const_cast<char*>(end);
    return ProfileNextEntry(profile, keyOut, keyOutSize, valueOut, valueOutSize);
}

int ProfileNextEntry(Profile* profile, char* keyOut, size_t keyOutSize, char* valueOut,
                     size_t valueOutSize) {
    if (profile == nullptr || profile->text == nullptr || keyOut == nullptr ||
        !InText(profile, profile->entry_cursor) || !InText(profile, profile->entry_end))
        return 0;
    const bool quotesOption = (profile->options & PROFILE_OPT_QUOTES) != 0;
    const bool hashLiteral = (profile->options & PROFILE_OPT_HASH_LITERAL) != 0;
    const char* end = profile->entry_end;
    char buffer[kEntryBuffer];
    size_t used = 0;
    bool inValue = false; // the key has been stored and the value is being collected
    bool inComment = false;
    bool quoted = false;
    bool seenNonSpace = false; // in the current key or value
    bool haveQuote = false;
    size_t lastQuote = 0;

    auto collect = [&](char c) {
        buffer[used++] = c;
        seenNonSpace = true;
    };

    for (const char* p = profile->entry_cursor;; ++p) {
        // An over-long line ends the enumeration; the cursor stays where it was.
        if (used >= kEntryLimit)
            return 0;
        if (p > end)
            return 0;
        const char c = *p;
        // The terminator is the entry end of the last section and ends no line: a last
        // line without a line end is not listed (the lookup still finds it).
        if (c == '\0')
            return 0;
        if (ProfileIsLineEnd(c)) {
            if (inValue) {
                CloseValue(buffer, used, quoted, haveQuote, lastQuote);
                if (valueOut != nullptr)
                    StrCopy(valueOut, valueOutSize, buffer);
                profile->entry_cursor = profile->text + (p - profile->text) + 1;
                return 1;
            }
            used = 0;
            inComment = false;
            seenNonSpace = false;
            continue;
        }
        switch (c) {
        case '\t':
            break;
        case ' ':
            if (!inComment && seenNonSpace)
                collect(c);
            break;
        case '"':
            if (inComment)
                break;
            if (inValue && quotesOption && !seenNonSpace) {
                quoted = true;
                seenNonSpace = true;
                break;
            }
            if (quoted) {
                lastQuote = used;
                haveQuote = true;
            }
            collect(c); // keys keep their quotes here
            break;
        case '#':
            if (quoted || hashLiteral) {
                if (!inComment)
                    collect(c);
            } else if (inValue && !inComment && p < end && p[1] == '#') {
                ++p;
                collect('#');
            } else {
                inComment = true;
            }
            break;
        case '=':
            if (inComment)
                break;
            if (inValue) {
                collect(c);
                break;
            }
            while (used > 0 && static_cast<unsigned char>(buffer[used - 1]) >= 0x01 &&
                   static_cast<unsigned char>(buffer[used - 1]) <= 0x20)
                --used;
            buffer[used] = '\0';
            StrCopy(keyOut, keyOutSize, buffer);
            used = 0;
            inValue = true;
            seenNonSpace = false;
            break;
        default:
            if (!inComment)
                collect(c);
            break;
        }
    }
}
