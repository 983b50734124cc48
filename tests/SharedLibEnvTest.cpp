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

std::string systemText(DWORD code) {
    return kiv::OsError(code).text();
}

// The report of what `action` raises as E; fails when it raises nothing.
template <class E, class Action>
std::string reportOf(Action action) {
    try {
        action();
    } catch (const E& e) {
        return e.what();
    }
    ADD_FAILURE() << "nothing raised";
    return "";
}

// The report without its line number, which moves with the source.
std::string withoutLine(const std::string& report) {
    std::string::size_type colon = report.find(':');
    std::string::size_type open = report.find(" (");
    if (colon == std::string::npos || open == std::string::npos || open < colon)
        return report;
    return report.substr(0, colon + 1) + "N" + report.substr(open);
}

} // namespace

TEST(SharedLib, OpenResolveClose) {
    kiv::SharedLib lib;
    lib.open(kLibrary);
    EXPECT_NE(nullptr, lib.symbol(kSymbol));
    std::string twice = reportOf<kiv::UsageError>([&] { lib.open(kLibrary); });
    EXPECT_EQ("Exception occured at \"src/os/win32/SharedLib:N (kiv::SharedLib::open)\"\n\n"
              "Usage error occured. There is already a shared-library loaded.",
              withoutLine(twice));
    EXPECT_NE(nullptr, lib.symbol(kSymbol)) << "the first library stays loaded";

    std::string unknown = reportOf<kiv::SharedLibError>([&] { lib.symbol("kivNoSuchSymbol"); });
    EXPECT_EQ("Exception occured at \"src/os/win32/SharedLib:N (kiv::SharedLib::symbol)\"\n\n"
              "Dynamic linker error encountered. kivNoSuchSymbol: " +
                  systemText(127),
              withoutLine(unknown));

    lib.close();
    lib.close();
    std::string closed = reportOf<kiv::UsageError>([&] { lib.symbol(kSymbol); });
    EXPECT_EQ("Exception occured at \"src/os/win32/SharedLib:N (kiv::SharedLib::symbol)\"\n\n"
              "Usage error occured. Tried to resolve symbol but no library is loaded.",
              withoutLine(closed));
}

TEST(SharedLib, FailedLoadLeavesItEmpty) {
    kiv::SharedLib lib;
    std::string failed = reportOf<kiv::SharedLibError>([&] { lib.open("kiv-no-such-library"); });
    EXPECT_EQ("Exception occured at \"src/os/win32/SharedLib:N (kiv::SharedLib::open)\"\n\n"
              "Dynamic linker error encountered. " +
                  systemText(126),
              withoutLine(failed));
    reportOf<kiv::UsageError>([&] { lib.symbol(kSymbol); });
    lib.open(kLibrary);
    EXPECT_NE(nullptr, lib.symbol(kSymbol));
}

namespace {

const char kVar[] = "KIV_ENV_TEST_VARIABLE";

bool inSnapshot(const kiv::proc::Env& env, const std::string& entry) {
    for (const char* e : env)
        if (entry == e)
            return true;
    return false;
}

} // namespace

TEST(Env, GetSetDel) {
    struct Case {
        const char* set; // null: delete
        bool found;
        std::string value;
    };
    const Case cases[] = {
        {"abc", true, "abc"},     {"", true, ""},
        {nullptr, false, ""},     {nullptr, false, ""}, // deleting an unset variable is no failure
        {"x=y z", true, "x=y z"},
    };
    FOR_EACH_CASE(c, cases) {
        if (c.set)
            kiv::proc::Env::set(kVar, c.set);
        else
            kiv::proc::Env::del(kVar);
        std::string value = "left over";
        EXPECT_EQ(c.found, kiv::proc::Env::get(kVar, value));
        EXPECT_EQ(c.value, value);
    }
    kiv::proc::Env::del(kVar);
}

TEST(Env, BadNameRaises) {
    std::string report = reportOf<kiv::OsError>([] { kiv::proc::Env::set("KIV=BAD", "1"); });
    EXPECT_EQ("Exception occured at \"src/os/win32/proc/Env:N (kiv::proc::Env::set)\"\n"
              "System/Library call error: " +
                  systemText(87),
              withoutLine(report));
    report = reportOf<kiv::OsError>([] { kiv::proc::Env::del(""); });
    EXPECT_NE(std::string::npos, report.find("(kiv::proc::Env::del)\"")) << report;
}

TEST(Env, SnapshotKeepsItsBlock) {
    kiv::proc::Env::set(kVar, "before");
    kiv::proc::Env snapshot;
    kiv::proc::Env::set(kVar, "after");
    EXPECT_TRUE(inSnapshot(snapshot, std::string(kVar) + "=before"));
    EXPECT_FALSE(inSnapshot(snapshot, std::string(kVar) + "=after"));
    kiv::proc::Env::del(kVar);
    kiv::proc::Env fresh;
    EXPECT_FALSE(inSnapshot(fresh, std::string(kVar) + "=after"));
    EXPECT_TRUE(inSnapshot(snapshot, std::string(kVar) + "=before"));

    size_t count = 0;
    for (auto it = snapshot.begin(); it != snapshot.end(); ++it, ++count)
        EXPECT_NE('\0', (*it)[0]);
    EXPECT_GT(count, 0u);
    auto last = snapshot.begin();
    std::advance(last, count - 1);
    EXPECT_TRUE(++last == snapshot.end());
    EXPECT_TRUE(++last == snapshot.end()) << "end stays end";
}

TEST(Env, ReadBacktraceSetting) {
    struct Case {
        bool before;
        const char* value; // null: unset
        bool after;
    };
    const Case cases[] = {
        {false, "", true},
        {false, "0", true},
        {false, nullptr, false},
        {true, nullptr, true},
    };
    FOR_EACH_CASE(c, cases) {
        kiv::backtraceEnabled = c.before;
        if (c.value)
            kiv::proc::Env::set("KIV_BACKTRACE", c.value);
        else
            kiv::proc::Env::del("KIV_BACKTRACE");
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
