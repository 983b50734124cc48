// HMAC_DRBG: OpenSSL 3's answers for both digests (checked in, so that the Windows build
// runs them too), the limits of its arguments, the reseed counter, wiping, and reseeding
// from the poll: after the interval, in another process, and failing with the system
// generator.
#include "TestHelpers.h"

#include "CryptoTestHelpers.h"
#include "crypto/HmacDrbg.h"
#include "support/FakeEntropy.h"

#include <cstring>

namespace {

using Bytes = std::vector<uint8_t>;

// Instantiate, generate, reseed (unless reseedEntropy is null), generate; inputs in hex.
struct DrbgVector {
    const char* digest;
    const char *entropy, *nonce, *personalisation, *additional1;
    const char *reseedEntropy, *reseedAdditional, *additional2;
    size_t size;
    // Both outputs in hex, or for outputs longer than 128 bytes their SHA-256.
    const char *first, *second;
};

// Made by tests/generators/HmacDrbgVectors.cpp (target kiv_hmac_drbg_vectors of the native
// build) with OpenSSL 3.0.22's "HMAC-DRBG" over a "TEST-RAND" parent that hands out the
// entropy and nonce: a selection of its output pasted here. OpenSSL was given an empty but non-null
// personalisation where there is none, as it puts a string of its own in place of a null.
const DrbgVector kOpenSslVectors[] = {
    {"SHA-512",
     "6e43bfff92d0ce98d31e6b9e537af710a55362ee063fe9bc32f7195978cabbb7bf5986dda0d88d6c27ab02246e30f"
     "571",
     "107dab9c204a0da137501789676c705d",
     "03de202cc9e2d23dbed87af7f677b04fc436bd7dd6f2c0623da9e7125aed73fe",
     "0e0136830f12116a52c9b39843f91e1ae8d3f4a301399c960019b404fd11f7d5",
     "9eef6dbc71d2a3518f1c89a3b0414641cb290d4d7b054b7f71065e9fdd5f4f3d",
     "6fd3d79bc38dfbe5a86249a221c7755a9469e9868ebb1df6cff67fe03da8b1d7",
     "c439a274616c44b2a94488c5b948295c65d47b22d182448bbd3f21572fbd7e67", 100,
     "ea0067cb759b41f73603ec60818a2eb31e1d90556e532e7400bed7954ea6d8d767f6150f06fd3d19e308f7539f0aa"
     "45d74e46d29bacb325b1b003b46b8e34403b14e3ea042c63baf0e87c7339ba3f35cb62349621d303902059ead465f"
     "6f5a49aaeed193",
     "7c64c96ce9c9b245596503add4a527eb5929fe1a84b28067ad8c09152e0b05a1a1a410da89f28d555e0afa578873a"
     "052482a4a619dbcfbb457e098664a4c0e865b70bec533fc692e75079c59d45e31d9758e704678d74178570387e589"
     "7199f230e8f381"},
    {"SHA-512", "1d102a7d6b716096f744235554e521f4b0245c210b7a34736a8d446b6533ec9fc4d90b490acb0a20",
     "d200664557e977ebfa1ce32e276af3f46dc35dcb", "", "09abc3fe2d9ac60cc1915e52e76cac2d47",
     "deb57f9362eea3ff0710843463eefb149c294371b59a8f6ae0035603c9ece076b6d442a0a6b527e7435d3af8f76cf"
     "744",
     "", "", 65536, "0cc9f77eb7e616c6e25a6a1bd541e461308024f4e1c5863238a04423f7902ed4",
     "7c7d0c544b02ae77837c267eb2a4607456e8b6492cdeebd622c9a927a4a38a89"},
    {"SHA-256", "9cb8ccc6219f82d8c5d246eb2692662edd991c0e29d14ff7fc08a21f7e298837",
     "7c62d1886f3a8c114de68db19ac95fed", "3a76f5214f517303e53941d2b58b0406",
     "a5c49274bd797b092153e68f65c28351",
     "680ffa8baaa3d579b006090dd33dbd73b3e6e4bb6e528590887085903dd3bda8",
     "beead696150f6c7bb4f6624c5cc47e2c", "cdf00edbfdad6be1ebec4b0bdf40d8b0", 33,
     "0ae4875b26b5d83970f3887aa960b2e19ba4ea5823385d29164c53028741d540bb",
     "66fd9d4f2a26691a5c0c56587a1fbb03f66cd5f01ee43888262eda9d96b375d9c1"},
    {"SHA-256", "9c16db572a812e3ae3044ce6f907ebd0cc6d19a2b2eb67ea4e9730b8e2408ec702",
     "3b3285c9680d8af54039d4046d7149c4fa", "46", "a5",
     "a349580b86a10c3b90f5c9b5fc316d39663269429407d4099b1a3edfb4d2a4dc84", "78", "c2", 1000,
     "bf2c2dddda093f3c2387b3f7bc56b720850a618d8e3a4b13454fe3624d4adb69",
     "e213c4f218e15bfbc890c156163008992a776eddd9ebc236daa4e3ba189b81a5"},
};

// An output as the table holds it.
std::string TableForm(const std::string& output) {
    return output.size() <= 128 ? Hex(output.data(), output.size())
                                : DigestHex(&kDigestSha256, output);
}

TEST(HmacDrbg, GivesOpenSslsAnswers) {
    FOR_EACH_CASE(v, kOpenSslVectors) {
        const std::string in[] = {Unhex(v.entropy),
                                  Unhex(v.nonce),
                                  Unhex(v.personalisation),
                                  Unhex(v.additional1),
                                  Unhex(v.reseedEntropy ? v.reseedEntropy : ""),
                                  Unhex(v.reseedAdditional),
                                  Unhex(v.additional2)};
        HmacDrbg drbg;
        ASSERT_EQ(1, HmacDrbgInstantiateWith(&drbg,
                                             std::string(v.digest) == "SHA-512" ? &kDigestSha512
                                                                                : &kDigestSha256,
                                             in[0].data(), in[0].size(), in[1].data(), in[1].size(),
                                             in[2].data(), in[2].size()));
        std::string first(v.size, 0), second(v.size, 0);
        EXPECT_EQ(1, HmacDrbgGenerate(&drbg, &first[0], v.size, in[3].data(), in[3].size()));
        if (v.reseedEntropy != nullptr) {
            EXPECT_EQ(1, HmacDrbgReseedWith(&drbg, in[4].data(), in[4].size(), in[5].data(),
                                            in[5].size()));
        }
        EXPECT_EQ(1, HmacDrbgGenerate(&drbg, &second[0], v.size, in[6].data(), in[6].size()));
        EXPECT_EQ(v.first, TableForm(first));
        EXPECT_EQ(v.second, TableForm(second));
        HmacDrbgUninstantiate(&drbg);
    }
}

// The record's bytes, to see that a refused call changed nothing or that it was wiped.
Bytes State(const HmacDrbg& drbg) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&drbg);
    return Bytes(p, p + sizeof drbg);
}
const Bytes kWiped(sizeof(HmacDrbg), 0);

