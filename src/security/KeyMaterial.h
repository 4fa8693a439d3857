#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vantor::security {

// The constants of the signature check, all big-endian. The values come from
// a generated source file chosen at build time (VANTOR_KEY_MATERIAL): our own
// test values, or the instrument maker's genuine ones.
struct KeyMaterial {
    static constexpr std::size_t kPublicKeys = 1000;
    static constexpr std::size_t kModulusSize = 64;
    static constexpr std::size_t kOrderSize = 20;

    std::array<std::uint8_t, kModulusSize> p;  // prime modulus
    std::array<std::uint8_t, kOrderSize> q;    // subgroup order
    std::array<std::uint8_t, kModulusSize> g;  // generator
    // Entry k (bytes 64 k to 64 k + 63) is the public key of key number k.
    std::array<std::uint8_t, kModulusSize * kPublicKeys> publicKeys;
    // Row k (bytes 16 k to 16 k + 15) is the nibble permutation of cipher round k.
    std::array<std::uint8_t, 128> permutation;
    // Bytes 0-7: XOR key and rotation amounts; bytes 8-15: subtraction key.
    std::array<std::uint8_t, 16> cipherKey;
};

const KeyMaterial& keyMaterial();

// False with our test values, under which no real instrument's log verifies.
bool genuineKeyMaterial();

}  // namespace vantor::security
