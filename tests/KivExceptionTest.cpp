// Reports of the kiv exception tree, backtraces and chain texts. System message texts are
// fetched at run time: Wine's differ from Windows'.
#include "TestHelpers.h"

#include "compat/win32.h"
#include "os/win32/Exception.h"
#include "os/win32/Registry.h"
#include "os/win32/SharedLib.h"

#include <algorithm>
#include <functional>
#include <typeinfo>

namespace {

// The system's text for `code` without its CR LF, as the stand-in or Windows gives it.
std::string systemText(DWORD code) {
    char* buffer = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                  reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
    std::string text = length >= 2 ? std::string(buffer, length - 2) : "?";
    LocalFree(buffer);
    return text;
}

template <class E>
std::unique_ptr<kiv::Exception> located(E e) {
    e.file = "src/os/win32/Test";
    e.line = 42;
    e.function = "kiv::Test::run";
    return std::make_unique<E>(e);
}

} // namespace

TEST(KivException, ReportsPerClass) {
    const struct {
        std::function<std::unique_ptr<kiv::Exception>()> make;
        std::string details; // what follows the header
        DWORD lastError = 0; // when made: taken unless a code is given
    } cases[] = {
        {[] { return located(kiv::StaticError("Bad thing", "Parse")); },
         "\n\nParse error occured. Bad thing"},
        {[] { return located(kiv::StaticError(nullptr, "Parse")); }, "\n\nParse error occured."},
        {[] { return located(kiv::StaticError("Bad thing")); }, "\n\nerror occured. Bad thing"},
        {[] { return located(kiv::UsageError("x")); }, "\n\nUsage error occured. x"},
        {[] { return located(kiv::OsError(2)); },
         "\nSystem/Library call error: " + systemText(2) + " (2)"},
        {[] { return located(kiv::SharedLibError("GetTickCount")); },
         "\n\nDynamic linker error encountered. GetTickCount: " + systemText(127) + " (127)", 127},
        {[] { return located(kiv::RegistryTypeError()); }, ""},
        {[] { return located(kiv::RegistryOsError("Unable to list subkeys", 2)); },
         "\nUnable to list subkeys: " + systemText(2) + " (2)"},
        {[] { return located(kiv::RegistryOsError("", 0xFFFFFFFF)); },
         "\n" + systemText(259) + " (259)", 259},
    };
    FOR_EACH_CASE(c, cases) {
        SetLastError(c.lastError);
        std::unique_ptr<kiv::Exception> e = c.make(), copy(e->clone()), raised;
        try {
            e->raise();
        } catch (const kiv::Exception& thrown) {
            raised.reset(thrown.clone());
        }
        // The report of the object, of its clone and of what its raise threw, each of its class.
        for (const auto* seen : {e.get(), copy.get(), raised.get()}) {
            ASSERT_NE(nullptr, seen);
            EXPECT_EQ(typeid(*e), typeid(*seen));
            EXPECT_EQ("Exception occured at \"src/os/win32/Test:42 (kiv::Test::run)\"" + c.details,
                      seen->what());
        }
    }
    kiv::RegistryError noFile, negative;
    noFile.file = "";
    negative.file = "f";
    negative.line = -7;
    EXPECT_STREQ("Exception occured", noFile.what());
    EXPECT_STREQ("Exception occured at \"f:-7 (<unknown-function>)\"", negative.what());
}

TEST(KivException, ErrorNumbers) {
    testing::internal::CaptureStderr();
    std::string text = kiv::OsError(0x12345).text();
    EXPECT_EQ("kiv::OsError::text: error getting error text from FormatMessage!\n",
              testing::internal::GetCapturedStderr());
    EXPECT_EQ("<unknown-error> (74565)", text);
}

namespace {

using Frames = std::vector<std::string>;

volatile int recursed; // written after each recursive call, which then cannot be a jump

// Recurses `depth` times, then runs `step` there.
__attribute__((noinline)) void atDepth(int depth, const std::function<void()>& step) {
    if (depth > 0)
        atDepth(depth - 1, step);
    else
        step();
    recursed = depth;
}

} // namespace

