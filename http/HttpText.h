// Small bounded text helpers shared by the HTTP units: ASCII case-insensitive comparison,
// the leading-integer conversion used for ports, status codes and lengths, heap copies of
// texts and the builder that requests are put together with.
#pragma once

#include <cstddef>

// 1 when the first `length` bytes of `text` begin with `prefix`, ignoring ASCII case.
int HttpStartsWithNoCase(const char* text, size_t length, const char* prefix);

// 1 when the two texts are equal ignoring ASCII case.
int HttpEqualsNoCase(const char* a, const char* b);

// Converts the leading decimal number of the first `length` bytes of `text` like the C
// runtime's integer conversion: leading white space, an optional sign, then digits;
// no digits give 0. Values beyond the int range saturate at INT_MAX / INT_MIN instead
// of being undefined. The scan also stops at a NUL.
int HttpLeadingInt(const char* text, size_t length);

// A heap copy (malloc) of the first `length` bytes of `text`, terminated; of the whole
// text without a length. Null when memory runs out.
char* HttpCopyText(const char* text, size_t length);
char* HttpCopyText(const char* text);

// Text put together in a caller's buffer of `size` bytes, always terminated. Nothing is
// ever cut: an append that does not fit marks the text as failed and adds nothing.
struct HttpRequestText {
    char* data;
    size_t size;
    size_t used = 0;
    bool failed = false;

    void Add(const void* bytes, size_t count);
    void Add(const char* text);
};
