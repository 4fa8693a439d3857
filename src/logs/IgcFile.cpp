#include "logs/IgcFile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <system_error>

namespace vantor {
namespace {

constexpr std::int64_t kDay = 86400;
constexpr double kEarthRadiusKm = 6371.0;
constexpr double kPi = 3.14159265358979323846;
// The B record's fixed part: B, time, latitude, longitude, validity, two altitudes.
constexpr std::size_t kFixedFixLength = 35;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isAlnum(char c) {
    return isDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// n decimal digits at `at`, or nothing when the line is too short or one is no digit.
std::optional<int> digits(std::string_view line, std::size_t at, std::size_t n) {
    if (at > line.size() || n > line.size() - at) return std::nullopt;
    int value = 0;
    for (std::size_t i = at; i < at + n; ++i) {
        if (!isDigit(line[i])) return std::nullopt;
        value = value * 10 + (line[i] - '0');
    }
    return value;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

std::optional<IgcDate> date(int day, int month, int twoDigitYear) {
    // The format began in the 1990s: 80-99 are 19YY, everything else 20YY.
    const int year = twoDigitYear >= 80 ? 1900 + twoDigitYear : 2000 + twoDigitYear;
    static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1) return std::nullopt;
    const int last = kDays[month - 1] + (month == 2 && isLeapYear(year) ? 1 : 0);
    if (day > last) return std::nullopt;
    return IgcDate{year, month, day};
}

// "HFDTEDDMMYY" (before 2016), "HFDTEDATE:DDMMYY,NN" (since).
void readDate(std::string_view line, IgcFile& file) {
    std::string_view rest = line.substr(5);
    if (rest.substr(0, 5) == "DATE:") {
        rest.remove_prefix(5);
    } else if (!rest.empty() && rest.front() == ':') {
        rest.remove_prefix(1);
    }
    const auto dd = digits(rest, 0, 2);
    const auto mm = digits(rest, 2, 2);
    const auto yy = digits(rest, 4, 2);
    if (!dd || !mm || !yy) return;
    file.date = date(*dd, *mm, *yy);
    if (!file.date) return;
    if (rest.size() > 6 && rest[6] == ',') {
        if (const auto nn = digits(rest, 7, 2)) file.flightOfDay = *nn;
    }
}

// The text after the long name's colon, as in "HFPLTPILOTINCHARGE: Jane Doe".
void readText(std::string_view line, std::string& into) {
    if (!into.empty()) return;  // the first such record counts
    const std::size_t colon = line.find(':', 5);
    if (colon == std::string_view::npos) return;
    into = std::string(trim(line.substr(colon + 1)));
}

void readHeader(std::string_view line, IgcFile& file) {
    if (line.size() < 5) return;
    // The source (F recorder, O observer, P pilot) does not change what a value means.
    const std::string_view code = line.substr(2, 3);
    if (code == "DTE") {
        if (!file.date) readDate(line, file);
    } else if (code == "PLT") {
        readText(line, file.pilot);
    } else if (code == "GTY") {
        readText(line, file.gliderType);
    } else if (code == "GID") {
        readText(line, file.gliderId);
    }
}

// "I" NN, then NN times first byte, last byte and code: "I013638FXA".
void readExtensions(std::string_view line, IgcFile& file) {
    const auto count = digits(line, 1, 2);
    if (!count) return;
    std::vector<IgcExtension> extensions;
    int after = static_cast<int>(kFixedFixLength);
    for (int i = 0; i < *count; ++i) {
        const std::size_t at = 3 + 7 * static_cast<std::size_t>(i);
        const auto first = digits(line, at, 2);
        const auto last = digits(line, at + 2, 2);
        if (!first || !last || line.size() < at + 7) break;
        const std::string_view code = line.substr(at + 4, 3);
        // In order, after the fixed part and each other, never overlapping.
        if (*first <= after || *last < *first || !std::all_of(code.begin(), code.end(), isAlnum)) {
            break;
        }
        extensions.push_back({std::string(code), *first, *last});
        after = *last;
    }
    file.extensions = std::move(extensions);
}

// Five characters: digits, or a minus sign and four digits. Zero is no value.
bool readAltitude(std::string_view line, std::size_t at, std::optional<int>& into) {
    std::optional<int> value;
    if (at < line.size() && line[at] == '-') {
        const auto magnitude = digits(line, at + 1, 4);
        if (magnitude) value = -*magnitude;
    } else {
        value = digits(line, at, 5);
    }
    if (!value) return false;
    if (*value != 0) into = value;
    return true;
}

// Degrees from DD(D), MM and mmm (thousandths of a minute) and the hemisphere letter.
std::optional<double> angle(std::string_view line, std::size_t at, std::size_t degreeDigits,
                            int maxDegrees, char positive, char negative) {
    const auto degrees = digits(line, at, degreeDigits);
    const auto thousandths = digits(line, at + degreeDigits, 5);
    const std::size_t hemisphere = at + degreeDigits + 5;
    if (!degrees || !thousandths || hemisphere >= line.size()) return std::nullopt;
    if (*thousandths >= 60000) return std::nullopt;
    const double value = *degrees + *thousandths / 60000.0;
    if (value > maxDegrees) return std::nullopt;
    if (line[hemisphere] == positive) return value;
    if (line[hemisphere] == negative) return -value;
    return std::nullopt;
}

// "B" HHMMSS DDMMmmmN DDDMMmmmE V PPPPP GGGGG, then the I record's additions.
std::optional<IgcFix> readFix(std::string_view line) {
    if (line.size() < kFixedFixLength) return std::nullopt;
    const auto h = digits(line, 1, 2);
    const auto m = digits(line, 3, 2);
    const auto s = digits(line, 5, 2);
    if (!h || !m || !s || *h > 23 || *m > 59 || *s > 59) return std::nullopt;
    const auto lat = angle(line, 7, 2, 90, 'N', 'S');
    const auto lon = angle(line, 15, 3, 180, 'E', 'W');
    if (!lat || !lon) return std::nullopt;
    if (line[24] != 'A' && line[24] != 'V') return std::nullopt;
    IgcFix fix;
    fix.time = *h * 3600 + *m * 60 + *s;
    fix.latitude = *lat;
    fix.longitude = *lon;
    fix.valid = line[24] == 'A';
    if (!readAltitude(line, 25, fix.pressureAltitude) || !readAltitude(line, 30, fix.gpsAltitude)) {
        return std::nullopt;
    }
    fix.record = std::string(line);
    return fix;
}

}  // namespace

std::string_view IgcFile::extensionValue(const IgcFix& fix, const IgcExtension& extension) const {
    const std::string_view record = fix.record;
    const auto first = static_cast<std::size_t>(extension.first);
    const auto last = static_cast<std::size_t>(extension.last);
    if (first < 1 || last < first || last > record.size()) return {};
    return record.substr(first - 1, last - first + 1);
}

IgcReadResult parseIgc(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // a UTF-8 byte order mark
    IgcFile file;
    bool begun = false;
    int day = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;

        if (!begun) {
            if (line[0] != 'A' || line.size() < 4 ||
                !std::all_of(line.begin() + 1, line.begin() + 4, isAlnum)) {
                return {std::nullopt,
                        "This is not an IGC flight log: it does not begin with an A record."};
            }
            file.manufacturer = std::string(line.substr(1, 3));
            std::size_t idEnd = 4;
            while (idEnd < line.size() && idEnd < 7 && isAlnum(line[idEnd])) ++idEnd;
            file.serial = std::string(line.substr(4, idEnd - 4));
            begun = true;
            continue;
        }
        switch (line[0]) {
            case 'A':
                // The next flight of a file that holds several (the whole memory): the
                // view shows the first.
                at = text.size();
                break;
            case 'H':
                readHeader(line, file);
                break;
            case 'I':
                readExtensions(line, file);
                break;
            case 'B': {
                auto fix = readFix(line);
                if (!fix) {
                    ++file.malformedFixes;
                    break;
                }
                // A time earlier than the last one's is the next day. A step back of
                // less than half a day is a clock's stumble, not a midnight.
                fix->time += day * kDay;
                if (!file.fixes.empty() && fix->time < file.fixes.back().time - kDay / 2) {
                    ++day;
                    fix->time += kDay;
                }
                file.fixes.push_back(std::move(*fix));
                break;
            }
            default:
                break;  // C, D, E, F, G, J, K, L and whatever else: not for the view
        }
    }
    if (!begun) {
        return {std::nullopt, "This is not an IGC flight log: it does not begin with an A record."};
    }
    if (file.fixes.empty()) {
        return {std::nullopt,
                "This is not an IGC flight log: it holds no readable B record (fix)."};
    }
    return {std::move(file), {}};
}

IgcReadResult readIgcFile(const std::filesystem::path& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        return {std::nullopt, "Cannot read the file: it is a folder."};
    }
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        const int error = errno;
        return {std::nullopt, std::string("Cannot open the file") +
                                  (error != 0 ? std::string(": ") + std::strerror(error) : "") +
                                  "."};
    }
    std::string text;
    std::array<char, 65536> chunk{};
    while (in) {
        in.read(chunk.data(), chunk.size());
        const auto n = static_cast<std::size_t>(in.gcount());
        if (text.size() + n > kMaxIgcFileSize) {
            return {std::nullopt, "The file is too large for an IGC flight log."};
        }
        text.append(chunk.data(), n);
    }
    if (in.bad()) return {std::nullopt, "Cannot read the file."};
    return parseIgc(text);
}

