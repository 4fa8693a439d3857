#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "records/GliderPolar.h"
#include "records/PilotPreferences.h"

namespace vantor::test {
namespace {

namespace fs = std::filesystem;

const std::string kDefaultName = "Default Pilot           ";

// ---------------------------------------------------------------- pilot preferences

TEST(PilotPreferences, DefaultRecordAsSent) {
    PilotPreferences r;
    EXPECT_EQ(r.name(), kDefaultName);
    adjustForSend(r);
    EXPECT_EQ(formatRecord(r),
              "o," + kDefaultName + ",0,1,1,0,0,100,1000,400,4,1,5,100,102,255,65375,3000");
}

TEST(PilotPreferences, SendAdjustsOnlyWhatTheInstrumentNeeds) {
    struct Case {
        std::uint16_t interval, aux1, sentInterval, sentAux1;
    };
    for (const Case c : {Case{61, 33, 4, 4}, Case{60, 32, 60, 32}, Case{0, 0, 0, 0}}) {
        SCOPED_TRACE(c.interval);
        PilotPreferences r;
        r.loggingInterval = c.interval;
        r.auxWord1 = c.aux1;
        r.auxWord2 = 9;
        r.auxWord3 = 9;
        r.auxByte1 = 9;
        r.goalHeight = 1234;
        adjustForSend(r);
        EXPECT_EQ(r.loggingInterval, c.sentInterval);
        EXPECT_EQ(r.auxWord1, c.sentAux1);
        EXPECT_EQ(r.auxWord2, 5);
        EXPECT_EQ(r.auxWord3, 100);
        EXPECT_EQ(r.auxByte1, 0);
        EXPECT_EQ(r.goalHeight, 1234);
    }
}

TEST(PilotPreferences, BlockDecodesBigEndianAndAShortBlockChangesNothing) {
    std::vector<std::uint8_t> block(PilotPreferences::kBlockSize, 0);
    const std::string name = "Anna Example 1234567890X";  // 24 characters, no terminator
    std::copy(name.begin(), name.end(), block.begin());
    for (std::size_t i = 24; i < 30; ++i) block[i] = static_cast<std::uint8_t>(i);
    block[30] = 0x03;  // approachRadius 1000
    block[31] = 0xE8;
    block[35] = 7;  // loggingInterval
    block[42] = 55;
    block[43] = 0x15;
    block[44] = 0x00;  // unitFlags 18
    block[45] = 0x12;
    block[46] = 0xAA;  // not used
    block[48] = 0x01;  // goalHeight 300
    block[49] = 0x2C;

    PilotPreferences r;
    ASSERT_TRUE(decodeBlock(r, block));
    EXPECT_EQ(r.name(), name);
    EXPECT_EQ(r.auxByte1, 24);
    EXPECT_EQ(r.auxByte4, 29);
    EXPECT_EQ(r.approachRadius, 1000);
    EXPECT_EQ(r.arrivalRadius, 0);
    EXPECT_EQ(r.loggingInterval, 7);
    EXPECT_EQ(r.stfDeadband, 55);
    EXPECT_EQ(r.varioOptions, 0x15);
    EXPECT_EQ(r.unitFlags, 18);  // m/s, feet, Celsius, millibars, nautical miles, km/h
    EXPECT_EQ(r.goalHeight, 300);

    const PilotPreferences before = r;
    block.resize(PilotPreferences::kBlockSize - 1);
    EXPECT_FALSE(decodeBlock(r, block));
    EXPECT_EQ(r, before);
}

TEST(PilotPreferences, FileTextRoundTripKeepsUnitsAndGoalHeight) {
    PilotPreferences saved;
    saved.setName("Maximilian Segelflieger!");  // 24 characters
    saved.auxByte1 = 3;
    saved.celsiusFlag = 0;
    saved.sinkTone = 0;
    saved.auxByte2 = 200;
    saved.auxByte3 = 7;
    saved.auxByte4 = 250;
    saved.approachRadius = 65535;
    saved.arrivalRadius = 12;
    saved.loggingInterval = 20;
    saved.auxWord1 = 32;
    saved.auxWord2 = 9999;
    saved.auxWord3 = 65535;
    saved.stfDeadband = 1;
    saved.varioOptions = 0x1D;
    saved.unitFlags = 0x0012;
    saved.goalHeight = 5000;

    PilotPreferences loaded;
    parseFileText(loaded, formatRecord(saved));
    PilotPreferences expected = saved;
    expected.setName("Maximilian Segelflieger");  // the first 23 characters
    expected.unitFlags = PilotPreferences().unitFlags;
    expected.goalHeight = PilotPreferences().goalHeight;
    EXPECT_EQ(loaded, expected);

    parseFileText(loaded, "o,Bob,1,1,1,0,0,100,1000,400,4,1,5,100,102,255,18,9");
    EXPECT_EQ(loaded.name(), "Bob");
    parseFileText(loaded, "o,,1,1,1,0,0,100,1000,400,4,1,5,100,102,255,18,9");
    EXPECT_EQ(loaded.name(), "");
}

TEST(PilotPreferences, ShortOrMalformedTextLeavesWhatItDoesNotReach) {
    struct Case {
        const char* text;
        std::string name;
        std::uint8_t sinkTone;
        std::uint16_t approachRadius;
        std::uint8_t varioOptions;
    };
    const PilotPreferences defaults;
    const Case cases[] = {
        {"", kDefaultName, 1, 1000, 255},
        {"o,", kDefaultName, 1, 1000, 255},
        {"o,Eve", "Eve", 1, 1000, 255},
        {"o,Eve,9,9,0", "Eve", 0, 1000, 255},
        {"o,Eve,1,1,1,0,0,100,777", "Eve", 1, 777, 255},
        {"o,Eve,x, 0,+2,1,1,1,5", "Eve", 2, 5, 255},
        // A field longer than its limit makes the next one start inside it.
        {"o,Eve,1,1,12345,0,0,100,1000,400,4,1,5,100,102,255", "Eve", 123, 100, 102},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        PilotPreferences r;
        parseFileText(r, c.text);
        EXPECT_EQ(r.name(), c.name);
        EXPECT_EQ(r.sinkTone, c.sinkTone);
        EXPECT_EQ(r.approachRadius, c.approachRadius);
        EXPECT_EQ(r.varioOptions, c.varioOptions);
        EXPECT_EQ(r.unitFlags, defaults.unitFlags);
    }
}

TEST(PilotPreferences, ANumberItsFieldCannotHoldRefusesTheWholeText) {
    struct Case {
        const char* text;
        long long value, upper;
    };
    const Case cases[] = {
        {"o,Eve,300,1", 300, 255},
        {"o,Eve,1,-1", -1, 255},
        {"o,Eve,1,1,1,0,0,256", 256, 255},                             // five characters allowed
        {"o,Eve,1,1,1,0,0,100,1000,65536", 65536, 65535},              // arrival radius
        {"o,Eve,1,1,1,0,0,100,1000,400,4,1,5,100,102,999", 999, 255},  // vario options
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        PilotPreferences r;
        r.setName("Kept");
        const PilotPreferences before = r;
        FieldOutOfRange refused;
        EXPECT_FALSE(parseFileText(r, c.text, &refused));
        EXPECT_EQ(r, before);
        EXPECT_EQ(refused.value, c.value);
        EXPECT_EQ(refused.lower, 0);
        EXPECT_EQ(refused.upper, c.upper);
    }
    EXPECT_EQ(outOfRangeText({300, 0, 255}),
              "The file was not loaded: it holds 300 where the instrument keeps only 0 to 255.");

    // The largest values each field holds are taken.
    PilotPreferences r;
    EXPECT_TRUE(parseFileText(r, "o,Eve,255,0,0,0,0,255,65535,65535,4,1,5,65535,255,255,0,0"));
    EXPECT_EQ(r.auxByte1, 255);
    EXPECT_EQ(r.auxByte4, 255);
    EXPECT_EQ(r.arrivalRadius, 65535);
    EXPECT_EQ(r.auxWord3, 65535);
    EXPECT_EQ(r.stfDeadband, 255);
}

TEST(RecordFiles, ReadAtMost255BytesAndWriteWhole) {
    const fs::path dir =
        fs::temp_directory_path() / ("vantor-rec-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir);
    const std::string path = (dir / "long.ppf").string();
    std::string text = "o," + std::string(300, 'x');
    ASSERT_TRUE(writeRecordFile(path, text));
    const auto read = readRecordFile(path);
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, text.substr(0, kMaxRecordFileBytes));
    PilotPreferences r;
    parseFileText(r, *read);
    EXPECT_EQ(r.name(), std::string(23, 'x'));
    EXPECT_FALSE(readRecordFile((dir / "missing.ppf").string()));
    EXPECT_FALSE(writeRecordFile((dir / "no" / "such.ppf").string(), "o,"));
    fs::remove_all(dir);
}

// ---------------------------------------------------------------- glider

TEST(GliderPolar, DefaultRecordAndFileLine) {
    const GliderPolar p;
    EXPECT_EQ(formatGliderRecord(p),
              "g,ASW-20      ,asw         ,40,100,175,350,100,0,65535,10500");
    EXPECT_EQ(formatPolarLine(p), "ASW-20      ,asw         , 40, 100, 175, 350, 100, 0, 10500\n");

    GliderPolar q;
    q.gliderType = "Nimbus-4DM long";  // cut to 12
    q.gliderId = "D";                  // padded to 12
    q.wingArea = 950;
    q.setLocked(true);
    q.lockFlags &= 0x00FF;  // the other bits are carried as they are
    EXPECT_EQ(formatGliderRecord(q), "g,Nimbus-4DM l,D           ,40,100,175,350,100,0,254,950");
    EXPECT_EQ(formatPolarLine(q).substr(26), " 40, 100, 175, 350, 100, 0, 00950\n");
}

TEST(GliderPolar, WingAreaTextAndReading) {
    EXPECT_EQ(formatWingAreaText(10500), "10.500");
    EXPECT_EQ(formatWingAreaText(10050), "10.050");
    EXPECT_EQ(formatWingAreaText(9000), "9.000");
    EXPECT_EQ(formatWingAreaText(65535), "65.535");

    struct Case {
        const char* text;
        bool taken;
        const char* cleaned;
        std::int32_t wingArea;
    };
    for (const Case& c :
         {Case{"11.25", true, "11.25", 11250}, Case{"10.050", true, "10.050", 10050},
          Case{"12a", false, "12", 7}, Case{"", true, "", 0}}) {
        SCOPED_TRACE(c.text);
        GliderPolar p;
        p.wingArea = 7;
        p.wingAreaText = c.text;
        EXPECT_EQ(takeWingAreaText(p), c.taken);
        EXPECT_EQ(p.wingAreaText, c.cleaned);
        EXPECT_EQ(p.wingArea, c.wingArea);
    }
}

TEST(GliderPolar, BlockDecodesAndAShortBlockChangesNothing) {
    std::vector<std::uint8_t> block(GliderPolar::kBlockSize, 0xEE);
    const std::string names = "LS-8 18m    D-KXYZ";  // the id ends at a terminator
    std::copy(names.begin(), names.end(), block.begin());
    block[18] = 0;
    block[24] = 48;
    block[25] = 95;
    block[26] = 210;
    block[28] = 0x01;  // dryWeight 300
    block[29] = 0x2C;
    block[30] = 0x00;  // waterLitres 185
    block[31] = 0xB9;
    block[34] = 0xFF;  // locked
    block[35] = 0xFE;
    block[36] = 0x27;  // wingArea 10050
    block[37] = 0x42;
    GliderPolar p;
    ASSERT_TRUE(decodeGliderBlock(p, block));
    EXPECT_EQ(p.gliderType, "LS-8 18m    ");
    EXPECT_EQ(p.gliderId, "D-KXYZ");
    EXPECT_EQ(p.bestGlide, 48);
    EXPECT_EQ(p.bestGlideSpeed, 95);
    EXPECT_EQ(p.v2Speed, 210);
    EXPECT_EQ(p.dryWeight, 300);
    EXPECT_EQ(p.waterLitres, 185);
    EXPECT_TRUE(p.locked());
    EXPECT_EQ(p.lockFlags, 0xFFFE);
    EXPECT_EQ(p.wingArea, 10050);

    const GliderPolar before = p;
    block.resize(20);
    EXPECT_FALSE(decodeGliderBlock(p, block));
    EXPECT_EQ(p, before);
}

TEST(GliderPolar, FileRoundTripKeepsTheLock) {
    GliderPolar saved;
    saved.gliderType = "Discus 2b   ";
    saved.gliderId = "WL          ";
    saved.bestGlide = 45;
    saved.bestGlideSpeed = 105;
    saved.v2Speed = 190;
    saved.dryWeight = 265;
    saved.waterLitres = 200;
    saved.wingArea = 10160;
    saved.setLocked(true);

    GliderPolar loaded;
    parsePolarText(loaded, formatPolarLine(saved));
    EXPECT_FALSE(loaded.locked());  // the file holds no lock
    loaded.lockFlags = saved.lockFlags;
    EXPECT_EQ(loaded, saved);
}

TEST(GliderPolar, ShortTextsAndTheWingAreaRule) {
    struct Case {
        const char* text;
        std::string type;
        std::int32_t bestGlide, waterLitres, wingArea;
    };
    const Case cases[] = {
        // No line feed after the wing area: it is not taken.
        {"LS-4,ab, 40, 100, 175, 350, 77, 0, 09000", "LS-4", 40, 77, 10500},
        {"LS-4,ab, 40, 100, 175, 350, 77, 0, 09000\n", "LS-4", 40, 77, 9000},
        {"LS-4,ab, 40, 100, 175, 350, 77, 0, 09000\r\n", "LS-4", 40, 77, 9000},
        {"LS-4,ab, 41", "LS-4", 41, 100, 10500},
        {"LS-4", "LS-4", 40, 100, 10500},
        {"", "ASW-20      ", 40, 100, 10500},
        // Each number is read from at most its limit of characters, the blank included.
        {"A much too long type name,ab, 12345, 1, 1, 1, 1, 0, 1\n", "A much too l", 123, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        GliderPolar p;
        parsePolarText(p, c.text);
        EXPECT_EQ(p.gliderType, c.type);
        EXPECT_EQ(p.bestGlide, c.bestGlide);
        EXPECT_EQ(p.waterLitres, c.waterLitres);
        EXPECT_EQ(p.wingArea, c.wingArea);
    }
}

TEST(GliderPolar, ANumberItsFieldCannotHoldRefusesTheWholeText) {
    struct Case {
        const char* text;
        long long value, upper;
    };
    const Case cases[] = {
        {"LS-4,ab, 300, 100, 175, 350, 77, 0, 09000\n", 300, 255},
        {"LS-4,ab, 40, 256, 175, 350, 77, 0, 09000\n", 256, 255},
        {"LS-4,ab, 40, 100, 999, 350, 77, 0, 09000\n", 999, 255},
        {"LS-4,ab, 40, 100, 175,70000, 77, 0, 09000\n", 70000, 65535},
        {"LS-4,ab, 40, 100, 175, 350, -1, 0, 09000\n", -1, 65535},
        {"LS-4,ab, 40, 100, 175, 350, 77, 0, 65536\n", 65536, 65535},
        {"LS-4,ab, 40, 100, 175, 350, 77, 0,123456\n", 123456, 65535},
        {"LS-4,ab, 40, 100, 175, 350, 77, 0, -9000\n", -9000, 65535},
        {"LS-4,ab, -40", -40, 255},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        GliderPolar p;
        FieldOutOfRange refused;
        EXPECT_FALSE(parsePolarText(p, c.text, &refused));
        EXPECT_EQ(p, GliderPolar());
        EXPECT_EQ(refused.value, c.value);
        EXPECT_EQ(refused.upper, c.upper);
    }

    // The largest values each field holds are taken; the placeholder is not looked at.
    GliderPolar p;
    EXPECT_TRUE(parsePolarText(p, "LS-4,ab, 255, 255, 255,65535,65535,99999, 65535\n"));
    EXPECT_EQ(p.bestGlide, 255);
    EXPECT_EQ(p.bestGlideSpeed, 255);
    EXPECT_EQ(p.v2Speed, 255);
    EXPECT_EQ(p.dryWeight, 65535);
    EXPECT_EQ(p.waterLitres, 65535);
    EXPECT_EQ(p.wingArea, 65535);
}

}  // namespace
}  // namespace vantor::test