const Bytes kBig(kHmacDrbgMaxInput + 1, 0x33);
const uint8_t* const kData = kBig.data();

void InstantiateFixed(HmacDrbg* drbg, const DigestAlgorithm* algorithm = &kDigestSha512) {
    ASSERT_EQ(1, HmacDrbgInstantiateWith(drbg, algorithm, kData, 32, kData, 16, nullptr, 0));
}

// Every call against the limits of its inputs. A refused instantiation wipes the record; a
// refused reseed or request changes nothing but wipes the request's output.
TEST(HmacDrbg, TakesOnlyWhatTheStandardAllows) {
    enum Call { kInstantiate, kReseed, kGenerate };
    const size_t max = kHmacDrbgMaxInput;
    struct Case {
        Call call;
        const DigestAlgorithm* algorithm;
        const uint8_t *a, *b, *c;   // instantiate: entropy, nonce, personalisation; reseed:
        size_t aSize, bSize, cSize; // entropy, additional; generate: (out), additional
        int result;
    } cases[] = {
        {kInstantiate, &kDigestSha256, kData, kData, nullptr, 32, 16, 0, 1},
        {kInstantiate, &kDigestSha512, kData, kData, kData, max, max, max, 1},
        {kInstantiate, &kDigestSha1, kData, kData, nullptr, 32, 16, 0, 0},
        {kInstantiate, &kDigestSha384, kData, kData, nullptr, 32, 16, 0, 0},
        {kInstantiate, nullptr, kData, kData, nullptr, 32, 16, 0, 0},
        {kInstantiate, &kDigestSha512, kData, kData, nullptr, 31, 16, 0, 0},
        {kInstantiate, &kDigestSha512, kData, kData, nullptr, 32, 15, 0, 0},
        {kInstantiate, &kDigestSha512, nullptr, kData, nullptr, 32, 16, 0, 0},
        {kInstantiate, &kDigestSha512, kData, nullptr, nullptr, 32, 16, 0, 0},
        {kInstantiate, &kDigestSha512, kData, kData, nullptr, 32, 16, 1, 0},
        {kInstantiate, &kDigestSha512, kData, kData, nullptr, max + 1, 16, 0, 0},
        {kInstantiate, &kDigestSha512, kData, kData, nullptr, 32, max + 1, 0, 0},
        {kInstantiate, &kDigestSha512, kData, kData, kData, 32, 16, max + 1, 0},
        {kReseed, nullptr, kData, nullptr, nullptr, 32, 0, 0, 1},
        {kReseed, nullptr, kData, kData, nullptr, max, max, 0, 1},
        {kReseed, nullptr, kData, nullptr, nullptr, 31, 0, 0, 0},
        {kReseed, nullptr, nullptr, nullptr, nullptr, 32, 0, 0, 0},
        {kReseed, nullptr, kData, nullptr, nullptr, max + 1, 0, 0, 0},
        {kReseed, nullptr, kData, nullptr, nullptr, 32, 1, 0, 0},
        {kReseed, nullptr, kData, kData, nullptr, 32, max + 1, 0, 0},
        {kGenerate, nullptr, nullptr, nullptr, nullptr, kHmacDrbgMaxRequest, 0, 0, 1},
        {kGenerate, nullptr, nullptr, kData, nullptr, 1, max, 0, 1},
        {kGenerate, nullptr, nullptr, nullptr, nullptr, 0, 0, 0, 1},
        {kGenerate, nullptr, nullptr, nullptr, nullptr, kHmacDrbgMaxRequest + 1, 0, 0, 0},
        {kGenerate, nullptr, nullptr, kData, nullptr, 1, max + 1, 0, 0},
        {kGenerate, nullptr, nullptr, nullptr, nullptr, 1, 1, 0, 0},
    };
    FOR_EACH_CASE(c, cases) {
        FakeEntropy fake;
        HmacDrbg drbg;
        std::memset(&drbg, 0xAA, sizeof drbg);
        if (c.call != kInstantiate)
            InstantiateFixed(&drbg);
        Bytes before = State(drbg), out(c.aSize + 1, 0xAA);
        switch (c.call) {
        case kInstantiate:
            EXPECT_EQ(c.result, HmacDrbgInstantiateWith(&drbg, c.algorithm, c.a, c.aSize, c.b,
                                                        c.bSize, c.c, c.cSize));
            EXPECT_EQ(c.result == 0, State(drbg) == kWiped);
            EXPECT_EQ(c.result ? c.algorithm : nullptr, drbg.algorithm);
            break;
        case kReseed:
            EXPECT_EQ(c.result, HmacDrbgReseedWith(&drbg, c.a, c.aSize, c.b, c.bSize));
            EXPECT_EQ(c.result == 0, before == State(drbg));
            // The poll's reseed refuses the same additional input, before polling.
            if (c.a != nullptr && c.aSize == 32) {
                EXPECT_EQ(c.result, HmacDrbgReseed(&drbg, c.b, c.bSize));
                EXPECT_EQ(c.result, fake.preferredCalls);
            }
            break;
        case kGenerate:
            EXPECT_EQ(c.result, HmacDrbgGenerate(&drbg, out.data(), c.aSize, c.b, c.bSize));
            EXPECT_EQ(0xAA, out.back()) << "written past the end";
            EXPECT_EQ(c.result ? 2u : 1u, drbg.reseed_counter);
            EXPECT_EQ(c.result == 0, before == State(drbg));
            EXPECT_TRUE(c.result || Bytes(c.aSize, 0) == Bytes(out.begin(), out.end() - 1));
            break;
        }
        HmacDrbgUninstantiate(&drbg);
    }
    HmacDrbg drbg;
    InstantiateFixed(&drbg);
    EXPECT_EQ(0, HmacDrbgGenerate(&drbg, nullptr, 1, nullptr, 0));
    EXPECT_EQ(1, HmacDrbgGenerate(&drbg, nullptr, 0, nullptr, 0));
    EXPECT_EQ(2u, drbg.reseed_counter);
    // Wiped, it serves no more until instantiated again, and then from the start.
    HmacDrbgUninstantiate(&drbg);
    EXPECT_EQ(kWiped, State(drbg));
    uint8_t out[1];
    EXPECT_EQ(0, HmacDrbgGenerate(&drbg, out, 1, nullptr, 0));
    EXPECT_EQ(0, HmacDrbgReseed(&drbg, nullptr, 0));
    EXPECT_EQ(0, HmacDrbgReseedWith(&drbg, kData, 32, nullptr, 0));
    EXPECT_EQ(0, HmacDrbgInstantiate(nullptr, &kDigestSha512, nullptr, 0));
    EXPECT_EQ(0,
              HmacDrbgInstantiateWith(nullptr, &kDigestSha512, kData, 32, kData, 16, nullptr, 0));
    HmacDrbgUninstantiate(nullptr);
}

