#include "update/SignedUpdate.h"
#include "TestHelpers.h"
#include "crypto/Digest.h"
#include "crypto/RsaKeyCodec.h"
#include "support/ScriptedServer.h"
#include "support/UpdateTestKeys.h"

#include <cstring>
#include <filesystem>
#include <map>

namespace {

namespace fs = std::filesystem;

const std::string kMessage = "kivupdate signed bytes\n";
// Key A's signatures over kMessage from `openssl dgst -sha256 -sigopt rsa_padding_mode:pss
// -sigopt rsa_pss_saltlen:32` (the scheme's salt) and with rsa_pss_saltlen:20.
const char kOpensslSalt32[] =
    "M9SA1fkYT2569zrQIfm+FVxUF2CoLrqk9YyhJTtgUfEfGUoxcZa5PaLxHz5PeYeCjwQsDo5pgD7PLsf8HPpR652mgcf"
    "vQy+hMI3b6lIcpxmmycX2x0FgGRXBZ8VNo5h5j1ra2c22lRrAt7nwvR/clKm8IJq45A/Guai/DfHSRFwHaDfhL8s7evj"
    "Dkd+A2lJnErPhqwIVC9rey8yVbZGfQLPrmjeprpb+5WVcJGKdXtYIegcRzHGwhf+SIvAfbx77KzxD78qP6kUzJ/J3kH70"
    "iqk/Q1rIlNAEsG4MTcR7w3vqqj8c5kXl2VcMtMvYJxSZrnrbsApWGe5iGDVsKpcImQ==";
const char kOpensslSalt20[] =
    "A7jSiQJaKmebJTccRthDw+sOwJRJjMYYN2D6wkKkd+c1rTYRDasYMCc57/OBzpgAUK9HPmo4kAML7v2tbAJb/t5+NNM9B"
    "zrz7W05D64UYd9smDov5a8oipf48jVoGHpjrtseS+6mrTnwXDkHdvqBCb/oHVyn+N6eDIvUcns3N86uXTvF1i6G1iyLeE"
    "CufcZgIjzZLAI1ZUHS7yzN8lGyxRaOgnRTjVrVhyFM4uoSFxrJ9ze4ABXFKPspB/fUAtjiACw8Ri9pXvjxlWb6mVi7d8iQ"
    "M+NNopKqkpp3OWa2YI6PcOkUJVCxbJtJnaRsYQa5nlpFkNxzH8hi6R1kurNtew==";
const int64_t kExpiry = 1893456000; // 2030-01-01T00:00:00Z

std::string SignatureFile(const std::string& keyId, const std::string& base64) {
    return "kivupdate-signature: 1\nscheme: RSA-PSS-SHA256\nkey-id: " + keyId +
           "\nsignature: " + base64 + "\n";
}

TrustedKeys Keys(std::initializer_list<const char*> pems) {
    TrustedKeys keys;
    for (const char* pem : pems)
        EXPECT_EQ(TRUSTED_KEY_ADDED, keys.AddPem(pem, strlen(pem)));
    return keys;
}

std::string Sha256(const std::string& bytes) {
    uint8_t digest[kUpdateDigestSize];
    Digest(&kDigestSha256, bytes.data(), bytes.size(), digest, sizeof digest);
    char hex[65];
    UpdateFormatDigest(digest, hex);
    return hex;
}

// The signature file of `bytes` by the private key in `pem`.
std::string Sign(const char* pem, const std::string& bytes) {
    RsaPrivateKey* key = RsaPrivateKeyFromPem(pem, strlen(pem));
    uint8_t digest[kUpdateDigestSize];
    Digest(&kDigestSha256, bytes.data(), bytes.size(), digest, sizeof digest);
    char text[kUpdateSignatureFileMax];
    size_t size = UpdateSignDigest(key, digest, text, sizeof text);
    RsaPrivateKeyFree(key);
    return std::string(text, size);
}

// `text` read, changed by `change` and written again.
std::string Altered(const std::string& text, void (*change)(UpdateSignature*)) {
    UpdateSignature signature;
    EXPECT_EQ(1, UpdateSignatureParse(text.data(), text.size(), &signature));
    change(&signature);
    char out[kUpdateSignatureFileMax];
    return std::string(out, UpdateSignatureFormat(signature, out, sizeof out));
}

std::string Ok(const std::string& body) {
    return "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}
std::vector<ScriptedConnection> Script(const std::vector<std::string>& replies) {
    std::vector<ScriptedConnection> script;
    for (const std::string& reply : replies)
        script.push_back(ScriptedServer::Reply(reply));
    return script;
}
const std::string kNotFound = "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n";

// A directory of the test's own, removed at the end.
struct TempDir {
    fs::path path =
        fs::temp_directory_path() / ("kiv_signed_" + std::to_string(std::random_device()()));
    TempDir() { fs::create_directories(path); }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    // Every file's name and content.
    std::map<std::string, std::string> Files() const {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::directory_iterator(path)) {
            std::ifstream in(entry.path(), std::ios::binary);
            files[entry.path().filename().string()] =
                std::string(std::istreambuf_iterator<char>(in), {});
        }
        return files;
    }
};

// Keys are known by the id of their SubjectPublicKeyInfo, each once; short keys and anything
// else are refused.
TEST(TrustedKeys, KnowsKeysByTheirIds) {
    const struct {
        std::string pem;
        TrustedKeyAdd result;
        size_t count;
    } cases[] = {
        {kPublicA, TRUSTED_KEY_ADDED, 1},      {kPublicA, TRUSTED_KEY_ADDED, 1},
        {kPublicB, TRUSTED_KEY_ADDED, 2},      {kPublicShort, TRUSTED_KEY_TOO_SHORT, 2},
        {kPrivateA, TRUSTED_KEY_NOT_A_KEY, 2}, {"not a key", TRUSTED_KEY_NOT_A_KEY, 2},
        {"", TRUSTED_KEY_NOT_A_KEY, 2},
    };
    TrustedKeys keys;
    FOR_EACH_CASE(c, cases) {
        EXPECT_EQ(c.result, keys.AddPem(c.pem.data(), c.pem.size()));
        EXPECT_EQ(c.count, keys.Count());
    }
    for (const char* hex : {kKeyIdA, kKeyIdB}) {
        uint8_t id[kUpdateKeyIdSize];
        ASSERT_EQ(1, UpdateParseDigest(hex, id));
        const RsaPublicKey* key = keys.Find(id);
        ASSERT_NE(nullptr, key);
        uint8_t again[kUpdateKeyIdSize];
        ASSERT_EQ(1, UpdateKeyId(key, again));
        EXPECT_EQ(0, memcmp(id, again, sizeof id));
        id[31] ^= 1;
        EXPECT_EQ(nullptr, keys.Find(id));
    }
    TrustedKeys moved = std::move(keys);
    EXPECT_EQ(2u, moved.Count());
    EXPECT_EQ(0u, keys.Count()); // NOLINT: a moved-from set is empty
}

// Each signature over each message against each set of keys. The sets stand for a key
// being replaced: the old one alone, both, the new one alone.
TEST(SignedUpdate, VerifiesAgainstTheTrustedKeysOnly) {
    TrustedKeys sets[3] = {Keys({kPublicA}), Keys({kPublicA, kPublicB}), Keys({kPublicB})};
    const std::string openssl = SignatureFile(kKeyIdA, kOpensslSalt32);
    const std::string ours = Sign(kPrivateA, kMessage), oursB = Sign(kPrivateB, kMessage);
    const std::string other = kMessage.substr(0, kMessage.size() - 1);
    const std::string flipped = Altered(openssl, [](UpdateSignature* s) { s->value[100] ^= 0x10; });
    const std::string shorter = Altered(openssl, [](UpdateSignature* s) { s->value_size -= 1; });
    // One more leading zero byte: the same number, but not the encoding of the modulus size.
    const std::string padded = Altered(openssl, [](UpdateSignature* s) {
        memmove(s->value + 1, s->value, s->value_size);
        s->value[0] = 0;
        s->value_size += 1;
    });
    const UpdateVerdict OK = UPDATE_OK, BAD = UPDATE_BAD_SIGNATURE, UNKNOWN = UPDATE_UNKNOWN_KEY;
    const struct {
        std::string signature, message;
        UpdateVerdict verdicts[3]; // against A, A and B, B
    } cases[] = {
        {openssl, kMessage, {OK, OK, UNKNOWN}},
        {ours, kMessage, {OK, OK, UNKNOWN}},
        {oursB, kMessage, {UNKNOWN, OK, OK}},
        {openssl, other, {BAD, BAD, UNKNOWN}},
        {oursB, other, {UNKNOWN, BAD, BAD}},
        // Another salt length is another scheme.
        {SignatureFile(kKeyIdA, kOpensslSalt20), kMessage, {BAD, BAD, UNKNOWN}},
        // Key A's signature under key B's name.
        {SignatureFile(kKeyIdB, kOpensslSalt32), kMessage, {UNKNOWN, BAD, BAD}},
        {flipped, kMessage, {BAD, BAD, UNKNOWN}},
        {shorter, kMessage, {BAD, BAD, UNKNOWN}},
        {padded, kMessage, {BAD, BAD, UNKNOWN}},
        {openssl.substr(0, openssl.size() - 1), kMessage, {BAD, BAD, BAD}},
        {"", kMessage, {UPDATE_NO_SIGNATURE, UPDATE_NO_SIGNATURE, UPDATE_NO_SIGNATURE}},
    };
    FOR_EACH_CASE(c, cases) {
        for (int set = 0; set < 3; ++set) {
            SCOPED_TRACE(set);
            uint8_t keyId[kUpdateKeyIdSize] = {};
            EXPECT_EQ(c.verdicts[set],
                      UpdateVerifyBytes(sets[set], c.message.data(), c.message.size(),
                                        c.signature.data(), c.signature.size(), keyId));
            // Asked before the bytes are at hand, only the form and the key count.
            UpdateSignature parsed;
            bool readable = UpdateSignatureParse(c.signature.data(), c.signature.size(), &parsed);
            EXPECT_EQ(c.verdicts[set] == UPDATE_BAD_SIGNATURE && readable ? UPDATE_OK
                                                                          : c.verdicts[set],
                      UpdateSignatureUsable(sets[set], c.signature.data(), c.signature.size()));
            if (readable) {
                EXPECT_EQ(0, memcmp(parsed.key_id, keyId, sizeof keyId));
            }
        }
    }
}

// The tool's signatures are the scheme's: salt of 32, key id of the key; short keys and
// small buffers give none.
TEST(SignedUpdate, SignsOnlyWithSoundKeysIntoRoom) {
    const std::string ours = Sign(kPrivateA, kMessage);
    EXPECT_EQ(0u,
              ours.find(std::string("kivupdate-signature: 1\nscheme: RSA-PSS-SHA256\nkey-id: ") +
                        kKeyIdA + "\nsignature: "));
    EXPECT_EQ("", Sign(kPrivateShort, kMessage));
    RsaPrivateKey* key = RsaPrivateKeyFromPem(kPrivateA, strlen(kPrivateA));
    uint8_t digest[kUpdateDigestSize] = {};
    char text[kUpdateSignatureFileMax];
    EXPECT_EQ(0u, UpdateSignDigest(key, digest, text, ours.size()));
    EXPECT_EQ(ours.size(), UpdateSignDigest(key, digest, text, ours.size() + 1));
    RsaPrivateKeyFree(key);
    EXPECT_EQ(0u, UpdateSignDigest(nullptr, digest, text, sizeof text));
}

// The document is taken only when the signature beside it verifies with a trusted key
// and it has not expired; nothing of a refused document is handed out.
TEST(SignedUpdate, TakesADocumentOnlyWhenSignedAndFresh) {
    const std::string document =
        "[Language 1]\nVersion=5\nSha256=" + Sha256("x") + "\nExpires=2030-01-01T00:00:00Z\n";
    const std::string undated = "[Language 1]\nVersion=5\n";
    const std::string sigA = Sign(kPrivateA, document), sigB = Sign(kPrivateB, document);
    TrustedKeys a = Keys({kPublicA}), both = Keys({kPublicA, kPublicB}), b = Keys({kPublicB});
    const struct {
        std::vector<std::string> replies; // the document's, then the signature's
        const TrustedKeys* keys;
        int64_t now;
        UpdateVerdict verdict;
    } cases[] = {
        {{Ok(document), Ok(sigA)}, &a, kExpiry - 1, UPDATE_OK},
        {{Ok(document), Ok(sigB)}, &both, kExpiry - 1, UPDATE_OK},
        {{Ok(document), Ok(sigA)}, &b, kExpiry - 1, UPDATE_UNKNOWN_KEY},
        {{Ok(document), kNotFound}, &a, kExpiry - 1, UPDATE_NO_SIGNATURE},
        {{Ok(document + "\n"), Ok(sigA)}, &a, kExpiry - 1, UPDATE_BAD_SIGNATURE},
        {{Ok(document), Ok("kivupdate-signature: 1\n")}, &a, kExpiry - 1, UPDATE_BAD_SIGNATURE},
        {{Ok(document), Ok(sigA)}, &a, kExpiry, UPDATE_EXPIRED},
        {{Ok(undated), Ok(Sign(kPrivateA, undated))}, &a, 0, UPDATE_EXPIRED},
        {{kNotFound}, &a, kExpiry - 1, UPDATE_NO_FACTS},
    };
    FOR_EACH_CASE(c, cases) {
        ScriptedServer server(Script(c.replies));
        SignedDocument out;
        char detail[256];
        EXPECT_EQ(c.verdict,
                  SignedUpdateFetchDocument(server.Url("/u.ini").c_str(), *c.keys, 1, c.now,
                                            UpdateDownloadOptions(), &out, detail, sizeof detail));
        EXPECT_EQ(c.verdict == UPDATE_OK ? document : "", out.bytes);
        EXPECT_EQ(c.verdict == UPDATE_OK, detail[0] == '\0');
        std::vector<std::string> paths;
        for (const std::string& request : server.Requests())
            paths.push_back(request.substr(0, request.find(" HTTP/")));
        const std::vector<std::string> both = {"GET /u.ini", "GET /u.ini.sig"};
        EXPECT_EQ(c.replies.size() == 2 ? both : std::vector<std::string>{both[0]}, paths);
    }
    // The port of a server gone: nothing listens there.
    const std::string url =
        "http://127.0.0.1:" + std::to_string(ScriptedServer({}).Port()) + "/u.ini";
    SignedDocument out;
    EXPECT_EQ(UPDATE_FAILED, SignedUpdateFetchDocument(url.c_str(), a, 1, 0,
                                                       UpdateDownloadOptions(), &out, nullptr, 0));
}

// The small fetch behind the document and its signature: which step failed, the final
// answer after one redirect, and the proxy's Basic line on every request through it.
TEST(SignedUpdate, FetchesSmallFilesAsTheCheckDoes) {
    const std::string moved = "HTTP/1.1 301 Moved Permanently\r\nLocation: http://b.example/n.ini"
                              "\r\nContent-Length: 0\r\n\r\n";
    const std::string basic = "Proxy-Authorization: Basic a2l2OnMzY3JldA==\r\n"; // kiv:s3cret
    const char* const remote = "http://a.example/u.ini"; // asked of the server as a proxy
    const struct {
        std::vector<std::string> replies;
        const char* url; // null: the server's own
        const char *user, *password;
        int ok;
        UpdateFetchOutcome outcome;
        uint32_t status;
        std::string body;
        int withBasic; // requests that carry the proxy's Basic line
    } cases[] = {
        {{Ok("abc")}, nullptr, "kiv", "s3cret", 1, UPDATE_FETCH_ANSWERED, 200, "abc", 0},
        {{kNotFound}, nullptr, nullptr, nullptr, 1, UPDATE_FETCH_ANSWERED, 404, "", 0},
        {{Ok("abc")}, remote, "kiv", "s3cret", 1, UPDATE_FETCH_ANSWERED, 200, "abc", 1},
        {{moved, Ok("new")}, remote, "kiv", "s3cret", 1, UPDATE_FETCH_ANSWERED, 200, "new", 2},
        {{moved, moved}, remote, nullptr, nullptr, 1, UPDATE_FETCH_ANSWERED, 301, "", 0},
        {{Ok("abc")}, remote, "kiv", nullptr, 1, UPDATE_FETCH_ANSWERED, 200, "abc", 0},
        {{"HTTP/1.0 200"}, nullptr, nullptr, nullptr, 0, UPDATE_FETCH_NO_ANSWER, 0, "", 0},
        {{}, "no slash", nullptr, nullptr, 0, UPDATE_FETCH_BAD_URL, 0, "", 0},
    };
    FOR_EACH_CASE(c, cases) {
        ScriptedServer server(Script(c.replies));
        UpdateDownloadOptions options;
        if (c.url == remote) {
            options.proxyHost = "127.0.0.1";
            options.proxyPort = server.Port();
        }
        options.proxyUser = c.user;
        options.proxyPassword = c.password;
        UpdateFetchResult result;
        result.body = "stale";
        const std::string url = c.url != nullptr ? c.url : server.Url("/u.ini");
        EXPECT_EQ(c.ok, UpdateFetch(url.c_str(), options, &result));
        EXPECT_EQ(c.outcome, result.outcome);
        EXPECT_EQ(c.status, result.status);
        EXPECT_EQ(c.body, result.body);
        int withBasic = 0;
        for (const std::string& request : server.Requests())
            withBasic += request.find(basic) != std::string::npos;
        EXPECT_EQ(c.withBasic, withBasic);
    }
    const std::string longProxy(kMaxProxyHostLength + 1, 'p');
    UpdateDownloadOptions tooLong;
    tooLong.proxyHost = longProxy.c_str();
    tooLong.proxyPort = 1;
    UpdateFetchResult result;
    EXPECT_EQ(0, UpdateFetch(remote, tooLong, &result));
    EXPECT_EQ(UPDATE_FETCH_BAD_URL, result.outcome);
    const std::string nobody =
        "http://127.0.0.1:" + std::to_string(ScriptedServer({}).Port()) + "/u.ini";
    EXPECT_EQ(0, UpdateFetch(nobody.c_str(), UpdateDownloadOptions(), &result));
    EXPECT_EQ(UPDATE_FETCH_NO_CONNECTION, result.outcome);
}

// A body ceiling: an announced body beyond it never reaches the disk, one without a length
// is cut off at it, one of exactly its size passes.
TEST(SignedUpdate, DownloadsNoMoreThanTheCeiling) {
    const std::string body(5000, 'p');
    const std::string noLength = "HTTP/1.0 200 OK\r\n\r\n";
    const struct {
        std::string reply;
        uint64_t ceiling;
        int ok, tooLarge;
        size_t most; // bytes the file may hold afterwards; SIZE_MAX: no file
    } cases[] = {
        {Ok(body), 4999, 0, 1, SIZE_MAX},
        {Ok(body), 5000, 1, 0, 5000},
        {noLength + body, 4999, 0, 1, 4999},
        {noLength + body, 5000, 1, 0, 5000},
        {noLength + body + body, 5000, 0, 1, 5000},
        {noLength + "abc", 2, 0, 1, 0}, // already with the header
    };
    FOR_EACH_CASE(c, cases) {
        ScriptedServer server({ScriptedServer::Reply(c.reply)});
        TempFile file;
        UpdateDownloadOptions options;
        options.maxBytes = c.ceiling;
        UpdateDownloadResult result;
        EXPECT_EQ(c.ok,
                  UpdateDownload(server.Url("/p.bin").c_str(), file.c_str(), options, &result));
        EXPECT_EQ(c.tooLarge, result.tooLarge);
        std::string content = file.Read();
        if (c.most == SIZE_MAX) {
            EXPECT_EQ("(no file)", content);
        } else {
            EXPECT_LE(content.size(), c.most);
        }
        if (c.ok) {
            EXPECT_EQ(body, content);
        }
    }
}

// The package reaches the directory only when it is newer, no larger than signed and has
// the signed digest; every refusal leaves the directory as it was.
TEST(SignedUpdate, InstallsOnlyTheSignedPackage) {
    std::string package(20000, '\0');
    for (size_t i = 0; i < package.size(); ++i)
        package[i] = static_cast<char>(i * 7 + i / 251);
    std::string altered = package;
    altered[12345] ^= 1;
    const std::string size = std::to_string(package.size()), digest = Sha256(package);
    const std::string noLength = "HTTP/1.0 200 OK\r\n\r\n";
    const UpdateVersion older = {5, 2, 1202}, same = {5, 2, 1203};
    const std::string full = "UrlDownload=URL\nFilesize=" + size + "\nSha256=" + digest;
    const struct {
        std::string keys; // the package lines; "URL" stands for the package's URL
        std::string reply;
        const UpdateVersion* installed;
        UpdateVerdict verdict;
        int requests;
    } cases[] = {
        {full, Ok(package), nullptr, UPDATE_OK, 1},
        {full, Ok(package), &older, UPDATE_OK, 1},
        {full, Ok(package), &same, UPDATE_NOT_NEWER, 0},
        {full, Ok(package + "x"), nullptr, UPDATE_TOO_LARGE, 1},
        {full, noLength + package + std::string(100000, 'e'), nullptr, UPDATE_TOO_LARGE, 1},
        {full, Ok(package.substr(1)), nullptr, UPDATE_DIGEST_MISMATCH, 1},
        {full, Ok(altered), nullptr, UPDATE_DIGEST_MISMATCH, 1},
        {full, kNotFound, nullptr, UPDATE_FAILED, 1},
        {"UrlDownload=URL\nFilesize=" + size, Ok(package), nullptr, UPDATE_NO_FACTS, 0},
        {"UrlDownload=URL\nSha256=" + digest, Ok(package), nullptr, UPDATE_NO_FACTS, 0},
        {"UrlDownload=URL\nFilesize=0\nSha256=" + digest, Ok(package), nullptr, UPDATE_NO_FACTS, 0},
        {full.substr(full.find('\n') + 1), Ok(package), nullptr, UPDATE_NO_FACTS, 0},
        {"UrlDownload=URL/..\n" + full.substr(full.find('\n') + 1), Ok(package), nullptr,
         UPDATE_FAILED, 0},
        {"UrlDownload=URL?\n" + full.substr(full.find('\n') + 1), Ok(package), nullptr, UPDATE_OK,
         1},
    };
    FOR_EACH_CASE(c, cases) {
        ScriptedServer server({ScriptedServer::Reply(c.reply)});
        std::string keys = c.keys;
        if (size_t at = keys.find("URL"); at != std::string::npos)
            keys.replace(at, 3, server.Url("/pkg/setup.bin"));
        SignedDocument document;
        document.bytes = "[Language 1]\nVersion=5\nServicepack=2\nBuild=1203\n" + keys + "\n";
        ASSERT_EQ(1, UpdateDocumentRead(document.bytes.data(), document.bytes.size(), 1,
                                        &document.facts));
        TempDir dir;
        std::ofstream(dir.path / "setup.bin", std::ios::binary) << "old";
        std::string installed = "-";
        char detail[256];
        EXPECT_EQ(c.verdict, SignedUpdateInstall(document, UPDATE_PACKAGE_GENERIC, c.installed,
                                                 dir.path.string().c_str(), UpdateDownloadOptions(),
                                                 &installed, detail, sizeof detail));
        EXPECT_EQ(c.verdict == UPDATE_OK, detail[0] == '\0') << detail;
        EXPECT_EQ(c.verdict == UPDATE_OK ? package : "old", dir.Files()["setup.bin"]);
        EXPECT_EQ(1u, dir.Files().size()); // no temporary file left
        EXPECT_EQ(c.verdict == UPDATE_OK ? (dir.path / "setup.bin").generic_string() : "",
                  fs::path(installed).generic_string());
        EXPECT_EQ(static_cast<size_t>(c.requests), server.Requests().size());
    }
}

} // namespace
