#include "osutil/OsSharedMemory.h"

#include <cstring>

#include "osutil/OsNamedObjects.h"
#include "osutil/OsSecurity.h"

namespace {

constexpr DWORD kMapAllAccess = 0xF001F;

void Clear(SharedMemory* sharedMemory) {
    std::memset(sharedMemory, 0, sizeof(*sharedMemory));
    sharedMemory->file = INVALID_HANDLE_VALUE; // no backing file of our own yet
}

bool IsRealHandle(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

HANDLE OpenBackingFile(const char* path, DWORD disposition) {
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

int CreateSharedMemory(SharedMemory* sharedMemory, DWORD size, const char* backingFileName,
                       const char* name, DWORD flags) {
    if (sharedMemory == nullptr)
        return 0;
    Clear(sharedMemory);
    char buffer[kObjectNameSize];
    const char* objectName = GlobalObjectName(name, buffer);
    SECURITY_ATTRIBUTES* attributes =
        (flags & kSharedMemoryOpenToEveryone) != 0 ? OpenToEveryoneAttributes() : nullptr;

    sharedMemory->mapping = OpenFileMappingA(kMapAllAccess, FALSE, objectName);
    if (sharedMemory->mapping == nullptr) {
        sharedMemory->lastError = GetLastError();
        if (backingFileName != nullptr && *backingFileName != '\0') {
            sharedMemory->file = OpenBackingFile(backingFileName, OPEN_EXISTING);
            if (sharedMemory->file == INVALID_HANDLE_VALUE) {
                sharedMemory->lastError = GetLastError();
                sharedMemory->file = OpenBackingFile(backingFileName, OPEN_ALWAYS);
                sharedMemory->created = 1;
                if (sharedMemory->file == INVALID_HANDLE_VALUE) {
                    sharedMemory->lastError = GetLastError();
                    return 0;
                }
            }
        } else {
            sharedMemory->created = 1; // in the paging file
        }
        sharedMemory->mapping =
            CreateFileMappingA(sharedMemory->file, attributes, PAGE_READWRITE, 0, size, objectName);
    }
    if (sharedMemory->mapping == nullptr) {
        sharedMemory->lastError = GetLastError();
        if (IsRealHandle(sharedMemory->file))
            CloseHandle(sharedMemory->file);
        sharedMemory->file = INVALID_HANDLE_VALUE;
        sharedMemory->created = 0;
        return 0;
    }
    sharedMemory->address = MapViewOfFile(sharedMemory->mapping, kMapAllAccess, 0, 0, size);
    if (sharedMemory->address == nullptr)
        sharedMemory->lastError = GetLastError();
    sharedMemory->size = size;
    return 1;
}

int OpenSharedMemory(SharedMemory* sharedMemory, DWORD size, const char* name) {
    if (sharedMemory == nullptr)
        return 0;
    Clear(sharedMemory);
    char buffer[kObjectNameSize];
    sharedMemory->mapping = OpenFileMappingA(kMapAllAccess, FALSE, GlobalObjectName(name, buffer));
    if (sharedMemory->mapping == nullptr) {
        sharedMemory->lastError = GetLastError();
        return 0;
    }
    sharedMemory->address = MapViewOfFile(sharedMemory->mapping, kMapAllAccess, 0, 0, size);
    if (sharedMemory->address == nullptr) {
        sharedMemory->lastError = GetLastError();
        CloseHandle(sharedMemory->mapping);
        sharedMemory->mapping = nullptr;
        return 0;
    }
    sharedMemory->size = size;
    return 1;
}

int FlushSharedMemory(SharedMemory* sharedMemory, void* address, DWORD length) {
    if (address == nullptr && sharedMemory != nullptr)
        address = sharedMemory->address;
    if (address != nullptr)
        FlushViewOfFile(address, length);
    return 1;
}

int CloseSharedMemory(SharedMemory* sharedMemory) {
    if (sharedMemory == nullptr)
        return 0;
    if (sharedMemory->address != nullptr)
        UnmapViewOfFile(sharedMemory->address);
    if (sharedMemory->mapping != nullptr)
        CloseHandle(sharedMemory->mapping);
    if (IsRealHandle(sharedMemory->file))
        CloseHandle(sharedMemory->file);
    Clear(sharedMemory);
    return 1;
}
