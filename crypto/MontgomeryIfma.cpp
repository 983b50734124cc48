// The AVX-512 IFMA engine (see MontgomeryIfma.h).
//
// Almost-Montgomery multiplication in radix 2^52: for each digit b_i of b, the vector
// accumulator X takes the low halves of a b_i, then of m y with y chosen from X's lowest
// lane to make that lane a multiple of 2^52; X moves down one lane (that lane's carry
// going along), then takes the high halves of both products, which belong one digit up.
// Lanes are normalised to 52-bit digits once, after the last digit. With inputs below 2m
// and R = 2^(52 digits) > 4m the result stays below 2m, so results feed the next product
// without a subtraction; one conditional subtraction ends an exponentiation.
//
// Each step waits on the one before (the lowest lane decides y), about twenty cycles, so
// the two exponentiations of an RSA private operation run interleaved in one loop.
//
// Constant time as the portable code: the window's table entry is chosen by comparing
// every index with the secret one into a mask register and blending; nothing branches on
// a value.
#include "crypto/MontgomeryIfma.h"

#include "crypto/BigIntLimbs.h"
#include "crypto/ConstantTime.h"

#include <cstdlib>

#if defined(__x86_64__)
// GCC 12's AVX-512 headers build unmasked forms from masked ones over an "undefined"
// register, which its flow analysis then reports as uninitialised (a false positive).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <cpuid.h>
#include <immintrin.h>
#define KIV_IFMA __attribute__((target("avx512f,avx512vl,avx512bw,avx512ifma")))
#endif

namespace {

constexpr uint64_t kDigitMask = (uint64_t{1} << 52) - 1;
constexpr size_t kMaxVectors = kMontgomeryMaxDigits / 8;
// Below this the portable code is as fast.
constexpr uint32_t kEngineMinBits = 512;

// Digit j of a (n limbs): bits 52 j to 52 j + 51.
void ToDigits(uint64_t* d, size_t digits, const uint64_t* a, size_t n) {
    for (size_t j = 0; j < digits; ++j) {
        const size_t at = 52 * j, limb = at / 64, shift = at % 64;
        uint64_t v = limb < n ? a[limb] >> shift : 0;
        if (shift > 12 && limb + 1 < n)
            v |= a[limb + 1] << (64 - shift);
        d[j] = v & kDigitMask;
    }
}

// n limbs from digits below 2^52.
void FromDigits(uint64_t* a, size_t n, const uint64_t* d, size_t digits) {
    DoubleLimb window = 0;
    unsigned held = 0;
    size_t written = 0;
    for (size_t j = 0; j < digits && written < n; ++j) {
        window |= static_cast<DoubleLimb>(d[j]) << held;
        held += 52;
        if (held >= 64) {
            a[written++] = static_cast<uint64_t>(window);
            window >>= 64;
            held -= 64;
        }
    }
    while (written < n) {
        a[written++] = static_cast<uint64_t>(window);
        window >>= 64;
    }
}

// r = a - m when a >= m, else a (digits), without a branch.
void SubtractIfAbove(uint64_t* a, const uint64_t* m, size_t digits) {
    uint64_t d[kMontgomeryMaxDigits];
    uint64_t borrow = 0;
    for (size_t j = 0; j < digits; ++j) {
        const uint64_t v = a[j] - m[j] - borrow;
        d[j] = v & kDigitMask;
        borrow = v >> 63;
    }
    const uint64_t keep = LimbMaskBit(borrow);
    for (size_t j = 0; j < digits; ++j)
        a[j] = (a[j] & keep) | (d[j] & ~keep);
}

// Heap memory of `count` digits aligned to 64 bytes, wiped before it is freed.
struct DigitTable {
    void* block;
    uint64_t* data;
    size_t count;
    explicit DigitTable(size_t n) : block(malloc(8 * n + 64)), data(nullptr), count(n) {
        if (block != nullptr)
            data = reinterpret_cast<uint64_t*>((reinterpret_cast<uintptr_t>(block) + 63) &
                                               ~uintptr_t{63});
    }
    ~DigitTable() {
        if (block != nullptr) {
            CryptoWipe(block, 8 * count + 64);
            free(block);
        }
    }
    DigitTable(const DigitTable&) = delete;
    DigitTable& operator=(const DigitTable&) = delete;
};

// Window width for an exponent of `bits` bits.
unsigned Window(size_t bits) {
    if (bits > 1536)
        return 6;
    if (bits > 512)
        return 5;
    return bits > 128 ? 4 : 3;
}

// Bits at .. at + width of e (n limbs); positions are public.
uint64_t WindowBits(const uint64_t* e, size_t n, size_t at, unsigned width) {
    const size_t limb = at / 64, shift = at % 64;
    uint64_t bits = limb < n ? e[limb] >> shift : 0;
    if (shift != 0 && shift + width > 64 && limb + 1 < n)
        bits |= e[limb + 1] << (64 - shift);
    return bits & ((uint64_t{1} << width) - 1);
}

#if defined(__x86_64__)

__attribute__((target("xsave"))) uint64_t Xcr0() {
    return _xgetbv(0);
}

int AskCpu() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    // OSXSAVE, then the operating system's XCR0: SSE, AVX, opmask and both halves of the
    // 512-bit register file saved.
    if (!__get_cpuid(1, &a, &b, &c, &d) || ((c >> 27) & 1) == 0 || (Xcr0() & 0xe6) != 0xe6)
        return 0;
    if (__get_cpuid_max(0, nullptr) < 7)
        return 0;
    __cpuid_count(7, 0, a, b, c, d);
    const unsigned need = (1u << 16) | (1u << 21) | (1u << 30) | (1u << 31); // F IFMA BW VL
    return (b & need) == need;
}

