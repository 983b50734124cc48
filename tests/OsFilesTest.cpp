// File and directory utilities against the real file system of each build.
#include <cstring>
#include <map>
#include <string>

#include "OsTestDir.h"
#include "TestHelpers.h"
#include "osutil/OsFiles.h"

namespace {

const char kSeparator[] = {KIV_PATH_SEPARATOR, '\0'};

TEST(OsFiles, MakeTempDirMakesANewDirectoryUnderTheTemporaryPath) {
    char temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathA(sizeof(temp), temp));
    OsTestDir first, second;
    for (const std::string& made : {first.path, second.path}) {
        EXPECT_EQ(1, IsDirectory(made.c_str()));
        std::string prefix = std::string(temp) +
                             (temp[std::strlen(temp) - 1] == KIV_PATH_SEPARATOR ? "" : kSeparator);
        EXPECT_EQ(prefix + "kiv-", made.substr(0, prefix.size() + 4));
        EXPECT_EQ(prefix.size() + 10, made.size());
    }
    EXPECT_NE(first.path, second.path);
    // No room for the whole name: nothing is created.
    char small[MAX_PATH];
    EXPECT_EQ(0, MakeTempDir(small, static_cast<std::uint32_t>(std::strlen(temp) + 5)));
    EXPECT_EQ(0, MakeTempDir(small, 2));
}

TEST(OsFiles, RemoveTree) {
    OsTestDir dir;
    struct Case {
        const char* dotDirectory; // inside a/b, or none
        int expected;
        bool topStays;
    } const cases[] = {{nullptr, 1, false}, {".keep", 0, true}, {".", 1, false}};
    FOR_EACH_CASE(c, cases) {
        std::string top = dir.Dir("t" + std::to_string(caseIndex));
        dir.File("t" + std::to_string(caseIndex) + "/f1", "x");
        dir.File("t" + std::to_string(caseIndex) + "/.hidden", "x");
        std::string nested = dir.Dir("t" + std::to_string(caseIndex) + "/a/b");
        dir.File("t" + std::to_string(caseIndex) + "/a/b/f2", "yy");
        if (c.dotDirectory && std::strcmp(c.dotDirectory, ".") != 0)
            dir.Dir("t" + std::to_string(caseIndex) + "/a/b/" + c.dotDirectory);
        EXPECT_EQ(c.expected, RemoveTree(top.c_str()));
        EXPECT_EQ(c.topStays, FileExists(top.c_str()) == 1);
        EXPECT_EQ(c.topStays, FileExists(nested.c_str()) == 1);
        EXPECT_EQ(0, FileExists((nested + kSeparator + "f2").c_str())); // files go in any case
        EXPECT_EQ(0, FileExists((top + kSeparator + "f1").c_str()));
    }
    EXPECT_EQ(0, RemoveTree((dir / "missing").c_str()));
}

TEST(OsFiles, EnsureDirPath) {
    OsTestDir dir;
    std::string file = dir.File("file");
    struct Case {
        std::string path;
        int expected;
        std::string check; // a directory that exists afterwards
    } const cases[] = {
        {dir.path + "/x\\y/z", 1, dir / "x" + kSeparator + "y" + kSeparator + "z"},
        {dir.path + "\\x/y\\w\\", 1, dir / "x" + kSeparator + "y" + kSeparator + "w"},
        {dir.path + "/x/y/z", 1, dir / "x"}, // exists already
        {file + "/sub/dir", 0, ""},
        {file, 1, ""},
        {"x", 1, ""},
        {"", 1, ""},
    };
    FOR_EACH_CASE(c, cases) {
        EXPECT_EQ(c.expected, EnsureDirPath(c.path.c_str()));
        if (!c.check.empty()) {
            EXPECT_EQ(1, IsDirectory(c.check.c_str()));
        }
    }
    EXPECT_EQ(0, FileExists((file + kSeparator + "sub").c_str()));
    EXPECT_EQ(0, EnsureDirPath(nullptr));
}

TEST(OsFiles, FileStatusAndTimes) {
    OsTestDir dir;
    std::string file = dir.File("f", std::string(1234, 'z'));
    struct Case {
        std::uint32_t time;
    } const cases[] = {{86400}, {951868800}, {4000000000u}};
    FOR_EACH_CASE(c, cases) {
        EXPECT_EQ(1, SetFileTime(file.c_str(), c.time));
        std::uint32_t access = 0, modified = 0;
        EXPECT_EQ(1, GetFileTimes(file.c_str(), &access, &modified));
        EXPECT_EQ(c.time, access);
        EXPECT_EQ(c.time, modified);
    }
    std::uint32_t size = 0;
    EXPECT_EQ(1, GetFileSize32(file.c_str(), &size));
    EXPECT_EQ(1234u, size);
    EXPECT_EQ(0, IsDirectory(file.c_str()));
    EXPECT_EQ(1, IsDirectory(dir.path.c_str()));
    std::string missing = dir / "missing";
    EXPECT_EQ(0, SetFileTime(missing.c_str(), 86400));
    EXPECT_EQ(0, GetFileTimes(missing.c_str(), &size, &size));
    EXPECT_EQ(0, GetFileSize32(missing.c_str(), &size));
    EXPECT_EQ(0, IsDirectory(missing.c_str()));
    EXPECT_EQ(0, FileExists(missing.c_str()));
}

