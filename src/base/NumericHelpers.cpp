#include "base/NumericHelpers.h"

#include <algorithm>
#include <cstdint>

namespace vantor {

namespace {
// Days before each month, with a thirteenth entry for the whole year.
constexpr std::uint32_t kMonthStart[2][13] = {
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366},
};
}  // namespace

DateTimeStamp DateTimeStamp::fromBytes(const std::uint8_t* b) {
    return DateTimeStamp{b[0], b[1], b[2], b[3], b[4], b[5]};
}

std::uint32_t stampMinutes(const DateTimeStamp& s) {
    const std::uint32_t year = s.year;
    const std::uint32_t leapYears = (year + 3) / 4;
    const std::uint32_t daysBeforeYear = 366 * leapYears + 365 * (year - leapYears);
    // Months outside 1..12 come from the instrument unchecked; clamp the index
    // rather than read past the table.
    std::uint32_t month = s.month;
    if (month < 1) month = 1;
    if (month > 13) month = 13;
    const std::uint32_t monthStart = kMonthStart[year % 4 == 0 ? 1 : 0][month - 1] * 1440;
    return ((daysBeforeYear + s.day) * 24 + s.hour) * 60 + s.minute + monthStart - 1440;
}

std::uint32_t stampSeconds(const DateTimeStamp& s) {
    return stampMinutes(s) * 60 + s.second;
}

void stampDuration(const DateTimeStamp& start, const DateTimeStamp& end, Duration& out) {
    const std::uint32_t d = stampMinutes(end) - stampMinutes(start);
    out.hours = static_cast<std::uint8_t>(d / 60);
    out.minutes = static_cast<std::uint8_t>(d % 60);
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::int32_t roundValue(double x) {
    // Out of range or not a number would make the conversion undefined.
    if (!(x > -2147483648.0)) return x != x ? 0 : INT32_MIN;
    if (x >= 2147483647.0) return INT32_MAX;
    const auto n = static_cast<std::int32_t>(x);
    return x - n > 0.5 ? n + 1 : n;
}

bool readDecimalText(char* text, std::int32_t* integerPart, std::int32_t* fraction) {
    bool dropped = false;
    bool pointKept = false;
    std::size_t out = 0;
    for (std::size_t in = 0; text[in] != '\0'; ++in) {
        const char c = text[in];
        if (isDigit(c) || (c == '.' && !pointKept)) {
            if (c == '.') pointKept = true;
            text[out++] = c;
        } else {
            dropped = true;
        }
    }
    text[out] = '\0';

    std::int64_t whole = 0;
    std::int32_t frac = 0;
    std::size_t i = 0;
    for (; text[i] != '\0' && text[i] != '.'; ++i) {
        // Saturate rather than overflow on absurdly long digit runs.
        whole = std::min<std::int64_t>(whole * 10 + (text[i] - '0'), INT32_MAX);
    }
    if (text[i] == '.') {
        std::int32_t weight = 100;
        for (++i; text[i] != '\0' && weight > 0; ++i, weight /= 10) {
            frac += (text[i] - '0') * weight;
        }
    }
    if (integerPart) *integerPart = static_cast<std::int32_t>(whole);
    if (fraction) *fraction = frac;
    return dropped;
}

}  // namespace vantor
