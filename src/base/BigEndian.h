#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vantor {

// Numbers from the instrument, in the signature block and in the digest are
// stored most significant byte first; all access goes through these two.
inline std::uint32_t loadBigEndian(std::span<const std::uint8_t> bytes) {
    std::uint32_t value = 0;
    for (const std::uint8_t b : bytes) value = value << 8 | b;
    return value;
}

inline void storeBigEndian(std::uint32_t value, std::span<std::uint8_t> bytes) {
    for (std::size_t i = bytes.size(); i-- > 0;) {
        bytes[i] = static_cast<std::uint8_t>(value & 0xFF);
        value >>= 8;
    }
}

}  // namespace vantor
