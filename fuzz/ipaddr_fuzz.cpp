// KivIpAddr text input and output: Parse, ToText, the stream operators, the ordering and
// the text forms of ranges.
//
// Input: byte 0 is a prefix length; then two address texts, each ended by a LF; bytes 1
// to 32 of the input also serve as raw address bytes.
//
// Properties: the text written for an address parses back to it and is written again the
// same way; ToText needs exactly the text and its terminator; the stream input accepts a
// word exactly when Parse does; the orderings agree with each other and with
// IpCompareText; a range made from a prefix gives that prefix back; each form accepts
// what inet_pton accepts (with the same bytes), except the leading zeros in a dotted part
// and the groups of more than four digits that we read.
#include "net/KivIpAddr.h"

#include "fuzz/FuzzSupport.h"

#include <arpa/inet.h>

#include <regex>
#include <sstream>
#include <string>

namespace {

bool Same(const KivIpAddr& a, const KivIpAddr& b) {
    return a.Length() == b.Length() && memcmp(a.Bytes(), b.Bytes(), 16) == 0;
}

void CheckText(const KivIpAddr& address) {
    char text[KivIpAddr::kTextBufferSize];
    const int written = address.ToText(text, sizeof text);
    FUZZ_CHECK(written == (address.Length() != 0) && strcmp(address.Text(), text) == 0);
    if (!written)
        return;
    const size_t length = strlen(text);
    FUZZ_CHECK(length < KivIpAddr::kTextWorkSize);
    ExactBuffer exact(length + 1), tight(length);
    FUZZ_CHECK(address.ToText(exact.Get(), length + 1) == 1 && strcmp(exact.Get(), text) == 0);
    FUZZ_CHECK(address.ToText(tight.Get(), length) == 0 && tight.Get()[0] == '\0');
    KivIpAddr again;
    FUZZ_CHECK(again.Parse(text) == 1 && Same(again, address) && strcmp(again.Text(), text) == 0);
}

void CheckOrder(const KivIpAddr& a, const KivIpAddr& b, const char* textA, const char* textB) {
    const bool equal = a == b, less = a < b, greater = b < a;
    FUZZ_CHECK((a != b) == !equal && (b == a) == equal && !(less && (greater || equal)));
    FUZZ_CHECK((a > b) == greater && (a <= b) == (less || equal) && (a >= b) == (greater || equal));
    FUZZ_CHECK(a.Length() == 0 || (a == a && !(a < a)));
    const bool expected[] = {equal, less, greater, less || equal, greater || equal};
    for (int op = 1; op <= 5; ++op)
        FUZZ_CHECK(KivIpAddr::IpCompareText(op, textA, textB) == expected[op - 1]);
}

void CheckRange(const char* text, uint32_t prefixLength) {
    char first[KivIpAddr::kTextBufferSize], last[KivIpAddr::kTextBufferSize];
    if (!KivIpAddr::IpRangeTextFromPrefix(text, prefixLength, first, sizeof first, last,
                                          sizeof last))
        return;
    const KivIpAddr address(text), low(first), high(last);
    const uint32_t length = address.Length();
    FUZZ_CHECK(low.Length() == length && high.Length() == length && low <= high);
    char network[KivIpAddr::kTextBufferSize];
    uint32_t back = 999, size = 0;
    FUZZ_CHECK(KivIpAddr::IpPrefixTextFromRangeText(first, last, network, sizeof network, &back));
    FUZZ_CHECK(back == (prefixLength < 8 * length ? prefixLength : 8 * length));
    FUZZ_CHECK(strcmp(network, first) == 0);
    uint8_t pair[32];
    FUZZ_CHECK(KivIpAddr::IpRangeBinaryFromPrefix(text, prefixLength, pair, &size) == 0);
    FUZZ_CHECK(size == 2 * length);
    FUZZ_CHECK(KivIpAddr::IpRangeBinaryFromPrefix(text, prefixLength, pair, &size) == 1);
    FUZZ_CHECK(memcmp(pair, low.Bytes(), length) == 0 &&
               memcmp(pair + length, high.Bytes(), length) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const uint32_t prefixLength = input.Byte();
    const std::string lineA = input.Until('\n'), lineB = input.Until('\n');
    const char *textA = lineA.c_str(), *textB = lineB.c_str();
    KivIpAddr a, v4, v6;
    const int parsed = a.Parse(textA), asV4 = v4.ParseV4(textA), asV6 = v6.ParseV6(textA);
    FUZZ_CHECK(parsed == (asV4 || asV6) && !(asV4 && asV6));
    FUZZ_CHECK(asV4 ? Same(a, v4) : (asV6 ? Same(a, v6) : a.Length() == 0));
    static const std::regex kOurExtensions(
        "[[:xdigit:]]{5}|\\.0[[:xdigit:]]|(^|[^[:xdigit:]])0[[:xdigit:]]+\\.");
    if (!std::regex_search(lineA, kOurExtensions)) {
        uint8_t theirs[16];
        FUZZ_CHECK(inet_pton(AF_INET, textA, theirs) == asV4);
        FUZZ_CHECK(!asV4 || memcmp(theirs, v4.Bytes(), 4) == 0);
        FUZZ_CHECK(inet_pton(AF_INET6, textA, theirs) == asV6);
        FUZZ_CHECK(!asV6 || memcmp(theirs, v6.Bytes(), 16) == 0);
    }
    const KivIpAddr b(textB);
    CheckText(a);
    CheckText(b);
    CheckOrder(a, b, textA, textB);

    // Any 4 or 16 bytes are an address with a text that reads back.
    uint8_t raw[32] = {};
    memcpy(raw, data + (size > 0 ? 1 : 0), size > 1 ? (size - 1 < 32 ? size - 1 : 32) : 0);
    const KivIpAddr fromV4(raw, 4), fromV6(raw, 16);
    KivIpAddr mapped(fromV4);
    FUZZ_CHECK(mapped.ToMapped() == 1 && mapped.Length() == 16 && mapped == fromV4);
    for (const KivIpAddr* address : {&fromV4, &fromV6, static_cast<const KivIpAddr*>(&mapped)})
        CheckText(*address);
    CheckOrder(fromV4, fromV6, fromV4.Text(), fromV6.Text());

    // Stream input takes the words Parse takes, and reads back what it writes.
    std::istringstream words(lineA + "\n" + lineB), in(lineA + "\n" + lineB);
    for (std::string word; words >> word;) {
        KivIpAddr read, expected;
        const bool ok = static_cast<bool>(in >> read);
        FUZZ_CHECK(ok == (expected.Parse(word.c_str()) == 1));
        if (!ok)
            break;
        FUZZ_CHECK(Same(read, expected));
    }
    std::ostringstream out;
    out << a;
    std::istringstream back(out.str());
    KivIpAddr read;
    FUZZ_CHECK(parsed ? static_cast<bool>(back >> read) && Same(read, a)
                      : out.str() == "(invalid IP address)");

    CheckRange(textA, prefixLength);
    char text[KivIpAddr::kTextBufferSize];
    uint32_t prefix = 0;
    for (uint32_t pairSize : {8u, 32u}) {
        KivIpAddr::IpPrefixTextFromRangeBinary(raw, pairSize, text, sizeof text, &prefix);
        FUZZ_CHECK(memchr(text, '\0', sizeof text) != nullptr);
    }
    return 0;
}
