// A stand-in for the system services of the entropy poll (crypto/EntropyCalls.h): while a
// FakeEntropy lives, the poll's generators, statistics and process id answer as it is told
// and count their calls; the destructor puts the system's services back. One at a time,
// from one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class FakeEntropy {
public:
    // What a generator does when asked.
    enum Source {
        kSystem,  // passes the call to the system's generator
        kPattern, // writes a pattern of bytes that depends only on `seed` and the position
        kFail,    // writes nothing and fails
        kPartial, // writes 0x5A over the first half, then fails
    };

    FakeEntropy();
    ~FakeEntropy();
    FakeEntropy(const FakeEntropy&) = delete;
    FakeEntropy& operator=(const FakeEntropy&) = delete;

    Source preferred = kSystem;
    Source fallback = kSystem;
    uint8_t seed = 1;              // of kPattern
    bool fixedFigures = false;     // statistics answers `figures` instead of the system's
    std::vector<uint64_t> figures; // at most kEntropyFiguresMax are used
    uint32_t processIdOffset = 0;  // added to the real id: a non-zero one plays a fork's child

    int preferredCalls = 0;
    int fallbackCalls = 0;
    int statisticsCalls = 0;
    std::vector<size_t> requestSizes; // every size asked of either generator, in order
};
