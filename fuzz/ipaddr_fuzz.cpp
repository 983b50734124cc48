// KivIpAddr text input and output: Parse, ToText, the stream operators, the ordering and
// the text forms of ranges.
//
// Input: byte 0 is a prefix length; then two address texts, each ended by a LF; bytes 1
// to 32 of the input also serve as raw address bytes.
//
// Properties: the text written for an address parses back to the same address and is
// written again the same way; ToText needs exactly the text and its terminator; the
// stream input accepts a word exactly when Parse does; the orderings agree with each
// other and with IpCompareText; a range made from a prefix gives that prefix back; each
// form accepts what the C library's inet_pton accepts (with the same bytes), except the
// leading zeros in a dotted part and the groups of more than four digits that we read.
#include "net/KivIpAddr.h"

#include "fuzz/FuzzSupport.h"

#include <arpa/inet.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

bool Same(const KivIpAddr& a, const KivIpAddr& b) {
    return a.Length() == b.Length() && memcmp(a.Bytes(), b.Bytes(), sizeof(uint8_t) * 16) == 0;
}

// Writes the address, checks the size rule and the round trip; returns the text.
std::string CheckText(const KivIpAddr& address) {
    char text[KivIpAddr::kTextBufferSize];
    const int written = address.ToText(text, sizeof text);
    FUZZ_CHECK(strcmp(address.Text(), written ? text : "") == 0);
    if (address.Length() == 0) {
        FUZZ_CHECK(written == 0 && text[0] == '\0');
        return "";
    }
    FUZZ_CHECK(written == 1);
    const size_t length = strlen(text);
    FUZZ_CHECK(length < KivIpAddr::kTextWorkSize);

    ExactBuffer exact(length + 1);
    FUZZ_CHECK(address.ToText(exact.Get(), length + 1) == 1);
    FUZZ_CHECK(strcmp(exact.Get(), text) == 0);
    ExactBuffer tight(length);
    FUZZ_CHECK(address.ToText(tight.Get(), length) == 0);
    FUZZ_CHECK(length == 0 || tight.Get()[0] == '\0');

    KivIpAddr again;
    FUZZ_CHECK(again.Parse(text) == 1);
    FUZZ_CHECK(Same(again, address));
    FUZZ_CHECK(strcmp(again.Text(), text) == 0);
    return text;
}

void CheckOrder(const KivIpAddr& a, const KivIpAddr& b, const char* textA, const char* textB) {
    const bool equal = a == b;
    FUZZ_CHECK((a != b) == !equal);
    FUZZ_CHECK((b == a) == equal);
    FUZZ_CHECK(!(a < b && b < a));
    FUZZ_CHECK((a > b) == (b < a));
    FUZZ_CHECK((a <= b) == (a < b || equal));
    FUZZ_CHECK((a >= b) == (a > b || equal));
    FUZZ_CHECK(!(equal && a < b));
    if (a.Length() != 0)
        FUZZ_CHECK(a == a && a <= a && !(a < a));
    FUZZ_CHECK(KivIpAddr::IpCompareText(1, textA, textB) == (equal ? 1 : 0));
    FUZZ_CHECK(KivIpAddr::IpCompareText(2, textA, textB) == (a < b ? 1 : 0));
    FUZZ_CHECK(KivIpAddr::IpCompareText(3, textA, textB) == (a > b ? 1 : 0));
    FUZZ_CHECK(KivIpAddr::IpCompareText(4, textA, textB) == (a <= b ? 1 : 0));
    FUZZ_CHECK(KivIpAddr::IpCompareText(5, textA, textB) == (a >= b ? 1 : 0));
}

