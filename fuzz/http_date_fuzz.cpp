// HttpDateParse over arbitrary texts, and the formatter it must invert.
//
// Input: the whole input is the date text (up to its first NUL); its bytes also make the
// time values that are formatted.
//
// Properties: any text gives a time or -1 without reading past its end; a text written
// by HttpDateFormat parses back to the same time for every time from 1970 to the end of
// 2100 (the range of the leap-day count), and so does the text of any time parsed;
// formatting any time at all fits the 40-byte destination.
#include "http/HttpDate.h"

#include "fuzz/FuzzSupport.h"

#include <string>

namespace {

constexpr size_t kDateSize = 40;
constexpr int64_t kLastTime = 4133980799; // 2100-12-31 23:59:59 UTC

void CheckFormat(int64_t time) {
    ExactBuffer text(kDateSize);
    HttpDateFormat(time, text.Get());
    FUZZ_CHECK(text.Terminated());
    if (time >= 0 && time <= kLastTime) {
        const int64_t parsed = HttpDateParse(text.Get());
        if (parsed != time) {
            fprintf(stderr, "time %lld formatted as \"%s\" parses as %lld\n",
                    static_cast<long long>(time), text.Get(), static_cast<long long>(parsed));
            abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The text in a block of its own length, so that a read past its NUL is reported.
    const std::string text(reinterpret_cast<const char*>(data), size);
    const size_t length = strlen(text.c_str());
    ExactBuffer exact(length + 1);
    memcpy(exact.Get(), text.c_str(), length + 1);

    const int64_t parsed = HttpDateParse(exact.Get());
    FUZZ_CHECK(HttpDateParse(exact.Get()) == parsed); // no state between calls
    if (parsed != -1)
        CheckFormat(parsed);

    // Time values made from the input: the whole int64 range, and the range that must
    // survive formatting and parsing.
    FuzzInput input(data, size);
    const int64_t any = static_cast<int64_t>(input.U64());
    CheckFormat(any);
    CheckFormat(static_cast<int64_t>(static_cast<uint64_t>(any) % (kLastTime + 1)));
    return 0;
}
