#include "compat/objectnamespace.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "compat/errnomap.h"

namespace {

const std::string& Directory() {
    static const std::string directory = [] {
        struct stat info;
        if (stat("/dev/shm", &info) == 0 && S_ISDIR(info.st_mode) && access("/dev/shm", W_OK) == 0)
            return std::string("/dev/shm");
        return std::string("/tmp");
    }();
    return directory;
}

int LockRetrying(int fd, int operation) {
    int result;
    do {
        result = flock(fd, operation);
    } while (result != 0 && errno == EINTR);
    return result;
}

} // namespace

compat::NamespaceLock::NamespaceLock() {
    std::string path = Directory() + "/kiv-objects.lock";
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ >= 0)
        fchmod(fd_, 0666); // whatever the umask: every user's processes share it
    else
        fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ >= 0)
        LockRetrying(fd_, LOCK_EX);
}

compat::NamespaceLock::~NamespaceLock() {
    if (fd_ >= 0)
        close(fd_);
}

std::string compat::NamedObjectPath(const char* prefix, const char* name) {
    static const char hex[] = "0123456789ABCDEF";
    std::string file = prefix;
    for (const char* p = name; *p != '\0'; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                     c == '.' || c == '_' || c == '-';
        if (plain) {
            file += static_cast<char>(c);
        } else {
            file += '%';
            file += hex[c >> 4];
            file += hex[c & 15];
        }
    }
    if (file.size() > 255) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return std::string();
    }
    return Directory() + "/" + file;
}

int compat::AcquireEntry(const std::string& path, bool create, unsigned mode, bool* existed) {
    int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd >= 0) {
        if (LockRetrying(fd, LOCK_EX | LOCK_NB) != 0) {
            // Held by a live handle: the object exists.
            LockRetrying(fd, LOCK_SH);
            *existed = true;
            return fd;
        }
        // Left behind by processes that ended without closing it.
        unlink(path.c_str());
        close(fd);
    } else if (errno != ENOENT) {
        SetLastError(ErrorFromErrno(errno));
        return -1;
    }
    if (!create) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return -1;
    }
    fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
        SetLastError(ErrorFromErrno(errno));
        return -1;
    }
    fchmod(fd, mode);
    LockRetrying(fd, LOCK_SH);
    *existed = false;
    return fd;
}

void compat::ReleaseEntry(const std::string& path, int fd) {
    if (LockRetrying(fd, LOCK_EX | LOCK_NB) == 0)
        unlink(path.c_str());
    close(fd);
}

unsigned compat::EntryMode(const void* securityAttributes) {
    return securityAttributes != nullptr ? 0666 : 0600;
}
