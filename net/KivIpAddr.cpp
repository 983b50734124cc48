// Construction, setters, queries, comparison and socket-address conversion of KivIpAddr.
// Text forms live in KivIpAddrText.cpp, the range functions in KivIpAddrRange.cpp.
#include "net/KivIpAddr.h"

#include "compat/win32.h"

#include <cstdlib>
#include <cstring>

namespace {

const uint8_t kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};

uint32_t LoadBigEndian32(const uint8_t* p) noexcept {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

void StoreBigEndian32(uint8_t* p, uint32_t value) noexcept {
    p[0] = static_cast<uint8_t>(value >> 24);
    p[1] = static_cast<uint8_t>(value >> 16);
    p[2] = static_cast<uint8_t>(value >> 8);
    p[3] = static_cast<uint8_t>(value);
}

// Orders two values by the comparison rules: two IPv6 values by their bytes, an IPv4
// value against an IPv4 or a mapped IPv6 value by host-order numbers. Returns false when
// the pair has no order at all; otherwise *order is negative, zero or positive.
bool CompareValues(const KivIpAddr& a, const KivIpAddr& b, int* order) noexcept {
    if (a.Length() == KivIpAddr::kV6Length && b.Length() == KivIpAddr::kV6Length) {
        *order = memcmp(a.Bytes(), b.Bytes(), KivIpAddr::kV6Length);
        return true;
    }
    bool aV4 = a.Length() == KivIpAddr::kV4Length;
    bool bV4 = b.Length() == KivIpAddr::kV4Length;
    if (!(aV4 || bV4) || !(aV4 || a.IsMapped()) || !(bV4 || b.IsMapped()))
        return false;
    uint32_t x = a.V4HostValue();
    uint32_t y = b.V4HostValue();
    *order = x < y ? -1 : (x > y ? 1 : 0);
    return true;
}

} // namespace

KivIpAddr::KivIpAddr() noexcept : address_(), length_(0), text_(nullptr) {}

KivIpAddr::KivIpAddr(const KivIpAddr& other) : address_(), length_(0), text_(nullptr) {
    memcpy(address_, other.address_, sizeof address_);
    length_ = other.length_;
}

KivIpAddr::KivIpAddr(uint32_t hostV4) noexcept : address_(), length_(0), text_(nullptr) {
    *this = hostV4;
}

KivIpAddr::KivIpAddr(const char* text) : address_(), length_(0), text_(nullptr) {
    Parse(text);
}

KivIpAddr::KivIpAddr(const void* bytes, uint32_t length) : address_(), length_(0), text_(nullptr) {
    SetBytes(bytes, length);
}

KivIpAddr& KivIpAddr::operator=(const KivIpAddr& other) {
    if (this != &other) {
        Clear();
        memcpy(address_, other.address_, sizeof address_);
        length_ = other.length_;
    }
    return *this;
}

KivIpAddr& KivIpAddr::operator=(uint32_t hostV4) noexcept {
    Clear();
    StoreBigEndian32(address_, hostV4);
    length_ = kV4Length;
    return *this;
}

KivIpAddr::~KivIpAddr() {
    free(text_);
    text_ = nullptr;
}

void KivIpAddr::Clear() noexcept {
    memset(address_, 0, sizeof address_);
    length_ = 0;
}

void KivIpAddr::SetAny4() noexcept {
    Clear();
    length_ = kV4Length;
}

void KivIpAddr::SetAny6() noexcept {
    Clear();
    length_ = kV6Length;
}

void KivIpAddr::SetLoopback4() noexcept {
    *this = 0x7F000001u;
}

void KivIpAddr::SetLoopback6() noexcept {
    Clear();
    address_[15] = 1;
    length_ = kV6Length;
}

int KivIpAddr::SetBytes(const void* bytes, uint32_t length) {
    Clear();
    if (bytes == nullptr || (length != kV4Length && length != kV6Length))
        return 0;
    memcpy(address_, bytes, length);
    length_ = length;
    return 1;
}

int KivIpAddr::SetHost(const void* bytes, uint32_t length) {
    Clear();
    if (bytes == nullptr)
        return 0;
    if (length == kV4Length)
        return SetV4Host(bytes, length);
    if (length == kV6Length)
        return SetBytes(bytes, length);
    return 0;
}

int KivIpAddr::SetV4Host(const void* bytes, uint32_t length) {
    if (bytes == nullptr || length != kV4Length)
        return 0;
    uint32_t host;
    memcpy(&host, bytes, sizeof host); // a host-order number in the platform's own layout
    *this = host;
    return 1;
}

