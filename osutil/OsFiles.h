// File and directory utilities: temporary directories, whole-tree removal, directory
// paths, listings, file status and times, the program's own directory and library loading
// with a readable error.
//
// Results are 1 for success and 0 for failure unless stated; out-parameters may be null
// where a function says they are optional. Paths are 8-bit texts of the platform, with
// `\` or `/` between their parts. Times are seconds since 1970 (UTC), negative before.
#pragma once

#include <cstdint>

#include "compat/win32.h"

// The separator this platform's paths use where Windows writes a backslash; the stand-in
// of builds without Windows names its own.
#ifndef KIV_PATH_SEPARATOR
#define KIV_PATH_SEPARATOR '\\'
#endif

// Size of the name buffer that FindFirst and FindNext fill.
#define KIV_FIND_NAME_SIZE 260

// Entry types that FindFirst and FindNext report.
#define KIV_FIND_FILE 1
#define KIV_FIND_DIRECTORY 2

// Creates a new directory "kiv-XXXXXX" (the six X made unique) under the temporary
// directory and leaves its path in buffer. 0 when the temporary path cannot be had, the
// name does not fit into size bytes, or the directory cannot be created.
int MakeTempDir(char* buffer, std::uint32_t size);

// Deletes the files of the directory, removes its subdirectories the same way and then
// the directory itself; 1 when that last removal succeeded. Subdirectories whose names
// begin with a dot are not entered, so a directory holding one stays with it. An entry
// whose path does not fit into 256 bytes is left alone rather than mistaken for a
// shorter path, and keeps its directory in place.
// Departure: a symbolic link or junction (a reparse point), the path itself or any
// directory entry below it, is removed as a link and never entered: listing through it
// would delete files outside the tree, and removing it as a directory could take the
// directory it points to.
int RemoveTree(const char* path);

// Creates every missing directory along path (split at `\` and `/` after the first
// character, the whole path included). 1 when the path exists at the end; paths shorter
// than two characters succeed at once, a null path fails.
int EnsureDirPath(const char* path);

// 1 when something (a file or a directory) exists at path.
int FileExists(const char* path);

// Lists the names matching pattern with Windows' wildcards. name (KIV_FIND_NAME_SIZE bytes),
// type (KIV_FIND_FILE or KIV_FIND_DIRECTORY), modifiedTime (seconds since 1970) and size
// (low 32 bits) are optional. FindFirst stores the listing's handle, or
// INVALID_HANDLE_VALUE when nothing matches; FindNext closes the listing once it has no
// more names and stores INVALID_HANDLE_VALUE. A caller that stops early closes the
// handle with FindClose.
int FindFirst(HANDLE* findHandle, const char* pattern, char* name, std::uint32_t* type,
              std::int64_t* modifiedTime, std::uint32_t* size);
int FindNext(HANDLE* findHandle, char* name, std::uint32_t* type, std::int64_t* modifiedTime,
             std::uint32_t* size);

// From the C runtime's file status (its 64-bit form): 1 for a directory.
int IsDirectory(const char* path);
// The file's size as the runtime reports it, cut to 32 bits.
int GetFileSize32(const char* path, std::uint32_t* size);
// Access and modification times as the runtime reports them; both outputs are optional.
int GetFileTimes(const char* path, std::int64_t* accessTime, std::int64_t* modifiedTime);
// Sets the access and the modification time to time; 0 when the runtime refuses it.
int SetFileTime(const char* path, std::int64_t time);

// The running program's directory (its executable's path cut at the last separator) in
// directory and, in the first form, the executable's file name in fileName (optional,
// cut to fileNameSize). errorCode (optional) receives 0, 87 without a directory buffer,
// 111 when the path filled the buffer completely (taken as truncated), 123 when the path
// has no separator, or the system's error; the result is 1 exactly when it is 0.
int GetModuleDir(char* directory, std::uint32_t directorySize, char* fileName,
                 std::uint32_t fileNameSize, std::uint32_t* errorCode);
int GetModuleDir(char* directory, std::uint32_t directorySize, std::uint32_t* errorCode);

// Loads the library. message (optional) receives "success", the system's text for the
// error (written into one 128-byte buffer shared by all callers), or "Error <code> occured"
// when the system gives no text; a text longer than 127 characters does not fit that
// buffer, so the system gives none for it. A null or empty name gives null and
// "filename missing".
HMODULE LoadLibraryWithError(const char* fileName, const char** message);
