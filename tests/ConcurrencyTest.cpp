// The check and download paths from many threads at once (every result exact, and under
// ThreadSanitizer no race on the sockets start-up, the date tables or the watchdogs), and
// thousands of times in one process (handles, threads and memory must not grow).
#include "TestHelpers.h"
#include "http/HttpDate.h"
#include "support/ProcessProbe.h"
#include "support/ScriptedServer.h"
#include "update/UpdateService.h"

#include <algorithm>
#include <cstring>

namespace {

using Bytes = std::vector<uint8_t>;

// The files' date in each form servers send; the first is also how HttpDateFormat writes it.
const char* const kDates[3] = {"Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT",
                               "Sun Nov  6 08:49:37 GMT 1994"};

ScriptedConnection Reply(const std::string& status, const std::string& body,
                         const std::string& extra = "") {
    return ScriptedServer::Reply("HTTP/1.0 " + status + "\r\nContent-Length: " +
                                 std::to_string(body.size()) + "\r\n" + extra + "\r\n" + body);
}

// 20,000 bytes of every value, so that a byte lost, doubled or swapped shows.
const std::string kFile = [] {
    std::string bytes(20000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
    return bytes;
}();

std::vector<ScriptedConnection> FileAnswers() {
    std::vector<ScriptedConnection> answers;
    for (const char* date : kDates)
        answers.push_back(Reply(
            "200 OK", kFile,
            "Date: Mon, 01 Jan 2001 00:00:00 GMT\r\nLast-Modified: " + std::string(date) + "\r\n"));
    return answers;
}

// One repeating server per answer: the document, a redirect to it, a 404, and the file under
// each date form in turn; a Round asks them 3, 1, 2 and 1 times.
struct Servers {
    ScriptedServer document{{Reply("200 OK",
                                   "; facts\r\n[Language 2]\r\nProductName=Fallback\r\n"
                                   "[Language 1]\r\nProductName=Kiv VPN\r\nVersion=5\r\n",
                                   "Content-Type: text/plain\r\n")},
                            true};
    ScriptedServer moved{
        {Reply("301 Moved Permanently", "", "Location: " + document.Url("/update.ini") + "\r\n")},
        true};
    ScriptedServer missing{{Reply("404 Not Found", "not found")}, true};
    ScriptedServer files{FileAnswers(), true};

    // The server closes its side just after the client is done; measure when it has.
    bool WaitForRounds(int rounds) const {
        return document.WaitForClosed(3 * rounds, 10) && moved.WaitForClosed(rounds, 10) &&
               missing.WaitForClosed(2 * rounds, 10) && files.WaitForClosed(rounds, 10);
    }
    int Connections() const {
        return document.Connections() + moved.Connections() + missing.Connections() +
               files.Connections();
    }
};

// The document's facts for language 1.
const Bytes kFacts = {1, 0, 7, 0, 'K', 'i', 'v', ' ', 'V',  'P', 'N',
                      2, 0, 4, 0, 5,   0,   0,   0,   0xFF, 0xFF};
const Bytes kMarker = {0xFF, 0xFF};

// Downloads the file and the missing one, and checks through the proxy, direct, through the
// redirect and of the missing document; a line in `problems` for each wrong result.
void Round(const Servers& servers, const TempFile& path, std::string* problems) {
    UpdateDownloadResult result;
    char date[40] = "";
    if (UpdateDownload(servers.files.Url("/x").c_str(), path.c_str(), {}, &result) != 1 ||
        result.transferred != 1 || path.Read() != kFile ||
        !HttpFileDate(path.c_str(), nullptr, date) || strcmp(date, kDates[0]))
        *problems += std::string("file: ") + result.errorText + ", date " + date + "\n";
    if (UpdateDownload(servers.missing.Url("/x").c_str(), path.c_str(), {}, nullptr) != 0)
        *problems += "missing file downloaded\n";
    const std::string urls[] = {"http://updates.example/update.ini", servers.document.Url("/x"),
                                servers.moved.Url("/x"), servers.missing.Url("/x")};
    for (int i = 0; i < 4; ++i) {
        uint8_t buffer[1024];
        uint32_t got = UpdateCheck(1, urls[i].c_str(), i == 0 ? "127.0.0.1" : nullptr,
                                   i == 0 ? servers.document.Port() : 0, buffer, sizeof buffer);
        if (Bytes(buffer, buffer + got) != (i < 3 ? kFacts : kMarker))
            *problems += urls[i] + ": " + std::to_string(got) + " bytes of facts\n";
    }
}

constexpr int kThreads = 32;
// In the Windows build (its handle counts are not exact) each connect under Wine starts
// a watchdog thread, which costs milliseconds.
constexpr int kRounds = kExactHandleCounts ? 10 : 2;

TEST(Concurrency, ChecksAndDownloadsFromManyThreadsAreExact) {
    Servers servers;
    // No connection of this process before the workers start: where this test runs
    // first, the workers race for the sockets start-up and the date tables' first use.
    WarmUpTestFramework();
    const int64_t threadsBefore = CountProcessThreads();
    std::mutex lock;
    std::string problems;
    std::atomic<bool> go{false};
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([&] {
            while (!go)
                std::this_thread::yield();
            TempFile path("kiv_concurrency");
            std::string mine;
            for (int r = 0; r < kRounds; ++r)
                Round(servers, path, &mine);
            std::lock_guard<std::mutex> hold(lock);
            problems += mine;
        });
    }
    go = true;
    for (std::thread& worker : workers)
        worker.join();

    EXPECT_EQ("", problems.substr(0, 500));
    EXPECT_TRUE(servers.WaitForRounds(kThreads * kRounds));
    EXPECT_EQ(7 * kThreads * kRounds, servers.Connections());
    EXPECT_EQ(threadsBefore, CountProcessThreads()) << "a watchdog has not ended";
}

// The sanitizers hold freed memory back on purpose (LeakSanitizer checks instead).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kMemoryIsMeaningful = false;
#else
constexpr bool kMemoryIsMeaningful = true;
#endif

// Runs when KIV_SOAK_ITERATIONS names the rounds of each span.
TEST(Soak, ChecksAndDownloadsLeaveNothingBehind) {
    const char* text = getenv("KIV_SOAK_ITERATIONS");
    const int rounds = text ? atoi(text) : 0;
    if (rounds <= 0)
        GTEST_SKIP() << "set KIV_SOAK_ITERATIONS to run the soak";
    Servers servers;
    TempFile path("kiv_soak");
    std::string problems;
    int done = 0;
    auto run = [&](int count) {
        for (int i = 0; i < count; ++i)
            Round(servers, path, &problems);
        return servers.WaitForRounds(done += count);
    };
    ASSERT_TRUE(run(std::max(100, rounds / 10)));
    const int64_t handles = CountProcessHandles(), threads = CountProcessThreads();
    // Two equal spans: a leak grows both, while a one-off (a thread stack the runtime
    // first touches late, say) grows only one, so the smaller growth is what counts.
    int64_t memory[3] = {ProcessMemoryBytes(), 0, 0};
    for (int span = 1; span <= 2; ++span) {
        ASSERT_TRUE(run(rounds));
        memory[span] = ProcessMemoryBytes();
    }
    const int64_t grownHandles = CountProcessHandles() - handles,
                  grownMemory = std::min(memory[1] - memory[0], memory[2] - memory[1]);
    printf("soak: 2 x %d rounds, handles %+lld, memory %+lld then %+lld bytes\n", rounds,
           static_cast<long long>(grownHandles), static_cast<long long>(memory[1] - memory[0]),
           static_cast<long long>(memory[2] - memory[1]));
    EXPECT_EQ("", problems.substr(0, 500));
    EXPECT_EQ(7 * done, servers.Connections());
    // Windows may still open the event of a runtime lock first contended; caches settle within
    // 64 KiB, while a leak of a few dozen bytes per round over thousands of rounds does not.
    EXPECT_TRUE(handles >= 0 && grownHandles <= (kExactHandleCounts ? 0 : 2));
    EXPECT_EQ(threads, CountProcessThreads());
    EXPECT_TRUE(!kMemoryIsMeaningful || (memory[0] >= 0 && grownMemory <= 64 * 1024));
}

} // namespace