// Each request counts; a reseed starts the count again. Past the interval a generator of
// the poll reseeds by itself, exactly as an explicit reseed with the request's additional
// input would, which the request then does not take in a second time.
TEST(HmacDrbg, ReseedsFromThePollAfterTheInterval) {
    FakeEntropy fake;
    fake.preferred = FakeEntropy::kPattern;
    fake.fixedFigures = true;
    HmacDrbg drbg;
    ASSERT_EQ(1, HmacDrbgInstantiate(&drbg, &kDigestSha512, "p", 1));
    EXPECT_EQ(1u, drbg.reseed_counter);
    uint8_t out[40];
    ASSERT_EQ(1, HmacDrbgGenerate(&drbg, out, sizeof out, nullptr, 0));
    ASSERT_EQ(1, HmacDrbgGenerate(&drbg, out, sizeof out, nullptr, 0));
    EXPECT_EQ(3u, drbg.reseed_counter);
    ASSERT_EQ(1, HmacDrbgReseedWith(&drbg, kData, 32, nullptr, 0));
    EXPECT_EQ(1u, drbg.reseed_counter);

    const uint8_t additional[] = {1, 2, 3};
    const uint64_t counters[] = {kHmacDrbgReseedInterval, kHmacDrbgReseedInterval + 1, ~0ull};
    FOR_EACH_CASE(counter, counters) {
        drbg.reseed_counter = counter;
        const bool reseeds = counter > kHmacDrbgReseedInterval;
        HmacDrbg explicitly = drbg;
        int polls = fake.preferredCalls;
        Bytes automatic(100), expected(100);
        ASSERT_EQ(1, HmacDrbgGenerate(&drbg, automatic.data(), 100, additional, 3));
        EXPECT_EQ(polls + reseeds, fake.preferredCalls);
        EXPECT_EQ(reseeds ? 2u : counter + 1, drbg.reseed_counter);
        EXPECT_EQ(1, reseeds ? HmacDrbgReseed(&explicitly, additional, 3) : 1);
        ASSERT_EQ(1,
                  HmacDrbgGenerate(&explicitly, expected.data(), 100, additional, reseeds ? 0 : 3));
        EXPECT_EQ(expected, automatic);
        EXPECT_EQ(State(explicitly), State(drbg));
    }
    HmacDrbgUninstantiate(&drbg);
}