void CheckStream(const std::string& text) {
    // Words as the stream splits them: runs of bytes that are not white space.
    std::vector<std::string> words;
    std::string word;
    for (char c : text) {
        if (c == ' ' || (c >= '\t' && c <= '\r')) {
            if (!word.empty())
                words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty())
        words.push_back(word);

    std::istringstream in(text);
    for (const std::string& w : words) {
        KivIpAddr read;
        KivIpAddr parsed;
        const bool ok = static_cast<bool>(in >> read);
        FUZZ_CHECK(ok == (parsed.Parse(w.c_str()) == 1));
        if (!ok)
            return;
        FUZZ_CHECK(Same(read, parsed));
    }
}

void CheckRange(const char* text, uint32_t prefixLength) {
    char first[KivIpAddr::kTextBufferSize];
    char last[KivIpAddr::kTextBufferSize];
    if (!KivIpAddr::IpRangeTextFromPrefix(text, prefixLength, first, sizeof first, last,
                                          sizeof last))
        return;
    KivIpAddr address(text);
    KivIpAddr low(first);
    KivIpAddr high(last);
    FUZZ_CHECK(low.Length() == address.Length() && high.Length() == address.Length());
    FUZZ_CHECK(low <= high);
    char network[KivIpAddr::kTextBufferSize];
    uint32_t back = 999;
    FUZZ_CHECK(KivIpAddr::IpPrefixTextFromRangeText(first, last, network, sizeof network, &back) ==
               1);
    const uint32_t bits = 8 * address.Length();
    FUZZ_CHECK(back == (prefixLength < bits ? prefixLength : bits));
    FUZZ_CHECK(strcmp(network, first) == 0);

    uint8_t pair[32];
    uint32_t size = 0;
    FUZZ_CHECK(KivIpAddr::IpRangeBinaryFromPrefix(text, prefixLength, pair, &size) == 0);
    FUZZ_CHECK(size == 2 * address.Length());
    FUZZ_CHECK(KivIpAddr::IpRangeBinaryFromPrefix(text, prefixLength, pair, &size) == 1);
    FUZZ_CHECK(memcmp(pair, low.Bytes(), address.Length()) == 0);
    FUZZ_CHECK(memcmp(pair + address.Length(), high.Bytes(), address.Length()) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const uint32_t prefixLength = input.Byte();
    const std::string lineA = input.Until('\n');
    const std::string lineB = input.Until('\n');
    const char* textA = lineA.c_str();
    const char* textB = lineB.c_str();

    KivIpAddr a;
    const int parsed = a.Parse(textA);
    FUZZ_CHECK(parsed == 0 || parsed == 1);
    FUZZ_CHECK(parsed == 1 ? (a.Length() == 4 || a.Length() == 16) : a.Length() == 0);
    KivIpAddr v4;
    KivIpAddr v6;
    const int asV4 = v4.ParseV4(textA);
    const int asV6 = v6.ParseV6(textA);
    FUZZ_CHECK(parsed == (asV4 || asV6 ? 1 : 0));
    FUZZ_CHECK(!(asV4 && asV6));
    if (asV4)
        FUZZ_CHECK(a.Length() == 4 && Same(a, v4));
    if (asV6)
        FUZZ_CHECK(a.Length() == 16 && Same(a, v6));
    static const std::regex kOurExtensions(
        "[[:xdigit:]]{5}|\\.0[[:xdigit:]]|(^|[^[:xdigit:]])0[[:xdigit:]]+\\.");
    if (!std::regex_search(lineA, kOurExtensions)) {
        uint8_t theirs[16];
        FUZZ_CHECK(inet_pton(AF_INET, textA, theirs) == asV4);
        FUZZ_CHECK(!asV4 || memcmp(theirs, v4.Bytes(), 4) == 0);
        FUZZ_CHECK(inet_pton(AF_INET6, textA, theirs) == asV6);
        FUZZ_CHECK(!asV6 || memcmp(theirs, v6.Bytes(), 16) == 0);
    }
    CheckText(a);

    KivIpAddr b(textB);
    CheckText(b);
    CheckOrder(a, b, textA, textB);

    // Any 4 or 16 bytes are an address with a text that reads back.
    uint8_t raw[32] = {};
    memcpy(raw, data + (size > 0 ? 1 : 0), size > 1 ? (size - 1 < 32 ? size - 1 : 32) : 0);
    KivIpAddr fromV4(raw, 4);
    KivIpAddr fromV6(raw, 16);
    CheckText(fromV4);
    CheckText(fromV6);
    CheckOrder(fromV4, fromV6, fromV4.Text(), fromV6.Text());
    KivIpAddr mapped(fromV4);
    FUZZ_CHECK(mapped.ToMapped() == 1 && mapped.Length() == 16 && mapped == fromV4);
    CheckText(mapped);

    // Stream input and output.
    CheckStream(lineA + "\n" + lineB);
    std::ostringstream out;
    out << a;
    if (parsed) {
        std::istringstream in(out.str());
        KivIpAddr read;
        FUZZ_CHECK(static_cast<bool>(in >> read) && Same(read, a));
    } else {
        FUZZ_CHECK(out.str() == "(invalid IP address)");
    }

    CheckRange(textA, prefixLength);
    char text[KivIpAddr::kTextBufferSize];
    uint32_t back = 0;
    KivIpAddr::IpPrefixTextFromRangeBinary(raw, 8, text, sizeof text, &back);
    FUZZ_CHECK(memchr(text, '\0', sizeof text) != nullptr);
    KivIpAddr::IpPrefixTextFromRangeBinary(raw, 32, text, sizeof text, &back);
    FUZZ_CHECK(memchr(text, '\0', sizeof text) != nullptr);
    return 0;
}
