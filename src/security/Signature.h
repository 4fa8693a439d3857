#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace vantor::security {

using KeyBlock = std::array<std::uint8_t, 8>;
using SignatureNumber = std::array<std::uint8_t, 20>;  // r, s or a digest, big-endian

// The key-number cipher: eight passes of eight rounds, each permuting the 16
// nibbles by one row of the permutation table, rotating the 64-bit block right
// and mixing every byte with the cipher key. The key number is byte 0 x 256 +
// byte 1 of the result.
KeyBlock decipherKeyBlock(const KeyBlock& block);
KeyBlock decipherKeyBlock(const KeyBlock& block, std::span<const std::uint8_t, 128> permutation,
                          std::span<const std::uint8_t, 16> cipherKey);

// DSA verification of (r, s) over the digest with public key number
// keyNumber mod 1000. r and s outside 1..q-1 never verify.
bool verifySignature(const SignatureNumber& digest, const SignatureNumber& r,
                     const SignatureNumber& s, std::uint16_t keyNumber);

}  // namespace vantor::security
