// Helpers of the DER, PEM and key codec tests: hex text to bytes and back, and a DER
// builder of the tests' own (independent of crypto/Der.h) that makes well-formed and
// deliberately broken encodings. In a namespace of their own, as other tests' helpers
// carry the same names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace keytest {

// Bytes from hex digits; blanks are ignored ("30 03" is two bytes).
inline std::string Unhex(const std::string& hex) {
    std::string bytes;
    int high = -1;
    for (char c : hex) {
        int v = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
        if (v < 0) {
            continue;
        }
        if (high < 0) {
            high = v;
        } else {
            bytes.push_back(static_cast<char>(high * 16 + v));
            high = -1;
        }
    }
    return bytes;
}

// Lower-case hex of bytes, without blanks.
inline std::string Hex(const void* data, size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i) {
        text.push_back(kDigits[p[i] >> 4]);
        text.push_back(kDigits[p[i] & 15]);
    }
    return text;
}
inline std::string Hex(const std::string& bytes) {
    return Hex(bytes.data(), bytes.size());
}

inline const uint8_t* Bytes(const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

// A tag and the shortest length field for `content`, then the content.
inline std::string Tlv(uint8_t tag, const std::string& content) {
    std::string out(1, static_cast<char>(tag));
    const size_t n = content.size();
    if (n < 0x80) {
        out.push_back(static_cast<char>(n));
    } else {
        std::string length;
        for (size_t rest = n; rest != 0; rest >>= 8) {
            length.insert(length.begin(), static_cast<char>(rest & 0xFF));
        }
        out.push_back(static_cast<char>(0x80 | length.size()));
        out += length;
    }
    return out + content;
}

// A non-negative INTEGER from a minimal big-endian magnitude ("" is zero).
inline std::string DerInt(const std::string& magnitude) {
    if (magnitude.empty()) {
        return Tlv(0x02, std::string(1, '\0'));
    }
    const bool sign = (static_cast<uint8_t>(magnitude[0]) & 0x80) != 0;
    return Tlv(0x02, (sign ? std::string(1, '\0') : std::string()) + magnitude);
}

} // namespace keytest
