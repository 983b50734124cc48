// Dynamic libraries for builds without Windows, over the system's dynamic loader.
#pragma once

#include "compat/winerror.h"

#include <cstdint>

typedef void* HMODULE;
typedef std::intptr_t (*FARPROC)();

// Loads a shared object with the loader's own search order. A file name without an
// extension follows the loader's naming of its libraries where Windows appends ".dll":
// "name" becomes "libname.so", "dir/name" becomes "dir/name.so"; a trailing dot means "no
// extension" and is dropped. Fails with 126 when the file or a library it needs is missing,
// 193 when it is not a loadable object.
HMODULE LoadLibraryA(LPCSTR fileName);
// The address of an exported symbol; null with 127 when there is none.
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
// Drops one load of the library; FALSE with 6 for a handle that is not a loaded library.
BOOL FreeLibrary(HMODULE module);
