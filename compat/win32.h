// The one platform header of the project. Project code includes this in place of
// <windows.h>/<winsock2.h>: on Windows it is the real API, elsewhere the small stand-in
// under compat/ that offers the Win32 names our code uses, with Windows' behaviour.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// The C runtime's _mktemp_s, and its file status and file times with 64-bit values
// (_stat64, _utime64).
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/utime.h>
#include <winsock2.h>
#include <ws2tcpip.h>
// COM and the WMI client interfaces.
#include <ole2.h>
#include <process.h>
#include <wbemidl.h>
#else
#include "compat/com.h"
#include "compat/osversion.h"
#include "compat/wbem.h"
#include "compat/widetext.h"
#include "compat/winbase.h"
#include "compat/winenv.h"
#include "compat/winerror.h"
#include "compat/winfile.h"
#include "compat/winhandle.h"
#include "compat/winlib.h"
#include "compat/winmapping.h"
#include "compat/winprocess.h"
#include "compat/winreg.h"
#include "compat/winsecurity.h"
#include "compat/winsock.h"
#include "compat/winstack.h"
#include "compat/winsync.h"
#include "compat/wintypes.h"
#include "compat/winver.h"
#endif
