// File calls: the same cases against Windows (under Wine) and against the stand-in.
#include <functional>
#include <set>
#include <string>

#include "OsTestDir.h"
#include "TestHelpers.h"
#include "compat/win32.h"

namespace {

// The names a pattern lists in dir, as "[name]" texts in sorted order; the error of the
// failing call (2 without a match, 18 after the last name) comes first.
std::string Listing(const OsTestDir& dir, const char* pattern) {
    WIN32_FIND_DATAA data;
    std::set<std::string> names;
    HANDLE find = FindFirstFileA((dir / pattern).c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do
            names.insert(data.cFileName);
        while (FindNextFileA(find, &data));
    }
    std::string result = std::to_string(GetLastError()) + ":";
    if (find != INVALID_HANDLE_VALUE) {
        EXPECT_TRUE(FindClose(find));
    }
    for (const std::string& name : names)
        result += "[" + name + "]";
    return result;
}

TEST(FileCompat, WildcardsMatchAsOnWindows) {
    OsTestDir dir;
    for (const char* name : {"a", "a.txt", "ab.txt", ".hidden", "noext", "x.y.z", "abc"})
        dir.File(name);
    dir.Dir("sd");
    const std::string all = "18:[.][..][.hidden][a][a.txt][ab.txt][abc][noext][sd][x.y.z]";
    struct Case {
        const char* pattern;
        std::string expected;
    } const cases[] = {
        {"*.*", all},
        {"*.TXT", "18:[a.txt][ab.txt]"},
        {"?", "18:[.][a]"},
        {"??", "18:[..][sd]"},
        {"a?.txt", "18:[ab.txt]"},
        {"a.*", "18:[a][a.txt]"},
        {"noext.*", "18:[noext]"},
        {"x.*", "18:[x.y.z]"},
        {"A*", "18:[a][a.txt][ab.txt][abc]"},
        {"*z", "18:[x.y.z]"},
        {"a*.*t", "18:[a.txt][ab.txt]"},
        {".*", "18:[.][..][.hidden]"},
        {"a??.txt", "2:"},
    };
    FOR_EACH_CASE(c, cases) {
        EXPECT_EQ(c.expected, Listing(dir, c.pattern));
    }
}

TEST(FileCompat, ErrorNumbers) {
    OsTestDir dir;
    const std::string file = dir.File("file", "x"), full = dir.Dir("full");
    dir.File("full/inside");
    const std::string sub = dir / "sub", missing = dir / "missing";
    const std::string deep = missing + KIV_PATH_SEPARATOR + "x";
    const std::string underFile = file + KIV_PATH_SEPARATOR + "x";
    WIN32_FIND_DATAA data;
    // Steps in order; each failing one leaves its own error number.
    struct Case {
        const char* what;
        std::function<bool()> call;
        DWORD error; // 0: succeeds
    } const cases[] = {
        {"create", [&] { return CreateDirectoryA(sub.c_str(), nullptr); }, 0},
        {"create again", [&] { return CreateDirectoryA(sub.c_str(), nullptr); },
         ERROR_ALREADY_EXISTS},
        {"create in missing", [&] { return CreateDirectoryA(deep.c_str(), nullptr); },
         ERROR_PATH_NOT_FOUND},
        {"create under a file", [&] { return CreateDirectoryA(underFile.c_str(), nullptr); },
         ERROR_PATH_NOT_FOUND},
        {"remove", [&] { return RemoveDirectoryA(sub.c_str()); }, 0},
        {"remove again", [&] { return RemoveDirectoryA(sub.c_str()); }, ERROR_FILE_NOT_FOUND},
        {"remove a file", [&] { return RemoveDirectoryA(file.c_str()); }, ERROR_DIRECTORY},
        {"remove non-empty", [&] { return RemoveDirectoryA(full.c_str()); }, ERROR_DIR_NOT_EMPTY},
        {"delete missing", [&] { return DeleteFileA(missing.c_str()); }, ERROR_FILE_NOT_FOUND},
        {"delete in missing", [&] { return DeleteFileA(deep.c_str()); }, ERROR_PATH_NOT_FOUND},
        {"delete a directory", [&] { return DeleteFileA(full.c_str()); }, ERROR_ACCESS_DENIED},
        {"find in missing",
         [&] {
             std::string pattern = deep + KIV_PATH_SEPARATOR + "*";
             return FindFirstFileA(pattern.c_str(), &data) != INVALID_HANDLE_VALUE;
         },
         ERROR_PATH_NOT_FOUND},
        {"attributes of missing",
         [&] { return GetFileAttributesA(missing.c_str()) != INVALID_FILE_ATTRIBUTES; },
         ERROR_FILE_NOT_FOUND},
        {"delete", [&] { return DeleteFileA(file.c_str()); }, 0},
    };
    FOR_EACH_CASE(c, cases) {
        SCOPED_TRACE(c.what);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(c.error == 0, c.call());
        EXPECT_EQ(c.error ? c.error : 0xdeadbeef, GetLastError());
    }
}

} // namespace
