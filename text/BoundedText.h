// Bounded text functions: formatting, copying and appending 8-bit NUL-terminated texts
// into fixed buffers. In every function `size` is the whole buffer size in bytes, the
// terminator included, and the result always stays inside those `size` bytes.
#pragma once

#include <cstdarg>
#include <cstddef>

#if defined(__MINGW32__)
#define KIV_PRINTF_FORMAT(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#elif defined(__GNUC__)
#define KIV_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define KIV_PRINTF_FORMAT(fmt, args)
#endif

// Formats like printf into at most `size` bytes and always terminates inside them.
// The result follows the legacy bounded formatter: for an output of n characters it is
// n when n < size (whole text), size when n == size and size - 1 when n > size (both
// keep the first size - 1 characters). Size 0 writes nothing and returns 0.
int StrFormat(char* buffer, size_t size, const char* format, ...) KIV_PRINTF_FORMAT(3, 4);
int StrFormatV(char* buffer, size_t size, const char* format, va_list args) KIV_PRINTF_FORMAT(3, 0);

// Appends `source` to the text in `destination`, cutting the result to size - 1
// characters. Null arguments give null; size 0, or a destination text longer than
// `size`, leave the destination unchanged.
char* StrAppend(char* destination, size_t size, const char* source);

// Copies `source` into `destination`, cut to size - 1 characters. Null arguments give
// null; size 0 leaves the destination unchanged.
char* StrCopy(char* destination, size_t size, const char* source);

// Copies at most n characters of `source` (and at most size - 1), always terminated.
void StrCopyN(char* destination, size_t size, const char* source, size_t n);
