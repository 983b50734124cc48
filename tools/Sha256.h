// SHA-256 (FIPS 180-4) of a file, for checking a downloaded package before it replaces
// the one in place.
#pragma once

#include <cstdint>
#include <cstdio>

struct Sha256 {
    uint32_t state[8];
    uint64_t length; // bytes hashed so far
    uint8_t block[64];
    uint32_t used; // bytes waiting in block
};

void Sha256Init(Sha256* s);
void Sha256Update(Sha256* s, const void* data, size_t size);
void Sha256Final(Sha256* s, uint8_t digest[32]);

// The digest of the whole file as 64 lower-case hex digits (plus terminator); 0 when the
// file cannot be read.
int Sha256File(const char* path, char hex[65]);
