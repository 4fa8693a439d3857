#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "SimFixture.h"

namespace vantor::test {
namespace {

using sim::EchoFault;
using Bytes = std::vector<std::uint8_t>;

TEST(ReplyChecks, ShortFrames) {
    // "w" XORs to 'w'; data 1, 2, 3 XOR to 0.
    struct Case {
        const char* what;
        Bytes frame;
        bool valid;
    } cases[] = {
        {"valid with data", {6, 'w', 0, 1, 2, 3, 0, 0, 0}, true},
        {"data xor wrong", {6, 'w', 1, 1, 2, 3, 0, 0, 0}, false},
        {"command xor wrong but data right", {6, 'x', 0, 1, 2, 3, 0, 0, 0}, false},
        {"no data, byte 2 zero", {3, 'w', 0, 9, 9, 9}, true},
        {"no data, byte 2 not zero", {3, 'w', 5, 0, 0, 0}, false},
        {"length below 3 counts as no data", {1, 'w', 0}, true},
        {"frame longer than what was read", {200, 'w', 0, 0, 0, 0}, false},
        {"too short to hold a header", {3, 'w'}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(InstrumentLink::checkShortReply(c.frame.data(), c.frame.size(), "w\r", 1),
                  c.valid)
            << c.what;
    }
}

TEST(ReplyChecks, LongFrames) {
    // "b s" XORs to 'b' ^ ' ' ^ 's' = 0x31.
    struct Case {
        const char* what;
        Bytes frame;
        bool valid;
    } cases[] = {
        {"valid", {0, 8, 0x31, 0x01, 0x02, 0x80, 0x80, 0x02, 0, 0}, true},
        {"sum wrong", {0, 8, 0x31, 0x01, 0x03, 0x80, 0x80, 0x02, 0}, false},
        {"command xor wrong", {0, 8, 0x30, 0x01, 0x02, 0x80, 0x80, 0x02}, false},
        {"header only, sum zero", {0, 5, 0x31, 0, 0, 7, 7}, true},
        {"header only, sum not zero", {0, 5, 0x31, 0, 1}, false},
        {"frame longer than what was read", {0x01, 0x00, 0x31, 0, 0, 0, 0}, false},
        {"too short to hold a header", {0, 5, 0x31, 0}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(InstrumentLink::checkLongReply(c.frame.data(), c.frame.size(), "b s\r", 3),
                  c.valid)
            << c.what;
    }
    // The sum wraps at 16 bits.
    Bytes big(5 + 300, 0xFF);
    const unsigned sum = (300 * 0xFF) & 0xFFFF;
    big[0] = 0x01;
    big[1] = 0x31;
    big[2] = 0x31;
    big[3] = static_cast<std::uint8_t>(sum >> 8);
    big[4] = static_cast<std::uint8_t>(sum);
    EXPECT_TRUE(InstrumentLink::checkLongReply(big.data(), big.size(), "b s\r", 3));
}

class FramingTest : public SimFixture {};

TEST_F(FramingTest, SyncAnswersUnlessSilent) {
    // Time enough for the first sync that a busy machine sends no second try,
    // which would reach the instrument after the history was cleared.
    openLink(1000);
    EXPECT_TRUE(link->sync());
    link->setReadTimeout(20);
    sim->clearHistory();
    sim->setSilent(true);
    EXPECT_FALSE(link->sync());
    EXPECT_EQ(sim->received(), std::string(3, '\x03'));  // three tries
}

TEST_F(FramingTest, StaleInputIsNeverTakenForTheReply) {
    connectUpload();
    sim->inject(Bytes(60, 0x29));
    std::uint8_t first = 0;
    std::size_t got = 0;
    link->port().read(&first, 1, got);  // the stale bytes have arrived
    ASSERT_EQ(got, 1u);
    std::array<std::uint8_t, kIdentitySize> id{};
    ASSERT_TRUE(link->queryIdentity(id));
    EXPECT_EQ(linesEqual("w"), 1);
}

TEST_F(FramingTest, SendRecordAppendsTheByteSumAndWaitsForTheAcknowledgement) {
    openLink(200);
    ASSERT_TRUE(link->enterDownloadMode());
    std::string text = "abc";
    link->sendRecord(text);
    EXPECT_EQ(text, "abc,~294\r");
    EXPECT_GE(linesEqual("abc,~294"), 1);

    sim->clearHistory();
    std::string end = "c,-1";
    EXPECT_TRUE(link->sendRecord(end));
    EXPECT_EQ(end, "c,-1,~" + std::to_string('c' + ',' + '-' + '1') + "\r");

    sim->withholdAcks(2);  // the third try gets its acknowledgement
    std::string again = "c,-1";
    EXPECT_TRUE(link->sendRecord(again));
    sim->withholdAcks(3);
    std::string lost = "c,-1";
    EXPECT_FALSE(link->sendRecord(lost));
}

TEST_F(FramingTest, NmeaSentenceGetsItsChecksum) {
    openLink(20);
    std::string sentence = "$PA*B";
    EXPECT_TRUE(link->sendNmeaSentence(sentence));
    const auto x = static_cast<unsigned>('P' ^ 'A' ^ '-' ^ 'B');
    char expected[16];
    std::snprintf(expected, sizeof expected, "$PA-B*%02X\n", x);
    EXPECT_EQ(sentence, expected);

    std::string single = "$";
    link->sendNmeaSentence(single);
    EXPECT_EQ(single, "$*00\n");
}

TEST_F(FramingTest, EchoedCommandToleratesThreeMissesButNotFour) {
    connectUpload(true);
    std::array<std::uint8_t, 12> reply{};
    std::size_t got = 0;

    sim->failEchoes(EchoFault::Missing, 3);
    EXPECT_TRUE(link->sendEchoed("c\r", reply.data(), reply.size(), got));
    EXPECT_EQ(got, reply.size());
    EXPECT_EQ(linesEqual("c"), 1);

    sim->clearHistory();
    sim->failEchoes(EchoFault::Missing, 4);
    EXPECT_FALSE(link->sendEchoed("c\r", reply.data(), reply.size(), got));
    EXPECT_EQ(linesEqual("c"), 0);  // the terminator was not sent
}

TEST_F(FramingTest, WrongEchoRestartsTheCommandAndIsBounded) {
    connectUpload(true);
    std::array<std::uint8_t, 12> reply{};
    std::size_t got = 0;

    sim->failEchoes(EchoFault::Wrong, 1);
    EXPECT_TRUE(link->sendEchoed("c\r", reply.data(), reply.size(), got));
    EXPECT_TRUE(InstrumentLink::checkShortReply(reply.data(), got, "c\r", 1));
    EXPECT_EQ(sim->received().find('\x03') != std::string::npos, true);  // restarted after a sync

    sim->failEchoes(EchoFault::Wrong, -1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(link->sendEchoed("c\r", reply.data(), reply.size(), got));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

}  // namespace
}  // namespace vantor::test
