#include "security/BigNumber.h"

#include <algorithm>
#include <bit>

namespace vantor::security {
namespace {

// Montgomery multiplication for odd moduli of up to kMaxLimbs limbs, which is
// what keeps a 512-bit verification well under a millisecond.
constexpr std::size_t kMaxLimbs = 18;
using Limbs = std::array<std::uint32_t, kMaxLimbs>;

class Montgomery {
public:
    Montgomery(const BigNumber& m, std::size_t n) : n_(n) {
        for (std::size_t i = 0; i < n_; ++i) m_[i] = m.limb(i);
        // -m^-1 mod 2^32 by Newton's iteration; five steps give 32 bits.
        std::uint32_t inv = 1;
        for (int i = 0; i < 5; ++i) inv *= 2u - m_[0] * inv;
        mPrime_ = 0u - inv;
        // R^2 mod m with R = 2^(32 n), from R mod m so that nothing exceeds 2^1152.
        const BigNumber r = BigNumber::mod(BigNumber::powerOfTwo(32 * n_), m);
        r2_ = toLimbs(BigNumber::mulMod(r, r, m));
    }

    // Into the Montgomery domain (a < m).
    Limbs enter(const BigNumber& a) const { return multiply(toLimbs(a), r2_); }
    Limbs one() const { return multiply(unit(), r2_); }
    BigNumber leave(const Limbs& a) const {
        const Limbs plain = multiply(a, unit());
        std::array<std::uint8_t, 4 * kMaxLimbs> bytes{};
        for (std::size_t i = 0; i < n_; ++i) {
            const std::size_t at = 4 * (kMaxLimbs - 1 - i);
            bytes[at] = static_cast<std::uint8_t>(plain[i] >> 24);
            bytes[at + 1] = static_cast<std::uint8_t>(plain[i] >> 16);
            bytes[at + 2] = static_cast<std::uint8_t>(plain[i] >> 8);
            bytes[at + 3] = static_cast<std::uint8_t>(plain[i]);
        }
        return BigNumber::fromBytes(bytes);
    }

    // a * b / R mod m, for a, b < m (coarsely integrated operand scanning).
    Limbs multiply(const Limbs& aLimbs, const Limbs& bLimbs) const {
        const std::uint32_t* a = aLimbs.data();
        const std::uint32_t* b = bLimbs.data();
        std::array<std::uint32_t, kMaxLimbs + 2> buffer{};
        std::uint32_t* t = buffer.data();
        const std::uint32_t* m = m_.data();
        const std::size_t n = n_;
        for (std::size_t i = 0; i < n; ++i) {
            std::uint64_t carry = 0;
            const std::uint64_t bi = b[i];
            for (std::size_t j = 0; j < n; ++j) {
                const std::uint64_t s = t[j] + a[j] * bi + carry;
                t[j] = static_cast<std::uint32_t>(s);
                carry = s >> 32;
            }
            std::uint64_t s = t[n] + carry;
            t[n] = static_cast<std::uint32_t>(s);
            t[n + 1] = static_cast<std::uint32_t>(s >> 32);

            const std::uint64_t q = static_cast<std::uint32_t>(t[0] * mPrime_);
            s = t[0] + q * m[0];
            carry = s >> 32;
            for (std::size_t j = 1; j < n; ++j) {
                s = t[j] + q * m[j] + carry;
                t[j - 1] = static_cast<std::uint32_t>(s);
                carry = s >> 32;
            }
            s = t[n] + carry;
            t[n - 1] = static_cast<std::uint32_t>(s);
            t[n] = t[n + 1] + static_cast<std::uint32_t>(s >> 32);
        }
        Limbs out{};
        // The result is below 2m: one subtraction at most.
        bool geq = t[n] != 0;
        if (!geq) {
            geq = true;
            for (std::size_t i = n; i-- > 0;) {
                if (t[i] != m[i]) {
                    geq = t[i] > m[i];
                    break;
                }
            }
        }
        if (geq) {
            std::int64_t borrow = 0;
            for (std::size_t i = 0; i < n; ++i) {
                const std::int64_t d = static_cast<std::int64_t>(t[i]) - m[i] - borrow;
                out[i] = static_cast<std::uint32_t>(d);
                borrow = d < 0 ? 1 : 0;
            }
        } else {
            std::copy_n(t, n, out.begin());
        }
        return out;
    }

private:
    Limbs toLimbs(const BigNumber& a) const {
        Limbs out{};
        for (std::size_t i = 0; i < n_; ++i) out[i] = a.limb(i);
        return out;
    }
    static Limbs unit() {
        Limbs u{};
        u[0] = 1;
        return u;
    }

