#include <gtest/gtest.h>

#include "SimFixture.h"

namespace vantor::test {
namespace {

using sim::ReplyFault;

class QueryTest : public SimFixture {
protected:
    void SetUp() override {
        sim::SimulatorOptions options;
        options.logs = 3;
        options.navpoints = 4;
        startSim(options);
    }
};

TEST_F(QueryTest, IdentityHandsBackTheFrameHeaderToo) {
    connectUpload();
    std::array<std::uint8_t, kIdentitySize> id{};
    ASSERT_TRUE(link->queryIdentity(id));
    EXPECT_EQ(id[0], 35);  // short frame of 32 data bytes
    EXPECT_EQ(id[1], 'w');
    EXPECT_EQ(std::string(id.begin() + 18, id.begin() + 21), "A1B");
    EXPECT_EQ(std::string(id.begin() + 22, id.begin() + 24), "24");
    EXPECT_EQ(id[32], sim->state().instrumentType);

    sim->failReplies("w", ReplyFault::Damaged, -1);
    id.fill(0xEE);
    EXPECT_FALSE(link->queryIdentity(id));
    EXPECT_EQ(linesEqual("w"), 4);
    EXPECT_EQ(id[0], 0xEE);  // untouched on failure
}

TEST_F(QueryTest, TextQueriesReturnTheInstrumentsBlocks) {
    connectUpload();
    const auto state = sim->state();

    int length = 0;
    EXPECT_GE(link->queryPilotPreferencesHeader(&length), 0);
    ASSERT_EQ(length, 50);
    std::vector<std::uint8_t> prefs(50);
    ASSERT_TRUE(link->queryPilotPreferencesData(0, prefs));
    EXPECT_EQ(prefs, state.pilotPreferences);
    EXPECT_EQ(linesEqual("o 0"), 1);

    EXPECT_EQ(link->queryGliderHeader(&length), 1);
    ASSERT_EQ(length, 38);
    std::vector<std::uint8_t> glider(38);
    ASSERT_TRUE(link->queryGliderData(glider));
    EXPECT_EQ(glider, state.glider);

    std::array<std::uint8_t, kDeclarationSize> declaration{};
    ASSERT_TRUE(link->queryDeclaration(declaration));
    EXPECT_TRUE(std::equal(declaration.begin(), declaration.end(), state.declaration.begin()));
}

TEST_F(QueryTest, TextQueryFailures) {
    connectUpload();
    sim->failReplies("o", ReplyFault::Damaged, -1);
    int length = -7;
    EXPECT_EQ(link->queryPilotPreferencesHeader(&length), -1);
    EXPECT_EQ(length, -7);
    EXPECT_EQ(linesEqual("o"), 3);

    sim->failReplies("g", ReplyFault::Short, 1);
    EXPECT_EQ(link->queryGliderHeader(&length), -1);
    EXPECT_EQ(linesEqual("g"), 1);  // one try

    std::vector<std::uint8_t> data(50, 0xEE);
    sim->failReplies("o 0", ReplyFault::Damaged, 1);
    EXPECT_FALSE(link->queryPilotPreferencesData(0, data));
    sim->failReplies("g 0", ReplyFault::Silent, 1);
    EXPECT_FALSE(link->queryGliderData(std::span(data).first(38)));
    EXPECT_EQ(data, std::vector<std::uint8_t>(50, 0xEE));

    std::array<std::uint8_t, kDeclarationSize> declaration{};
    sim->failReplies("d", ReplyFault::Damaged, 1);
    EXPECT_FALSE(link->queryDeclaration(declaration));
}

TEST_F(QueryTest, NavpointsAreQueriedEchoed) {
    connectUpload(true);
    int size = 0;
    ASSERT_EQ(link->queryNavpointCount(&size), 4);
    ASSERT_EQ(size, 38);
    std::vector<std::uint8_t> record(38);
    ASSERT_TRUE(link->queryNavpoint(3, record));
    EXPECT_TRUE(std::equal(record.begin(), record.end(), sim->state().navpoints[3].begin()));
    EXPECT_EQ(sim->received().find("c 3\r") != std::string::npos, true);

    sim->failReplies("c 2", ReplyFault::Damaged, 1);
    EXPECT_FALSE(link->queryNavpoint(2, record));
    sim->failReplies("c", ReplyFault::Damaged, 1);
    EXPECT_EQ(link->queryNavpointCount(&size), -1);
}

TEST_F(QueryTest, DirectoryBlocks) {
    connectUpload();
    std::array<std::uint8_t, kDirectoryBlockSize> block{};
    ASSERT_TRUE(link->readDirectoryBlock(0, block));
    EXPECT_EQ(block[0], 3);
    EXPECT_EQ(linesEqual("b 196"), 1);

    sim->failReplies("b 197", ReplyFault::Damaged, 2);
    EXPECT_TRUE(link->readDirectoryBlock(1, block));
    EXPECT_EQ(linesEqual("b 197"), 3);
    sim->failReplies("b 197", ReplyFault::Short, 3);
    EXPECT_FALSE(link->readDirectoryBlock(1, block));

    // A sound frame whose length field is not 300 is no directory block.
    sim->clearHistory();
    sim->rewriteReplies(
        "b 196",
        [](std::vector<std::uint8_t>& f) {
            f[1] = 43;  // 299
            resumLongFrame(f);
        },
        -1);
    EXPECT_FALSE(link->readDirectoryBlock(0, block));
    EXPECT_EQ(linesEqual("b 196"), 3);
}

TEST_F(QueryTest, LogRequests) {
    connectUpload(true);
    const auto state = sim->state();
    int blockSize = 0;
    int blockCount = 0;
    ASSERT_TRUE(link->requestIgcLog(1, blockSize, blockCount));
    EXPECT_EQ(blockSize, state.blockSize);
    EXPECT_EQ(blockCount, static_cast<int>((state.logs[1].igc.size() + blockSize - 1) / blockSize));
    EXPECT_EQ(link->port().readTimeout(), 5000);
    link->setReadTimeout(200);

    int total = 0;
    std::uint8_t a = 0;
    std::uint8_t b = 0;
    ASSERT_TRUE(link->requestBinaryLog(0, blockSize, blockCount, &total, &a, &b));
    EXPECT_EQ(total, static_cast<int>(state.logs[0].binary.size()));
    EXPECT_EQ(blockCount, total / blockSize + 1);
    EXPECT_EQ(a, state.logs[0].binaryHeaderA);
    EXPECT_EQ(b, state.logs[0].binaryHeaderB);
    EXPECT_NE(sim->received().find("b 256\r"), std::string::npos);

    link->setReadTimeout(200);
    sim->failReplies("b 65", ReplyFault::Refuse, 1);
    EXPECT_FALSE(link->requestIgcLog(1, blockSize, blockCount));

    link->setReadTimeout(200);
    link->requestBinaryLog(1024, blockSize, blockCount);
    EXPECT_NE(sim->received().find("b 0\r"), std::string::npos);

    // A block size of 0 would divide by zero and read nothing: the request fails.
    auto noBlockSize = [](std::vector<std::uint8_t>& f) {
        f[6] = f[7] = 0;
        resumLongFrame(f);
    };
    sim->rewriteReplies("b 65", noBlockSize, 1);
    sim->rewriteReplies("b 257", noBlockSize, 1);
    link->setReadTimeout(200);
    EXPECT_FALSE(link->requestIgcLog(1, blockSize, blockCount));
    link->setReadTimeout(200);
    EXPECT_FALSE(link->requestBinaryLog(1, blockSize, blockCount));
}

TEST_F(QueryTest, LogIsReadBlockByBlockToItsEnd) {
    connectUpload(true);
    int blockSize = 0;
    int blockCount = 0;
    ASSERT_TRUE(link->requestIgcLog(0, blockSize, blockCount));
    std::string log;
    std::vector<std::uint8_t> block(static_cast<std::size_t>(blockSize));
    int shortRetries = -1;
    int badRetries = -1;
    for (int i = 0; i < blockCount; ++i) {
        const int n = link->readBlock('N', blockSize, block, shortRetries, badRetries);
        ASSERT_GT(n, 0);
        log.append(block.begin(), block.begin() + n);
        EXPECT_EQ(shortRetries + badRetries, 0);
    }
    EXPECT_EQ(log, sim->state().logs[0].igc);
}

TEST_F(QueryTest, DamagedBlockIsAskedForAgainAndSilentOneRepeated) {
    connectUpload(true);
    int blockSize = 0;
    int blockCount = 0;
    ASSERT_TRUE(link->requestIgcLog(0, blockSize, blockCount));
    ASSERT_GE(blockCount, 3);
    link->setReadTimeout(100);
    const std::string igc = sim->state().logs[0].igc;
    std::vector<std::uint8_t> block(static_cast<std::size_t>(blockSize));
    int shortRetries = 0;
    int badRetries = 0;

    sim->clearHistory();
    sim->failReplies("b N", ReplyFault::Damaged, 1);
    sim->failReplies("b R", ReplyFault::Damaged, 1);
    int n = link->readBlock('N', blockSize, block, shortRetries, badRetries);
    ASSERT_EQ(n, blockSize);
    EXPECT_EQ(std::string(block.begin(), block.end()), igc.substr(0, blockSize));
    EXPECT_EQ(badRetries, 2);
    EXPECT_EQ(shortRetries, 0);
    EXPECT_EQ(sim->lines(), (std::vector<std::string>{"b N", "upl 0", "b R", "upl 0", "b R"}));

    sim->clearHistory();
    sim->failReplies("b N", ReplyFault::Short, 1);
    n = link->readBlock('N', blockSize, block, shortRetries, badRetries);
    ASSERT_EQ(n, blockSize);
    EXPECT_EQ(std::string(block.begin(), block.end()), igc.substr(blockSize, blockSize));
    EXPECT_EQ(shortRetries, 1);
    EXPECT_EQ(badRetries, 0);
    EXPECT_EQ(sim->lines(), (std::vector<std::string>{"b N", "upl 0", "b N"}));

    sim->failReplies("b N", ReplyFault::Silent, -1);
    EXPECT_EQ(link->readBlock('N', blockSize, block, shortRetries, badRetries), -1);
    EXPECT_EQ(shortRetries, 6);
}

TEST_F(QueryTest, BlockLengthBeyondTheDestinationIsRejected) {
    connectUpload(true);
    int blockSize = 0;
    int blockCount = 0;
    ASSERT_TRUE(link->requestIgcLog(0, blockSize, blockCount));
    link->setReadTimeout(100);
    std::vector<std::uint8_t> small(10, 0xEE);
    int shortRetries = 0;
    int badRetries = 0;
    EXPECT_EQ(link->readBlock('N', blockSize, small, shortRetries, badRetries), -1);
    EXPECT_EQ(badRetries, 6);
    EXPECT_EQ(small, std::vector<std::uint8_t>(10, 0xEE));

    // A length beyond what arrived is refused however large the destination.
    auto overlong = [](std::vector<std::uint8_t>& f) {
        f[5] = 0x7F;
        resumLongFrame(f);
    };
    sim->rewriteReplies("b R", overlong, -1);
    std::vector<std::uint8_t> large(0x8000);
    EXPECT_EQ(link->readBlock('R', blockSize, large, shortRetries, badRetries), -1);
    EXPECT_EQ(badRetries, 6);
}

TEST_F(QueryTest, SecurityRecordIsTriedAgainAfterAFailure) {
    connectUpload(true);
    link->setReadTimeout(200);
    std::vector<std::uint8_t> record(256);
    sim->failReplies("b s", ReplyFault::Damaged, 1);
    const int n = link->readSecurityRecord(record);
    const auto expected = sim->state().logs[0].security;
    ASSERT_EQ(n, static_cast<int>(expected.size()));
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), record.begin()));
    EXPECT_EQ(linesEqual("b s"), 2);
}

TEST_F(QueryTest, SecurityRecordFailureSendsEscapeAndGivesUp) {
    connectUpload(true);
    link->setReadTimeout(100);
    std::vector<std::uint8_t> record(256, 0xEE);
    sim->failReplies("b s", ReplyFault::Silent, -1);
    EXPECT_EQ(link->readSecurityRecord(record), -1);
    EXPECT_EQ(linesEqual("b s"), 3);
    EXPECT_EQ(record, std::vector<std::uint8_t>(256, 0xEE));
    // The last escape is followed by nothing that could discard it.
    EXPECT_TRUE(waitFor([&] {
        const std::string wire = sim->received();
        return !wire.empty() && wire.back() == '\x1B';
    }));
}

}  // namespace
}  // namespace vantor::test
