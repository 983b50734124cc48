// The signature file: see update/UpdateSignature.h.
#include "update/UpdateSignature.h"

#include "http/HttpEncode.h"
#include "text/BoundedText.h"

#include <cstring>

namespace {

const char kVersionLine[] = "kivupdate-signature: 1\n";
const char kSchemeLine[] = "scheme: RSA-PSS-SHA256\n";
const char kKeyIdLabel[] = "key-id: ";
const char kSignatureLabel[] = "signature: ";
const char kHexDigits[] = "0123456789abcdef";

// Steps over `literal` at *at; false when the text does not continue with it.
bool Expect(const char* text, size_t size, size_t* at, const char* literal) {
    size_t length = strlen(literal);
    if (size - *at < length || memcmp(text + *at, literal, length) != 0)
        return false;
    *at += length;
    return true;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1; // upper case too: one spelling per key id
}

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

// Decodes canonical Base64: whole groups of four, '=' only as the fill of the last one,
// and the fill's unused bits zero. Returns the byte count, or 0 on any other text or when
// the bytes do not fit in `outSize`.
size_t Base64Decode(const char* text, size_t length, uint8_t* out, size_t outSize) {
    if (length == 0 || length % 4 != 0)
        return 0;
    size_t fill = text[length - 1] == '=' ? (text[length - 2] == '=' ? 2 : 1) : 0;
    size_t count = length / 4 * 3 - fill;
    if (count > outSize)
        return 0;
    size_t written = 0;
    for (size_t group = 0; group < length; group += 4) {
        bool last = group + 4 == length;
        uint32_t bits = 0;
        for (size_t k = 0; k < 4; ++k) {
            int value = last && k >= 4 - fill ? 0 : Base64Value(text[group + k]);
            if (value < 0)
                return 0;
            bits = bits << 6 | static_cast<uint32_t>(value);
        }
        uint8_t bytes[3] = {static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 8),
                            static_cast<uint8_t>(bits)};
        size_t take = last ? 3 - fill : 3;
        // Fill bits are zero in the one encoding of these bytes.
        if (last && ((fill == 1 && bytes[2] != 0) || (fill == 2 && (bytes[1] | bytes[2]) != 0)))
            return 0;
        memcpy(out + written, bytes, take);
        written += take;
    }
    return written;
}

} // namespace

int UpdateSignatureParse(const char* text, size_t size, UpdateSignature* out) {
    memset(out, 0, sizeof *out);
    if (text == nullptr || size > kUpdateSignatureFileMax)
        return 0;
    size_t at = 0;
    if (!Expect(text, size, &at, kVersionLine) || !Expect(text, size, &at, kSchemeLine) ||
        !Expect(text, size, &at, kKeyIdLabel))
        return 0;
    if (size - at < 2 * kUpdateKeyIdSize + 1)
        return 0;
    for (size_t i = 0; i < kUpdateKeyIdSize; ++i) {
        int high = HexValue(text[at + 2 * i]);
        int low = HexValue(text[at + 2 * i + 1]);
        if (high < 0 || low < 0)
            return 0;
        out->key_id[i] = static_cast<uint8_t>(high << 4 | low);
    }
    at += 2 * kUpdateKeyIdSize;
    if (!Expect(text, size, &at, "\n") || !Expect(text, size, &at, kSignatureLabel))
        return 0;
    // The Base64 runs to the LF that must be the file's last byte.
    if (at >= size || text[size - 1] != '\n')
        return 0;
    size_t length = size - 1 - at;
    if (memchr(text + at, '\n', length) != nullptr)
        return 0;
    out->value_size = Base64Decode(text + at, length, out->value, sizeof out->value);
    if (out->value_size == 0) {
        memset(out, 0, sizeof *out);
        return 0;
    }
    return 1;
}

size_t UpdateSignatureFormat(const UpdateSignature& signature, char* out, size_t outSize) {
    if (out == nullptr || signature.value_size == 0 ||
        signature.value_size > kUpdateSignatureMaxSize)
        return 0;
    char hex[2 * kUpdateKeyIdSize + 1];
    for (size_t i = 0; i < kUpdateKeyIdSize; ++i) {
        hex[2 * i] = kHexDigits[signature.key_id[i] >> 4];
        hex[2 * i + 1] = kHexDigits[signature.key_id[i] & 15];
    }
    hex[sizeof hex - 1] = '\0';
    char base64[kUpdateSignatureFileMax];
    if (Base64Encode(signature.value, signature.value_size, base64, sizeof base64, 0) <= 0)
        return 0;
    size_t length = strlen(kVersionLine) + strlen(kSchemeLine) + strlen(kKeyIdLabel) + strlen(hex) +
                    1 + strlen(kSignatureLabel) + strlen(base64) + 1;
    if (length + 1 > outSize)
        return 0;
    const char* const parts[] = {kVersionLine, kSchemeLine,     kKeyIdLabel, hex,
                                 "\n",         kSignatureLabel, base64,      "\n"};
    out[0] = '\0';
    for (const char* part : parts)
        StrAppend(out, outSize, part);
    return length;
}
