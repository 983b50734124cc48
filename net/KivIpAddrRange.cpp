// Address ranges and prefixes: prefix length to first and last address and back, on
// values, on texts and on packed binary pairs.
//
// Byte order of the two binary forms: IpRangeBinaryFromPrefix writes network-order bytes
// (as Bytes gives them, for either family), while IpPrefixTextFromRangeBinary reads an
// IPv4 pair as two host-order 32-bit numbers, which is how the attribute list carries an
// IPv4 address range (FormatValue reads the same 8 bytes). The two are kept apart on
// purpose: each matches the neighbour it is used with, and neither is meant to read the
// other's output for IPv4. IPv6 pairs are network-order bytes in both.
#include "net/KivIpAddr.h"

#include "compat/win32.h"

#include <cstring>

namespace {

// Host-order mask of `prefixLength` leading one bits; lengths above 32 give all ones.
uint32_t HostMask(uint32_t prefixLength) noexcept {
    if (prefixLength == 0)
        return 0;
    if (prefixLength >= 32)
        return 0xFFFFFFFFu;
    return 0xFFFFFFFFu << (32 - prefixLength);
}

// Number of leading bits in which a and b agree, over the first `bytes` bytes of each.
uint32_t LeadingEqualBits(const uint8_t* a, const uint8_t* b, uint32_t bytes) noexcept {
    uint32_t count = 0;
    for (uint32_t i = 0; i < bytes; ++i) {
        uint8_t diff = static_cast<uint8_t>(a[i] ^ b[i]);
        if (diff == 0) {
            count += 8;
            continue;
        }
        for (uint8_t bit = 0x80; (diff & bit) == 0; bit = static_cast<uint8_t>(bit >> 1))
            ++count;
        break;
    }
    return count;
}

// Whether every bit from `prefixLength` on is 0 in `first` and 1 in `last`.
bool IsExactBlock(const uint8_t* first, const uint8_t* last, uint32_t bytes,
                  uint32_t prefixLength) noexcept {
    for (uint32_t bit = prefixLength; bit < bytes * 8; ++bit) {
        uint8_t mask = static_cast<uint8_t>(0x80u >> (bit % 8));
        if ((first[bit / 8] & mask) != 0 || (last[bit / 8] & mask) == 0)
            return false;
    }
    return true;
}

// Shared tail of the two range-to-prefix text functions: the families must match, the
// text of `first` is written as given, and the result needs an exact block and room.
int PrefixTextFromRange(const KivIpAddr& first, const KivIpAddr& last, char* outText,
                        size_t outSize, uint32_t* prefixLength) {
    if (outText != nullptr && outSize > 0)
        outText[0] = '\0';
    if (first.Length() == 0 || first.Length() != last.Length())
        return 0;
    int exact = KivIpAddr::IpPrefixFromRange(first, last, prefixLength);
    int written = first.ToText(outText, outSize);
    return exact && written;
}

} // namespace

// Prefix lengths above 32 are taken as 32 (a single address): the mask cannot hold more
// bits, and the function fails for null outputs only.
int KivIpAddr::Ipv4RangeFromPrefix(uint32_t network, uint32_t prefixLength, uint32_t* first,
                                   uint32_t* last) noexcept {
    if (first == nullptr || last == nullptr)
        return 0;
    uint32_t mask = htonl(HostMask(prefixLength));
    *first = network & mask;
    *last = network | ~mask;
    return 1;
}

int KivIpAddr::Ipv4PrefixFromRange(uint32_t first, uint32_t last, uint32_t* network,
                                   uint32_t* prefixLength) noexcept {
    if (network == nullptr || prefixLength == nullptr)
        return 0;
    uint32_t low = ntohl(first);
    uint32_t high = ntohl(last);
    uint32_t diff = low ^ high;
    uint32_t length = 0;
    while (length < 32 && (diff & (0x80000000u >> length)) == 0)
        ++length;
    *prefixLength = length;
    if (length == 32) {
        *network = first;
        return 1;
    }
    uint32_t mask = HostMask(length);
    *network = htonl(low & mask);
    return (low & ~mask) == 0 && (high & ~mask) == ~mask;
}

