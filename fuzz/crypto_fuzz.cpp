// Digests and HMAC against OpenSSL's libcrypto. Byte 0: the algorithm (its value modulo 8);
// byte 1: bit 0 HMAC, bit 1 the portable code instead of the SHA extensions, bits 4-7 the
// number of cuts; bytes 2-3: the key's size (little-endian, modulo 1024: beyond every
// block); then the key, one byte per cut (each a piece's size, up to 255) and the message. The
// message goes in at the cuts (the rest in one piece); the result must be OpenSSL's
// one-shot result, and so must our one-shot call, HMAC again after HmacReset, and a
// digest continued in a copy of the context.
#include "crypto/Digest.h"
#include "crypto/Hmac.h"

#include "fuzz/FuzzSupport.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <string>
#include <vector>

namespace {

struct Pair {
    const DigestAlgorithm* ours;
    const char* openssl;
};

const Pair kAlgorithms[] = {
    {&kDigestMd5, "MD5"},
    {&kDigestSha1, "SHA1"},
    {&kDigestSha224, "SHA224"},
    {&kDigestSha256, "SHA256"},
    {&kDigestSha384, "SHA384"},
    {&kDigestSha512, "SHA512"},
    {&kDigestSha512_224, "SHA512-224"},
    {&kDigestSha512_256, "SHA512-256"},
};

const EVP_MD* OpenSslDigest(size_t index) {
    static const EVP_MD* fetched[8];
    if (fetched[index] == nullptr)
        fetched[index] = EVP_MD_fetch(nullptr, kAlgorithms[index].openssl, nullptr);
    FUZZ_CHECK(fetched[index] != nullptr);
    return fetched[index];
}

std::string Expected(const EVP_MD* md, bool hmac, const std::string& key,
                     const std::string& message) {
    uint8_t out[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (hmac) {
        // OpenSSL takes no null key, even an empty one.
        static const uint8_t kEmpty = 0;
        const void* keyBytes = key.empty() ? static_cast<const void*>(&kEmpty) : key.data();
        FUZZ_CHECK(HMAC(md, keyBytes, static_cast<int>(key.size()),
                        reinterpret_cast<const uint8_t*>(message.data()), message.size(), out,
                        &size) != nullptr);
    } else {
        FUZZ_CHECK(EVP_Digest(message.data(), message.size(), out, &size, md, nullptr) == 1);
    }
    return std::string(reinterpret_cast<char*>(out), size);
}

std::string Bytes(const uint8_t* out, size_t size) {
    return std::string(reinterpret_cast<const char*>(out), size);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const size_t index = input.Byte() % 8;
    const uint8_t flags = input.Byte();
    const bool hmac = (flags & 1) != 0;
    const size_t keySize = input.Number(2) % 1024;
    const std::string key = input.Bytes(keySize);
    std::vector<size_t> cuts;
    for (int i = 0; i < flags >> 4; ++i)
        cuts.push_back(input.Byte());
    const std::string message = input.Rest();

    const DigestAlgorithm* algorithm = kAlgorithms[index].ours;
    const std::string expected = Expected(OpenSslDigest(index), hmac, key, message);
    FUZZ_CHECK(expected.size() == algorithm->digest_size);
    DigestUsePortable((flags & 2) != 0);

    uint8_t out[kDigestMaxSize];
    HmacContext mac;
    DigestContext digest;
    if (hmac) {
        FUZZ_CHECK(HmacInit(&mac, algorithm, key.data(), key.size()) == 1);
        FUZZ_CHECK(HmacUpdate(&mac, "dropped by the reset", 20) == 1);
        FUZZ_CHECK(HmacReset(&mac) == 1);
    } else {
        FUZZ_CHECK(DigestInit(&digest, algorithm) == 1);
    }
    size_t at = 0;
    for (size_t cut : cuts) {
        const size_t piece = std::min(cut, message.size() - at);
        if (hmac)
            FUZZ_CHECK(HmacUpdate(&mac, message.data() + at, piece) == 1);
        else
            FUZZ_CHECK(DigestUpdate(&digest, message.data() + at, piece) == 1);
        at += piece;
    }
    if (hmac) {
        FUZZ_CHECK(HmacUpdate(&mac, message.data() + at, message.size() - at) == 1);
        FUZZ_CHECK(HmacFinal(&mac, out, sizeof out) == 1);
        FUZZ_CHECK(Bytes(out, algorithm->digest_size) == expected);
        FUZZ_CHECK(Hmac(algorithm, key.data(), key.size(), message.data(), message.size(), out,
                        algorithm->digest_size) == 1);
    } else {
        // A copy taken before the last piece continues on its own.
        DigestContext copy = digest;
        FUZZ_CHECK(DigestUpdate(&digest, message.data() + at, message.size() - at) == 1);
        FUZZ_CHECK(DigestFinal(&digest, out, sizeof out) == 1);
        FUZZ_CHECK(Bytes(out, algorithm->digest_size) == expected);
        FUZZ_CHECK(DigestUpdate(&copy, message.data() + at, message.size() - at) == 1);
        FUZZ_CHECK(DigestFinal(&copy, out, sizeof out) == 1);
        FUZZ_CHECK(Bytes(out, algorithm->digest_size) == expected);
        FUZZ_CHECK(Digest(algorithm, message.data(), message.size(), out, algorithm->digest_size) ==
                   1);
    }
    FUZZ_CHECK(Bytes(out, algorithm->digest_size) == expected);
    DigestUsePortable(0);
    return 0;
}