double greatCircleKm(double lat1, double lon1, double lat2, double lon2) {
    const double toRadians = kPi / 180;
    const double p1 = lat1 * toRadians;
    const double p2 = lat2 * toRadians;
    const double dp = p2 - p1;
    const double dl = (lon2 - lon1) * toRadians;
    // Haversine: well conditioned for the short steps between fixes.
    const double a = std::sin(dp / 2) * std::sin(dp / 2) +
                     std::cos(p1) * std::cos(p2) * std::sin(dl / 2) * std::sin(dl / 2);
    return 2 * kEarthRadiusKm * std::asin(std::min(1.0, std::sqrt(a)));
}

FlightSummary summarizeFlight(const IgcFile& file) {
    FlightSummary summary;
    summary.date = file.date;
    summary.fixes = file.fixes.size();
    if (file.fixes.empty()) return summary;
    summary.firstFix = file.fixes.front().time;
    summary.lastFix = file.fixes.back().time;
    summary.duration = std::max<std::int64_t>(0, summary.lastFix - summary.firstFix);
    auto raise = [](std::optional<int>& max, const std::optional<int>& value) {
        if (value && (!max || *value > *max)) max = value;
    };
    const IgcFix* previous = nullptr;
    for (const IgcFix& fix : file.fixes) {
        raise(summary.maxPressureAltitude, fix.pressureAltitude);
        // A 'V' fix is a 2D fix or none: its GPS altitude and position are
        // guesses or placeholders, which would add metres and kilometres never flown.
        if (!fix.valid) continue;
        raise(summary.maxGpsAltitude, fix.gpsAltitude);
        if (previous) {
            summary.trackKm +=
                greatCircleKm(previous->latitude, previous->longitude, fix.latitude, fix.longitude);
        }
        previous = &fix;
    }
    return summary;
}

