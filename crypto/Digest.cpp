// The algorithm-independent half of the digests: buffering of partial blocks, the length
// limits, padding, the lookup by name and the run-time choice between the SHA extensions
// and the portable code. The compression functions live in one file per family.
#include "crypto/Digest.h"

#include "crypto/ConstantTime.h"
#include "crypto/DigestBlock.h"

#include <atomic>

#if KIV_X86
#include <cpuid.h>
#endif

namespace {

// Bits of what the processor offers; -1 until asked.
constexpr int kCpuSha = 1;  // SHA extensions with SSSE3 and SSE4.1
constexpr int kCpuAvx2 = 2; // AVX2 with the system saving its registers, and BMI2
std::atomic<int> g_cpu{-1};
// Set by DigestUsePortable.
std::atomic<int> g_forcePortable{0};

const DigestAlgorithm* const kAllDigests[] = {
    &kDigestMd5,    &kDigestSha1,   &kDigestSha224,     &kDigestSha256,
    &kDigestSha384, &kDigestSha512, &kDigestSha512_224, &kDigestSha512_256,
};

} // namespace

// CPUID leaf 7 (sub-leaf 0) EBX bit 29 announces the SHA extensions, bit 5 AVX2 and bit 8
// BMI2; leaf 1 ECX bits 9 and 19 announce SSSE3 and SSE4.1, which the byte shuffles and
// blends around the SHA instructions use. The XMM state needs no operating-system check
// (every 64-bit system saves it); the YMM state does: leaf 1 ECX bit 27 says XGETBV
// works, and XCR0 bits 1 and 2 that the system saves both halves.
static int AskCpu() {
#if KIV_X86
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d))
        return 0;
    const bool ssse3 = (c >> 9) & 1, sse41 = (c >> 19) & 1, osxsave = (c >> 27) & 1;
    bool ymm = false;
    if (osxsave) {
        unsigned low = 0, high = 0;
        __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
        ymm = (low & 6) == 6;
    }
    if (__get_cpuid_max(0, nullptr) < 7)
        return 0;
    __cpuid_count(7, 0, a, b, c, d);
    const bool sha = (b >> 29) & 1, avx2 = (b >> 5) & 1, bmi2 = (b >> 8) & 1;
    return (ssse3 && sse41 && sha ? kCpuSha : 0) | (ymm && avx2 && bmi2 ? kCpuAvx2 : 0);
#else
    return 0;
#endif
}

static int Cpu() {
    int cpu = g_cpu.load(std::memory_order_relaxed);
    if (cpu < 0) {
        // Threads that race here all store the same answer.
        cpu = AskCpu();
        g_cpu.store(cpu, std::memory_order_relaxed);
    }
    return cpu;
}

uint32_t DigestChooseEngine(DigestFamily family) {
    if (g_forcePortable.load(std::memory_order_relaxed))
        return kDigestEnginePortable;
    const int cpu = Cpu();
    if (family == kDigestFamilySha)
        return cpu & kCpuSha ? kDigestEngineShaExtensions : kDigestEnginePortable;
    return cpu & kCpuAvx2 ? kDigestEngineAvx2 : kDigestEnginePortable;
}

void DigestUsePortable(int portable) {
    g_forcePortable.store(portable ? 1 : 0, std::memory_order_relaxed);
}

int DigestAccelerated() {
    return DigestChooseEngine(kDigestFamilySha) == kDigestEngineShaExtensions ? 1 : 0;
}

void DigestPad(DigestContext* context, uint32_t lengthSize, int bigEndian) {
    const uint32_t blockSize = context->algorithm->block_size;
    uint8_t* block = context->block;
    uint32_t used = context->used;
    // Bits = bytes * 8, over the 128 bits of length_high:length_low.
    const uint64_t bitsLow = context->length_low << 3;
    const uint64_t bitsHigh = (context->length_high << 3) | (context->length_low >> 61);
    block[used++] = 0x80;
    if (used > blockSize - lengthSize) {
        memset(block + used, 0, blockSize - used);
        context->algorithm->compress(context, block, 1);
        used = 0;
    }
    memset(block + used, 0, blockSize - lengthSize - used);
    uint8_t* length = block + blockSize - lengthSize;
    if (bigEndian) {
        if (lengthSize == 16) {
            StoreBe64(length, bitsHigh);
            length += 8;
        }
        StoreBe64(length, bitsLow);
    } else {
        StoreLe32(length, static_cast<uint32_t>(bitsLow));
        StoreLe32(length + 4, static_cast<uint32_t>(bitsLow >> 32));
    }
    context->algorithm->compress(context, block, 1);
    context->used = 0;
}

