#pragma once

#include <cstdint>

#include "records/PilotPreferences.h"

namespace vantor {

// The display units chosen in unitFlags: bit 0 vario, bit 1 altitude, bit 2
// temperature, bit 3 pressure, bits 4-5 distance, bits 6-7 speed. A distance
// or speed code of 3 names none of the units.
inline constexpr int kNoUnit = 3;
inline int distanceCode(std::uint16_t unitFlags) {
    return (unitFlags >> 4) & 3;
}
inline int speedCode(std::uint16_t unitFlags) {
    return (unitFlags >> 6) & 3;
}
inline bool altitudeInFeet(std::uint16_t unitFlags) {
    return (unitFlags & 0x2) != 0;
}

// The configuration values as the configure dialog shows them: the deadband
// in whole km/h, knots or mph, the radii in hundredths of a kilometre,
// nautical or statute mile, the goal height in tens of metres or feet.
struct ShownValues {
    std::int32_t deadband = 0;
    std::int32_t arrival = 0;
    std::int32_t approach = 0;
    std::int32_t goal = 0;
};

// Record units (0.1 m/s, metres, 0.1 m) to shown units, for the units in the
// record's unitFlags. A code of 3 leaves that shown value as it was.
void recordToShown(const PilotPreferences& record, ShownValues& shown);
// And back. A code of 3 leaves that record field as it was. A value too large
// for its field stops at the field's largest value rather than wrapping.
void shownToRecord(const ShownValues& shown, PilotPreferences& record);

// The single conversions, for the codes 0 to 2 of each quantity.
std::int32_t deadbandToShown(std::uint8_t deadband, int speed);
std::uint8_t deadbandToRecord(std::int32_t shown, int speed);
std::int32_t radiusToShown(std::uint16_t metres, int distance);
std::uint16_t radiusToRecord(std::int32_t shown, int distance);
std::int32_t goalToShown(std::uint16_t tenthsOfMetres, bool feet);
std::uint16_t goalToRecord(std::int32_t shown, bool feet);

}  // namespace vantor
