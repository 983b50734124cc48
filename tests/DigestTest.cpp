// The digest calls beyond the known answers: splits of the input, the length limits,
// arguments the calls refuse, wiping, forks of a running digest, lookup by name and the
// descriptors' DigestInfo prefixes.
#include "crypto/Digest.h"
#include "CryptoTestHelpers.h"
#include "TestHelpers.h"

#include <cstring>
#include <random>
#include <vector>

namespace {

std::string RandomBytes(size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(generator());
    return bytes;
}

bool AllZero(const void* data, size_t size) {
    const std::string zeros(size, '\0');
    return memcmp(data, zeros.data(), size) == 0;
}

// Every split point of messages around the block and padding boundaries, on both engines,
// gives the one-shot digest (which the vectors check).
TEST(Digest, AnySplitGivesTheSameDigest) {
    for (int portable = 0; portable < 2; ++portable) {
        EngineScope engine(portable);
        FOR_EACH_CASE(algorithm, kEveryDigest) {
            const size_t block = algorithm->block_size;
            for (size_t size : {block - 9, block - 8, block, 2 * block + 1, 3 * block + 17}) {
                const std::string message = RandomBytes(size, static_cast<unsigned>(size));
                const std::string whole = DigestHex(algorithm, message);
                for (size_t split = 0; split <= size; split += 1 + split % 7) {
                    DigestContext context;
                    ASSERT_EQ(1, DigestInit(&context, algorithm));
                    ASSERT_EQ(1, DigestUpdate(&context, message.data(), split));
                    ASSERT_EQ(1, DigestUpdate(&context, nullptr, 0));
                    ASSERT_EQ(1, DigestUpdate(&context, message.data() + split, size - split));
                    uint8_t out[kDigestMaxSize];
                    ASSERT_EQ(1, DigestFinal(&context, out, algorithm->digest_size));
                    EXPECT_EQ(whole, Hex(out, algorithm->digest_size))
                        << algorithm->name << " size " << size << " split " << split;
                }
            }
        }
    }
}

// A context copied in the middle continues on its own.
TEST(Digest, CopiedContextForksTheDigest) {
    const std::string head = RandomBytes(100, 1), tailA = "first tail", tailB = "second";
    FOR_EACH_CASE(algorithm, kEveryDigest) {
        DigestContext context, fork;
        ASSERT_EQ(1, DigestInit(&context, algorithm));
        ASSERT_EQ(1, DigestUpdate(&context, head.data(), head.size()));
        fork = context;
        uint8_t a[kDigestMaxSize], b[kDigestMaxSize];
        ASSERT_EQ(1, DigestUpdate(&context, tailA.data(), tailA.size()));
        ASSERT_EQ(1, DigestUpdate(&fork, tailB.data(), tailB.size()));
        ASSERT_EQ(1, DigestFinal(&context, a, sizeof a));
        ASSERT_EQ(1, DigestFinal(&fork, b, sizeof b));
        EXPECT_EQ(DigestHex(algorithm, head + tailA), Hex(a, algorithm->digest_size));
        EXPECT_EQ(DigestHex(algorithm, head + tailB), Hex(b, algorithm->digest_size));
    }
}

// The message may grow to 2^64 - 1 bits (2^61 - 1 bytes) for the 64-byte-block SHAs and to
// 2^128 - 1 bits for the SHA-512 family; MD5 counts on modulo 2^64 bits. A refused update
// changes nothing.
TEST(Digest, LengthLimits) {
    const uint64_t kMax61 = (uint64_t{1} << 61) - 1;
    struct Case {
        const DigestAlgorithm* algorithm;
        uint64_t high, low; // bytes already counted
        size_t size;
        int accepted;
    } cases[] = {
        {&kDigestSha256, 0, kMax61 - 10, 10, 1},
        {&kDigestSha256, 0, kMax61 - 10, 11, 0},
        {&kDigestSha256, 0, kMax61, 1, 0},
        {&kDigestSha224, 0, kMax61, 1, 0},
        {&kDigestSha1, 0, kMax61 - 3, 3, 1},
        {&kDigestSha1, 0, kMax61 - 3, 4, 0},
        {&kDigestSha512, kMax61, ~uint64_t{0} - 5, 5, 1},
        {&kDigestSha512, kMax61, ~uint64_t{0} - 5, 6, 0},
        {&kDigestSha384, kMax61 - 1, ~uint64_t{0}, 1, 1}, // carries into the high half
        {&kDigestSha512_256, kMax61, ~uint64_t{0}, 1, 0},
        {&kDigestMd5, 0, ~uint64_t{0} - 1, 5, 1},
    };
    const std::string bytes(16, 'x');
    FOR_EACH_CASE(c, cases) {
        DigestContext context;
        ASSERT_EQ(1, DigestInit(&context, c.algorithm));
        ASSERT_EQ(1, DigestUpdate(&context, bytes.data(), 3)); // a partial block waits
        context.length_high = c.high;
        context.length_low = c.low;
        const DigestContext before = context;
        EXPECT_EQ(c.accepted, DigestUpdate(&context, bytes.data(), c.size));
        if (!c.accepted)
            EXPECT_EQ(0, memcmp(&before, &context, sizeof context));
        else
            EXPECT_EQ(c.low + c.size, context.length_low);
    }
}

TEST(Digest, RefusedArgumentsAndWiping) {
    DigestContext context, cleared;
    memset(&cleared, 0, sizeof cleared);
    uint8_t out[kDigestMaxSize];
    EXPECT_EQ(0, DigestInit(nullptr, &kDigestSha256));
    EXPECT_EQ(0, DigestInit(&context, nullptr));
    context = cleared; // never started
    EXPECT_EQ(0, DigestUpdate(&context, "a", 1));
    EXPECT_EQ(0, DigestFinal(&context, out, sizeof out));
    EXPECT_EQ(0, DigestUpdate(nullptr, "a", 1));
    EXPECT_EQ(0, DigestFinal(nullptr, out, sizeof out));
    FOR_EACH_CASE(algorithm, kEveryDigest) {
        ASSERT_EQ(1, DigestInit(&context, algorithm));
        EXPECT_EQ(0, DigestUpdate(&context, nullptr, 1));
        EXPECT_EQ(1, DigestUpdate(&context, "abc", 3));
        // Too small or no output: refused, and the context is wiped all the same.
        memset(out, 0xA5, sizeof out);
        EXPECT_EQ(0, DigestFinal(&context, out, algorithm->digest_size - 1));
        EXPECT_TRUE(AllZero(&context, sizeof context));
        EXPECT_EQ(std::string(sizeof out, '\xA5'),
                  std::string(reinterpret_cast<char*>(out), sizeof out));
        EXPECT_EQ(0, DigestUpdate(&context, "abc", 3)); // a wiped context is not started
        ASSERT_EQ(1, DigestInit(&context, algorithm));
        EXPECT_EQ(0, DigestFinal(&context, nullptr, 64));
        EXPECT_TRUE(AllZero(&context, sizeof context));
        // A good final writes exactly digest_size bytes and wipes too.
        ASSERT_EQ(1, DigestInit(&context, algorithm));
        ASSERT_EQ(1, DigestUpdate(&context, "abc", 3));
        memset(out, 0xA5, sizeof out);
        ASSERT_EQ(1, DigestFinal(&context, out, algorithm->digest_size));
        EXPECT_TRUE(AllZero(&context, sizeof context));
        EXPECT_EQ(DigestHex(algorithm, "abc"), Hex(out, algorithm->digest_size));
        EXPECT_EQ(std::string(kDigestMaxSize - algorithm->digest_size, '\xA5'),
                  std::string(reinterpret_cast<char*>(out) + algorithm->digest_size,
                              kDigestMaxSize - algorithm->digest_size));
        EXPECT_EQ(0, Digest(algorithm, "abc", 3, out, algorithm->digest_size - 1));
        EXPECT_EQ(0, Digest(algorithm, nullptr, 3, out, sizeof out));
        EXPECT_EQ(DigestHex(algorithm, ""), DigestHex(algorithm, std::string()));
    }
    EXPECT_EQ(0, Digest(nullptr, "abc", 3, out, sizeof out));
}

TEST(Digest, ByNameIgnoresCaseAndSeparators) {
    const std::pair<const char*, const DigestAlgorithm*> cases[] = {
        {"MD5", &kDigestMd5},
        {"md5", &kDigestMd5},
        {"SHA-1", &kDigestSha1},
        {"sha1", &kDigestSha1},
        {"SHA224", &kDigestSha224},
        {"sha-256", &kDigestSha256},
        {"Sha384", &kDigestSha384},
        {"SHA-512", &kDigestSha512},
        {"SHA-512/224", &kDigestSha512_224},
        {"sha512-256", &kDigestSha512_256},
        {"sha512_256", &kDigestSha512_256},
        {"SHA-512/", &kDigestSha512},
        {"SHA", nullptr},
        {"SHA-2", nullptr},
        {"SHA-5122", nullptr},
        {"SHA-512/2566", nullptr},
        {"SHA-256 ", nullptr},
        {"", nullptr},
        {nullptr, nullptr},
    };
    FOR_EACH_CASE(c, cases) {
        EXPECT_EQ(c.second, DigestByName(c.first)) << (c.first ? c.first : "(null)");
    }
    FOR_EACH_CASE(algorithm, kEveryDigest) {
        EXPECT_EQ(algorithm, DigestByName(algorithm->name));
    }
}

// DER of an OBJECT IDENTIFIER's contents from its dotted form.
std::string OidBytes(const std::vector<uint64_t>& arcs) {
    std::string der(1, static_cast<char>(arcs[0] * 40 + arcs[1]));
    for (size_t i = 2; i < arcs.size(); ++i) {
        std::string base128;
        for (uint64_t v = arcs[i], last = 1; v != 0 || last; v >>= 7, last = 0)
            base128.insert(base128.begin(), static_cast<char>((v & 0x7f) | (last ? 0 : 0x80)));
        der += base128;
    }
    return der;
}

// Each prefix is DigestInfo ::= SEQUENCE { SEQUENCE { OID, NULL }, OCTET STRING } up to the
// digest, with the algorithm's registered identifier and the right lengths.
TEST(Digest, DescriptorsAndDigestInfoPrefixes) {
    const std::vector<uint64_t> nist = {2, 16, 840, 1, 101, 3, 4, 2};
    auto Nist = [&nist](uint64_t last) {
        std::vector<uint64_t> arcs = nist;
        arcs.push_back(last);
        return arcs;
    };
    const struct {
        const DigestAlgorithm* algorithm;
        uint32_t digestSize, blockSize;
        std::vector<uint64_t> oid;
    } cases[] = {
        {&kDigestMd5, 16, 64, {1, 2, 840, 113549, 2, 5}},
        {&kDigestSha1, 20, 64, {1, 3, 14, 3, 2, 26}},
        {&kDigestSha224, 28, 64, Nist(4)},
        {&kDigestSha256, 32, 64, Nist(1)},
        {&kDigestSha384, 48, 128, Nist(2)},
        {&kDigestSha512, 64, 128, Nist(3)},
        {&kDigestSha512_224, 28, 128, Nist(5)},
        {&kDigestSha512_256, 32, 128, Nist(6)},
    };
    FOR_EACH_CASE(c, cases) {
        const DigestAlgorithm& a = *c.algorithm;
        EXPECT_EQ(c.digestSize, a.digest_size);
        EXPECT_EQ(c.blockSize, a.block_size);
        const std::string oid = OidBytes(c.oid);
        std::string expected = {0x30, static_cast<char>(8 + oid.size() + a.digest_size),
                                0x30, static_cast<char>(4 + oid.size()),
                                0x06, static_cast<char>(oid.size())};
        expected += oid + std::string("\x05\x00\x04", 3) + static_cast<char>(a.digest_size);
        EXPECT_EQ(Hex(expected.data(), expected.size()), Hex(a.der_prefix, a.der_prefix_size))
            << a.name;
    }
}

TEST(Digest, PortableCanBeForced) {
    DigestUsePortable(1);
    EXPECT_EQ(0, DigestAccelerated());
    DigestContext context;
    ASSERT_EQ(1, DigestInit(&context, &kDigestSha256));
    DigestUsePortable(0);
    EXPECT_EQ(CpuHasSha() ? 1 : 0, DigestAccelerated());
    // A context keeps the engine it started with; both give the same digest.
    ASSERT_EQ(1, DigestUpdate(&context, "abc", 3));
    uint8_t out[32];
    ASSERT_EQ(1, DigestFinal(&context, out, sizeof out));
    EXPECT_EQ(DigestHex(&kDigestSha256, "abc"), Hex(out, sizeof out));
}

// The final block carries the length in bits, all 64 or 128 of them: a context that
// claims a long message (no bytes waiting) ends in the block built here by hand.
TEST(Digest, PaddingCarriesTheWholeBitLength) {
    const struct {
        const DigestAlgorithm* algorithm;
        uint32_t lengthSize;
        bool bigEndian;
    } cases[] = {
        {&kDigestMd5, 8, false},    {&kDigestSha1, 8, true},    {&kDigestSha256, 8, true},
        {&kDigestSha512, 16, true}, {&kDigestSha384, 16, true},
    };
    const uint64_t high = 0x0123456789abcdefull >> 3, low = 0xe000000000000007ull;
    FOR_EACH_CASE(c, cases) {
        const DigestAlgorithm* algorithm = c.algorithm;
        DigestContext context, reference;
        ASSERT_EQ(1, DigestInit(&context, algorithm));
        ASSERT_EQ(1, DigestInit(&reference, algorithm));
        context.length_high = algorithm->block_size == 128 ? high : 0;
        context.length_low = low;
        // Bits = bytes * 8 over 128 bits, written in the algorithm's byte order.
        const uint64_t bits[2] = {(context.length_high << 3) | (low >> 61), low << 3};
        uint8_t block[kDigestMaxBlockSize] = {0x80};
        uint8_t* length = block + algorithm->block_size;
        for (uint32_t i = 0; i < c.lengthSize; ++i) {
            const uint64_t word = bits[1 - i / 8];
            const uint8_t byte = static_cast<uint8_t>(word >> (8 * (i % 8)));
            if (c.bigEndian)
                length[-1 - static_cast<int>(i)] = byte;
            else
                length[static_cast<int>(i) - static_cast<int>(c.lengthSize)] = byte;
        }
        algorithm->compress(&reference, block, 1);
        std::string expected;
        for (uint32_t i = 0; i < algorithm->digest_size; ++i) {
            const size_t word = algorithm->block_size == 128 ? 8 : 4;
            const uint64_t value =
                word == 8 ? reference.state.w64[i / 8] : reference.state.w32[i / 4];
            const size_t shift = c.bigEndian ? word - 1 - i % word : i % word;
            expected += static_cast<char>(value >> (8 * shift));
        }
        uint8_t out[kDigestMaxSize];
        ASSERT_EQ(1, DigestFinal(&context, out, sizeof out));
        EXPECT_EQ(Hex(expected.data(), expected.size()), Hex(out, algorithm->digest_size));
    }
}

} // namespace
