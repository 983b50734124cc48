// The stand-in system of the entropy poll: see FakeEntropy.h.
#include "support/FakeEntropy.h"

#include "crypto/EntropyCalls.h"

#include <gtest/gtest.h>

namespace {

FakeEntropy* active = nullptr;

int answer(FakeEntropy::Source source, int (*system)(uint8_t*, size_t), uint8_t* out, size_t size) {
    active->requestSizes.push_back(size);
    switch (source) {
    case FakeEntropy::kSystem:
        return system(out, size);
    case FakeEntropy::kPattern:
        for (size_t i = 0; i < size; ++i)
            out[i] = static_cast<uint8_t>(active->seed * 31 + i * 7);
        return 1;
    case FakeEntropy::kFail:
        return 0;
    case FakeEntropy::kPartial:
        for (size_t i = 0; i < size / 2; ++i)
            out[i] = 0x5A;
        return 0;
    }
    return 0;
}

int fakePreferred(uint8_t* out, size_t size) {
    ++active->preferredCalls;
    return answer(active->preferred, kSystemEntropyCalls.preferredRandom, out, size);
}

int fakeFallback(uint8_t* out, size_t size) {
    ++active->fallbackCalls;
    return answer(active->fallback, kSystemEntropyCalls.fallbackRandom, out, size);
}

size_t fakeStatistics(uint64_t* figures, size_t capacity) {
    ++active->statisticsCalls;
    if (!active->fixedFigures)
        return kSystemEntropyCalls.statistics(figures, capacity);
    size_t count = 0;
    for (; count < capacity && count < active->figures.size(); ++count)
        figures[count] = active->figures[count];
    return count;
}

uint32_t fakeProcessId() {
    return kSystemEntropyCalls.processId() + active->processIdOffset;
}

} // namespace

FakeEntropy::FakeEntropy() {
    EXPECT_EQ(nullptr, active) << "one FakeEntropy at a time";
    active = this;
    entropyCalls.preferredRandom = fakePreferred;
    entropyCalls.fallbackRandom = fakeFallback;
    entropyCalls.statistics = fakeStatistics;
    entropyCalls.processId = fakeProcessId;
}

FakeEntropy::~FakeEntropy() {
    entropyCalls = kSystemEntropyCalls;
    active = nullptr;
}
