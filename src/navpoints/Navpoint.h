#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vantor {

// Coordinates are ten-thousandths of an arc minute, offset so that they never
// go negative: latitude by 90 degrees, longitude by 180.
inline constexpr std::uint32_t kUnitsPerDegree = 600000;
inline constexpr std::uint32_t kEquator = 90 * kUnitsPerDegree;         // 54,000,000
inline constexpr std::uint32_t kPrimeMeridian = 180 * kUnitsPerDegree;  // 108,000,000

// Attribute bits and the letters that stand for them in navpoint files.
inline constexpr std::uint16_t kAttributeW = 0x200;
inline constexpr std::uint16_t kAttributeR = 0x400;

inline constexpr std::size_t kNavpointNameLength = 12;

struct Navpoint {
    std::uint32_t latitude = 0;
    std::uint32_t longitude = 0;
    std::int16_t altitude = 0;  // metres
    std::uint16_t number = 0;
    std::uint16_t attributes = 0;
    std::array<char, kNavpointNameLength + 1> name{};
    std::array<char, kNavpointNameLength + 1> comment{};

    std::string_view nameText() const { return name.data(); }
    std::string_view commentText() const { return comment.data(); }
    void setName(std::string_view text) { copyText(name, text); }
    void setComment(std::string_view text) { copyText(comment, text); }

private:
    static void copyText(std::array<char, kNavpointNameLength + 1>& to, std::string_view text) {
        to.fill('\0');
        text.copy(to.data(), kNavpointNameLength);
    }
};

inline constexpr std::size_t kNavpointTableSize = 6000;
// What the instrument holds.
inline constexpr int kInstrumentNavpoints = 1500;

// The navpoints of a run. Entries past the count are stale and never shown.
struct NavpointTable {
    std::array<Navpoint, kNavpointTableSize> entries{};
    int count = 0;

    // The first entry, in table order, with exactly this name; -1 when none has it.
    int find(std::string_view name) const;
};

// The one table the program works on, for the whole run.
NavpointTable& navpointTable();

enum class CoordinateForm {
    File,        // DD:MM.mmmmH, DDD:MM.mmmmH
    Instrument,  // DDMM.mmmmH, DDDMM.mmmmH
};

std::string formatCoordinate(std::uint32_t value, bool latitude, CoordinateForm form);
// The letters of the bits 0x001..0x080, in the order T A M L S F H E.
std::string attributeLetters(std::uint16_t attributes);

}  // namespace vantor
