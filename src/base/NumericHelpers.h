#pragma once

#include <array>
#include <cstdint>

namespace vantor {

// The instrument's date and time: year counted from 2000 (year 0 is a leap
// year), month, day, hour, minute, second.
struct DateTimeStamp {
    std::uint8_t year = 0;
    std::uint8_t month = 1;
    std::uint8_t day = 1;
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    std::uint8_t second = 0;

    static DateTimeStamp fromBytes(const std::uint8_t* bytes);
};

struct Duration {
    std::uint8_t hours = 0;
    std::uint8_t minutes = 0;
};

// Minutes since 00:00 on 1 January of year 0; seconds are ignored.
std::uint32_t stampMinutes(const DateTimeStamp& stamp);
// Minutes x 60 + second, wrapping at 32 bits; only differences are meaningful.
std::uint32_t stampSeconds(const DateTimeStamp& stamp);
// Hours and minutes of end - start, both taken to the minute; each cut to 8 bits.
void stampDuration(const DateTimeStamp& start, const DateTimeStamp& end, Duration& out);

bool isDigit(char c);
// Truncates, then adds one when the rest is above one half: 2.5 -> 2, -2.7 -> -2.
std::int32_t roundValue(double x);
// Keeps digits and the first '.', moving them to the front of text; integerPart and
// fraction (thousandths, up to three digits, not rounded) are stored when given.
// Returns whether any character was dropped.
bool readDecimalText(char* text, std::int32_t* integerPart, std::int32_t* fraction);

}  // namespace vantor
