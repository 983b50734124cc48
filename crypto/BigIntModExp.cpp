// Modular exponentiation of BigInts over a Montgomery context made for the call.
#include "crypto/BigInt.h"

#include "crypto/BigIntLimbs.h"
#include "crypto/ConstantTime.h"
#include "crypto/Montgomery.h"

namespace {

int ModExp(BigInt* r, const BigInt* base, const BigInt* e, const BigInt* m, bool secret) {
    if (m->size > kBigIntMaxLimbs)
        return 0;
    Montgomery ctx;
    // The Montgomery context refuses even, tiny and over-long moduli.
    if (MontgomeryInit(&ctx, m->limb, m->size) == 0)
        return 0;
    uint64_t reduced[kBigIntMaxModulusLimbs];
    uint64_t result[kBigIntMaxModulusLimbs];
    MontgomeryEnter(&ctx, reduced, base->limb, base->size);
    MontgomeryLeave(&ctx, reduced, reduced);
    const int ok = secret ? MontgomeryExp(&ctx, result, reduced, e->limb, e->size)
                          : MontgomeryExpPublic(&ctx, result, reduced, e->limb, e->size);
    if (ok != 0) {
        LimbsCopyPad(r->limb, m->size, result, ctx.size);
        r->size = m->size;
    }
    CryptoWipe(reduced, sizeof reduced);
    CryptoWipe(result, sizeof result);
    CryptoWipe(&ctx, sizeof ctx);
    return ok;
}

} // namespace

int BigIntModExp(BigInt* r, const BigInt* base, const BigInt* e, const BigInt* m) {
    return ModExp(r, base, e, m, true);
}

int BigIntModExpPublic(BigInt* r, const BigInt* base, const BigInt* e, const BigInt* m) {
    return ModExp(r, base, e, m, false);
}
