// The fixed part of a file's version resource, for builds without Windows. The version
// library itself is loaded at run time by name; natively there is none to load.
#pragma once

#include "compat/widetext.h"
#include "compat/wintypes.h"

typedef UINT* PUINT;

#ifndef WINAPI
#define WINAPI
#endif

typedef struct tagVS_FIXEDFILEINFO {
    DWORD dwSignature; // 0xFEEF04BD
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS; // major in the high word, minor in the low word
    DWORD dwFileVersionLS; // build in the high word
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
} VS_FIXEDFILEINFO;
