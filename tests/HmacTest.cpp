// HMAC beyond the RFC answers: every digest (the SHA-512 truncations have no published
// HMAC examples) against HMAC composed from the digest calls, keys around the block size,
// HmacReset, and the refused calls.
#include "crypto/Hmac.h"
#include "CryptoTestHelpers.h"
#include "TestHelpers.h"

#include <cstring>

namespace {

// H((K0 ^ opad) || H((K0 ^ ipad) || message)), spelled out with one-shot digests.
std::string ComposedHmacHex(const DigestAlgorithm* algorithm, std::string key,
                            const std::string& message) {
    if (key.size() > algorithm->block_size)
        key = Unhex(DigestHex(algorithm, key));
    key.resize(algorithm->block_size, '\0');
    std::string inner = key, outer = key;
    for (size_t i = 0; i < key.size(); ++i) {
        inner[i] = static_cast<char>(inner[i] ^ 0x36);
        outer[i] = static_cast<char>(outer[i] ^ 0x5c);
    }
    return DigestHex(algorithm, outer + Unhex(DigestHex(algorithm, inner + message)));
}

TEST(Hmac, EveryDigestAndKeyLength) {
    const std::string message = "the message, longer than nothing";
    FOR_EACH_CASE(algorithm, kEveryDigest) {
        const size_t block = algorithm->block_size;
        for (size_t keySize : {size_t{0}, size_t{1}, block - 1, block, block + 1, 3 * block}) {
            std::string key(keySize, '\0');
            for (size_t i = 0; i < keySize; ++i)
                key[i] = static_cast<char>(i * 7 + 1);
            const std::string expected = ComposedHmacHex(algorithm, key, message);
            EXPECT_EQ(expected, HmacHex(algorithm, key, message)) << keySize;
            // The streaming calls, a first message dropped by HmacReset.
            HmacContext context;
            uint8_t tag[kDigestMaxSize];
            ASSERT_EQ(1, HmacInit(&context, algorithm, key.data(), key.size()));
            ASSERT_EQ(1, HmacUpdate(&context, "dropped", 7));
            ASSERT_EQ(1, HmacReset(&context));
            ASSERT_EQ(1, HmacUpdate(&context, message.data(), message.size()));
            ASSERT_EQ(1, HmacFinal(&context, tag, sizeof tag));
            EXPECT_EQ(expected, Hex(tag, algorithm->digest_size)) << keySize;
        }
    }
}

// Refused calls fail; a refused init and every final wipe the context, which then
// refuses more.
TEST(Hmac, RefusedArgumentsAndWiping) {
    HmacContext context, cleared;
    memset(&cleared, 0, sizeof cleared);
    uint8_t tag[kDigestMaxSize];
    EXPECT_EQ(0, HmacInit(nullptr, &kDigestSha256, "k", 1));
    EXPECT_EQ(0, HmacInit(&context, nullptr, "k", 1));
    EXPECT_EQ(0, HmacInit(&context, &kDigestSha256, nullptr, 1));
    EXPECT_EQ(0, memcmp(&context, &cleared, sizeof context));
    EXPECT_EQ(0, HmacUpdate(&context, "m", 1));
    EXPECT_EQ(0, HmacReset(&context));
    EXPECT_EQ(0, HmacFinal(&context, tag, sizeof tag));
    EXPECT_EQ(0, HmacUpdate(nullptr, "m", 1));
    EXPECT_EQ(0, HmacReset(nullptr));
    EXPECT_EQ(0, HmacFinal(nullptr, tag, sizeof tag));
    ASSERT_EQ(1, HmacInit(&context, &kDigestSha256, nullptr, 0)); // the empty key
    EXPECT_EQ(0, HmacUpdate(&context, nullptr, 1));
    EXPECT_EQ(0, HmacFinal(&context, tag, 31));
    EXPECT_EQ(0, memcmp(&context, &cleared, sizeof context));
    EXPECT_EQ(0, HmacUpdate(&context, "m", 1));
    ASSERT_EQ(1, HmacInit(&context, &kDigestSha256, "k", 1));
    ASSERT_EQ(1, HmacFinal(&context, tag, 32));
    EXPECT_EQ(0, memcmp(&context, &cleared, sizeof context));
    EXPECT_EQ(0, HmacReset(&context));
    EXPECT_EQ(0, Hmac(&kDigestSha256, "k", 1, "m", 1, tag, 31));
    EXPECT_EQ(0, Hmac(&kDigestSha256, nullptr, 1, "m", 1, tag, 32));
    EXPECT_EQ(0, Hmac(&kDigestSha256, "k", 1, nullptr, 1, tag, 32));
    EXPECT_EQ(0, Hmac(nullptr, "k", 1, "m", 1, tag, 32));
    EXPECT_EQ(0, Hmac(&kDigestSha256, "k", 1, "m", 1, nullptr, 32));
}

} // namespace
