// The simulator's flight logs hold to the IGC format: record by record here,
// and as independent readers read them (GPSBabel, and the igc-parser package,
// which refuses a record it cannot read). Each oracle that is not installed
// skips its test with a message; tools/install-deps.sh --oracles installs them.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "Simulator.h"
#include "logs/IgcFile.h"

namespace vantor {
namespace {

namespace fs = std::filesystem;

struct Saved {
    std::string path;
    std::string text;
};

// Logs 0 (a short local flight) and 2 (a cross-country flight of hours), as a
// download saves them: the blocks, then the security record.
std::vector<Saved> simulatorLogs() {
    sim::SimulatorOptions options;
    options.logs = 3;
    options.seed = 4;
    const sim::InstrumentState state = sim::initialState(options);
    std::vector<Saved> saved;
    for (std::size_t i : {0u, 2u}) {
        const sim::SimLog& log = state.logs[i];
        Saved s{::testing::TempDir() + "oracle-" + std::to_string(i) + ".igc",
                log.igc + std::string(log.security.begin(), log.security.end())};
        std::ofstream(s.path, std::ios::binary) << s.text;
        saved.push_back(s);
    }
    return saved;
}

std::string run(const std::string& command, int* exitCode) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    const int status = pclose(p);
    *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

bool onPath(const std::string& program) {
    int rc = -1;
    run("command -v " + program + " >/dev/null 2>&1", &rc);
    return rc == 0;
}

std::string coordinates(double lat, double lon) {
    char text[64];
    std::snprintf(text, sizeof text, "%.9f %.9f", lat, lon);
    return text;
}

TEST(SimulatorIgc, EveryRecordHasItsForm) {
    const std::regex header(R"(H[FOP][A-Z0-9]{3}[A-Z0-9]*:.*)");
    const std::regex fix(R"(B\d{6}\d{7}[NS]\d{8}[EW][AV](\d{5}|-\d{4}){2}\d{3})");
    const std::regex declaration(R"(C(\d{6}){3}\d{4}\d{2}.*|C\d{7}[NS]\d{8}[EW].*)");
    const std::regex security(R"(G[0-9A-F]{64})");
    for (const Saved& log : simulatorLogs()) {
        std::istringstream in(log.text);
        std::map<char, int> count;
        std::vector<std::string> headers;
        std::string line;
        char previous = 0;
        while (std::getline(in, line)) {
            ASSERT_FALSE(line.empty() || line.back() != '\r') << "not CR LF: " << line;
            line.pop_back();
            ASSERT_FALSE(line.empty());
            const char type = line[0];
            ++count[type];
            if (count['A'] == 0) FAIL() << "before the A record: " << line;
            switch (type) {
                case 'A':
                    EXPECT_TRUE(std::regex_match(line, std::regex("ATVR[A-Z0-9]{3}.*"))) << line;
                    break;
                case 'H':
                    EXPECT_EQ(count['I'] + count['B'], 0) << "a header after the fixes: " << line;
                    if (line.rfind("HFDTE", 0) != 0 && line.rfind("HFFXA", 0) != 0) {
                        EXPECT_TRUE(std::regex_match(line, header)) << line;
                    }
                    headers.push_back(line);
                    break;
                case 'I':
                    EXPECT_EQ(line, "I013638FXA");  // the B records' 36-38 are FXA
                    break;
                case 'B':
                    EXPECT_TRUE(std::regex_match(line, fix)) << line;
                    EXPECT_EQ(line.size(), 38u) << line;
                    break;
                case 'C':
                    EXPECT_TRUE(std::regex_match(line, declaration)) << line;
                    break;
                case 'G':
                    EXPECT_TRUE(std::regex_match(line, security)) << line;
                    break;
                case 'E':
                    EXPECT_TRUE(std::regex_match(line, std::regex(R"(E\d{6}[A-Z]{3}.*)"))) << line;
                    break;
                case 'L':
                    break;
                default:
                    ADD_FAILURE() << "unknown record: " << line;
            }
            if (previous == 'G') {
                EXPECT_EQ(type, 'G') << "after the security record: " << line;
            }
            previous = type;
        }
        EXPECT_EQ(count['A'], 1);
        EXPECT_EQ(count['I'], 1);
        EXPECT_EQ(count['G'], 3);
        EXPECT_GT(count['B'], 100);
        auto has = [&](const std::string& pattern) {
            const std::regex re(pattern);
            for (const auto& h : headers) {
                if (std::regex_match(h, re)) return true;
            }
            return false;
        };
        for (const char* required :
             {R"(HFDTEDATE:\d{6},\d{2})", R"(HFFXA\d{3})", "HFPLTPILOTINCHARGE:.*", "HFCM2CREW2:.*",
              "HFGTYGLIDERTYPE:.*", "HFGIDGLIDERID:.*", "HFDTMGPSDATUM:WGS84",
              "HFRFWFIRMWAREVERSION:.+", "HFRHWHARDWAREVERSION:.+", "HFFTYFRTYPE:.+",
              "HFGPSRECEIVER:.+", "HFPRSPRESSALTSENSOR:.+", "HFALGALTGPS:(GEO|ELL)",
              "HFALPALTPRESSURE:ISA"}) {
            EXPECT_TRUE(has(required)) << "no header " << required;
        }
        const auto read = parseIgc(log.text);
        ASSERT_TRUE(read.file);
        EXPECT_EQ(read.file->malformedFixes, 0u);
        EXPECT_EQ(static_cast<int>(read.file->fixes.size()), count['B']);
    }
}

TEST(SimulatorIgc, GpsBabelReadsTheSameTrack) {
    if (!onPath("gpsbabel")) GTEST_SKIP() << "gpsbabel is not installed (apt-get install gpsbabel)";
    for (const Saved& log : simulatorLogs()) {
        const auto ours = readIgcFile(log.path);
        ASSERT_TRUE(ours.file) << ours.error;
        const auto& fixes = ours.file->fixes;
        int rc = -1;
        const std::string gpx = run("gpsbabel -i igc -f '" + log.path + "' -o gpx -F - 2>&1", &rc);
        ASSERT_EQ(rc, 0) << gpx;
        // GPSBabel makes a track of the pressure altitudes and one of the GPS
        // altitudes: each must hold every fix.
        const std::regex point(R"re(<trkpt lat="([-0-9.]+)" lon="([-0-9.]+)")re");
        std::size_t tracks = 0;
        for (std::size_t at = gpx.find("<trk>"); at != std::string::npos;
             at = gpx.find("<trk>", at + 1)) {
            const std::size_t end = gpx.find("</trk>", at);
            ASSERT_NE(end, std::string::npos);
            const std::string track = gpx.substr(at, end - at);
            std::vector<std::string> points;
            for (std::sregex_iterator i(track.begin(), track.end(), point), e; i != e; ++i) {
                points.push_back(coordinates(std::stod((*i)[1]), std::stod((*i)[2])));
            }
            ASSERT_EQ(points.size(), fixes.size()) << log.path;
            EXPECT_EQ(points.front(), coordinates(fixes.front().latitude, fixes.front().longitude));
            EXPECT_EQ(points.back(), coordinates(fixes.back().latitude, fixes.back().longitude));
            ++tracks;
        }
        EXPECT_GE(tracks, 1u) << gpx;
    }
}

TEST(SimulatorIgc, StrictIgcParserReadsTheSameFlight) {
    const fs::path modules = VANTOR_IGC_ORACLE_MODULES;
    if (!onPath("node") || !fs::exists(modules / "igc-parser")) {
        GTEST_SKIP() << "node or the igc-parser package is missing (tools/install-deps.sh "
                        "--oracles puts it into "
                     << modules << ")";
    }
    for (const Saved& log : simulatorLogs()) {
        const auto ours = readIgcFile(log.path);
        ASSERT_TRUE(ours.file) << ours.error;
        const IgcFile& f = *ours.file;
        const FlightSummary s = summarizeFlight(f);
        int rc = -1;
        const std::string out = run("NODE_PATH='" + modules.string() + "' node '" +
                                        VANTOR_IGC_ORACLE_SCRIPT + "' '" + log.path + "' 2>&1",
                                    &rc);
        ASSERT_EQ(rc, 0) << out;
        std::ostringstream expected;
        expected << "errors 0\n"
                 << "date " << formatIgcDate(f.date) << '\n'
                 << "manufacturer " << f.manufacturer << '\n'
                 << "serial " << f.serial << '\n'
                 << "pilot " << f.pilot << '\n'
                 << "glider-type " << f.gliderType << '\n'
                 << "glider-id " << f.gliderId << '\n'
                 << "fixes " << f.fixes.size() << '\n'
                 << "first " << coordinates(f.fixes.front().latitude, f.fixes.front().longitude)
                 << '\n'
                 << "last " << coordinates(f.fixes.back().latitude, f.fixes.back().longitude)
                 << '\n'
                 << "duration " << s.duration << '\n'
                 << "max-pressure-altitude " << s.maxPressureAltitude.value_or(-1) << '\n'
                 << "max-gps-altitude " << s.maxGpsAltitude.value_or(-1) << '\n';
        EXPECT_EQ(out, expected.str()) << log.path;
    }
}

}  // namespace
}  // namespace vantor
