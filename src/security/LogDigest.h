#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vantor::security {

// The digest that log signatures are made over: SHA-1's compression with the
// first twenty rounds using (B & C) | ~B | D, and no length padding; the text
// is cut into 64-byte blocks and the last one, partial or empty, is filled
// with zeros. Both differences are part of the signed format.
class LogDigest {
public:
    static constexpr std::size_t kBlockSize = 64;
    static constexpr std::size_t kSize = 20;
    using Value = std::array<std::uint8_t, kSize>;

    void reset();
    void update(std::span<const std::uint8_t> bytes);
    // Digests the pending bytes as the zero-filled last block (also when none
    // are pending) and returns H0..H4. The digest must be reset before reuse.
    Value finish();

    // The compression of one block into the state.
    void compress(std::span<const std::uint8_t, kBlockSize> block);

private:
    std::array<std::uint32_t, 5> h_{0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u,
                                    0xC3D2E1F0u};
    std::array<std::uint8_t, kBlockSize> pending_{};
    std::size_t fill_ = 0;
};

LogDigest::Value logDigestOf(std::span<const std::uint8_t> bytes);

}  // namespace vantor::security
