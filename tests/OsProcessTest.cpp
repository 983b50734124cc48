// Processes from command lines: exit codes, the still-active code, the Windows splitting
// of the command line, and start failures. The children are this test executable in its
// child mode (support/ChildProcess.h).
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "TestHelpers.h"
#include "osutil/OsNamedObjects.h"
#include "osutil/OsProcess.h"
#include "support/ChildProcess.h"

namespace {

constexpr DWORD kSentinel = 0xDEADBEEF;
constexpr DWORD kLongWaitMs = 30000;

struct Event {
    explicit Event(const char* tag) : name(UniqueObjectName(tag)) {
        EXPECT_EQ(1, CreateNamedEvent(&handle, name.c_str(), 0));
    }
    ~Event() { CloseHandle(handle); }
    std::string name;
    HANDLE handle = nullptr;
};

TEST(OsProcess, ExitCodesComeBackFromRunAndWait) {
    const DWORD codes[] = {0, 1, 7, 200, 255};
    FOR_EACH_CASE(code, codes) {
        std::string command = ChildCommand("exit " + std::to_string(code));
        DWORD ran = kSentinel;
        EXPECT_EQ(1, RunProcess(command.c_str(), 0, &ran));
        EXPECT_EQ(code, ran);

        HANDLE process = nullptr;
        ASSERT_EQ(1, StartProcess(command.c_str(), 0, &process));
        DWORD waited = kSentinel;
        EXPECT_EQ(1, WaitProcessEnd(process, &waited));
        EXPECT_EQ(code, waited);
    }
}

// The child blocks on an event until the test lets it go, so "running" is certain.
TEST(OsProcess, RunningUntilReleasedThenEndsWithItsCode) {
    Event go("go"), done("done");
    HANDLE process = nullptr;
    std::string command = ChildCommand("relay " + go.name + " " + done.name + " 42");
    ASSERT_EQ(1, StartProcess(command.c_str(), SW_HIDE, &process));
    EXPECT_EQ(1, IsProcessRunning(process));
    DWORD code = kSentinel;
    EXPECT_EQ(1, WaitObject(done.handle, 0, &code));
    EXPECT_EQ(DWORD(WAIT_TIMEOUT), code);

    ASSERT_TRUE(SetEvent(go.handle));
    EXPECT_EQ(1, WaitObject(done.handle, kLongWaitMs, &code));
    EXPECT_EQ(DWORD(WAIT_OBJECT_0), code) << "the child signals the parent's event";
    DWORD exitCode = kSentinel;
    EXPECT_EQ(1, WaitProcessEnd(process, &exitCode));
    EXPECT_EQ(42u, exitCode);
}

TEST(OsProcess, NoWaitFlagReturnsAtOnceWithoutCode) {
    Event go("go"), done("done");
    std::string command = ChildCommand("relay " + go.name + " " + done.name + " 3");
    DWORD code = kSentinel;
    // The child cannot end before the event is set, so a wait would never return here.
    EXPECT_EQ(1, RunProcess(command.c_str(), kRunProcessNoWait | SW_HIDE, &code));
    EXPECT_EQ(kSentinel, code);
    ASSERT_TRUE(SetEvent(go.handle));
    DWORD relayed = kSentinel;
    EXPECT_EQ(1, WaitObject(done.handle, kLongWaitMs, &relayed));
    EXPECT_EQ(DWORD(WAIT_OBJECT_0), relayed);
}

TEST(OsProcess, StartFailuresGiveZero) {
    const char* commands[] = {
        "kiv-no-such-program-4711",
        "\"/kiv/no/such/dir/program\" argument",
        "",
    };
    FOR_EACH_CASE(command, commands) {
        HANDLE process = reinterpret_cast<HANDLE>(0x1234);
        EXPECT_EQ(0, StartProcess(command, 0, &process));
        DWORD code = kSentinel;
        EXPECT_EQ(0, RunProcess(command, 0, &code));
        EXPECT_EQ(kSentinel, code);
        EXPECT_EQ(0, RunProcess(command, kRunProcessNoWait, &code));
    }
    EXPECT_EQ(0, StartProcess(nullptr, 0, nullptr));
    EXPECT_EQ(0, RunProcess(nullptr, 0, nullptr));
}

// A handle that is not a process fails the poll: not running, and the wait ends at once
// with 1, no code, and the handle closed.
TEST(OsProcess, FailingPollEndsTheWait) {
    HANDLE notAProcess = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(nullptr, notAProcess);
    EXPECT_EQ(0, IsProcessRunning(notAProcess));
    DWORD code = kSentinel;
    EXPECT_EQ(1, WaitProcessEnd(notAProcess, &code));
    EXPECT_EQ(kSentinel, code);
    EXPECT_FALSE(CloseHandle(notAProcess)) << "WaitProcessEnd closed it";
}

TEST(OsProcess, CommandLineIsSplitByTheWindowsRules) {
    struct Case {
        const char* arguments;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"a b\tc", {"a", "b", "c"}},
        {"  spaced   out  ", {"spaced", "out"}},
        {"\"a b\" c", {"a b", "c"}},
        {"x\"y z\"w", {"xy zw"}},
        {"a\\b c\\\\d", {"a\\b", "c\\\\d"}},
        {"\"a\\\"b\"", {"a\"b"}},
        {"a\\\\\"b c\"", {"a\\b c"}},
        {"a\\\\\\\"b", {"a\\\"b"}},
        {"\"\" x", {"", "x"}},
    };
    FOR_EACH_CASE(c, cases) {
        TempFile output("kiv_args");
        std::string command =
            ChildCommand(std::string("args \"") + output.c_str() + "\" " + c.arguments);
        DWORD code = kSentinel;
        ASSERT_EQ(1, RunProcess(command.c_str(), 0, &code));
        ASSERT_EQ(0u, code);
        std::vector<std::string> seen;
        std::istringstream lines(output.Read());
        for (std::string line; std::getline(lines, line);)
            seen.push_back(line);
        EXPECT_EQ(c.expected, seen);
    }
}

} // namespace
