// The entropy poll: the system generator first, its fallback, failure never giving a weak
// seed, the statistics mixed in (through the seam of crypto/EntropyCalls.h, both builds);
// the system's own services answering.
#include "TestHelpers.h"

#include "compat/win32.h"
#include "crypto/EntropyCalls.h"
#include "crypto/EntropyPoll.h"
#include "support/FakeEntropy.h"

#include <algorithm>
#include <chrono>
#include <set>
#include <thread>

namespace {

using Bytes = std::vector<uint8_t>;

// A poll of `size` bytes into a buffer of 0xAA with 8 bytes more, which must stay.
Bytes Poll(size_t size, int expected = 1) {
    Bytes buffer(size + 8, 0xAA);
    EXPECT_EQ(expected, EntropyPoll(buffer.data(), size));
    EXPECT_EQ(Bytes(8, 0xAA), Bytes(buffer.begin() + size, buffer.end())) << "written past";
    buffer.resize(size);
    return buffer;
}

TEST(EntropyPoll, FallsBackOnceAndFailsWhenNoGeneratorAnswers) {
    using S = FakeEntropy::Source;
    struct Case {
        S preferred, fallback;
        size_t size;
        int result, fallbackCalls;
    } cases[] = {
        {S::kSystem, S::kFail, 48, 1, 0},
        {S::kFail, S::kSystem, 48, 1, 1},
        {S::kPartial, S::kPattern, 1, 1, 1},
        {S::kFail, S::kFail, 48, 0, 1},
        {S::kPartial, S::kPartial, 48, 0, 1},
        {S::kPattern, S::kPattern, 0, 0, 0},
        {S::kPattern, S::kPattern, kEntropyPollMax + 1, 0, 0},
    };
    FOR_EACH_CASE(c, cases) {
        FakeEntropy fake;
        fake.preferred = c.preferred;
        fake.fallback = c.fallback;
        Bytes out = Poll(c.size, c.result);
        EXPECT_EQ(c.size != 0 && c.size <= kEntropyPollMax, fake.preferredCalls);
        EXPECT_EQ(c.fallbackCalls, fake.fallbackCalls);
        // A failed poll leaves nothing of what a generator wrote before failing, and no
        // statistics stand in for a failed generator.
        EXPECT_EQ(c.result == 0, out == Bytes(c.size, 0));
        EXPECT_EQ(c.result, fake.statisticsCalls);
    }
    EXPECT_EQ(0, EntropyPoll(nullptr, 16));
}

// With the generator and the statistics fixed the poll is a function of both: the same
// answer twice, another when an input byte or a figure changes, never the raw bytes; the
// generator is asked for as many bytes as the caller asked for.
TEST(EntropyPoll, HashesTheSystemBytesWithTheStatistics) {
    const size_t sizes[] = {1, 32, 63, 64, 65, 128, 200, kEntropyPollMax};
    FOR_EACH_CASE(size, sizes) {
        FakeEntropy fake;
        fake.preferred = FakeEntropy::kPattern;
        fake.fixedFigures = true;
        fake.figures = {1, 2, 0x0123456789ABCDEFull};
        Bytes first = Poll(size);
        EXPECT_EQ(std::vector<size_t>{size}, fake.requestSizes);
        EXPECT_EQ(first, Poll(size));
        Bytes raw(size);
        entropyCalls.preferredRandom(raw.data(), size);
        EXPECT_NE(raw, first);
        fake.seed = 2;
        EXPECT_NE(first, Poll(size));
        fake.seed = 1;
        fake.figures[2] ^= 1ull << 63;
        EXPECT_NE(first, Poll(size));
        fake.figures[2] ^= 1ull << 63;
        fake.figures.push_back(0);
        EXPECT_NE(first, Poll(size));
        fake.figures.pop_back();
        // Each 64-byte block is its own; a longer answer does not begin with a shorter one.
        for (size_t at = 64; at + 64 <= size; at += 64)
            EXPECT_FALSE(std::equal(first.begin(), first.begin() + 64, first.begin() + at));
        Bytes longer = Poll(size < kEntropyPollMax ? size + 1 : size);
        EXPECT_EQ(size == kEntropyPollMax, std::equal(first.begin(), first.end(), longer.begin()));
    }
}

// The system's own services: both generators give bytes that differ call by call, the
// statistics change over time and fill no more than asked, the process id is the process's.
TEST(EntropyPoll, SystemServicesAnswer) {
    EXPECT_NE(Poll(kEntropyPollMax), Poll(kEntropyPollMax));
    int (*const generators[])(uint8_t*, size_t) = {kSystemEntropyCalls.preferredRandom,
                                                   kSystemEntropyCalls.fallbackRandom};
    FOR_EACH_CASE(generate, generators) {
        Bytes first(kEntropyPollMax), second(kEntropyPollMax);
        ASSERT_EQ(1, generate(first.data(), first.size()));
        ASSERT_EQ(1, generate(second.data(), second.size()));
        EXPECT_NE(first, second);
        // 256 random bytes take more than 100 values but for 1 in 10^30 runs.
        EXPECT_GT(std::set<uint8_t>(first.begin(), first.end()).size(), 100u);
    }
    uint64_t figures[kEntropyFiguresMax] = {}, later[kEntropyFiguresMax] = {};
    size_t count = kSystemEntropyCalls.statistics(figures, kEntropyFiguresMax);
    EXPECT_GE(count, 16u);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(count, kSystemEntropyCalls.statistics(later, kEntropyFiguresMax));
    EXPECT_FALSE(std::equal(figures, figures + count, later));
    uint64_t few[4] = {0, 0, 0, 0xFEED};
    EXPECT_EQ(3u, kSystemEntropyCalls.statistics(few, 3));
    EXPECT_EQ(0xFEEDu, few[3]);
    EXPECT_EQ(GetCurrentProcessId(), kSystemEntropyCalls.processId());
}

} // namespace
