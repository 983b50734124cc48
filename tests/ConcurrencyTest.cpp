// Many threads checking and downloading at once, directly, through a redirect and
// through a proxy: every result must be exact, and in the ThreadSanitizer build no data
// race may show (the sockets start-up flag, the date tables and the watchdogs are all
// shared or started concurrently here).
#include "http/HttpDate.h"
#include "support/ProcessProbe.h"
#include "support/ScriptedServer.h"
#include "support/UpdateFixtures.h"
#include "update/UpdateService.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kThreads = 32;
#ifdef _WIN32
// Under Wine each thread start (there is one per connect, for its watchdog) costs
// milliseconds: the Windows build keeps the 32 threads but does a fifth of the rounds.
constexpr int kChecksPerThread = 10;
#else
constexpr int kChecksPerThread = 50;
#endif
// Every fifth check goes through the proxy and is followed by a download.
constexpr int kDownloadsPerThread = kChecksPerThread / 5;

// The first problem seen, and how many there were.
class Problems {
public:
    void Add(const std::string& what) {
        std::lock_guard<std::mutex> hold(lock_);
        if (count_++ == 0)
            first_ = what;
    }
    int Count() const { return count_; }
    const std::string& First() const { return first_; }

private:
    std::mutex lock_;
    int count_ = 0;
    std::string first_;
};

std::string UrlOf(const ScriptedServer& server, const char* path) {
    return "http://127.0.0.1:" + std::to_string(server.Port()) + path;
}

void Download(const std::string& url, const std::string& path, Problems* problems) {
    std::remove(path.c_str());
    UpdateDownloadResult result;
    int outcome = UpdateDownload(url.c_str(), path.c_str(), UpdateDownloadOptions(), &result);
    uint32_t size = 0;
    char date[40] = "";
    if (outcome != 1 || result.transferred != 1) {
        problems->Add(url + ": result " + std::to_string(outcome) + ", " + result.errorText);
    } else if (fixtures::ReadFile(path) != fixtures::FileContent()) {
        problems->Add(url + ": file content differs");
    } else if (!HttpFileDate(path.c_str(), &size, date) ||
               std::string(date) != fixtures::kFileDate) {
        problems->Add(url + ": file date " + date);
    }
}

TEST(Concurrency, ChecksAndDownloadsFromManyThreadsAreExact) {
    ScriptedServer server(fixtures::Responses(0), 8);
    ASSERT_TRUE(server.Listening());
    ScriptedServer redirector(fixtures::Responses(server.Port()), 2);
    ASSERT_TRUE(redirector.Listening());
    const Bytes expected = fixtures::ExpectedFacts();
    const std::string direct = UrlOf(server, fixtures::kDocumentPath);
    const std::string moved = UrlOf(redirector, fixtures::kMovedPath);
    const std::string proxied = std::string("http://updates.example") + fixtures::kDocumentPath;
    // No connection of this process before the workers start: where this test runs
    // first, the workers race for the sockets start-up and the date tables' first use.
    WarmUpTestFramework();
    int64_t threadsBefore = CountProcessThreads();

    Problems problems;
    std::atomic<bool> go{false};
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([&, t] {
            while (!go)
                std::this_thread::yield();
            const std::string path = fixtures::TempPath("concurrency-" + std::to_string(t));
            int downloads = 0;
            for (int i = 0; i < kChecksPerThread; ++i) {
                // A download and a check through the proxy, then three direct checks
                // and one through the redirect.
                const bool viaProxy = i % 5 == 0;
                if (viaProxy && downloads < kDownloadsPerThread) {
                    const char* file = fixtures::kFilePaths[(t + downloads) % 3];
                    Download(UrlOf(server, file), path, &problems);
                    ++downloads;
                }
                const std::string& url = i % 5 == 4 ? moved : viaProxy ? proxied : direct;
                uint8_t buffer[1024];
                uint32_t size = UpdateCheck(1, url.c_str(), viaProxy ? "127.0.0.1" : nullptr,
                                            viaProxy ? server.Port() : 0, buffer, sizeof buffer);
                if (Bytes(buffer, buffer + size) != expected)
                    problems.Add(url + ": " + std::to_string(size) + " bytes of facts");
            }
            std::remove(path.c_str());
        });
    }
    go = true;
    for (std::thread& worker : workers)
        worker.join();

    EXPECT_EQ(0, problems.Count()) << "first: " << problems.First();
    const int answers = kThreads * kChecksPerThread / 5 * 7;
    EXPECT_TRUE(server.WaitForClosed(answers - kThreads * kChecksPerThread / 5, 10) &&
                redirector.WaitForClosed(kThreads * kChecksPerThread / 5, 10));
    // Per five checks of a thread: three direct, one redirected (answered by both
    // servers), one through the proxy, and one download.
    EXPECT_EQ(kThreads * kChecksPerThread / 5 * 6, server.Served());
    EXPECT_EQ(kThreads * kChecksPerThread / 5, redirector.Served());
    EXPECT_EQ(0, server.Refused() + redirector.Refused());
    // Every watchdog has ended.
    EXPECT_EQ(threadsBefore, CountProcessThreads());
}

} // namespace
