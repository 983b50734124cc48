// Known answers from the NIST CAVP files and the RFC examples (MD5, HMAC) that Debian's
// python3-cryptography-vectors installs, on the SHA extensions (where the processor has
// them) and on the portable code. A missing file fails: the package is part of the setup.
#include "CryptoTestHelpers.h"
#include "TestHelpers.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <vector>

namespace {

using Record = std::map<std::string, std::string>;

std::string VectorsRoot() {
    const char* root = getenv("KIV_CRYPTO_VECTORS");
    return root != nullptr ? root : "/usr/lib/python3/dist-packages/cryptography_vectors";
}

// The "Name = value" lines of a file as records, one per "MD" line, each with the latest
// value of every name before it (so a Monte file's Seed reaches all of its records).
bool ReadVectors(const std::string& path, std::vector<Record>* records) {
    std::ifstream file(path);
    if (!file)
        return false;
    Record current;
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t equals = line.find(" = ");
        if (line.empty() || line[0] == '#' || line[0] == '[' || equals == std::string::npos)
            continue;
        current[line.substr(0, equals)] = line.substr(equals + 3);
        if (line.compare(0, equals, "MD") == 0)
            records->push_back(current);
    }
    return true;
}

enum class Kind { Message, Monte, Hmac };

struct VectorFile {
    std::string path; // under the vectors' root
    const DigestAlgorithm* algorithm;
    Kind kind;
    size_t records; // how many the file holds, so that a reader losing some fails
};

// CAVP: a short message of every byte length up to a block, a long one per bit of the
// block, 100 Monte checkpoints.
std::vector<VectorFile> Files() {
    std::vector<VectorFile> files = {{"hashes/MD5/rfc-1321.txt", &kDigestMd5, Kind::Message, 7}};
    const char* cavp[] = {"SHA1/SHA1",   "SHA2/SHA224",     "SHA2/SHA256",    "SHA2/SHA384",
                          "SHA2/SHA512", "SHA2/SHA512_224", "SHA2/SHA512_256"};
    for (size_t i = 0; i < 7; ++i) { // kEveryDigest's order, after MD5
        const DigestAlgorithm* a = kEveryDigest[i + 1];
        const std::string stem = std::string("hashes/") + cavp[i];
        files.push_back({stem + "ShortMsg.rsp", a, Kind::Message, a->block_size + 1u});
        files.push_back({stem + "LongMsg.rsp", a, Kind::Message, a->block_size});
        files.push_back({stem + "Monte.rsp", a, Kind::Monte, 100});
    }
    const char* rfc[] = {"2202-md5",    "2202-sha1",   "4231-sha224",
                         "4231-sha256", "4231-sha384", "4231-sha512"};
    for (size_t i = 0; i < 6; ++i)
        files.push_back({std::string("HMAC/rfc-") + rfc[i] + ".txt", kEveryDigest[i], Kind::Hmac,
                         i < 2 ? 7u : 6u});
    return files;
}

// The message fed in pieces whose sizes cycle through `pattern`, as hex.
std::string StreamedHex(const DigestAlgorithm* algorithm, const std::string& message,
                        size_t pattern) {
    static const size_t kPieces[][4] = {{1, 2, 3, 5}, {63, 64, 65, 0}, {127, 1, 129, 200}};
    DigestContext context;
    EXPECT_EQ(1, DigestInit(&context, algorithm));
    for (size_t at = 0, i = 0; at < message.size(); ++i) {
        const size_t piece = std::min(kPieces[pattern % 3][i % 4], message.size() - at);
        EXPECT_EQ(1, DigestUpdate(&context, message.data() + at, piece));
        at += piece;
    }
    uint8_t out[kDigestMaxSize];
    EXPECT_EQ(1, DigestFinal(&context, out, sizeof out));
    return Hex(out, algorithm->digest_size);
}

// The HMAC through the streaming calls: a first message dropped by HmacReset, then the
// real one in two pieces.
std::string StreamedHmacHex(const DigestAlgorithm* algorithm, const std::string& key,
                            const std::string& message) {
    HmacContext context;
    EXPECT_EQ(1, HmacInit(&context, algorithm, key.data(), key.size()));
    EXPECT_EQ(1, HmacUpdate(&context, "dropped", 7));
    EXPECT_EQ(1, HmacReset(&context));
    const size_t half = message.size() / 2;
    EXPECT_EQ(1, HmacUpdate(&context, message.data(), half));
    EXPECT_EQ(1, HmacUpdate(&context, message.data() + half, message.size() - half));
    uint8_t out[kDigestMaxSize];
    EXPECT_EQ(1, HmacFinal(&context, out, sizeof out));
    return Hex(out, algorithm->digest_size);
}

// FIPS 180 SHAVS Monte Carlo: each checkpoint chains 1,000 digests, each over the three
// digests before it, starting from the previous checkpoint three times over.
std::string MonteStep(const DigestAlgorithm* algorithm, const std::string& seed) {
    const size_t size = algorithm->digest_size;
    uint8_t chain[3 * kDigestMaxSize], next[kDigestMaxSize];
    for (int i = 0; i < 3; ++i)
        memcpy(chain + i * size, seed.data(), size);
    for (int i = 0; i < 1000; ++i) {
        EXPECT_EQ(1, Digest(algorithm, chain, 3 * size, next, sizeof next));
        memmove(chain, chain + size, 2 * size);
        memcpy(chain + 2 * size, next, size);
    }
    return std::string(reinterpret_cast<char*>(chain + 2 * size), size);
}

void CheckFile(const VectorFile& file) {
    std::vector<Record> records;
    ASSERT_TRUE(ReadVectors(VectorsRoot() + "/" + file.path, &records))
        << "cannot read " << VectorsRoot() << "/" << file.path
        << " (Debian package python3-cryptography-vectors)";
    EXPECT_EQ(file.records, records.size());
    std::string seed;
    FOR_EACH_CASE(record, records) {
        const std::string expected = record.at("MD");
        if (file.kind == Kind::Monte) {
            if (seed.empty())
                seed = Unhex(record.at("Seed"));
            seed = MonteStep(file.algorithm, seed);
            EXPECT_EQ(expected, Hex(seed.data(), seed.size()));
            continue;
        }
        const std::string message =
            Unhex(record.at("Msg")).substr(0, std::stoul(record.at("Len")) / 8);
        if (file.kind == Kind::Hmac) {
            const std::string key = Unhex(record.at("Key"));
            EXPECT_EQ(expected, HmacHex(file.algorithm, key, message));
            EXPECT_EQ(expected, StreamedHmacHex(file.algorithm, key, message));
            continue;
        }
        EXPECT_EQ(expected, DigestHex(file.algorithm, message));
        EXPECT_EQ(expected, StreamedHex(file.algorithm, message, caseIndex));
    }
}

class CryptoVectors : public ::testing::TestWithParam<int> {};

TEST_P(CryptoVectors, EveryFileOnThisEngine) {
    const int portable = GetParam();
    EngineScope engine(portable);
    EXPECT_EQ(portable ? 0 : CpuHasSha() ? 1 : 0, DigestAccelerated());
    const std::vector<VectorFile> files = Files();
    EXPECT_EQ(28u, files.size());
    FOR_EACH_CASE(file, files) {
        SCOPED_TRACE(file.path);
        CheckFile(file);
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, CryptoVectors, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param ? "Portable" : "Detected");
                         });

} // namespace
