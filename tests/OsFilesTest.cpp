// File calls and the file utilities over them, against the real file system of each build:
// the same cases against Windows (under Wine) and against the stand-in.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <tuple>

#include "TestHelpers.h"
#include "osutil/OsFiles.h"
#include "osutil/OsLoaderCalls.h"
#include "osutil/OsProcess.h"

namespace {

#ifdef _WIN32
// Whether a link (a reparse point to Windows) is at the path.
bool IsLink(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Wine's CreateSymbolicLinkA reports success and makes nothing, and its calls that remove a
// link take what it points to; but Wine lists a Unix link to a directory as a reparse point
// and starts Unix programs. This runs the Unix command on the Unix names of the paths, until
// the link is there or gone (Wine cannot wait for the program).
bool RunOnUnixNames(std::string command, const std::vector<std::string>& paths,
                    const std::string& link, bool linkThere) {
    typedef char*(CDECL * UnixName)(LPCWSTR);
    auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    for (const std::string& path : paths) {
        WCHAR wide[MAX_PATH];
        char* name = unixName && MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH)
                         ? unixName(wide)
                         : nullptr;
        if (name == nullptr)
            return false;
        command += std::string(" \"") + name + "\"";
        HeapFree(GetProcessHeap(), 0, name);
    }
    for (int wait = StartProcess(command.c_str(), 0, nullptr) ? 0 : 1000;
         wait < 1000 && IsLink(link) != linkThere; ++wait)
        Sleep(10);
    return IsLink(link) == linkThere;
}
#endif

// A fresh directory of the test's own, removed with everything in it at the end; its
// links first, as links.
struct OsTestDir {
    OsTestDir() {
        char buffer[MAX_PATH];
        EXPECT_EQ(1, MakeTempDir(buffer, sizeof(buffer)));
        path = buffer;
    }
    ~OsTestDir() {
        std::error_code ignored;
        for (const std::string& link : links)
#ifdef _WIN32
            RunOnUnixNames("/bin/rm -f", {link}, link, false);
#else
            std::filesystem::remove(link, ignored);
#endif
        std::filesystem::remove_all(path, ignored);
    }
    // Makes `link` a symbolic link to the directory `target`.
    bool Link(const std::string& link, const std::string& target) {
        links.push_back(link);
#ifdef _WIN32
        const DWORD kDirectoryUnprivileged = 0x1 | 0x2; // directory link, no administrator
        return (CreateSymbolicLinkA(link.c_str(), target.c_str(), kDirectoryUnprivileged) &&
                IsLink(link)) ||
               RunOnUnixNames("/bin/ln -s", {target, link}, link, true);
#else
        std::error_code error;
        std::filesystem::create_directory_symlink(target, link, error);
        return !error;
#endif
    }
    std::string operator/(const std::string& relative) const {
        return path + KIV_PATH_SEPARATOR + relative;
    }
    std::string File(const std::string& relative, const std::string& bytes = "") const {
        std::ofstream(*this / relative, std::ios::binary) << bytes;
        return *this / relative;
    }
    std::string Dir(const std::string& relative) const {
        std::filesystem::create_directories(*this / relative);
        return *this / relative;
    }
    std::string path;
    std::vector<std::string> links;
};

// What FindFirst and FindNext list for a pattern in dir: the error of the failing call (2
// without a match, 18 after the last name), then "[name]" texts in sorted order, or with
// details "[name/type/time/size]" (a directory's time is whatever creating entries left).
std::string Listing(const OsTestDir& dir, const char* pattern, bool details = false) {
    HANDLE find;
    char name[KIV_FIND_NAME_SIZE];
    std::uint32_t type = 0, size = 0;
    std::int64_t time = 0;
    std::set<std::string> names;
    for (int more = FindFirst(&find, (dir / pattern).c_str(), name, &type, &time, &size); more;
         more = FindNext(&find, name, &type, &time, &size))
        names.insert(!details
                         ? name
                         : std::string(name) + "/" + std::to_string(type) + "/" +
                               std::to_string(type == 2 ? 0 : time) + "/" + std::to_string(size));
    std::string result = std::to_string(GetLastError()) + ":";
    EXPECT_EQ(INVALID_HANDLE_VALUE, find);
    for (const std::string& entry : names)
        result += "[" + entry + "]";
    return result;
}

TEST(FileCompat, WildcardsMatchAsOnWindows) {
    OsTestDir dir;
    for (const char* name : {"a", "a.txt", "ab.txt", ".hidden", "noext", "x.y.z", "abc"})
        dir.File(name);
    dir.Dir("sd");
    const char* const cases[][2] = {
        {"*.*", "18:[.][..][.hidden][a][a.txt][ab.txt][abc][noext][sd][x.y.z]"},
        {"a?.txt", "18:[ab.txt]"},
        {"a.*", "18:[a][a.txt]"},
        {"A*", "18:[a][a.txt][ab.txt][abc]"}, // any case
        {"a*.*t", "18:[a.txt][ab.txt]"},
        {"a??.txt", "2:"},
    };
    FOR_EACH_CASE(c, cases) {
        EXPECT_EQ(c[1], Listing(dir, c[0]));
    }
}

TEST(FileCompat, ErrorNumbers) {
    OsTestDir dir;
    const std::string file = dir.File("file", "x"), full = dir.Dir("full");
    dir.File("full/inside");
    const std::string sub = dir / "sub", missing = dir / "missing";
    const std::string deep = missing + KIV_PATH_SEPARATOR + "x";
    const std::string pattern = deep + KIV_PATH_SEPARATOR + "*";
    WIN32_FIND_DATAA data;
    // Steps in order (Create directory, Remove, Delete, New file, Find); each failing one
    // leaves its own error number, 0 where it succeeds.
    const std::tuple<char, const std::string&, DWORD> cases[] = {
        {'C', sub, 0},
        {'C', sub, ERROR_ALREADY_EXISTS},
        {'C', deep, ERROR_PATH_NOT_FOUND},
        {'R', sub, 0},
        {'R', sub, ERROR_FILE_NOT_FOUND},
        {'R', full, ERROR_DIR_NOT_EMPTY},
        {'D', missing, ERROR_FILE_NOT_FOUND},
        {'F', pattern, ERROR_PATH_NOT_FOUND},
        {'N', file, ERROR_FILE_EXISTS},
        {'N', deep, ERROR_PATH_NOT_FOUND},
        {'D', file, 0},
    };
    FOR_EACH_CASE(c, cases) {
        const auto& [call, path, error] = c;
        SetLastError(0xdeadbeef);
        bool ok = call == 'C'   ? CreateDirectoryA(path.c_str(), nullptr)
                  : call == 'R' ? RemoveDirectoryA(path.c_str())
                  : call == 'D' ? DeleteFileA(path.c_str())
                  : call == 'N' ? CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                              0, nullptr) != INVALID_HANDLE_VALUE
                                : FindFirstFileA(path.c_str(), &data) != INVALID_HANDLE_VALUE;
        EXPECT_EQ(error == 0, ok);
        EXPECT_EQ(error ? error : 0xdeadbeef, GetLastError());
    }
}

