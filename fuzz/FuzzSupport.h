// Shared by the libFuzzer harnesses: a property check that aborts (so that libFuzzer keeps
// the input as a crash) and a reader of the control bytes at the front of an input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

    size_t Remaining() const { return size_ - position_; }
    bool Empty() const { return position_ >= size_; }
    uint8_t Byte() { return position_ < size_ ? data_[position_++] : 0; }
    // Little-endian; the low part is read first (operands of | are unsequenced).
    uint16_t U16() {
        const uint16_t low = Byte();
        return static_cast<uint16_t>(low | (Byte() << 8));
    }
    uint32_t U32() {
        const uint32_t low = U16();
        return low | (static_cast<uint32_t>(U16()) << 16);
    }
    uint64_t U64() {
        const uint64_t low = U32();
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
        std::string piece = Bytes(
            found != nullptr
                ? static_cast<size_t>(static_cast<const uint8_t*>(found) - (data_ + position_))
                : Remaining());
        position_ += found != nullptr ? 1 : 0;
        return piece;
    }

    std::string Rest() { return Bytes(Remaining()); }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

// A heap block of exactly `size` bytes, so that AddressSanitizer reports the first byte
// past it; filled with 0xA5, so that unwritten bytes show.
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
