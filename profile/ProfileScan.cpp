// The two lookups every read and edit rests on: find a section, find an entry in a range
// of the text. Both scan the text afresh; see Profile.h for the format they read.
#include "profile/Profile.h"

#include "text/BoundedText.h"

#include <cstdint>
#include <cstring>

namespace {

// Collection buffer of the entry lookup; a key or value reaching kOverLong bytes makes
// its line no entry, so at most 510 bytes are ever kept plus the terminator.
constexpr size_t kCollectSize = 512;
constexpr size_t kOverLong = 511;

} // namespace

int ProfileFindSection(Profile* profile, const char* name, const char** start, const char** end) {
    if (profile == nullptr || name == nullptr || profile->text == nullptr ||
        profile->text_length == 0)
        return 0;
    const char* text = profile->text;
    const char* textEnd = text + profile->text_length;
    size_t nameLength = strlen(name);
    const char* sectionStart = nullptr;
    const char* sectionEnd = textEnd;
    const char* nameStart = nullptr;
    bool atLineStart = true;
    bool found = false;
    bool ended = false;
    for (const char* p = text; p < textEnd && !ended; ++p) {
        switch (*p) {
        case '\n':
        case '\r':
            atLineStart = true;
            // A header closes on its own line: a '[' without ']' names nothing, rather than
            // running on into the next lines.
            nameStart = nullptr;
            break;
        case ' ':
            break;
        case '[':
            if (!atLineStart)
                break;
            if (found) {
                // Any line starting with '[' ends the section, well-formed header or not.
                sectionEnd = p - 1;
                ended = true;
                break;
            }
            sectionStart = p;
            nameStart = p + 1;
            break;
        case ']':
            if (nameStart != nullptr && !found) {
                found = static_cast<size_t>(p - nameStart) == nameLength &&
                        ProfileNameEqualsN(nameStart, name, nameLength);
                nameStart = nullptr;
            }
            break;
        default:
            atLineStart = false;
            break;
        }
    }
    if (!found)
        return 0;
    if (start != nullptr)
        *start = sectionStart;
    if (end != nullptr)
        *end = sectionEnd;
    return 1;
}

int ProfileSectionExists(Profile* profile, const char* section) {
    return ProfileFindSection(profile, section, nullptr, nullptr);
}