TEST(KivException, Backtraces) {
    Frames shallow, deep;
    for (int depth : {1, 4}) // one call site for both
        atDepth(depth, [&] { kiv::captureBacktrace(depth == 1 ? shallow : deep); });
    for (const std::string& frame : deep)
        EXPECT_TRUE(frame.size() == 16 &&
                    frame.find_first_not_of("0123456789ABCDEF") == std::string::npos)
            << frame;
    // Outermost first: three more levels of recursion are three more copies of its entry
    // where the two stacks part.
    const size_t part =
        std::mismatch(shallow.begin(), shallow.end(), deep.begin(), deep.end()).first -
        shallow.begin();
    ASSERT_TRUE(part > 0 && part <= shallow.size()) << part;
    Frames expected = shallow;
    expected.insert(expected.begin() + part, 3, shallow[part - 1]);
    EXPECT_EQ(expected, deep);

    // Each site captures, then calls one raising routine from the same frame; the statement
    // after the call keeps it a call, not a jump that would take the site's frame off the
    // stack. The report lists what the capture lists, from two levels above the raising
    // routine outwards: all of it when a library routine raises, all but the innermost entry
    // when the site raises itself. On a stack deeper than the capture's limit, that limit
    // counts from the raising routine: a library routine's report ends one entry short of
    // the site's capture.
    kiv::SharedLib lib;
    const struct {
        std::function<void(Frames&)> run;
        bool siteRaises;
    } sites[] = {
        {[](Frames& captured) {
             kiv::captureBacktrace(captured);
             kiv::raiseAt(kiv::OsError(5), "src/os/win32/Probe", 7, "kiv::probe");
         },
         true},
        {[](Frames& captured) {
             kiv::captureBacktrace(captured);
             kiv::RegistryValue().toDWord();
             captured = {"returned"};
         },
         false},
        {[&](Frames& captured) {
             kiv::captureBacktrace(captured);
             lib.open("kiv-no-such-library");
             captured = {"returned"};
         },
         false},
    };
    const struct {
        bool enabled;
        int depth;
    } stacks[] = {{false, 2}, {true, 2}, {true, 70}};
    for (const auto& stack : stacks)
        FOR_EACH_CASE(c, sites) {
            SCOPED_TRACE(::testing::Message() << "depth " << stack.depth);
            Frames captured, reported = {"nothing raised"};
            kiv::backtraceEnabled = stack.enabled;
            atDepth(stack.depth, [&] {
                try {
                    c.run(captured);
                } catch (const kiv::Exception& e) {
                    reported = e.frames;
                }
            });
            kiv::backtraceEnabled = false;
            ASSERT_EQ(stack.depth > 60, captured.size() == 61) << captured.size();
            Frames expected = captured;
            if (!stack.enabled)
                expected.clear();
            else if (c.siteRaises)
                expected.pop_back();
            else if (expected.size() == 61)
                expected.erase(expected.begin());
            EXPECT_EQ(expected, reported);
        }
}

TEST(KivException, ChainText) {
    kiv::UsageError outer("outer");
    kiv::RegistryTypeError middle;
    middle.file = "m";
    kiv::SharedLibError inner("");
    inner.file = "";
    inner.errorText.clear();
    inner.frames = {"0000000000000001", "00000000000000A2"};
    middle.setCause(inner);
    outer.setCause(middle);
    kiv::UsageError copy(outer);
    ASSERT_NE(nullptr, copy.cause);
    EXPECT_NE(outer.cause.get(), copy.cause.get());
    EXPECT_EQ("#1)\n"
              "\tException occured at \"<unknown-file>:0 (<unknown-function>)\"\n"
              "\t\n"
              "\tUsage error occured. outer\n"
              "\n#2)\n"
              "\tException occured at \"m:0 (<unknown-function>)\"\n"
              "\n#3)\n"
              "\tException occured\n"
              "\t\n"
              "\tFunction call backtrace:\n"
              "\t\n"
              "\t00000000000000A2\n"
              "\t0000000000000001\n"
              "\t\n"
              "\t\n"
              "\tDynamic linker error encountered. <no error set>\n",
              kiv::chainText(copy));
}