    std::size_t n_;
    Limbs m_{};
    Limbs r2_{};
    std::uint32_t mPrime_ = 0;
};

}  // namespace

BigNumber BigNumber::fromBytes(std::span<const std::uint8_t> bytes) {
    BigNumber out;
    const std::size_t count = std::min(bytes.size(), kLimbs * 4);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t b = bytes[bytes.size() - 1 - i];
        out.limbs_[i / 4] |= static_cast<std::uint32_t>(b) << (8 * (i % 4));
    }
    return out;
}

void BigNumber::toBytes(std::span<std::uint8_t> out) const {
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::uint32_t l = i / 4 < kLimbs ? limbs_[i / 4] : 0;
        out[out.size() - 1 - i] = static_cast<std::uint8_t>(l >> (8 * (i % 4)));
    }
}

BigNumber BigNumber::powerOfTwo(std::size_t bits) {
    BigNumber out;
    if (bits < kBits) out.setBit(bits);
    return out;
}

bool BigNumber::isZero() const {
    return std::all_of(limbs_.begin(), limbs_.end(), [](std::uint32_t l) { return l == 0; });
}

std::size_t BigNumber::usedLimbs() const {
    std::size_t n = kLimbs;
    while (n > 0 && limbs_[n - 1] == 0) --n;
    return n;
}

std::size_t BigNumber::bitLength() const {
    const std::size_t n = usedLimbs();
    if (n == 0) return 0;
    std::size_t bits = 32 * (n - 1);
    for (std::uint32_t top = limbs_[n - 1]; top != 0; top >>= 1) ++bits;
    return bits;
}

bool BigNumber::bit(std::size_t i) const {
    return i < kBits && ((limbs_[i / 32] >> (i % 32)) & 1) != 0;
}

int compare(const BigNumber& a, const BigNumber& b) {
    for (std::size_t i = BigNumber::kLimbs; i-- > 0;) {
        if (a.limbs_[i] != b.limbs_[i]) return a.limbs_[i] < b.limbs_[i] ? -1 : 1;
    }
    return 0;
}

BigNumber BigNumber::add(const BigNumber& a, const BigNumber& b) {
    BigNumber out;
    std::uint64_t carry = 0;
    for (std::size_t i = 0; i < kLimbs; ++i) {
        const std::uint64_t s = std::uint64_t{a.limbs_[i]} + b.limbs_[i] + carry;
        out.limbs_[i] = static_cast<std::uint32_t>(s);
        carry = s >> 32;
    }
    return out;
}

BigNumber BigNumber::subtract(const BigNumber& a, const BigNumber& b) {
    BigNumber out;
    std::uint32_t borrow = 0;
    for (std::size_t i = 0; i < kLimbs; ++i) {
        const std::uint64_t d = std::uint64_t{a.limbs_[i]} - b.limbs_[i] - borrow;
        out.limbs_[i] = static_cast<std::uint32_t>(d);
        borrow = static_cast<std::uint32_t>(d >> 63);
    }
    return out;
}

