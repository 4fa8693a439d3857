#include "security/Signature.h"

#include "security/BigNumber.h"
#include "security/KeyMaterial.h"

namespace vantor::security {
namespace {

std::uint8_t nibble(const KeyBlock& b, std::size_t i) {
    return static_cast<std::uint8_t>(i % 2 == 0 ? b[i / 2] >> 4 : b[i / 2] & 0x0F);
}

void setNibble(KeyBlock& b, std::size_t i, std::uint8_t v) {
    if (i % 2 == 0) {
        b[i / 2] = static_cast<std::uint8_t>((b[i / 2] & 0x0F) | (v << 4));
    } else {
        b[i / 2] = static_cast<std::uint8_t>((b[i / 2] & 0xF0) | (v & 0x0F));
    }
}

KeyBlock rotateRight(const KeyBlock& b, unsigned bits) {
    if (bits == 0) return b;
    std::uint64_t v = 0;
    for (const std::uint8_t byte : b) v = v << 8 | byte;
    v = (v >> bits) | (v << (64 - bits));
    KeyBlock out{};
    for (std::size_t i = out.size(); i-- > 0;) {
        out[i] = static_cast<std::uint8_t>(v & 0xFF);
        v >>= 8;
    }
    return out;
}

}  // namespace

KeyBlock decipherKeyBlock(const KeyBlock& block, std::span<const std::uint8_t, 128> permutation,
                          std::span<const std::uint8_t, 16> cipherKey) {
    KeyBlock b = block;
    for (int pass = 0; pass < 8; ++pass) {
        for (std::size_t k = 0; k < 8; ++k) {
            KeyBlock permuted{};
            for (std::size_t i = 0; i < 16; ++i) {
                // Masked so that a table entry above 15 cannot read past the block.
                setNibble(permuted, i, nibble(b, permutation[16 * k + i] & 0x0Fu));
            }
            b = rotateRight(permuted, cipherKey[k] & 7u);
            for (std::size_t j = 0; j < 8; ++j) {
                b[j] = static_cast<std::uint8_t>((b[j] ^ cipherKey[j]) - cipherKey[8 + j]);
            }
        }
    }
    return b;
}

KeyBlock decipherKeyBlock(const KeyBlock& block) {
    const KeyMaterial& km = keyMaterial();
    return decipherKeyBlock(block, km.permutation, km.cipherKey);
}

bool verifySignature(const SignatureNumber& digest, const SignatureNumber& r,
                     const SignatureNumber& s, std::uint16_t keyNumber) {
    const KeyMaterial& km = keyMaterial();
    const BigNumber p = BigNumber::fromBytes(km.p);
    const BigNumber q = BigNumber::fromBytes(km.q);
    const BigNumber g = BigNumber::fromBytes(km.g);
    const std::size_t entry = keyNumber % KeyMaterial::kPublicKeys;
    const BigNumber y = BigNumber::fromBytes(
        std::span<const std::uint8_t>(km.publicKeys)
            .subspan(entry * KeyMaterial::kModulusSize, KeyMaterial::kModulusSize));
    const BigNumber rn = BigNumber::fromBytes(r);
    const BigNumber sn = BigNumber::fromBytes(s);
    // Outside 1..q-1 a signature proves nothing: with s = 0 the inverse would
    // come out as 0, v as 1, and r = 1 would pass for any log.
    if (rn.isZero() || sn.isZero() || compare(rn, q) >= 0 || compare(sn, q) >= 0) return false;

    const auto w = BigNumber::inverse(sn, q);
    if (!w) return false;
    const BigNumber u1 = BigNumber::mulMod(BigNumber::fromBytes(digest), *w, q);
    const BigNumber u2 = BigNumber::mulMod(rn, *w, q);
    const BigNumber v = BigNumber::mod(BigNumber::powMod2(g, u1, y, u2, p), q);
    return v == rn;
}

}  // namespace vantor::security
