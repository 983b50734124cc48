// Shared test helpers: a loop over a table of cases that names the case in every
// failure, an owner for the library's C objects, and a temporary file of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>

// Runs the statement that follows once per entry of `cases` (an array or a vector) with
// `c` bound to the entry; failures inside it report "case N".
#define FOR_EACH_CASE(c, cases)                                                                    \
    for (size_t caseIndex = 0; caseIndex < std::size(cases); ++caseIndex)                          \
        if (const auto& c = (cases)[caseIndex]; true)                                              \
            if (const ::testing::ScopedTrace caseTrace(                                            \
                    __FILE__, __LINE__, ::testing::Message() << "case " << caseIndex);             \
                true)

// Owns one of the library's C objects, which are given back in two steps: the object's
// own destroy call, then free for its memory.
template <typename T, void (*Destroy)(T*)>
struct DestroyAndFree {
    void operator()(T* object) const {
        Destroy(object);
        free(object);
    }
};
template <typename T, void (*Destroy)(T*)>
using Owned = std::unique_ptr<T, DestroyAndFree<T, Destroy>>;

// A path under the temporary directory that no other test run uses; the file is removed
// at the end.
class TempFile {
public:
    explicit TempFile(const std::string& name = "kiv_test") {
        static std::atomic<unsigned> counter{0};
        path = (std::filesystem::temp_directory_path() /
                (name + "_" + std::to_string(std::random_device()()) + "_" +
                 std::to_string(++counter)))
                   .string();
    }
    ~TempFile() { std::remove(path.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const char* c_str() const { return path.c_str(); }
    void Write(const std::string& bytes) const { std::ofstream(path, std::ios::binary) << bytes; }
    // The file's bytes, or "(no file)".
    std::string Read() const {
        std::ifstream file(path, std::ios::binary);
        return file ? std::string(std::istreambuf_iterator<char>(file), {}) : "(no file)";
    }

    std::string path;
};