template <int V>
KIV_IFMA inline void Load(__m512i* out, const uint64_t* digits) {
#pragma GCC unroll 32
    for (int v = 0; v < V; ++v)
        out[v] = _mm512_loadu_si512(digits + 8 * v);
}

// Lanes to 52-bit digits, carrying upwards.
template <int V>
KIV_IFMA inline void Normalise(uint64_t* r, const __m512i* x) {
    uint64_t t[8 * V];
#pragma GCC unroll 32
    for (int v = 0; v < V; ++v)
        _mm512_storeu_si512(t + 8 * v, x[v]);
    uint64_t carry = 0;
    for (int j = 0; j < 8 * V; ++j) {
        const uint64_t v = t[j] + carry;
        r[j] = v & kDigitMask;
        carry = v >> 52;
    }
}

// Digit i of b into X for one operand set.
template <int V>
KIV_IFMA inline void Step(__m512i* x, const __m512i* a, const __m512i* m, uint64_t bi, uint64_t m0,
                          uint64_t k0) {
    // The products by b_i do not wait for X: only their sums do, one addition each.
    const __m512i b = _mm512_set1_epi64(static_cast<long long>(bi));
    const __m512i zero = _mm512_setzero_si512();
    __m512i high[V];
#pragma GCC unroll 32
    for (int v = 0; v < V; ++v) {
        high[v] = _mm512_madd52hi_epu64(zero, a[v], b);
        x[v] = _mm512_add_epi64(x[v], _mm512_madd52lo_epu64(zero, a[v], b));
    }
    const uint64_t x0 = static_cast<uint64_t>(_mm_cvtsi128_si64(_mm512_castsi512_si128(x[0])));
    const uint64_t y = (x0 * k0) & kDigitMask;
    const __m512i yv = _mm512_set1_epi64(static_cast<long long>(y));
#pragma GCC unroll 32
    for (int v = 0; v < V; ++v) {
        x[v] = _mm512_madd52lo_epu64(x[v], m[v], yv);
        high[v] = _mm512_madd52hi_epu64(high[v], m[v], yv);
    }
    // The lowest lane is now a multiple of 2^52; its carry goes down with the shift.
    const uint64_t carry = (x0 + ((m0 * y) & kDigitMask)) >> 52;
#pragma GCC unroll 32
    for (int v = 0; v + 1 < V; ++v)
        x[v] = _mm512_alignr_epi64(x[v + 1], x[v], 1);
    x[V - 1] = _mm512_alignr_epi64(zero, x[V - 1], 1);
    x[0] = _mm512_mask_add_epi64(x[0], 1, x[0], _mm512_set1_epi64(static_cast<long long>(carry)));
#pragma GCC unroll 32
    for (int v = 0; v < V; ++v)
        x[v] = _mm512_add_epi64(x[v], high[v]);
}