// A prefix length above 128 is refused (result 0, outputs untouched): it names no block
// of either family.
int KivIpAddr::IpRangeFromPrefix(const KivIpAddr& address, uint32_t prefixLength, KivIpAddr* first,
                                 KivIpAddr* last) noexcept {
    if (first == nullptr || last == nullptr || prefixLength > 128)
        return 0;
    uint32_t length = address.Length();
    if (length != kV4Length && length != kV6Length)
        return 0;
    // Work on copies: first or last may be the address itself.
    uint8_t source[kV6Length];
    memcpy(source, address.Bytes(), sizeof source);
    uint8_t low[kV6Length] = {};
    uint8_t high[kV6Length] = {};
    for (uint32_t i = 0; i < length; ++i) {
        uint32_t bitsHere = prefixLength > i * 8 ? prefixLength - i * 8 : 0;
        uint8_t mask = bitsHere >= 8 ? 0xFF : static_cast<uint8_t>(0xFF00u >> bitsHere);
        low[i] = static_cast<uint8_t>(source[i] & mask);
        high[i] = static_cast<uint8_t>(source[i] | static_cast<uint8_t>(~mask));
    }
    first->SetBytes(low, length);
    last->SetBytes(high, length);
    return 1;
}

// Two values without an address agree over their zero bits: prefix 0, an exact block.
int KivIpAddr::IpPrefixFromRange(const KivIpAddr& first, const KivIpAddr& last,
                                 uint32_t* prefixLength) noexcept {
    uint32_t length = first.Length();
    if (prefixLength == nullptr || length != last.Length())
        return 0;
    uint32_t equal = LeadingEqualBits(first.Bytes(), last.Bytes(), length);
    *prefixLength = equal;
    return IsExactBlock(first.Bytes(), last.Bytes(), length, equal) ? 1 : 0;
}

int KivIpAddr::IpRangeTextFromPrefix(const char* text, uint32_t prefixLength, char* firstText,
                                     size_t firstSize, char* lastText, size_t lastSize) {
    if (firstText != nullptr && firstSize > 0)
        firstText[0] = '\0';
    if (lastText != nullptr && lastSize > 0)
        lastText[0] = '\0';
    KivIpAddr address(text);
    KivIpAddr first;
    KivIpAddr last;
    if (!IpRangeFromPrefix(address, prefixLength, &first, &last))
        return 0;
    int firstOk = first.ToText(firstText, firstSize);
    int lastOk = last.ToText(lastText, lastSize);
    return firstOk && lastOk;
}

int KivIpAddr::IpRangeBinaryFromPrefix(const char* text, uint32_t prefixLength, void* buffer,
                                       uint32_t* size) {
    if (size == nullptr)
        return 0;
    KivIpAddr address(text);
    uint32_t length = address.Length();
    if (length == 0)
        return 0;
    uint32_t need = 2 * length;
    if (*size < need || buffer == nullptr) {
        *size = need;
        return 0;
    }
    *size = need;
    KivIpAddr first;
    KivIpAddr last;
    if (!IpRangeFromPrefix(address, prefixLength, &first, &last))
        return 0;
    uint8_t* out = static_cast<uint8_t*>(buffer);
    memcpy(out, first.Bytes(), length);
    memcpy(out + length, last.Bytes(), length);
    return 1;
}

int KivIpAddr::IpPrefixTextFromRangeText(const char* firstText, const char* lastText, char* outText,
                                         size_t outSize, uint32_t* prefixLength) {
    KivIpAddr first(firstText);
    KivIpAddr last(lastText);
    return PrefixTextFromRange(first, last, outText, outSize, prefixLength);
}

int KivIpAddr::IpPrefixTextFromRangeBinary(const void* pair, uint32_t pairLength, char* outText,
                                           size_t outSize, uint32_t* prefixLength) {
    KivIpAddr first;
    KivIpAddr last;
    if (pair != nullptr && pairLength == 2 * kV4Length) {
        const uint8_t* bytes = static_cast<const uint8_t*>(pair);
        first.SetV4Host(bytes, kV4Length);
        last.SetV4Host(bytes + kV4Length, kV4Length);
    } else if (pair != nullptr && pairLength == 2 * kV6Length) {
        const uint8_t* bytes = static_cast<const uint8_t*>(pair);
        first.SetBytes(bytes, kV6Length);
        last.SetBytes(bytes + kV6Length, kV6Length);
    }
    return PrefixTextFromRange(first, last, outText, outSize, prefixLength);
}

int KivIpAddr::IpCompareText(int op, const char* textA, const char* textB) {
    KivIpAddr a(textA);
    KivIpAddr b(textB);
    switch (op) {
    case 1:
        return a == b;
    case 2:
        return a < b;
    case 3:
        return a > b;
    case 4:
        return a <= b;
    case 5:
        return a >= b;
    default:
        return 0;
    }
}
