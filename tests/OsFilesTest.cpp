// File and directory utilities against the real file system of each build.
#include <cstring>
#include <string>

#include "OsTestDir.h"
#include "TestHelpers.h"
#include "osutil/OsFiles.h"

namespace {

const char kSeparator[] = {KIV_PATH_SEPARATOR, '\0'};

TEST(OsFiles, MakeTempDirMakesANewDirectoryUnderTheTemporaryPath) {
    char temp[MAX_PATH];
    DWORD length = GetTempPathA(sizeof(temp), temp);
    OsTestDir first, second;
    for (const std::string& made : {first.path, second.path}) {
        EXPECT_EQ(1, IsDirectory(made.c_str()));
        EXPECT_EQ(std::string(temp) + "kiv-", made.substr(0, length + 4));
        EXPECT_EQ(length + 10, made.size());
    }
    EXPECT_NE(first.path, second.path);
    char small[MAX_PATH]; // no room for the whole name
    EXPECT_EQ(0, MakeTempDir(small, length + 10));
    EXPECT_EQ(0, MakeTempDir(small, 2));
    EXPECT_EQ(0, MakeTempDir(nullptr, MAX_PATH));
}

TEST(OsFiles, RemoveTreeKeepsDotDirectoriesAndTheirParents) {
    OsTestDir dir;
    for (const char* dotDirectory : {"", ".keep"}) {
        SCOPED_TRACE(dotDirectory);
        std::string t = std::string("t") + dotDirectory;
        std::string top = dir.Dir(t), nested = dir / (t + "/a/b");
        dir.Dir(t + "/a/b/" + dotDirectory);
        dir.File(t + "/f1", "x");
        dir.File(t + "/.hidden", "x");
        dir.File(t + "/a/b/f2", "yy");
        EXPECT_EQ(*dotDirectory ? 0 : 1, RemoveTree(top.c_str()));
        EXPECT_EQ(*dotDirectory ? 1 : 0, FileExists(top.c_str()));
        EXPECT_EQ(*dotDirectory ? 1 : 0, FileExists(nested.c_str()));
        EXPECT_EQ(0, FileExists((nested + "/f2").c_str())); // files go in any case
        EXPECT_EQ(0, FileExists((top + "/.hidden").c_str()));
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
    std::string file = dir.File("f", std::string(1234, 'z')), missing = dir / "missing";
    for (std::uint32_t time : {86400u, 951868800u, 4000000000u}) {
        EXPECT_EQ(1, SetFileTime(file.c_str(), time));
        std::uint32_t access = 0, modified = 0;
        EXPECT_EQ(1, GetFileTimes(file.c_str(), &access, &modified));
        EXPECT_EQ(time, access);
        EXPECT_EQ(time, modified);
    }
    std::uint32_t size = 0;
    EXPECT_EQ(1, GetFileSize32(file.c_str(), &size));
    EXPECT_EQ(1234u, size);
    EXPECT_EQ(0, IsDirectory(file.c_str()));
    EXPECT_EQ(1, IsDirectory(dir.path.c_str()));
    EXPECT_EQ(0, SetFileTime(missing.c_str(), 86400));
    EXPECT_EQ(0, GetFileTimes(missing.c_str(), &size, &size));
    EXPECT_EQ(0, GetFileSize32(missing.c_str(), &size));
}

TEST(OsFiles, FindListsTypesTimesAndSizes) {
    OsTestDir dir;
    SetFileTime(dir.File("a.txt", "12345").c_str(), 951868800);
    SetFileTime(dir.File("noext").c_str(), 86400);
    dir.Dir("sub");
    HANDLE find;
    char name[KIV_FIND_NAME_SIZE];
    std::uint32_t type = 0, time = 0, size = 0;
    std::string seen;
    for (int more = FindFirst(&find, (dir / "*.*").c_str(), name, &type, &time, &size); more;
         more = FindNext(&find, name, &type, &time, &size)) {
        // Directory times are whatever creating the entries left.
        seen += std::string(name) + "/" + std::to_string(type) + "/" +
                std::to_string(type == 2 ? 0 : time) + "/" + std::to_string(size) + " ";
    }
    EXPECT_EQ(INVALID_HANDLE_VALUE, find);
    EXPECT_EQ("./2/0/0 ../2/0/0 a.txt/1/951868800/5 noext/1/86400/0 sub/2/0/0 ", seen);
    // Outputs are optional; a pattern without match gives no handle.
    EXPECT_EQ(1, FindFirst(&find, (dir / "a.*").c_str(), nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(0, FindNext(&find, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(0, FindFirst(&find, (dir / "*.none").c_str(), name, &type, &time, &size));
    EXPECT_EQ(INVALID_HANDLE_VALUE, find);
}

TEST(OsFiles, GetModuleDir) {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
    std::string whole(path, length);
    std::string::size_type cut = whole.rfind(KIV_PATH_SEPARATOR);
    ASSERT_NE(std::string::npos, cut);
    struct Case {
        std::uint32_t directorySize, fileNameSize, code;
        std::string directory, fileName;
    } const cases[] = {
        {length + 1, MAX_PATH, 0, whole.substr(0, cut), whole.substr(cut + 1)},
        {length + 1, 4, 0, whole.substr(0, cut), whole.substr(cut + 1, 3)},
        {length, MAX_PATH, 111, "", ""}, // exactly as long as the path
        {0, MAX_PATH, 87, "", ""},
    };
    FOR_EACH_CASE(c, cases) {
        char directory[MAX_PATH] = "", fileName[MAX_PATH] = "";
        std::uint32_t code = 0xdeadbeef, shortCode = 0xdeadbeef;
        EXPECT_EQ(c.code == 0,
                  GetModuleDir(directory, c.directorySize, fileName, c.fileNameSize, &code));
        EXPECT_EQ(c.code, code);
        EXPECT_EQ(c.fileName, fileName);
        EXPECT_EQ(c.code == 0, GetModuleDir(directory, c.directorySize, &shortCode));
        EXPECT_EQ(c.code, shortCode);
        if (c.code == 0) {
            EXPECT_EQ(c.directory, directory);
        }
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
