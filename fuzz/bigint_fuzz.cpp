// The multi-precision arithmetic against OpenSSL's BN functions (libcrypto is linked into
// this harness only). Byte 0: the operation (below); byte 1, bit 0: exponentiations on the
// portable code instead of the engine the processor allows; then three operands a, b and
// m, each a little-endian 2-byte length (capped at 1,024 bytes, so that moduli reach 8,192
// bits; the exponent of an exponentiation at 64 bytes and the operands of inverse and gcd
// at 512, whose fixed step counts make long ones slow) and that many big-endian bytes,
// zeros past the input's end.
// Every result must equal OpenSSL's, and sizes must follow the operands' sizes:
//   0 add, subtract, compare    1 multiply, square     2 both divisions
//   3 shifts by m's low bits    4 modular exponentiation, secret and public (odd m >= 3)
//   5 inverse modulo m and gcd  6 bytes out and back, bit length
#include "crypto/BigInt.h"
#include "crypto/Montgomery.h"

#include "fuzz/FuzzSupport.h"

#include <openssl/bn.h>

#include <cctype>
#include <string>

namespace {

struct Operand {
    BigInt value;
    BIGNUM* bn;
    std::string bytes;
};

void Read(FuzzInput& input, Operand* out, size_t cap) {
    size_t length = static_cast<size_t>(input.Number(2));
    if (length > cap)
        length = cap;
    out->bytes = input.Bytes(length);
    out->bytes.resize(length, '\0');
    const auto* data = reinterpret_cast<const uint8_t*>(out->bytes.data());
    FUZZ_CHECK(BigIntFromBytes(&out->value, data, length) == 1);
    FUZZ_CHECK(out->value.size == (length == 0 ? 1 : (length + 7) / 8));
    out->bn = BN_bin2bn(data, static_cast<int>(length), nullptr);
}

std::string BnHex(const BIGNUM* a) {
    char* text = BN_bn2hex(a);
    std::string hex = text;
    OPENSSL_free(text);
    for (char& c : hex)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    const size_t first = hex.find_first_not_of('0');
    return first == std::string::npos ? "0" : hex.substr(first);
}

std::string Hex(const BigInt& a) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (size_t i = a.size; i-- > 0;)
        for (int shift = 60; shift >= 0; shift -= 4)
            hex += digits[(a.limb[i] >> shift) & 15];
    const size_t first = hex.find_first_not_of('0');
    return first == std::string::npos ? "0" : hex.substr(first);
}

