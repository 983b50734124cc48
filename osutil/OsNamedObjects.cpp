#include "osutil/OsNamedObjects.h"

#include <cstring>

#include "osutil/OsPlatform.h"
#include "osutil/OsSecurity.h"
#include "text/BoundedText.h"

namespace {

// Full access to an existing object of each kind.
constexpr DWORD kEventAllAccess = 0x1F0003;
constexpr DWORD kMutexAllAccess = 0x1F0001;
constexpr DWORD kSemaphoreAllAccess = 0x1F0003;

SECURITY_ATTRIBUTES* AttributesFor(DWORD flags) {
    return (flags & kNamedObjectOpenToEveryone) != 0 ? OpenToEveryoneAttributes() : nullptr;
}

int Stored(HANDLE* handle, HANDLE value) {
    if (handle != nullptr)
        *handle = value;
    return value != nullptr ? 1 : 0;
}

int WaitResult(DWORD result, DWORD* code) {
    DWORD value = result == WAIT_FAILED ? GetLastError() : result;
    if (code != nullptr)
        *code = value;
    return result == WAIT_FAILED ? 0 : 1;
}

} // namespace

const char* GlobalObjectName(const char* name, char* buffer) {
    if (name == nullptr || *name == '\0' || buffer == nullptr ||
        std::strlen(name) >= kObjectNameLimit)
        return name;
    // Session-local names would part the service from the users' sessions.
    if (IsNtPlatform(5))
        StrFormat(buffer, kObjectNameSize, "Global\\%s", name);
    else
        StrCopy(buffer, kObjectNameSize, name);
    return buffer;
}

int CreateNamedEvent(HANDLE* handle, const char* name, DWORD flags) {
    char buffer[kObjectNameSize];
    return Stored(handle,
                  CreateEventA(AttributesFor(flags), FALSE, FALSE, GlobalObjectName(name, buffer)));
}

int OpenNamedEvent(HANDLE* handle, const char* name) {
    char buffer[kObjectNameSize];
    return Stored(handle, OpenEventA(kEventAllAccess, FALSE, GlobalObjectName(name, buffer)));
}

int CreateNamedMutex(HANDLE* handle, const char* name, DWORD flags) {
    char buffer[kObjectNameSize];
    return Stored(handle,
                  CreateMutexA(AttributesFor(flags), FALSE, GlobalObjectName(name, buffer)));
}

int OpenNamedMutex(HANDLE* handle, const char* name) {
    char buffer[kObjectNameSize];
    return Stored(handle, OpenMutexA(kMutexAllAccess, FALSE, GlobalObjectName(name, buffer)));
}

int CreateNamedSemaphore(HANDLE* handle, const char* name, LONG initialCount, DWORD flags) {
    char buffer[kObjectNameSize];
    return Stored(handle, CreateSemaphoreA(AttributesFor(flags), initialCount, 1,
                                           GlobalObjectName(name, buffer)));
}

int OpenNamedSemaphore(HANDLE* handle, const char* name) {
    char buffer[kObjectNameSize];
    return Stored(handle,
                  OpenSemaphoreA(kSemaphoreAllAccess, FALSE, GlobalObjectName(name, buffer)));
}

int WaitObject(HANDLE handle, DWORD timeoutMs, DWORD* code) {
    return WaitResult(WaitForSingleObject(handle, timeoutMs), code);
}

int WaitObjects(const HANDLE* handles, DWORD count, BOOL waitAll, DWORD timeoutMs, DWORD* code) {
    return WaitResult(WaitForMultipleObjects(count, handles, waitAll, timeoutMs), code);
}
