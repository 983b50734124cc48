// Helpers shared by the libFuzzer harnesses: a property check that aborts (so that
// libFuzzer records the input as a crash) and a reader that takes the control bytes at
// the front of an input, leaving the rest as the document, stream or text under test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// Aborts with the failed condition when a property does not hold. Unlike assert it stays
// active in optimised builds.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            fprintf(stderr, "%s:%d: property violated: %s\n", __FILE__, __LINE__, #condition);     \
            abort();                                                                               \
        }                                                                                          \
    } while (0)

// Consumes an input from the front. Reads past the end give zeros and empty texts, so a
// short input is still a valid one.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    size_t Remaining() const { return size_ - position_; }
    bool Empty() const { return position_ >= size_; }

    uint8_t Byte() { return position_ < size_ ? data_[position_++] : 0; }

    uint16_t U16() {
        uint16_t low = Byte();
        return static_cast<uint16_t>(low | (Byte() << 8));
    }

    uint32_t U32() {
        uint32_t low = U16();
        return low | (static_cast<uint32_t>(U16()) << 16);
    }

    uint64_t U64() {
        uint64_t low = U32();
        return low | (static_cast<uint64_t>(U32()) << 32);
    }

    // Up to n bytes (fewer at the end of the input).
    std::string Bytes(size_t n) {
        size_t take = n < Remaining() ? n : Remaining();
        std::string piece(reinterpret_cast<const char*>(data_ + position_), take);
        position_ += take;
        return piece;
    }

    // The bytes up to the next `delimiter` (which is consumed), or up to the end.
    std::string Until(char delimiter) {
        const void* found = memchr(data_ + position_, delimiter, Remaining());
        size_t take =
            found != nullptr
                ? static_cast<size_t>(static_cast<const uint8_t*>(found) - (data_ + position_))
                : Remaining();
        std::string piece = Bytes(take);
        if (found != nullptr)
            ++position_;
        return piece;
    }

    std::string Rest() { return Bytes(Remaining()); }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

// A heap block of exactly `size` bytes, so that AddressSanitizer reports the first byte
// written or read past it. Filled with a pattern, so that unwritten bytes show.
class ExactBuffer {
public:
    explicit ExactBuffer(size_t size)
        : size_(size), bytes_(static_cast<char*>(malloc(size == 0 ? 1 : size))) {
        if (bytes_ == nullptr)
            abort();
        memset(bytes_, 0xA5, size == 0 ? 1 : size);
    }
    ~ExactBuffer() { free(bytes_); }
    ExactBuffer(const ExactBuffer&) = delete;
    ExactBuffer& operator=(const ExactBuffer&) = delete;

    char* Get() { return bytes_; }
    size_t Size() const { return size_; }
    // True when a NUL lies within the block (the text written into it is terminated).
    bool Terminated() const { return size_ > 0 && memchr(bytes_, '\0', size_) != nullptr; }

private:
    size_t size_;
    char* bytes_;
};
