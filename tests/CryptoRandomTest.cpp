// The process-wide random generator: every size served whole, failure with the system
// generator (through the seam), many threads at once (also under ThreadSanitizer), and
// natively fork's children drawing other bytes than their parent.
#include "TestHelpers.h"

#include "crypto/HmacDrbg.h"
#include "crypto/Random.h"
#include "support/FakeEntropy.h"
#include "support/ForkDraw.h"

#include <set>
#include <thread>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Draw(size_t size, int expected = 1, uint8_t fill = 0) {
    Bytes out(size + 1, fill);
    EXPECT_EQ(expected, CryptoRandomBytes(out.data(), size));
    EXPECT_EQ(fill, out.back()) << "written past the end";
    out.pop_back();
    return out;
}

// Sizes around the generator's largest request: no 16-byte run is left as it was (which a
// run would be in two draws over different fills), no piece repeats the one before.
TEST(CryptoRandom, ServesEverySizeWhole) {
    const size_t max = kHmacDrbgMaxRequest;
    const size_t sizes[] = {1, 16, 65, max - 1, max, max + 1, 3 * max + 100};
    FOR_EACH_CASE(size, sizes) {
        Bytes zeros = Draw(size, 1, 0x00), ones = Draw(size, 1, 0xFF);
        for (size_t at = 0; at + 16 <= size; at += 16)
            ASSERT_FALSE(Bytes(zeros.begin() + at, zeros.begin() + at + 16) == Bytes(16, 0) &&
                         Bytes(ones.begin() + at, ones.begin() + at + 16) == Bytes(16, 0xFF))
                << "bytes " << at << " to " << at + 15;
        for (size_t at = max; at + 64 <= size; at += max)
            EXPECT_FALSE(std::equal(zeros.begin(), zeros.begin() + 64, zeros.begin() + at));
    }
    EXPECT_EQ(1, CryptoRandomBytes(nullptr, 0));
    EXPECT_EQ(0, CryptoRandomBytes(nullptr, 1));
}

// A failing system generator fails the request, whether the generator must reseed (in
// another process) or instantiate (after that failure dropped it), and wipes the buffer;
// once the system answers again, so does the generator, polling only to instantiate.
TEST(CryptoRandom, FailsWithTheSystemGenerator) {
    Draw(16);
    FakeEntropy fake;
    fake.preferred = FakeEntropy::kPartial;
    fake.fallback = FakeEntropy::kFail;
    fake.processIdOffset = 1;
    EXPECT_EQ(Bytes(100, 0), Draw(100, 0, 0xAA));
    fake.processIdOffset = 0;
    EXPECT_EQ(Bytes(kHmacDrbgMaxRequest + 1, 0), Draw(kHmacDrbgMaxRequest + 1, 0, 0xAA));
    EXPECT_EQ(2, fake.preferredCalls);
    fake.preferred = FakeEntropy::kSystem;
    EXPECT_NE(Draw(32), Draw(32));
    EXPECT_EQ(3, fake.preferredCalls);
}

// Many threads at once, racing to instantiate the generator: every draw its own bytes.
TEST(CryptoRandom, ManyThreadsDrawDistinctBytes) {
    {
        FakeEntropy fake; // a failed reseed drops the generator
        fake.preferred = fake.fallback = FakeEntropy::kFail;
        fake.processIdOffset = 1;
        Draw(16, 0);
    }
    const int threads = 8, draws = 200;
    std::vector<std::vector<Bytes>> heads(threads);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([t, &heads] {
            for (int i = 0; i < draws; ++i) {
                Bytes out(16 + (t * 7919 + i * 104729) % 3000);
                if (CryptoRandomBytes(out.data(), out.size()))
                    heads[t].emplace_back(out.begin(), out.begin() + 16);
            }
        });
    std::set<Bytes> seen;
    for (int t = 0; t < threads; ++t) {
        workers[t].join();
        EXPECT_EQ(static_cast<size_t>(draws), heads[t].size()) << "thread " << t;
        seen.insert(heads[t].begin(), heads[t].end());
    }
    EXPECT_EQ(static_cast<size_t>(threads * draws), seen.size());
}

#ifndef _WIN32
TEST(CryptoRandom, ForkedChildrenDrawOtherBytes) {
    Draw(16);
    Bytes first = DrawInForkedChild(CryptoRandomBytes);
    Bytes second = DrawInForkedChild(CryptoRandomBytes);
    Bytes parent = Draw(64);
    EXPECT_NE(parent, first);
    EXPECT_NE(parent, second);
    EXPECT_NE(first, second);
}
#endif

} // namespace