#define SAME(ours, theirs) FUZZ_CHECK(Hex(ours) == BnHex(theirs))

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const unsigned op = input.Byte() % 7;
    const unsigned flags = input.Byte();
    Operand a, b, m;
    Read(input, &a, op == 5 ? 512 : 1024);
    Read(input, &b, op == 4 ? 64 : 1024);
    Read(input, &m, op == 5 ? 512 : 1024);
    BN_CTX* ctx = BN_CTX_new();
    BIGNUM* want = BN_new();
    BIGNUM* rest = BN_new();
    BigInt r, q;
    switch (op) {
    case 0: {
        FUZZ_CHECK(BigIntAdd(&r, &a.value, &b.value) == 1);
        BN_add(want, a.bn, b.bn);
        SAME(r, want);
        const int order = BN_cmp(a.bn, b.bn);
        FUZZ_CHECK(BigIntCompare(&a.value, &b.value) == (order > 0) - (order < 0));
        FUZZ_CHECK(BigIntSub(&r, &a.value, &b.value) == (order >= 0 ? 1 : 0));
        if (order >= 0) {
            BN_sub(want, a.bn, b.bn);
            SAME(r, want);
        }
        break;
    }
    case 1:
        FUZZ_CHECK(BigIntMul(&r, &a.value, &b.value) == 1);
        FUZZ_CHECK(r.size == a.value.size + b.value.size);
        BN_mul(want, a.bn, b.bn, ctx);
        SAME(r, want);
        FUZZ_CHECK(BigIntSquare(&r, &a.value) == 1);
        BN_sqr(want, a.bn, ctx);
        SAME(r, want);
        break;
    case 2:
        if (BN_is_zero(b.bn)) {
            FUZZ_CHECK(BigIntDivRem(&q, &r, &a.value, &b.value) == 0);
            FUZZ_CHECK(BigIntDivRemSecret(&q, &r, &a.value, &b.value) == 0);
            break;
        }
        BN_div(want, rest, a.bn, b.bn, ctx);
        FUZZ_CHECK(BigIntDivRem(&q, &r, &a.value, &b.value) == 1);
        SAME(q, want);
        SAME(r, rest);
        if (a.value.size <= 32) { // bit-serial: kept short for speed
            FUZZ_CHECK(BigIntDivRemSecret(&q, &r, &a.value, &b.value) == 1);
            SAME(q, want);
            SAME(r, rest);
        }
        break;
    case 3: {
        const size_t bits = m.bytes.empty() ? 0 : static_cast<uint8_t>(m.bytes.back()) * 3u;
        FUZZ_CHECK(BigIntShiftLeft(&r, &a.value, bits) == 1);
        BN_lshift(want, a.bn, static_cast<int>(bits));
        SAME(r, want);
        BigIntShiftRight(&r, &a.value, bits);
        BN_rshift(want, a.bn, static_cast<int>(bits));
        SAME(r, want);
        break;
    }
    case 4: {
        MontgomeryUsePortable(flags & 1);
        // Odd moduli from 3 to 8,192 bits.
        const bool usable = BN_is_odd(m.bn) && !BN_is_one(m.bn) &&
                            BN_num_bits(m.bn) <= static_cast<int>(kBigIntMaxModulusBits);
        const int ok = BigIntModExp(&r, &a.value, &b.value, &m.value);
        FUZZ_CHECK(ok == (usable ? 1 : 0));
        if (ok == 1) {
            BN_mod_exp(want, a.bn, b.bn, m.bn, ctx);
            SAME(r, want);
            FUZZ_CHECK(r.size == m.value.size);
            FUZZ_CHECK(BigIntModExpPublic(&r, &a.value, &b.value, &m.value) == 1);
            SAME(r, want);
        }
        MontgomeryUsePortable(0);
        break;
    }
    case 5: {
        BigIntGcd(&r, &a.value, &m.value);
        BN_gcd(want, a.bn, m.bn, ctx);
        SAME(r, want);
        const bool coprime = BN_is_one(want);
        // Moduli above 1: odd ones with any a, even ones with an odd a.
        const bool takes = BN_num_bits(m.bn) > 1 && (BN_is_odd(m.bn) || BN_is_odd(a.bn));
        const int ok = BigIntModInverse(&r, &a.value, &m.value);
        if (!takes || !coprime) {
            FUZZ_CHECK(ok == 0);
            break;
        }
        FUZZ_CHECK(ok == 1);
        FUZZ_CHECK(BN_mod_inverse(want, a.bn, m.bn, ctx) != nullptr);
        SAME(r, want);
        break;
    }
    default: {
        std::string out(a.bytes.size() + 1, '\x5a');
        auto* buffer = reinterpret_cast<uint8_t*>(&out[0]);
        FUZZ_CHECK(BigIntToBytes(&a.value, buffer, a.bytes.size()) == 1);
        FUZZ_CHECK(out.compare(0, a.bytes.size(), a.bytes) == 0 && out.back() == '\x5a');
        const size_t bits = static_cast<size_t>(BN_num_bits(a.bn));
        FUZZ_CHECK(BigIntBitLength(&a.value) == bits);
        FUZZ_CHECK(BigIntToBytes(&a.value, buffer, (bits + 7) / 8) == 1);
        FUZZ_CHECK(bits == 0 || BigIntToBytes(&a.value, buffer, (bits + 7) / 8 - 1) == 0);
        break;
    }
    }
    BN_free(a.bn);
    BN_free(b.bn);
    BN_free(m.bn);
    BN_free(want);
    BN_free(rest);
    BN_CTX_free(ctx);
    return 0;
}
