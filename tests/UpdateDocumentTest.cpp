#include "update/UpdateDocument.h"
#include "TestHelpers.h"

#include <cstring>

namespace {

const char kDigestA[] = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";
const char kDigestB[] = "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855";

std::string Hex(const uint8_t* bytes) {
    char text[65];
    UpdateFormatDigest(bytes, text);
    return text;
}

// A package as "url|size|digest" words: "-" for an absent size, "?" for a malformed digest.
std::string Package(const UpdatePackage& p) {
    return std::string(p.url) + "|" + (p.has_size ? std::to_string(p.size) : "-") + "|" +
           (p.digest_state == UPDATE_VALUE_VALID       ? Hex(p.sha256)
            : p.digest_state == UPDATE_VALUE_MALFORMED ? "?"
                                                       : "");
}

// What a host reads from a document for a language: the section, the release, the three
// packages and the expiry, from the same section as the check's facts.
TEST(UpdateDocument, ReadsDigestsAndExpiryBesideTheFacts) {
    const std::string full = std::string("[Language 1]\r\nVersion=5\r\nServicepack=2\r\n") +
                             "Build=1203 # nightly\r\nUrlDownload=http://d/setup.bin\r\n" +
                             "Filesize=65536\r\nSha256=" + kDigestA + "\r\n" +
                             "UrlDownload-x86=http://d/x86.bin\r\nFilesize-x86=61440\r\n" +
                             "Sha256-x86= " + kDigestB + " # upper case\r\n" +
                             "UrlDownload-x86-64=http://d/x64.bin\r\nFilesize-x86-64=0\r\n" +
                             "Sha256-x86-64=" + std::string(kDigestA).substr(1) + "\r\n" +
                             "Expires=2030-01-01T00:00:00Z\r\n";
    const std::string lowerB = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
    const struct {
        std::string text;
        int32_t language;
        std::string section, release, generic, x86, x64, expires;
    } cases[] = {
        {full, 1, "Language 1", "5.2.1203", std::string("http://d/setup.bin|65536|") + kDigestA,
         "http://d/x86.bin|61440|" + lowerB, "http://d/x64.bin|0|?", "1893456000"},
        // Language 7 reads Language 2, as the check does; keys of other sections stay unread.
        {full + "[Language 2]\nVersion=4\nSha256=" + kDigestB + "\nExpires=2001-09-09T01:46:40Z\n",
         7, "Language 2", "4.0.0", "|-|" + lowerB, "|-|", "|-|", "1000000000"},
        {full, 7, "Language 2", "0.0.0", "|-|", "|-|", "|-|", "absent"},
        {"[Language 3]\nSha256=" + std::string(kDigestA) + "0\nExpires=2030-01-01 00:00:00Z\n", 3,
         "Language 3", "0.0.0", "|-|?", "|-|", "|-|", "malformed"},
        {"[Language 3]\nSha256=\nFilesize=-5\nExpires=\n", 3, "Language 3", "0.0.0", "|-5|?", "|-|",
         "|-|", "malformed"},
        {"Expires=2030-01-01T00:00:00Z\n[Language 1]\n", 1, "Language 1", "0.0.0", "|-|", "|-|",
         "|-|", "absent"}, // before the first section: no one's
        {"", 1, "Language 2", "0.0.0", "|-|", "|-|", "|-|", "absent"},
    };
    FOR_EACH_CASE(c, cases) {
        UpdateDocument d;
        memset(&d, 0x5a, sizeof d);
        ASSERT_EQ(1, UpdateDocumentRead(c.text.data(), c.text.size(), c.language, &d));
        EXPECT_EQ(c.section, d.section);
        EXPECT_EQ(c.release, std::to_string(d.release.version) + "." +
                                 std::to_string(d.release.service_pack) + "." +
                                 std::to_string(d.release.build));
        EXPECT_EQ(c.generic, Package(d.packages[UPDATE_PACKAGE_GENERIC]));
        EXPECT_EQ(c.x86, Package(d.packages[UPDATE_PACKAGE_X86]));
        EXPECT_EQ(c.x64, Package(d.packages[UPDATE_PACKAGE_X64]));
        EXPECT_EQ(c.expires, d.expires_state == UPDATE_VALUE_VALID       ? std::to_string(d.expires)
                             : d.expires_state == UPDATE_VALUE_MALFORMED ? "malformed"
                                                                         : "absent");
    }
}

// Known instants (seconds since 1970 UTC) read and written back; texts that are no time at
// all: 2100 and 2023 are no leap years, there are no leap seconds, only "T" and "Z" in
// upper case, no offsets, every field of its full width.
TEST(UpdateDocument, ReadsAndWritesUtcTimes) {
    const std::pair<const char*, int64_t> times[] = {
        {"1970-01-01T00:00:00Z", 0},
        {"2000-02-29T12:34:56Z", 951827696},
        {"2001-09-09T01:46:40Z", 1000000000},
        {"2024-02-29T23:59:59Z", 1709251199},
        {"2038-01-19T03:14:08Z", 2147483648},
        {"2100-03-01T00:00:00Z", 4107542400},
        {"9999-12-31T23:59:59Z", 253402300799},
    };
    FOR_EACH_CASE(c, times) {
        int64_t seconds = -7;
        ASSERT_EQ(1, UpdateParseTime(c.first, &seconds));
        EXPECT_EQ(c.second, seconds);
        char text[32] = "";
        EXPECT_EQ(1, UpdateFormatTime(seconds, text, sizeof text));
        EXPECT_STREQ(c.first, text);
        EXPECT_EQ(0, UpdateFormatTime(seconds, text, 20)); // no room for the NUL
    }
    const char* const refused[] = {
        "2100-02-29T00:00:00Z",
        "2023-02-29T00:00:00Z",
        "2024-04-31T00:00:00Z",
        "2024-00-10T00:00:00Z",
        "2024-13-10T00:00:00Z",
        "2024-01-00T00:00:00Z",
        "2024-01-01T24:00:00Z",
        "2024-01-01T00:60:00Z",
        "2024-01-01T00:00:60Z",
        "1969-12-31T23:59:59Z",
        "2024-01-01t00:00:00Z",
        "2024-01-01T00:00:00z",
        "2024-01-01T00:00:00",
        "2024-01-01T00:00:00+00:00",
        "2024-01-01 00:00:00Z",
        "2024-1-01T00:00:00Z",
        "+024-01-01T00:00:00Z",
        "2024-01-01T0a:00:00Z",
        "",
    };
    FOR_EACH_CASE(text, refused) {
        int64_t seconds = -7;
        EXPECT_EQ(0, UpdateParseTime(text, &seconds));
    }
    char text[32];
    EXPECT_EQ(0, UpdateFormatTime(-1, text, sizeof text));
    EXPECT_EQ(0, UpdateFormatTime(253402300800, text, sizeof text));
}

// Fresh strictly before the expiry; a document without a usable one never is.
TEST(UpdateDocument, IsFreshOnlyBeforeItsExpiry) {
    UpdateDocument d = {};
    d.expires = 1000;
    const struct {
        UpdateValueState state;
        int64_t now;
        int fresh;
    } cases[] = {
        {UPDATE_VALUE_VALID, 999, 1},     {UPDATE_VALUE_VALID, 1000, 0},
        {UPDATE_VALUE_VALID, 1001, 0},    {UPDATE_VALUE_ABSENT, 0, 0},
        {UPDATE_VALUE_MALFORMED, 999, 0},
    };
    FOR_EACH_CASE(c, cases) {
        d.expires_state = c.state;
        EXPECT_EQ(c.fresh, UpdateDocumentFresh(d, c.now));
    }
}

// A refused text leaves the bytes as they were.
TEST(UpdateDocument, ReadsDigestsOfExactly64HexDigits) {
    const std::string a = kDigestA, lowerB = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca"
                                             "495991b7852b855";
    const std::pair<std::string, std::string> cases[] = {
        {a, a},
        {kDigestB, lowerB},
        {a.substr(2), ""},
        {a + "0", ""},
        {std::string(a).replace(10, 1, "g"), ""},
        {std::string(a).replace(10, 1, " "), ""},
        {"", ""},
    };
    FOR_EACH_CASE(c, cases) {
        uint8_t digest[kUpdateDigestSize];
        memset(digest, 'Z', sizeof digest);
        EXPECT_EQ(c.second.empty() ? 0 : 1, UpdateParseDigest(c.first.c_str(), digest));
        if (c.second.empty())
            EXPECT_EQ(std::string(sizeof digest, 'Z'), std::string(digest, digest + sizeof digest));
        else
            EXPECT_EQ(c.second, Hex(digest));
    }
}

// Installed versions as the command line gives them, and their order.
TEST(UpdateDocument, ReadsAndOrdersVersions) {
    const std::pair<const char*, const char*> cases[] = {
        {"5", "5.0.0"},     {"5.2", "5.2.0"},    {"5.2.1203", "5.2.1203"},
        {"0.0.0", "0.0.0"}, {"007.08", "7.8.0"}, {"2147483647", "2147483647.0.0"},
    };
    const char* const refused[] = {"2147483648", "99999999999", "5.2.1203.1", "",     ".5",  "5.",
                                   "5..2",       "-1",          "+1",         "5.2a", "5 .2"};
    FOR_EACH_CASE(c, cases) {
        UpdateVersion v = {-1, -1, -1};
        ASSERT_EQ(1, UpdateParseVersion(c.first, &v));
        EXPECT_EQ(c.second, std::to_string(v.version) + "." + std::to_string(v.service_pack) + "." +
                                std::to_string(v.build));
    }
    FOR_EACH_CASE(text, refused) {
        UpdateVersion v;
        EXPECT_EQ(0, UpdateParseVersion(text, &v));
    }
    const struct {
        UpdateVersion a, b;
        int order;
    } orders[] = {
        {{5, 2, 1203}, {5, 2, 1203}, 0}, {{5, 2, 1204}, {5, 2, 1203}, 1},
        {{5, 3, 0}, {5, 2, 9999}, 1},    {{6, 0, 0}, {5, 9, 9999}, 1},
        {{4, 9, 9999}, {5, 0, 0}, -1},   {{5, 2, 1202}, {5, 2, 1203}, -1},
        {{-1, 0, 0}, {0, 0, 0}, -1},
    };
    FOR_EACH_CASE(c, orders) {
        int order = UpdateCompareVersions(c.a, c.b);
        EXPECT_EQ(c.order, (order > 0) - (order < 0));
        int reverse = UpdateCompareVersions(c.b, c.a);
        EXPECT_EQ(-c.order, (reverse > 0) - (reverse < 0));
    }
}

} // namespace
