// Helpers of the DER, PEM and key codec tests: a DER builder of the tests' own
// (independent of crypto/Der.h) that makes well-formed and deliberately broken encodings.
#pragma once

#include "CryptoTestHelpers.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace keytest {

inline std::string Hex(const std::string& bytes) {
    return ::Hex(bytes.data(), bytes.size());
}

inline const uint8_t* U8(const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

// A tag and the shortest length field for `content`, then the content.
inline std::string Tlv(uint8_t tag, const std::string& content) {
    std::string length;
    for (size_t rest = content.size(); rest != 0 && content.size() >= 0x80; rest >>= 8)
        length.insert(length.begin(), static_cast<char>(rest & 0xFF));
    const size_t first = length.empty() ? content.size() : 0x80 | length.size();
    return std::string(1, static_cast<char>(tag)) + static_cast<char>(first) + length + content;
}

// A non-negative INTEGER from a minimal big-endian magnitude ("" is zero).
inline std::string DerInt(const std::string& magnitude) {
    const bool pad = magnitude.empty() || (static_cast<uint8_t>(magnitude[0]) & 0x80) != 0;
    return Tlv(0x02, (pad ? std::string(1, '\0') : std::string()) + magnitude);
}

} // namespace keytest