int KivIpAddr::SetV6(const void* bytes, uint32_t length) {
    if (bytes == nullptr || length != kV6Length)
        return 0;
    return SetBytes(bytes, length);
}

int KivIpAddr::FromSockaddr(const struct sockaddr* address) {
    Clear();
    if (address == nullptr)
        return 0;
    // The caller's structure may be any of the socket-address types; read the family
    // first and then copy out the layout that family promises.
    sockaddr head;
    memcpy(&head, address, sizeof head);
    if (head.sa_family == AF_INET) {
        sockaddr_in v4;
        memcpy(&v4, address, sizeof v4);
        return SetBytes(&v4.sin_addr, kV4Length);
    }
    if (head.sa_family == AF_INET6) {
        sockaddr_in6 v6;
        memcpy(&v6, address, sizeof v6);
        return SetBytes(&v6.sin6_addr, kV6Length);
    }
    return 0;
}

int KivIpAddr::ToMapped() noexcept {
    if (length_ == kV4Length) {
        uint8_t v4[4];
        memcpy(v4, address_, sizeof v4);
        memcpy(address_, kMappedPrefix, sizeof kMappedPrefix);
        memcpy(address_ + 12, v4, sizeof v4);
        length_ = kV6Length;
    }
    return 1;
}

int KivIpAddr::FromMapped() noexcept {
    if (!IsMapped())
        return 0;
    *this = V4HostValue();
    return 1;
}

int KivIpAddr::Family() const noexcept {
    if (length_ == kV4Length)
        return AF_INET;
    if (length_ == kV6Length)
        return AF_INET6;
    return 0;
}

uint32_t KivIpAddr::V4HostValue() const noexcept {
    if (length_ == kV4Length)
        return LoadBigEndian32(address_);
    if (IsMapped())
        return LoadBigEndian32(address_ + 12);
    return 0;
}

uint8_t KivIpAddr::ByteAt(uint32_t index) const noexcept {
    return index < length_ ? address_[index] : 0;
}

int KivIpAddr::IsSet() const noexcept {
    for (uint32_t i = 0; i < length_; ++i)
        if (address_[i] != 0)
            return 1;
    return 0;
}

int KivIpAddr::IsLoopback() const noexcept {
    if (length_ == kV4Length)
        return LoadBigEndian32(address_) == 0x7F000001u;
    if (length_ == kV6Length) {
        static const uint8_t loopback[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
        return memcmp(address_, loopback, sizeof loopback) == 0;
    }
    return 0;
}

int KivIpAddr::IsMapped() const noexcept {
    return length_ == kV6Length && memcmp(address_, kMappedPrefix, sizeof kMappedPrefix) == 0;
}

int KivIpAddr::ToSockaddr(void* buffer, size_t size, uint16_t port) const {
    if (buffer == nullptr)
        return 0;
    memset(buffer, 0, size);
    // Built in properly aligned locals and copied out: the caller's buffer need not be
    // aligned for the socket-address types.
    if (length_ == kV4Length && size >= sizeof(sockaddr_in)) {
        sockaddr_in v4;
        memset(&v4, 0, sizeof v4);
        v4.sin_family = static_cast<decltype(v4.sin_family)>(AF_INET);
        v4.sin_port = htons(port);
        memcpy(&v4.sin_addr, address_, kV4Length);
        memcpy(buffer, &v4, sizeof v4);
        return 1;
    }
    if (length_ == kV6Length && size >= sizeof(sockaddr_in6)) {
        sockaddr_in6 v6;
        memset(&v6, 0, sizeof v6);
        v6.sin6_family = static_cast<decltype(v6.sin6_family)>(AF_INET6);
        v6.sin6_port = htons(port);
        memcpy(&v6.sin6_addr, address_, kV6Length);
        memcpy(buffer, &v6, sizeof v6);
        return 1;
    }
    return 0;
}

bool KivIpAddr::operator==(const KivIpAddr& other) const noexcept {
    int order;
    return CompareValues(*this, other, &order) && order == 0;
}

bool KivIpAddr::operator!=(const KivIpAddr& other) const noexcept {
    return !(*this == other);
}

bool KivIpAddr::operator<(const KivIpAddr& other) const noexcept {
    int order;
    return CompareValues(*this, other, &order) && order < 0;
}

bool KivIpAddr::operator<=(const KivIpAddr& other) const noexcept {
    int order;
    return CompareValues(*this, other, &order) && order <= 0;
}

bool KivIpAddr::operator>(const KivIpAddr& other) const noexcept {
    int order;
    return CompareValues(*this, other, &order) && order > 0;
}

bool KivIpAddr::operator>=(const KivIpAddr& other) const noexcept {
    int order;
    return CompareValues(*this, other, &order) && order >= 0;
}
