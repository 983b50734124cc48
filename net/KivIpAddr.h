// KivIpAddr: one IPv4 or IPv6 address value, its text forms, socket-address conversion,
// ordering, and the static functions for address ranges and prefixes.
//
// The address is held as 16 bytes in network order with a length of 0 (no address: the
// value is "invalid"), 4 (IPv4, in the first 4 bytes, the rest zero) or 16 (IPv6).
// Wherever an IPv4 address is handed over as a 32-bit number it is a host-order number
// (127.0.0.1 is 0x7F000001); bytes are always in network order. IPv4-mapped IPv6
// addresses (::ffff:a.b.c.d) compare equal to the IPv4 address and are read by
// V4HostValue.
//
// Text forms: IPv4 is dotted decimal; on input each part may carry leading zeros and is
// still read as decimal (010 is 10, not 8). IPv6 is written compressed: the first
// longest run of at least two zero groups becomes "::", groups are lowercase hex without
// leading zeros, and a dotted IPv4 tail is used only for ::a.b.c.d (six zero groups) and
// ::ffff:a.b.c.d. On input the dotted tail is accepted wherever 4 bytes remain.
//
// A value is not thread-safe: Text writes the object's own buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>

struct sockaddr;

class KivIpAddr {
public:
    static constexpr uint32_t kV4Length = 4;
    static constexpr uint32_t kV6Length = 16;
    // Room for the longest text form (45 characters, ffff:ffff:ffff:ffff:ffff:ffff:
    // 255.255.255.255) and its terminator.
    static constexpr size_t kTextWorkSize = 46;
    // Size of the buffer that Text allocates on first use.
    static constexpr size_t kTextBufferSize = 64;

    // Construction and assignment. A copy never shares or takes the source's text
    // buffer; assignment keeps this object's own.
    KivIpAddr() noexcept;
    KivIpAddr(const KivIpAddr& other);
    explicit KivIpAddr(uint32_t hostV4) noexcept;
    explicit KivIpAddr(const char* text);
    // Copies `length` network-order bytes; length must be 4 or 16 (else invalid).
    KivIpAddr(const void* bytes, uint32_t length);
    KivIpAddr& operator=(const KivIpAddr& other);
    KivIpAddr& operator=(uint32_t hostV4) noexcept;
    virtual ~KivIpAddr();

    // Setters. Each clears the value first, except where noted (SetV4Host and SetV6 on a
    // wrong length, ToMapped, and FromMapped on a value that is not mapped); those with a
    // result return 1 on success and 0 otherwise, leaving the value invalid.
    void Clear() noexcept;
    void SetAny4() noexcept;
    void SetAny6() noexcept;
    void SetLoopback4() noexcept;
    void SetLoopback6() noexcept;
    int Parse(const char* text);   // IPv4 form, then IPv6 form
    int ParseV4(const char* text); // IPv4 form only
    int ParseV6(const char* text); // IPv6 form only
    int SetBytes(const void* bytes, uint32_t length);
    // Length 4: `bytes` addresses a host-order 32-bit number; 16: network-order bytes.
    int SetHost(const void* bytes, uint32_t length);
    // Only length 4 (a host-order number); another length returns 0 without change.
    int SetV4Host(const void* bytes, uint32_t length);
    // Only length 16; another length returns 0 without change.
    int SetV6(const void* bytes, uint32_t length);
    // AF_INET and AF_INET6 socket addresses; any other family (or null) leaves the value
    // invalid and returns 0.
    int FromSockaddr(const struct sockaddr* address);
    int ToMapped() noexcept;   // IPv4 becomes ::ffff:a.b.c.d; always 1
    int FromMapped() noexcept; // ::ffff:a.b.c.d becomes IPv4 (1); otherwise 0, unchanged

    // Queries.
    uint32_t Length() const noexcept { return length_; }
    const uint8_t* Bytes() const noexcept { return address_; }
    int Family() const noexcept; // the platform's AF_INET / AF_INET6, 0 when invalid
    uint32_t V4HostValue() const noexcept;
    uint8_t ByteAt(uint32_t index) const noexcept;
    int IsSet() const noexcept;
    int IsLoopback() const noexcept;
    int IsMapped() const noexcept;
    // Writes the text form; 1, or 0 (buffer emptied when size allows) for an invalid
    // value or when the text and its terminator do not fit.
    int ToText(char* buffer, size_t size) const;
    // The text form in the object's own buffer, valid until the next Text call or
    // destruction; the empty string for an invalid value.
    const char* Text() const;
    // Zeroes `size` bytes of `buffer` (at least 16) and fills the platform's
    // sockaddr_in, or sockaddr_in6 when size allows it (28 bytes); the port is host order.
    // 1 when an address was written, 0 otherwise.
    int ToSockaddr(void* buffer, size_t size, uint16_t port) const;

    // Comparison: IPv6 with IPv6 byte by byte; IPv4 with IPv4 or mapped IPv6 as host-order
    // numbers; any other pairing (invalid on either side, IPv4 against a non-mapped IPv6)
    // is neither equal nor ordered.
    bool operator==(const KivIpAddr& other) const noexcept;
    bool operator!=(const KivIpAddr& other) const noexcept;
    bool operator<(const KivIpAddr& other) const noexcept;
    bool operator<=(const KivIpAddr& other) const noexcept;
    bool operator>(const KivIpAddr& other) const noexcept;
    bool operator>=(const KivIpAddr& other) const noexcept;

    // Ranges. The Ipv4* pair works on network-order 32-bit values.
    static int Ipv4RangeFromPrefix(uint32_t network, uint32_t prefixLength, uint32_t* first,
                                   uint32_t* last) noexcept;
    static int Ipv4PrefixFromRange(uint32_t first, uint32_t last, uint32_t* network,
                                   uint32_t* prefixLength) noexcept;
    static int IpRangeFromPrefix(const KivIpAddr& address, uint32_t prefixLength, KivIpAddr* first,
                                 KivIpAddr* last) noexcept;
    static int IpPrefixFromRange(const KivIpAddr& first, const KivIpAddr& last,
                                 uint32_t* prefixLength) noexcept;
    static int IpRangeTextFromPrefix(const char* text, uint32_t prefixLength, char* firstText,
                                     size_t firstSize, char* lastText, size_t lastSize);
    // Writes first and last address as network-order bytes, one after the other.
    static int IpRangeBinaryFromPrefix(const char* text, uint32_t prefixLength, void* buffer,
                                       uint32_t* size);
    static int IpPrefixTextFromRangeText(const char* firstText, const char* lastText, char* outText,
                                         size_t outSize, uint32_t* prefixLength);
    // pairLength 8: two IPv4 host-order 32-bit numbers; 32: two 16-byte IPv6 addresses.
    static int IpPrefixTextFromRangeBinary(const void* pair, uint32_t pairLength, char* outText,
                                           size_t outSize, uint32_t* prefixLength);
    // operator 1 ==, 2 <, 3 >, 4 <=, 5 >=; other codes give 0.
    static int IpCompareText(int op, const char* textA, const char* textB);

private:
    uint8_t address_[kV6Length]; // network order; IPv4 in the first 4 bytes
    uint32_t length_;            // 0, 4 or 16
    mutable char* text_;         // kTextBufferSize bytes, allocated by Text on first use
};

// Writes Text, or "(invalid IP address)" for a value without an address.
std::ostream& operator<<(std::ostream& stream, const KivIpAddr& address);
// Reads one white-space-delimited word and parses it; a bad word sets the fail state.
std::istream& operator>>(std::istream& stream, KivIpAddr& address);
