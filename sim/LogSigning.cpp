#include "LogSigning.h"

#include <algorithm>
#include <cstdio>
#include <span>

#include "TestSigningKeys.h"
#include "base/BigEndian.h"
#include "security/BigNumber.h"
#include "security/KeyMaterial.h"
#include "security/LogCrc.h"

namespace vantor::sim {

using security::BigNumber;
using security::KeyBlock;

namespace {

std::uint8_t nibble(const KeyBlock& b, std::size_t i) {
    return static_cast<std::uint8_t>(i % 2 == 0 ? b[i / 2] >> 4 : b[i / 2] & 0x0F);
}

void setNibble(KeyBlock& b, std::size_t i, std::uint8_t v) {
    b[i / 2] = i % 2 == 0 ? static_cast<std::uint8_t>((b[i / 2] & 0x0F) | (v << 4))
                          : static_cast<std::uint8_t>((b[i / 2] & 0xF0) | (v & 0x0F));
}

KeyBlock rotateLeft(const KeyBlock& b, unsigned bits) {
    if (bits == 0) return b;
    std::uint64_t v = 0;
    for (const std::uint8_t byte : b) v = v << 8 | byte;
    v = (v << bits) | (v >> (64 - bits));
    KeyBlock out{};
    for (std::size_t i = out.size(); i-- > 0;) {
        out[i] = static_cast<std::uint8_t>(v & 0xFF);
        v >>= 8;
    }
    return out;
}

// A number from the digest of some bytes, for the simulator's own choices.
BigNumber derived(std::span<const std::uint8_t> seed) {
    return BigNumber::fromBytes(security::logDigestOf(seed));
}

}  // namespace

KeyBlock encipherKeyBlock(const KeyBlock& plain) {
    const auto& key = security::keyMaterial().cipherKey;
    const auto& inverse = testSigningKeys().inversePermutation;
    KeyBlock b = plain;
    for (int pass = 0; pass < 8; ++pass) {
        for (std::size_t k = 8; k-- > 0;) {
            for (std::size_t j = 0; j < 8; ++j) {
                b[j] = static_cast<std::uint8_t>((b[j] + key[8 + j]) ^ key[j]);
            }
            b = rotateLeft(b, key[k] & 7u);
            KeyBlock unpermuted{};
            for (std::size_t i = 0; i < 16; ++i) {
                setNibble(unpermuted, i, nibble(b, inverse[16 * k + i]));
            }
            b = unpermuted;
        }
    }
    return b;
}

DsaSignature signDigest(const security::LogDigest::Value& digest, std::uint16_t keyNumber,
                        std::uint64_t nonce) {
    const auto& km = security::keyMaterial();
    const auto& keys = testSigningKeys();
    const BigNumber p = BigNumber::fromBytes(km.p);
    const BigNumber q = BigNumber::fromBytes(km.q);
    const BigNumber g = BigNumber::fromBytes(km.g);
    const std::size_t entry = keyNumber % 1000u;
    const BigNumber x = BigNumber::fromBytes(
        std::span<const std::uint8_t>(keys.privateKeys).subspan(20 * entry, 20));
    const BigNumber h = BigNumber::fromBytes(digest);

    // k from the key, the digest and the nonce, so a log is signed the same
    // way every time it is generated.
    std::array<std::uint8_t, 20 + 20 + 8 + 1> seed{};
    std::copy_n(keys.privateKeys.begin() + static_cast<std::ptrdiff_t>(20 * entry), 20,
                seed.begin());
    std::copy(digest.begin(), digest.end(), seed.begin() + 20);
    for (std::size_t i = 0; i < 8; ++i) seed[40 + i] = static_cast<std::uint8_t>(nonce >> (8 * i));
    DsaSignature out;
    for (std::uint8_t attempt = 0;; ++attempt) {
        seed[48] = attempt;
        const BigNumber k = BigNumber::mod(derived(seed), q);
        if (k.isZero()) continue;
        const BigNumber r = BigNumber::mod(BigNumber::powMod(g, k, p), q);
        const auto kInverse = BigNumber::inverse(k, q);
        if (r.isZero() || !kInverse) continue;
        const BigNumber sum = BigNumber::add(h, BigNumber::mulMod(x, r, q));
        const BigNumber s = BigNumber::mulMod(*kInverse, sum, q);
        if (s.isZero()) continue;
        r.toBytes(out.r);
        s.toBytes(out.s);
        return out;
    }
}

std::string signatureLines(std::string_view signedText, const Signing& signing) {
    const std::span<const std::uint8_t> text(
        reinterpret_cast<const std::uint8_t*>(signedText.data()), signedText.size());
    std::array<std::uint8_t, 96> block{};
    // The bytes the check does not read carry varying filler, as a real block would.
    std::array<std::uint8_t, 8> nonceBytes{};
    for (std::size_t i = 0; i < 8; ++i) {
        nonceBytes[i] = static_cast<std::uint8_t>(signing.nonce >> (8 * i));
    }
    const auto filler = security::logDigestOf(nonceBytes);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = filler[i % filler.size()];

    const std::span<std::uint8_t> b(block);
    storeBigEndian(signing.status, b.subspan(0, 2));
    storeBigEndian(security::logCrcOf(text), b.subspan(5, 4));
    DsaSignature signature;
    if (signing.status != 0x00FF) {
        signature = signDigest(security::logDigestOf(text), signing.keyNumber, signing.nonce);
    }
    std::copy(signature.r.begin(), signature.r.end(), block.begin() + 32);
    std::copy(signature.s.begin(), signature.s.end(), block.begin() + 64);
    KeyBlock key{};
    std::copy_n(block.begin() + 56, 8, key.begin());  // filler behind the number
    storeBigEndian(signing.keyNumber, std::span<std::uint8_t>(key).subspan(0, 2));
    const KeyBlock enciphered = encipherKeyBlock(key);
    std::copy(enciphered.begin(), enciphered.end(), block.begin() + 56);
    storeBigEndian(security::logCrcOf(b.subspan(0, 92)), b.subspan(92, 4));

    std::string lines;
    for (std::size_t line = 0; line < 3; ++line) {
        lines += 'G';
        for (std::size_t i = 0; i < 32; ++i) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02X", block[32 * line + i]);
            lines += hex;
        }
        lines += "\r\n";
    }
    return lines;
}

bool testKeysInUse() {
    return testSigningKeys().p == security::keyMaterial().p;
}

}  // namespace vantor::sim
