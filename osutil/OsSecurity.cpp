#include "osutil/OsSecurity.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "osutil/OsPlatform.h"

namespace {

// Room for the ACL of SystemAndEveryoneAttributes.
constexpr DWORD kSystemAndEveryoneAclSize = 64;
constexpr DWORD kAccountDomainSize = 256;

bool IsNt() {
    return IsNtPlatform(0);
}

PSID WellKnownSid(BYTE authorityValue) {
    SID_IDENTIFIER_AUTHORITY authority = {{0, 0, 0, 0, 0, authorityValue}};
    PSID sid = std::malloc(GetSidLengthRequired(1));
    if (sid == nullptr)
        return nullptr;
    if (!InitializeSid(sid, &authority, 1)) {
        std::free(sid);
        return nullptr;
    }
    *GetSidSubAuthority(sid, 0) = 0;
    return sid;
}

void SetShared(SECURITY_ATTRIBUTES* attributes, SECURITY_DESCRIPTOR* descriptor) {
    attributes->nLength = sizeof(*attributes);
    attributes->lpSecurityDescriptor = descriptor;
    attributes->bInheritHandle = TRUE;
}

} // namespace

// Both attribute sets are built inside the initialiser of a function-local static, which
// the language runs exactly once even when threads meet there first; afterwards a call
// costs one check of a guard flag.
SECURITY_ATTRIBUTES* OpenToEveryoneAttributes() {
    static SECURITY_DESCRIPTOR descriptor;
    static SECURITY_ATTRIBUTES attributes;
    static SECURITY_ATTRIBUTES* const built = []() -> SECURITY_ATTRIBUTES* {
        if (!IsNt())
            return nullptr;
        if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
            !SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE))
            return nullptr;
        SetShared(&attributes, &descriptor);
        return &attributes;
    }();
    return built;
}

SECURITY_ATTRIBUTES* SystemAndEveryoneAttributes() {
    static SECURITY_DESCRIPTOR descriptor;
    static SECURITY_ATTRIBUTES attributes;
    alignas(DWORD) static BYTE aclBuffer[kSystemAndEveryoneAclSize];
    static SECURITY_ATTRIBUTES* const built = []() -> SECURITY_ATTRIBUTES* {
        if (!IsNt())
            return nullptr;
        PACL acl = reinterpret_cast<PACL>(aclBuffer);
        DWORD size = sizeof(aclBuffer);
        PSID world = WorldSid();
        PSID system = AccountSid("System");
        bool ok = world != nullptr && system != nullptr && InitAcl(acl, &size, 2) &&
                  AddAllowedAce(acl, kGenericAllAccess, world) &&
                  AddAllowedAce(acl, kGenericAllAccess, system) &&
                  InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
                  SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE);
        // The entries hold copies of the SIDs.
        std::free(world);
        std::free(system);
        if (!ok)
            return nullptr;
        SetShared(&attributes, &descriptor);
        return &attributes;
    }();
    return built;
}

PSID AccountSid(const char* accountName) {
    if (accountName == nullptr || !IsNt())
        return nullptr;
    DWORD sidSize = GetSidLengthRequired(2);
    PSID sid = std::malloc(sidSize);
    if (sid == nullptr)
        return nullptr;
    char domain[kAccountDomainSize];
    DWORD domainSize = sizeof(domain);
    SID_NAME_USE use;
    if (!LookupAccountNameA(nullptr, accountName, sid, &sidSize, domain, &domainSize, &use)) {
        std::free(sid);
        return nullptr;
    }
    return sid;
}

PSID WorldSid() {
    return WellKnownSid(1);
}

PSID CreatorOwnerSid() {
    return WellKnownSid(3);
}

int InitAcl(PACL acl, DWORD* size, DWORD entries) {
    if (size == nullptr)
        return 0;
    std::uint64_t needed = (std::uint64_t(GetSidLengthRequired(2)) + 8) * entries + sizeof(ACL);
    DWORD given = *size;
    *size = needed > 0xFFFFFFFF ? 0xFFFFFFFF : static_cast<DWORD>(needed);
    if (acl == nullptr || given < needed)
        return 0;
    return InitializeAcl(acl, static_cast<DWORD>(needed), ACL_REVISION) ? 1 : 0;
}

int AddAllowedAce(PACL acl, DWORD accessMask, PSID sid) {
    return AddAccessAllowedAce(acl, ACL_REVISION, accessMask, sid) ? 1 : 0;
}
