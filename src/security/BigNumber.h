#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace vantor::security {

// An unsigned integer of up to 1152 bits with exact arithmetic. Nothing here
// allocates; a result that would not fit is cut to 1152 bits, which the
// callers avoid by keeping products to operands below 2^576.
class BigNumber {
public:
    static constexpr std::size_t kLimbs = 36;
    static constexpr std::size_t kBits = kLimbs * 32;

    BigNumber() = default;
    explicit BigNumber(std::uint32_t value) { limbs_[0] = value; }

    // Big-endian bytes; of a longer input only the last 144 bytes count.
    static BigNumber fromBytes(std::span<const std::uint8_t> bytes);
    // 2^bits; zero when that does not fit.
    static BigNumber powerOfTwo(std::size_t bits);
    // The low out.size() bytes, big-endian.
    void toBytes(std::span<std::uint8_t> out) const;

    bool isZero() const;
    bool isOdd() const { return (limbs_[0] & 1) != 0; }
    std::size_t bitLength() const;
    bool bit(std::size_t i) const;
    std::uint32_t limb(std::size_t i) const { return i < kLimbs ? limbs_[i] : 0; }

    friend int compare(const BigNumber& a, const BigNumber& b);
    friend bool operator==(const BigNumber& a, const BigNumber& b) { return compare(a, b) == 0; }

    static BigNumber add(const BigNumber& a, const BigNumber& b);
    // a - b; only meaningful when a >= b.
    static BigNumber subtract(const BigNumber& a, const BigNumber& b);
    static BigNumber multiply(const BigNumber& a, const BigNumber& b);
    // Quotient and remainder; nothing when the divisor is zero.
    static std::optional<BigNumber> divide(const BigNumber& a, const BigNumber& b,
                                           BigNumber* remainder);
    // a mod m; zero when m is zero.
    static BigNumber mod(const BigNumber& a, const BigNumber& m);
    static BigNumber mulMod(const BigNumber& a, const BigNumber& b, const BigNumber& m);
    // The inverse of a modulo m by the extended Euclidean algorithm; nothing
    // when a and m share a factor.
    static std::optional<BigNumber> inverse(const BigNumber& a, const BigNumber& m);
    // base^exponent mod m.
    static BigNumber powMod(const BigNumber& base, const BigNumber& exponent, const BigNumber& m);
    // (a^x * b^y) mod m in one pass over the exponents' bits.
    static BigNumber powMod2(const BigNumber& a, const BigNumber& x, const BigNumber& b,
                             const BigNumber& y, const BigNumber& m);

private:
    void setBit(std::size_t i) { limbs_[i / 32] |= 1u << (i % 32); }
    std::size_t usedLimbs() const;

    std::array<std::uint32_t, kLimbs> limbs_{};  // least significant first
};

}  // namespace vantor::security
