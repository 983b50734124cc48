// Text encoders for HTTP requests: form-urlencoding, numeric character-reference
// decoding into UTF-8, UTF-8 encoding of one code point and Base64.
#pragma once

#include <cstddef>
#include <cstdint>

// Form-urlencodes `text` into a new text allocated with malloc (the caller frees it
// with free()). Letters, digits and "*-.@_" stay, a space becomes '+', every other byte
// becomes "%XX" (upper-case hex). A nonzero `lineLength` inserts "%0D%0A" line breaks.
// Null input or a failed allocation give null.
char* HttpUrlEncode(const char* text, uint32_t lineLength);

// Copies `value` into `destination` as UTF-8, replacing numeric character references
// ("&#65;", "&#x41;") by their code points. A reference whose ';' is 20 or more
// characters after its '&' is dropped; a "&#" never closed by a ';' loses its '&' and the
// rest is copied as it is. Other bytes, 0x80 and above too, are copied unchanged (a UTF-8
// character whole or not at all); a reference to code point 0 writes a NUL, so the text
// ends there for every reader. Copying stops
// when the room is used up: never more than `room` bytes, the result always terminated
// when room > 0. Returns the bytes written without the NUL.
int HttpDecodeCharRefs(const char* value, char* destination, size_t room);

// Writes `codePoint` as (classic, up to 6-byte) UTF-8, without a terminator; values above
// 0x7FFFFFFF are written as 0x7FFFFFFF. Returns the bytes written, or -1 when `room` is
// not positive or smaller than the length needed; a null destination returns the length
// needed.
int Utf8EncodeCodePoint(char* destination, int room, uint32_t codePoint);

// Base64 (standard alphabet, '=' fill). With `lineBreaks` nonzero a LF separates lines of
// 64 characters (it precedes the 65th, 129th, ... Base64 character; none follows the last line).
// Returns the text length, or 0 when the text and its NUL do not fit in `destinationSize`
// bytes.
int Base64Encode(const void* bytes, size_t count, char* destination, size_t destinationSize,
                 int lineBreaks);
