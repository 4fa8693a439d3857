#pragma once

#include <cstdint>
#include <span>

namespace vantor::security {

// The CRC of a log and of its signature block: the table of the common
// reflected CRC-32, a register preset to 0xA5A5A5A5 and no final inversion.
class LogCrc {
public:
    static constexpr std::uint32_t kPreset = 0xA5A5A5A5u;

    void reset() { register_ = kPreset; }
    void update(std::span<const std::uint8_t> bytes);
    std::uint32_t value() const { return register_; }

private:
    std::uint32_t register_ = kPreset;
};

std::uint32_t logCrcOf(std::span<const std::uint8_t> bytes);

}  // namespace vantor::security
