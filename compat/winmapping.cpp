#include "compat/winmapping.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "compat/kernelobject.h"
#include "compat/objectnamespace.h"

namespace {

class FileObject : public compat::KernelObject {
public:
    FileObject(int fd, std::string path) : fd(fd), path(std::move(path)) {}
    ~FileObject() override { close(fd); }
    compat::Acquired tryAcquire() override { return compat::Acquired::Yes; }
    const int fd;
    const std::string path; // absolute, for other processes that open a named mapping
};

class MappingObject : public compat::KernelObject {
public:
    ~MappingObject() override {
        if (dataFd >= 0)
            close(dataFd);
        if (entryFd >= 0) {
            compat::NamespaceLock lock;
            compat::ReleaseEntry(entryPath, entryFd);
        }
    }
    compat::Acquired tryAcquire() override { return compat::Acquired::Yes; }
    int dataFd = -1;
    off_t dataOffset = 0;
    std::uint64_t size = 0;
    int entryFd = -1; // a named mapping's entry file, held while the mapping lives
    std::string entryPath;
};

// The entry file of a named mapping: this header, then (for the paging file) the data.
struct EntryHeader {
    std::uint32_t magic;
    std::uint32_t fileBacked;
    std::uint64_t size;
    char path[PATH_MAX];
};
constexpr std::uint32_t kEntryMagic = 0x4B4D4150;
constexpr off_t kDataOffset = 65536; // a multiple of every page size
static_assert(sizeof(EntryHeader) <= kDataOffset, "the header fits before the data");
constexpr std::uint64_t kAllocationGranularity = 65536;

struct View {
    size_t length;
    std::shared_ptr<MappingObject> mapping; // a view keeps its mapping, and its name, alive
};
std::mutex viewsLock;
std::map<std::uintptr_t, View>& Views() {
    static auto* views = new std::map<std::uintptr_t, View>;
    return *views;
}

// Windows tells a missing directory on the way from a missing file.
DWORD OpenError(int error, const char* path) {
    if (error != ENOENT)
        return compat::ErrorFromErrno(error);
    std::string parent(path);
    size_t slash = parent.find_last_of('/');
    if (slash == std::string::npos)
        return ERROR_FILE_NOT_FOUND;
    parent.resize(slash == 0 ? 1 : slash);
    struct stat info;
    return stat(parent.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? ERROR_FILE_NOT_FOUND
                                                                     : ERROR_PATH_NOT_FOUND;
}

int OpenRetrying(const char* path, int flags, mode_t mode) {
    int fd;
    do {
        fd = open(path, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool ReadHeader(int fd, EntryHeader* header) {
    return pread(fd, header, sizeof(*header), 0) == ssize_t(sizeof(*header)) &&
           header->magic == kEntryMagic;
}

HANDLE Insert(std::shared_ptr<MappingObject> mapping, DWORD error) {
    HANDLE handle = compat::InsertHandle(std::move(mapping));
    if (handle != nullptr)
        SetLastError(error);
    return handle;
}

// Fills `mapping` from an existing entry (the mapping another handle created).
bool OpenEntryData(MappingObject* mapping, const EntryHeader& header) {
    if (header.fileBacked) {
        std::string path(header.path, strnlen(header.path, sizeof(header.path)));
        mapping->dataFd = OpenRetrying(path.c_str(), O_RDWR, 0);
        if (mapping->dataFd < 0) {
            SetLastError(OpenError(errno, path.c_str()));
            return false;
        }
        mapping->dataOffset = 0;
    } else {
        mapping->dataFd = dup(mapping->entryFd);
        if (mapping->dataFd < 0) {
            SetLastError(compat::ErrorFromErrno(errno));
            return false;
        }
        fcntl(mapping->dataFd, F_SETFD, FD_CLOEXEC);
        mapping->dataOffset = kDataOffset;
    }
    mapping->size = header.size;
    return true;
}

} // namespace

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD, LPSECURITY_ATTRIBUTES,
                   DWORD creationDisposition, DWORD, HANDLE) {
    if (fileName == nullptr || *fileName == '\0') {
        SetLastError(fileName == nullptr ? ERROR_INVALID_PARAMETER : ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    bool reading = (desiredAccess & (GENERIC_READ | GENERIC_ALL)) != 0;
    bool writing = (desiredAccess & (GENERIC_WRITE | GENERIC_ALL)) != 0;
    int flags = writing ? (reading ? O_RDWR : O_WRONLY) : O_RDONLY;
    bool mayCreate = false;
    switch (creationDisposition) {
    case CREATE_NEW:
        flags |= O_CREAT | O_EXCL;
        break;
    case CREATE_ALWAYS:
        flags |= O_TRUNC;
        mayCreate = true;
        break;
    case OPEN_EXISTING:
        break;
    case OPEN_ALWAYS:
        mayCreate = true;
        break;
    case TRUNCATE_EXISTING:
        flags |= O_TRUNC;
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    bool existed = false;
    int fd = -1;
    if (mayCreate) {
        fd = OpenRetrying(fileName, (flags & ~O_TRUNC) | O_CREAT | O_EXCL, 0666);
        if (fd < 0 && errno == EEXIST) {
            existed = true;
            fd = OpenRetrying(fileName, flags, 0);
        }
    } else {
        fd = OpenRetrying(fileName, flags, 0666);
    }
    if (fd < 0) {
        SetLastError(creationDisposition == CREATE_NEW && errno == EEXIST
                         ? ERROR_FILE_EXISTS
                         : OpenError(errno, fileName));
        return INVALID_HANDLE_VALUE;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        close(fd);
        SetLastError(ERROR_ACCESS_DENIED); // a directory is not opened as a file
        return INVALID_HANDLE_VALUE;
    }
    char* absolute = realpath(fileName, nullptr);
    std::string path = absolute != nullptr ? absolute : fileName;
    std::free(absolute);
    HANDLE handle = compat::InsertHandle(std::make_shared<FileObject>(fd, path));
    if (handle == nullptr)
        return INVALID_HANDLE_VALUE;
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES attributes, DWORD protect,
                          DWORD maximumSizeHigh, DWORD maximumSizeLow, LPCSTR name) {
    if (protect != PAGE_READWRITE && protect != PAGE_READONLY) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::uint64_t size = std::uint64_t(maximumSizeHigh) << 32 | maximumSizeLow;
    std::shared_ptr<FileObject> fileObject;
    if (file != INVALID_HANDLE_VALUE) {
        fileObject = compat::LookupHandleAs<FileObject>(file);
        if (!fileObject)
            return nullptr;
    } else if (size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto mapping = std::make_shared<MappingObject>();
    bool named = name != nullptr && *name != '\0';
    bool existed = false;
    {
        compat::NamespaceLock lock;
        if (named) {
            mapping->entryPath = compat::NamedObjectPath("kiv-map.", name);
            if (mapping->entryPath.empty())
                return nullptr;
            mapping->entryFd = compat::AcquireEntry(mapping->entryPath, true,
                                                    compat::EntryMode(attributes), &existed);
            if (mapping->entryFd < 0)
                return nullptr;
            if (existed) {
                EntryHeader header;
                if (!ReadHeader(mapping->entryFd, &header)) {
                    SetLastError(ERROR_INVALID_HANDLE);
                    return nullptr;
                }
                if (!OpenEntryData(mapping.get(), header))
                    return nullptr;
            }
        }
        if (!existed) {
            if (fileObject) {
                struct stat info;
                if (fstat(fileObject->fd, &info) != 0) {
                    SetLastError(compat::ErrorFromErrno(errno));
                    return nullptr;
                }
                if (size == 0)
                    size = static_cast<std::uint64_t>(info.st_size);
                if (size == 0) {
                    SetLastError(ERROR_FILE_INVALID); // an empty file cannot be mapped
                    return nullptr;
                }
                if (size > static_cast<std::uint64_t>(info.st_size) &&
                    ftruncate(fileObject->fd, static_cast<off_t>(size)) != 0) {
                    SetLastError(errno == EBADF || errno == EINVAL ? ERROR_ACCESS_DENIED
                                                                   : compat::ErrorFromErrno(errno));
                    return nullptr;
                }
                mapping->dataFd = fcntl(fileObject->fd, F_DUPFD_CLOEXEC, 0);
            } else if (named) {
                mapping->dataFd = fcntl(mapping->entryFd, F_DUPFD_CLOEXEC, 0);
                mapping->dataOffset = kDataOffset;
                if (mapping->dataFd >= 0 &&
                    ftruncate(mapping->dataFd, kDataOffset + static_cast<off_t>(size)) != 0) {
                    SetLastError(compat::ErrorFromErrno(errno));
                    return nullptr;
                }
            } else {
                mapping->dataFd = memfd_create("kiv-mapping", MFD_CLOEXEC);
                if (mapping->dataFd >= 0 && ftruncate(mapping->dataFd, off_t(size)) != 0) {
                    SetLastError(compat::ErrorFromErrno(errno));
                    return nullptr;
                }
            }
            if (mapping->dataFd < 0) {
                SetLastError(compat::ErrorFromErrno(errno));
                return nullptr;
            }
            mapping->size = size;
            if (named) {
                EntryHeader header{};
                header.magic = kEntryMagic;
                header.fileBacked = fileObject ? 1 : 0;
                header.size = size;
                if (fileObject)
                    strncpy(header.path, fileObject->path.c_str(), sizeof(header.path) - 1);
                if (pwrite(mapping->entryFd, &header, sizeof(header), 0) !=
                    ssize_t(sizeof(header))) {
                    SetLastError(compat::ErrorFromErrno(errno));
                    return nullptr;
                }
            }
        }
    }
    // The namespace lock is free again: a failed insert drops the mapping, which takes it.
    return Insert(std::move(mapping), existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
}

HANDLE OpenFileMappingA(DWORD, BOOL, LPCSTR name) {
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto mapping = std::make_shared<MappingObject>();
    {
        compat::NamespaceLock lock;
        mapping->entryPath = compat::NamedObjectPath("kiv-map.", name);
        if (*name == '\0') {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return nullptr;
        }
        if (mapping->entryPath.empty())
            return nullptr;
        bool existed = false;
        mapping->entryFd = compat::AcquireEntry(mapping->entryPath, false, 0, &existed);
        if (mapping->entryFd < 0)
            return nullptr;
        EntryHeader header;
        if (!ReadHeader(mapping->entryFd, &header)) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        if (!OpenEntryData(mapping.get(), header))
            return nullptr;
    }
    return Insert(std::move(mapping), ERROR_SUCCESS);
}

LPVOID MapViewOfFile(HANDLE mappingHandle, DWORD desiredAccess, DWORD fileOffsetHigh,
                     DWORD fileOffsetLow, SIZE_T numberOfBytesToMap) {
    auto mapping = compat::LookupHandleAs<MappingObject>(mappingHandle);
    if (!mapping)
        return nullptr;
    std::uint64_t offset = std::uint64_t(fileOffsetHigh) << 32 | fileOffsetLow;
    if (offset % kAllocationGranularity != 0) {
        SetLastError(ERROR_MAPPED_ALIGNMENT);
        return nullptr;
    }
    if (offset >= mapping->size || numberOfBytesToMap > mapping->size - offset) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    size_t length = numberOfBytesToMap != 0 ? numberOfBytesToMap : mapping->size - offset;
    int protection = (desiredAccess & FILE_MAP_WRITE) != 0 ? PROT_READ | PROT_WRITE : PROT_READ;
    void* address = mmap(nullptr, length, protection, MAP_SHARED, mapping->dataFd,
                         mapping->dataOffset + static_cast<off_t>(offset));
    if (address == MAP_FAILED) {
        SetLastError(errno == EACCES ? ERROR_ACCESS_DENIED : compat::ErrorFromErrno(errno));
        return nullptr;
    }
    std::lock_guard<std::mutex> guard(viewsLock);
    Views()[reinterpret_cast<std::uintptr_t>(address)] = View{length, mapping};
    return address;
}

BOOL UnmapViewOfFile(LPCVOID baseAddress) {
    View view;
    {
        std::lock_guard<std::mutex> guard(viewsLock);
        auto found = Views().find(reinterpret_cast<std::uintptr_t>(baseAddress));
        if (found == Views().end()) {
            SetLastError(ERROR_INVALID_ADDRESS);
            return FALSE;
        }
        view = std::move(found->second);
        Views().erase(found);
    }
    munmap(const_cast<void*>(baseAddress), view.length);
    return TRUE; // the mapping goes here when this view was the last thing holding it
}

BOOL FlushViewOfFile(LPCVOID baseAddress, SIZE_T numberOfBytesToFlush) {
    auto address = reinterpret_cast<std::uintptr_t>(baseAddress);
    std::uintptr_t start = 0, end = 0;
    {
        std::lock_guard<std::mutex> guard(viewsLock);
        auto found = Views().upper_bound(address);
        if (found == Views().begin()) {
            SetLastError(ERROR_INVALID_ADDRESS);
            return FALSE;
        }
        --found;
        std::uintptr_t viewEnd = found->first + found->second.length;
        if (address >= viewEnd) {
            SetLastError(ERROR_INVALID_ADDRESS);
            return FALSE;
        }
        end = numberOfBytesToFlush == 0 || numberOfBytesToFlush > viewEnd - address
                  ? viewEnd
                  : address + numberOfBytesToFlush;
        auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
        start = address / page * page;
    }
    if (msync(reinterpret_cast<void*>(start), end - start, MS_SYNC) != 0) {
        SetLastError(compat::ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}