int ProfileFindEntry(Profile* profile, const char* key, size_t prefixLength, const char* rangeStart,
                     const char* rangeEnd, const char** valueStart, char* out, size_t outSize,
                     int keepDoubleHash) {
    if (profile == nullptr || profile->text == nullptr || key == nullptr || rangeStart == nullptr ||
        rangeEnd == nullptr)
        return 0;
    // The scan never leaves the text and its terminator, whatever range it is given.
    size_t first = 0;
    size_t last = profile->text_length;
    if (!ProfileOffsetInText(profile, rangeStart, &first))
        return 0;
    size_t requestedLast = 0;
    if (ProfileOffsetInText(profile, rangeEnd, &requestedLast))
        last = requestedLast;
    if (first > last)
        return 0;

    const char* text = profile->text;
    const bool quotesOption = (profile->options & PROFILE_OPT_QUOTES) != 0;
    const bool hashLiteral = (profile->options & PROFILE_OPT_HASH_LITERAL) != 0;
    char buffer[kCollectSize];
    size_t used = 0;
    bool keyMatched = false;
    bool inComment = false;
    bool quoted = false;
    bool seenNonSpace = false;
    bool haveQuote = false;
    size_t lastQuote = 0;
    const char* start = nullptr;
    // Where a comment began on the matched line before any value byte: an empty value
    // starts there rather than at the line end, so that a value set into it lands in
    // front of the comment instead of inside it.
    const char* commentStart = nullptr;
    bool overLong = false;

    // Appends one byte of key or value; `at` is where it stands in the text.
    auto collect = [&](char c, const char* at) {
        if (overLong)
            return;
        buffer[used++] = c;
        seenNonSpace = true;
        if (keyMatched && start == nullptr)
            start = at;
        if (used >= kOverLong)
            overLong = true;
    };

    size_t i = first;
    while (i <= last) {
        const char* p = text + i;
        const char c = *p;
        if (c == '\0') {
            // The terminator ends the scan but is scanned like a value byte: on a last line
            // without a line end it stands behind the value, so trailing blanks stay (the
            // trim removes 0x01-0x20 only), and a last line reads the same however the
            // document was cut.
            if (keyMatched && !inComment)
                collect(c, p);
            else if (keyMatched && start == nullptr)
                start = commentStart != nullptr ? commentStart : p;
            break;
        }
        if (c == '\t') {
            // Tabs count for nothing, in keys and values alike.
        } else if (ProfileIsLineEnd(c)) {
            if (keyMatched) {
                if (start == nullptr)
                    start = commentStart != nullptr ? commentStart : p;
                break;
            }
            used = 0;
            inComment = false;
        } else if (c == ' ') {
            if (keyMatched && !inComment && seenNonSpace)
                collect(c, p);
        } else if (c == '"') {
            if (keyMatched && !inComment) {
                if (quotesOption && !seenNonSpace) {
                    quoted = true;
                    seenNonSpace = true;
                } else {
                    if (quoted) {
                        lastQuote = used;
                        haveQuote = true;
                    }
                    collect(c, p);
                }
            }
        } else if (c == '#') {
            if (quoted || hashLiteral) {
                collect(c, p);
            } else if (keyMatched && !inComment && i < last && p[1] == '#') {
                ++i;
                collect('#', p);
                if (keepDoubleHash)
                    collect('#', p + 1);
            } else {
                if (keyMatched && !inComment && start == nullptr)
                    commentStart = p;
                inComment = true;
            }
        } else if (c == '=') {
            if (!keyMatched) {
                // The first '=' ends the key part even inside a comment.
                buffer[used] = '\0';
                keyMatched = prefixLength > 0 ? ProfileNameEqualsN(buffer, key, prefixLength)
                                              : ProfileNameEquals(buffer, key);
                used = 0;
                seenNonSpace = false;
            } else if (!inComment) {
                collect(c, p);
            }
        } else if (!inComment) {
            collect(c, p);
        }

        if (overLong) {
            // The line is no entry. Nothing of it may carry over to the next line: a stale
            // quote or value start would cut or place a later value wrongly.
            overLong = false;
            keyMatched = false;
            quoted = false;
            haveQuote = false;
            seenNonSpace = false;
            start = nullptr;
            commentStart = nullptr;
            while (i <= last && !ProfileIsLineEnd(text[i]))
                ++i;
            continue; // the line end itself empties the buffer
        }
        ++i;
    }

    if (!keyMatched)
        return 0;
    if (start == nullptr) // the range ended inside the value: it starts just behind it
        start = commentStart != nullptr
                    ? commentStart
                    : text + (i < profile->text_length ? i : profile->text_length);
    if (quoted) {
        used = haveQuote ? lastQuote : 0;
    } else {
        while (used > 0 && static_cast<unsigned char>(buffer[used - 1]) >= 0x01 &&
               static_cast<unsigned char>(buffer[used - 1]) <= 0x20)
            --used;
    }
    buffer[used] = '\0';
    if (out != nullptr && outSize > 0)
        StrCopy(out, outSize, buffer);
    if (valueStart != nullptr)
        *valueStart = start;
    return 1;
}

bool ProfileOffsetInText(const Profile* profile, const char* position, size_t* offset) {
    uintptr_t begin = reinterpret_cast<uintptr_t>(profile->text);
    uintptr_t at = reinterpret_cast<uintptr_t>(position);
    if (profile->text == nullptr || at < begin || at - begin > profile->text_length)
        return false;
    *offset = static_cast<size_t>(at - begin);
    return true;
}
