// File and directory utilities; see OsFiles.h.
#include "osutil/OsFiles.h"

#include <cstring>
#include <string>

#include "osutil/OsLoaderCalls.h"
#include "osutil/OsTime.h"
#include "text/BoundedText.h"

const OsLoaderCalls kSystemLoaderCalls = {&LoadLibraryA, &FormatMessageA};
OsLoaderCalls osLoaderCalls = kSystemLoaderCalls;

namespace {

// Entry paths of RemoveTree are formatted into buffers of this size.
constexpr std::size_t kEntryPathSize = 256;
// LoadLibraryWithError's shared message buffer, which the system's text goes into.
constexpr std::size_t kLoaderMessageSize = 128;

char loaderMessage[kLoaderMessageSize];

// Hands the listing's current entry to the optional outputs.
void ReportEntry(const WIN32_FIND_DATAA& data, char* name, std::uint32_t* type,
                 std::int64_t* modifiedTime, std::uint32_t* size) {
    if (name)
        StrCopy(name, KIV_FIND_NAME_SIZE, data.cFileName);
    if (type)
        *type =
            (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? KIV_FIND_DIRECTORY : KIV_FIND_FILE;
    if (modifiedTime)
        *modifiedTime = FileTimeToUnix(&data.ftLastWriteTime);
    if (size)
        *size = data.nFileSizeLow;
}

// Whether "<directory>/<name>" fits into size bytes with its terminator.
bool JoinFits(const char* directory, const char* name, std::size_t size) {
    return std::strlen(directory) + 1 + std::strlen(name) < size;
}

bool IsPathSeparator(char c) {
    return c == '\\' || c == '/';
}

// A symbolic link or junction: Windows marks both as reparse points.
bool IsReparsePoint(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

} // namespace

int MakeTempDir(char* buffer, std::uint32_t size) {
    if (!buffer || size == 0)
        return 0;
    DWORD length = GetTempPathA(size, buffer);
    if (length == 0 || length >= size)
        return 0;
    if (buffer[length - 1] != KIV_PATH_SEPARATOR) {
        const char separator[] = {KIV_PATH_SEPARATOR, '\0'};
        StrAppend(buffer, size, separator);
    }
    // A cut name would make the wrong directory: it has to fit whole.
    static const char kName[] = "kiv-XXXXXX";
    std::size_t used = std::strlen(buffer);
    if (used + sizeof(kName) > size)
        return 0;
    StrAppend(buffer, size, kName);
    if (_mktemp_s(buffer, used + sizeof(kName)) != 0)
        return 0;
    return CreateDirectoryA(buffer, nullptr) ? 1 : 0;
}

int RemoveTree(const char* path) {
    if (!path)
        return 0;
    char pattern[MAX_PATH];
    // A cut pattern would list some other directory; a link's listing is what it points to.
    if (!IsReparsePoint(path) && JoinFits(path, "*.*", sizeof(pattern))) {
        StrFormat(pattern, sizeof(pattern), "%s/*.*", path);
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA(pattern, &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                bool directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
                if (directory && data.cFileName[0] == '.')
                    continue;
                char entry[kEntryPathSize];
                // A cut path names some other file: leave this entry (and so its
                // directory) in place.
                if (!JoinFits(path, data.cFileName, sizeof(entry)))
                    continue;
                StrFormat(entry, sizeof(entry), "%s/%s", path, data.cFileName);
                if (directory)
                    RemoveTree(entry);
                else
                    DeleteFileA(entry);
            } while (FindNextFileA(find, &data));
            FindClose(find);
        }
    }
    return RemoveDirectoryA(path) ? 1 : 0;
}

int EnsureDirPath(const char* path) {
    if (!path)
        return 0;
    std::size_t length = std::strlen(path);
    if (length < 2 || FileExists(path))
        return 1;
    std::string prefix;
    for (std::size_t i = 1; i <= length; ++i) {
        if (i < length && !IsPathSeparator(path[i]))
            continue;
        prefix.assign(path, i);
        if (!FileExists(prefix.c_str()) && !CreateDirectoryA(prefix.c_str(), nullptr))
            return 0;
    }
    return 1;
}

int FileExists(const char* path) {
    return path && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES ? 1 : 0;
}

int FindFirst(HANDLE* findHandle, const char* pattern, char* name, std::uint32_t* type,
              std::int64_t* modifiedTime, std::uint32_t* size) {
    if (!findHandle)
        return 0;
    *findHandle = INVALID_HANDLE_VALUE;
    if (!pattern)
        return 0;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern, &data);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    *findHandle = find;
    ReportEntry(data, name, type, modifiedTime, size);
    return 1;
}

