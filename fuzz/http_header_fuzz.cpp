// The header scans of the response reader: HttpFindHeaderEnd and HttpFindLineValue.
//
// Input: byte 0 is the size of the value buffer; byte 1 picks a header name from a list
// when below 0x80, else names the low five bits' count of following bytes as the name;
// the rest is the header text.
//
// Properties: the header end lies inside the bytes and just behind a line break, and the
// answer changes as more bytes arrive only where a break in the last byte held pairs
// with the next byte (the reader scans a growing buffer); a value found is the rest of a
// line that starts with the name, ends at that line's break and fits its buffer.
#include "http/HttpClient.h"

#include "fuzz/FuzzSupport.h"

#include <string>

namespace {

bool IsBreak(char c) {
    return c == '\r' || c == '\n';
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

void CheckHeaderEnd(const std::string& text) {
    const uint32_t length = static_cast<uint32_t>(text.size());
    ExactBuffer bytes(length);
    memcpy(bytes.Get(), text.data(), length);

    uint32_t offset = 0xDEADBEEF;
    const char* end = HttpFindHeaderEnd(bytes.Get(), length, &offset);
    if (end != nullptr) {
        FUZZ_CHECK(end == bytes.Get() + offset);
        FUZZ_CHECK(offset >= 2 && offset <= length);
        FUZZ_CHECK(IsBreak(text[offset - 1]));
    }

    // Every prefix the reader could have held on the way gives the same answer: not
    // found, or found at the same place, or found ending at the prefix's last byte, a
    // break of its own there that the next byte turns into a pair.
    for (uint32_t prefix = 0; prefix <= length; ++prefix) {
        if (prefix > 64 && prefix + 64 < length &&
            (end == nullptr || prefix + 2 < offset || prefix > offset + 2))
            continue; // the interesting prefixes are the short ones and those near the end
        uint32_t prefixOffset = 0;
        const char* prefixEnd = HttpFindHeaderEnd(bytes.Get(), prefix, &prefixOffset);
        if (prefixEnd != nullptr)
            FUZZ_CHECK(end != nullptr && (prefixOffset == offset ||
                                          (prefixOffset == prefix && offset == prefix + 1)));
        else if (end != nullptr)
            FUZZ_CHECK(prefix <= offset);
    }
}

void CheckLineValue(const std::string& text, const std::string& name, uint32_t size) {
    ExactBuffer value(size);
    const int found = HttpFindLineValue(text.data(), static_cast<uint32_t>(text.size()),
                                        name.c_str(), value.Get(), size);
    FUZZ_CHECK(found == 0 || found == 1);

    // The first line (ended by a break inside the text) that starts with the name.
    const size_t nameLength = strlen(name.c_str());
    size_t lineStart = 0;
    bool matched = false;
    std::string expected;
    for (size_t i = 0; i < text.size() && !matched; ++i) {
        if (!IsBreak(text[i]))
            continue;
        if (i - lineStart >= nameLength) {
            matched = true;
            for (size_t k = 0; k < nameLength && matched; ++k)
                matched = Lower(text[lineStart + k]) == Lower(name[k]);
            if (matched)
                expected = text.substr(lineStart + nameLength, i - lineStart - nameLength);
        }
        lineStart = i + 1;
    }
    FUZZ_CHECK(found == (matched && expected.size() < size ? 1 : 0));
    if (found) {
        FUZZ_CHECK(value.Terminated());
        FUZZ_CHECK(memcmp(value.Get(), expected.data(), expected.size()) == 0);
        FUZZ_CHECK(value.Get()[expected.size()] == '\0');
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const char* const kNames[] = {
        "Content-Length: ", "Location: ", "Connection: ", "HTTP", "Last-Modified: ", "Date: ", ""};
    FuzzInput input(data, size);
    const uint32_t valueSize = input.Byte();
    const uint8_t pick = input.Byte();
    std::string name =
        pick < 0x80 ? kNames[pick % (sizeof kNames / sizeof kNames[0])] : input.Bytes(pick & 31u);
    const std::string text = input.Rest();

    CheckHeaderEnd(text);
    CheckLineValue(text, name, valueSize);
    CheckLineValue(text, name, 256);
    return 0;
}
