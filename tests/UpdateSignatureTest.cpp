#include "update/UpdateSignature.h"
#include "CryptoTestHelpers.h"
#include "TestHelpers.h"

#include <cstring>
#include <vector>

namespace {

const std::string kId = "94a662d85f42474e14ac3e06f3546ca726308255d5330bfd05c4f91c5ac84126";

std::string File(const std::string& id, const std::string& base64) {
    return "kivupdate-signature: 1\nscheme: RSA-PSS-SHA256\nkey-id: " + id +
           "\nsignature: " + base64 + "\n";
}

// Each text read as a signature file: its decoded bytes in hex; then texts refused, with
// nothing half-read left.
TEST(UpdateSignature, ReadsOnlyTheExactForm) {
    // 1,023 zero bytes in whole groups; with "AA==" the largest modulus's 1,024.
    const std::string largest((kUpdateSignatureMaxSize + 2) / 3 * 4 - 4, 'A');
    const std::pair<std::string, std::string> cases[] = {
        {"AAEC/+8=", "000102ffef"},
        {"AQ==", "01"},
        {"AAEC", "000102"},
        {largest + "AA==", std::string(2 * kUpdateSignatureMaxSize, '0')},
    };
    FOR_EACH_CASE(c, cases) {
        UpdateSignature signature;
        const std::string text = File(kId, c.first);
        ASSERT_EQ(1, UpdateSignatureParse(text.data(), text.size(), &signature));
        EXPECT_EQ(c.second, Hex(signature.value, signature.value_size));
        EXPECT_EQ(kId, Hex(signature.key_id, sizeof signature.key_id));
    }
    // Base64 of more than the largest modulus, not in whole groups, with fill bits set ("AQ=="
    // is the one spelling of 01), fill inside or before the end, the URL alphabet, breaks.
    const std::string base64[] = {
        largest + "AAAAAAAA", "",     "AQ=",        "AR==",     "AAF=", "A=AA",
        "AQ==AQ==",           "AA-_", "AAEC\n/+8=", "AAEC /+8="};
    const std::string good = File(kId, "AQ==");
    const std::string head = "kivupdate-signature: 1\nscheme: RSA-PSS-SHA256\n";
    const std::string upperId = "94A662D85F42474E14AC3E06F3546CA726308255D5330BFD05C4F91C5AC84126";
    std::vector<std::string> refused = {
        good + "\n",
        good.substr(0, good.size() - 1),
        " " + good,
        File(kId.substr(1), "AQ=="),
        File(kId + "0", "AQ=="),
        File(upperId, "AQ=="),
        File("g" + kId.substr(1), "AQ=="),
        "kivupdate-signature: 2\nscheme: RSA-PSS-SHA256\nkey-id: " + kId + "\nsignature: AQ==\n",
        "kivupdate-signature: 1\nscheme: RSA-PSS-SHA512\nkey-id: " + kId + "\nsignature: AQ==\n",
        "kivupdate-signature: 1\r\nscheme: RSA-PSS-SHA256\r\nkey-id: " + kId +
            "\r\nsignature: AQ==\r\n",
        "kivupdate-signature: 1\nkey-id: " + kId + "\nsignature: AQ==\n",
        head + "signature: AQ==\n",
        head + "key-id: " + kId + "\n",
        "",
    };
    for (const std::string& value : base64)
        refused.push_back(File(kId, value));
    FOR_EACH_CASE(text, refused) {
        UpdateSignature signature;
        memset(&signature, 0x5a, sizeof signature);
        EXPECT_EQ(0, UpdateSignatureParse(text.data(), text.size(), &signature));
        EXPECT_EQ(0u, signature.value_size);
    }
}

// Writing gives the one text that reads back to the same signature, in any buffer that
// holds it and its NUL, and nothing in a smaller one.
TEST(UpdateSignature, WritesWhatItReads) {
    UpdateSignature signature;
    memset(&signature, 0, sizeof signature);
    for (size_t i = 0; i < sizeof signature.key_id; ++i)
        signature.key_id[i] = static_cast<uint8_t>(0xf0 ^ i * 7);
    for (size_t size : {size_t{1}, size_t{2}, size_t{3}, size_t{256}, kUpdateSignatureMaxSize}) {
        SCOPED_TRACE(size);
        signature.value_size = size;
        for (size_t i = 0; i < size; ++i)
            signature.value[i] = static_cast<uint8_t>(i * 131 + size);
        char text[kUpdateSignatureFileMax];
        size_t length = UpdateSignatureFormat(signature, text, sizeof text);
        ASSERT_GT(length, 0u);
        EXPECT_EQ(strlen(text), length);
        UpdateSignature back;
        ASSERT_EQ(1, UpdateSignatureParse(text, length, &back));
        EXPECT_EQ(0, memcmp(&signature, &back, sizeof back));
        char exact[kUpdateSignatureFileMax];
        memset(exact, '#', sizeof exact);
        EXPECT_EQ(length, UpdateSignatureFormat(signature, exact, length + 1));
        EXPECT_EQ(0u, UpdateSignatureFormat(signature, exact, length));
    }
    signature.value_size = 0;
    char text[kUpdateSignatureFileMax];
    EXPECT_EQ(0u, UpdateSignatureFormat(signature, text, sizeof text));
    signature.value_size = kUpdateSignatureMaxSize + 1;
    EXPECT_EQ(0u, UpdateSignatureFormat(signature, text, sizeof text));
}

} // namespace
