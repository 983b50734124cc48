#include "text/BoundedText.h"

#include <cstdio>
#include <cstring>

int StrFormat(char* buffer, size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int result = StrFormatV(buffer, size, format, args);
    va_end(args);
    return result;
}

// The legacy formatter writes the first `size` characters when the output is longer and
// reports -1; the C99 formatter writes size - 1 characters and reports the full length.
// After the terminator goes into the last byte both leave the same bytes behind, so the
// legacy result is derived from the C99 one instead of relying on either runtime.
int StrFormatV(char* buffer, size_t size, const char* format, va_list args) {
    if (size == 0)
        return 0;
    int full = vsnprintf(buffer, size, format, args);
    buffer[size - 1] = '\0';
    if (full >= 0 && static_cast<size_t>(full) <= size)
        return full;
    return static_cast<int>(strlen(buffer));
}

char* StrAppend(char* destination, size_t size, const char* source) {
    if (destination == nullptr || source == nullptr)
        return nullptr;
    if (size == 0)
        return destination;
    // A text longer than the buffer is left alone; looking one byte past `size` is enough
    // to tell "longer" from "exactly full" without scanning memory of unknown extent.
    size_t used = strnlen(destination, size + 1);
    if (used > size)
        return destination;
    size_t length = strlen(source);
    if (used + length < size) {
        memcpy(destination + used, source, length + 1);
        return destination;
    }
    size_t room = size - used;
    size_t take = length < room ? length : room;
    memcpy(destination + used, source, take);
    memset(destination + used + take, 0, room - take);
    destination[size - 1] = '\0';
    return destination;
}

char* StrCopy(char* destination, size_t size, const char* source) {
    if (destination == nullptr || source == nullptr)
        return nullptr;
    if (size == 0)
        return destination;
    size_t count = strnlen(source, size);
    if (count >= size)
        count = size - 1;
    memmove(destination, source, count);
    destination[count] = '\0';
    return destination;
}

void StrCopyN(char* destination, size_t size, const char* source, size_t n) {
    size_t limit = n < size ? n + 1 : size;
    StrCopy(destination, limit, source);
}
