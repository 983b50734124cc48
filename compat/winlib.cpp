#include "compat/winlib.h"

#include <dlfcn.h>

#include <cstring>
#include <string>

namespace {

std::string loaderName(const char* fileName) {
    std::string name = fileName;
    std::string::size_type slash = name.rfind('/');
    std::string::size_type base = slash == std::string::npos ? 0 : slash + 1;
    if (!name.empty() && name.back() == '.' && name.size() > base) {
        name.pop_back();
        return name;
    }
    if (name.find('.', base) != std::string::npos || base == name.size())
        return name;
    if (slash == std::string::npos)
        return "lib" + name + ".so";
    return name + ".so";
}

} // namespace

HMODULE LoadLibraryA(LPCSTR fileName) {
    if (fileName == nullptr || fileName[0] == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    void* module = dlopen(loaderName(fileName).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        // The loader says why only in words: a missing file (or missing dependency) is
        // Windows' "module not found", anything else a file that is no loadable library.
        const char* why = dlerror();
        bool missing = why == nullptr || std::strstr(why, "No such file") != nullptr ||
                       std::strstr(why, "cannot open shared object") != nullptr;
        SetLastError(missing ? ERROR_MOD_NOT_FOUND : ERROR_BAD_EXE_FORMAT);
    }
    return module;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    if (module == nullptr || name == nullptr) {
        SetLastError(module == nullptr ? ERROR_INVALID_HANDLE : ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    dlerror();
    void* address = dlsym(module, name);
    if (address == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(address);
}

BOOL FreeLibrary(HMODULE module) {
    if (module == nullptr || dlclose(module) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
