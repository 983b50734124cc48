// PEM armour and constant-time Base64. See Pem.h for the contracts.
//
// The parser branches on the armour (dashes, labels, line ends), whose place in a block
// depends only on the length of the data. The Base64 characters themselves are turned
// into values and back by arithmetic on masks, so neither a branch nor a memory index
// depends on a key's bytes.
#include "crypto/Pem.h"

#include "crypto/ConstantTime.h"

#include <cstring>

static const char kBegin[] = "-----BEGIN ";
static const char kEnd[] = "-----END ";
static const char kDashes[] = "-----";
static const size_t kBeginSize = sizeof kBegin - 1;
static const size_t kEndSize = sizeof kEnd - 1;
static const size_t kDashesSize = sizeof kDashes - 1;
// Base64 characters per line, as OpenSSL writes them (48 bytes of data).
static const size_t kLineChars = 64;

// 1 when the `left` bytes at `p` begin with the `n` bytes of `prefix`.
static int StartsWith(const char* p, size_t left, const char* prefix, size_t n) {
    return left >= n && memcmp(p, prefix, n) == 0;
}

// Reads "LABEL-----" at *pos: a label of printable ASCII (no leading or trailing blank,
// no run of five dashes) up to kPemMaxLabel characters. Moves *pos past the dashes.
static int ReadLabel(const char* text, size_t size, size_t* pos, const char** label,
                     size_t* labelSize) {
    const size_t start = *pos;
    size_t i = start;
    while (i < size && !StartsWith(text + i, size - i, kDashes, kDashesSize)) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c > 0x7E || i - start >= kPemMaxLabel) {
            return 0;
        }
        ++i;
    }
    const size_t n = i - start;
    if (i >= size || n == 0 || text[start] == ' ' || text[i - 1] == ' ') {
        return 0;
    }
    *label = text + start;
    *labelSize = n;
    *pos = i + kDashesSize;
    return 1;
}

// Moves *pos past a LF or a CR LF; 0 when neither is there.
static int ReadLineEnd(const char* text, size_t size, size_t* pos) {
    size_t i = *pos;
    if (i < size && text[i] == '\r') {
        ++i;
    }
    if (i >= size || text[i] != '\n') {
        return 0;
    }
    *pos = i + 1;
    return 1;
}

PemStatus PemParse(const char* text, size_t size, PemBlock* block) {
    if (text == nullptr || block == nullptr) {
        return PEM_NO_BLOCK;
    }
    // The BEGIN line: the first line that starts like one.
    size_t pos = 0;
    while (!StartsWith(text + pos, size - pos, kBegin, kBeginSize)) {
        const void* lineFeed = memchr(text + pos, '\n', size - pos);
        if (lineFeed == nullptr) {
            return PEM_NO_BLOCK;
        }
        pos = static_cast<size_t>(static_cast<const char*>(lineFeed) - text) + 1;
    }
    pos += kBeginSize;
    const char* label;
    size_t labelSize;
    if (!ReadLabel(text, size, &pos, &label, &labelSize) || !ReadLineEnd(text, size, &pos)) {
        return PEM_MALFORMED;
    }
    // RFC 1421 headers ("Proc-Type: 4,ENCRYPTED", "DEK-Info: ...") open the body; no
    // Base64 line holds a colon.
    const void* firstLineEnd = memchr(text + pos, '\n', size - pos);
    if (firstLineEnd != nullptr &&
        memchr(text + pos, ':', static_cast<const char*>(firstLineEnd) - (text + pos)) != nullptr) {
        return PEM_HEADERS;
    }

    // Base64 lines up to the END line: all of 64 characters but the last.
    const size_t bodyStart = pos;
    size_t characters = 0;
    size_t lastLine = 0;
    size_t lastLength = 0;
    while (!StartsWith(text + pos, size - pos, kEnd, kEndSize)) {
        const void* lineFeed = memchr(text + pos, '\n', size - pos);
        if (lineFeed == nullptr || (lastLength != 0 && lastLength != kLineChars)) {
            return PEM_MALFORMED;
        }
        const size_t lineEnd = static_cast<size_t>(static_cast<const char*>(lineFeed) - text);
        size_t length = lineEnd - pos;
        if (length > 0 && text[lineEnd - 1] == '\r') {
            --length;
        }
        if (length == 0 || length > kLineChars) {
            return PEM_MALFORMED;
        }
        characters += length;
        lastLine = pos;
        lastLength = length;
        pos = lineEnd + 1;
    }
    if (characters == 0 || characters % 4 != 0) {
        return PEM_MALFORMED;
    }
    const size_t bodySize = pos - bodyStart;

    // The END line carries the same label; then white space only.
    pos += kEndSize;
    const char* endLabel;
    size_t endLabelSize;
    if (!ReadLabel(text, size, &pos, &endLabel, &endLabelSize) || endLabelSize != labelSize ||
        memcmp(endLabel, label, labelSize) != 0) {
        return PEM_MALFORMED;
    }
    for (; pos < size; ++pos) {
        const char c = text[pos];
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
            return PEM_TRAILING;
        }
    }

    // The fill tells how many bytes the last group carries; that is the length of the
    // data, not a secret. PemDecode checks that '=' stands nowhere else.
    const char* last = text + lastLine + lastLength;
    const size_t fill = last[-1] != '=' ? 0 : last[-2] != '=' ? 1 : 2;
    block->label = label;
    block->label_size = labelSize;
    block->body = text + bodyStart;
    block->body_size = bodySize;
    block->decoded_size = characters / 4 * 3 - fill;
    return PEM_OK;
}

int PemLabelIs(const PemBlock* block, const char* label) {
    const size_t n = strlen(label);
    return n == block->label_size && memcmp(block->label, label, n) == 0;
}

