// The entropy poll: the system generator first, its fallback, failure never giving a weak
// seed, and the statistics mixed in (through the seam of crypto/EntropyCalls.h, both
// builds); the system's own services answering.
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

// A poll of `size` bytes into a buffer of `fill` with room for 8 more, which must stay.
Bytes Poll(size_t size, int* result, uint8_t fill = 0xAA) {
    Bytes buffer(size + 8, fill);
    *result = EntropyPoll(buffer.data(), size);
    for (size_t i = size; i < buffer.size(); ++i)
        EXPECT_EQ(fill, buffer[i]) << "written past the end at " << i;
    buffer.resize(size);
    return buffer;
}

bool AllZero(const Bytes& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

TEST(EntropyPoll, RefusesBadArgumentsAndWipesTheBuffer) {
    EXPECT_EQ(0, EntropyPoll(nullptr, 16));
    const size_t sizes[] = {0, kEntropyPollMax + 1, 1000};
    FOR_EACH_CASE(size, sizes) {
        int result = -1;
        Bytes out = Poll(size, &result);
        EXPECT_EQ(0, result);
        EXPECT_TRUE(AllZero(out));
    }
    const size_t good[] = {1, kEntropyPollMax};
    FOR_EACH_CASE(size, good) {
        int result = -1;
        Poll(size, &result);
        EXPECT_EQ(1, result);
    }
}

TEST(EntropyPoll, FallsBackOnceAndFailsWhenNoGeneratorAnswers) {
    using S = FakeEntropy::Source;
    struct Case {
        S preferred, fallback;
        int result, preferredCalls, fallbackCalls;
    } cases[] = {
        {S::kSystem, S::kFail, 1, 1, 0},  {S::kPattern, S::kFail, 1, 1, 0},
        {S::kFail, S::kSystem, 1, 1, 1},  {S::kPartial, S::kPattern, 1, 1, 1},
        {S::kFail, S::kFail, 0, 1, 1},    {S::kPartial, S::kPartial, 0, 1, 1},
        {S::kPartial, S::kFail, 0, 1, 1},
    };
    FOR_EACH_CASE(c, cases) {
        FakeEntropy fake;
        fake.preferred = c.preferred;
        fake.fallback = c.fallback;
        int result = -1;
        Bytes out = Poll(48, &result);
        EXPECT_EQ(c.result, result);
        EXPECT_EQ(c.preferredCalls, fake.preferredCalls);
        EXPECT_EQ(c.fallbackCalls, fake.fallbackCalls);
        // A failed poll leaves nothing of what a generator wrote before failing.
        EXPECT_EQ(c.result == 0, AllZero(out));
        // No statistics stand in for a failed generator.
        EXPECT_EQ(c.result, fake.statisticsCalls);
    }
}

// The poll asks the generator for as many bytes as its caller asked for.
TEST(EntropyPoll, AsksTheSystemForTheWholeSize) {
    const size_t sizes[] = {1, 32, 48, 64, 65, 200, kEntropyPollMax};
    FOR_EACH_CASE(size, sizes) {
        FakeEntropy fake;
        int result = -1;
        Poll(size, &result);
        EXPECT_EQ(1, result);
        EXPECT_EQ(std::vector<size_t>{size}, fake.requestSizes);
    }
}

// With the generator and the statistics fixed the poll is a function of both: the same
// answer twice, another when any input byte or figure changes, never the raw bytes.
TEST(EntropyPoll, HashesTheSystemBytesWithTheStatistics) {
    const size_t sizes[] = {1, 32, 63, 64, 65, 128, 200, kEntropyPollMax};
    FOR_EACH_CASE(size, sizes) {
        FakeEntropy fake;
        fake.preferred = FakeEntropy::kPattern;
        fake.fixedFigures = true;
        fake.figures = {1, 2, 3, 0x0123456789ABCDEFull};
        int result = -1;
        Bytes first = Poll(size, &result);
        ASSERT_EQ(1, result);
        EXPECT_EQ(first, Poll(size, &result));

        Bytes raw(size);
        ASSERT_EQ(1, entropyCalls.preferredRandom(raw.data(), size));
        EXPECT_NE(raw, first);

        fake.seed = 2;
        EXPECT_NE(first, Poll(size, &result));
        fake.seed = 1;
        fake.figures[3] ^= 1ull << 63;
        EXPECT_NE(first, Poll(size, &result));
        fake.figures[3] ^= 1ull << 63;
        fake.figures.push_back(0);
        EXPECT_NE(first, Poll(size, &result));
        fake.figures.pop_back();
        EXPECT_EQ(first, Poll(size, &result));

        // Every 64-byte block of one answer is its own; a longer answer does not begin
        // with a shorter one.
        for (size_t a = 0; a + 64 <= size; a += 64)
            for (size_t b = a + 64; b + 64 <= size; b += 64)
                EXPECT_FALSE(
                    std::equal(first.begin() + a, first.begin() + a + 64, first.begin() + b))
                    << "blocks at " << a << " and " << b;
        if (size < kEntropyPollMax) {
            Bytes longer = Poll(size + 1, &result);
            EXPECT_FALSE(std::equal(first.begin(), first.end(), longer.begin()));
        }
    }
}

// The figures past kEntropyFiguresMax do not count; those before do.
TEST(EntropyPoll, TakesAtMostTheFiguresItHasRoomFor) {
    FakeEntropy fake;
    fake.preferred = FakeEntropy::kPattern;
    fake.fixedFigures = true;
    fake.figures.assign(kEntropyFiguresMax + 5, 7);
    int result = -1;
    Bytes first = Poll(64, &result);
    fake.figures.back() = 8;
    EXPECT_EQ(first, Poll(64, &result));
    fake.figures[kEntropyFiguresMax - 1] = 8;
    EXPECT_NE(first, Poll(64, &result));
}

TEST(EntropyPoll, TheSystemsPollsDiffer) {
    int result = -1;
    Bytes first = Poll(kEntropyPollMax, &result);
    ASSERT_EQ(1, result);
    Bytes second = Poll(kEntropyPollMax, &result);
    ASSERT_EQ(1, result);
    EXPECT_NE(first, second);
    EXPECT_FALSE(AllZero(first));
}

// The system's own services: both generators give bytes that differ call by call, the
// statistics change over time, the process id is the process's.
TEST(EntropyPoll, SystemServicesAnswer) {
    int (*const generators[])(uint8_t*, size_t) = {kSystemEntropyCalls.preferredRandom,
                                                   kSystemEntropyCalls.fallbackRandom};
    FOR_EACH_CASE(generate, generators) {
        Bytes first(kEntropyPollMax + 1, 0), second(kEntropyPollMax + 1, 0);
        ASSERT_EQ(1, generate(first.data(), kEntropyPollMax));
        ASSERT_EQ(1, generate(second.data(), kEntropyPollMax));
        EXPECT_NE(first, second);
        EXPECT_EQ(0, first.back()) << "written past the end";
        // 256 random bytes take at least 100 different values but for 1 in 10^30 runs.
        std::set<uint8_t> values(first.begin(), first.end() - 1);
        EXPECT_GT(values.size(), 100u);
    }

    uint64_t figures[kEntropyFiguresMax + 1] = {};
    size_t count = kSystemEntropyCalls.statistics(figures, kEntropyFiguresMax);
    EXPECT_GE(count, 16u);
    EXPECT_LE(count, kEntropyFiguresMax);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    uint64_t later[kEntropyFiguresMax + 1] = {};
    EXPECT_EQ(count, kSystemEntropyCalls.statistics(later, kEntropyFiguresMax));
    EXPECT_FALSE(std::equal(figures, figures + count, later));
    // A short table is filled to its end and no further.
    uint64_t few[4] = {0, 0, 0, 0xFEED};
    EXPECT_EQ(3u, kSystemEntropyCalls.statistics(few, 3));
    EXPECT_EQ(0xFEEDu, few[3]);

    EXPECT_EQ(GetCurrentProcessId(), kSystemEntropyCalls.processId());
}

} // namespace
