#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "navpoints/CupFile.h"

namespace vantor {
namespace {

namespace fs = std::filesystem;

const std::string kHeader =
    "name,code,country,lat,lon,elev,style,rwdir,rwlen,rwwidth,freq,desc\r\n";

constexpr std::uint32_t minutes(std::uint32_t degrees, std::uint32_t wholeMinutes,
                                std::uint32_t tenThousandths) {
    return degrees * kUnitsPerDegree + wholeMinutes * 10000 + tenThousandths;
}

constexpr std::uint16_t kT = 0x001;
constexpr std::uint16_t kAL = 0x00A;
constexpr std::uint16_t kL = 0x008;

struct CupCase {
    const char* name;
    std::string text;  // the whole file
    bool accepted;
    std::uint32_t latitude = 0;
    std::uint32_t longitude = 0;
    int altitude = 0;
    int attributes = 0;
    std::string navpointName;
    std::string comment;
    int number = 1;
};

CupCase rejected(const char* name, const std::string& line) {
    return {name, kHeader + line, false, 0, 0, 0, 0, {}, {}, 1};
}

void PrintTo(const CupCase& c, std::ostream* os) {
    *os << c.name;
}

class CupLine : public ::testing::TestWithParam<CupCase> {};

TEST_P(CupLine, GivesTheWaypointOrSkipsTheLine) {
    const CupCase& c = GetParam();
    auto table = std::make_unique<NavpointTable>();
    const CupFileRead read = parseCupText(c.text, *table);
    ASSERT_TRUE(read);
    ASSERT_EQ(read.waypoints, c.accepted ? 1 : 0);
    EXPECT_EQ(read.skipped, c.accepted ? 0 : 1);
    if (!c.accepted) return;
    const Navpoint& p = table->entries[0];
    EXPECT_EQ(p.latitude, c.latitude);
    EXPECT_EQ(p.longitude, c.longitude);
    EXPECT_EQ(p.altitude, c.altitude);
    EXPECT_EQ(p.attributes, c.attributes);
    EXPECT_EQ(p.nameText(), c.navpointName);
    EXPECT_EQ(p.commentText(), c.comment);
    EXPECT_EQ(p.number, c.number);
}

const std::uint32_t kHillLat = kEquator + minutes(47, 30, 1250);
const std::uint32_t kHillLon = kPrimeMeridian + minutes(8, 15, 0);

INSTANTIATE_TEST_SUITE_P(
    Lines, CupLine,
    ::testing::Values(
        CupCase{"Quoted",
                kHeader +
                    "\"Hilltop\",\"HT\",DE,4730.125N,00815.000E,450.0m,1,,,,,\"Grass strips\"\r\n",
                true, kHillLat, kHillLon, 450, kT, "HILLTOP", "GRASS STRIPS"},
        CupCase{"BareFieldsAndLineFeedOnly",
                kHeader + "Hilltop , HT ,DE, 4730.125N , 00815.000E ,450m,1,,,,,Grass\n", true,
                kHillLat, kHillLon, 450, kT, "HILLTOP", "GRASS"},
        CupCase{"DoubledQuote",
                kHeader + "\"Joe\"\"s\",J,,4730.125N,00815.000E,0m,1,,,,,\"a \"\"b\"\"\"\r\n", true,
                kHillLat, kHillLon, 0, kT, "JOE\"S", "A \"B\""},
        // A comma would split the name in the instrument's lines; in a comment it stays.
        CupCase{"CommasInQuotes",
                kHeader + "\"Berg, Nord\",B,,4730.125N,00815.000E,0m,1,,,,,\"x, y\"\r\n", true,
                kHillLat, kHillLon, 0, kT, "BERG  NORD", "X, Y"},
        CupCase{"Feet", kHeader + "F,F,,4730.125N,00815.000E,1640ft,1,,,,,\r\n", true, kHillLat,
                kHillLon, 500, kT, "F", " "},
        CupCase{"NegativeMetresWithDecimals",
                kHeader + "M,M,,4730.125N,00815.000E,-20.4m,1,,,,,\r\n", true, kHillLat, kHillLon,
                -20, kT, "M", " "},
        CupCase{"NoUnitIsMetres", kHeader + "M,M,,4730.125N,00815.000E,1500,1,,,,,\r\n", true,
                kHillLat, kHillLon, 1500, kT, "M", " "},
        CupCase{"MissingElevation", kHeader + "M,M,,4730.125N,00815.000E,,1,,,,,\r\n", true,
                kHillLat, kHillLon, 0, kT, "M", " "},
        CupCase{"SouthAndWest", kHeader + "S,S,,3352.500S,15112.250W,10m,1,,,,,\r\n", true,
                kEquator - minutes(33, 52, 5000), kPrimeMeridian - minutes(151, 12, 2500), 10, kT,
                "S", " "},
        CupCase{"FourDecimals", kHeader + "D,D,,4730.1234N,00815.0001E,0m,1,,,,,\r\n", true,
                kEquator + minutes(47, 30, 1234), kPrimeMeridian + minutes(8, 15, 1), 0, kT, "D",
                " "},
        CupCase{"FifthDecimalRoundsIntoTheMinute",
                kHeader + "D,D,,4759.99995N,00815.0E,0m,1,,,,,\r\n", true,
                kEquator + minutes(48, 0, 0), kPrimeMeridian + minutes(8, 15, 0), 0, kT, "D", " "},
        CupCase{"NumericCodeIsTheNumber", kHeader + "N,042,,4730.125N,00815.000E,0m,1,,,,,\r\n",
                true, kHillLat, kHillLon, 0, kT, "N", " ", 42},
        CupCase{
            "NewerColumnsAfterDesc",
            "name,code,country,lat,lon,elev,style,rwdir,rwlen,rwwidth,freq,desc,userdata,pics\r\n"
            "\"Hilltop\",HT,DE,4730.125N,00815.000E,450.0m,4,090,800m,30m,123.500,\"Gliders\",\"u, "
            "v\",\"a.jpg\"\r\n",
            true, kHillLat, kHillLon, 450, kAL, "HILLTOP", "GLIDERS"},
        CupCase{"OlderLayoutWithoutRunwayWidth",
                "name,code,country,lat,lon,elev,style,rwdir,rwlen,freq,desc\r\n"
                "\"Hilltop\",HT,DE,4730.125N,00815.000E,450.0m,2,090,800m,123.500,\"Grass\"\r\n",
                true, kHillLat, kHillLon, 450, kAL, "HILLTOP", "GRASS"},
        CupCase{"OldColumnNamesInAnotherOrder",
                "Title,Latitude,Longitude,Code,Elevation,Style,Description\r\n"
                "\"Hilltop\",4730.125N,00815.000E,HT,450.0m,3,\"Field\"\r\n",
                true, kHillLat, kHillLon, 450, kL, "HILLTOP", "FIELD"},
        CupCase{"NoHeader", "\"Hilltop\",HT,DE,4730.125N,00815.000E,450.0m,5,,,,,\"Grass\"\r\n",
                true, kHillLat, kHillLon, 450, kAL, "HILLTOP", "GRASS"},
        CupCase{"ByteOrderMark",
                "\xEF\xBB\xBF" + kHeader +
                    "\"Z\xC3\xBCrich \xC3\x89\xC3\xA9\",Z,,4730.125N,00815.000E,0m,7,,,,,"
                    "\"\xC3\x9F\xC3\xA6 \xE2\x82\xAC\xE6\x9D\xB1\"\r\n",
                true, kHillLat, kHillLon, 0, kT, "ZURICH EE", "SSAE   "},
        CupCase{"Windows1252",
                kHeader + "\"Z\xFCrich \x8Ailo\",Z,,4730.125N,00815.000E,0m,1,,,,,"
                          "\"\xC0 \x80 \xBF\"\r\n",
                true, kHillLat, kHillLon, 0, kT, "ZURICH SILO", "A    "},
        CupCase{"LongTextsCut",
                kHeader + "\"Flugplatz Oberschlei\xC3\x9F"
                          "heim\",F,,4730.125N,00815.000E,0m,9,,,,,"
                          "\"Lange Beschreibung\"\r\n",
                true, kHillLat, kHillLon, 0, kT, "FLUGPLATZ OB", "LANGE BESCHR"},
        CupCase{"EmptyNameAndUnknownStyle", kHeader + "\"\",,,4730.125N,00815.000E,0m,x,,,,,\r\n",
                true, kHillLat, kHillLon, 0, kT, " ", " "},
        CupCase{"NorthPoleAndDateLine", kHeader + "P,P,,9000.000N,18000.000E,0m,1,,,,,\r\n", true,
                2 * kEquator, 2 * kPrimeMeridian, 0, kT, "P", " "},
        rejected("PastThePole", "P,P,,9000.001N,00815.000E,0m,1,,,,,\r\n"),
        rejected("SixtyMinutes", "P,P,,4760.000N,00815.000E,0m,1,,,,,\r\n"),
        rejected("NoHemisphere", "P,P,,4730.125,00815.000E,0m,1,,,,,\r\n"),
        rejected("LatitudeHemisphereOnLongitude", "P,P,,4730.125N,00815.000N,0m,1,,,,,\r\n"),
        rejected("TwoDegreeDigitsOfLongitude", "P,P,,4730.125N,0815.000E,0m,1,,,,,\r\n"),
        rejected("FileFormCoordinate", "P,P,,47:30.125N,008:15.000E,0m,1,,,,,\r\n"),
        rejected("ElevationOfNoUnit", "P,P,,4730.125N,00815.000E,450yd,1,,,,,\r\n"),
        rejected("ElevationBeyond16Bits", "P,P,,4730.125N,00815.000E,40000m,1,,,,,\r\n"),
        rejected("TooFewColumns", "P,P,,4730.125N\r\n")),
    [](const ::testing::TestParamInfo<CupCase>& row) { return std::string(row.param.name); });

TEST(CupText, StylesAndInstrumentText) {
    const struct {
        int style;
        std::uint16_t attributes;
    } styles[] = {{0, kT}, {1, kT}, {2, kAL}, {3, kL}, {4, kAL}, {5, kAL}, {6, kT}, {17, kT}};
    for (const auto& s : styles) EXPECT_EQ(attributesOfCupStyle(s.style), s.attributes) << s.style;
    EXPECT_EQ(cupStyleOfAttributes(kAL), 5);
    EXPECT_EQ(cupStyleOfAttributes(0x002), 5);  // A without L is still an airfield
    EXPECT_EQ(cupStyleOfAttributes(kL), 3);
    EXPECT_EQ(cupStyleOfAttributes(kT | 0x010), 1);
    EXPECT_EQ(cupStyleOfAttributes(0), 1);

    EXPECT_EQ(instrumentText("a,b\tc\x7F", true), "A B C ");
    EXPECT_EQ(instrumentText("a,b", false), "A,B");
    // Invalid UTF-8 as typed on a command line: each stray byte a blank.
    EXPECT_EQ(instrumentText("\xC3(\xFF\xE2\x82", true), " (   ");
    EXPECT_EQ(instrumentText("\xC5\x81\xC3\xB3"
                             "d\xC5\xBA \xC4\xB2sselmeer",
                             true),
              "LODZ IJSSELM");
}

class CupFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("vantor-cup-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        table = std::make_unique<NavpointTable>();
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string write(const std::string& name, const std::string& text) {
        const fs::path p = dir / name;
        std::ofstream(p, std::ios::binary) << text;
        return p.string();
    }
    static std::string readText(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    void add(std::uint32_t lat, std::uint32_t lon, std::int16_t altitude, std::uint16_t attributes,
             const char* name, const char* comment) {
        Navpoint& p = table->entries[static_cast<std::size_t>(table->count++)];
        p.latitude = lat;
        p.longitude = lon;
        p.altitude = altitude;
        p.attributes = attributes;
        p.number = static_cast<std::uint16_t>(100 + table->count);
        p.setName(name);
        p.setComment(comment);
    }

    fs::path dir;
    std::unique_ptr<NavpointTable> table;
};

// A competition file: waypoints, then tasks with their Options and ObsZone
// lines; the task points are found by the names the file gives them.
TEST_F(CupFileTest, TasksNameTheFilesWaypoints) {
    const std::string text =
        kHeader +
        "\"Start Line\",ST,,4730.125N,00815.000E,450.0m,1,,,,,\r\n"
        "\"Hilltop\",HT,,4600.000S,00700.500W,-20.0m,7,,,,,\r\n"
        "\"start line\",ST2,,4500.000N,00600.000E,100.0m,1,,,,,\r\n"
        "\"Home\",HM,,4700.000N,00800.000E,300.0m,5,,,,,\r\n"
        "-----Related Tasks-----\r\n"
        "\"300 km\",\"Home\",\"Start Line\",\"Hilltop\",\"start line\",\"Home\"\r\n"
        "Options,NoStart=12:00:00,TaskTime=03:00:00,WpDis=False\r\n"
        "ObsZone=0,Style=2,R1=500m,A1=180,Line=1\r\n"
        "ObsZone=1,Style=1,R1=500m,A1=45\r\n"
        "STx=1,\"Start Line\"\r\n"
        "\"Lost\",\"Home\",\"Nowhere\"\r\n";
    const CupFileRead read = parseCupText(text, *table);
    ASSERT_TRUE(read);
    EXPECT_EQ(read.waypoints, 4);
    EXPECT_EQ(read.skipped, 0);
    ASSERT_EQ(read.tasks.size(), 2u);
    EXPECT_EQ(read.tasks[0].description, "300 km");
    EXPECT_EQ(read.tasks[0].points, (std::vector<int>{3, 0, 1, 2, 3}));
    EXPECT_EQ(read.tasks[1].points, (std::vector<int>{3, -1}));

    std::string problem;
    const auto task = cupTaskDeclaration(read.tasks[0], *table, problem);
    ASSERT_TRUE(task);
    ASSERT_EQ(task->count, 5);
    // Two waypoints whose names read alike on the instrument stay apart.
    EXPECT_EQ(task->points[1].nameText(), "START LINE");
    EXPECT_EQ(task->points[1].latitude, kHillLat);
    EXPECT_EQ(task->points[3].nameText(), "START LINE");
    EXPECT_EQ(task->points[3].latitude, kEquator + minutes(45, 0, 0));
    EXPECT_EQ(task->points[4].altitude, 300);

    EXPECT_FALSE(cupTaskDeclaration(read.tasks[1], *table, problem));
    EXPECT_EQ(problem, "The task point \"Nowhere\" is not among the file's waypoints.");
    CupTask sixteen;
    sixteen.names.assign(16, "Home");
    sixteen.points.assign(16, 3);
    EXPECT_FALSE(cupTaskDeclaration(sixteen, *table, problem));
    EXPECT_EQ(problem, "The task has 16 points; a declaration holds at most 15.");
    EXPECT_FALSE(cupTaskDeclaration(CupTask{"Empty", {}, {}}, *table, problem));
    EXPECT_EQ(problem, "The task has no points.");
}

// Another file's navpoints, an empty file, a header alone: nothing to read,
// and the table the pilot has stays.
TEST_F(CupFileTest, NoWaypointLeavesTheTable) {
    add(kHillLat, kHillLon, 1, kT, "KEPT", "");
    for (const std::string& text :
         {std::string("1,47:30.1250N,008:15.0000E,450M,TA,HILLTOP     ,GRASS\r\n"), std::string(),
          kHeader, kHeader + "P,P,,4730.125X,00815.000E,0m,1,,,,,\r\nnot a waypoint\r\n\r\n"}) {
        const CupFileRead read = parseCupText(text, *table);
        ASSERT_TRUE(read);
        EXPECT_EQ(read.waypoints, 0);
        ASSERT_EQ(table->count, 1);
        EXPECT_EQ(table->entries[0].nameText(), "KEPT");
    }
    EXPECT_EQ(
        parseCupText(kHeader + "P,P,,4730.125X,00815.000E,0m,1,,,,,\r\nx\r\n\r\n", *table).skipped,
        2);
}

TEST_F(CupFileTest, WrittenAsOtherProgramsReadIt) {
    add(kHillLat, kHillLon, 450, kAL, "HILLTOP     ", "GRASS, STRIP");
    add(kEquator - minutes(46, 0, 4), kPrimeMeridian - minutes(7, 0, 5005), -20, kT,
        "Caf\xE9 \"X\"", " ");
    add(kEquator, kPrimeMeridian, 0, kL, " ", "");
    const std::string path = (dir / "out.cup").string();
    ASSERT_TRUE(writeCupFile(path, *table));
    EXPECT_EQ(readText(path),
              kHeader +
                  "\"HILLTOP\",HILLTOP,,4730.125N,00815.000E,450.0m,5,,,,,\"GRASS, STRIP\"\r\n"
                  "\"Caf\xC3\xA9 \"\"X\"\"\",\"Caf\xC3\xA9 "
                  "\"\"X\"\"\",,4600.000S,00700.501W,-20.0m,1,,,,,\"\"\r\n"
                  "\"\",,,0000.000S,00000.000W,0.0m,3,,,,,\"\"\r\n");
}

// Written and read again, a navpoint keeps its position to the written
// decimals, its altitude and what its style says of it.
TEST_F(CupFileTest, RoundTrip) {
    add(kHillLat, kHillLon, 450, kAL | 0x200, "HILLTOP     ", "GRASS STRIPS");
    add(kEquator - minutes(46, 0, 0), kPrimeMeridian - minutes(7, 0, 5000), -20, 0x040, "VALLEY",
        "");
    add(kEquator + minutes(12, 34, 5678), kPrimeMeridian + minutes(123, 45, 6785), 32767, kL,
        "FIELD 3", "X");
    add(0, 2 * kPrimeMeridian, -32768, 0x002, "POLE", "SOUTH");
    const std::string path = (dir / "round.cup").string();
    ASSERT_TRUE(writeCupFile(path, *table));
    auto back = std::make_unique<NavpointTable>();
    const CupFileRead read = readCupFile(path, *back);
    ASSERT_TRUE(read);
    EXPECT_EQ(read.skipped, 0);
    ASSERT_EQ(back->count, 4);
    const std::uint32_t latitudes[] = {kHillLat, kEquator - minutes(46, 0, 0),
                                       kEquator + minutes(12, 34, 5680), 0};
    const std::uint32_t longitudes[] = {kHillLon, kPrimeMeridian - minutes(7, 0, 5000),
                                        kPrimeMeridian + minutes(123, 45, 6790),
                                        2 * kPrimeMeridian};
    const std::uint16_t attributes[] = {kAL, kT, kL, kAL};
    const char* comments[] = {"GRASS STRIPS", " ", "X", "SOUTH"};
    for (std::size_t i = 0; i < 4; ++i) {
        const Navpoint& want = table->entries[i];
        const Navpoint& got = back->entries[i];
        EXPECT_EQ(got.latitude, latitudes[i]) << i;
        EXPECT_EQ(got.longitude, longitudes[i]) << i;
        EXPECT_EQ(got.altitude, want.altitude) << i;
        EXPECT_EQ(got.attributes, attributes[i]) << i;
        EXPECT_EQ(got.number, i + 1);
        EXPECT_EQ(std::string(got.nameText()) + std::string(12 - got.nameText().size(), ' '),
                  std::string(want.nameText()) + std::string(12 - want.nameText().size(), ' '));
        EXPECT_EQ(got.commentText(), comments[i]) << i;
    }
    // And once more, byte for byte.
    const std::string again = (dir / "again.cup").string();
    ASSERT_TRUE(writeCupFile(again, *back));
    EXPECT_EQ(readText(again), readText(path));
}

TEST_F(CupFileTest, FailuresLeaveTheTableOrReportTheWrite) {
    add(kHillLat, kHillLon, 1, kT, "KEPT", "");
    for (const fs::path& unreadable : {dir / "missing.cup", dir}) {
        EXPECT_FALSE(readCupFile(unreadable.string(), *table)) << unreadable;
        EXPECT_EQ(table->count, 1);
    }
    EXPECT_FALSE(writeCupFile((dir / "no-folder" / "out.cup").string(), *table));
    if (fs::exists("/dev/full")) {
        EXPECT_FALSE(writeCupFile("/dev/full", *table));
    }

    EXPECT_TRUE(isCupPath("/a/b/TASK.CUP"));
    EXPECT_TRUE(isCupPath("x.cup"));
    EXPECT_FALSE(isCupPath("x.cup.dat"));
    EXPECT_FALSE(isCupPath("cup"));
}

}  // namespace
}  // namespace vantor
