// The CRC, the digest, the big numbers and the signature check against values
// computed independently (the given reference values, and the key generator's
// own arithmetic).

#include <gtest/gtest.h>

#include <initializer_list>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "LogSigning.h"
#include "TestSigningKeys.h"
#include "security/BigNumber.h"
#include "security/KeyMaterial.h"
#include "security/LogCrc.h"
#include "security/LogDigest.h"
#include "security/Signature.h"

namespace vantor::security {
namespace {

std::span<const std::uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string hex(std::span<const std::uint8_t> bytes) {
    std::string out;
    for (const auto b : bytes) {
        constexpr char kDigits[] = "0123456789abcdef";
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

TEST(LogCrcAndDigest, ReferenceValues) {
    EXPECT_EQ(logCrcOf(bytesOf("abc")), 0x601A1835u);
    EXPECT_EQ(hex(logDigestOf(bytesOf("abc"))), "589a669e1635133abc3fdc7aff80bf4bf29558b0");
    // 64 bytes are two blocks, the second all zeros; and the empty text is
    // one zero block (values from a separate implementation).
    const std::string line = "A" + std::string(61, 'B') + "\r\n";
    EXPECT_EQ(hex(logDigestOf(bytesOf(line))), "7aef47819ea116168201947c8f5087a98da7a090");
    EXPECT_EQ(logCrcOf(bytesOf(line)), 0x798FDDA4u);
    EXPECT_EQ(hex(logDigestOf({})), "79819d5288cb781fe44cf7cc3bf18c5ff5c65182");

    // Pieces of any size give the same digest as the whole.
    LogDigest pieces;
    for (char c : line) pieces.update(bytesOf(std::string_view(&c, 1)));
    EXPECT_EQ(pieces.finish(), logDigestOf(bytesOf(line)));
}

BigNumber randomNumber(std::mt19937_64& rng, std::size_t bytes) {
    std::vector<std::uint8_t> b(bytes);
    const auto pattern = rng() % 4;
    for (auto& x : b) {
        // Runs of all-ones and all-zeros words are where long division goes wrong.
        x = pattern == 0   ? 0xFF
            : pattern == 1 ? static_cast<std::uint8_t>(rng()) | 0x80
                           : static_cast<std::uint8_t>(rng());
    }
    if (!b.empty() && pattern == 3) b[0] = 1;
    return BigNumber::fromBytes(b);
}

TEST(BigNumber, DivisionIsExact) {
    std::mt19937_64 rng(42);
    for (int i = 0; i < 3000; ++i) {
        const BigNumber a = randomNumber(rng, 1 + rng() % 144);
        const BigNumber b = randomNumber(rng, 1 + rng() % 72);
        if (b.isZero()) continue;
        BigNumber r;
        const auto q = BigNumber::divide(a, b, &r);
        ASSERT_TRUE(q);
        ASSERT_LT(compare(r, b), 0) << i;
        ASSERT_EQ(BigNumber::add(BigNumber::multiply(*q, b), r), a) << i;
    }
    EXPECT_FALSE(BigNumber::divide(BigNumber(5), BigNumber{}, nullptr));
    EXPECT_EQ(BigNumber::mod(BigNumber(5), BigNumber{}), BigNumber{});
}

TEST(BigNumber, InverseAndPowers) {
    const auto& km = keyMaterial();
    const BigNumber q = BigNumber::fromBytes(km.q);
    std::mt19937_64 rng(7);
    for (int i = 0; i < 50; ++i) {
        const BigNumber s = BigNumber::mod(randomNumber(rng, 20), q);
        const auto w = BigNumber::inverse(s, q);
        if (s.isZero()) {
            EXPECT_FALSE(w);
            continue;
        }
        ASSERT_TRUE(w);
        EXPECT_EQ(BigNumber::mulMod(s, *w, q), BigNumber(1));
    }
    EXPECT_FALSE(BigNumber::inverse(BigNumber(6), BigNumber(9)));
    EXPECT_EQ(*BigNumber::inverse(BigNumber(3), BigNumber(7)), BigNumber(5));

    EXPECT_EQ(BigNumber::powMod(BigNumber(7), BigNumber(560), BigNumber(561)), BigNumber(1));
    EXPECT_EQ(BigNumber::powMod(BigNumber(2), BigNumber(10), BigNumber(1000)), BigNumber(24));
    EXPECT_EQ(BigNumber::powMod(BigNumber(2), BigNumber(0), BigNumber(1000)), BigNumber(1));

    // The public keys were made by the generator as g^x mod p.
    const auto& keys = vantor::sim::testSigningKeys();
    if (!vantor::sim::testKeysInUse()) GTEST_SKIP() << "built with other key material";
    const BigNumber p = BigNumber::fromBytes(km.p);
    const BigNumber g = BigNumber::fromBytes(km.g);
    for (const std::size_t k : {0u, 7u, 999u}) {
        const auto x = std::span<const std::uint8_t>(keys.privateKeys).subspan(20 * k, 20);
        const auto y = std::span<const std::uint8_t>(km.publicKeys).subspan(64 * k, 64);
        EXPECT_EQ(BigNumber::powMod(g, BigNumber::fromBytes(x), p), BigNumber::fromBytes(y)) << k;
    }
}

class SignatureTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!vantor::sim::testKeysInUse()) GTEST_SKIP() << "built with other key material";
    }
    const vantor::sim::TestSigningKeys& keys = vantor::sim::testSigningKeys();
};

TEST_F(SignatureTest, GeneratorsSignatureHoldsForItsKeyNumberModulo1000) {
    for (const std::uint16_t key : std::initializer_list<std::uint16_t>{7, 1007, 2007}) {
        EXPECT_TRUE(verifySignature(keys.referenceDigest, keys.referenceR, keys.referenceS, key))
            << key;
    }
    EXPECT_EQ(keys.referenceKey, 7);
    EXPECT_FALSE(verifySignature(keys.referenceDigest, keys.referenceR, keys.referenceS, 8));
}

TEST_F(SignatureTest, AnySingleByteChangeFails) {
    for (std::size_t part = 0; part < 3; ++part) {
        for (std::size_t i = 0; i < 20; ++i) {
            SignatureNumber digest = keys.referenceDigest;
            SignatureNumber r = keys.referenceR;
            SignatureNumber s = keys.referenceS;
            SignatureNumber& changed = part == 0 ? digest : part == 1 ? r : s;
            changed[i] ^= static_cast<std::uint8_t>(1u << (i % 8));
            EXPECT_FALSE(verifySignature(digest, r, s, 7)) << part << " " << i;
        }
    }
}

TEST_F(SignatureTest, ZeroAndOutOfRangeNumbersFail) {
    const SignatureNumber zero{};
    SignatureNumber one{};
    one[19] = 1;
    SignatureNumber q{};
    std::copy(keyMaterial().q.begin(), keyMaterial().q.end(), q.begin());
    EXPECT_FALSE(verifySignature(keys.referenceDigest, zero, keys.referenceS, 7));
    EXPECT_FALSE(verifySignature(keys.referenceDigest, keys.referenceR, zero, 7));
    // With s = 0 the inverse would be taken as 0 and v as 1: r = 1 must not pass.
    EXPECT_FALSE(verifySignature(keys.referenceDigest, one, zero, 7));
    EXPECT_FALSE(verifySignature(keys.referenceDigest, q, keys.referenceS, 7));
    EXPECT_FALSE(verifySignature(keys.referenceDigest, keys.referenceR, q, 7));
}

TEST_F(SignatureTest, SimulatorSignaturesHold) {
    const auto digest = logDigestOf(bytesOf("a log of a flight"));
    for (const std::uint16_t key : std::initializer_list<std::uint16_t>{0, 7, 999, 65535}) {
        const auto sig = vantor::sim::signDigest(digest, key, 1);
        EXPECT_TRUE(verifySignature(digest, sig.r, sig.s, key)) << key;
        EXPECT_FALSE(verifySignature(digest, sig.r, sig.s, static_cast<std::uint16_t>(key + 1)));
    }
}

TEST(KeyNumberCipher, KnownAnswers) {
    const KeyBlock block{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    std::array<std::uint8_t, 128> identity{};
    for (std::size_t i = 0; i < identity.size(); ++i)
        identity[i] = static_cast<std::uint8_t>(i % 16);
    // One bit right per pass; the eight XORs of each pass cancel.
    std::array<std::uint8_t, 16> key{1};
    EXPECT_EQ(hex(decipherKeyBlock(block, identity, key)), "ef0123456789abcd");
    // Row 0 takes each nibble from its right neighbour; the subtractions of
    // 0x10 add 8 to the top nibble once a pass.
    std::array<std::uint8_t, 128> shifted = identity;
    for (std::size_t i = 0; i < 16; ++i) shifted[i] = static_cast<std::uint8_t>((i + 1) % 16);
    key = {};
    key[8] = 0x10;
    EXPECT_EQ(hex(decipherKeyBlock(block, shifted, key)), "09abcdef09abcdef");
    // The material in use; its round 3 rotates by 0 bits.
    if (!vantor::sim::testKeysInUse()) GTEST_SKIP() << "built with other key material";
    EXPECT_EQ(keyMaterial().cipherKey[3] & 7, 0);
    EXPECT_EQ(hex(decipherKeyBlock(block)), "2787faad16d8b1be");
}

TEST(KeyNumberCipher, DeciphersWhatTheSimulatorEnciphers) {
    if (!vantor::sim::testKeysInUse()) GTEST_SKIP() << "built with other key material";
    for (const std::uint16_t key : std::initializer_list<std::uint16_t>{7, 1007, 2007}) {
        const KeyBlock plain{static_cast<std::uint8_t>(key >> 8),
                             static_cast<std::uint8_t>(key & 0xFF),
                             0x5A,
                             0xC3,
                             0x00,
                             0xFF,
                             0x12,
                             0x34};
        const KeyBlock enciphered = vantor::sim::encipherKeyBlock(plain);
        EXPECT_NE(enciphered, plain);
        EXPECT_EQ(decipherKeyBlock(enciphered), plain) << key;
    }
}

}  // namespace
}  // namespace vantor::security
