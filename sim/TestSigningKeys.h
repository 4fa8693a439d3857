#pragma once

#include <array>
#include <cstdint>

namespace vantor::sim {

// The secret half of the test key material, for the simulator and the tests
// only; the program never links it.
struct TestSigningKeys {
    std::array<std::uint8_t, 64> p;                    // to match against the program's
    std::array<std::uint8_t, 20 * 1000> privateKeys;   // entry k at 20 k
    std::array<std::uint8_t, 128> inversePermutation;  // row k at 16 k
    // One signature made by the generator's own arithmetic.
    std::uint16_t referenceKey;
    std::array<std::uint8_t, 20> referenceDigest;
    std::array<std::uint8_t, 20> referenceR;
    std::array<std::uint8_t, 20> referenceS;
};

const TestSigningKeys& testSigningKeys();

}  // namespace vantor::sim
