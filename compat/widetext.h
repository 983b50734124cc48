// Wide texts and their conversion to 8-bit code pages, for builds without Windows.
//
// WCHAR is the compiler's wchar_t, so that L"..." literals serve both builds; here it
// holds UTF-32 code units where Windows holds UTF-16. The ANSI code page (CP_ACP) of a
// host without Windows is UTF-8, the encoding of its own texts.
#pragma once

#include "compat/wintypes.h"

typedef wchar_t WCHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef const char* LPCCH;
typedef BOOL* LPBOOL;

#define CP_ACP 0
#define CP_UTF8 65001

// Converts `sourceLength` wide characters (-1: up to and including the terminator) with
// Windows' results: the byte count written, the count needed when `destinationSize` is 0,
// or 0 for a null or empty source, a negative size, a too small destination, a code page
// other than CP_ACP and CP_UTF8, a default character asked of CP_UTF8, or a result
// beyond int. Characters that
// are no Unicode scalar value become U+FFFD, as Windows does with lone surrogates.
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceLength,
                        LPSTR destination, int destinationSize, LPCCH defaultChar,
                        LPBOOL usedDefaultChar);
