// Security attributes, SIDs and ACLs: on Windows the descriptors read back through the
// system; without Windows the attributes take the non-NT way (null) while SIDs and ACLs
// keep the Windows layout.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "TestHelpers.h"
#include "osutil/OsNamedObjects.h"
#include "osutil/OsSecurity.h"
#include "support/ChildProcess.h"

namespace {

#ifdef _WIN32
constexpr bool kNt = true;
#else
constexpr bool kNt = false;
#endif

// S-<revision>-<authority>-<subauthorities...> as bytes of the Windows layout.
std::vector<BYTE> SidBytes(BYTE authority, std::vector<DWORD> subauthorities) {
    std::vector<BYTE> bytes = {1,        static_cast<BYTE>(subauthorities.size()), 0, 0, 0, 0, 0,
                               authority};
    for (DWORD value : subauthorities)
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<BYTE>(value >> shift));
    return bytes;
}

std::vector<BYTE> BytesOf(PSID sid) {
    const BYTE* p = static_cast<const BYTE*>(sid);
    return std::vector<BYTE>(p, p + 8 + 4 * p[1]);
}

// Threads meeting at the first use get the same records.
TEST(OsSecurity, FirstUseFromSeveralThreads) {
    SECURITY_ATTRIBUTES* seen[4][2] = {};
    std::vector<std::thread> threads;
    for (auto& slot : seen)
        threads.emplace_back([&slot] {
            slot[0] = OpenToEveryoneAttributes();
            slot[1] = SystemAndEveryoneAttributes();
        });
    for (auto& thread : threads)
        thread.join();
    for (auto& slot : seen) {
        EXPECT_EQ(OpenToEveryoneAttributes(), slot[0]);
        EXPECT_EQ(SystemAndEveryoneAttributes(), slot[1]);
    }
}

TEST(OsSecurity, WellKnownSids) {
    struct Case {
        PSID (*make)();
        BYTE authority;
    };
    const Case cases[] = {{WorldSid, 1}, {CreatorOwnerSid, 3}};
    FOR_EACH_CASE(c, cases) {
        PSID sid = c.make();
        ASSERT_NE(nullptr, sid);
        EXPECT_TRUE(IsValidSid(sid));
        EXPECT_EQ(SidBytes(c.authority, {0}), BytesOf(sid));
        std::free(sid);
    }
}

TEST(OsSecurity, AccountSidOfSystem) {
    PSID sid = AccountSid("System");
    if (!kNt) {
        EXPECT_EQ(nullptr, sid) << "no accounts outside NT";
        return;
    }
    ASSERT_NE(nullptr, sid);
    EXPECT_EQ(SidBytes(5, {18}), BytesOf(sid));
    std::free(sid);
    EXPECT_EQ(nullptr, AccountSid("kiv-no-such-account-4711"));
}

TEST(OsSecurity, AclSizeRule) {
    struct Case {
        DWORD entries;
        DWORD given;
        int result;
        DWORD needed;
    };
    const Case cases[] = {
        {2, 56, 1, 56}, {2, 64, 1, 56}, {2, 55, 0, 56}, {1, 32, 1, 32},
        {1, 0, 0, 32},  {0, 8, 1, 8},   {3, 79, 0, 80},
    };
    FOR_EACH_CASE(c, cases) {
        alignas(DWORD) BYTE buffer[128];
        std::memset(buffer, 0xA5, sizeof(buffer));
        DWORD size = c.given;
        EXPECT_EQ(c.result, InitAcl(reinterpret_cast<PACL>(buffer), &size, c.entries));
        EXPECT_EQ(c.needed, size);
        if (c.result == 0) {
            EXPECT_EQ(0xA5, buffer[0]) << "a refused ACL is not touched";
        }
    }
    DWORD size = 0;
    EXPECT_EQ(0, InitAcl(nullptr, &size, 2));
    EXPECT_EQ(56u, size);
    EXPECT_EQ(0, InitAcl(nullptr, nullptr, 2));
}

