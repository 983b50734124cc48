// Montgomery contexts, entering and leaving the form, and exponentiation (see Montgomery.h).
#include "crypto/Montgomery.h"

#include "crypto/BigIntLimbs.h"
#include "crypto/ConstantTime.h"
#include "crypto/MontgomeryIfma.h"

#include <atomic>
#include <cstdlib>

namespace {

// Set by MontgomeryUsePortable.
std::atomic<int> g_forcePortable{0};

// Whether exponentiation modulo ctx's modulus goes to the vector engine.
bool UseVectors(const Montgomery* ctx) {
    return ctx->digits != 0 && g_forcePortable.load(std::memory_order_relaxed) == 0;
}

// Heap memory for `count` limbs that is wiped before it is freed: exponentiation tables
// hold powers of values derived from secrets.
struct WipedLimbs {
    uint64_t* data = nullptr;
    size_t count = 0;
    explicit WipedLimbs(size_t n)
        : data(static_cast<uint64_t*>(malloc(n * sizeof(uint64_t)))), count(n) {}
    ~WipedLimbs() {
        if (data != nullptr) {
            CryptoWipe(data, count * sizeof(uint64_t));
            free(data);
        }
    }
    WipedLimbs(const WipedLimbs&) = delete;
    WipedLimbs& operator=(const WipedLimbs&) = delete;
};

// Bits `at` to `at + width` of e (zeros past its end); `at` is public.
uint64_t ExponentBits(const uint64_t* e, size_t eSize, size_t at, unsigned width) {
    const size_t limb = at / 64, shift = at % 64;
    uint64_t bits = limb < eSize ? e[limb] >> shift : 0;
    if (shift != 0 && shift + width > 64 && limb + 1 < eSize)
        bits |= e[limb + 1] << (64 - shift);
    return bits & ((uint64_t{1} << width) - 1);
}

// Window of the fixed-window exponentiation for an exponent of `bits`: the width that
// minimises squarings, multiplications and table building, the table reads counted in.
unsigned SecretWindow(size_t bits) {
    if (bits > 1536)
        return 6;
    if (bits > 512)
        return 5;
    if (bits > 128)
        return 4;
    return bits > 32 ? 3 : 1;
}

// r = table[index] of `entries` entries of n limbs, every entry read.
void Lookup(uint64_t* r, const uint64_t* table, size_t entries, size_t n, uint64_t index) {
    LimbsZero(r, n);
    for (size_t i = 0; i < entries; ++i) {
        const uint64_t mask = LimbMaskEqual(i, index);
        for (size_t j = 0; j < n; ++j)
            r[j] |= table[i * n + j] & mask;
    }
}

} // namespace

int MontgomeryInit(Montgomery* ctx, const uint64_t* m, size_t size) {
    while (size > 1 && m[size - 1] == 0)
        --size;
    if (size == 0 || size > kBigIntMaxModulusLimbs || (m[0] & 1) == 0 || (size == 1 && m[0] < 3))
        return 0;
    ctx->size = size;
    LimbsCopy(ctx->m, m, size);
    ctx->m0inv = LimbNegInverse(m[0]);
    ctx->bits = static_cast<uint32_t>(64 * size - __builtin_clzll(m[size - 1]));

    // R mod m: 2^(bits - 1) is below m (m is odd and above it); doubling it modulo m
    // reaches R = 2^(64 size).
    uint64_t* x = ctx->one;
    LimbsZero(x, size);
    x[(ctx->bits - 1) / 64] = uint64_t{1} << ((ctx->bits - 1) % 64);
    for (size_t i = ctx->bits - 1; i < 64 * size; ++i) {
        const uint64_t carry = LimbsAdd(x, x, x, size);
        LimbsSubIf(LimbMaskBit(carry) | ~LimbsLess(x, m, size), x, m, size);
    }
    // R^2 mod m is R in Montgomery form: 2^(64 size) raised from the form of 1 by squaring
    // (doubling the exponent) and doubling (adding one), over the bits of 64 size.
    uint64_t* y = ctx->rr;
    LimbsCopy(y, x, size);
    const uint64_t exponent = 64 * size;
    for (int bit = 63 - __builtin_clzll(exponent); bit >= 0; --bit) {
        MontgomerySquare(ctx, y, y);
        if ((exponent >> bit) & 1)
            LimbsModAdd(y, y, y, m, size);
    }
    IfmaPrepare(ctx);
    return 1;
}