BigNumber BigNumber::multiply(const BigNumber& a, const BigNumber& b) {
    BigNumber out;
    const std::size_t na = a.usedLimbs();
    const std::size_t nb = b.usedLimbs();
    for (std::size_t i = 0; i < na; ++i) {
        std::uint64_t carry = 0;
        for (std::size_t j = 0; j < nb && i + j < kLimbs; ++j) {
            const std::uint64_t s =
                out.limbs_[i + j] + std::uint64_t{a.limbs_[i]} * b.limbs_[j] + carry;
            out.limbs_[i + j] = static_cast<std::uint32_t>(s);
            carry = s >> 32;
        }
        if (i + nb < kLimbs) out.limbs_[i + nb] = static_cast<std::uint32_t>(carry);
    }
    return out;
}

std::optional<BigNumber> BigNumber::divide(const BigNumber& a, const BigNumber& b,
                                           BigNumber* remainder) {
    // Long division a word at a time (Knuth's algorithm D): each quotient
    // word is estimated from the top words and corrected at most twice.
    const std::size_t n = b.usedLimbs();
    if (n == 0) return std::nullopt;
    BigNumber quotient;
    const std::size_t total = a.usedLimbs();
    if (total < n) {
        if (remainder) *remainder = a;
        return quotient;
    }
    const std::size_t m = total - n;
    const auto* u = a.limbs_.data();
    const auto* v = b.limbs_.data();
    auto* q = quotient.limbs_.data();

    if (n == 1) {
        std::uint64_t rest = 0;
        for (std::size_t j = total; j-- > 0;) {
            const std::uint64_t cur = rest << 32 | u[j];
            q[j] = static_cast<std::uint32_t>(cur / v[0]);
            rest = cur % v[0];
        }
        if (remainder) *remainder = BigNumber(static_cast<std::uint32_t>(rest));
        return quotient;
    }

    // Normalise so that the divisor's top word has its top bit set.
    const int shift = std::countl_zero(v[n - 1]);
    std::array<std::uint32_t, kLimbs> vn{};
    std::array<std::uint32_t, kLimbs + 1> un{};
    for (std::size_t i = n; i-- > 0;) {
        const std::uint32_t low = (shift != 0 && i > 0) ? v[i - 1] >> (32 - shift) : 0;
        vn[i] = v[i] << shift | low;
    }
    un[total] = shift != 0 ? u[total - 1] >> (32 - shift) : 0;
    for (std::size_t i = total; i-- > 0;) {
        const std::uint32_t low = (shift != 0 && i > 0) ? u[i - 1] >> (32 - shift) : 0;
        un[i] = u[i] << shift | low;
    }

    constexpr std::uint64_t kBase = 1ull << 32;
    for (std::size_t j = m + 1; j-- > 0;) {
        const std::uint64_t top = std::uint64_t{un[j + n]} << 32 | un[j + n - 1];
        std::uint64_t qhat = top / vn[n - 1];
        std::uint64_t rhat = top % vn[n - 1];
        while (qhat >= kBase || qhat * vn[n - 2] > (rhat << 32 | un[j + n - 2])) {
            --qhat;
            rhat += vn[n - 1];
            if (rhat >= kBase) break;
        }
        // un[j..j+n] -= qhat * vn
        std::int64_t borrow = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint64_t product = qhat * vn[i];
            const std::int64_t t = static_cast<std::int64_t>(un[i + j]) - borrow -
                                   static_cast<std::int64_t>(product & 0xFFFFFFFFu);
            un[i + j] = static_cast<std::uint32_t>(t);
            borrow = static_cast<std::int64_t>(product >> 32) - (t >> 32);
        }
        const std::int64_t t = static_cast<std::int64_t>(un[j + n]) - borrow;
        un[j + n] = static_cast<std::uint32_t>(t);
        if (t < 0) {
            // The estimate was one too large: add the divisor back.
            --qhat;
            std::uint64_t carry = 0;
            for (std::size_t i = 0; i < n; ++i) {
                const std::uint64_t sum = std::uint64_t{un[i + j]} + vn[i] + carry;
                un[i + j] = static_cast<std::uint32_t>(sum);
                carry = sum >> 32;
            }
            un[j + n] = static_cast<std::uint32_t>(un[j + n] + carry);
        }
        q[j] = static_cast<std::uint32_t>(qhat);
    }
    if (remainder) {
        BigNumber r;
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint32_t high = shift != 0 ? un[i + 1] << (32 - shift) : 0;
            r.limbs_[i] = un[i] >> shift | high;
        }
        *remainder = r;
    }
    return quotient;
}