TEST(OsSecurity, AclTakesAsManyEntriesAsItWasSizedFor) {
    alignas(DWORD) BYTE buffer[64];
    PACL acl = reinterpret_cast<PACL>(buffer);
    DWORD size = sizeof(buffer);
    ASSERT_EQ(1, InitAcl(acl, &size, 1));
    PSID world = WorldSid(), owner = CreatorOwnerSid();
    EXPECT_EQ(1, AddAllowedAce(acl, kGenericAllAccess, world));
    EXPECT_EQ(0, AddAllowedAce(acl, kGenericAllAccess, owner)) << "room for one entry only";
    EXPECT_EQ(1, acl->AceCount);
    void* entry = nullptr;
    ASSERT_TRUE(GetAce(acl, 0, &entry));
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, allowed->Header.AceType);
    EXPECT_EQ(kGenericAllAccess, allowed->Mask);
    EXPECT_EQ(SidBytes(1, {0}), BytesOf(&allowed->SidStart));
    std::free(world);
    std::free(owner);
}

TEST(OsSecurity, OpenToEveryoneHasANullDacl) {
    SECURITY_ATTRIBUTES* attributes = OpenToEveryoneAttributes();
    EXPECT_EQ(attributes, OpenToEveryoneAttributes()) << "built once";
    if (!kNt) {
        EXPECT_EQ(nullptr, attributes);
    } else {
        ASSERT_NE(nullptr, attributes);
        EXPECT_EQ(24u, attributes->nLength);
        EXPECT_TRUE(attributes->bInheritHandle);
        BOOL present = FALSE, defaulted = TRUE;
        PACL dacl = reinterpret_cast<PACL>(1);
        ASSERT_TRUE(GetSecurityDescriptorDacl(attributes->lpSecurityDescriptor, &present, &dacl,
                                              &defaulted));
        EXPECT_TRUE(present);
        EXPECT_EQ(nullptr, dacl);
    }
    HANDLE event = nullptr;
    EXPECT_EQ(1, CreateNamedEvent(&event, UniqueObjectName("everyone").c_str(),
                                  kNamedObjectOpenToEveryone));
    CloseHandle(event);
}

TEST(OsSecurity, SystemAndEveryoneDescriptorReadsBack) {
    SECURITY_ATTRIBUTES* attributes = SystemAndEveryoneAttributes();
    EXPECT_EQ(attributes, SystemAndEveryoneAttributes()) << "built once";
    if (!kNt) {
        EXPECT_EQ(nullptr, attributes);
        return;
    }
    ASSERT_NE(nullptr, attributes);
    EXPECT_NE(attributes, OpenToEveryoneAttributes());
    EXPECT_EQ(24u, attributes->nLength);
    EXPECT_TRUE(attributes->bInheritHandle);
    BOOL present = FALSE, defaulted = TRUE;
    PACL dacl = nullptr;
    ASSERT_TRUE(
        GetSecurityDescriptorDacl(attributes->lpSecurityDescriptor, &present, &dacl, &defaulted));
    EXPECT_TRUE(present);
    EXPECT_FALSE(defaulted);
    ASSERT_NE(nullptr, dacl);
    EXPECT_EQ(ACL_REVISION, dacl->AclRevision);
    EXPECT_LE(dacl->AclSize, 64);
    ASSERT_EQ(2, dacl->AceCount);
    const std::vector<BYTE> sids[] = {SidBytes(1, {0}), SidBytes(5, {18})};
    for (DWORD i = 0; i < 2; ++i) {
        void* entry = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, &entry));
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, allowed->Header.AceType) << i;
        EXPECT_EQ(0xF0000000u, allowed->Mask) << i;
        EXPECT_EQ(sids[i], BytesOf(&allowed->SidStart)) << i;
    }
}

} // namespace
