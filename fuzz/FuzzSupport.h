// Shared by the libFuzzer harnesses: a property check that aborts (so that libFuzzer keeps
// the input), a reader of the control bytes in front of an input, and a guarded buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

// Unlike assert, stays active in optimised builds.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            fprintf(stderr, "%s:%d: property violated: %s\n", __FILE__, __LINE__, #condition);     \
            abort();                                                                               \
        }                                                                                          \
    } while (0)

// Reads past the end give zeros and empty texts, so a short input is still a valid one.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Empty() const { return position_ >= size_; }
    uint8_t Byte() { return position_ < size_ ? data_[position_++] : 0; }
    uint64_t Number(size_t bytes) { // little-endian
        uint64_t value = 0;
        for (size_t i = 0; i < bytes; ++i)
            value |= static_cast<uint64_t>(Byte()) << (8 * i);
        return value;
    }
    std::string Bytes(size_t n) { // fewer at the end of the input
        const size_t take = n < size_ - position_ ? n : size_ - position_;
        position_ += take;
        return std::string(reinterpret_cast<const char*>(data_ + position_ - take), take);
    }
    std::string Rest() { return Bytes(size_ - position_); }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

// A heap block of exactly `size` bytes, so that AddressSanitizer reports the first byte
// past it; filled with 0xA5, so that unwritten bytes show.
class ExactBuffer {
public:
    explicit ExactBuffer(size_t size) : size_(size), bytes_(new char[size == 0 ? 1 : size]) {
        memset(bytes_.get(), 0xA5, size == 0 ? 1 : size);
    }
    char* Get() { return bytes_.get(); }
    bool Terminated() const { return size_ > 0 && memchr(bytes_.get(), '\0', size_) != nullptr; }

private:
    size_t size_;
    std::unique_ptr<char[]> bytes_;
};