void MontgomeryEnter(const Montgomery* ctx, uint64_t* r, const uint64_t* a, size_t aSize) {
    const size_t n = ctx->size;
    uint64_t chunk[kBigIntMaxModulusLimbs];
    uint64_t sum[kBigIntMaxModulusLimbs];
    // a = sum of chunks C_j R^j; Horner from the top chunk, each chunk entered as C_j R.
    size_t chunks = (aSize + n - 1) / n;
    if (chunks == 0)
        chunks = 1;
    LimbsZero(sum, n);
    for (size_t j = chunks; j-- > 0;) {
        const size_t from = j * n;
        const size_t take = aSize > from ? (aSize - from < n ? aSize - from : n) : 0;
        LimbsCopyPad(chunk, n, a + from, take);
        MontgomeryMul(ctx, chunk, chunk, ctx->rr);
        if (j + 1 < chunks)
            MontgomeryMul(ctx, sum, sum, ctx->rr);
        LimbsModAdd(sum, sum, chunk, ctx->m, n);
    }
    LimbsCopy(r, sum, n);
    CryptoWipe(chunk, sizeof chunk);
    CryptoWipe(sum, sizeof sum);
}

void MontgomeryLeave(const Montgomery* ctx, uint64_t* r, const uint64_t* a) {
    uint64_t unit[kBigIntMaxModulusLimbs];
    LimbsZero(unit, ctx->size);
    unit[0] = 1;
    MontgomeryMul(ctx, r, a, unit);
}

int MontgomeryExp(const Montgomery* ctx, uint64_t* r, const uint64_t* a, const uint64_t* e,
                  size_t eSize) {
    const size_t n = ctx->size;
    if (eSize == 0) {
        // An empty exponent: a^0 = 1, m being at least 3.
        LimbsZero(r, n);
        r[0] = 1;
        return 1;
    }
    if (UseVectors(ctx))
        return IfmaExp(ctx, r, a, e, eSize, true);
    const size_t bits = 64 * eSize;
    const unsigned w = SecretWindow(bits);
    const size_t entries = size_t{1} << w;
    WipedLimbs table(entries * n + 2 * n);
    if (table.data == nullptr)
        return 0;
    uint64_t* acc = table.data + entries * n;
    uint64_t* pick = acc + n;
    // table[i] = a^i in the form.
    LimbsCopy(table.data, ctx->one, n);
    MontgomeryMul(ctx, table.data + n, a, ctx->rr);
    for (size_t i = 2; i < entries; ++i)
        MontgomeryMul(ctx, table.data + i * n, table.data + (i - 1) * n, table.data + n);

    // Windows from the top, the first one narrower when w does not divide the length.
    // Every window multiplies, by 1 when its bits are zero, and every lookup reads the
    // whole table.
    const size_t first = bits % w == 0 ? w : bits % w;
    size_t at = bits - first;
    Lookup(acc, table.data, entries, n, ExponentBits(e, eSize, at, static_cast<unsigned>(first)));
    while (at > 0) {
        at -= w;
        for (unsigned s = 0; s < w; ++s)
            MontgomerySquare(ctx, acc, acc);
        Lookup(pick, table.data, entries, n, ExponentBits(e, eSize, at, w));
        MontgomeryMul(ctx, acc, acc, pick);
    }
    MontgomeryLeave(ctx, r, acc);
    return 1;
}

