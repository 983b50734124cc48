// kiv::SharedLib and kiv::proc::Env against the real loader and environment of each build,
// and the system calls beneath them (the stand-ins natively, Windows' under Wine).
#include "TestHelpers.h"

#include "compat/win32.h"
#include "os/win32/Exception.h"
#include "os/win32/SharedLib.h"
#include "os/win32/proc/Env.h"

#include <cstring>
#include <thread>

namespace {

#ifdef _WIN32
const char kLibrary[] = "kernel32"; // the default extension is added
const char kSymbol[] = "GetTickCount";
#else
const char kLibrary[] = "libc.so.6";
const char kSymbol[] = "getenv";
#endif
const char kVar[] = "KIV_ENV_TEST_VARIABLE";

// The report of what `action` raises as E, its line number (which moves with the source)
// replaced by N; fails when nothing is raised.
template <class E, class Action>
std::string reportOf(Action action) {
    try {
        action();
    } catch (const E& e) {
        std::string report = e.what();
        size_t colon = report.find(':'), open = report.find(" (");
        return report.substr(0, colon + 1) + "N" + report.substr(open);
    }
    ADD_FAILURE() << "nothing raised";
    return "";
}

std::string header(const char* file, const char* function) {
    return std::string("Exception occured at \"src/os/win32/") + file + ":N (kiv::" + function +
           ")\"\n";
}

bool inSnapshot(const kiv::proc::Env& env, const std::string& entry) {
    for (const char* e : env)
        if (entry == e)
            return true;
    return false;
}

} // namespace

TEST(SharedLib, OpenResolveClose) {
    kiv::SharedLib lib;
    EXPECT_EQ(header("SharedLib", "SharedLib::open") + "\nDynamic linker error encountered. " +
                  kiv::OsError(126).text(),
              reportOf<kiv::SharedLibError>([&] { lib.open("kiv-no-such-library"); }));
    const std::string unloaded = header("SharedLib", "SharedLib::symbol") +
                                 "\nUsage error occured. Tried to resolve symbol but no library "
                                 "is loaded.";
    EXPECT_EQ(unloaded, reportOf<kiv::UsageError>([&] { lib.symbol(kSymbol); }));
    lib.open(kLibrary);
    EXPECT_NE(nullptr, lib.symbol(kSymbol));
    EXPECT_EQ(header("SharedLib", "SharedLib::open") +
                  "\nUsage error occured. There is already a shared-library loaded.",
              reportOf<kiv::UsageError>([&] { lib.open(kLibrary); }));
    EXPECT_NE(nullptr, lib.symbol(kSymbol)) << "the first library stays loaded";
    EXPECT_EQ(
        header("SharedLib", "SharedLib::symbol") +
            "\nDynamic linker error encountered. kivNoSuchSymbol: " + kiv::OsError(127).text(),
        reportOf<kiv::SharedLibError>([&] { lib.symbol("kivNoSuchSymbol"); }));
    lib.close();
    lib.close();
    EXPECT_EQ(unloaded, reportOf<kiv::UsageError>([&] { lib.symbol(kSymbol); }));
}

TEST(Env, GetSetDelAndBadNames) {
    const struct {
        const char* set; // null: delete
        bool found;
        std::string value;
    } cases[] = {
        {"abc", true, "abc"}, {"", true, ""},           {nullptr, false, ""},
        {nullptr, false, ""}, {"x=y z", true, "x=y z"}, // deleting an unset one is no failure
    };
    FOR_EACH_CASE(c, cases) {
        c.set ? kiv::proc::Env::set(kVar, c.set) : kiv::proc::Env::del(kVar);
        std::string value = "left over";
        EXPECT_EQ(c.found, kiv::proc::Env::get(kVar, value));
        EXPECT_EQ(c.value, value);
    }
    EXPECT_EQ(header("proc/Env", "proc::Env::set") +
                  "System/Library call error: " + kiv::OsError(87).text(),
              reportOf<kiv::OsError>([] { kiv::proc::Env::set("KIV=BAD", "1"); }));
    EXPECT_NE(std::string::npos, reportOf<kiv::OsError>([] {
                                     kiv::proc::Env::del("");
                                 }).find("(kiv::proc::Env::del)\""));
}

TEST(Env, SnapshotKeepsItsBlock) {
    kiv::proc::Env::set(kVar, "before");
    kiv::proc::Env snapshot;
    kiv::proc::Env::set(kVar, "after");
    kiv::proc::Env::del(kVar);
    kiv::proc::Env fresh;
    EXPECT_FALSE(inSnapshot(fresh, std::string(kVar) + "=after"));
    EXPECT_FALSE(inSnapshot(snapshot, std::string(kVar) + "=after"));
    EXPECT_TRUE(inSnapshot(snapshot, std::string(kVar) + "=before"));
    size_t count = 0;
    for (auto it = snapshot.begin(); it != snapshot.end(); ++it, ++count)
        EXPECT_NE('\0', (*it)[0]);
    ASSERT_GT(count, 0u);
    auto last = snapshot.begin();
    std::advance(last, count - 1);
    EXPECT_TRUE(++last == snapshot.end());
    EXPECT_TRUE(++last == snapshot.end()) << "end stays end";
}

TEST(Env, ReadBacktraceSetting) {
    const struct {
        bool before;
        const char* value; // null: unset
        bool after;
    } cases[] = {
        {false, "", true}, {false, "0", true}, {false, nullptr, false}, {true, nullptr, true}};
    FOR_EACH_CASE(c, cases) {
        kiv::backtraceEnabled = c.before;
        c.value ? kiv::proc::Env::set("KIV_BACKTRACE", c.value)
                : kiv::proc::Env::del("KIV_BACKTRACE");
        kiv::readBacktraceSetting();
        EXPECT_EQ(c.after, kiv::backtraceEnabled);
    }
    kiv::proc::Env::del("KIV_BACKTRACE");
    kiv::backtraceEnabled = false;
}

// What the wrappers rely on in the calls beneath them, natively the stand-ins.
TEST(PlatformCalls, ShortBufferAndPerThreadError) {
    ASSERT_TRUE(SetEnvironmentVariableA(kVar, "12345678"));
    char buffer[8];
    std::memset(buffer, 0x5A, sizeof buffer);
    EXPECT_EQ(9u, GetEnvironmentVariableA(kVar, buffer, sizeof buffer)) << "size needed";
    EXPECT_EQ(0x5A, buffer[0]) << "a short buffer stays untouched";
    EXPECT_TRUE(SetEnvironmentVariableA(kVar, nullptr));
    SetLastError(5);
    DWORD other = 5;
    std::thread([&] { other = GetLastError(); }).join();
    EXPECT_EQ(0u, other) << "each thread has its own";
}