// r = a b R^-1 mod m (below 2m) for a, b below 2m; r may be a or b.
template <int V>
KIV_IFMA void Amm(uint64_t* r, const uint64_t* a, const uint64_t* b, const uint64_t* m, uint64_t k0,
                  size_t digits) {
    __m512i va[V], vm[V], x[V];
    Load<V>(va, a);
    Load<V>(vm, m);
#pragma GCC unroll 32
    for (int v = 0; v < V; ++v)
        x[v] = _mm512_setzero_si512();
    for (size_t i = 0; i < digits; ++i)
        Step<V>(x, va, vm, b[i], m[0], k0);
    Normalise<V>(r, x);
}

// Two independent products in one loop.
template <int V>
KIV_IFMA void Amm2(uint64_t* r1, const uint64_t* a1, const uint64_t* b1, const uint64_t* m1,
                   uint64_t k1, uint64_t* r2, const uint64_t* a2, const uint64_t* b2,
                   const uint64_t* m2, uint64_t k2, size_t digits) {
    __m512i va1[V], vm1[V], x1[V], va2[V], vm2[V], x2[V];
    Load<V>(va1, a1);
    Load<V>(vm1, m1);
    Load<V>(va2, a2);
    Load<V>(vm2, m2);
#pragma GCC unroll 32
    for (int v = 0; v < V; ++v)
        x1[v] = x2[v] = _mm512_setzero_si512();
    for (size_t i = 0; i < digits; ++i) {
        Step<V>(x1, va1, vm1, b1[i], m1[0], k1);
        Step<V>(x2, va2, vm2, b2[i], m2[0], k2);
    }
    Normalise<V>(r1, x1);
    Normalise<V>(r2, x2);
}

// r = table[index] (entries of 8 V digits): every entry is loaded whole and blended in
// under a mask that is set for the wanted one only.
template <int V>
KIV_IFMA void Lookup(uint64_t* r, const uint64_t* table, size_t entries, uint64_t index) {
    __m512i pick[V];
#pragma GCC unroll 32
    for (int v = 0; v < V; ++v)
        pick[v] = _mm512_setzero_si512();
    const __m512i wanted = _mm512_set1_epi64(static_cast<long long>(index));
    for (size_t i = 0; i < entries; ++i) {
        const __mmask8 hit =
            _mm512_cmpeq_epi64_mask(_mm512_set1_epi64(static_cast<long long>(i)), wanted);
#pragma GCC unroll 32
        for (int v = 0; v < V; ++v)
            pick[v] =
                _mm512_mask_mov_epi64(pick[v], hit, _mm512_loadu_si512(table + (i * V + v) * 8));
    }
#pragma GCC unroll 32
    for (int v = 0; v < V; ++v)
        _mm512_storeu_si512(r + 8 * v, pick[v]);
}

// a R mod m (below 2m) from a below m in limbs.
template <int V>
KIV_IFMA void Enter(const Montgomery* ctx, uint64_t* r, const uint64_t* a) {
    uint64_t d[8 * V];
    ToDigits(d, 8 * V, a, ctx->size);
    Amm<V>(r, d, ctx->digitRR, ctx->digitM, ctx->digitK0, ctx->digits);
    CryptoWipe(d, sizeof d);
}

// Fully reduced limbs of acc R^-1.
template <int V>
KIV_IFMA void Leave(const Montgomery* ctx, uint64_t* r, uint64_t* acc) {
    uint64_t unit[8 * V] = {1};
    Amm<V>(acc, acc, unit, ctx->digitM, ctx->digitK0, ctx->digits);
    SubtractIfAbove(acc, ctx->digitM, 8 * V);
    FromDigits(r, ctx->size, acc, 8 * V);
}

// table[i] = a^i R for i below `entries`; a R given.
template <int V>
KIV_IFMA void BuildTable(const Montgomery* ctx, uint64_t* table, size_t entries,
                         const uint64_t* base) {
    const size_t lanes = 8 * V;
    uint64_t unit[8 * V] = {1};
    // R mod m is 1 in the form.
    Amm<V>(table, ctx->digitRR, unit, ctx->digitM, ctx->digitK0, ctx->digits);
    for (size_t j = 0; j < lanes; ++j)
        table[lanes + j] = base[j];
    for (size_t i = 2; i < entries; ++i)
        Amm<V>(table + i * lanes, table + (i - 1) * lanes, base, ctx->digitM, ctx->digitK0,
               ctx->digits);
}