// Lower-case ASCII letter or digit of `c`, 0 for the separators that names may carry.
static char NameChar(char c) {
    if (c == '-' || c == '/' || c == '_')
        return 0;
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Compares two names with separators skipped and ASCII case ignored.
static int SameName(const char* a, const char* b) {
    for (;;) {
        while (*a != '\0' && NameChar(*a) == 0)
            ++a;
        while (*b != '\0' && NameChar(*b) == 0)
            ++b;
        if (*a == '\0' || *b == '\0')
            return *a == *b;
        if (NameChar(*a) != NameChar(*b))
            return 0;
        ++a;
        ++b;
    }
}

const DigestAlgorithm* DigestByName(const char* name) {
    if (name == nullptr)
        return nullptr;
    for (const DigestAlgorithm* algorithm : kAllDigests) {
        if (SameName(name, algorithm->name))
            return algorithm;
    }
    return nullptr;
}

int DigestInit(DigestContext* context, const DigestAlgorithm* algorithm) {
    if (context == nullptr || algorithm == nullptr)
        return 0;
    context->algorithm = algorithm;
    context->length_low = 0;
    context->length_high = 0;
    context->used = 0;
    context->engine = kDigestEnginePortable;
    algorithm->init(context);
    return 1;
}

// Largest message in bytes as (high, low) halves: 2^64 - 1 bits for 64-byte blocks, 2^128 - 1
// bits for 128-byte blocks, whole bytes in both. MD5 counts modulo 2^64 bits and has none.
static int WithinLimit(const DigestContext* context, size_t size) {
    const DigestAlgorithm* algorithm = context->algorithm;
    if (algorithm == &kDigestMd5)
        return 1;
    const uint64_t low = context->length_low + size;
    const uint64_t high = context->length_high + (low < context->length_low ? 1 : 0);
    if (algorithm->block_size == 128)
        return high < (uint64_t{1} << 61);
    return high == 0 && low < (uint64_t{1} << 61);
}

int DigestUpdate(DigestContext* context, const void* data, size_t size) {
    if (context == nullptr || context->algorithm == nullptr)
        return 0;
    if (size == 0)
        return 1;
    if (data == nullptr || !WithinLimit(context, size))
        return 0;
    const DigestAlgorithm* algorithm = context->algorithm;
    const uint32_t blockSize = algorithm->block_size;
    const uint8_t* in = static_cast<const uint8_t*>(data);
    const uint64_t low = context->length_low + size;
    context->length_high += low < context->length_low ? 1 : 0;
    context->length_low = low;
    if (context->used != 0) {
        const size_t room = blockSize - context->used;
        if (size < room) {
            memcpy(context->block + context->used, in, size);
            context->used += static_cast<uint32_t>(size);
            return 1;
        }
        memcpy(context->block + context->used, in, room);
        algorithm->compress(context, context->block, 1);
        in += room;
        size -= room;
        context->used = 0;
    }
    const size_t blocks = size / blockSize;
    if (blocks != 0) {
        algorithm->compress(context, in, blocks);
        in += blocks * blockSize;
        size -= blocks * blockSize;
    }
    if (size != 0) {
        memcpy(context->block, in, size);
        context->used = static_cast<uint32_t>(size);
    }
    return 1;
}

int DigestFinal(DigestContext* context, uint8_t* out, size_t outSize) {
    if (context == nullptr)
        return 0;
    int result = 0;
    if (context->algorithm != nullptr && out != nullptr &&
        outSize >= context->algorithm->digest_size) {
        context->algorithm->finish(context, out);
        result = 1;
    }
    CryptoWipe(context, sizeof *context);
    return result;
}

int Digest(const DigestAlgorithm* algorithm, const void* data, size_t size, uint8_t* out,
           size_t outSize) {
    DigestContext context;
    if (!DigestInit(&context, algorithm))
        return 0;
    if (!DigestUpdate(&context, data, size)) {
        CryptoWipe(&context, sizeof context);
        return 0;
    }
    return DigestFinal(&context, out, outSize);
}
