#include "http/HttpText.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

int HttpStartsWithNoCase(const char* text, size_t length, const char* prefix) {
    size_t i = 0;
    for (; prefix[i] != '\0'; ++i) {
        if (i >= length || LowerAscii(text[i]) != LowerAscii(prefix[i]))
            return 0;
    }
    return 1;
}

int HttpEqualsNoCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        if (LowerAscii(*a) != LowerAscii(*b))
            return 0;
        if (*a == '\0')
            return 1;
    }
}

int HttpLeadingInt(const char* text, size_t length) {
    size_t i = 0;
    while (i < length && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < length && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulated as a negative number so that INT_MIN is reachable.
    long long value = 0;
    for (; i < length && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value > -static_cast<long long>(INT_MAX) - 1)
            value = value * 10 - (text[i] - '0');
    }
    if (negative)
        return value < INT_MIN ? INT_MIN : static_cast<int>(value);
    return -value > INT_MAX ? INT_MAX : static_cast<int>(-value);
}

char* HttpCopyText(const char* text, size_t length) {
    char* copy = static_cast<char*>(malloc(length + 1));
    if (copy != nullptr) {
        memcpy(copy, text, length);
        copy[length] = '\0';
    }
    return copy;
}

char* HttpCopyText(const char* text) {
    return HttpCopyText(text, strlen(text));
}

void HttpRequestText::Add(const void* bytes, size_t count) {
    if (failed || count >= size - used) {
        failed = true;
        return;
    }
    memcpy(data + used, bytes, count);
    used += count;
    data[used] = '\0';
}

void HttpRequestText::Add(const char* text) {
    Add(text, strlen(text));
}
