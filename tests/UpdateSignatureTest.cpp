#include "update/UpdateSignature.h"
#include "TestHelpers.h"

#include <cstring>
#include <functional>

namespace {

const std::string kId = "94a662d85f42474e14ac3e06f3546ca726308255d5330bfd05c4f91c5ac84126";

std::string File(const std::string& id, const std::string& base64) {
    return "kivupdate-signature: 1\nscheme: RSA-PSS-SHA256\nkey-id: " + id +
           "\nsignature: " + base64 + "\n";
}

std::string Hex(const uint8_t* bytes, size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < size; ++i)
        text += std::string{kDigits[bytes[i] >> 4], kDigits[bytes[i] & 15]};
    return text;
}

// Each text read as a signature file: its decoded bytes in hex, or "refused".
TEST(UpdateSignature, ReadsOnlyTheExactForm) {
    const std::string good = File(kId, "AAEC/+8=");
    // 1,023 zero bytes in whole groups; with "AA==" the largest modulus's 1,024.
    const std::string largest((kUpdateSignatureMaxSize + 2) / 3 * 4 - 4, 'A');
    const std::string large(largest.size() + 8, 'A'); // 1,029 bytes
    const struct {
        std::string text;
        std::string bytes; // hex of the signature, or "refused"
    } cases[] = {
        {good, "000102ffef"},
        {File(kId, "AQ=="), "01"},
        {File(kId, "AAEC"), "000102"},
        {File(kId, largest + "AA=="), std::string(2 * kUpdateSignatureMaxSize, '0')},
        {File(kId, large), "refused"}, // more than the largest modulus
        {File(kId, ""), "refused"},
        {File(kId, "AQ="), "refused"},        // not whole groups
        {File(kId, "AR=="), "refused"},       // fill bits set: "AQ==" is the one spelling of 01
        {File(kId, "AAF="), "refused"},       // likewise for two bytes
        {File(kId, "A=AA"), "refused"},       // fill inside
        {File(kId, "AQ==AQ=="), "refused"},   // fill before the end
        {File(kId, "AA-_"), "refused"},       // the URL alphabet
        {File(kId, "AAEC\n/+8="), "refused"}, // a line break inside
        {File(kId, "AAEC /+8="), "refused"},
        {File(kId, "AQ==") + "\n", "refused"}, // anything after the last line
        {good.substr(0, good.size() - 1), "refused"},
        {" " + good, "refused"},
        {File(kId.substr(1), "AQ=="), "refused"},
        {File(kId + "0", "AQ=="), "refused"},
        {File("94A662D85F42474E14AC3E06F3546CA726308255D5330BFD05C4F91C5AC84126", "AQ=="),
         "refused"},
        {File("g" + kId.substr(1), "AQ=="), "refused"},
        {"kivupdate-signature: 2\nscheme: RSA-PSS-SHA256\nkey-id: " + kId + "\nsignature: AQ==\n",
         "refused"},
        {"kivupdate-signature: 1\nscheme: RSA-PSS-SHA512\nkey-id: " + kId + "\nsignature: AQ==\n",
         "refused"},
        {"kivupdate-signature: 1\r\nscheme: RSA-PSS-SHA256\r\nkey-id: " + kId +
             "\r\nsignature: AQ==\r\n",
         "refused"},
        {"kivupdate-signature: 1\nkey-id: " + kId + "\nsignature: AQ==\n", "refused"},
        {"kivupdate-signature: 1\nscheme: RSA-PSS-SHA256\nsignature: AQ==\n", "refused"},
        {"kivupdate-signature: 1\nscheme: RSA-PSS-SHA256\nkey-id: " + kId + "\n", "refused"},
        {"", "refused"},
    };
    FOR_EACH_CASE(c, cases) {
        UpdateSignature signature;
        memset(&signature, 0x5a, sizeof signature);
        int ok = UpdateSignatureParse(c.text.data(), c.text.size(), &signature);
        EXPECT_EQ(c.bytes, ok ? Hex(signature.value, signature.value_size) : "refused");
        if (ok) {
            EXPECT_EQ(kId, Hex(signature.key_id, sizeof signature.key_id));
        } else {
            EXPECT_EQ(0u, signature.value_size); // nothing half-read is left
        }
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