template <int V>
KIV_IFMA int Exp(const Montgomery* ctx, uint64_t* r, const uint64_t* a, const uint64_t* e,
                 size_t eSize, bool secret) {
    const size_t lanes = 8 * V, digits = ctx->digits;
    const uint64_t* m = ctx->digitM;
    const uint64_t k0 = ctx->digitK0;
    uint64_t base[8 * V], acc[8 * V];
    Enter<V>(ctx, base, a);
    size_t bits = 64 * eSize;
    if (!secret) {
        while (bits > 0 && ((e[(bits - 1) / 64] >> ((bits - 1) % 64)) & 1) == 0)
            --bits;
    }
    int ok = 1;
    if (!secret && bits <= 64) {
        // Short public exponents: square and multiply, left to right.
        if (bits == 0) {
            uint64_t unit[8 * V] = {1};
            Amm<V>(acc, ctx->digitRR, unit, m, k0, digits);
        } else {
            for (size_t j = 0; j < lanes; ++j)
                acc[j] = base[j];
            for (size_t i = bits - 1; i-- > 0;) {
                Amm<V>(acc, acc, acc, m, k0, digits);
                if ((e[i / 64] >> (i % 64)) & 1)
                    Amm<V>(acc, acc, base, m, k0, digits);
            }
        }
    } else {
        const unsigned w = Window(bits);
        const size_t entries = size_t{1} << w;
        DigitTable table(entries * lanes);
        if (table.data == nullptr) {
            ok = 0;
        } else {
            BuildTable<V>(ctx, table.data, entries, base);
            const size_t first = bits % w == 0 ? w : bits % w;
            size_t at = bits - first;
            Lookup<V>(acc, table.data, entries,
                      WindowBits(e, eSize, at, static_cast<unsigned>(first)));
            uint64_t pick[8 * V];
            while (at > 0) {
                at -= w;
                for (unsigned s = 0; s < w; ++s)
                    Amm<V>(acc, acc, acc, m, k0, digits);
                Lookup<V>(pick, table.data, entries, WindowBits(e, eSize, at, w));
                Amm<V>(acc, acc, pick, m, k0, digits);
            }
            CryptoWipe(pick, sizeof pick);
        }
    }
    if (ok != 0)
        Leave<V>(ctx, r, acc);
    CryptoWipe(base, sizeof base);
    CryptoWipe(acc, sizeof acc);
    return ok;
}

template <int V>
KIV_IFMA int Exp2(const Montgomery* c1, uint64_t* r1, const uint64_t* a1, const uint64_t* e1,
                  const Montgomery* c2, uint64_t* r2, const uint64_t* a2, const uint64_t* e2,
                  size_t eSize) {
    const size_t lanes = 8 * V, digits = c1->digits;
    const size_t bits = 64 * eSize;
    const unsigned w = Window(bits);
    const size_t entries = size_t{1} << w;
    DigitTable table(2 * entries * lanes);
    if (table.data == nullptr)
        return 0;
    uint64_t* t1 = table.data;
    uint64_t* t2 = table.data + entries * lanes;
    uint64_t base1[8 * V], base2[8 * V], acc1[8 * V], acc2[8 * V], pick1[8 * V], pick2[8 * V];
    Enter<V>(c1, base1, a1);
    Enter<V>(c2, base2, a2);
    BuildTable<V>(c1, t1, entries, base1);
    BuildTable<V>(c2, t2, entries, base2);
    const size_t first = bits % w == 0 ? w : bits % w;
    size_t at = bits - first;
    Lookup<V>(acc1, t1, entries, WindowBits(e1, eSize, at, static_cast<unsigned>(first)));
    Lookup<V>(acc2, t2, entries, WindowBits(e2, eSize, at, static_cast<unsigned>(first)));
    while (at > 0) {
        at -= w;
        for (unsigned s = 0; s < w; ++s)
            Amm2<V>(acc1, acc1, acc1, c1->digitM, c1->digitK0, acc2, acc2, acc2, c2->digitM,
                    c2->digitK0, digits);
        Lookup<V>(pick1, t1, entries, WindowBits(e1, eSize, at, w));
        Lookup<V>(pick2, t2, entries, WindowBits(e2, eSize, at, w));
        Amm2<V>(acc1, acc1, pick1, c1->digitM, c1->digitK0, acc2, acc2, pick2, c2->digitM,
                c2->digitK0, digits);
    }
    Leave<V>(c1, r1, acc1);
    Leave<V>(c2, r2, acc2);
    CryptoWipe(base1, sizeof base1);
    CryptoWipe(base2, sizeof base2);
    CryptoWipe(acc1, sizeof acc1);
    CryptoWipe(acc2, sizeof acc2);
    CryptoWipe(pick1, sizeof pick1);
    CryptoWipe(pick2, sizeof pick2);
    return 1;
}

