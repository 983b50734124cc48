// The process-wide random generator: see crypto/Random.h.
//
// One HMAC_DRBG over SHA-512 behind one lock. Around a fork the forking thread holds the
// lock, so that the child never inherits it taken by a thread that does not exist there;
// the child then drops its copy of the parent's state and instantiates afresh at its first
// request. The DRBG's own process-id check would reseed the child as well; the fork
// handler also covers a child whose id happens to be one its ancestor seeded under.
#include "crypto/Random.h"

#include "crypto/ConstantTime.h"
#include "crypto/EntropyCalls.h"
#include "crypto/HmacDrbg.h"

#include <mutex>

// Names this generator's instantiations apart from any other HMAC_DRBG's.
static const char kPersonalisation[] = "kivupdate process-wide random generator";

static std::mutex randomLock;
static HmacDrbg generator; // under randomLock
static bool instantiated;  // under randomLock
static bool watchingForks; // under randomLock

static void beforeFork() {
    randomLock.lock();
}

static void afterForkInParent() {
    randomLock.unlock();
}

static void afterForkInChild() {
    HmacDrbgUninstantiate(&generator);
    instantiated = false;
    randomLock.unlock();
}

int CryptoRandomBytes(void* out, size_t size) {
    if (size == 0)
        return 1;
    if (out == nullptr)
        return 0;
    uint8_t* bytes = static_cast<uint8_t*>(out);
    std::lock_guard<std::mutex> guard(randomLock);
    if (!watchingForks) {
        entropyCalls.watchForks(beforeFork, afterForkInParent, afterForkInChild);
        watchingForks = true;
    }
    if (!instantiated)
        instantiated = HmacDrbgInstantiate(&generator, &kDigestSha512, kPersonalisation,
                                           sizeof kPersonalisation - 1) == 1;
    int ok = instantiated ? 1 : 0;
    for (size_t done = 0; ok && done < size; done += kHmacDrbgMaxRequest) {
        size_t piece = size - done < kHmacDrbgMaxRequest ? size - done : kHmacDrbgMaxRequest;
        ok = HmacDrbgGenerate(&generator, bytes + done, piece, nullptr, 0);
    }
    if (!ok) {
        // A generator that failed (its reseed did) is wiped; the next request starts over.
        HmacDrbgUninstantiate(&generator);
        instantiated = false;
        CryptoWipe(bytes, size);
    }
    return ok;
}