int MontgomeryExpPublic(const Montgomery* ctx, uint64_t* r, const uint64_t* a, const uint64_t* e,
                        size_t eSize) {
    if (UseVectors(ctx))
        return IfmaExp(ctx, r, a, e, eSize, false);
    const size_t n = ctx->size;
    size_t bits = 64 * eSize;
    while (bits > 0 && ((e[(bits - 1) / 64] >> ((bits - 1) % 64)) & 1) == 0)
        --bits;
    if (bits == 0) {
        LimbsZero(r, n);
        r[0] = 1;
        // 1 mod m, m being at least 3.
        return 1;
    }
    uint64_t base[kBigIntMaxModulusLimbs];
    uint64_t acc[kBigIntMaxModulusLimbs];
    MontgomeryMul(ctx, base, a, ctx->rr);
    if (bits <= 64) {
        // Short exponents (65537 above all): square and multiply, left to right.
        LimbsCopy(acc, base, n);
        for (size_t i = bits - 1; i-- > 0;) {
            MontgomerySquare(ctx, acc, acc);
            if ((e[i / 64] >> (i % 64)) & 1)
                MontgomeryMul(ctx, acc, acc, base);
        }
    } else {
        // Sliding window over odd powers base^1, base^3, ..., base^(2^w - 1).
        const unsigned w = bits > 512 ? 5 : 4;
        WipedLimbs odd((size_t{1} << (w - 1)) * n);
        if (odd.data == nullptr)
            return 0;
        uint64_t* square = acc;
        MontgomerySquare(ctx, square, base);
        LimbsCopy(odd.data, base, n);
        for (size_t i = 1; i < (size_t{1} << (w - 1)); ++i)
            MontgomeryMul(ctx, odd.data + i * n, odd.data + (i - 1) * n, square);
        LimbsCopy(acc, ctx->one, n);
        size_t i = bits;
        while (i > 0) {
            if (((e[(i - 1) / 64] >> ((i - 1) % 64)) & 1) == 0) {
                MontgomerySquare(ctx, acc, acc);
                --i;
                continue;
            }
            // The longest window of at most w bits from bit i - 1 down that ends in a 1.
            size_t low = i > w ? i - w : 0;
            while (((e[low / 64] >> (low % 64)) & 1) == 0)
                ++low;
            const size_t width = i - low;
            const uint64_t value = ExponentBits(e, eSize, low, static_cast<unsigned>(width));
            for (size_t s = 0; s < width; ++s)
                MontgomerySquare(ctx, acc, acc);
            MontgomeryMul(ctx, acc, acc, odd.data + (value >> 1) * n);
            i = low;
        }
    }
    MontgomeryLeave(ctx, r, acc);
    CryptoWipe(base, sizeof base);
    CryptoWipe(acc, sizeof acc);
    return 1;
}

int MontgomeryExp2(const Montgomery* c1, uint64_t* r1, const uint64_t* a1, const uint64_t* e1,
                   size_t e1Size, const Montgomery* c2, uint64_t* r2, const uint64_t* a2,
                   const uint64_t* e2, size_t e2Size) {
    if (UseVectors(c1) && UseVectors(c2) && c1->digits == c2->digits && e1Size == e2Size &&
        e1Size != 0 && IfmaExp2(c1, r1, a1, e1, c2, r2, a2, e2, e1Size) != 0)
        return 1;
    return MontgomeryExp(c1, r1, a1, e1, e1Size) != 0 && MontgomeryExp(c2, r2, a2, e2, e2Size) != 0
               ? 1
               : 0;
}

const char* MontgomeryEngineName(const Montgomery* ctx) {
    if (UseVectors(ctx))
        return "AVX-512 IFMA, 52-bit digits";
    return ctx->size == 16 || ctx->size == 32 ? "64-bit limbs, unrolled for its size"
                                              : "64-bit limbs";
}

void MontgomeryUsePortable(int portable) {
    g_forcePortable.store(portable != 0 ? 1 : 0, std::memory_order_relaxed);
}
