#include <gtest/gtest.h>

#include "config/UnitConversion.h"

namespace vantor {
namespace {

// unitFlags for one speed code, distance code and altitude unit.
std::uint16_t flags(int speed, int distance, bool feet) {
    return static_cast<std::uint16_t>(0xFF00 | speed << 6 | distance << 4 | (feet ? 2 : 0));
}

enum class Quantity { Deadband, Radius, Goal };

struct Conversion {
    const char* name;
    Quantity quantity;
    int code;  // speed or distance code; 1 for feet
    std::int32_t record;
    std::int32_t shown;    // record -> shown
    std::int32_t shownIn;  // shown -> record
    std::int32_t recordOut;
};

// Expected values worked by hand from the instrument's factors, so that a
// changed factor, a rounding where a truncation belongs or the other way
// round shows here.
const Conversion kConversions[] = {
    {"kph", Quantity::Deadband, 0, 102, 37, 37, 103},
    {"kph small", Quantity::Deadband, 0, 1, 0, 1, 3},
    {"kph full byte", Quantity::Deadband, 0, 255, 92, 50, 139},
    {"knots", Quantity::Deadband, 1, 102, 20, 20, 103},
    {"knots, not 5.14444", Quantity::Deadband, 1, 157, 30, 17, 88},
    {"knots rounds down", Quantity::Deadband, 1, 0, 0, 3, 15},
    {"mph", Quantity::Deadband, 2, 102, 23, 23, 102},
    {"mph, not 4.4704", Quantity::Deadband, 2, 29, 7, 10, 44},
    {"km", Quantity::Radius, 0, 1000, 100, 40, 400},
    {"km truncated", Quantity::Radius, 0, 409, 40, 999, 9990},
    {"nmi arrival", Quantity::Radius, 1, 400, 22, 22, 408},
    {"nmi approach", Quantity::Radius, 1, 1000, 54, 54, 1001},
    {"smi", Quantity::Radius, 2, 1000, 62, 62, 998},
    {"smi small", Quantity::Radius, 2, 400, 25, 25, 402},
    {"metres", Quantity::Goal, 0, 3000, 30, 30, 3000},
    {"metres truncated", Quantity::Goal, 0, 3099, 30, 350, 35000},
    {"feet", Quantity::Goal, 1, 3000, 98, 98, 2987},
    {"feet truncated, not rounded", Quantity::Goal, 1, 0, 0, 99, 3017},
    {"feet top", Quantity::Goal, 1, 30480, 1000, 1000, 30480},
};

TEST(UnitConversionTest, EveryUnitBothWays) {
    for (const Conversion& c : kConversions) {
        SCOPED_TRACE(c.name);
        switch (c.quantity) {
            case Quantity::Deadband:
                EXPECT_EQ(deadbandToShown(static_cast<std::uint8_t>(c.record), c.code), c.shown);
                EXPECT_EQ(deadbandToRecord(c.shownIn, c.code), c.recordOut);
                break;
            case Quantity::Radius:
                EXPECT_EQ(radiusToShown(static_cast<std::uint16_t>(c.record), c.code), c.shown);
                EXPECT_EQ(radiusToRecord(c.shownIn, c.code), c.recordOut);
                break;
            case Quantity::Goal:
                EXPECT_EQ(goalToShown(static_cast<std::uint16_t>(c.record), c.code == 1), c.shown);
                EXPECT_EQ(goalToRecord(c.shownIn, c.code == 1), c.recordOut);
                break;
        }
    }
}

// Values from the instrument can lie beyond what the spin controls allow;
// their way back must not wrap around to a small value.
TEST(UnitConversionTest, ValuesBeyondAFieldStopAtItsLargestValue) {
    EXPECT_EQ(deadbandToShown(255, 0), 92);
    EXPECT_EQ(deadbandToRecord(92, 0), 255);  // 255.56 rounds to 256
    EXPECT_EQ(radiusToShown(65535, 1), 3537);
    EXPECT_EQ(radiusToRecord(3537, 1), 65535);  // 65540.61
    EXPECT_EQ(radiusToRecord(6554, 0), 65535);
    EXPECT_EQ(goalToRecord(656, false), 65535);
    EXPECT_EQ(goalToRecord(2151, true), 65535);
    EXPECT_EQ(radiusToRecord(-1, 0), 0);
}

TEST(UnitConversionTest, RecordAndShownFollowTheFlagsAndSkipCodesOfThree) {
    PilotPreferences record;  // 0xFF5F: knots, nautical miles, feet
    ShownValues shown;
    recordToShown(record, shown);
    EXPECT_EQ(shown.deadband, 20);
    EXPECT_EQ(shown.arrival, 22);
    EXPECT_EQ(shown.approach, 54);
    EXPECT_EQ(shown.goal, 98);
    shownToRecord(shown, record);
    EXPECT_EQ(record.stfDeadband, 103);
    EXPECT_EQ(record.arrivalRadius, 408);
    EXPECT_EQ(record.approachRadius, 1001);
    EXPECT_EQ(record.goalHeight, 2987);

    // No speed and no distance unit: those shown values and fields stay.
    PilotPreferences none;
    none.unitFlags = flags(3, 3, false);
    ShownValues kept{7, 8, 9, 0};
    recordToShown(none, kept);
    EXPECT_EQ(kept.deadband, 7);
    EXPECT_EQ(kept.arrival, 8);
    EXPECT_EQ(kept.approach, 9);
    EXPECT_EQ(kept.goal, 30);
    kept.goal = 20;
    shownToRecord(kept, none);
    EXPECT_EQ(none.stfDeadband, 102);
    EXPECT_EQ(none.arrivalRadius, 400);
    EXPECT_EQ(none.approachRadius, 1000);
    EXPECT_EQ(none.goalHeight, 2000);
}

}  // namespace
}  // namespace vantor
