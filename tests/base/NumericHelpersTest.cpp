#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/NumericHelpers.h"

using namespace vantor;

TEST(StampMinutes, CountsFromYearZeroWithPlainLeapYears) {
    struct Case {
        DateTimeStamp stamp;
        std::uint32_t minutes;
    } cases[] = {
        {{0, 1, 1, 0, 0, 0}, 0},
        {{0, 3, 1, 0, 0, 0}, 60 * 1440},  // year 0 is a leap year
        {{1, 3, 1, 0, 0, 0}, (366 + 59) * 1440},
        {{5, 7, 14, 12, 3, 50}, (366 * 2 + 365 * 3 + 181 + 13) * 1440 + 12 * 60 + 3},
        {{100, 3, 1, 0, 0, 0}, (366 * 25 + 365 * 75 + 60) * 1440},  // no century rule
    };
    for (const auto& c : cases) {
        EXPECT_EQ(stampMinutes(c.stamp), c.minutes)
            << int(c.stamp.year) << "-" << int(c.stamp.month);
        EXPECT_EQ(stampSeconds(c.stamp), c.minutes * 60 + c.stamp.second);
    }
}

TEST(StampDuration, HoursAndMinutesToTheMinute) {
    Duration d;
    stampDuration({5, 7, 14, 12, 3, 50}, {5, 7, 14, 15, 47, 10}, d);
    EXPECT_EQ(d.hours, 3);
    EXPECT_EQ(d.minutes, 44);

    stampDuration({5, 7, 14, 12, 0, 59}, {5, 7, 14, 12, 1, 0}, d);  // one second shows a minute
    EXPECT_EQ(d.hours, 0);
    EXPECT_EQ(d.minutes, 1);

    // An end before the start wraps; only the low 8 bits of the hours remain.
    stampDuration({5, 7, 14, 12, 1, 0}, {5, 7, 14, 12, 0, 0}, d);
    const std::uint32_t wrapped = 0xFFFFFFFFu;
    EXPECT_EQ(d.hours, static_cast<std::uint8_t>(wrapped / 60));
    EXPECT_EQ(d.minutes, wrapped % 60);
}

TEST(StampMinutes, MonthOutOfRangeStaysInsideTheTable) {
    EXPECT_EQ(stampMinutes({1, 0, 1, 0, 0, 0}), stampMinutes({1, 1, 1, 0, 0, 0}));
    EXPECT_EQ(stampMinutes({1, 200, 1, 0, 0, 0}), stampMinutes({2, 1, 1, 0, 0, 0}));
}

TEST(NumericHelpers, IsDigitAndRound) {
    EXPECT_TRUE(isDigit('0'));
    EXPECT_TRUE(isDigit('9'));
    EXPECT_FALSE(isDigit('a'));
    EXPECT_FALSE(isDigit('/'));
    EXPECT_FALSE(isDigit(':'));

    struct Case {
        double x;
        std::int32_t r;
    } cases[] = {{2.5, 2}, {2.51, 3},   {-2.7, -2},        {-2.5, -2},
                 {0.0, 0}, {37.04, 37}, {1e12, INT32_MAX}, {-1e12, INT32_MIN}};
    for (const auto& c : cases) EXPECT_EQ(roundValue(c.x), c.r) << c.x;
}

TEST(ReadDecimalText, CleansInPlaceAndReadsThousandths) {
    struct Case {
        const char* in;
        const char* cleaned;
        std::int32_t whole;
        std::int32_t fraction;
        bool dropped;
    } cases[] = {
        {"12a.5.7", "12.57", 12, 570, true},
        {"-3", "3", 3, 0, true},
        {"", "", 0, 0, false},
        {"10.5", "10.5", 10, 500, false},
        {"10.25", "10.25", 10, 250, false},
        {".1234", ".1234", 0, 123, false},
        {"1 000", "1000", 1000, 0, true},
        // Past the largest value a digit run stays there, never a cut number.
        {"2147483647", "2147483647", INT32_MAX, 0, false},
        {"2147483648", "2147483648", INT32_MAX, 0, false},
        {"99999999999999999999.5", "99999999999999999999.5", INT32_MAX, 500, false},
    };
    for (const auto& c : cases) {
        char buffer[32];
        std::strcpy(buffer, c.in);
        std::int32_t whole = -1;
        std::int32_t fraction = -1;
        EXPECT_EQ(readDecimalText(buffer, &whole, &fraction), c.dropped) << c.in;
        EXPECT_STREQ(buffer, c.cleaned);
        EXPECT_EQ(whole, c.whole) << c.in;
        EXPECT_EQ(fraction, c.fraction) << c.in;
    }
    char text[] = "7.7";
    EXPECT_FALSE(readDecimalText(text, nullptr, nullptr));  // outputs are optional
}
