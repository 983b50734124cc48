// Text encoders for HTTP request bodies and headers. See HttpEncode.h for the contracts.
#include "http/HttpEncode.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

const char kHexDigits[] = "0123456789ABCDEF";
const char kLineBreak[] = "%0D%0A";
const size_t kLineBreakLength = sizeof kLineBreak - 1;

bool StaysUnencoded(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '*' ||
           c == '-' || c == '.' || c == '@' || c == '_';
}

// ---- Character references ----

// A reference counts as such only while its ';' is closer than this to its '&'.
const ptrdiff_t kReferenceSpan = 20;

// The largest value the six-byte form can carry.
const uint32_t kLargestCodePoint = 0x7FFFFFFF;

int HexValue(unsigned char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

enum ReferenceKind { kReference, kTooLong, kNotReference };

// Reads "&#digits;" or "&#xhexdigits;" at `text` (which starts with "&#" and has a ';'
// somewhere after it). A digit run too large for 32 bits saturates; such a value is
// clamped when it is written anyway. Anything but digits before the ';' is no reference.
ReferenceKind ReadReference(const unsigned char* text, uint32_t* codePoint,
                            const unsigned char** end) {
    const unsigned char* p = text + 2;
    const bool hex = *p == 'x' || *p == 'X';
    if (hex) {
        ++p;
    }
    const unsigned base = hex ? 16 : 10;
    const unsigned char* digits = p;
    uint64_t value = 0;
    for (;; ++p) {
        const int digit = hex ? HexValue(*p) : (*p >= '0' && *p <= '9' ? *p - '0' : -1);
        if (digit < 0) {
            break;
        }
        value = std::min<uint64_t>(value * base + static_cast<unsigned>(digit), UINT32_MAX);
    }
    if (p == digits || *p != ';') {
        return kNotReference;
    }
    *end = p + 1;
    *codePoint = static_cast<uint32_t>(value);
    return (p - text) < kReferenceSpan ? kReference : kTooLong;
}

// The length of the raw byte run at `text`: one byte, or a UTF-8 lead byte with the
// continuation bytes after it, so that a multi-byte character is copied whole or not at all.
size_t RawRunLength(const unsigned char* text) {
    size_t length = 1;
    if (text[0] >= 0xC0) {
        while (length < 6 && text[length] >= 0x80 && text[length] < 0xC0) {
            ++length;
        }
    }
    return length;
}

} // namespace

char* HttpUrlEncode(const char* text, uint32_t lineLength) {
    if (text == nullptr) {
        return nullptr;
    }
    const size_t length = strlen(text);
    // Breaks follow the input bytes L + 1, 2L + 1, ...: (length - 1) / L of them.
    const size_t breaks = (lineLength == 0 || length == 0) ? 0 : (length - 1) / lineLength;
    // Worst case: every byte as "%XX", plus the breaks and the terminator.
    if (length > (SIZE_MAX - 1) / 3 || breaks > (SIZE_MAX - 1 - 3 * length) / kLineBreakLength) {
        return nullptr;
    }
    char* encoded = static_cast<char*>(malloc(3 * length + kLineBreakLength * breaks + 1));
    if (encoded == nullptr) {
        return nullptr;
    }
    char* out = encoded;
    uint32_t counter = 0;
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (StaysUnencoded(c)) {
            *out++ = static_cast<char>(c);
        } else if (c == ' ') {
            *out++ = '+';
        } else {
            *out++ = '%';
            *out++ = kHexDigits[c >> 4];
            *out++ = kHexDigits[c & 0x0F];
        }
        if (lineLength != 0) {
            if (counter == lineLength) {
                memcpy(out, kLineBreak, kLineBreakLength);
                out += kLineBreakLength;
                counter = 0;
            }
            ++counter;
        }
    }
    *out = '\0';
    return encoded;
}

