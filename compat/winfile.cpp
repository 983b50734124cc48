#include "compat/winfile.h"

#include <dirent.h>
#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

// Windows takes both separators; the system only the slash.
std::string SystemPath(LPCSTR path) {
    std::string result(path);
    std::replace(result.begin(), result.end(), '\\', '/');
    return result;
}

bool IsDir(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::string ParentOf(const std::string& path) {
    std::string::size_type slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Windows tells a missing name (2) from a missing directory on the way to it (3).
DWORD MissingError(const std::string& path) {
    return IsDir(ParentOf(path)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

DWORD ErrorFromErrno(int error, const std::string& path) {
    switch (error) {
    case ENOENT:
        return MissingError(path);
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EEXIST:
        return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY:
        return ERROR_DIR_NOT_EMPTY;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    default:
        return ERROR_ACCESS_DENIED;
    }
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Windows' wildcard match: `*` any run (retried further on a mismatch), `?` one
// character, letters without regard to ASCII case; once the name is used up, dots and
// stars left in the pattern match nothing.
bool Matches(const char* name, const char* pattern) {
    const char* retryName = nullptr;
    const char* retryPattern = nullptr;
    while (*name) {
        if (*pattern == '*') {
            while (*pattern == '*')
                ++pattern;
            retryPattern = pattern;
            retryName = name;
        } else if (*pattern == '?' || (*pattern && Upper(*pattern) == Upper(*name))) {
            ++pattern;
            ++name;
        } else if (retryPattern) {
            pattern = retryPattern;
            name = ++retryName;
        } else {
            return false;
        }
    }
    while (*pattern == '.' || *pattern == '*')
        ++pattern;
    return *pattern == '\0';
}

FILETIME ToFileTime(const struct timespec& time) {
    // Seconds from 1601 to 1970, then 100-nanosecond ticks.
    std::uint64_t ticks = (static_cast<std::uint64_t>(time.tv_sec) + 11644473600ULL) * 10000000ULL +
                          static_cast<std::uint64_t>(time.tv_nsec) / 100;
    return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

struct Entry {
    std::string name;
    struct stat status; // of what a link points to, or of a dangling link itself
    bool link = false;  // a symbolic link: a reparse point to Windows
};

// The entry's status as Windows reports it: a link stands for what it points to, and is
// marked. false with errno when there is nothing at the path.
bool ReadStatus(const std::string& path, Entry* entry) {
    if (lstat(path.c_str(), &entry->status) != 0)
        return false;
    entry->link = S_ISLNK(entry->status.st_mode);
    struct stat target;
    if (entry->link && stat(path.c_str(), &target) == 0)
        entry->status = target;
    return true;
}

// A link that points to a directory: Windows removes it as a directory.
bool IsDirectoryLink(const std::string& path) {
    Entry entry;
    return ReadStatus(path, &entry) && entry.link && S_ISDIR(entry.status.st_mode);
}

struct Listing {
    std::vector<Entry> entries;
    std::size_t next = 0;
};

// Open listings, so that a stale or foreign handle is refused instead of followed.
std::mutex listingsLock;
std::unordered_set<Listing*> listings;

bool IsDotName(const std::string& name) {
    return name == "." || name == "..";
}

// Dot entries first, then case-blind order, exact order breaking ties.
bool ListedBefore(const Entry& a, const Entry& b) {
    if (IsDotName(a.name) != IsDotName(b.name))
        return IsDotName(a.name);
    std::string upperA(a.name), upperB(b.name);
    std::transform(upperA.begin(), upperA.end(), upperA.begin(), Upper);
    std::transform(upperB.begin(), upperB.end(), upperB.begin(), Upper);
    return upperA != upperB ? upperA < upperB : a.name < b.name;
}

void Fill(const Entry& entry, LPWIN32_FIND_DATAA data) {
    std::memset(data, 0, sizeof(*data));
    bool directory = S_ISDIR(entry.status.st_mode);
    data->dwFileAttributes = directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (entry.name[0] == '.' && !IsDotName(entry.name))
        data->dwFileAttributes |= FILE_ATTRIBUTE_HIDDEN;
    if (!(entry.status.st_mode & S_IWUSR))
        data->dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
    if (entry.link)
        data->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    data->ftCreationTime = ToFileTime(entry.status.st_ctim);
    data->ftLastAccessTime = ToFileTime(entry.status.st_atim);
    data->ftLastWriteTime = ToFileTime(entry.status.st_mtim);
    if (!directory) {
        auto size = static_cast<std::uint64_t>(entry.status.st_size);
        data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
        data->nFileSizeLow = static_cast<DWORD>(size);
    }
    std::size_t length = std::min(entry.name.size(), sizeof(data->cFileName) - 1);
    std::memcpy(data->cFileName, entry.name.data(), length);
}

} // namespace

HANDLE FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findFileData) {
    if (!fileName || !*fileName) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::string path = SystemPath(fileName);
    std::string::size_type slash = path.find_last_of('/');
    std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    std::string pattern = slash == std::string::npos ? path : path.substr(slash + 1);

    DIR* dir = opendir(directory.c_str());
    if (!dir) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    auto* listing = new Listing;
    while (struct dirent* item = readdir(dir)) {
        if (!Matches(item->d_name, pattern.c_str()))
            continue;
        Entry entry{item->d_name, {}};
        // A dangling link is still listed, with the link's own status.
        if (!ReadStatus(directory + item->d_name, &entry))
            continue;
        listing->entries.push_back(std::move(entry));
    }
    closedir(dir);
    if (listing->entries.empty()) {
        delete listing;
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::sort(listing->entries.begin(), listing->entries.end(), ListedBefore);
    Fill(listing->entries[listing->next++], findFileData);
    std::lock_guard<std::mutex> lock(listingsLock);
    listings.insert(listing);
    return listing;
}

BOOL FindNextFileA(HANDLE findFile, LPWIN32_FIND_DATAA findFileData) {
    auto* listing = static_cast<Listing*>(findFile);
    {
        std::lock_guard<std::mutex> lock(listingsLock);
        if (!listings.count(listing))
            return Fail(ERROR_INVALID_HANDLE);
    }
    if (listing->next >= listing->entries.size())
        return Fail(ERROR_NO_MORE_FILES);
    Fill(listing->entries[listing->next++], findFileData);
    return TRUE;
}

BOOL FindClose(HANDLE findFile) {
    auto* listing = static_cast<Listing*>(findFile);
    {
        std::lock_guard<std::mutex> lock(listingsLock);
        if (!listings.erase(listing))
            return Fail(ERROR_INVALID_HANDLE);
    }
    delete listing;
    return TRUE;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
    std::string path;
    if (!module) {
        char buffer[4096];
        ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer));
        if (length < 0 || static_cast<std::size_t>(length) >= sizeof(buffer))
            return Fail(ERROR_FILENAME_EXCED_RANGE);
        path.assign(buffer, static_cast<std::size_t>(length));
    } else {
        struct link_map* map = nullptr;
        if (dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name)
            return Fail(ERROR_MOD_NOT_FOUND);
        path = map->l_name;
    }
    if (size == 0)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    if (path.size() >= size) {
        std::memcpy(fileName, path.data(), size - 1);
        fileName[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(fileName, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

DWORD GetTempPathA(DWORD bufferLength, LPSTR buffer) {
    const char* base = std::getenv("TMPDIR");
    std::string path = (base && *base) ? base : "/tmp";
    if (path.back() != '/')
        path += '/';
    if (path.size() >= bufferLength)
        return static_cast<DWORD>(path.size() + 1);
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

DWORD GetFileAttributesA(LPCSTR fileName) {
    std::string path = SystemPath(fileName);
    Entry entry{path.substr(path.find_last_of('/') + 1), {}};
    if (!ReadStatus(path, &entry)) {
        SetLastError(ErrorFromErrno(errno, path));
        return INVALID_FILE_ATTRIBUTES;
    }
    WIN32_FIND_DATAA data;
    Fill(entry, &data);
    return data.dwFileAttributes;
}

BOOL CreateDirectoryA(LPCSTR pathName, void* /*securityAttributes*/) {
    std::string path = SystemPath(pathName);
    if (mkdir(path.c_str(), 0777) == 0)
        return TRUE;
    // mkdir names no missing parent apart from a missing name.
    return Fail(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno, path));
}

BOOL RemoveDirectoryA(LPCSTR pathName) {
    std::string path = SystemPath(pathName);
    if (IsDirectoryLink(path))
        return unlink(path.c_str()) == 0 ? TRUE : Fail(ErrorFromErrno(errno, path));
    if (rmdir(path.c_str()) == 0)
        return TRUE;
    int error = errno;
    struct stat status;
    if (error == ENOTDIR && lstat(path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode))
        return Fail(ERROR_DIRECTORY);
    // Linux reports a non-empty directory with either code.
    return Fail(error == EEXIST ? ERROR_DIR_NOT_EMPTY : ErrorFromErrno(error, path));
}

BOOL DeleteFileA(LPCSTR fileName) {
    std::string path = SystemPath(fileName);
    if (IsDirectoryLink(path))
        return Fail(ERROR_ACCESS_DENIED);
    if (unlink(path.c_str()) == 0)
        return TRUE;
    return Fail(ErrorFromErrno(errno, path));
}

errno_t _mktemp_s(char* nameTemplate, std::size_t size) {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    if (!nameTemplate)
        return EINVAL;
    std::size_t length = strnlen(nameTemplate, size);
    if (length >= size || length < 6 || std::strcmp(nameTemplate + length - 6, "XXXXXX") != 0)
        return EINVAL;
    std::random_device seed;
    std::minstd_rand random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        for (std::size_t i = length - 6; i < length; ++i)
            nameTemplate[i] = letters[random() % (sizeof(letters) - 1)];
        struct stat status;
        if (lstat(nameTemplate, &status) != 0 && errno == ENOENT)
            return 0;
    }
    std::memset(nameTemplate + length - 6, 'X', 6);
    return EEXIST;
}

int _stat64(const char* path, struct _stat64* status) {
    if (path == nullptr || status == nullptr) {
        errno = EINVAL;
        return -1;
    }
    return stat(SystemPath(path).c_str(), status);
}

int _utime64(const char* path, struct __utimbuf64* times) {
    if (path == nullptr || times == nullptr) {
        errno = EINVAL;
        return -1;
    }
    struct utimbuf system = {static_cast<time_t>(times->actime),
                             static_cast<time_t>(times->modtime)};
    return utime(SystemPath(path).c_str(), &system);
}
