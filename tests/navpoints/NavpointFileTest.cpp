#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>

#include "navpoints/NavpointFile.h"

namespace vantor {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t k47_30 = (47 * 60 + 30) * 10000;

struct LineCase {
    const char* name;
    std::string line;
    bool accepted;
    std::uint32_t latitude = 0;
    std::uint32_t longitude = 0;
    int altitude = 0;
    int number = 0;
    int attributes = 0;
    std::string navpointName;
    std::string comment;
};

LineCase rejected(const char* name, std::string line) {
    return {name, std::move(line), false, 0, 0, 0, 0, 0, {}, {}};
}

void PrintTo(const LineCase& c, std::ostream* os) {
    *os << c.name;
}

class ParseLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(ParseLine, GivesTheNavpointOrRejects) {
    const LineCase& c = GetParam();
    const auto p = parseNavpointLine(c.line);
    ASSERT_EQ(p.has_value(), c.accepted);
    if (!p) return;
    EXPECT_EQ(p->latitude, c.latitude);
    EXPECT_EQ(p->longitude, c.longitude);
    EXPECT_EQ(p->altitude, c.altitude);
    EXPECT_EQ(p->number, c.number);
    EXPECT_EQ(p->attributes, c.attributes);
    EXPECT_EQ(p->nameText(), c.navpointName);
    EXPECT_EQ(p->commentText(), c.comment);
}

// The first six fields padded so that the sixth comma lands at `at`.
std::string sixthCommaAt(std::size_t at) {
    std::string head = "1,47:30.5N,008:15.0000E,0,,";
    head += std::string(at - head.size(), 'N') + ",C";
    return head;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ParseLine,
    ::testing::Values(
        LineCase{"Decimals", "12,47:30.5N,008:15.0000E,450M,TA,HILLTOP,GRASS STRIPS", true,
                 kEquator + 28505000, kPrimeMeridian + 4950000, 450, 12, 0x003, "HILLTOP",
                 "GRASS STRIPS"},
        LineCase{"Seconds", "3,47:30:15N,008:15.0000W,0,,A,B", true, kEquator + k47_30 + 2500,
                 kPrimeMeridian - 4950000, 0, 3, 0, "A", "B"},
        LineCase{"AllDecimals", "4,47:30.1234S,123:45.6789E,,,N,C\r", true,
                 kEquator - k47_30 - 1234, kPrimeMeridian + (123 * 60 + 45) * 10000 + 6789, 0, 4, 0,
                 "N", "C"},
        LineCase{"Feet", "1,00:00.0000S,000:00.0000E,1500F,,N,C", true, kEquator, kPrimeMeridian,
                 457, 1, 0, "N", "C"},
        LineCase{"FeetLowerCase", "1,00:00.0000S,000:00.0000E, -100 ft,,N,C", true, kEquator,
                 kPrimeMeridian, -30, 1, 0, "N", "C"},
        LineCase{"Metres", "1,00:00.0000S,000:00.0000E,1500M,,N,C", true, kEquator, kPrimeMeridian,
                 1500, 1, 0, "N", "C"},
        LineCase{"NoUnit", "1,00:00.0000S,000:00.0000E,1500,,N,C", true, kEquator, kPrimeMeridian,
                 1500, 1, 0, "N", "C"},
        LineCase{"Negative", "1,00:00.0000S,000:00.0000E,-20M,,N,C", true, kEquator, kPrimeMeridian,
                 -20, 1, 0, "N", "C"},
        LineCase{"FeetLetterPastEight", "1,00:00.0000S,000:00.0000E,100     F,,N,C", true, kEquator,
                 kPrimeMeridian, 100, 1, 0, "N", "C"},
        LineCase{"LowerCaseAttributesIgnored", "1,00:00.0000N,000:00.0000W,0,TAxr,N,C", true,
                 kEquator, kPrimeMeridian, 0, 1, 0x003, "N", "C"},
        LineCase{"EveryLetter", "1,00:00.0000N,000:00.0000W,0,TAMLSFHEWR,N,C", true, kEquator,
                 kPrimeMeridian, 0, 1, 0x6FF, "N", "C"},
        // Without its hemisphere a coordinate is no position.
        rejected("UnknownLatitudeHemisphere", "1,47:30.5X,008:15.0000E,0,,N,C"),
        rejected("UnknownLongitudeHemisphere", "1,47:30.5N,008:15.0000Q,0,,N,C"),
        rejected("LowerCaseHemisphere", "1,47:30.5n,008:15.0000E,0,,N,C"),
        rejected("NoHemisphere", "1,47:30.5,008:15.0000E,0,,N,C"),
        LineCase{"LatinOneNameAndComment",
                 "1,00:00.0000S,000:00.0000E,0,,Caf\xE9,\xE9t\xE9 \xE0 m\xE9\xEFr", true, kEquator,
                 kPrimeMeridian, 0, 1, 0, "Caf\xE9", "\xE9t\xE9 \xE0 m\xE9\xEFr"},
        LineCase{"NumberKeeps16Bits", "70000,00:00.0000S,000:00.0000E,0,,N,C", true, kEquator,
                 kPrimeMeridian, 0, 70000 - 65536, 0, "N", "C"},
        LineCase{"EmptyNameAndComment", "1,00:00.0000S,000:00.0000E,0,,,\r", true, kEquator,
                 kPrimeMeridian, 0, 1, 0, " ", " "},
        LineCase{"LongNameAndCommentCut",
                 "1,00:00.0000S,000:00.0000E,0,,ABCDEFGHIJKLMN,a,b c,d,e,fgh", true, kEquator,
                 kPrimeMeridian, 0, 1, 0, "ABCDEFGHIJKL", "a,b c,d,e,fg"},
        LineCase{"CommentEndsAtAControlByte", "1,00:00.0000S,000:00.0000E,0,,N,AB\x14Z", true,
                 kEquator, kPrimeMeridian, 0, 1, 0, "N", "AB"},
        LineCase{"SixthCommaAt99", sixthCommaAt(99), true, kEquator + 28505000,
                 kPrimeMeridian + 4950000, 0, 1, 0, "NNNNNNNNNNNN", "C"},
        rejected("SixthCommaAt100", sixthCommaAt(100)),
        rejected("Blank", " 1,00:00.0000S,000:00.0000E,0,,N,C"),
        rejected("Letter", "A1,00:00.0000S,000:00.0000E,0,,N,C"),
        rejected("Comma", ",00:00.0000S,000:00.0000E,0,,N,C"), rejected("Empty", ""),
        rejected("FiveFields", "1,00:00.0000S,000:00.0000E,0,,N"),
        // Outside the format: a coordinate of 44 characters is refused, a
        // shorter field reads no further than its own end.
        rejected("CoordinateTooLong", "1,47:30.5" + std::string(36, '0') + "N,008:15E,0,,N,C"),
        LineCase{"CoordinateAt43", "1,47:30.5" + std::string(35, '0') + "N,008:15E,0,,N,C", true,
                 kEquator + 28505000, kPrimeMeridian + 4950000, 0, 1, 0, "N", "C"},
        LineCase{"ShortCoordinate", "1,47N,100E,0,,N,C", true, kEquator + 47 * kUnitsPerDegree,
                 kPrimeMeridian + 100 * kUnitsPerDegree, 0, 1, 0, "N", "C"},
        // Digits are not checked, but a position stays on the globe: what
        // lies past a pole or 180 degrees, or wraps below zero, is refused.
        LineCase{"NorthPoleAndDateLine", "1,90:00.0000N,180:00.0000E,0,,N,C", true, 2 * kEquator,
                 2 * kPrimeMeridian, 0, 1, 0, "N", "C"},
        LineCase{"SouthPoleAndDateLine", "1,90:00.0000S,180:00.0000W,0,,N,C", true, 0, 0, 0, 1, 0,
                 "N", "C"},
        rejected("PastTheNorthPole", "1,90:00.0001N,000:00.0000E,0,,N,C"),
        rejected("PastTheSouthPole", "1,95:00.0000S,000:00.0000E,0,,N,C"),
        rejected("PastTheDateLine", "1,00:00.0000N,180:00.0001W,0,,N,C"),
        rejected("WrapsBelowZero", "2,\xCA\x37:30:15N,008:15:30W,-20M,,N,C")),
    [](const ::testing::TestParamInfo<LineCase>& row) { return std::string(row.param.name); });

TEST(NavpointText, CoordinateFormsAndLetters) {
    struct Case {
        std::uint32_t value;
        bool latitude;
        const char* file;
        const char* instrument;
    } cases[] = {
        {kEquator + 28505000, true, "47:30.5000N", "4730.5000N"},
        {kEquator, true, "00:00.0000S", "0000.0000S"},
        {kEquator - k47_30 - 1234, true, "47:30.1234S", "4730.1234S"},
        {kPrimeMeridian + 4950000, false, "008:15.0000E", "00815.0000E"},
        {kPrimeMeridian, false, "000:00.0000W", "00000.0000W"},
        {kPrimeMeridian - (179 * 60 + 59) * 10000 - 9999, false, "179:59.9999W", "17959.9999W"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatCoordinate(c.value, c.latitude, CoordinateForm::File), c.file);
        EXPECT_EQ(formatCoordinate(c.value, c.latitude, CoordinateForm::Instrument), c.instrument);
        // What is written reads back to the same value.
        const std::string line = std::string("1,") + (c.latitude ? c.file : "00:00.0000N") + "," +
                                 (c.latitude ? "000:00.0000E" : c.file) + ",0,,N,C";
        const auto p = parseNavpointLine(line);
        ASSERT_TRUE(p);
        EXPECT_EQ(c.latitude ? p->latitude : p->longitude, c.value) << c.file;
    }
    EXPECT_EQ(attributeLetters(0x7FF), "TAMLSFHE");
    EXPECT_EQ(attributeLetters(0x0A5), "TMFE");
    EXPECT_EQ(attributeLetters(0x600), "");
}

TEST(NavpointText, LineAsWritten) {
    Navpoint p;
    p.number = 12;
    p.latitude = kEquator + k47_30 + 1250;
    p.longitude = kPrimeMeridian + 4950000;
    p.altitude = 450;
    p.attributes = 0x603;
    p.setName("HILLTOP");
    p.setComment("GRASS STRIPS");
    EXPECT_EQ(formatNavpointLine(p),
              "12,47:30.1250N,008:15.0000E,450M,TA,HILLTOP     ,GRASS STRIPS\r\n");
}

class NavpointFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("vantor-navpoints-" + std::to_string(::getpid()) + "-" +
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

    fs::path dir;
    std::unique_ptr<NavpointTable> table;
};

TEST_F(NavpointFileTest, WrittenFileReadsBackPaddedWithoutWAndR) {
    const Navpoint points[] = {
        [] {
            Navpoint p;
            p.number = 1;
            p.latitude = kEquator + 28505000;
            p.longitude = kPrimeMeridian - 4950000;
            p.altitude = -20;
            p.attributes = 0x6FF;
            p.setName("A");
            p.setComment("x, y");
            return p;
        }(),
        [] {
            Navpoint p;
            p.number = 65535;
            p.latitude = kEquator;
            p.longitude = kPrimeMeridian + 1;
            p.altitude = 32767;
            p.attributes = 0x040;
            p.setName("TWELVE CHARS");
            p.setComment("COMMENT 12CH");
            return p;
        }(),
    };
    for (const auto& p : points) table->entries[static_cast<std::size_t>(table->count++)] = p;
    const std::string path = (dir / "out.dat").string();
    ASSERT_TRUE(writeNavpointFile(path, *table));

    NavpointTable back;
    back.count = 99;
    ASSERT_TRUE(readNavpointFile(path, back));
    ASSERT_EQ(back.count, 2);
    for (int i = 0; i < 2; ++i) {
        const Navpoint& want = points[i];
        const Navpoint& got = back.entries[static_cast<std::size_t>(i)];
        EXPECT_EQ(got.latitude, want.latitude);
        EXPECT_EQ(got.longitude, want.longitude);
        EXPECT_EQ(got.altitude, want.altitude);
        EXPECT_EQ(got.number, want.number);
        EXPECT_EQ(got.attributes, want.attributes & 0x0FF);
    }
    EXPECT_EQ(back.entries[0].nameText(), "A           ");
    EXPECT_EQ(back.entries[0].commentText(), "x, y        ");
    EXPECT_EQ(back.entries[1].nameText(), "TWELVE CHARS");
}

TEST_F(NavpointFileTest, ReadsLinesOfEveryEndingAndCountsTheBadOnes) {
    const std::string good = "1,00:00.0000S,000:00.0000E,0,,FIRST,C";
    // Empty and blank lines are no navpoints but not worth a word either.
    const std::string path =
        write("mixed.txt", good + "\r\n" + "\n" + "\r\n" + " \t \r\n" + "bad line\n" + "2," +
                               std::string(150, 'x') + ",,,,,C" + "\n" +
                               "4,47:30.5X,008:15.0000E,0,,NOWHERE,C\n" + std::string(300, ' ') +
                               "x\n" + "3,00:00.0000S,000:00.0000E,0,,LAST,C");
    table->count = 7;
    const NavpointFileRead read = readNavpointFile(path, *table);
    ASSERT_TRUE(read);
    EXPECT_EQ(read.skipped, 4);
    ASSERT_EQ(table->count, 2);
    EXPECT_EQ(table->entries[0].nameText(), "FIRST");
    EXPECT_EQ(table->entries[0].commentText(), "C");  // the carriage return ends it
    EXPECT_EQ(table->entries[1].nameText(), "LAST");  // no line feed after the last line
}

TEST_F(NavpointFileTest, OverlongLineIsCutAndTheNextOneStillRead) {
    const std::string longLine =
        "1,00:00.0000S,000:00.0000E,0,,LONG,C" + std::string(1000, 'x') + "\n";
    const std::string path = write("long.txt", longLine + "2,00:00.0000S,000:00.0000E,0,,NEXT,C\n");
    ASSERT_TRUE(readNavpointFile(path, *table));
    ASSERT_EQ(table->count, 2);
    EXPECT_EQ(table->entries[0].commentText(), "Cxxxxxxxxxxx");
    EXPECT_EQ(table->entries[1].nameText(), "NEXT");
}

TEST_F(NavpointFileTest, TakesTheFirst6000Lines) {
    std::string text;
    for (int i = 1; i <= 6001; ++i) {
        text += std::to_string(i) + ",00:00.0000S,000:00.0000E,0,,P" + std::to_string(i) + ",C\n";
    }
    ASSERT_TRUE(readNavpointFile(write("big.dat", text), *table));
    EXPECT_EQ(table->count, 6000);
    EXPECT_EQ(table->entries[5999].nameText(), "P6000");
}

TEST_F(NavpointFileTest, FailuresLeaveTheTableOrReportTheWrite) {
    table->entries[0].setName("KEPT");
    table->count = 1;
    // The folder opens, but reads nothing.
    for (const fs::path& unreadable : {dir / "missing.dat", dir}) {
        EXPECT_FALSE(readNavpointFile(unreadable.string(), *table)) << unreadable;
        ASSERT_EQ(table->count, 1);
        EXPECT_EQ(table->entries[0].nameText(), "KEPT");
    }
    // A file without a single navpoint is read: the table is replaced, empty.
    const NavpointFileRead read = readNavpointFile(write("other.cup", "name,code\nx,y\n"), *table);
    ASSERT_TRUE(read);
    EXPECT_EQ(read.skipped, 2);
    EXPECT_EQ(table->count, 0);

    EXPECT_FALSE(writeNavpointFile((dir / "no-folder" / "out.dat").string(), *table));
    // Created, but the disk is full: no success to report.
    table->count = 1;
    if (fs::exists("/dev/full")) {
        EXPECT_FALSE(writeNavpointFile("/dev/full", *table));
    }
}

}  // namespace
}  // namespace vantor