BigNumber BigNumber::mod(const BigNumber& a, const BigNumber& m) {
    BigNumber r;
    if (!divide(a, m, &r)) return BigNumber{};
    return r;
}

BigNumber BigNumber::mulMod(const BigNumber& a, const BigNumber& b, const BigNumber& m) {
    return mod(multiply(mod(a, m), mod(b, m)), m);
}

std::optional<BigNumber> BigNumber::inverse(const BigNumber& a, const BigNumber& m) {
    if (m.isZero()) return std::nullopt;
    // The coefficients of a alternate in sign, so their magnitudes grow as
    // t(i+1) = t(i-1) + quotient * t(i) and stay below m; the sign is tracked
    // apart and a negative result is brought into range by adding m.
    BigNumber r0 = m;
    BigNumber r1 = mod(a, m);
    BigNumber t0;     // coefficient of r0
    BigNumber t1(1);  // coefficient of r1
    bool t1Negative = false;
    while (!r1.isZero()) {
        BigNumber rest;
        const auto quotient = divide(r0, r1, &rest);
        const BigNumber t2 = add(t0, multiply(*quotient, t1));
        r0 = r1;
        r1 = rest;
        t0 = t1;
        t1 = t2;
        t1Negative = !t1Negative;
    }
    if (!(r0 == BigNumber(1))) return std::nullopt;
    // t0 belongs to r0 and has the sign opposite to t1's.
    const bool negative = !t1Negative;
    if (negative && !t0.isZero()) return subtract(m, mod(t0, m));
    return mod(t0, m);
}

BigNumber BigNumber::powMod(const BigNumber& base, const BigNumber& exponent, const BigNumber& m) {
    return powMod2(base, exponent, BigNumber(1), BigNumber{}, m);
}

BigNumber BigNumber::powMod2(const BigNumber& a, const BigNumber& x, const BigNumber& b,
                             const BigNumber& y, const BigNumber& m) {
    if (m.isZero()) return BigNumber{};
    if (m == BigNumber(1)) return BigNumber{};
    const std::size_t bits = std::max(x.bitLength(), y.bitLength());
    const std::size_t n = m.usedLimbs();
    if (m.isOdd() && n <= kMaxLimbs) {
        const Montgomery mont(m, n);
        const Limbs am = mont.enter(mod(a, m));
        const Limbs bm = mont.enter(mod(b, m));
        const Limbs abm = mont.multiply(am, bm);
        Limbs acc = mont.one();
        for (std::size_t i = bits; i-- > 0;) {
            acc = mont.multiply(acc, acc);
            const bool bx = x.bit(i);
            const bool by = y.bit(i);
            if (bx && by) {
                acc = mont.multiply(acc, abm);
            } else if (bx) {
                acc = mont.multiply(acc, am);
            } else if (by) {
                acc = mont.multiply(acc, bm);
            }
        }
        return mont.leave(acc);
    }
    // Even or wide moduli: plain square-and-multiply, exact while m < 2^576.
    const BigNumber am = mod(a, m);
    const BigNumber bm = mod(b, m);
    const BigNumber abm = mulMod(am, bm, m);
    BigNumber acc = mod(BigNumber(1), m);
    for (std::size_t i = bits; i-- > 0;) {
        acc = mulMod(acc, acc, m);
        const bool bx = x.bit(i);
        const bool by = y.bit(i);
        if (bx && by) {
            acc = mulMod(acc, abm, m);
        } else if (bx) {
            acc = mulMod(acc, am, m);
        } else if (by) {
            acc = mulMod(acc, bm, m);
        }
    }
    return acc;
}

}  // namespace vantor::security
