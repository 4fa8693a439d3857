#include <gtest/gtest.h>

#include <cstring>

#include "SimFixture.h"
#include "logs/LogDirectory.h"

namespace vantor::test {
namespace {

using sim::ReplyFault;

LogDirectoryEntry entry(DateTimeStamp start, DateTimeStamp end, const char* label = "TEST") {
    std::uint8_t wire[36] = {};
    const std::uint8_t* s = &start.year;
    std::memcpy(wire, s, 6);
    std::memcpy(wire + 6, &end.year, 6);
    std::memcpy(wire + 12, label, std::min<std::size_t>(std::strlen(label), 24));
    return LogDirectoryEntry::fromWire(wire);
}

TEST(LogList, LinesAndTheMinimumTimeFilter) {
    struct Case {
        const char* what;
        LogDirectoryEntry e;
        std::int32_t minSeconds;
        const char* line;  // nullptr: not listed
    } cases[] = {
        {"example", entry({5, 7, 14, 12, 3, 50}, {5, 7, 14, 15, 47, 10}), 300,
         "05-07-14 12:03(03:44) TEST"},
        {"one second shows a minute", entry({5, 7, 14, 12, 0, 59}, {5, 7, 14, 12, 1, 0}), 0,
         "05-07-14 12:00(00:01) TEST"},
        {"exactly the minimum is left out", entry({9, 1, 2, 10, 0, 0}, {9, 1, 2, 10, 5, 0}), 300,
         nullptr},
        {"one second above is listed", entry({9, 1, 2, 10, 0, 0}, {9, 1, 2, 10, 5, 1}), 300,
         "09-01-02 10:00(00:05) TEST"},
        {"24-character label, nothing after it",
         entry({9, 1, 2, 10, 0, 0}, {9, 1, 2, 11, 0, 0}, "ABCDEFGHIJKLMNOPQRSTUVWXYZ"), 0,
         "09-01-02 10:00(01:00) ABCDEFGHIJKLMNOPQRSTUVWX"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LogDirectory d;
        d.count = 1;
        d.entries[0] = c.e;
        const LogListing l = buildListing(d, c.minSeconds);
        if (c.line) {
            EXPECT_EQ(l.lines, std::vector<std::string>{c.line});
            EXPECT_EQ(l.listMap, std::vector<int>{0});
        } else {
            EXPECT_EQ(l.lines, std::vector<std::string>{kNoLogFiles});
            EXPECT_TRUE(l.listMap.empty());
        }
    }
}

TEST(LogFileName, ShortNames) {
    struct Case {
        const char* what;
        std::vector<LogDirectoryEntry> entries;
        int index;
        const char* serial;
        std::int32_t minSeconds;
        bool binary;
        const char* name;
    } cases[] = {
        {"one more listed log of that day after it",
         {entry({9, 12, 3, 10, 0, 0}, {9, 12, 3, 12, 0, 0}),
          entry({9, 12, 4, 10, 0, 0}, {9, 12, 4, 12, 0, 0}),
          entry({9, 12, 3, 14, 0, 0}, {9, 12, 3, 15, 0, 0})},
         0,
         "0K7",
         300,
         false,
         "9C3T0K72.IGC"},
        {"31 October 2005",
         {entry({5, 10, 31, 10, 0, 0}, {5, 10, 31, 12, 0, 0})},
         0,
         "A1B",
         0,
         false,
         "5AVTA1B1.IGC"},
        {"binary",
         {entry({5, 7, 14, 10, 0, 0}, {5, 7, 14, 12, 0, 0})},
         0,
         "A1B",
         0,
         true,
         "57ETA1B1.TVK"},
        {"the 5th of another month counts",
         {entry({6, 3, 5, 10, 0, 0}, {6, 3, 5, 12, 0, 0}),
          entry({6, 4, 5, 10, 0, 0}, {6, 4, 5, 12, 0, 0})},
         0,
         "A1B",
         0,
         false,
         "635TA1B2.IGC"},
        {"a hidden log does not count",
         {entry({6, 3, 5, 10, 0, 0}, {6, 3, 5, 12, 0, 0}),
          entry({6, 3, 5, 13, 0, 0}, {6, 3, 5, 13, 2, 0})},
         0,
         "A1B",
         300,
         false,
         "635TA1B1.IGC"},
        {"the last entry is flight 1",
         {entry({6, 3, 5, 10, 0, 0}, {6, 3, 5, 12, 0, 0}),
          entry({6, 3, 5, 13, 0, 0}, {6, 3, 5, 15, 0, 0})},
         1,
         "A1B",
         0,
         false,
         "635TA1B1.IGC"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LogDirectory d;
        d.count = static_cast<int>(c.entries.size());
        std::copy(c.entries.begin(), c.entries.end(), d.entries.begin());
        EXPECT_EQ(logShortFileName(d, c.index, c.serial, c.minSeconds, c.binary), c.name);
    }
    // Ten more flights that day: the eleventh is written B.
    LogDirectory d;
    d.count = 11;
    for (int i = 0; i < 11; ++i) {
        d.entries[static_cast<std::size_t>(i)] =
            entry({6, 3, 5, static_cast<std::uint8_t>(i), 0, 0},
                  {6, 3, 5, static_cast<std::uint8_t>(i), 30, 0});
    }
    EXPECT_EQ(logShortFileName(d, 0, "A1B", 0, false), "635TA1BB.IGC");
}

// Whatever the instrument reports, the name is one plain file name of 12
// characters: the form's own characters where it has them, "_" elsewhere.
TEST(LogFileName, InstrumentDataNeverMakesAPath) {
    struct Case {
        const char* what;
        DateTimeStamp start;
        std::array<char, 4> serial;
        int flightsAfter;  // listed logs of the same day after it
        const char* name;
    } cases[] = {
        {"day 0", {6, 3, 0, 10, 0, 0}, {'A', '1', 'B', 0}, 0, "63_TA1B1.IGC"},
        {"day 32", {6, 3, 32, 10, 0, 0}, {'A', '1', 'B', 0}, 0, "63_TA1B1.IGC"},
        {"day 255", {6, 3, 255, 10, 0, 0}, {'A', '1', 'B', 0}, 0, "63_TA1B1.IGC"},
        {"month 0", {6, 0, 5, 10, 0, 0}, {'A', '1', 'B', 0}, 0, "6_5TA1B1.IGC"},
        {"month 13", {6, 13, 5, 10, 0, 0}, {'A', '1', 'B', 0}, 0, "6_5TA1B1.IGC"},
        {"the 35th flight is Z", {6, 3, 5, 10, 0, 0}, {'A', '1', 'B', 0}, 34, "635TA1BZ.IGC"},
        {"the 37th flight", {6, 3, 5, 10, 0, 0}, {'A', '1', 'B', 0}, 36, "635TA1B_.IGC"},
        {"separators", {6, 3, 5, 10, 0, 0}, {'/', '\\', '.', 0}, 0, "635T___1.IGC"},
        {"control bytes", {6, 3, 5, 10, 0, 0}, {'\n', '\0', '\x7F', 0}, 0, "635T___1.IGC"},
        {"high bytes and blanks", {6, 3, 5, 10, 0, 0}, {'\xE9', ' ', ':', 0}, 0, "635T___1.IGC"},
        {"lower case stays", {6, 3, 5, 10, 0, 0}, {'a', 'z', '0', 0}, 0, "635Taz01.IGC"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LogDirectory d;
        d.count = 1 + c.flightsAfter;
        for (int i = 0; i < d.count; ++i) {
            DateTimeStamp end = c.start;
            end.minute = 30;
            d.entries[static_cast<std::size_t>(i)] = entry(c.start, end);
        }
        const std::string name = logShortFileName(d, 0, c.serial.data(), 0, false);
        EXPECT_EQ(name, c.name);
        EXPECT_EQ(name.size(), 12u);
    }
}

// A damaged block followed by bytes the drain after it takes: a damaged reply
// alone would make every drain wait out the ten-second time-out.
void damagedWithLateBytes(std::vector<std::uint8_t>& frame) {
    frame[10] ^= 1;
    frame.insert(frame.end(), 300, 0);
}

class LogDirectoryRead : public SimFixture {
protected:
    void useLogs(int n) {
        sim::SimulatorOptions options;
        options.logs = n;
        startSim(options);
    }
    bool read() { return readLogDirectory(*link, prompts, device(), directory, serial); }
    std::vector<std::string> blockLines() {
        std::vector<std::string> out;
        for (const auto& l : sim->lines()) {
            if (l.rfind("b ", 0) == 0) out.push_back(l);
        }
        return out;
    }
    LogDirectory directory;
    std::array<char, 4> serial{};
};

TEST_F(LogDirectoryRead, CountsDecideTheBlocksRead) {
    useLogs(0);
    ASSERT_TRUE(read());
    EXPECT_EQ(directory.count, 0);
    EXPECT_EQ(blockLines(), std::vector<std::string>{"b 196"});
    EXPECT_EQ(buildListing(directory, 0).lines, std::vector<std::string>{kNoLogFiles});
    EXPECT_STREQ(serial.data(), "A1B");
    EXPECT_FALSE(link->isOpen());

    useLogs(8);
    ASSERT_TRUE(read());
    EXPECT_EQ(directory.count, 8);
    EXPECT_EQ(blockLines(), (std::vector<std::string>{"b 196", "b 197"}));
    const auto state = sim->state();
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(directory.entries[static_cast<std::size_t>(i)].labelText(),
                  state.logs[static_cast<std::size_t>(i)].label);
    }

    // A count above 128 is taken as 128: blocks 0 to 16.
    sim->rewriteReplies(
        "b 196",
        [](std::vector<std::uint8_t>& f) {
            f[5] = 200;
            resumLongFrame(f);
        },
        1);
    sim->clearHistory();
    ASSERT_TRUE(read());
    EXPECT_EQ(directory.count, 128);
    EXPECT_EQ(blockLines().size(), 17u);
    EXPECT_EQ(blockLines().back(), "b 212");
}

TEST_F(LogDirectoryRead, FailuresSayWhatWentWrong) {
    struct Case {
        const char* what;
        std::function<void()> arrange;
        const char* text;  // nullptr: nothing shown
        const char* caption;
        bool portLeftOpen;  // never, whatever went wrong
    } cases[] = {
        {"no such port", [&] { link->close(); }, nullptr, nullptr, false},
        {"silent", [&] { sim->setSilent(true); }, "Failed to connect.", "Error, check connections",
         false},
        {"no upload mode", [&] { sim->failReplies("upl 1", ReplyFault::Silent, -1); },
         "Could not upload.", "Error", false},
        {"no identity", [&] { sim->failReplies("w", ReplyFault::Damaged, -1); }, nullptr, nullptr,
         false},
        {"first block", [&] { sim->rewriteReplies("b 196", damagedWithLateBytes, -1); },
         "Could not get FAT.(A)", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        useLogs(3);
        prompts.messages.clear();
        c.arrange();
        const std::string port = std::string(c.what) == "no such port" ? "/nonexistent" : device();
        EXPECT_FALSE(readLogDirectory(*link, prompts, port, directory, serial));
        EXPECT_EQ(directory.count, 0);
        if (std::string(c.what) == "no such port") {
            ASSERT_EQ(prompts.messages.size(), 1u);
            EXPECT_EQ(prompts.messages[0].caption, "Can't open comm port");
        } else if (c.text) {
            ASSERT_EQ(prompts.messages.size(), 1u);
            EXPECT_EQ(prompts.messages[0].text, c.text);
            EXPECT_EQ(prompts.messages[0].caption, c.caption);
        } else {
            EXPECT_TRUE(prompts.messages.empty());
        }
        EXPECT_EQ(link->isOpen(), c.portLeftOpen);
    }
}

TEST_F(LogDirectoryRead, LaterBlockFailureEmptiesTheList) {
    useLogs(10);
    sim->rewriteReplies("b 197", damagedWithLateBytes, -1);
    EXPECT_FALSE(read());
    EXPECT_EQ(directory.count, 0);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Could not get FAT.");
    EXPECT_EQ(prompts.messages[0].caption, "Error");
    EXPECT_FALSE(link->isOpen());
}

// After either failed block the port is free: another dialog's link opens it
// at once (the port is opened exclusively), and the instrument is at the prompt.
TEST_F(LogDirectoryRead, FailedBlocksLetGoOfThePort) {
    for (const char* block : {"b 196", "b 197"}) {
        SCOPED_TRACE(block);
        useLogs(10);
        sim->clearFaults();
        sim->rewriteReplies(block, damagedWithLateBytes, -1);
        EXPECT_FALSE(read());
        sim->clearFaults();
        InstrumentLink other(prompts);
        ASSERT_TRUE(other.open(device(), 4800, 1000));
        EXPECT_TRUE(other.sync());
        other.close();
        prompts.messages.clear();
        EXPECT_TRUE(read());
        EXPECT_EQ(directory.count, 10);
    }
}

}  // namespace
}  // namespace vantor::test