TEST(OsFiles, FindListsTypesTimesAndSizes) {
    OsTestDir dir;
    struct Expected {
        std::uint32_t type, time, size;
    };
    std::map<std::string, Expected> expected = {
        {"a.txt", {1, 951868800, 5}},
        {"noext", {1, 86400, 0}},
        {"sub", {2, 0, 0}}}; // the runtime sets no times on directories on Windows
    dir.File("a.txt", "12345");
    dir.File("noext");
    dir.Dir("sub");
    for (const auto& [name, facts] : expected)
        if (facts.time) {
            ASSERT_EQ(1, SetFileTime((dir / name).c_str(), facts.time));
        }
    HANDLE find;
    char name[KIV_FIND_NAME_SIZE];
    std::uint32_t type = 0, time = 0, size = 0;
    std::map<std::string, Expected> seen;
    for (int more = FindFirst(&find, (dir / "*.*").c_str(), name, &type, &time, &size); more;
         more = FindNext(&find, name, &type, &time, &size)) {
        seen[name] = {type, type == 2 ? 0 : time, size};
    }
    EXPECT_EQ(INVALID_HANDLE_VALUE, find);
    EXPECT_EQ(expected.size() + 2, seen.size());
    EXPECT_EQ(2u, seen["."].type);
    EXPECT_EQ(2u, seen[".."].type);
    for (const auto& [entry, facts] : expected) {
        SCOPED_TRACE(entry);
        EXPECT_EQ(facts.type, seen[entry].type);
        EXPECT_EQ(facts.time, seen[entry].time);
        EXPECT_EQ(facts.size, seen[entry].size);
    }
    // Outputs are optional; a pattern without match gives no handle.
    EXPECT_EQ(1, FindFirst(&find, (dir / "a.*").c_str(), nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(0, FindNext(&find, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(0, FindFirst(&find, (dir / "*.none").c_str(), name, &type, &time, &size));
    EXPECT_EQ(INVALID_HANDLE_VALUE, find);
    EXPECT_EQ(0, FindNext(&find, name, &type, &time, &size));
}

TEST(OsFiles, GetModuleDir) {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, sizeof(path));
    std::string whole(path, length);
    std::string::size_type cut = whole.rfind(KIV_PATH_SEPARATOR);
    ASSERT_NE(std::string::npos, cut);
    struct Case {
        std::uint32_t directorySize, fileNameSize;
        int expected;
        std::uint32_t code;
        std::string directory, fileName;
    } const cases[] = {
        {MAX_PATH, MAX_PATH, 1, 0, whole.substr(0, cut), whole.substr(cut + 1)},
        {length + 1, 4, 1, 0, whole.substr(0, cut), whole.substr(cut + 1, 3)},
        {length, MAX_PATH, 0, 111, "", ""},
        {0, MAX_PATH, 0, 87, "", ""},
    };
    FOR_EACH_CASE(c, cases) {
        char directory[MAX_PATH + 1] = "", fileName[MAX_PATH] = "";
        std::uint32_t code = 0xdeadbeef;
        EXPECT_EQ(c.expected,
                  GetModuleDir(directory, c.directorySize, fileName, c.fileNameSize, &code));
        EXPECT_EQ(c.code, code);
        if (c.expected) {
            EXPECT_EQ(c.directory, directory);
            EXPECT_EQ(c.fileName, fileName);
        }
        std::uint32_t shortCode = 0xdeadbeef;
        EXPECT_EQ(c.expected, GetModuleDir(directory, c.directorySize, &shortCode));
        EXPECT_EQ(c.code, shortCode);
    }
    std::uint32_t code = 0;
    EXPECT_EQ(0, GetModuleDir(nullptr, MAX_PATH, &code));
    EXPECT_EQ(87u, code);
}

#ifdef _WIN32
const char kRealLibrary[] = "kernel32.dll";
#else
const char kRealLibrary[] = "libc.so.6";
#endif

std::string SystemText(DWORD code) {
    char text[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, text, sizeof(text), nullptr);
    return std::string(text, length);
}

// Stand-ins for the loader calls: a load failing with a chosen code, and a system text of
// 300 characters.
#ifndef WINAPI
#define WINAPI
#endif
DWORD fakeCode;
HMODULE WINAPI FailingLoad(LPCSTR) {
    SetLastError(fakeCode);
    return nullptr;
}
DWORD WINAPI LongText(DWORD, LPCVOID, DWORD, DWORD, LPSTR buffer, DWORD size, va_list*) {
    std::string text(299, 'm');
    text += '.';
    if (text.size() >= size)
        return 0;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}

TEST(OsFiles, LoadLibraryWithError) {
    const char* message = nullptr;
    EXPECT_EQ(nullptr, LoadLibraryWithError(nullptr, &message));
    EXPECT_STREQ("filename missing", message);
    EXPECT_EQ(nullptr, LoadLibraryWithError("", &message));
    EXPECT_STREQ("filename missing", message);

    HMODULE module = LoadLibraryWithError(kRealLibrary, &message);
    EXPECT_NE(nullptr, module);
    EXPECT_STREQ("success", message);
    FreeLibrary(module);

    EXPECT_EQ(nullptr, LoadLibraryWithError("kiv-no-such-library.dll", &message));
    std::string expected = SystemText(GetLastError());
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(expected, message);

    const OsLoaderCalls saved = osLoaderCalls;
    osLoaderCalls.loadLibrary = FailingLoad;
    fakeCode = 0x12345; // no text on any system
    EXPECT_EQ(nullptr, LoadLibraryWithError("x", &message));
    EXPECT_STREQ("Error 74565 occured", message);
    osLoaderCalls.formatMessage = LongText;
    EXPECT_EQ(nullptr, LoadLibraryWithError("x", &message));
    EXPECT_EQ(std::string(127, 'm'), message);
    osLoaderCalls = saved;
}

} // namespace
