#include "security/LogDigest.h"

#include <algorithm>

#include "base/BigEndian.h"

namespace vantor::security {
namespace {

constexpr std::uint32_t rotl(std::uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

}  // namespace

void LogDigest::reset() {
    *this = LogDigest{};
}

void LogDigest::compress(std::span<const std::uint8_t, kBlockSize> block) {
    std::array<std::uint32_t, 80> w{};
    for (std::size_t i = 0; i < 16; ++i) w[i] = loadBigEndian(block.subspan(4 * i, 4));
    for (std::size_t i = 16; i < 80; ++i)
        w[i] = rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);

    std::uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4];
    for (std::size_t i = 0; i < 80; ++i) {
        std::uint32_t f = 0;
        std::uint32_t k = 0;
        if (i < 20) {
            f = (b & c) | ~b | d;  // the signed format's round function, not SHA-1's
            k = 0x5A827999u;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1u;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDCu;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6u;
        }
        const std::uint32_t t = rotl(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = rotl(b, 30);
        b = a;
        a = t;
    }
    h_[0] += a;
    h_[1] += b;
    h_[2] += c;
    h_[3] += d;
    h_[4] += e;
}

void LogDigest::update(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const std::size_t n = std::min(bytes.size(), kBlockSize - fill_);
        std::copy_n(bytes.begin(), n, pending_.begin() + static_cast<std::ptrdiff_t>(fill_));
        fill_ += n;
        bytes = bytes.subspan(n);
        if (fill_ == kBlockSize) {
            compress(pending_);
            fill_ = 0;
        }
    }
}

LogDigest::Value LogDigest::finish() {
    std::fill(pending_.begin() + static_cast<std::ptrdiff_t>(fill_), pending_.end(), 0);
    compress(pending_);
    fill_ = 0;
    Value out{};
    for (std::size_t i = 0; i < h_.size(); ++i) {
        storeBigEndian(h_[i], std::span<std::uint8_t>(out).subspan(4 * i, 4));
    }
    return out;
}

LogDigest::Value logDigestOf(std::span<const std::uint8_t> bytes) {
    LogDigest digest;
    digest.update(bytes);
    return digest.finish();
}

}  // namespace vantor::security