// What the innermost directory holds besides a file: nothing, a dot directory (kept, and
// its parents with it), a link to a directory outside the tree (removed as a link; what it
// points to stays whole), or the tree is removed through a link to it.
TEST(OsFiles, RemoveTreeKeepsDotDirectoriesAndTheirParentsAndWhatLinksPointTo) {
    OsTestDir dir;
    const std::string outside = dir.Dir("outside"), kept = dir.File("outside/kept", "k");
    enum Extra { None, DotDirectory, Link, TopLink };
    for (Extra extra : {None, DotDirectory, Link, TopLink}) {
        SCOPED_TRACE(extra);
        const std::string t = "t" + std::to_string(extra);
        std::string top = dir.Dir(t), nested = dir.Dir(t + "/a/b");
        dir.File(t + "/.hidden", "x");
        dir.File(t + "/a/b/f2", "yy");
        if (extra == DotDirectory)
            dir.Dir(t + "/a/b/.keep");
        if (extra == Link) {
            ASSERT_TRUE(dir.Link(nested + "/link", outside));
        }
        if (extra == TopLink) {
            ASSERT_TRUE(dir.Link(dir / "toplink", outside));
            top = nested = dir / "toplink";
        }
        const int result = RemoveTree(top.c_str());
        EXPECT_EQ(1, FileExists(kept.c_str())) << "what a link points to stays";
#ifdef _WIN32
        // Wine's RemoveDirectoryA takes the directory a link points to instead of the link,
        // and fails as that is not empty: the link stays, and the tree above it.
        const bool linkRemovable = result == 1 || extra < Link;
#else
        const bool linkRemovable = true;
#endif
        const int stays = extra == DotDirectory || !linkRemovable ? 1 : 0; // files go anyway
        EXPECT_EQ(1 - stays, result);
        EXPECT_EQ(stays * 11, FileExists(top.c_str()) + 10 * FileExists(nested.c_str()));
        if (extra != TopLink) {
            EXPECT_EQ(0, FileExists((nested + "/f2").c_str()) +
                             FileExists((top + "/.hidden").c_str()));
        }
    }
    EXPECT_EQ(0, RemoveTree((dir / "missing").c_str()));
}

