// The flight logs the simulated instrument holds: IGC files of plausible
// flights, signed as the instrument signs them.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "LogSigning.h"
#include "Simulator.h"

namespace vantor::sim {
namespace {

constexpr unsigned kFixInterval = 4;  // seconds between B records
constexpr double kMetresPerDegree = 111320.0;
constexpr double kPi = 3.14159265358979323846;

struct Point {
    double lat = 0;  // degrees north
    double lon = 0;  // degrees east
};

std::string format(const char* pattern, auto... values) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, pattern, values...);
    return buffer;
}

// DDMMmmmN and DDDMMmmmE, as B and C records write them.
std::string igcPosition(const Point& p) {
    const long lat = std::lround(std::fabs(p.lat) * 60000);
    const long lon = std::lround(std::fabs(p.lon) * 60000);
    return format("%02ld%05ld%c%03ld%05ld%c", lat / 60000, lat % 60000, p.lat < 0 ? 'S' : 'N',
                  lon / 60000, lon % 60000, p.lon < 0 ? 'W' : 'E');
}

// A C record's point and name. Formatted, not "C" + a temporary string, which
// makes GCC 12 at -O3 warn of an overlapping copy that cannot happen.
std::string declaredPoint(const Point& p, const char* name) {
    return format("C%s%s", igcPosition(p).c_str(), name);
}

std::string hhmmss(unsigned s) {
    return format("%02u%02u%02u", s / 3600 % 24, s / 60 % 60, s % 60);
}

std::string trimmed(const std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t n) {
    std::string text;
    for (std::size_t i = from; i < from + n && i < bytes.size() && bytes[i] != 0; ++i) {
        text += static_cast<char>(bytes[i]);
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

double bearingTo(const Point& from, const Point& to) {
    const double north = (to.lat - from.lat) * kMetresPerDegree;
    const double east = (to.lon - from.lon) * kMetresPerDegree * std::cos(from.lat * kPi / 180);
    return std::atan2(east, north);
}

double distance(const Point& a, const Point& b) {
    const double north = (b.lat - a.lat) * kMetresPerDegree;
    const double east = (b.lon - a.lon) * kMetresPerDegree * std::cos(a.lat * kPi / 180);
    return std::hypot(north, east);
}

void move(Point& p, double heading, double metres) {
    p.lat += std::cos(heading) * metres / kMetresPerDegree;
    p.lon += std::sin(heading) * metres / (kMetresPerDegree * std::cos(p.lat * kPi / 180));
}

// The lines of the file, each marked with whether the instrument signs it.
class IgcText {
public:
    void add(std::string line, bool isSigned = true) {
        lines_.push_back({std::move(line) + "\r\n", isSigned});
    }
    std::string all() const {
        std::string text;
        for (const auto& l : lines_) text += l.text;
        return text;
    }
    std::string signedText() const {
        std::string text;
        for (const auto& l : lines_) {
            if (l.isSigned) text += l.text;
        }
        return text;
    }
    // Changes one digit of the pressure altitude of a B record in the middle.
    void tamperFix() {
        std::vector<std::size_t> fixes;
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            if (lines_[i].text[0] == 'B') fixes.push_back(i);
        }
        if (fixes.empty()) return;
        char& digit = lines_[fixes[fixes.size() / 2]].text[29];
        digit = static_cast<char>('0' + (digit - '0' + 1) % 10);
    }

private:
    struct Line {
        std::string text;
        bool isSigned;
    };
    std::vector<Line> lines_;
};

}  // namespace