// The instantiations by register count, 1 to kMaxVectors.
template <int V>
int ExpBy(size_t vectors, const Montgomery* ctx, uint64_t* r, const uint64_t* a, const uint64_t* e,
          size_t eSize, bool secret) {
    if (vectors == V)
        return Exp<V>(ctx, r, a, e, eSize, secret);
    if constexpr (V < static_cast<int>(kMaxVectors))
        return ExpBy<V + 1>(vectors, ctx, r, a, e, eSize, secret);
    return 0;
}

template <int V>
int Exp2By(size_t vectors, const Montgomery* c1, uint64_t* r1, const uint64_t* a1,
           const uint64_t* e1, const Montgomery* c2, uint64_t* r2, const uint64_t* a2,
           const uint64_t* e2, size_t eSize) {
    if (vectors == V)
        return Exp2<V>(c1, r1, a1, e1, c2, r2, a2, e2, eSize);
    if constexpr (V < static_cast<int>(kMaxVectors))
        return Exp2By<V + 1>(vectors, c1, r1, a1, e1, c2, r2, a2, e2, eSize);
    return 0;
}

#endif // __x86_64__

} // namespace

int IfmaAvailable() {
#if defined(__x86_64__)
    static const int available = AskCpu();
    return available;
#else
    return 0;
#endif
}

void IfmaPrepare(Montgomery* ctx) {
    ctx->digits = 0;
    if (IfmaAvailable() == 0 || ctx->bits < kEngineMinBits)
        return;
    // R = 2^(52 digits) above 4m.
    const size_t digits = (ctx->bits + 2 + 51) / 52;
    if (digits > kMontgomeryMaxDigits)
        return;
    ctx->digitK0 = ctx->m0inv & kDigitMask;
    ToDigits(ctx->digitM, kMontgomeryMaxDigits, ctx->m, ctx->size);
    // R^2 mod m = 2^(104 digits) mod m, raised in the 64-bit form from 1 by squaring and
    // doubling over the exponent's bits, then taken out of that form.
    uint64_t y[kBigIntMaxModulusLimbs];
    LimbsCopy(y, ctx->one, ctx->size);
    const uint64_t exponent = 104 * digits;
    for (int bit = 63 - __builtin_clzll(exponent); bit >= 0; --bit) {
        MontgomerySquare(ctx, y, y);
        if ((exponent >> bit) & 1)
            LimbsModAdd(y, y, y, ctx->m, ctx->size);
    }
    MontgomeryLeave(ctx, y, y);
    ToDigits(ctx->digitRR, kMontgomeryMaxDigits, y, ctx->size);
    ctx->digits = static_cast<uint32_t>(digits);
}

int IfmaExp(const Montgomery* ctx, uint64_t* r, const uint64_t* a, const uint64_t* e, size_t eSize,
            bool secret) {
#if defined(__x86_64__)
    return ExpBy<1>((ctx->digits + 7) / 8, ctx, r, a, e, eSize, secret);
#else
    (void)ctx, (void)r, (void)a, (void)e, (void)eSize, (void)secret;
    return 0;
#endif
}

int IfmaExp2(const Montgomery* c1, uint64_t* r1, const uint64_t* a1, const uint64_t* e1,
             const Montgomery* c2, uint64_t* r2, const uint64_t* a2, const uint64_t* e2,
             size_t eSize) {
#if defined(__x86_64__)
    if (c1->digits != c2->digits)
        return 0;
    return Exp2By<1>((c1->digits + 7) / 8, c1, r1, a1, e1, c2, r2, a2, e2, eSize);
#else
    (void)c1, (void)r1, (void)a1, (void)e1, (void)c2, (void)r2, (void)a2, (void)e2, (void)eSize;
    return 0;
#endif
}
