// HttpDateParse over arbitrary texts (up to the first NUL), and the formatter it inverts.
// Any text gives a time or -1 without reading past its end; any time formats within 40
// bytes, and within 1970-2100 (the leap-day count's range) parses back to itself.
#include "http/HttpDate.h"

#include "fuzz/FuzzSupport.h"

namespace {

constexpr int64_t kLastTime = 4133980799; // 2100-12-31 23:59:59 UTC

void CheckFormat(int64_t time) {
    ExactBuffer text(40);
    HttpDateFormat(time, text.Get());
    FUZZ_CHECK(text.Terminated());
    if (time >= 0 && time <= kLastTime && HttpDateParse(text.Get()) != time) {
        fprintf(stderr, "%lld formatted as \"%s\"\n", static_cast<long long>(time), text.Get());
        abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ExactBuffer exact(strlen(text.c_str()) + 1);
    memcpy(exact.Get(), text.c_str(), strlen(text.c_str()) + 1);
    const int64_t parsed = HttpDateParse(exact.Get());
    FUZZ_CHECK(HttpDateParse(exact.Get()) == parsed); // no state between calls
    if (parsed != -1)
        CheckFormat(parsed);
    FuzzInput input(data, size);
    const uint64_t any = input.U64();
    CheckFormat(static_cast<int64_t>(any));
    CheckFormat(static_cast<int64_t>(any % (kLastTime + 1)));
    return 0;
}
