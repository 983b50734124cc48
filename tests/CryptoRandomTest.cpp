// The process-wide random generator: every size served whole, failure with the system
// generator (through the seam), many threads at once (also under ThreadSanitizer), and
// natively a fork's child drawing other bytes than its parent.
#include "TestHelpers.h"

#include "crypto/HmacDrbg.h"
#include "crypto/Random.h"
#include "support/FakeEntropy.h"
#include "support/ForkDraw.h"

#include <algorithm>
#include <set>
#include <thread>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Draw(size_t size, uint8_t fill, int* result) {
    Bytes out(size + 1, fill);
    *result = CryptoRandomBytes(out.data(), size);
    EXPECT_EQ(fill, out.back()) << "written past the end";
    out.pop_back();
    return out;
}

// Sizes around the generator's largest request: every 16-byte run of the answer is written
// (a run the generator did not touch keeps its fill in two draws of different fills).
TEST(CryptoRandom, ServesEverySizeWhole) {
    const size_t sizes[] = {1,
                            16,
                            63,
                            64,
                            65,
                            kHmacDrbgMaxRequest - 1,
                            kHmacDrbgMaxRequest,
                            kHmacDrbgMaxRequest + 1,
                            3 * kHmacDrbgMaxRequest + 100};
    FOR_EACH_CASE(size, sizes) {
        int result = -1;
        Bytes zeros = Draw(size, 0x00, &result);
        ASSERT_EQ(1, result);
        Bytes ones = Draw(size, 0xFF, &result);
        ASSERT_EQ(1, result);
        EXPECT_NE(zeros, ones);
        for (size_t at = 0; at + 16 <= size; at += 16) {
            bool zerosKept = std::all_of(zeros.begin() + at, zeros.begin() + at + 16,
                                         [](uint8_t b) { return b == 0x00; });
            bool onesKept = std::all_of(ones.begin() + at, ones.begin() + at + 16,
                                        [](uint8_t b) { return b == 0xFF; });
            ASSERT_FALSE(zerosKept && onesKept) << "bytes " << at << " to " << at + 15;
        }
        // The pieces of a large request are not copies of each other.
        if (size >= kHmacDrbgMaxRequest + 64) {
            EXPECT_FALSE(
                std::equal(zeros.begin(), zeros.begin() + 64, zeros.begin() + kHmacDrbgMaxRequest));
        }
    }
    EXPECT_EQ(1, CryptoRandomBytes(nullptr, 0));
    EXPECT_EQ(0, CryptoRandomBytes(nullptr, 1));
}

// A failing system generator fails the request (whether the generator must reseed or
// instantiate), wiping the caller's buffer; once the system answers again, so does it.
TEST(CryptoRandom, FailsWithTheSystemGenerator) {
    int result = -1;
    Draw(16, 0, &result);
    ASSERT_EQ(1, result);
    {
        FakeEntropy fake;
        fake.preferred = FakeEntropy::kPartial;
        fake.fallback = FakeEntropy::kFail;
        // Another process: the generator must reseed first.
        fake.processIdOffset = 1;
        Bytes out = Draw(100, 0xAA, &result);
        EXPECT_EQ(0, result);
        EXPECT_EQ(Bytes(100, 0), out);
        EXPECT_EQ(1, fake.preferredCalls);
        // The failed generator was dropped: the next request instantiates, and fails too.
        fake.processIdOffset = 0;
        out = Draw(kHmacDrbgMaxRequest + 1, 0xAA, &result);
        EXPECT_EQ(0, result);
        EXPECT_EQ(Bytes(kHmacDrbgMaxRequest + 1, 0), out);
        EXPECT_EQ(2, fake.preferredCalls);
        fake.preferred = FakeEntropy::kSystem;
        Bytes first = Draw(32, 0, &result);
        EXPECT_EQ(1, result);
        EXPECT_EQ(3, fake.preferredCalls);
        // Instantiated now: no poll for the next request.
        Bytes second = Draw(32, 0, &result);
        EXPECT_EQ(1, result);
        EXPECT_EQ(3, fake.preferredCalls);
        EXPECT_NE(first, second);
    }
}

// Many threads at once, the first of them instantiating: every draw its own bytes.
TEST(CryptoRandom, ManyThreadsDrawDistinctBytes) {
    {
        // Drop the generator (a failed reseed does), so that the threads race to instantiate.
        FakeEntropy fake;
        fake.preferred = FakeEntropy::kFail;
        fake.fallback = FakeEntropy::kFail;
        fake.processIdOffset = 1;
        int result = -1;
        Draw(16, 0, &result);
        ASSERT_EQ(0, result);
    }
    const int threads = 8, draws = 200;
    std::vector<std::vector<Bytes>> heads(threads);
    std::vector<int> failures(threads, 0);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([t, &heads, &failures] {
            for (int i = 0; i < draws; ++i) {
                Bytes out(1 + (t * 7919 + i * 104729) % 3000);
                if (!CryptoRandomBytes(out.data(), out.size()) || out.size() < 16) {
                    failures[t] += out.size() >= 16;
                    continue;
                }
                heads[t].emplace_back(out.begin(), out.begin() + 16);
            }
        });
    for (auto& worker : workers)
        worker.join();
    std::set<Bytes> seen;
    size_t count = 0;
    for (int t = 0; t < threads; ++t) {
        EXPECT_EQ(0, failures[t]) << "thread " << t;
        count += heads[t].size();
        seen.insert(heads[t].begin(), heads[t].end());
    }
    EXPECT_GT(count, static_cast<size_t>(threads * draws * 9 / 10));
    EXPECT_EQ(count, seen.size());
}

#ifndef _WIN32
// Each child reseeds: two children of one parent, and the parent after them, all differ.
TEST(CryptoRandom, ForkedChildrenDrawOtherBytes) {
    int result = -1;
    Draw(16, 0, &result);
    ASSERT_EQ(1, result);
    Bytes first = DrawInForkedChild(CryptoRandomBytes);
    Bytes second = DrawInForkedChild(CryptoRandomBytes);
    Bytes parent = Draw(64, 0, &result);
    ASSERT_EQ(1, result);
    EXPECT_NE(parent, first);
    EXPECT_NE(parent, second);
    EXPECT_NE(first, second);
}
#endif

} // namespace
