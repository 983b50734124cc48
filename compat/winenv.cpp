#include "compat/winenv.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

extern char** environ;

namespace {

// The C library's environment has no lock of its own; these calls at least do not race
// one another.
std::mutex environmentLock;

} // namespace

LPCH GetEnvironmentStringsA() {
    std::lock_guard<std::mutex> hold(environmentLock);
    std::size_t total = 1;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry)
        total += std::strlen(*entry) + 1;
    char* block = static_cast<char*>(std::malloc(total < 2 ? 2 : total));
    if (block == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    char* out = block;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        std::size_t length = std::strlen(*entry) + 1;
        std::memcpy(out, *entry, length);
        out += length;
    }
    // An empty environment is still two zero bytes: an empty entry and the block's end.
    out[0] = '\0';
    if (out == block)
        out[1] = '\0';
    return block;
}

BOOL FreeEnvironmentStringsA(LPCH block) {
    std::free(block);
    return TRUE;
}

DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
    std::lock_guard<std::mutex> hold(environmentLock);
    const char* value = name != nullptr ? std::getenv(name) : nullptr;
    if (value == nullptr) {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    std::size_t length = std::strlen(value);
    if (buffer == nullptr || size <= length)
        return static_cast<DWORD>(length + 1);
    std::memcpy(buffer, value, length + 1);
    return static_cast<DWORD>(length);
}

BOOL SetEnvironmentVariableA(LPCSTR name, LPCSTR value) {
    if (name == nullptr || name[0] == '\0' || std::strchr(name, '=') != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> hold(environmentLock);
    int status = value == nullptr ? unsetenv(name) : setenv(name, value, 1);
    if (status != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    return TRUE;
}