// In another process a generator of the poll reseeds before it serves, so that it does
// not repeat its parent; one of the caller's entropy refuses there, and past the interval,
// keeping its state.
TEST(HmacDrbg, ReseedsInAnotherProcess) {
    FakeEntropy fake;
    HmacDrbg parent, fixed;
    ASSERT_EQ(1, HmacDrbgInstantiate(&parent, &kDigestSha256, nullptr, 0));
    HmacDrbg child = parent;
    Bytes fromParent(64), fromChild(64);
    ASSERT_EQ(1, HmacDrbgGenerate(&parent, fromParent.data(), 64, nullptr, 0));
    fake.processIdOffset = 1;
    ASSERT_EQ(1, HmacDrbgGenerate(&child, fromChild.data(), 64, nullptr, 0));
    EXPECT_NE(fromParent, fromChild);
    ASSERT_EQ(1, HmacDrbgGenerate(&child, fromChild.data(), 64, nullptr, 0));
    EXPECT_EQ(2, fake.preferredCalls) << "one reseed in the child, no second";

    const uint64_t counters[] = {1, kHmacDrbgReseedInterval + 1};
    FOR_EACH_CASE(counter, counters) {
        fake.processIdOffset = 0;
        InstantiateFixed(&fixed);
        fixed.reseed_counter = counter;
        fake.processIdOffset = counter == 1;
        Bytes before = State(fixed), out(64, 0xAA);
        EXPECT_EQ(0, HmacDrbgGenerate(&fixed, out.data(), 64, nullptr, 0));
        EXPECT_EQ(Bytes(64, 0), out);
        EXPECT_EQ(before, State(fixed));
        EXPECT_EQ(2, fake.preferredCalls);
    }
}

