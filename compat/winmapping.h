// Files and file mappings for builds without Windows.
//
// - CreateFileA opens with open(2): the creation dispositions, ERROR_ALREADY_EXISTS after
//   OPEN_ALWAYS and CREATE_ALWAYS found the file, ERROR_PATH_NOT_FOUND when a directory
//   on the way is missing, ERROR_ACCESS_DENIED for a directory. Sharing modes and
//   attributes are not enforced.
// - A mapping of the paging file is memory of its own (memfd) or, when named, the data
//   part of its entry file (see compat/objectnamespace.h); a mapping of a file maps the
//   file, which it grows to the mapping's size, and a named one records the file's path
//   in its entry, where OpenFileMappingA finds it. The name disappears with the last
//   handle and view, as on Windows. Mappings have their own namespace here, apart from
//   the events, mutexes and semaphores.
// - A view must lie inside the mapping (ERROR_ACCESS_DENIED otherwise) and start at a
//   multiple of 64 KiB; views are shared (MAP_SHARED) and FlushViewOfFile writes them
//   back with msync.
#pragma once

#include "compat/winhandle.h"
#include "compat/wintypes.h"

#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_ATTRIBUTE_NORMAL 0x00000080

#define PAGE_READONLY 0x02
#define PAGE_READWRITE 0x04
#define FILE_MAP_COPY 0x0001
#define FILE_MAP_WRITE 0x0002
#define FILE_MAP_READ 0x0004
#define FILE_MAP_ALL_ACCESS 0x000F001F

#define ERROR_INVALID_ADDRESS 487L
#define ERROR_MAPPED_ALIGNMENT 1132L

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);

HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES attributes, DWORD protect,
                          DWORD maximumSizeHigh, DWORD maximumSizeLow, LPCSTR name);
HANDLE OpenFileMappingA(DWORD desiredAccess, BOOL inheritHandle, LPCSTR name);
LPVOID MapViewOfFile(HANDLE mapping, DWORD desiredAccess, DWORD fileOffsetHigh, DWORD fileOffsetLow,
                     SIZE_T numberOfBytesToMap);
BOOL UnmapViewOfFile(LPCVOID baseAddress);
BOOL FlushViewOfFile(LPCVOID baseAddress, SIZE_T numberOfBytesToFlush);