std::string formatIgcDate(const std::optional<IgcDate>& d) {
    if (!d) return "-";
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", d->year, d->month, d->day);
    return text;
}

std::string formatTimeOfDay(std::int64_t seconds) {
    const std::int64_t s = ((seconds % kDay) + kDay) % kDay;
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(s / 3600),
                  static_cast<int>(s / 60 % 60), static_cast<int>(s % 60));
    return text;
}

std::string formatDuration(std::int64_t seconds) {
    const std::int64_t s = std::max<std::int64_t>(0, seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02d:%02d", static_cast<long long>(s / 3600),
                  static_cast<int>(s / 60 % 60), static_cast<int>(s % 60));
    return text;
}

std::string formatFlightSummary(const FlightSummary& summary) {
    auto altitude = [](const std::optional<int>& value) {
        return value ? std::to_string(*value) : std::string("-");
    };
    char km[32];
    std::snprintf(km, sizeof km, "%.1f", summary.trackKm);
    return "date " + formatIgcDate(summary.date) + "\nfirst-fix " +
           formatTimeOfDay(summary.firstFix) + "\nlast-fix " + formatTimeOfDay(summary.lastFix) +
           "\nduration " + formatDuration(summary.duration) + "\nfixes " +
           std::to_string(summary.fixes) + "\nmax-pressure-altitude " +
           altitude(summary.maxPressureAltitude) + "\nmax-gps-altitude " +
           altitude(summary.maxGpsAltitude) + "\ntrack-km " + km + "\n";
}

}  // namespace vantor
