// Shared by the digest and HMAC tests: hex texts, the digest and HMAC of byte strings as
// hex, every algorithm, and a scope that runs its body on one of the two SHA engines.
#pragma once

#include "crypto/Digest.h"
#include "crypto/Hmac.h"

#include <gtest/gtest.h>

#include <string>

inline std::string Unhex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

inline std::string Hex(const void* data, size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        const unsigned byte = static_cast<const unsigned char*>(data)[i];
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

// The digest as hex, or "(failed)".
inline std::string DigestHex(const DigestAlgorithm* algorithm, const std::string& message) {
    uint8_t out[kDigestMaxSize];
    if (!Digest(algorithm, message.data(), message.size(), out, sizeof out))
        return "(failed)";
    return Hex(out, algorithm->digest_size);
}

inline std::string HmacHex(const DigestAlgorithm* algorithm, const std::string& key,
                           const std::string& message) {
    uint8_t out[kDigestMaxSize];
    if (!Hmac(algorithm, key.data(), key.size(), message.data(), message.size(), out, sizeof out))
        return "(failed)";
    return Hex(out, algorithm->digest_size);
}

inline const DigestAlgorithm* const kEveryDigest[] = {
    &kDigestMd5,    &kDigestSha1,   &kDigestSha224,     &kDigestSha256,
    &kDigestSha384, &kDigestSha512, &kDigestSha512_224, &kDigestSha512_256,
};

// Work started inside uses the portable code (portable = 1) or the detected choice (0) of
// the switch `Use`; the detected choice comes back at the end.
template <void (*Use)(int)>
class PortableScope {
public:
    explicit PortableScope(int portable) { Use(portable); }
    ~PortableScope() { Use(0); }
    PortableScope(const PortableScope&) = delete;
    PortableScope& operator=(const PortableScope&) = delete;
};
using EngineScope = PortableScope<DigestUsePortable>;

// Whether this processor has the SHA extensions, asked apart from the library.
inline bool CpuHasSha() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("sha") && __builtin_cpu_supports("sse4.1") &&
           __builtin_cpu_supports("ssse3");
#else
    return false;
#endif
}
