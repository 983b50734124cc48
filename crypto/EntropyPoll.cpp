// The entropy poll: see crypto/EntropyPoll.h.
//
// The seed is the system generator's bytes S and the statistics T hashed together: block i
// of the output is SHA-512(label || i || size || S || T), cut to the size asked for. S has
// as many bytes as the caller asked for, so the output never carries less of the system's
// entropy than the caller expects; T only adds to it (a system generator that turns out
// to be weak, a virtual machine restored from a snapshot), it never replaces it.
#include "crypto/EntropyPoll.h"

#include "crypto/ConstantTime.h"
#include "crypto/Digest.h"
#include "crypto/EntropyCalls.h"

// Separates the poll's hashes from any other use of SHA-512 on the same bytes.
static const char kPollLabel[] = "kivupdate entropy poll";

// The system generator's bytes: the preferred generator, else the fallback. 0 when both
// fail; the caller wipes what either may have written.
static int systemBytes(uint8_t* out, size_t size) {
    if (entropyCalls.preferredRandom(out, size))
        return 1;
    return entropyCalls.fallbackRandom(out, size);
}

static void putBigEndian32(uint8_t* out, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

// Block `index` of the output into `block` (a SHA-512 digest).
static int hashBlock(uint32_t index, size_t size, const uint8_t* system, const uint64_t* figures,
                     size_t figureCount, uint8_t* block) {
    uint8_t header[8];
    putBigEndian32(header, index);
    putBigEndian32(header + 4, static_cast<uint32_t>(size));
    DigestContext context;
    int ok = DigestInit(&context, &kDigestSha512) &&
             DigestUpdate(&context, kPollLabel, sizeof kPollLabel) &&
             DigestUpdate(&context, header, sizeof header) &&
             DigestUpdate(&context, system, size) &&
             DigestUpdate(&context, figures, figureCount * sizeof *figures);
    // DigestFinal wipes the context whether or not it succeeds.
    return DigestFinal(&context, block, kDigestMaxSize) && ok;
}

int EntropyPoll(uint8_t* out, size_t size) {
    if (out == nullptr)
        return 0;
    if (size == 0 || size > kEntropyPollMax) {
        CryptoWipe(out, size);
        return 0;
    }
    uint8_t system[kEntropyPollMax];
    uint64_t figures[kEntropyFiguresMax];
    uint8_t block[kDigestMaxSize];
    int ok = systemBytes(system, size);
    size_t figureCount = 0;
    if (ok) {
        figureCount = entropyCalls.statistics(figures, kEntropyFiguresMax);
        if (figureCount > kEntropyFiguresMax)
            figureCount = kEntropyFiguresMax;
    }
    for (size_t done = 0; ok && done < size; done += kDigestSha512.digest_size) {
        ok = hashBlock(static_cast<uint32_t>(done / kDigestSha512.digest_size), size, system,
                       figures, figureCount, block);
        size_t piece =
            size - done < kDigestSha512.digest_size ? size - done : kDigestSha512.digest_size;
        for (size_t i = 0; i < piece; ++i)
            out[done + i] = block[i];
    }
    CryptoWipe(system, sizeof system);
    CryptoWipe(figures, sizeof figures);
    CryptoWipe(block, sizeof block);
    if (!ok)
        CryptoWipe(out, size);
    return ok;
}