// Two temporary directories are new ones; paths with either separator are made level by level.
TEST(OsFiles, MakeTempDirAndEnsureDirPath) {
    char temp[MAX_PATH], small[MAX_PATH];
    DWORD length = GetTempPathA(sizeof(temp), temp);
    OsTestDir dir, second;
    for (const std::string& made : {dir.path, second.path}) {
        EXPECT_EQ(1, IsDirectory(made.c_str()));
        EXPECT_EQ(std::string(temp) + "kiv-", made.substr(0, length + 4));
        EXPECT_EQ(length + 10, made.size());
    }
    EXPECT_NE(dir.path, second.path);
    EXPECT_EQ(0, MakeTempDir(small, length + 10)) << "no room for the whole name";
    EXPECT_EQ(0, MakeTempDir(small, 2) + MakeTempDir(nullptr, MAX_PATH));
    std::string file = dir.File("file");
    const std::string sep(1, KIV_PATH_SEPARATOR);
    const std::tuple<std::string, int, std::string> cases[] = {
        // path, result, a directory that exists afterwards
        {dir.path + "/x\\y/z", 1, dir / "x" + sep + "y" + sep + "z"},
        {dir.path + "\\x/y\\w\\", 1, dir / "x" + sep + "y" + sep + "w"},
        {dir.path + "/x/y/z", 1, dir / "x"}, // exists already
        {file + "/sub/dir", 0, ""},
        {file, 1, ""},
        {"x", 1, ""},
        {"", 1, ""},
    };
    FOR_EACH_CASE(c, cases) {
        const auto& [path, result, made] = c;
        EXPECT_EQ(result, EnsureDirPath(path.c_str()));
        EXPECT_TRUE(made.empty() || IsDirectory(made.c_str()));
    }
    EXPECT_EQ(0, FileExists((file + sep + "sub").c_str()) + EnsureDirPath(nullptr));
}

