#include "config/UnitConversion.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/NumericHelpers.h"

namespace vantor {

namespace {

// Record units per shown unit. These are the instrument's own figures (not
// 10 / 3.6, 5.14444 or 4.4704): the displays have always used them, and a
// value must come back from the instrument as the pilot set it.
constexpr double kTenthsMpsPerKph = 2.77778;
constexpr double kTenthsMpsPerKnot = 5.1478;
constexpr double kTenthsMpsPerMph = 4.447;
constexpr double kMetresPerHundredthNmi = 18.53;
constexpr double kMetresPerHundredthSmi = 16.09;
constexpr double kTenthsMetrePerTenFeet = 30.48;

double tenthsMpsPerShown(int speed) {
    switch (speed) {
        case 0:
            return kTenthsMpsPerKph;
        case 1:
            return kTenthsMpsPerKnot;
        default:
            return kTenthsMpsPerMph;
    }
}

// Kept to the width of the record's field; stops at its ends.
template <typename Field>
Field toField(std::int64_t value) {
    return static_cast<Field>(
        std::clamp<std::int64_t>(value, 0, std::numeric_limits<Field>::max()));
}

}  // namespace

std::int32_t deadbandToShown(std::uint8_t deadband, int speed) {
    return roundValue(deadband * (1.0 / tenthsMpsPerShown(speed)));
}

std::uint8_t deadbandToRecord(std::int32_t shown, int speed) {
    return toField<std::uint8_t>(roundValue(shown * tenthsMpsPerShown(speed)));
}

std::int32_t radiusToShown(std::uint16_t metres, int distance) {
    switch (distance) {
        case 0:
            return metres / 10;
        case 1:
            return roundValue(metres * (1.0 / kMetresPerHundredthNmi));
        default:
            return roundValue(metres * (1.0 / kMetresPerHundredthSmi));
    }
}

std::uint16_t radiusToRecord(std::int32_t shown, int distance) {
    switch (distance) {
        case 0:
            return toField<std::uint16_t>(std::int64_t{shown} * 10);
        case 1:
            return toField<std::uint16_t>(roundValue(shown * kMetresPerHundredthNmi));
        default:
            return toField<std::uint16_t>(roundValue(shown * kMetresPerHundredthSmi));
    }
}

std::int32_t goalToShown(std::uint16_t tenthsOfMetres, bool feet) {
    if (!feet) return tenthsOfMetres / 100;
    return roundValue(tenthsOfMetres * (1.0 / kTenthsMetrePerTenFeet));
}

std::uint16_t goalToRecord(std::int32_t shown, bool feet) {
    if (!feet) return toField<std::uint16_t>(std::int64_t{shown} * 100);
    // Truncated, not rounded: 98 tens of feet are 2987 tenths of a metre.
    return toField<std::uint16_t>(
        static_cast<std::int64_t>(std::trunc(shown * kTenthsMetrePerTenFeet)));
}

void recordToShown(const PilotPreferences& record, ShownValues& shown) {
    const int speed = speedCode(record.unitFlags);
    const int distance = distanceCode(record.unitFlags);
    shown.goal = goalToShown(record.goalHeight, altitudeInFeet(record.unitFlags));
    if (distance != kNoUnit) {
        shown.arrival = radiusToShown(record.arrivalRadius, distance);
        shown.approach = radiusToShown(record.approachRadius, distance);
    }
    if (speed != kNoUnit) shown.deadband = deadbandToShown(record.stfDeadband, speed);
}

void shownToRecord(const ShownValues& shown, PilotPreferences& record) {
    const int speed = speedCode(record.unitFlags);
    const int distance = distanceCode(record.unitFlags);
    record.goalHeight = goalToRecord(shown.goal, altitudeInFeet(record.unitFlags));
    if (distance != kNoUnit) {
        record.arrivalRadius = radiusToRecord(shown.arrival, distance);
        record.approachRadius = radiusToRecord(shown.approach, distance);
    }
    if (speed != kNoUnit) record.stfDeadband = deadbandToRecord(shown.deadband, speed);
}

}  // namespace vantor
