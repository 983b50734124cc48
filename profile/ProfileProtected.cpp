// Protected values: "crypt:" followed by the caller's cipher bytes in lowercase hex. The
// store only hex-codes the bytes; the ciphers are the caller's callbacks. See Profile.h.
#include "profile/Profile.h"

#include "text/BoundedText.h"
#include "text/HexDigit.h"

#include <cstdint>
#include <cstring>

namespace {

const char kPrefix[] = "crypt:";
constexpr size_t kPrefixLength = sizeof kPrefix - 1;
// Callback buffers, and the value text buffer.
constexpr uint32_t kCipherBuffer = 512;
constexpr size_t kValueBuffer = 512;
// A lookup collects at most 510 value characters: the prefix and two digits per byte
// leave room for 252 bytes.
constexpr uint32_t kMaxProtectedBytes = 252;

// Decodes pairs of hex digits (a last odd digit alone makes one byte); false when any
// character is no hex digit, since the bytes would then not be what was stored.
bool DecodeHex(const char* hex, unsigned char* out, size_t outSize, uint32_t* count) {
    size_t n = 0;
    for (const char* p = hex; *p != '\0';) {
        if (n >= outSize)
            return false;
        int high = HexDigit(p[0]);
        if (high < 0)
            return false;
        if (p[1] == '\0') {
            out[n++] = static_cast<unsigned char>(high);
            break;
        }
        int low = HexDigit(p[1]);
        if (low < 0)
            return false;
        out[n++] = static_cast<unsigned char>(high * 16 + low);
        p += 2;
    }
    *count = static_cast<uint32_t>(n);
    return true;
}

} // namespace

int ProfileGetProtected(Profile* profile, const char* section, const char* key, char* out,
                        size_t outSize, uint32_t* wasProtected, void* userContext) {
    if (profile == nullptr || profile->decrypt == nullptr || section == nullptr || key == nullptr ||
        out == nullptr || wasProtected == nullptr)
        return 0;
    char value[kValueBuffer];
    if (ProfileGetString(profile, section, key, value, sizeof value) != 1) {
        *wasProtected = 0;
        return 0;
    }
    if (!ProfileNameEqualsN(value, kPrefix, kPrefixLength)) {
        StrCopy(out, outSize, value);
        *wasProtected = 0;
        return 1;
    }
    const char* hex = value + kPrefixLength;
    char clear[kCipherBuffer];
    clear[0] = '\0';
    if (hex[0] != '\0') {
        unsigned char bytes[kValueBuffer / 2];
        uint32_t count = 0;
        if (!DecodeHex(hex, bytes, sizeof bytes, &count))
            return 0;
        if (profile->decrypt(bytes, count, clear, kCipherBuffer, userContext) == 0)
            return 0;
        clear[kCipherBuffer - 1] = '\0'; // in case the callback did not terminate
    }
    *wasProtected = 1;
    StrCopy(out, outSize, clear);
    return 1;
}

int ProfileSetProtected(Profile* profile, const char* section, const char* key,
                        const char* clearText, void* userContext) {
    if (profile == nullptr || profile->encrypt == nullptr || section == nullptr || key == nullptr ||
        clearText == nullptr)
        return 0;
    char text[kValueBuffer];
    StrCopy(text, sizeof text, kPrefix);
    if (clearText[0] != '\0') {
        unsigned char cipher[kCipherBuffer];
        uint32_t length = 0;
        if (profile->encrypt(clearText, strlen(clearText), cipher, kCipherBuffer, &length,
                             userContext) == 0)
            return 0;
        // Longer protected data would make a line that no lookup reads back, and so lose
        // the value; it is refused instead of being stored cut.
        if (length > kMaxProtectedBytes)
            return 0;
        for (uint32_t i = 0; i < length; ++i) {
            char pair[3];
            StrFormat(pair, sizeof pair, "%02x", static_cast<unsigned>(cipher[i]));
            StrAppend(text, sizeof text, pair);
        }
    }
    return ProfileSetString(profile, section, key, text);
}
