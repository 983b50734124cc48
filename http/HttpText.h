// Small bounded text scans shared by the HTTP units: ASCII case-insensitive comparison
// and the leading-integer conversion used for ports, status codes and lengths.
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