int HttpDecodeCharRefs(const char* value, char* destination, size_t room) {
    if (destination == nullptr || room == 0) {
        return 0;
    }
    // The count is returned as an int, so no more than INT_MAX bytes are written.
    const size_t limit = std::min<size_t>(room - 1, INT_MAX);
    size_t written = 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(value);
    // The first ';' at or after p, remembered so that the input is scanned for it only once.
    const unsigned char* semicolon = nullptr;
    bool plainRest = false;
    while (p != nullptr && *p != '\0') {
        if (!plainRest && p[0] == '&' && p[1] == '#') {
            if (semicolon == nullptr || semicolon < p) {
                semicolon = reinterpret_cast<const unsigned char*>(
                    strchr(reinterpret_cast<const char*>(p), ';'));
            }
            if (semicolon == nullptr) {
                // Never closed: the '&' goes and everything after it is plain text.
                plainRest = true;
                ++p;
                continue;
            }
            uint32_t codePoint = 0;
            const unsigned char* end = nullptr;
            const ReferenceKind kind = ReadReference(p, &codePoint, &end);
            if (kind == kReference) {
                // Code point 0 is written like any other: its NUL ends the text there.
                const int n = Utf8EncodeCodePoint(destination + written,
                                                  static_cast<int>(limit - written), codePoint);
                if (n < 0) {
                    break;
                }
                written += static_cast<size_t>(n);
                p = end;
                continue;
            }
            if (kind == kTooLong) {
                p = end;
                continue;
            }
            // Not a reference: the '&' is copied like any other byte below.
        }
        // Bytes of 0x80 and above are copied unchanged, so UTF-8 input passes through.
        const size_t run = RawRunLength(p);
        if (run > limit - written) {
            break;
        }
        memcpy(destination + written, p, run);
        written += run;
        p += run;
    }
    destination[written] = '\0';
    return static_cast<int>(written);
}

int Utf8EncodeCodePoint(char* destination, int room, uint32_t codePoint) {
    // Bit 31 has no place in the six-byte form; such values are written as the largest one.
    codePoint = std::min(codePoint, kLargestCodePoint);
    int length;
    if (codePoint < 0x80) {
        length = 1;
    } else if (codePoint < 0x800) {
        length = 2;
    } else if (codePoint < 0x10000) {
        length = 3;
    } else if (codePoint < 0x200000) {
        length = 4;
    } else if (codePoint < 0x4000000) {
        length = 5;
    } else {
        length = 6;
    }
    if (destination == nullptr) {
        return length;
    }
    if (room <= 0 || room < length) {
        return -1;
    }
    if (length == 1) {
        destination[0] = static_cast<char>(codePoint);
        return 1;
    }
    static const unsigned char kLeadBytes[7] = {0, 0, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};
    for (int i = length - 1; i > 0; --i) {
        destination[i] = static_cast<char>(0x80 | (codePoint & 0x3F));
        codePoint >>= 6;
    }
    destination[0] = static_cast<char>(kLeadBytes[length] | codePoint);
    return length;
}

int Base64Encode(const void* bytes, size_t count, char* destination, size_t destinationSize,
                 int lineBreaks) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    static const size_t kLineLength = 64;
    if (destination == nullptr || (bytes == nullptr && count != 0)) {
        return 0;
    }
    // The length must fit the int result; this bound keeps every sum below from wrapping.
    if (count / 3 >= INT_MAX / 5) {
        return 0;
    }
    const size_t characters = (count + 2) / 3 * 4;
    const size_t breaks = (lineBreaks && characters > 0) ? (characters - 1) / kLineLength : 0;
    const size_t length = characters + breaks;
    if (length + 1 > destinationSize) {
        return 0;
    }
    const unsigned char* in = static_cast<const unsigned char*>(bytes);
    size_t out = 0;
    size_t column = 0;
    // Writes one character, preceded by a LF when a line of 64 is full.
    auto put = [&](char c) {
        if (lineBreaks && column == kLineLength) {
            destination[out++] = '\n';
            column = 0;
        }
        destination[out++] = c;
        ++column;
    };
    for (size_t i = 0; i < count; i += 3) {
        const size_t left = count - i;
        const uint32_t group = (static_cast<uint32_t>(in[i]) << 16) |
                               (left > 1 ? static_cast<uint32_t>(in[i + 1]) << 8 : 0) |
                               (left > 2 ? static_cast<uint32_t>(in[i + 2]) : 0);
        put(kAlphabet[(group >> 18) & 0x3F]);
        put(kAlphabet[(group >> 12) & 0x3F]);
        put(left > 1 ? kAlphabet[(group >> 6) & 0x3F] : '=');
        put(left > 2 ? kAlphabet[group & 0x3F] : '=');
    }
    destination[out] = '\0';
    return static_cast<int>(out);
}