int FindNext(HANDLE* findHandle, char* name, std::uint32_t* type, std::int64_t* modifiedTime,
             std::uint32_t* size) {
    if (!findHandle || *findHandle == INVALID_HANDLE_VALUE)
        return 0;
    WIN32_FIND_DATAA data;
    if (!FindNextFileA(*findHandle, &data)) {
        FindClose(*findHandle);
        *findHandle = INVALID_HANDLE_VALUE;
        return 0;
    }
    ReportEntry(data, name, type, modifiedTime, size);
    return 1;
}

// The runtime's 64-bit status and file-time calls keep times beyond 2038 and sizes beyond
// 2 GiB; the stand-in offers them under the same names.
int IsDirectory(const char* path) {
    struct _stat64 status;
    return path && _stat64(path, &status) == 0 && (status.st_mode & S_IFMT) == S_IFDIR ? 1 : 0;
}

int GetFileSize32(const char* path, std::uint32_t* size) {
    struct _stat64 status;
    if (!path || !size || _stat64(path, &status) != 0)
        return 0;
    *size = static_cast<std::uint32_t>(status.st_size);
    return 1;
}

int GetFileTimes(const char* path, std::int64_t* accessTime, std::int64_t* modifiedTime) {
    struct _stat64 status;
    if (!path || _stat64(path, &status) != 0)
        return 0;
    if (accessTime)
        *accessTime = static_cast<std::int64_t>(status.st_atime);
    if (modifiedTime)
        *modifiedTime = static_cast<std::int64_t>(status.st_mtime);
    return 1;
}

int SetFileTime(const char* path, std::int64_t time) {
    if (!path)
        return 0;
    struct __utimbuf64 times;
    times.actime = time;
    times.modtime = time;
    return _utime64(path, &times) == 0 ? 1 : 0;
}

int GetModuleDir(char* directory, std::uint32_t directorySize, char* fileName,
                 std::uint32_t fileNameSize, std::uint32_t* errorCode) {
    std::uint32_t code = 0;
    if (!directory || directorySize == 0) {
        code = ERROR_INVALID_PARAMETER;
    } else {
        DWORD length = GetModuleFileNameA(nullptr, directory, directorySize);
        if (length == 0) {
            code = GetLastError();
        } else if (length >= directorySize) {
            code = ERROR_BUFFER_OVERFLOW;
        } else {
            char* separator = std::strrchr(directory, KIV_PATH_SEPARATOR);
            if (!separator) {
                code = ERROR_INVALID_NAME;
            } else {
                if (fileName && fileNameSize > 0)
                    StrCopy(fileName, fileNameSize, separator + 1);
                *separator = '\0';
            }
        }
    }
    if (errorCode)
        *errorCode = code;
    return code == 0 ? 1 : 0;
}

int GetModuleDir(char* directory, std::uint32_t directorySize, std::uint32_t* errorCode) {
    return GetModuleDir(directory, directorySize, nullptr, 0, errorCode);
}

HMODULE LoadLibraryWithError(const char* fileName, const char** message) {
    const char* text = "filename missing";
    HMODULE module = nullptr;
    if (fileName && *fileName) {
        module = osLoaderCalls.loadLibrary(fileName);
        if (module) {
            text = "success";
        } else {
            DWORD code = GetLastError();
            // A text that does not fit is no text: the system gives 0 for it.
            if (osLoaderCalls.formatMessage(
                    FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                    loaderMessage, sizeof(loaderMessage), nullptr) == 0)
                StrFormat(loaderMessage, sizeof(loaderMessage), "Error %d occured",
                          static_cast<int>(code));
            text = loaderMessage;
        }
    }
    if (message)
        *message = text;
    return module;
}