// All-ones when lo <= c <= hi, else zero, for c below 2^31: each difference wraps around
// (setting bit 31) exactly when c lies on the inner side of its bound.
static uint32_t RangeMask(uint32_t c, uint32_t lo, uint32_t hi) {
    return 0u - ((((lo - 1) - c) & (c - (hi + 1))) >> 31);
}

// The value of a Base64 character; sets bit 0 of *bad when it is none.
static uint32_t Base64Value(uint32_t c, uint32_t* bad) {
    const uint32_t upper = RangeMask(c, 'A', 'Z');
    const uint32_t lower = RangeMask(c, 'a', 'z');
    const uint32_t digit = RangeMask(c, '0', '9');
    const uint32_t plus = RangeMask(c, '+', '+');
    const uint32_t slash = RangeMask(c, '/', '/');
    *bad |= ~(upper | lower | digit | plus | slash) & 1;
    return ((upper & (c - 'A')) | (lower & (c - 'a' + 26)) | (digit & (c - '0' + 52)) |
            (plus & 62) | (slash & 63)) &
           63;
}

// The Base64 character of a value below 64: 'A' plus the gaps between the alphabet's
// runs that lie below the value, each added through a mask.
static char Base64Char(uint32_t v) {
    const uint32_t atLeast26 = 0u - ((25u - v) >> 31);
    const uint32_t atLeast52 = 0u - ((51u - v) >> 31);
    const uint32_t atLeast62 = 0u - ((61u - v) >> 31);
    const uint32_t is63 = 0u - ((62u - v) >> 31);
    const uint32_t c = v + 'A' + (atLeast26 & 6) - (atLeast52 & 75) - (atLeast62 & 15) + (is63 & 3);
    return static_cast<char>(c & 0xFF);
}

int PemDecode(const PemBlock* block, uint8_t* out, size_t outSize) {
    if (block == nullptr || out == nullptr || outSize < block->decoded_size ||
        block->decoded_size > SIZE_MAX / 2) {
        return 0;
    }
    const size_t characters = (block->decoded_size + 2) / 3 * 4;
    const size_t fill = characters / 4 * 3 - block->decoded_size;
    const unsigned char* body = reinterpret_cast<const unsigned char*>(block->body);
    uint32_t bad = 0;
    uint32_t group = 0;
    size_t pos = 0;
    size_t written = 0;
    // Lines of 64 characters and their line ends, in the layout PemParse checked.
    for (size_t index = 0; index < characters; ++index) {
        if (index > 0 && index % kLineChars == 0) {
            pos += pos < block->body_size && body[pos] == '\r';
            if (pos >= block->body_size || body[pos] != '\n') {
                break;
            }
            ++pos;
        }
        if (pos >= block->body_size) {
            break;
        }
        const uint32_t c = body[pos++];
        if (index >= characters - fill) {
            bad |= c ^ '=';
            group <<= 6;
        } else {
            group = (group << 6) | Base64Value(c, &bad);
        }
        if (index % 4 == 3) {
            const uint8_t bytes[3] = {static_cast<uint8_t>(group >> 16),
                                      static_cast<uint8_t>(group >> 8),
                                      static_cast<uint8_t>(group)};
            const size_t take = index + 1 == characters ? 3 - fill : 3;
            // The bits a fill leaves over must be zero, so that the encoding is the only one.
            if (take < 3) {
                bad |= group & ((1u << (8 * (3 - take))) - 1);
            }
            memcpy(out + written, bytes, take);
            written += take;
            group = 0;
        }
    }
    if (written != block->decoded_size || bad != 0) {
        CryptoWipe(out, outSize);
        return 0;
    }
    return 1;
}

size_t PemWrite(const char* label, const uint8_t* der, size_t size, char* out, size_t outSize) {
    if (label == nullptr || (der == nullptr && out != nullptr) || size == 0 ||
        size > SIZE_MAX / 4) {
        return 0;
    }
    const size_t labelSize = strlen(label);
    if (labelSize == 0 || labelSize > kPemMaxLabel) {
        return 0;
    }
    const size_t characters = (size + 2) / 3 * 4;
    const size_t lines = (characters + kLineChars - 1) / kLineChars;
    const size_t length = (kBeginSize + labelSize + kDashesSize + 1) + characters + lines +
                          (kEndSize + labelSize + kDashesSize + 1);
    if (out == nullptr) {
        return length + 1;
    }
    if (outSize < length + 1) {
        return 0;
    }
    size_t pos = 0;
    auto put = [&](const char* text, size_t n) {
        memcpy(out + pos, text, n);
        pos += n;
    };
    put(kBegin, kBeginSize);
    put(label, labelSize);
    put(kDashes, kDashesSize);
    put("\n", 1);
    for (size_t i = 0; i < size; i += 3) {
        const size_t left = size - i;
        const uint32_t group = (static_cast<uint32_t>(der[i]) << 16) |
                               (left > 1 ? static_cast<uint32_t>(der[i + 1]) << 8 : 0) |
                               (left > 2 ? static_cast<uint32_t>(der[i + 2]) : 0);
        out[pos++] = Base64Char(group >> 18);
        out[pos++] = Base64Char((group >> 12) & 63);
        out[pos++] = left > 1 ? Base64Char((group >> 6) & 63) : '=';
        out[pos++] = left > 2 ? Base64Char(group & 63) : '=';
        // A line is full after every 16 groups, and the last line ends too.
        if ((i / 3 + 1) % (kLineChars / 4) == 0 || left <= 3) {
            out[pos++] = '\n';
        }
    }
    put(kEnd, kEndSize);
    put(label, labelSize);
    put(kDashes, kDashesSize);
    put("\n", 1);
    out[pos] = '\0';
    return pos;
}
