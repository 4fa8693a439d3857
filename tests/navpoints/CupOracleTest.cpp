// Our CUP files as an independent reader reads them: GPSBabel must find the
// same coordinates and elevations in them, and its own CUP file of them (in
// the older layout) must read back here to the same table. Skips when
// GPSBabel is not installed; tools/install-deps.sh --oracles installs it.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "navpoints/CupFile.h"

namespace vantor {
namespace {

namespace fs = std::filesystem;

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

double degrees(std::uint32_t value, std::uint32_t middle) {
    return (static_cast<double>(value) - static_cast<double>(middle)) / kUnitsPerDegree;
}

TEST(CupOracle, GpsBabelReadsOurFilesToTheSameCoordinates) {
    int rc = -1;
    run("command -v gpsbabel >/dev/null 2>&1", &rc);
    if (rc != 0) GTEST_SKIP() << "gpsbabel is not installed (tools/install-deps.sh --oracles)";

    const fs::path dir =
        fs::temp_directory_path() / ("vantor-cup-oracle-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    auto table = std::make_unique<NavpointTable>();
    const struct {
        const char* name;
        std::uint32_t lat;
        std::uint32_t lon;
        std::int16_t altitude;
        std::uint16_t attributes;
    } points[] = {
        {"HILLTOP", kEquator + 28501250, kPrimeMeridian + 4950000, 450, 0x00A},
        {"SYDNEY", kEquator - 20335678, kPrimeMeridian + 90731234, 21, 0x001},
        {"LIMA", kEquator - 7227777, kPrimeMeridian - 46230004, -20, 0x008},
        {"TOLEDO", kEquator + 24987654, kPrimeMeridian - 50512345, 32000, 0x002},
        {"NULL ISLAND", kEquator, kPrimeMeridian, 0, 0x001},
        {"POLE", 2 * kEquator, 2 * kPrimeMeridian, -300, 0x001},
    };
    for (const auto& p : points) {
        Navpoint& n = table->entries[static_cast<std::size_t>(table->count++)];
        n.latitude = p.lat;
        n.longitude = p.lon;
        n.altitude = p.altitude;
        n.attributes = p.attributes;
        n.setName(p.name);
        n.setComment("C");
    }
    const std::string ours = (dir / "ours.cup").string();
    ASSERT_TRUE(writeCupFile(ours, *table));
    // What the file says, to its three decimals of the minute.
    auto written = std::make_unique<NavpointTable>();
    ASSERT_EQ(readCupFile(ours, *written).waypoints, table->count);

    const std::string csv = run("gpsbabel -i cup -f " + ours + " -o unicsv -F - 2>&1", &rc);
    ASSERT_EQ(rc, 0) << csv;
    std::istringstream lines(csv);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line.rfind("No,Latitude,Longitude,Name,Altitude", 0), 0u) << line;
    int i = 0;
    while (std::getline(lines, line) && !line.empty()) {
        ASSERT_LT(i, written->count) << line;
        const Navpoint& want = written->entries[static_cast<std::size_t>(i)];
        int number = 0;
        double lat = 0;
        double lon = 0;
        char name[64] = {};
        double altitude = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%d,%lf,%lf,\"%63[^\"]\",%lf", &number, &lat, &lon,
                              name, &altitude),
                  5)
            << line;
        EXPECT_NEAR(lat, degrees(want.latitude, kEquator), 1e-6) << line;
        EXPECT_NEAR(lon, degrees(want.longitude, kPrimeMeridian), 1e-6) << line;
        EXPECT_EQ(altitude, want.altitude) << line;
        EXPECT_EQ(std::string(name), points[i].name) << line;  // it names a point by its code
        ++i;
    }
    EXPECT_EQ(i, table->count);

    // GPSBabel's own CUP file of ours reads here to the same positions.
    const std::string theirs = (dir / "theirs.cup").string();
    run("gpsbabel -i cup -f " + ours + " -o cup -F " + theirs + " 2>&1", &rc);
    ASSERT_EQ(rc, 0);
    auto back = std::make_unique<NavpointTable>();
    const CupFileRead read = readCupFile(theirs, *back);
    EXPECT_EQ(read.skipped, 0);
    ASSERT_EQ(back->count, written->count);
    for (int k = 0; k < back->count; ++k) {
        const Navpoint& a = written->entries[static_cast<std::size_t>(k)];
        const Navpoint& b = back->entries[static_cast<std::size_t>(k)];
        EXPECT_EQ(b.latitude, a.latitude) << k;
        EXPECT_EQ(b.longitude, a.longitude) << k;
        EXPECT_EQ(b.altitude, a.altitude) << k;
        EXPECT_EQ(b.nameText(), a.nameText()) << k;
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace vantor
