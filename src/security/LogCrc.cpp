#include "security/LogCrc.h"

#include <array>

namespace vantor::security {
namespace {

constexpr std::array<std::uint32_t, 256> makeTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        table[i] = c;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> kTable = makeTable();

}  // namespace

void LogCrc::update(std::span<const std::uint8_t> bytes) {
    std::uint32_t r = register_;
    for (const std::uint8_t b : bytes) r = kTable[(r ^ b) & 0xFF] ^ (r >> 8);
    register_ = r;
}

std::uint32_t logCrcOf(std::span<const std::uint8_t> bytes) {
    LogCrc crc;
    crc.update(bytes);
    return crc.value();
}

}  // namespace vantor::security
