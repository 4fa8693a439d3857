#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "security/LogDigest.h"
#include "security/Signature.h"

namespace vantor::sim {

// What the instrument puts into a log's signature block.
struct Signing {
    std::uint16_t status = 0x0001;  // low bit of the second byte set: no violation
    std::uint16_t keyNumber = 0;    // the public key entry is keyNumber mod 1000
    std::uint64_t nonce = 0;        // varies the unread bytes and the signature's k
};

// The inverse of the program's key-number cipher.
security::KeyBlock encipherKeyBlock(const security::KeyBlock& plain);

// A DSA signature of the digest with test key keyNumber mod 1000.
struct DsaSignature {
    security::SignatureNumber r{};
    security::SignatureNumber s{};
};
DsaSignature signDigest(const security::LogDigest::Value& digest, std::uint16_t keyNumber,
                        std::uint64_t nonce);

// The three G lines ("G", 64 hexadecimal digits, CR LF) that carry the
// signature block over signedText, the bytes the instrument signs. Status
// 0x00FF leaves the signature zero.
std::string signatureLines(std::string_view signedText, const Signing& signing);

// True when the program is built with the test keys these sign with.
bool testKeysInUse();

}  // namespace vantor::sim
