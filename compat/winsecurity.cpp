#include "compat/winsecurity.h"

#include <cstring>

#include "compat/winerror.h"

#define ERROR_UNKNOWN_REVISION 1305L

namespace {

SID* AsSid(PSID sid) {
    return static_cast<SID*>(sid);
}

bool ValidAclRevision(DWORD revision) {
    return revision >= ACL_REVISION && revision <= ACL_REVISION_DS;
}

// The offset just past the last entry, or 0 when the entries overrun the list.
DWORD EntriesEnd(const ACL* acl) {
    DWORD offset = sizeof(ACL);
    const auto* bytes = reinterpret_cast<const BYTE*>(acl);
    for (WORD i = 0; i < acl->AceCount; ++i) {
        if (offset + sizeof(ACE_HEADER) > acl->AclSize)
            return 0;
        ACE_HEADER header;
        std::memcpy(&header, bytes + offset, sizeof(header));
        if (header.AceSize < sizeof(ACE_HEADER) || offset + header.AceSize > acl->AclSize)
            return 0;
        offset += header.AceSize;
    }
    return offset;
}

} // namespace

DWORD GetSidLengthRequired(BYTE subAuthorityCount) {
    return 8 + 4 * DWORD(subAuthorityCount);
}

BOOL InitializeSid(PSID sid, PSID_IDENTIFIER_AUTHORITY authority, BYTE subAuthorityCount) {
    if (sid == nullptr || authority == nullptr || subAuthorityCount > SID_MAX_SUB_AUTHORITIES) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    AsSid(sid)->Revision = SID_REVISION;
    AsSid(sid)->SubAuthorityCount = subAuthorityCount;
    AsSid(sid)->IdentifierAuthority = *authority;
    return TRUE;
}

DWORD* GetSidSubAuthority(PSID sid, DWORD index) {
    return &AsSid(sid)->SubAuthority[0] + index;
}

BOOL IsValidSid(PSID sid) {
    return sid != nullptr && AsSid(sid)->Revision == SID_REVISION &&
           AsSid(sid)->SubAuthorityCount <= SID_MAX_SUB_AUTHORITIES;
}

DWORD GetLengthSid(PSID sid) {
    return GetSidLengthRequired(AsSid(sid)->SubAuthorityCount);
}

BOOL EqualSid(PSID first, PSID second) {
    if (!IsValidSid(first) || !IsValidSid(second)) {
        SetLastError(ERROR_INVALID_SID);
        return FALSE;
    }
    SetLastError(ERROR_SUCCESS);
    return GetLengthSid(first) == GetLengthSid(second) &&
           std::memcmp(first, second, GetLengthSid(first)) == 0;
}

BOOL LookupAccountNameA(LPCSTR, LPCSTR accountName, PSID, LPDWORD sidSize, LPSTR,
                        LPDWORD domainSize, PSID_NAME_USE) {
    if (accountName == nullptr || sidSize == nullptr || domainSize == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    SetLastError(ERROR_NONE_MAPPED);
    return FALSE;
}

BOOL InitializeAcl(PACL acl, DWORD length, DWORD revision) {
    if (acl == nullptr || !ValidAclRevision(revision) || length > 0xFFFF) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (length < sizeof(ACL)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    acl->AclRevision = static_cast<BYTE>(revision);
    acl->Sbz1 = 0;
    acl->AclSize = static_cast<WORD>(length & ~DWORD(3)); // whole 32-bit words only
    acl->AceCount = 0;
    acl->Sbz2 = 0;
    return TRUE;
}

BOOL AddAccessAllowedAce(PACL acl, DWORD revision, DWORD accessMask, PSID sid) {
    if (!IsValidSid(sid)) {
        SetLastError(ERROR_INVALID_SID);
        return FALSE;
    }
    if (acl == nullptr || !ValidAclRevision(acl->AclRevision) || !ValidAclRevision(revision)) {
        SetLastError(acl == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_ACL);
        return FALSE;
    }
    DWORD end = EntriesEnd(acl);
    if (end == 0) {
        SetLastError(ERROR_INVALID_ACL);
        return FALSE;
    }
    DWORD sidLength = GetLengthSid(sid);
    DWORD entrySize = sizeof(ACE_HEADER) + sizeof(ACCESS_MASK) + sidLength;
    if (end + entrySize > acl->AclSize) {
        SetLastError(ERROR_ALLOTTED_SPACE_EXCEEDED);
        return FALSE;
    }
    BYTE* entry = reinterpret_cast<BYTE*>(acl) + end;
    ACE_HEADER header{ACCESS_ALLOWED_ACE_TYPE, 0, static_cast<WORD>(entrySize)};
    std::memcpy(entry, &header, sizeof(header));
    std::memcpy(entry + sizeof(header), &accessMask, sizeof(accessMask));
    std::memcpy(entry + sizeof(header) + sizeof(accessMask), sid, sidLength);
    acl->AceCount++;
    if (revision > acl->AclRevision)
        acl->AclRevision = static_cast<BYTE>(revision);
    return TRUE;
}

BOOL GetAce(PACL acl, DWORD index, LPVOID* ace) {
    if (acl == nullptr || ace == nullptr || index >= acl->AceCount || EntriesEnd(acl) == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    BYTE* entry = reinterpret_cast<BYTE*>(acl) + sizeof(ACL);
    for (DWORD i = 0; i < index; ++i) {
        ACE_HEADER header;
        std::memcpy(&header, entry, sizeof(header));
        entry += header.AceSize;
    }
    *ace = entry;
    return TRUE;
}

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision) {
    if (revision != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(ERROR_UNKNOWN_REVISION);
        return FALSE;
    }
    std::memset(descriptor, 0, sizeof(SECURITY_DESCRIPTOR));
    static_cast<SECURITY_DESCRIPTOR*>(descriptor)->Revision = SECURITY_DESCRIPTOR_REVISION;
    return TRUE;
}

BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL daclPresent, PACL dacl,
                               BOOL daclDefaulted) {
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
    if (sd == nullptr || sd->Revision != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(ERROR_UNKNOWN_REVISION);
        return FALSE;
    }
    sd->Control &= static_cast<WORD>(~(SE_DACL_PRESENT | SE_DACL_DEFAULTED));
    sd->Dacl = nullptr;
    if (daclPresent) {
        sd->Control |= SE_DACL_PRESENT;
        sd->Dacl = dacl;
        if (daclDefaulted)
            sd->Control |= SE_DACL_DEFAULTED;
    }
    return TRUE;
}

BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, LPBOOL daclPresent, PACL* dacl,
                               LPBOOL daclDefaulted) {
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
    if (sd == nullptr || daclPresent == nullptr || dacl == nullptr || daclDefaulted == nullptr ||
        sd->Revision != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *daclPresent = (sd->Control & SE_DACL_PRESENT) != 0;
    if (*daclPresent) {
        *dacl = sd->Dacl;
        *daclDefaulted = (sd->Control & SE_DACL_DEFAULTED) != 0;
    }
    return TRUE;
}