// A failing system generator fails instantiation, reseeding and a request that must
// reseed first; the generator is then wiped, never left on old or weak seeds.
TEST(HmacDrbg, FailsWithTheSystemGenerator) {
    enum Step { kInstantiate, kReseed, kIntervalReseed, kProcessReseed };
    const Step steps[] = {kInstantiate, kReseed, kIntervalReseed, kProcessReseed};
    FOR_EACH_CASE(step, steps) {
        FakeEntropy fake;
        HmacDrbg drbg;
        if (step != kInstantiate) {
            ASSERT_EQ(1, HmacDrbgInstantiate(&drbg, &kDigestSha512, nullptr, 0));
        }
        fake.preferred = FakeEntropy::kPartial;
        fake.fallback = FakeEntropy::kFail;
        fake.preferredCalls = 0;
        Bytes out(64, 0xAA);
        if (step == kInstantiate)
            std::memset(&drbg, 0xAA, sizeof drbg);
        drbg.reseed_counter += step == kIntervalReseed ? kHmacDrbgReseedInterval : 0;
        fake.processIdOffset = step == kProcessReseed;
        EXPECT_EQ(0, step == kInstantiate ? HmacDrbgInstantiate(&drbg, &kDigestSha256, nullptr, 0)
                     : step == kReseed    ? HmacDrbgReseed(&drbg, "x", 1)
                                          : HmacDrbgGenerate(&drbg, out.data(), 64, nullptr, 0));
        EXPECT_EQ(1, fake.preferredCalls);
        EXPECT_EQ(kWiped, State(drbg));
        EXPECT_EQ(step < kIntervalReseed ? Bytes(64, 0xAA) : Bytes(64, 0), out);
    }
}

} // namespace
