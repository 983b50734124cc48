// Security attributes that open named objects to every user, and the security
// identifiers and access-control lists they are built from.
#pragma once

#include "compat/win32.h"

// Mask of the entries of SystemAndEveryoneAttributes: generic all, execute, write, read.
constexpr DWORD kGenericAllAccess = 0xF0000000;

// Attributes whose descriptor has no discretionary ACL at all (a null DACL, which grants
// every access to every user); handles made with them are inheritable. Built once per
// process on NT systems and then returned again; null on other systems or when building
// failed (the object then gets default security). Safe to call from several threads.
SECURITY_ATTRIBUTES* OpenToEveryoneAttributes();

// Attributes whose ACL grants generic all, execute, write and read to the world (S-1-1-0)
// and to the account "System", in that order; built once per process on NT systems, null
// elsewhere or when building failed. Safe to call from several threads.
SECURITY_ATTRIBUTES* SystemAndEveryoneAttributes();

// The SID of the account in a new buffer (the length of a two-subauthority SID) that the
// caller releases with free(); null when the account is unknown and on systems other
// than NT.
PSID AccountSid(const char* accountName);

// The well-known SIDs "Everyone" (S-1-1-0) and "Creator Owner" (S-1-3-0), each in a new
// buffer that the caller releases with free(); null when out of memory.
PSID WorldSid();
PSID CreatorOwnerSid();

// Initialises an ACL (revision 2) with room for `entries` access entries of SIDs with up
// to two subauthorities: (length of such a SID + 8) x entries + 8 bytes. The needed size
// is always handed back in `size`; 0 when the caller's size (on entry) is smaller, or
// there is no ACL.
int InitAcl(PACL acl, DWORD* size, DWORD entries);

// Appends an access-allowed entry (ACL revision 2) for the SID with the mask; 0 when the
// ACL has no room left or the SID is not valid.
int AddAllowedAce(PACL acl, DWORD accessMask, PSID sid);
