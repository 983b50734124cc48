// kiv::SharedLib and kiv::proc::Env against the real loader and environment of each build,
// and the system calls beneath them (the stand-ins natively, Windows' under Wine).
#include "TestHelpers.h"

#include "compat/win32.h"
#include "os/win32/Exception.h"
#include "os/win32/SharedLib.h"
#include "os/win32/proc/Env.h"
#include "src/os/win32/SharedLibCalls.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <regex>
#include <thread>

namespace {

#ifdef _WIN32
const char kLibrary[] = "kernel32"; // the default extension is added
const char kSymbol[] = "GetTickCount";
#else
const char kLibrary[] = "libc.so.6";
const char kSymbol[] = "getenv";
#endif
const char kVar[] = "KIV_BACKTRACE";

} // namespace

// One library handle through steps that each end in a raise, the report of a destructor
// whose unload fails, then the environment's refusals: each report with its line number
// (which moves with the source) as N.
TEST(SharedLib, OpenResolveCloseAndEnvRefusals) {
    kiv::SharedLib lib;
    auto at = [](const char* site) {
        return std::string("Exception occured at \"src/os/win32/") + site + ")\"\n";
    };
    const std::string noLibrary =
        "\nUsage error occured. Tried to resolve symbol but no library is loaded.";
    const struct {
        std::function<void()> step;
        std::string report; // what it raised, or else what it wrote to standard error
    } cases[] = {
        {[&] { lib.open("kiv-no-such-library"); }, at("SharedLib:N (kiv::SharedLib::open") +
                                                       "\nDynamic linker error encountered. " +
                                                       kiv::OsError(126).text()},
        {[&] { lib.symbol(kSymbol); }, at("SharedLib:N (kiv::SharedLib::symbol") + noLibrary},
        {[&] { lib.open(kLibrary), lib.open(kLibrary); },
         at("SharedLib:N (kiv::SharedLib::open") +
             "\nUsage error occured. There is already a shared-library loaded."},
        // The first library stays loaded.
        {[&] { lib.symbol(kSymbol), lib.symbol("kivNoSuchSymbol"); },
         at("SharedLib:N (kiv::SharedLib::symbol") +
             "\nDynamic linker error encountered. kivNoSuchSymbol: " + kiv::OsError(127).text()},
        {[&] { lib.close(), lib.close(), lib.symbol(kSymbol); },
         at("SharedLib:N (kiv::SharedLib::symbol") + noLibrary},
        // The library is unloaded all the same; only the report says it failed.
        {[] {
             kiv::sharedLibCalls.freeLibrary = [](HMODULE module) {
                 kiv::kSystemSharedLibCalls.freeLibrary(module);
                 SetLastError(ERROR_INVALID_HANDLE);
                 return FALSE;
             };
             kiv::SharedLib doomed;
             doomed.open(kLibrary);
         },
         "Error closing shared library:\n#1)\n\t" + at("SharedLib:N (kiv::SharedLib::close") +
             "\t\n\tDynamic linker error encountered. " + kiv::OsError(6).text() + "\n\n"},
        {[] { kiv::proc::Env::set("KIV=BAD", "1"); },
         at("proc/Env:N (kiv::proc::Env::set") +
             "System/Library call error: " + kiv::OsError(87).text()},
        {[] { kiv::proc::Env::del(""); },
         at("proc/Env:N (kiv::proc::Env::del") +
             "System/Library call error: " + kiv::OsError(87).text()},
    };
    FOR_EACH_CASE(c, cases) {
        std::string report;
        testing::internal::CaptureStderr();
        try {
            c.step();
        } catch (const kiv::Exception& e) {
            report = e.what();
        }
        const std::string written = testing::internal::GetCapturedStderr();
        kiv::sharedLibCalls = kiv::kSystemSharedLibCalls;
        EXPECT_EQ(std::regex_replace(report.empty() ? written : report + written,
                                     std::regex(":[0-9]+ \\("), ":N ("),
                  c.report);
    }
}

// The variable is the one that switches backtraces on; unset, it leaves the setting alone.
TEST(Env, GetSetDelSnapshotAndBacktraceSetting) {
    const struct {
        const char* set; // null: delete
        bool found;
        std::string value;
        bool backtraceBefore, backtraceAfter;
    } cases[] = {
        {"abc", true, "abc", false, true},     {"", true, "", false, true},
        {nullptr, false, "", false, false},    {nullptr, false, "", true, true},
        {"x=y z", true, "x=y z", false, true}, // deleting an unset one is no failure
    };
    FOR_EACH_CASE(c, cases) {
        c.set ? kiv::proc::Env::set(kVar, c.set) : kiv::proc::Env::del(kVar);
        std::string value = "left over";
        EXPECT_EQ(c.found, kiv::proc::Env::get(kVar, value));
        EXPECT_EQ(c.value, value);
        kiv::backtraceEnabled = c.backtraceBefore;
        kiv::readBacktraceSetting();
        EXPECT_EQ(c.backtraceAfter, kiv::backtraceEnabled);
    }
    kiv::backtraceEnabled = false;
    // A snapshot keeps its block whatever changes after it; its entries are not empty, and
    // its end stays its end.
    kiv::proc::Env::set(kVar, "before");
    kiv::proc::Env snapshot;
    kiv::proc::Env::set(kVar, "after");
    kiv::proc::Env::del(kVar);
    const std::string before = std::string(kVar) + "=before", after = std::string(kVar) + "=after";
    const kiv::proc::Env now;
    EXPECT_EQ(1, std::count(snapshot.begin(), snapshot.end(), before));
    EXPECT_EQ(0, std::count(snapshot.begin(), snapshot.end(), after) +
                     std::count(now.begin(), now.end(), after));
    auto last = snapshot.begin();
    for (auto it = snapshot.begin(); it != snapshot.end(); last = it++)
        EXPECT_NE('\0', (*it)[0]);
    ASSERT_TRUE(last != snapshot.end());
    EXPECT_TRUE(++last == snapshot.end());
    EXPECT_TRUE(++last == snapshot.end());
}

// More static thread-local storage than a small stack holds, as a host may have.
thread_local char hostThreadData[96 * 1024];

// Each thread has its own last error (natively the stand-in's), and a thread asked for a
// small stack starts whatever the host keeps per thread.
TEST(PlatformCalls, PerThreadErrorAndSmallStacks) {
    SetLastError(5);
    DWORD other = 5;
    std::thread([&] { other = GetLastError(); }).join();
    EXPECT_EQ(0u, other);
    static std::atomic<int> ran{0};
    static std::atomic<bool> release{false};
    auto run = [](LPVOID) -> DWORD {
        while (!release)
            Sleep(1);
        ran += 1 + hostThreadData[0];
        return 0;
    };
    HANDLE thread =
        CreateThread(nullptr, 64 * 1024, run, nullptr, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    ASSERT_NE(nullptr, thread);
    // A wait that polls, one that times out, one that blocks; an ended thread stays signalled.
    std::string codes;
    for (DWORD wait : {0u, 50u, INFINITE, 0u}) {
        if (wait == INFINITE)
            release = true;
        codes += std::to_string(WaitForSingleObject(thread, wait)) + " ";
    }
    EXPECT_EQ("258 258 0 0 ", codes);
    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_EQ(1, ran.load());
}
