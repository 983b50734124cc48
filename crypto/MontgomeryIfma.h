// The AVX-512 IFMA engine behind Montgomery.h's exponentiations (private to crypto/):
// numbers in 52-bit digits, eight to a 512-bit register, multiplied by VPMADD52LUQ and
// VPMADD52HUQ, which add the low and the high 52 bits of digit products to 64-bit lanes.
// Chosen at run time; the portable 64-bit code serves everywhere else.
#pragma once

#include "crypto/Montgomery.h"

#include <cstddef>
#include <cstdint>

// 1 when the processor has AVX-512 F, VL, BW and IFMA and the operating system saves the
// 512-bit registers.
int IfmaAvailable();

// Fills ctx's digit fields for the engine, or sets ctx->digits to 0 when the engine is
// missing or the modulus is shorter than it pays for. ctx's 64-bit fields must be ready.
void IfmaPrepare(Montgomery* ctx);

// MontgomeryExp and MontgomeryExpPublic (`secret` false) on the engine, for a prepared
// ctx; IfmaExp2 runs two at once as MontgomeryExp2, when both contexts have the same
// number of digits and both exponents the same number of limbs (else 0 with nothing done,
// as for a failed allocation).
int IfmaExp(const Montgomery* ctx, uint64_t* r, const uint64_t* a, const uint64_t* e, size_t eSize,
            bool secret);
int IfmaExp2(const Montgomery* c1, uint64_t* r1, const uint64_t* a1, const uint64_t* e1,
             const Montgomery* c2, uint64_t* r2, const uint64_t* a2, const uint64_t* e2,
             size_t eSize);
