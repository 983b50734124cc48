// Files the tool reads and writes itself: keys, signatures, whole small files.
#include "tools/Tool.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#ifdef _WIN32
#include "compat/win32.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// The largest key file read: an 8,192-bit private key in PEM is about 6.4 KB.
constexpr size_t kKeyFileMax = 64 * 1024;

#ifdef _WIN32
// A security descriptor whose only entry gives the running user full access, protected
// from the entries the directory would pass on: Windows' "readable by its owner only".
// `buffers` keeps the parts alive as long as the descriptor is used.
bool OwnerOnlyDescriptor(SECURITY_DESCRIPTOR* descriptor, std::vector<uint8_t>* user,
                         std::vector<uint8_t>* acl) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    user->resize(size);
    BOOL ok = size != 0 && GetTokenInformation(token, TokenUser, user->data(), size, &size);
    CloseHandle(token);
    if (!ok)
        return false;
    PSID sid = reinterpret_cast<TOKEN_USER*>(user->data())->User.Sid;
    DWORD aclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid);
    acl->resize(aclSize);
    PACL list = reinterpret_cast<PACL>(acl->data());
    return InitializeAcl(list, aclSize, ACL_REVISION) &&
           AddAccessAllowedAce(list, ACL_REVISION, FILE_ALL_ACCESS, sid) &&
           InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION) &&
           SetSecurityDescriptorDacl(descriptor, TRUE, list, FALSE) &&
           SetSecurityDescriptorControl(descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
}

bool WriteNew(const char* path, const void* data, size_t size, bool ownerOnly) {
    SECURITY_DESCRIPTOR descriptor;
    std::vector<uint8_t> user, acl;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
    if (ownerOnly && !OwnerOnlyDescriptor(&descriptor, &user, &acl))
        return false;
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, ownerOnly ? &attributes : nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) && written == size;
    ok = CloseHandle(file) && ok;
    if (!ok)
        DeleteFileA(path); // ours: CREATE_NEW made it
    return ok;
}
#else
bool WriteNew(const char* path, const void* data, size_t size, bool ownerOnly) {
    // O_EXCL: never through a link someone left at the name, never over a file.
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL, ownerOnly ? 0600 : 0644);
    if (fd < 0)
        return false;
    const char* bytes = static_cast<const char*>(data);
    size_t done = 0;
    while (done < size) {
        ssize_t count = write(fd, bytes + done, size - done);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        done += static_cast<size_t>(count);
    }
    bool ok = close(fd) == 0 && done == size;
    if (!ok)
        unlink(path); // ours: O_EXCL made it
    return ok;
}
#endif

bool FileExists(const char* path) {
    FILE* file = fopen(path, "rb");
    if (file != nullptr)
        fclose(file);
    return file != nullptr;
}

} // namespace

bool ReadSmallFile(const char* path, size_t maxSize, std::string* bytes) {
    bytes->clear();
    FILE* file = fopen(path, "rb");
    if (file == nullptr) {
        fprintf(stderr, "kivupdate: cannot read %s: %s\n", path, strerror(errno));
        return false;
    }
    char piece[4096];
    bool tooLarge = false;
    for (;;) {
        size_t count = fread(piece, 1, sizeof piece, file);
        if (bytes->size() + count > maxSize) {
            tooLarge = true;
            break;
        }
        bytes->append(piece, count);
        if (count < sizeof piece)
            break;
    }
    bool failed = ferror(file) != 0;
    fclose(file);
    if (tooLarge || failed) {
        fprintf(stderr, "kivupdate: cannot read %s: %s\n", path,
                tooLarge ? "larger than a key file" : "read error");
        return false;
    }
    return true;
}

bool WriteNewFile(const char* path, const void* data, size_t size, bool ownerOnly) {
    if (FileExists(path)) {
        fprintf(stderr, "kivupdate: %s exists; it is not overwritten\n", path);
        return false;
    }
    if (!WriteNew(path, data, size, ownerOnly)) {
        fprintf(stderr, "kivupdate: cannot write %s\n", path);
        return false;
    }
    return true;
}

bool LoadTrustedKeys(const std::vector<std::string>& files, TrustedKeys* keys) {
    for (const std::string& file : files) {
        std::string text;
        if (!ReadSmallFile(file.c_str(), kKeyFileMax, &text))
            return false;
        switch (keys->AddPem(text.data(), text.size())) {
        case TRUSTED_KEY_ADDED:
            break;
        case TRUSTED_KEY_TOO_SHORT:
            fprintf(stderr, "kivupdate: the key in %s is shorter than %u bits\n", file.c_str(),
                    kUpdateMinKeyBits);
            return false;
        case TRUSTED_KEY_NOT_A_KEY:
            fprintf(stderr, "kivupdate: %s holds no RSA public key in PEM form\n", file.c_str());
            return false;
        }
    }
    return true;
}

int FetchSignedDocument(const char* url, const ToolOptions& options,
                        const UpdateDownloadOptions& net, SignedDocument* document) {
    TrustedKeys keys;
    if (!LoadTrustedKeys(options.keys, &keys))
        return kExitFailed;
    char detail[256];
    UpdateVerdict verdict =
        SignedUpdateFetchDocument(url, keys, options.language, static_cast<int64_t>(time(nullptr)),
                                  net, document, detail, sizeof detail);
    return verdict == UPDATE_OK ? kExitOk : ReportVerdict(verdict, detail);
}

std::string KeyIdText(const uint8_t id[kUpdateKeyIdSize]) {
    char hex[65];
    UpdateFormatDigest(id, hex);
    return hex;
}
