// Soak: the check and download paths, their failures included, run thousands of times
// in one process. Handles (or descriptors) must not grow at all after a warm-up, and
// memory only within a small bound; a leak of one object per call would pass either.
//
// Runs only when KIV_SOAK_ITERATIONS names the number of rounds (scripts/test sets it);
// each round is two checks and two downloads.
#include "support/ProcessProbe.h"
#include "support/ScriptedServer.h"
#include "support/UpdateFixtures.h"
#include "update/UpdateService.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Handles that may appear after the warm-up: none where counts are exact; on Windows a
// runtime lock contended for the first time may still open its event.
constexpr int64_t kHandleSlack = kExactHandleCounts ? 0 : 2;
// Memory growth allowed after the warm-up: allocator and runtime caches settle within
// this, while a leak of a few dozen bytes per round over thousands of rounds does not.
constexpr int64_t kMemorySlack = 64 * 1024;

// Under the sanitizers freed memory is held back on purpose, so the process's memory
// says nothing; LeakSanitizer checks every allocation instead.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kMemoryIsMeaningful = false;
#else
constexpr bool kMemoryIsMeaningful = true;
#endif

// Rounds from the environment; 0 when unset or not a plain number.
int SoakRounds() {
    const char* text = getenv("KIV_SOAK_ITERATIONS");
    if (text == nullptr || *text == '\0')
        return 0;
    long value = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9' || value > 10000000)
            return 0;
        value = value * 10 + (*p - '0');
    }
    return static_cast<int>(value);
}

struct Figures {
    int64_t handles;
    int64_t threads;
    int64_t memory;
};

Figures Measure() {
    return {CountProcessHandles(), CountProcessThreads(), ProcessMemoryBytes()};
}

TEST(Soak, ChecksAndDownloadsLeaveNothingBehind) {
    const int rounds = SoakRounds();
    if (rounds == 0)
        GTEST_SKIP() << "set KIV_SOAK_ITERATIONS to run the soak";
    ScriptedServer server(fixtures::Responses(0), 2);
    ASSERT_TRUE(server.Listening());
    const std::string base = "http://127.0.0.1:" + std::to_string(server.Port());
    const std::string document = base + fixtures::kDocumentPath;
    const std::string missing = base + fixtures::kMissingPath;
    const std::string file = base + fixtures::kFilePaths[0];
    const std::string path = fixtures::TempPath("soak.bin");
    const Bytes expected = fixtures::ExpectedFacts();
    const Bytes marker{0xFF, 0xFF};

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

    const int warmUp = rounds / 10 < 100 ? 100 : rounds / 10;
    for (int i = 0; i < warmUp; ++i)
        round();
    // The server closes its side just after the client is done; measure when it has.
    ASSERT_TRUE(server.WaitForClosed(4 * warmUp, 10));
    Figures before = Measure();
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i)
        round();
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_TRUE(server.WaitForClosed(4 * (warmUp + rounds), 10));
    Figures after = Measure();
    std::remove(path.c_str());

    printf("soak: %d rounds (after %d to warm up) in %.1f s; handles %lld -> %lld, threads "
           "%lld -> %lld, memory %lld -> %lld KiB\n",
           rounds, warmUp, seconds, static_cast<long long>(before.handles),
           static_cast<long long>(after.handles), static_cast<long long>(before.threads),
           static_cast<long long>(after.threads), static_cast<long long>(before.memory / 1024),
           static_cast<long long>(after.memory / 1024));
    EXPECT_EQ(0, problems);
    EXPECT_EQ(4 * (warmUp + rounds), server.Served() + server.Refused());
    ASSERT_GE(before.handles, 0);
    EXPECT_LE(after.handles - before.handles, kHandleSlack);
    EXPECT_EQ(before.threads, after.threads);
    if (kMemoryIsMeaningful) {
        ASSERT_GE(before.memory, 0);
        EXPECT_LE(after.memory - before.memory, kMemorySlack);
    }
}

} // namespace