// Times before 1970 and beyond 32 bits, through paths written with either separator.
TEST(OsFiles, FileStatusTimesAndFind) {
    OsTestDir dir;
    const std::string file = dir.File("a.txt", std::string(1234, 'z')), sub = dir.Dir("sub");
    const std::string missing = dir / "missing";
    const std::pair<std::int64_t, char> cases[] = {
        {86400, '/'},
        {4000000000, '\\'},
        {-86400, '\\'},    // 1969-12-31
        {4295053696, '/'}, // 2106-02-08
    };
    FOR_EACH_CASE(c, cases) {
        const std::string path = dir.path + c.second + "a.txt";
        std::int64_t access = 0, modified = 0;
        std::uint32_t size = 0;
        EXPECT_EQ(1, SetFileTime(path.c_str(), c.first));
        EXPECT_EQ(1, GetFileTimes(path.c_str(), &access, &modified));
#ifdef _WIN32
        // Wine's runtime cannot convert a time outside 1970 to 2106 and reports whatever
        // value it held: there only the listing reads such a time back.
        const bool runtimeHolds = c.first >= 0 && c.first <= 0xFFFFFFFF;
#else
        const bool runtimeHolds = true;
#endif
        if (runtimeHolds) {
            EXPECT_EQ(c.first, access);
            EXPECT_EQ(c.first, modified);
        }
        EXPECT_EQ("18:[a.txt/1/" + std::to_string(c.first) + "/1234]", Listing(dir, "a.txt", true));
        EXPECT_EQ(1, GetFileSize32(path.c_str(), &size));
        EXPECT_EQ(1234u, size);
        EXPECT_EQ(0, IsDirectory(path.c_str()));
        EXPECT_EQ(1, IsDirectory((dir.path + c.second + "sub").c_str()));
    }
    std::uint32_t size = 0;
    std::int64_t time = 0;
    EXPECT_EQ(0, SetFileTime(missing.c_str(), 86400) ||
                     GetFileTimes(missing.c_str(), &time, &time) ||
                     GetFileSize32(missing.c_str(), &size) || IsDirectory(missing.c_str()));
    SetFileTime(file.c_str(), 4000000000);

    SetFileTime(dir.File("noext").c_str(), 951868800);
    EXPECT_EQ("18:[../2/0/0][./2/0/0][a.txt/1/4000000000/1234][noext/1/951868800/0][sub/2/0/0]",
              Listing(dir, "*.*", true));
    HANDLE find;
    // Outputs are optional.
    EXPECT_EQ(1, FindFirst(&find, (dir / "a.*").c_str(), nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(0, FindNext(&find, nullptr, nullptr, nullptr, nullptr));
}

// Directory size, file name size, error code (both forms), the file name left.
TEST(OsFiles, GetModuleDir) {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
    const std::string whole(path, length);
    const std::string::size_type cut = whole.rfind(KIV_PATH_SEPARATOR);
    ASSERT_NE(std::string::npos, cut);
    const std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, std::string> cases[] = {
        {length + 1, MAX_PATH, 0, whole.substr(cut + 1)},
        {length + 1, 4, 0, whole.substr(cut + 1, 3)},
        {length, MAX_PATH, 111, ""}, // exactly as long as the path
        {0, MAX_PATH, 87, ""}};
    FOR_EACH_CASE(c, cases) {
        const auto& [directorySize, fileNameSize, error, name] = c;
        char directory[MAX_PATH] = "", fileName[MAX_PATH] = "";
        std::uint32_t code = 0xdeadbeef, shortCode = 0xdeadbeef;
        EXPECT_EQ(error == 0,
                  GetModuleDir(directory, directorySize, fileName, fileNameSize, &code));
        EXPECT_EQ(error == 0, GetModuleDir(directory, directorySize, &shortCode));
        EXPECT_EQ(name, fileName);
        EXPECT_EQ(error * 2, code + shortCode);
        EXPECT_TRUE(error || whole.substr(0, cut) == directory) << directory;
    }
}

// Stand-ins for the loader calls: a load failing with 0x12345, which no system has a text
// for, and a system text of longTextLength characters.
#ifndef WINAPI
#define WINAPI
#endif
HMODULE WINAPI FailingLoad(LPCSTR) {
    SetLastError(0x12345);
    return nullptr;
}
std::size_t longTextLength = 0;
DWORD WINAPI LongText(DWORD, LPCVOID, DWORD, DWORD, LPSTR buffer, DWORD size, va_list*) {
    const std::string text = std::string(longTextLength - 1, 'm') + '.';
    if (text.size() >= size)
        return 0;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}

TEST(OsFiles, LoadLibraryWithError) {
    const char *message = nullptr, *missing[] = {nullptr, ""};
    FOR_EACH_CASE(name, missing) {
        EXPECT_EQ(nullptr, LoadLibraryWithError(name, &message));
        EXPECT_STREQ("filename missing", message);
    }
    HMODULE module =
        LoadLibraryWithError(KIV_PATH_SEPARATOR == '/' ? "libc.so.6" : "kernel32.dll", &message);
    EXPECT_TRUE(module != nullptr && std::strcmp("success", message) == 0) << message;
    FreeLibrary(module);
    EXPECT_EQ(nullptr, LoadLibraryWithError("kiv-no-such-library.dll", &message));
    char text[512];
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, GetLastError(), 0, text, sizeof(text), nullptr);
    EXPECT_EQ(std::string(text, length), message) << "the system's text";
    const OsLoaderCalls saved = osLoaderCalls;
    osLoaderCalls.loadLibrary = FailingLoad;
    EXPECT_EQ(nullptr, LoadLibraryWithError("x", &message));
    EXPECT_STREQ("Error 74565 occured", message);
    osLoaderCalls.formatMessage = LongText;
    // Texts go into the shared 128 bytes: a longer one is no text.
    const std::pair<std::size_t, std::string> texts[] = {
        {127, std::string(126, 'm') + '.'},
        {128, "Error 74565 occured"},
        {300, "Error 74565 occured"},
    };
    FOR_EACH_CASE(c, texts) {
        longTextLength = c.first;
        EXPECT_EQ(nullptr, LoadLibraryWithError("x", &message));
        EXPECT_EQ(c.second, message);
    }
    osLoaderCalls = saved;
}

} // namespace
