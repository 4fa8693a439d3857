// The IGC reader and the flight summary: headers and B records of every form
// the reader meets, files that are no IGC, midnight, and the figures.

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "logs/IgcFile.h"

namespace vantor {
namespace {

// An A record, then the lines given, each ending in CR LF.
std::string igc(const std::vector<std::string>& lines, const std::string& end = "\r\n") {
    std::string text = "AXYZ123" + end;
    for (const auto& l : lines) text += l + end;
    return text;
}

constexpr char kFix[] = "B1200004700000N00800000EA0100001050";

TEST(IgcFile, HeaderForms) {
    struct Case {
        const char* name;
        std::string header;
        std::string date;  // as formatted
        std::optional<int> flightOfDay;
        std::string pilot;
    } cases[] = {
        {"old date", "HFDTE140705", "2005-07-14", {}, ""},
        {"new date", "HFDTEDATE:140705,02", "2005-07-14", 2, ""},
        {"new date without number", "HFDTEDATE:010124", "2024-01-01", {}, ""},
        {"1990s", "HFDTE311299", "1999-12-31", {}, ""},
        {"year 79 is 2079", "HFDTE010179", "2079-01-01", {}, ""},
        {"leap day", "HFDTE290224", "2024-02-29", {}, ""},
        {"no leap day", "HFDTE290223", "-", {}, ""},
        {"month 13", "HFDTE011324", "-", {}, ""},
        {"day 0", "HFDTE000124", "-", {}, ""},
        {"short date", "HFDTE0101", "-", {}, ""},
        {"letters", "HFDTEDATE:0A0124,01", "-", {}, ""},
        {"pilot in charge", "HFPLTPILOTINCHARGE: Jane Doe ", "-", {}, "Jane Doe"},
        {"old pilot form", "HFPLTPILOT:Jan Kowalski", "-", {}, "Jan Kowalski"},
        {"pilot's own entry", "HPPLTPILOTINCHARGE:P. Pilot", "-", {}, "P. Pilot"},
        {"pilot without colon", "HFPLTPILOTINCHARGE", "-", {}, ""},
        {"cut short", "HFDT", "-", {}, ""},
    };
    for (const auto& c : cases) {
        const auto r = parseIgc(igc({c.header, kFix}));
        ASSERT_TRUE(r.file) << c.name;
        EXPECT_EQ(formatIgcDate(r.file->date), c.date) << c.name;
        EXPECT_EQ(r.file->flightOfDay, c.flightOfDay) << c.name;
        EXPECT_EQ(r.file->pilot, c.pilot) << c.name;
    }

    const auto r = parseIgc(
        igc({"HFDTEDATE:020324,01", "HFDTE010199", "HFGTYGLIDERTYPE:LS-4", "HFGIDGLIDERID:D-KAZZ",
             "HFPLTPILOTINCHARGE:First", "HPPLTPILOTINCHARGE:Second", kFix}));
    ASSERT_TRUE(r.file);
    EXPECT_EQ(r.file->manufacturer, "XYZ");
    EXPECT_EQ(r.file->serial, "123");
    EXPECT_EQ(formatIgcDate(r.file->date), "2024-03-02");  // the first date counts
    EXPECT_EQ(r.file->gliderType, "LS-4");
    EXPECT_EQ(r.file->gliderId, "D-KAZZ");
    EXPECT_EQ(r.file->pilot, "First");
}

TEST(IgcFile, BRecords) {
    struct Case {
        const char* name;
        std::string record;
        std::int64_t time = 0;
        double lat = 0;
        double lon = 0;
        bool valid = true;
        std::optional<int> pressure;
        std::optional<int> gps;
    };
    const Case cases[] = {
        {"plain", "B1234564730500N00815250EA0123401250", 45296, 47.508333, 8.254167, true, 1234,
         1250},
        {"south west", "B0000003352500S15112000WA0001000020", 0, -33.875, -151.2, true, 10, 20},
        {"2D fix", "B0000004700000N00800000EV0100001050", 0, 47, 8, false, 1000, 1050},
        {"negative pressure altitude", "B0000004700000N00800000EA-001200003", 0, 47, 8, true, -12,
         3},
        {"no altitudes", "B0000004700000N00800000EA0000000000", 0, 47, 8, true, {}, {}},
        {"no GPS altitude", "B0000004700000N00800000EA0050000000", 0, 47, 8, true, 500, {}},
        {"with additions", "B0000004700000N00800000EA0100001050035", 0, 47, 8, true, 1000, 1050},
        {"poles and date line", "B2359599000000N18000000WA0000100001", 86399, 90, -180, true, 1, 1},
    };
    for (const auto& c : cases) {
        const auto r = parseIgc(igc({c.record, kFix}));
        ASSERT_TRUE(r.file) << c.name;
        ASSERT_EQ(r.file->fixes.size(), 2u) << c.name;
        EXPECT_EQ(r.file->malformedFixes, 0u) << c.name;
        const IgcFix& fix = r.file->fixes[0];
        EXPECT_EQ(fix.time, c.time) << c.name;
        EXPECT_NEAR(fix.latitude, c.lat, 1e-6) << c.name;
        EXPECT_NEAR(fix.longitude, c.lon, 1e-6) << c.name;
        EXPECT_EQ(fix.valid, c.valid) << c.name;
        EXPECT_EQ(fix.pressureAltitude, c.pressure) << c.name;
        EXPECT_EQ(fix.gpsAltitude, c.gps) << c.name;
        EXPECT_EQ(fix.record, c.record) << c.name;
    }
    // Records that are left out, counted, while the rest of the file is read.
    const std::pair<const char*, const char*> unreadable[] = {
        {"letter O for a zero", "B000000470000ON00800000EA-001200003"},
        {"one byte short", "B0000004700000N00800000EA010000105"},
        {"hour 24", "B2400004700000N00800000EA0100001050"},
        {"minute 60", "B0060004700000N00800000EA0100001050"},
        {"latitude past 90", "B0000009100000N00800000EA0100001050"},
        {"longitude past 180", "B0000004700000N18100000EA0100001050"},
        {"minutes past 59.999", "B0000004760000N00800000EA0100001050"},
        {"no hemisphere", "B0000004700000X00800000EA0100001050"},
        {"validity letter", "B0000004700000N00800000EX0100001050"},
        {"altitude letters", "B0000004700000N00800000EA01O0001050"},
        {"minus in the middle", "B0000004700000N00800000EA01-0001050"},
    };
    for (const auto& [name, record] : unreadable) {
        const auto r = parseIgc(igc({record, kFix}));
        ASSERT_TRUE(r.file) << name;
        EXPECT_EQ(r.file->fixes.size(), 1u) << name;
        EXPECT_EQ(r.file->malformedFixes, 1u) << name;
    }
}

TEST(IgcFile, ExtensionsOfTheIRecord) {
    struct Case {
        const char* name;
        std::string record;
        std::vector<std::string> codes;
    } cases[] = {
        {"one", "I013638FXA", {"FXA"}},
        {"two", "I023638FXA3940SIU", {"FXA", "SIU"}},
        {"over the fixed part", "I013538FXA", {}},
        {"overlapping: the first kept", "I023638FXA3840SIU", {"FXA"}},
        {"backwards", "I013836FXA", {}},
        {"count beyond the record", "I033638FXA", {"FXA"}},
        {"no count", "IXX", {}},
    };
    for (const auto& c : cases) {
        const auto r = parseIgc(igc({c.record, "B1200004700000N00800000EA010000105001207"}));
        ASSERT_TRUE(r.file) << c.name;
        std::vector<std::string> codes;
        for (const auto& e : r.file->extensions) codes.push_back(e.code);
        EXPECT_EQ(codes, c.codes) << c.name;
    }
    const auto r = parseIgc(igc({"I023638FXA3941SIU", "B1200004700000N00800000EA0100001050012077",
                                 "B1200044700000N00800000EA0100001050012"}));
    ASSERT_TRUE(r.file);
    const IgcFile& f = *r.file;
    ASSERT_EQ(f.extensions.size(), 2u);
    EXPECT_EQ(f.extensions[1].first, 39);
    EXPECT_EQ(f.extensions[1].last, 41);
    EXPECT_EQ(f.extensionValue(f.fixes[0], f.extensions[0]), "012");
    EXPECT_EQ(f.extensionValue(f.fixes[0], f.extensions[1]), "077");
    EXPECT_EQ(f.extensionValue(f.fixes[1], f.extensions[0]), "012");
    EXPECT_EQ(f.extensionValue(f.fixes[1], f.extensions[1]), "");  // the record ends before it
}

TEST(IgcFile, WhatIsNoIgcFile) {
    const std::string noA = "This is not an IGC flight log: it does not begin with an A record.";
    const std::string noB = "This is not an IGC flight log: it holds no readable B record (fix).";
    struct Case {
        const char* name;
        std::string text;
        std::string error;
    } cases[] = {
        {"empty", "", noA},
        {"blank lines", "\r\n\n\r\n", noA},
        {"fixes without an A record", std::string(kFix) + "\r\n", noA},
        {"a header first", "HFDTE010124\r\nAXYZ123\r\n" + std::string(kFix) + "\r\n", noA},
        {"A and binary", std::string("A\x01\x02\x03\xFF\r\n", 7) + kFix, noA},
        {"a lone A", "A\r\n" + std::string(kFix), noA},
        {"binary", std::string("\0\x89PNG\r\n", 7), noA},
        {"headers only", igc({"HFDTE010124", "HFPLTPILOT:X"}), noB},
        {"broken fixes only", igc({"B12", "B1200004700000N00800000EA01000010S0"}), noB},
        {"fix of the next flight only", igc({"HFDTE010124", "AXYZ124", kFix}), noB},
    };
    for (const auto& c : cases) {
        const auto r = parseIgc(c.text);
        EXPECT_FALSE(r.file) << c.name;
        EXPECT_EQ(r.error, c.error) << c.name;
    }
    // A byte order mark and lines before the A record that hold nothing are no reason to refuse.
    EXPECT_TRUE(parseIgc("\xEF\xBB\xBF\r\n" + igc({kFix})).file);

    const auto missing = readIgcFile("/nonexistent/flight.igc");
    EXPECT_FALSE(missing.file);
    EXPECT_EQ(missing.error, "Cannot open the file: No such file or directory.");
    EXPECT_EQ(readIgcFile("/").error, "Cannot read the file: it is a folder.");
}

TEST(IgcFile, MidnightLineEndsAndUnknownRecords) {
    // LF only, a last line without its end, and records the view does not use.
    std::string text = igc({"HFDTE311224", "I013638FXA", "C311224235000000000000102TASK",
                            "LXYZNOTE", "B2359584600000N00700000EA0100001050020", "E235959PEV",
                            "B0000024601000N00700000EA0000000000020",
                            "B0000014601000N00700000EA0000000000020", "G0123456789ABCDEF"},
                           "\n");
    text += "B0000064602000N00700000EA0102001070020";
    const auto r = parseIgc(text);
    ASSERT_TRUE(r.file);
    const IgcFile& f = *r.file;
    ASSERT_EQ(f.fixes.size(), 4u);
    EXPECT_EQ(f.fixes[0].time, 86398);
    EXPECT_EQ(f.fixes[1].time, 86400 + 2);
    // A second back is the clock's stumble, not another midnight.
    EXPECT_EQ(f.fixes[2].time, 86400 + 1);
    EXPECT_EQ(f.fixes[3].time, 86400 + 6);
    EXPECT_EQ(f.fixes[3].record, "B0000064602000N00700000EA0102001070020");

    // Two midnights: a flight log of a recorder left on for two days.
    const auto twoDays = parseIgc(
        igc({"B2300004700000N00800000EA0100001050", "B0100004700000N00800000EA0100001050",
             "B2300004700000N00800000EA0100001050", "B0100004700000N00800000EA0100001050"}));
    ASSERT_TRUE(twoDays.file);
    EXPECT_EQ(twoDays.file->fixes.back().time, 2 * 86400 + 3600);
    EXPECT_EQ(summarizeFlight(*twoDays.file).duration, 2 * 86400 + 3600 - 23 * 3600);
}

TEST(FlightSummary, FiguresOfAFlight) {
    // Along a meridian, one minute of latitude a step; a 2D fix far off between
    // them is counted but adds no kilometres and no GPS altitude.
    const auto r =
        parseIgc(igc({"HFDTEDATE:311224,01", "B2359584600000N00700000EA0100001050",
                      "B0000004601000N00700000EA0000000000", "B0000014500000N01000000EV0500009000",
                      "B0000024602000N00700000EA-001201070"}));
    ASSERT_TRUE(r.file);
    const FlightSummary s = summarizeFlight(*r.file);
    EXPECT_EQ(s.fixes, 4u);
    EXPECT_EQ(s.duration, 4);
    EXPECT_EQ(s.maxPressureAltitude, 5000);
    EXPECT_EQ(s.maxGpsAltitude, 1070);
    const double minuteKm = 6371 * 3.14159265358979323846 / 180 / 60;
    EXPECT_NEAR(s.trackKm, 2 * minuteKm, 1e-9);
    EXPECT_EQ(formatFlightSummary(s),
              "date 2024-12-31\nfirst-fix 23:59:58\nlast-fix 00:00:02\nduration 00:00:04\n"
              "fixes 4\nmax-pressure-altitude 5000\nmax-gps-altitude 1070\ntrack-km 3.7\n");

    // Nothing but missing altitudes, no date, a single fix.
    const auto bare = parseIgc(igc({"B1000004700000N00800000EA0000000000"}));
    ASSERT_TRUE(bare.file);
    EXPECT_EQ(formatFlightSummary(summarizeFlight(*bare.file)),
              "date -\nfirst-fix 10:00:00\nlast-fix 10:00:00\nduration 00:00:00\nfixes 1\n"
              "max-pressure-altitude -\nmax-gps-altitude -\ntrack-km 0.0\n");
}

TEST(FlightSummary, GreatCircleAndFormats) {
    // A quarter of the equator, and half the way round over the pole.
    const double quarter = 6371 * 3.14159265358979323846 / 2;
    EXPECT_NEAR(greatCircleKm(0, 0, 0, 90), quarter, 1e-6);
    EXPECT_NEAR(greatCircleKm(45, 0, 45, 180), quarter, 1e-6);
    EXPECT_NEAR(greatCircleKm(0, 0, 0, 180), 2 * quarter, 1e-6);  // antipodes
    EXPECT_EQ(greatCircleKm(47.1, 8.2, 47.1, 8.2), 0);
    EXPECT_NEAR(greatCircleKm(0, 179.99, 0, -179.99), greatCircleKm(0, 0, 0, 0.02), 1e-9);

    EXPECT_EQ(formatDuration(0), "00:00:00");
    EXPECT_EQ(formatDuration(100 * 3600 + 61), "100:01:01");
    EXPECT_EQ(formatDuration(-5), "00:00:00");
    EXPECT_EQ(formatTimeOfDay(86400 + 3661), "01:01:01");
}

}  // namespace
}  // namespace vantor
