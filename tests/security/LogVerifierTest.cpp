// The check of whole IGC files: simulator-made logs, each edit the check must
// see or must ignore, and input that is no log at all.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "LogSigning.h"
#include "Simulator.h"
#include "security/LogVerifier.h"
#include "security/Signature.h"

namespace vantor::security {
namespace {

using sim::LogOptions;

constexpr char kAllOk[] = "Log Data Integrity OK\nSignature Data Integrity OK\nSecurity OK\n";
constexpr char kLogChanged[] =
    "Log Data Integrity Fail\nSignature Data Integrity OK\nSecurity Fail\n";
constexpr char kAllFail[] =
    "Log Data Integrity Fail\nSignature Data Integrity Fail\nSecurity Fail\n";

// A saved download: the log's blocks, then its security record.
std::string logFile(const LogOptions& options = {}) {
    sim::InstrumentState state;
    const std::string pilot = "Jane Q Pilot";
    const std::string glider = "LS-4        D-KAZZ      ";
    state.pilotPreferences.assign(pilot.begin(), pilot.end());
    state.glider.assign(glider.begin(), glider.end());
    const sim::SimLog log = sim::generateLog(0, state, 7, options);
    return log.igc + std::string(log.security.begin(), log.security.end());
}

LogOptions withStatus(std::uint16_t status) {
    LogOptions options;
    options.status = status;
    return options;
}

LogOptions tampered() {
    LogOptions options;
    options.tamperFix = true;
    return options;
}

std::uint32_t check(const std::string& text) {
    return verifyLogData({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

std::string checkText(const std::string& text) {
    return formatVerificationResult(check(text));
}

// The file with the first line that starts with `prefix` passed through `edit`.
std::string withLine(std::string text, const std::string& prefix,
                     const std::function<void(std::string&)>& edit) {
    const std::size_t at =
        text.compare(0, prefix.size(), prefix) == 0 ? 0 : text.find('\n' + prefix) + 1;
    const std::size_t end = text.find('\n', at) + 1;
    std::string line = text.substr(at, end - at);
    edit(line);
    return text.replace(at, end - at, line);
}

void bump(std::string& line, std::size_t at) {
    line[at] = line[at] == '1' ? '2' : '1';
}

class LogVerifierTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!sim::testKeysInUse()) GTEST_SKIP() << "built with other key material";
        good = logFile();
    }
    std::string good;
};

TEST_F(LogVerifierTest, WhatIsSignedAndWhatIsNot) {
    auto lowerG = [](std::string text) {
        const std::size_t g = text.find("\nG") + 1;
        for (std::size_t i = g; i < text.size(); ++i) {
            if (text[i] >= 'A' && text[i] <= 'F') text[i] = static_cast<char>(text[i] + 32);
        }
        return text;
    };
    auto insertAfterFirstLine = [](std::string text, const std::string& what) {
        return text.insert(text.find('\n') + 1, what);
    };
    const std::size_t fixes = good.find("\nB") + 1;
    struct Case {
        const char* name;
        std::string file;
        std::string expected;
    } cases[] = {
        {"intact", good, kAllOk},
        {"B record", withLine(good, "B", [](std::string& l) { bump(l, 20); }), kLogChanged},
        {"tampered fix", logFile(tampered()), kLogChanged},
        {"HF header", withLine(good, "HFDTE", [](std::string& l) { bump(l, 11); }), kLogChanged},
        // The pilot and the glider are the instrument's own headers: signed.
        {"HF pilot", withLine(good, "HFPLT", [](std::string& l) { l[19] = 'X'; }), kLogChanged},
        {"HF glider id", withLine(good, "HFGID", [](std::string& l) { l[14] = 'X'; }), kLogChanged},
        {"HP header", withLine(good, "HPCID", [](std::string& l) { l[19] = 'X'; }), kAllOk},
        {"HO header", withLine(good, "HOSIT", [](std::string& l) { l[10] = 'X'; }), kAllOk},
        {"L without TVR", withLine(good, "LPLT", [](std::string& l) { l[5] = 'X'; }), kAllOk},
        {"L with TVR", withLine(good, "LTVR", [](std::string& l) { bump(l, 11); }), kLogChanged},
        {"line added after the G lines", good + "B1200000000000N00000000EA0000000000000\r\n",
         kLogChanged},
        {"text after the last line feed", good + "B120000", kAllOk},
        {"lone line feeds", insertAfterFirstLine(good, "\n\n"), kAllOk},
        {"blank CR LF line", insertAfterFirstLine(good, "\r\n"), kLogChanged},
        {"lower-case hex", lowerG(good), kAllOk},
        {"unread block byte", withLine(good, "G", [](std::string& l) { bump(l, 40); }),
         "Log Data Integrity OK\nSignature Data Integrity Fail\nSecurity OK\n"},
        {"over-long B record",
         good.substr(0, fixes) + "B" + std::string(300, '1') + "\r\n" + good.substr(fixes),
         kLogChanged},
        {"over-long HP line",
         good.substr(0, fixes) + "HP" + std::string(300, 'X') + "\r\n" + good.substr(fixes),
         kAllOk},
        {"no A line", good.substr(good.find('\n') + 1), kLogChanged},
        {"unsigned", logFile(withStatus(0x00FF)),
         "Log Data Integrity OK\nSignature Data Integrity OK\nSecurity Fail\n"},
        {"violation", logFile(withStatus(0x0100)),
         "Log Data Integrity OK\nSignature Data Integrity OK\nSecurity Violation "
         "Reported\nSecurity OK\n"},
        {"old file", logFile(withStatus(0x0666)), "Old File: Security seems Bad\n"},
        {"old file 2", logFile(withStatus(0x64A2)), "Old File: Security seems Bad\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(checkText(c.file), c.expected) << c.name;
    }
    EXPECT_EQ(check(good), SIG_VALID | LOG_CRC_OK | SIG_CRC_OK);
    EXPECT_EQ(check(logFile(withStatus(0x00FF))), UNSIGNED | LOG_CRC_OK | SIG_CRC_OK);
    EXPECT_EQ(check(logFile(withStatus(0x0666))), OLD_FILE | VIOLATION);
    EXPECT_EQ(check(logFile(withStatus(0x64A2))), OLD_FILE);
}

TEST_F(LogVerifierTest, SignatureBlockFieldsAreCheckedWhereTheyStand) {
    // Bytes 0-91 are under the block CRC; the log CRC stays right.
    const char* expected = "Log Data Integrity OK\nSignature Data Integrity Fail\nSecurity Fail\n";
    // Second G line, characters 1-40: bytes 32-51, the signature's r.
    const std::size_t second = good.find("\nG") + 1 + 67;
    ASSERT_EQ(good[second], 'G');
    std::string changed = good;
    changed[second + 5] = changed[second + 5] == '0' ? '1' : '0';
    EXPECT_EQ(checkText(changed), expected);
    // Third G line, characters 1-40: bytes 64-83, s.
    changed = good;
    changed[second + 67 + 7] = changed[second + 67 + 7] == '0' ? '1' : '0';
    EXPECT_EQ(checkText(changed), expected);
    // A digit that is no hexadecimal digit decodes as 255 and is caught.
    changed = good;
    changed[second + 67 + 7] = 'G';
    EXPECT_EQ(checkText(changed), expected);
}

TEST_F(LogVerifierTest, ExactlySixtyFourSignedBytesAreTwoBlocks) {
    LogVerifier verifier;
    const std::string line = "A" + std::string(61, 'B') + "\r\n";
    verifier.feed({reinterpret_cast<const std::uint8_t*>(line.data()), line.size()});
    verifier.finish();
    EXPECT_EQ(verifier.computedLogCrc(), 0x798FDDA4u);
    EXPECT_EQ(verifier.digest(),
              logDigestOf({reinterpret_cast<const std::uint8_t*>(line.data()), line.size()}));
}

TEST_F(LogVerifierTest, FilesAreReadWholeInAnyPieces) {
    const std::filesystem::path path = ::testing::TempDir() + "vantor-verify-pieces.igc";
    {
        std::ofstream out(path, std::ios::binary);
        out << good;
    }
    EXPECT_EQ(verifyLogFile(path), std::optional<std::uint32_t>(check(good)));
    std::FILE* f = std::fopen(path.string().c_str(), "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(verifyLogFile(f), check(good));
    std::fclose(f);
    std::filesystem::remove(path);
    EXPECT_FALSE(verifyLogFile(path));
    EXPECT_FALSE(verifyLogFile(std::filesystem::temp_directory_path()));

    LogVerifier byBytes;
    for (const char c : good) byBytes.feed({reinterpret_cast<const std::uint8_t*>(&c), 1});
    EXPECT_EQ(byBytes.finish(), check(good));
}

TEST_F(LogVerifierTest, ChecksRunSideBySide) {
    const std::vector<std::pair<std::string, std::uint32_t>> files = {
        {good, check(good)},
        {logFile(tampered()), check(logFile(tampered()))},
        {logFile(withStatus(0x0100)), check(logFile(withStatus(0x0100)))},
    };
    std::vector<std::thread> threads;
    std::vector<int> wrong(files.size(), 0);
    for (std::size_t t = 0; t < files.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 10; ++i) wrong[t] += check(files[t].first) != files[t].second;
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(wrong, std::vector<int>(files.size(), 0));
}

TEST_F(LogVerifierTest, OneVerificationIsFast) {
    const auto start = std::chrono::steady_clock::now();
    constexpr int kRuns = 20;
    for (int i = 0; i < kRuns; ++i) ASSERT_EQ(check(good), SIG_VALID | LOG_CRC_OK | SIG_CRC_OK);
    const auto perCheck =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
            .count() /
        kRuns;
    RecordProperty("microseconds_per_log", static_cast<int>(perCheck));
#if defined(NDEBUG) && !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(perCheck, 1000.0);
#endif
}

TEST(LogVerifierInput, AnythingGivesAResult) {
    std::mt19937 rng(3);
    std::string binary(5000, '\0');
    for (auto& c : binary) c = static_cast<char>(rng());
    std::string manyG;
    for (int i = 0; i < 40; ++i) manyG += "G" + std::string(64, 'F') + "\r\n";
    const std::string cases[] = {
        "",
        "This is not a flight log.\r\nJust some text.\r\n",
        binary,
        std::string(1 << 20, 'B'),
        std::string(1 << 20, 'G') + "\n",
        "A\n" + manyG,
        std::string(300, '\n'),
    };
    for (const auto& text : cases) {
        const std::uint32_t result = check(text);
        EXPECT_EQ(result & SIG_VALID, 0u);
        const std::string lines = formatVerificationResult(result);
        EXPECT_FALSE(lines.empty());
        EXPECT_LE(lines.size(), 96u);
    }
    EXPECT_EQ(checkText(""), kAllFail);
}

TEST(VerificationText, EveryFlagCombination) {
    EXPECT_EQ(formatVerificationResult(0), kAllFail);
    EXPECT_EQ(formatVerificationResult(SIG_VALID | LOG_CRC_OK | SIG_CRC_OK | VIOLATION),
              "Log Data Integrity OK\nSignature Data Integrity OK\nSecurity Violation "
              "Reported\nSecurity OK\n");
    EXPECT_EQ(formatVerificationResult(UNSIGNED | LOG_CRC_OK),
              "Log Data Integrity OK\nSignature Data Integrity Fail\nSecurity Fail\n");
    EXPECT_EQ(formatVerificationResult(OLD_FILE | SIG_VALID), "Old File: Security seems OK\n");
    EXPECT_EQ(formatVerificationResult(OLD_FILE | VIOLATION | LOG_CRC_OK),
              "Old File: Security seems Bad\n");
}

}  // namespace
}  // namespace vantor::security
