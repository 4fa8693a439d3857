#pragma once

// Reading a saved IGC flight log for showing the flight: who flew what, when,
// and the fixes. The security of the file is LogVerifier's business; this
// reader believes what it reads, but never more than the bytes hold.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantor {

struct IgcDate {
    int year = 0;  // four digits
    int month = 0;
    int day = 0;
};

// One addition to the B records, as an I record declares it: the record's
// bytes first..last (counted from 1, as the format counts them).
struct IgcExtension {
    std::string code;  // three letters, e.g. "FXA"
    int first = 0;
    int last = 0;
};

struct IgcFix {
    // Seconds from midnight UTC of the flight's first day: a fix after
    // midnight counts on from 86400, so differences are durations.
    std::int64_t time = 0;
    double latitude = 0;                  // degrees, north positive
    double longitude = 0;                 // degrees, east positive
    bool valid = false;                   // 'A' (3D fix); 'V' is a 2D fix or none
    std::optional<int> pressureAltitude;  // metres; 00000 is no value
    std::optional<int> gpsAltitude;       // metres; 00000 is no value
    std::string record;                   // the B record as written, for its extensions
};

struct IgcFile {
    std::string manufacturer;  // the A record's three characters
    std::string serial;        // the recorder's unique id that follows them
    std::optional<IgcDate> date;
    std::optional<int> flightOfDay;  // "HFDTEDATE:DDMMYY,NN"
    std::string pilot;
    std::string gliderType;
    std::string gliderId;
    std::vector<IgcExtension> extensions;  // of the last I record
    std::vector<IgcFix> fixes;
    std::size_t malformedFixes = 0;  // B records that could not be read, left out

    // The text of an extension in a fix's record; empty when the record is too short.
    std::string_view extensionValue(const IgcFix& fix, const IgcExtension& extension) const;
};

struct IgcReadResult {
    std::optional<IgcFile> file;
    std::string error;  // for people, when there is no file
};

// A file larger than this is no flight log (a day's fixes at one a second
// take about 3 MB) and is not read into memory.
inline constexpr std::uintmax_t kMaxIgcFileSize = 32u * 1024 * 1024;

// The text of an IGC file: lines ending in CR LF or LF, unknown records
// skipped. It is not IGC when its first record is not an A record or when it
// holds no B record that can be read.
IgcReadResult parseIgc(std::string_view text);
IgcReadResult readIgcFile(const std::filesystem::path& path);

// What the flight view and "vantorctl flight" show.
struct FlightSummary {
    std::optional<IgcDate> date;
    std::int64_t firstFix = 0;  // seconds, as IgcFix::time
    std::int64_t lastFix = 0;
    std::int64_t duration = 0;               // last fix less first fix, never negative
    std::size_t fixes = 0;                   // every B record read
    std::optional<int> maxPressureAltitude;  // over every fix with a value
    std::optional<int> maxGpsAltitude;       // over the valid ('A') fixes with a value
    double trackKm = 0;                      // along the valid fixes
};

FlightSummary summarizeFlight(const IgcFile& file);

// Great-circle distance on the mean earth sphere (radius 6371 km).
double greatCircleKm(double lat1, double lon1, double lat2, double lon2);

// "YYYY-MM-DD", or "-" without a date.
std::string formatIgcDate(const std::optional<IgcDate>& date);
// The time of day of a fix, "HH:MM:SS".
std::string formatTimeOfDay(std::int64_t seconds);
// A duration, "HH:MM:SS" (the hours growing past 99 when they must).
std::string formatDuration(std::int64_t seconds);
// The lines "vantorctl flight" prints: "date ...", "first-fix ..." to
// "track-km ...", each ending in a line feed; a missing value is "-".
std::string formatFlightSummary(const FlightSummary& summary);

}  // namespace vantor
