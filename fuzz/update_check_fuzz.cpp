// The whole update check (CheckForUpdate's operation) against a scripted server: every
// connection goes through the proxy setting to a loopback peer, so that neither the URL
// nor a redirect's Location can reach another host, and the peer answers the first
// connection with the first answer and every later one (a redirect, a retry) with the
// second.
//
// Input: byte 0 is the caller's language (its low four bits, so '1' is 1); byte 1 the
// size of the caller's buffer in units of 16 bytes (255: no buffer); then the first
// answer up to a NUL byte; the rest is the second answer.
//
// Properties: the result never exceeds the caller's buffer and nothing is written
// behind it; a result is a finalized attribute list of whole records whose tags are the
// release facts, each at most once, integers as 4 bytes and texts of at most 255
// characters without a NUL; since the peer always accepts, a large enough buffer always
// receives at least the empty list.
#include "update/UpdateService.h"

#include "fuzz/FuzzSupport.h"
#include "fuzz/LoopbackPeer.h"
#include "fuzz/MifReference.h"

#include <set>
#include <string>

namespace {

constexpr uint32_t kNoBuffer = 255;

bool IsTextTag(uint16_t tag) {
    return tag == 1 || tag == 5 || tag == 6 || tag == 10 || tag == 20 || tag == 30;
}

bool IsNumberTag(uint16_t tag) {
    return tag == 2 || tag == 3 || tag == 4 || tag == 8 || tag == 11 || tag == 21;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const int32_t language = input.Byte() & 15;
    const uint32_t units = input.Byte();
    const std::string first = input.Until('\0');
    const std::string second = input.Rest();

    const uint32_t bufferSize = units == kNoBuffer ? 0 : units * 16;
    ExactBuffer buffer(bufferSize);
    void* destination = units == kNoBuffer ? nullptr : buffer.Get();

    LoopbackPeer peer({first, second});
    const uint32_t result = UpdateCheck(language, "http://update.invalid/kiv/update.ini",
                                        "127.0.0.1", LoopbackPeer::Port(), destination, bufferSize);
    peer.Stop();

    FUZZ_CHECK(result <= bufferSize);
    FUZZ_CHECK(!peer.Requests().empty());
    if (destination == nullptr) {
        FUZZ_CHECK(result == 0);
        return 0;
    }
    // Nothing behind the result was written (the pattern of ExactBuffer is intact).
    for (uint32_t i = result; i < bufferSize; ++i)
        FUZZ_CHECK(static_cast<unsigned char>(buffer.Get()[i]) == 0xA5);
    if (result == 0) {
        // Only a buffer too small for the list gets nothing: the list holds at most the
        // twelve facts of at most 255 bytes each.
        if (bufferSize >= 12 * (4 + 255) + 2) {
            fprintf(stderr, "no result although the peer accepted %zu connections:\n",
                    peer.Requests().size());
            for (const std::string& request : peer.Requests())
                fprintf(stderr, "request: \"%s\"\n", request.c_str());
            abort();
        }
        return 0;
    }

    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(buffer.Get());
    FUZZ_CHECK(MifStrictlyFinalized(bytes, result));
    std::set<uint16_t> seen;
    for (const MifRecord& record : MifWalk(bytes, result)) {
        FUZZ_CHECK(seen.insert(record.tag).second);
        if (IsNumberTag(record.tag)) {
            FUZZ_CHECK(record.length == 4);
        } else {
            FUZZ_CHECK(IsTextTag(record.tag));
            FUZZ_CHECK(record.length <= 255);
            FUZZ_CHECK(memchr(bytes + record.offset, '\0', record.length) == nullptr);
        }
    }
    return 0;
}
