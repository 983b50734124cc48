// The digest calls beyond the known answers: splits of the input and copies of a running
// context, the length limits and the length in the padding, refused arguments and wiping,
// lookup by name, the DigestInfo prefixes.
#include "crypto/Digest.h"
#include "CryptoTestHelpers.h"
#include "TestHelpers.h"

#include <cstring>
#include <sstream>

namespace {

uint8_t g_out[kDigestMaxSize];

// Messages around the block and padding boundaries split at many points, on both engines,
// give the one-shot digest (which the vectors check); so does a copy of the context taken
// at the split. The splits change how many blocks reach the compression at once.
TEST(Digest, AnySplitAndCopyGiveTheSameDigest) {
    for (int portable = 0; portable < 2; ++portable) {
        EngineScope engine(portable);
        FOR_EACH_CASE(a, kEveryDigest) {
            const size_t block = a->block_size;
            for (size_t size : {block - 9, block - 8, block, 2 * block + 1, 3 * block + 17}) {
                std::string message(size, '\0');
                for (size_t i = 0; i < size; ++i)
                    message[i] = static_cast<char>(i * 131 + size);
                const std::string whole = DigestHex(a, message);
                for (size_t split = 0; split <= size; split += 1 + split % 7) {
                    DigestContext context, copy;
                    ASSERT_EQ(1, DigestInit(&context, a));
                    ASSERT_EQ(1, DigestUpdate(&context, message.data(), split));
                    copy = context;
                    for (DigestContext* c : {&context, &copy}) {
                        ASSERT_EQ(1, DigestUpdate(c, message.data() + split, size - split));
                        ASSERT_EQ(1, DigestFinal(c, g_out, a->digest_size));
                        EXPECT_EQ(whole, Hex(g_out, a->digest_size)) << size << " at " << split;
                    }
                }
            }
        }
    }
}

// Up to 2^64 - 1 bits for the 64-byte-block SHAs, 2^128 - 1 bits for the SHA-512 family;
// MD5 counts on modulo 2^64 bits. A refused update changes nothing.
TEST(Digest, LengthLimits) {
    const uint64_t kMax61 = (uint64_t{1} << 61) - 1, kAll = ~uint64_t{0};
    const struct {
        const DigestAlgorithm* algorithm;
        uint64_t high, low; // bytes already counted
        size_t size;
        int accepted;
    } cases[] = {
        {&kDigestSha256, 0, kMax61 - 10, 10, 1},  {&kDigestSha256, 0, kMax61 - 10, 11, 0},
        {&kDigestSha224, 0, kMax61, 1, 0},        {&kDigestSha1, 0, kMax61 - 3, 3, 1},
        {&kDigestSha1, 0, kMax61 - 3, 4, 0},      {&kDigestSha512, kMax61, kAll - 5, 5, 1},
        {&kDigestSha512, kMax61, kAll - 5, 6, 0}, {&kDigestSha384, kMax61 - 1, kAll, 1, 1},
        {&kDigestSha512_256, kMax61, kAll, 1, 0}, {&kDigestMd5, 0, kAll - 1, 5, 1},
    };
    FOR_EACH_CASE(c, cases) {
        DigestContext context;
        ASSERT_EQ(1, DigestInit(&context, c.algorithm));
        ASSERT_EQ(1, DigestUpdate(&context, "abc", 3)); // a partial block waits
        context.length_high = c.high;
        context.length_low = c.low;
        const DigestContext before = context;
        EXPECT_EQ(c.accepted, DigestUpdate(&context, "0123456789abcdef", c.size));
        if (!c.accepted)
            EXPECT_EQ(0, memcmp(&before, &context, sizeof context));
        else
            EXPECT_EQ(c.low + c.size, context.length_low);
    }
}

// The last block carries all 64 or 128 bits of the length: a context that claims a long
// message ends in the block built here by hand.
TEST(Digest, PaddingCarriesTheWholeBitLength) {
    const uint64_t high = 0x0123456789abcdefull >> 3, low = 0xe000000000000007ull;
    for (const DigestAlgorithm* a : {&kDigestMd5, &kDigestSha1, &kDigestSha256, &kDigestSha512}) {
        SCOPED_TRACE(a->name);
        const size_t word = a->block_size / 16, lengthSize = 2 * word;
        const bool bigEndian = a != &kDigestMd5;
        DigestContext context, reference;
        ASSERT_EQ(1, DigestInit(&context, a));
        ASSERT_EQ(1, DigestInit(&reference, a));
        context.length_high = word == 8 ? high : 0;
        context.length_low = low;
        const uint64_t bits[2] = {low << 3, (context.length_high << 3) | (low >> 61)};
        uint8_t block[kDigestMaxBlockSize] = {0x80};
        for (size_t i = 0; i < lengthSize; ++i) // byte i counted from the least significant
            block[a->block_size - (bigEndian ? i + 1 : lengthSize - i)] =
                static_cast<uint8_t>(bits[i / 8] >> (8 * (i % 8)));
        a->compress(&reference, block, 1);
        std::string expected;
        for (size_t i = 0; i < a->digest_size; ++i) {
            const uint64_t v = word == 8 ? reference.state.w64[i / 8] : reference.state.w32[i / 4];
            expected += static_cast<char>(v >> (8 * (bigEndian ? word - 1 - i % word : i % word)));
        }
        ASSERT_EQ(1, DigestFinal(&context, g_out, sizeof g_out));
        EXPECT_EQ(Hex(expected.data(), expected.size()), Hex(g_out, a->digest_size));
    }
}

// Refused calls write nothing; a final, refused or not, wipes the context.
TEST(Digest, RefusedArgumentsAndWiping) {
    DigestContext context = {}, cleared = {};
    EXPECT_EQ(0, DigestInit(nullptr, &kDigestSha256));
    EXPECT_EQ(0, DigestInit(&context, nullptr));
    EXPECT_EQ(0, DigestUpdate(&context, "a", 1)); // never started
    EXPECT_EQ(0, DigestFinal(&context, g_out, sizeof g_out));
    EXPECT_EQ(0, DigestUpdate(nullptr, "a", 1));
    EXPECT_EQ(0, DigestFinal(nullptr, g_out, sizeof g_out));
    EXPECT_EQ(0, Digest(nullptr, "abc", 3, g_out, sizeof g_out));
    FOR_EACH_CASE(a, kEveryDigest) {
        const size_t size = a->digest_size;
        for (size_t outSize : {size - 1, size_t{0}, size}) {
            memset(g_out, 0xA5, sizeof g_out);
            ASSERT_EQ(1, DigestInit(&context, a));
            EXPECT_EQ(0, DigestUpdate(&context, nullptr, 1));
            EXPECT_EQ(1, DigestUpdate(&context, nullptr, 0));
            EXPECT_EQ(1, DigestUpdate(&context, "abc", 3));
            EXPECT_EQ(outSize == size, DigestFinal(&context, outSize ? g_out : nullptr, outSize));
            EXPECT_EQ(0, memcmp(&context, &cleared, sizeof context));
            EXPECT_EQ(0, DigestUpdate(&context, "abc", 3)); // a wiped context is not started
            const size_t written = outSize == size ? size : 0;
            EXPECT_EQ(
                std::string(sizeof g_out - written, '\xA5'),
                std::string(reinterpret_cast<char*>(g_out) + written, sizeof g_out - written));
            if (written != 0) {
                EXPECT_EQ(DigestHex(a, "abc"), Hex(g_out, size));
            }
            EXPECT_EQ(0, Digest(a, "abc", 3, g_out, size - 1));
            EXPECT_EQ(0, Digest(a, nullptr, 3, g_out, size));
        }
    }
}

// Each space-separated name of a row finds the row's algorithm.
TEST(Digest, ByNameIgnoresCaseAndSeparators) {
    const std::pair<const char*, const DigestAlgorithm*> cases[] = {
        {"MD5 md5", &kDigestMd5},
        {"SHA-1 sha1", &kDigestSha1},
        {"SHA224", &kDigestSha224},
        {"sha-256", &kDigestSha256},
        {"Sha384", &kDigestSha384},
        {"SHA-512 SHA-512/", &kDigestSha512},
        {"SHA-512/224", &kDigestSha512_224},
        {"sha512_256", &kDigestSha512_256},
        {"SHA SHA-2 SHA-5122 SHA-512/2566", nullptr}};
    FOR_EACH_CASE(c, cases) {
        std::istringstream names(c.first);
        for (std::string name; names >> name;)
            EXPECT_EQ(c.second, DigestByName(name.c_str())) << name;
    }
    for (const char* name : {"SHA-256 ", "", static_cast<const char*>(nullptr)})
        EXPECT_EQ(nullptr, DigestByName(name));
}

// DigestInfo ::= SEQUENCE { SEQUENCE { OID, NULL }, OCTET STRING } up to the digest bytes,
// with each algorithm's registered identifier (its DER contents in hex).
TEST(Digest, DescriptorsAndDigestInfoPrefixes) {
    const char kNist[] = "6086480165030402"; // 2.16.840.1.101.3.4.2, then the last arc
    const struct {
        const DigestAlgorithm* algorithm;
        uint32_t digestSize, blockSize;
        std::string oid;
    } cases[] = {
        {&kDigestMd5, 16, 64, "2a864886f70d0205"},
        {&kDigestSha1, 20, 64, "2b0e03021a"},
        {&kDigestSha224, 28, 64, kNist + std::string("04")},
        {&kDigestSha256, 32, 64, kNist + std::string("01")},
        {&kDigestSha384, 48, 128, kNist + std::string("02")},
        {&kDigestSha512, 64, 128, kNist + std::string("03")},
        {&kDigestSha512_224, 28, 128, kNist + std::string("05")},
        {&kDigestSha512_256, 32, 128, kNist + std::string("06")},
    };
    FOR_EACH_CASE(c, cases) {
        const DigestAlgorithm& a = *c.algorithm;
        EXPECT_EQ(c.digestSize, a.digest_size);
        EXPECT_EQ(c.blockSize, a.block_size);
        EXPECT_EQ(&a, DigestByName(a.name));
        const std::string oid = Unhex(c.oid);
        const char head[] = {0x30, static_cast<char>(8 + oid.size() + a.digest_size),
                             0x30, static_cast<char>(4 + oid.size()),
                             0x06, static_cast<char>(oid.size())};
        const std::string expected = std::string(head, sizeof head) + oid +
                                     std::string("\5\0\4", 3) + static_cast<char>(a.digest_size);
        EXPECT_EQ(Hex(expected.data(), expected.size()), Hex(a.der_prefix, a.der_prefix_size));
    }
}

} // namespace
