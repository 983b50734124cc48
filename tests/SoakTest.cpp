// The check and download paths, failures included, thousands of times in one process:
// after a warm-up, handles must not grow and memory only within a small bound. Runs when
// KIV_SOAK_ITERATIONS names the rounds (of two checks and two downloads) of each span.
#include "TestHelpers.h"
#include "support/ProcessProbe.h"
#include "support/ScriptedServer.h"
#include "support/UpdateFixtures.h"
#include "update/UpdateService.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

using Bytes = std::vector<uint8_t>;

// A runtime lock contended for the first time on Windows may still open its event.
constexpr int64_t kHandleSlack = kExactHandleCounts ? 0 : 2;
// Allocator and runtime caches settle within this; a leak of a few dozen bytes per round
// over thousands of rounds does not.
constexpr int64_t kMemorySlack = 64 * 1024;
// The sanitizers hold freed memory back on purpose (LeakSanitizer checks instead).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kMemoryIsMeaningful = false;
#else
constexpr bool kMemoryIsMeaningful = true;
#endif

TEST(Soak, ChecksAndDownloadsLeaveNothingBehind) {
    const char* text = getenv("KIV_SOAK_ITERATIONS");
    const int rounds = text ? atoi(text) : 0;
    if (rounds <= 0)
        GTEST_SKIP() << "set KIV_SOAK_ITERATIONS to run the soak";
    ScriptedServer server(fixtures::Responses(0), 2);
    ASSERT_TRUE(server.Listening());
    const std::string base = "http://127.0.0.1:" + std::to_string(server.Port()),
                      document = base + fixtures::kDocumentPath,
                      missing = base + fixtures::kMissingPath,
                      file = base + fixtures::kFilePaths[0];
    TempFile path("kiv_soak");
    const Bytes expected = fixtures::ExpectedFacts(), marker{0xFF, 0xFF};

    int problems = 0;
    auto round = [&] {
        uint8_t buffer[1024];
        uint32_t size = UpdateCheck(1, document.c_str(), nullptr, 0, buffer, sizeof buffer);
        problems += Bytes(buffer, buffer + size) != expected;
        size = UpdateCheck(1, missing.c_str(), nullptr, 0, buffer, sizeof buffer);
        problems += Bytes(buffer, buffer + size) != marker;
        UpdateDownloadOptions options;
        problems += UpdateDownload(file.c_str(), path.c_str(), options, nullptr) != 1;
        problems += UpdateDownload(missing.c_str(), path.c_str(), options, nullptr) != 0;
    };
    const int warmUp = std::max(100, rounds / 10);
    for (int i = 0; i < warmUp; ++i)
        round();
    // The server closes its side just after the client is done; measure when it has.
    ASSERT_TRUE(server.WaitForClosed(4 * warmUp, 10));
    const int64_t handles = CountProcessHandles(), threads = CountProcessThreads();
    // Two equal spans: a leak grows both, while a one-off (a thread stack the runtime
    // first touches late, say) grows only one, so the smaller growth is what counts.
    int64_t memory[3] = {ProcessMemoryBytes(), 0, 0};
    for (int span = 1; span <= 2; ++span) {
        for (int i = 0; i < rounds; ++i)
            round();
        ASSERT_TRUE(server.WaitForClosed(4 * (warmUp + span * rounds), 10));
        memory[span] = ProcessMemoryBytes();
    }
    const int64_t grownHandles = CountProcessHandles() - handles,
                  grownMemory = std::min(memory[1] - memory[0], memory[2] - memory[1]);
    printf("soak: 2 x %d rounds, handles %+lld, memory %+lld then %+lld bytes\n", rounds,
           static_cast<long long>(grownHandles), static_cast<long long>(memory[1] - memory[0]),
           static_cast<long long>(memory[2] - memory[1]));
    EXPECT_EQ(0, problems);
    EXPECT_EQ(4 * (warmUp + 2 * rounds), server.Served() + server.Refused());
    ASSERT_GE(handles, 0);
    EXPECT_LE(grownHandles, kHandleSlack);
    EXPECT_EQ(threads, CountProcessThreads());
    if (kMemoryIsMeaningful) {
        ASSERT_GE(memory[0], 0);
        EXPECT_LE(grownMemory, kMemorySlack);
    }
}

} // namespace