SimLog generateLog(std::size_t index, const InstrumentState& state, std::uint32_t seed,
                   const LogOptions& options) {
    std::seed_seq seq{seed, static_cast<std::uint32_t>(index)};
    std::mt19937 rng(seq);
    auto pick = [&rng](unsigned n) { return static_cast<unsigned>(rng() % n); };

    SimLog log;
    const auto number = static_cast<unsigned>(index);
    const unsigned year = 20 + seed % 6;
    const unsigned month = 1 + number / 28 + seed % 3;
    const unsigned day = 1 + number % 28;
    const unsigned startSeconds = (9 + pick(4)) * 3600 + pick(60) * 60 + pick(60);
    // Durations 20+3i .. 22+3i minutes, and every third log a cross-country
    // flight of four to five hours (about 200 kB of IGC text): distinct and
    // within the day.
    const unsigned durationSeconds =
        (number % 3 == 2 ? 240 + pick(60) : 20 + 3 * number + pick(3)) * 60 + pick(60);
    const unsigned endSeconds = startSeconds + durationSeconds;
    auto stamp = [&](unsigned s) {
        return std::array<std::uint8_t, 6>{
            static_cast<std::uint8_t>(year),        static_cast<std::uint8_t>(month),
            static_cast<std::uint8_t>(day),         static_cast<std::uint8_t>(s / 3600),
            static_cast<std::uint8_t>(s / 60 % 60), static_cast<std::uint8_t>(s % 60)};
    };
    log.start = stamp(startSeconds);
    log.end = stamp(endSeconds);
    log.label = "FLIGHT " + std::to_string(index + 1);

    const std::string serial(state.serial.begin(), state.serial.end());
    const std::string date = format("%02u%02u%02u", day, month, year % 100);
    std::string pilot = trimmed(state.pilotPreferences, 0, 24);
    std::string gliderType = trimmed(state.glider, 0, 12);
    std::string gliderId = trimmed(state.glider, 12, 12);

    IgcText igc;
    igc.add("ATVR" + serial + "FLIGHT:" + std::to_string(index + 1));
    // The headers in their current forms. Pilot and glider come from the
    // instrument's own records, so it writes and signs them as its own (HF);
    // the competition id is the pilot's word (HP), left out of the signature.
    // Each log is of a day of its own: always the day's first flight.
    igc.add("HFDTEDATE:" + date + ",01");
    igc.add("HFFXA035");
    igc.add("HFPLTPILOTINCHARGE:" + pilot);
    igc.add("HFCM2CREW2:NIL");
    igc.add("HFGTYGLIDERTYPE:" + gliderType);
    igc.add("HFGIDGLIDERID:" + gliderId);
    igc.add("HPCIDCOMPETITIONID:" + gliderId, false);
    igc.add("HFDTMGPSDATUM:WGS84");
    igc.add(format("HFRFWFIRMWAREVERSION:%c.%c", state.version[0], state.version[1]));
    igc.add(format("HFRHWHARDWAREVERSION:%u", static_cast<unsigned>(state.instrumentType)));
    igc.add("HFFTYFRTYPE:TARVEK,VANTOR 2");
    igc.add("HFGPSRECEIVER:GENERIC,12CH,MAX18000M");
    igc.add("HFPRSPRESSALTSENSOR:GENERIC,ABSOLUTE,MAX9999M");
    igc.add("HFALGALTGPS:GEO");
    igc.add("HFALPALTPRESSURE:ISA");
    igc.add("HOSITSITE:HOME FIELD", false);
    igc.add("I013638FXA");

    // A triangle declared before take-off: start and finish at the field.
    const Point field{47.5 + pick(1000) / 20000.0, 8.25 + pick(1000) / 20000.0};
    const Point turn1{field.lat + 0.20 + pick(100) / 1000.0, field.lon + 0.30 + pick(100) / 1000.0};
    const Point turn2{field.lat - 0.10 - pick(100) / 1000.0, field.lon + 0.45 + pick(100) / 1000.0};
    const unsigned declared = startSeconds >= 1800 ? startSeconds - 1800 : 0;
    igc.add("C" + date + hhmmss(declared) + date + "000102" + "TRIANGLE");
    igc.add(declaredPoint(field, "TAKEOFF"));
    igc.add(declaredPoint(field, "START"));
    igc.add(declaredPoint(turn1, "TURN ONE"));
    igc.add(declaredPoint(turn2, "TURN TWO"));
    igc.add(declaredPoint(field, "FINISH"));
    igc.add(declaredPoint(field, "LANDING"));
    igc.add("LTVRFLIGHT:" + std::to_string(index + 1));
    igc.add("LPLTNOTE:LOCAL SOARING", false);

    // The flight: a tow, then thermals and glides round the triangle, a
    // final glide home and a few fixes standing on the field.
    const double ground = 400 + pick(150);
    const double gnssOffset = 15 + pick(20);
    Point at = field;
    double altitude = ground;
    double heading = 250 * kPi / 180;
    bool circling = false;
    double cloudBase = ground + 1400 + pick(400);
    const Point targets[] = {turn1, turn2, field};
    std::size_t target = 0;
    const unsigned eventAt = startSeconds + durationSeconds / 2;
    bool eventDone = false;
    for (unsigned s = startSeconds; s <= endSeconds; s += kFixInterval) {
        const double f = static_cast<double>(s - startSeconds) / durationSeconds;
        double speed = 0;
        double climb = 0;
        if (f < 0.06 && altitude < ground + 600) {
            speed = 32;
            climb = s == startSeconds ? 0 : 3.0;
        } else if (f < 0.85) {
            if (circling) {
                heading += 18 * kPi / 180;
                speed = 24;
                climb = 1.2 + pick(160) / 100.0;
                if (altitude > cloudBase) {
                    circling = false;
                    cloudBase = ground + 1400 + pick(400);
                }
            } else {
                if (distance(at, targets[target]) < 2000 && target + 1 < std::size(targets)) {
                    ++target;
                }
                heading = bearingTo(at, targets[target]);
                speed = 36;
                climb = -(0.9 + pick(60) / 100.0);
                if (altitude < ground + 700) circling = true;
            }
        } else if (f < 0.97) {
            heading = bearingTo(at, field);
            speed = 30;
            const double left = std::max(1.0, (0.97 - f) * durationSeconds / kFixInterval);
            climb = -(altitude - ground) / left / kFixInterval;
        }
        altitude = std::max(ground, altitude + climb * kFixInterval);
        move(at, heading, speed * kFixInterval);

        if (!eventDone && s >= eventAt) {
            igc.add(format("E%sPEV", hhmmss(s).c_str()));
            igc.add("LCMTTHERMAL MARKED", false);
            eventDone = true;
        }
        const long pressure = std::lround(altitude);
        const long gnss = std::lround(altitude + gnssOffset + pick(5));
        igc.add(format("B%s%sA%05ld%05ld%03u", hhmmss(s).c_str(), igcPosition(at).c_str(), pressure,
                       gnss, 5 + pick(25)));
    }
    const unsigned minutes = durationSeconds / 60;
    igc.add(format("LTVRFLIGHT TIME:%02u:%02u", minutes / 60, minutes % 60));

    Signing signing;
    signing.status = options.status;
    signing.keyNumber = options.keyNumber.value_or(static_cast<std::uint16_t>(pick(1000)));
    signing.nonce = (std::uint64_t{seed} << 32) | number;
    const std::string security = signatureLines(igc.signedText(), signing);
    if (options.tamperFix) igc.tamperFix();
    log.igc = igc.all();
    log.security.assign(security.begin(), security.end());

    log.binary.resize(64 + durationSeconds / 4);
    for (auto& b : log.binary) b = static_cast<std::uint8_t>(rng() & 0xFF);
    log.binaryHeaderA = 2;
    log.binaryHeaderB = static_cast<std::uint8_t>(index & 0xFF);
    return log;
}

}  // namespace vantor::sim
