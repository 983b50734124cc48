// Many threads checking and downloading at once, directly, through a redirect and a proxy:
// every result exact, and under ThreadSanitizer no race on the sockets start-up flag, the
// date tables or the watchdogs.
#include "TestHelpers.h"
#include "http/HttpDate.h"
#include "support/ProcessProbe.h"
#include "support/ScriptedServer.h"
#include "support/UpdateFixtures.h"
#include "update/UpdateService.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kThreads = 32;
// Rounds of five checks and one download; under Wine each connect's watchdog thread costs
// milliseconds to start.
#ifdef _WIN32
constexpr int kRounds = 2;
#else
constexpr int kRounds = 10;
#endif

TEST(Concurrency, ChecksAndDownloadsFromManyThreadsAreExact) {
    ScriptedServer server(fixtures::Responses(0), 8);
    ScriptedServer redirector(fixtures::Responses(server.Port()), 2);
    ASSERT_TRUE(server.Listening() && redirector.Listening());
    const std::string base = "http://127.0.0.1:" + std::to_string(server.Port());
    const std::string moved =
        "http://127.0.0.1:" + std::to_string(redirector.Port()) + fixtures::kMovedPath;
    const std::string proxied = std::string("http://updates.example") + fixtures::kDocumentPath;
    // No connection of this process before the workers start: where this test runs
    // first, the workers race for the sockets start-up and the date tables' first use.
    WarmUpTestFramework();
    const int64_t threadsBefore = CountProcessThreads();

    std::mutex lock;
    std::string problems;
    auto problem = [&](const std::string& what) {
        std::lock_guard<std::mutex> hold(lock);
        problems += what + "\n";
    };
    std::atomic<bool> go{false};
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([&, t] {
            while (!go)
                std::this_thread::yield();
            TempFile path("kiv_concurrency");
            for (int r = 0; r < kRounds; ++r) {
                const std::string file = base + fixtures::kFilePaths[(t + r) % 3];
                UpdateDownloadResult result;
                uint32_t size = 0;
                char date[40] = "";
                if (UpdateDownload(file.c_str(), path.c_str(), {}, &result) != 1 ||
                    result.transferred != 1 || path.Read() != fixtures::FileContent() ||
                    !HttpFileDate(path.c_str(), &size, date) || strcmp(date, fixtures::kFileDate))
                    problem(file + ": " + result.errorText + ", date " + date);
                // One check through the proxy, three direct, one through the redirect.
                for (int i = 0; i < 5; ++i) {
                    const std::string url = i == 0   ? proxied
                                            : i == 4 ? moved
                                                     : base + fixtures::kDocumentPath;
                    uint8_t buffer[1024];
                    uint32_t got = UpdateCheck(1, url.c_str(), i == 0 ? "127.0.0.1" : nullptr,
                                               i == 0 ? server.Port() : 0, buffer, sizeof buffer);
                    if (Bytes(buffer, buffer + got) != fixtures::ExpectedFacts())
                        problem(url + ": " + std::to_string(got) + " bytes of facts");
                }
            }
        });
    }
    go = true;
    for (std::thread& worker : workers)
        worker.join();

    EXPECT_EQ("", problems.substr(0, 500));
    // A redirected check is answered by both servers.
    const int rounds = kThreads * kRounds;
    EXPECT_TRUE(server.WaitForClosed(6 * rounds, 10) && redirector.WaitForClosed(rounds, 10));
    EXPECT_EQ(6 * rounds, server.Served());
    EXPECT_EQ(rounds, redirector.Served());
    EXPECT_EQ(0, server.Refused() + redirector.Refused());
    EXPECT_EQ(threadsBefore, CountProcessThreads()) << "a watchdog has not ended";
}

} // namespace
