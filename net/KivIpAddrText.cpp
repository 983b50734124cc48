// Text forms of KivIpAddr: the bounded parsers and printers, Text, and the stream
// operators. Written by hand rather than with the socket library's converters so that
// both platforms read and write exactly the same forms.
#include "net/KivIpAddr.h"

#include "text/BoundedText.h"
#include "text/HexDigit.h"

#include <cstdlib>
#include <cstring>
#include <istream>
#include <ostream>
#include <string>

namespace {

// Dotted decimal: exactly four parts of at least one digit each, values up to 255, single
// dots, nothing else up to the terminator. Leading zeros are read as decimal (some
// resolvers read them as octal; a configured "010.0.0.1" means 10.0.0.1 here).
bool ParseDotted(const char* text, uint8_t out[4]) noexcept {
    const char* p = text;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (*p != '.')
                return false;
            ++p;
        }
        if (*p < '0' || *p > '9')
            return false;
        unsigned value = 0;
        while (*p >= '0' && *p <= '9') {
            value = value * 10 + static_cast<unsigned>(*p - '0');
            if (value > 255) // checked per digit, so the value never grows unbounded
                return false;
            ++p;
        }
        out[part] = static_cast<uint8_t>(value);
    }
    return *p == '\0';
}

// Colon-hex form with at most one "::" and an optional dotted IPv4 tail.
// A "::" must stand for at least one zero group: "1:2:3:4:5:6:7::8" (eight groups and a
// "::") is refused, as RFC 4291 defines "::" as one or more groups of zeros.
bool ParseColonHex(const char* text, uint8_t out[16]) noexcept {
    uint8_t bytes[16] = {};
    size_t filled = 0;
    long gap = -1; // byte offset where "::" stands, -1 when there is none
    const char* p = text;
    if (*p == ':') {
        if (p[1] != ':')
            return false;
        gap = 0;
        p += 2;
    }
    // A "::" may end the text; a single ':' may not.
    bool ended = gap == 0 && *p == '\0';
    while (!ended) {
        const char* groupStart = p;
        unsigned value = 0;
        while (HexDigit(*p) >= 0) {
            value = value * 16 + static_cast<unsigned>(HexDigit(*p));
            if (value > 0xFFFF) // extra leading zeros are fine; a fifth significant digit not
                return false;
            ++p;
        }
        if (p == groupStart)
            return false;
        if (*p == '.') {
            // The last 32 bits as a dotted IPv4 address; it must end the text.
            if (filled + 4 > sizeof bytes || !ParseDotted(groupStart, bytes + filled))
                return false;
            filled += 4;
            break;
        }
        if (filled + 2 > sizeof bytes)
            return false;
        bytes[filled++] = static_cast<uint8_t>(value >> 8);
        bytes[filled++] = static_cast<uint8_t>(value);
        if (*p == '\0')
            break;
        if (*p != ':')
            return false;
        ++p;
        if (*p == ':') {
            if (gap >= 0)
                return false;
            gap = static_cast<long>(filled);
            ++p;
            ended = *p == '\0';
        }
    }
    if (gap >= 0) {
        if (filled == sizeof bytes)
            return false;
        size_t tail = filled - static_cast<size_t>(gap);
        memmove(bytes + sizeof bytes - tail, bytes + gap, tail);
        memset(bytes + gap, 0, sizeof bytes - tail - static_cast<size_t>(gap));
    } else if (filled != sizeof bytes) {
        return false;
    }
    memcpy(out, bytes, sizeof bytes);
    return true;
}

// Fixed work buffer for one text form; Put refuses rather than overflows.
struct TextWork {
    char text[KivIpAddr::kTextWorkSize];
    size_t length = 0;
    bool overflow = false;

    void Put(const char* piece) noexcept {
        size_t n = strlen(piece);
        if (overflow || length + n >= sizeof text) {
            overflow = true;
            return;
        }
        memcpy(text + length, piece, n);
        length += n;
        text[length] = '\0';
    }
};

void PutDotted(TextWork* work, const uint8_t* b) {
    char piece[16];
    StrFormat(piece, sizeof piece, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
    work->Put(piece);
}

// RFC 4291 section 2.2 compressed form: the first longest run of two or more zero groups
// becomes "::"; ::a.b.c.d and ::ffff:a.b.c.d keep their dotted IPv4 tail.
void PutColonHex(TextWork* work, const uint8_t* b) {
    unsigned groups[8];
    for (int i = 0; i < 8; ++i)
        groups[i] = (static_cast<unsigned>(b[2 * i]) << 8) | b[2 * i + 1];
    int bestStart = -1;
    int bestLength = 0;
    for (int i = 0; i < 8;) {
        if (groups[i] != 0) {
            ++i;
            continue;
        }
        int start = i;
        while (i < 8 && groups[i] == 0)
            ++i;
        if (i - start > bestLength) {
            bestStart = start;
            bestLength = i - start;
        }
    }
    if (bestLength < 2)
        bestStart = -1;
    bool dottedTail =
        bestStart == 0 && (bestLength == 6 || (bestLength == 5 && groups[5] == 0xFFFF));
    int hexGroups = dottedTail ? 6 : 8;
    for (int i = 0; i < hexGroups; ++i) {
        if (i == bestStart) {
            work->Put("::");
            i += bestLength - 1;
            continue;
        }
        if (i > 0 && i != bestStart + bestLength)
            work->Put(":");
        char piece[8];
        StrFormat(piece, sizeof piece, "%x", groups[i]);
        work->Put(piece);
    }
    if (dottedTail) {
        if (bestLength == 5)
            work->Put(":");
        PutDotted(work, b + 12);
    }
}

} // namespace

int KivIpAddr::ParseV4(const char* text) {
    Clear();
    if (text == nullptr || !ParseDotted(text, address_))
        return 0;
    length_ = kV4Length;
    return 1;
}

int KivIpAddr::ParseV6(const char* text) {
    Clear();
    uint8_t bytes[kV6Length];
    if (text == nullptr || !ParseColonHex(text, bytes))
        return 0;
    return SetBytes(bytes, kV6Length);
}

int KivIpAddr::Parse(const char* text) {
    return ParseV4(text) || ParseV6(text);
}

int KivIpAddr::ToText(char* buffer, size_t size) const {
    if (buffer == nullptr)
        return 0;
    if (size > 0)
        buffer[0] = '\0';
    TextWork work;
    work.text[0] = '\0';
    if (length_ == kV4Length)
        PutDotted(&work, address_);
    else if (length_ == kV6Length)
        PutColonHex(&work, address_);
    else
        return 0;
    if (work.overflow || work.length + 1 > size)
        return 0;
    memcpy(buffer, work.text, work.length + 1);
    return 1;
}

const char* KivIpAddr::Text() const {
    static const char empty[1] = "";
    if (text_ == nullptr) {
        text_ = static_cast<char*>(malloc(kTextBufferSize));
        if (text_ == nullptr)
            return empty;
    }
    ToText(text_, kTextBufferSize);
    return text_;
}

std::ostream& operator<<(std::ostream& stream, const KivIpAddr& address) {
    if (address.Length() == 0)
        return stream << "(invalid IP address)";
    char text[KivIpAddr::kTextWorkSize];
    address.ToText(text, sizeof text);
    return stream << text;
}

std::istream& operator>>(std::istream& stream, KivIpAddr& address) {
    std::string word;
    if (stream >> word) {
        if (!address.Parse(word.c_str()))
            stream.setstate(std::ios_base::failbit);
    }
    return stream;
}
