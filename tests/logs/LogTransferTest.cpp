#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "SimFixture.h"
#include "logs/LogTransfer.h"
#include "security/LogVerifier.h"

namespace vantor::test {
namespace {

namespace fs = std::filesystem;
using sim::ReplyFault;

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class Statuses : public LogTransferObserver {
public:
    void setStatus(const std::string& text) override { seen.push_back(text); }
    void setProgress(long long done, long long total) override {
        progress.emplace_back(done, total);
        if (onProgress) onProgress(done);
    }
    void startLog(int number, int count, const LogTransferRequest&) override {
        started.emplace_back(number, count);
    }
    std::vector<std::string> seen;
    std::vector<std::pair<long long, long long>> progress;
    std::vector<std::pair<int, int>> started;
    std::function<void(long long)> onProgress;
};

class LogTransferTest : public SimFixture {
protected:
    void SetUp() override {
        sim::SimulatorOptions options;
        options.logs = 2;
        startSim(options);
        dir = fs::temp_directory_path() /
              ("vantor-logs-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    bool transfer(int log, bool binary, const std::string& port = {}) {
        return transferOutcome(log, binary, port) == TransferOutcome::Saved;
    }
    TransferOutcome transferOutcome(int log, bool binary, const std::string& port = {}) {
        request = {log, binary, (dir / "57ETA1B1.IGC").string()};
        LogTransfer t(*link, prompts, statuses);
        t.setCancelFlag(&cancel);
        if (!t.prepare(request)) return TransferOutcome::Failed;
        return t.run(request, port.empty() ? device() : port,
                     [](const std::string& path) { return "checked " + path; });
    }
    LogBatchResult batch(const std::vector<int>& logs) {
        std::vector<LogTransferRequest> requests;
        for (int n : logs) {
            requests.push_back({n, false, (dir / ("log" + std::to_string(n))).string()});
        }
        LogTransfer t(*link, prompts, statuses);
        t.setCancelFlag(&cancel);
        return t.runBatch(requests, device(),
                          [](const std::string& path) { return "checked " + path; });
    }
    std::string igcOf(std::size_t n) const {
        const auto log = sim->state().logs[n];
        return log.igc + std::string(log.security.begin(), log.security.end());
    }
    std::vector<std::pair<std::string, std::string>> shown() const {
        std::vector<std::pair<std::string, std::string>> out;
        for (const auto& m : prompts.messages) out.emplace_back(m.text, m.caption);
        return out;
    }
    // The download never leaves a half file, and a failure keeps what was there.
    void expectNoNewFile(const std::string& before) {
        EXPECT_FALSE(fs::exists(LogTransfer::partPath(request.path)));
        if (before.empty()) {
            EXPECT_FALSE(fs::exists(request.path));
        } else {
            EXPECT_EQ(readFile(request.path), before);
        }
    }

    fs::path dir;
    LogTransferRequest request;
    Statuses statuses;
    std::atomic<bool> cancel{false};
};

TEST_F(LogTransferTest, IgcLogArrivesWholeAndIsChecked) {
    ASSERT_TRUE(transfer(1, false));
    const auto state = sim->state();
    const auto& log = state.logs[1];
    EXPECT_EQ(readFile(request.path),
              log.igc + std::string(log.security.begin(), log.security.end()));
    // The box names the file; a result that is not fully OK carries the warning icon.
    EXPECT_EQ(shown(), (std::vector<std::pair<std::string, std::string>>{
                           {"checked " + request.path + "\n" + request.path, "Verification"}}));
    EXPECT_EQ(prompts.messages[0].icon, Icon::Warning);
    EXPECT_EQ(statuses.seen.front(), "Attempting to Transfer");
    EXPECT_EQ(statuses.seen.back(), "Transfer Complete");
    EXPECT_EQ(statuses.seen[statuses.seen.size() - 2], "Finishing...");
    EXPECT_NE(
        std::find(statuses.seen.begin(), statuses.seen.end(),
                  "0 of " +
                      std::to_string((log.igc.size() + state.blockSize - 1) / state.blockSize) +
                      " Blocks Transferred (0 0)"),
        statuses.seen.end());
    EXPECT_EQ(sim->rate(), 4800);
    EXPECT_FALSE(link->isOpen());
}

// Only a log that is whole, signed and free of a reported violation is fully OK.
TEST(Verification, FullyOkOnlyWhenEveryCheckPasses) {
    using namespace security;
    const std::uint32_t good = SIG_VALID | LOG_CRC_OK | SIG_CRC_OK;
    const struct {
        std::uint32_t result;
        bool ok;
    } cases[] = {{good, true},
                 {good & ~SIG_VALID, false},
                 {good & ~LOG_CRC_OK, false},
                 {good & ~SIG_CRC_OK, false},
                 {good | VIOLATION, false},
                 {OLD_FILE | SIG_VALID, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.result);
        EXPECT_EQ(verificationIsFullyOk(formatVerificationResult(c.result)), c.ok);
    }
    EXPECT_FALSE(verificationIsFullyOk(""));
}

TEST_F(LogTransferTest, BinaryLogHasItsHeader) {
    ASSERT_TRUE(transfer(0, true));
    const auto log = sim->state().logs[0];
    const std::string header = "TVKBINARYFILE:" + std::to_string(log.binary.size()) + "," +
                               std::to_string(log.binaryHeaderA) + "," +
                               std::to_string(log.binaryHeaderB) + ",128;";
    EXPECT_EQ(readFile(request.path), header + std::string(128, '\0') +
                                          std::string(log.binary.begin(), log.binary.end()) +
                                          std::string(log.security.begin(), log.security.end()));
    EXPECT_EQ(shown(), (std::vector<std::pair<std::string, std::string>>{
                           {"Did not try to verify binary file", "Verification"}}));
}

TEST_F(LogTransferTest, DamagedBlockIsRecoveredAndCounted) {
    sim->failReplies("b N", ReplyFault::Damaged, 1, 1);
    ASSERT_TRUE(transfer(0, false));
    const auto log = sim->state().logs[0];
    EXPECT_EQ(readFile(request.path),
              log.igc + std::string(log.security.begin(), log.security.end()));
    EXPECT_NE(std::find_if(statuses.seen.begin(), statuses.seen.end(),
                           [](const std::string& s) {
                               return s.rfind("1 of ", 0) == 0 && s.find("(0 1)") != s.npos;
                           }),
              statuses.seen.end());
}

// The bar moves by blocks for an IGC log and by bytes for a binary one, and
// ends full.
TEST_F(LogTransferTest, ProgressAdvancesToItsEnd) {
    for (const bool binary : {false, true}) {
        statuses.progress.clear();
        ASSERT_TRUE(transfer(1, binary));
        const auto log = sim->state().logs[1];
        const long long total = binary ? static_cast<long long>(log.binary.size())
                                       : static_cast<long long>((log.igc.size() + 255) / 256);
        ASSERT_GE(statuses.progress.size(), 3u);
        EXPECT_EQ(statuses.progress.front(), std::make_pair(0LL, total));
        EXPECT_EQ(statuses.progress.back(), std::make_pair(total, total));
        EXPECT_TRUE(std::is_sorted(statuses.progress.begin(), statuses.progress.end()));
    }
}

// A cancel stops at the next block: nothing further is asked for, the line is
// brought back, no part file is left and an earlier file stays as it was.
TEST_F(LogTransferTest, CancelStopsAtTheNextBlockAndKeepsTheEarlierFile) {
    std::ofstream(dir / "57ETA1B1.IGC", std::ios::binary) << "an earlier download\n";
    statuses.onProgress = [this](long long done) {
        if (done == 2) cancel = true;
    };
    EXPECT_EQ(transferOutcome(1, false), TransferOutcome::Cancelled);
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(statuses.seen.back(), "Transfer Cancelled");
    EXPECT_EQ(linesEqual("b N"), 2);
    EXPECT_EQ(linesEqual("b s"), 0);
    expectNoNewFile("an earlier download\n");
    EXPECT_EQ(sim->rate(), 4800);
    EXPECT_FALSE(link->isOpen());
}

// Several logs share one connection: one switch to 57600 and one back, a
// failed log passed over, the rest saved and checked.
TEST_F(LogTransferTest, SeveralLogsInOneConnection) {
    sim->failReplies("b 64", ReplyFault::Refuse, 1);
    const LogBatchResult result = batch({0, 1});
    ASSERT_EQ(result.items.size(), 2u);
    EXPECT_TRUE(result.connected);
    EXPECT_FALSE(result.cancelled);
    EXPECT_EQ(result.items[0].outcome, TransferOutcome::Failed);
    EXPECT_EQ(result.items[0].problem, "Could not initiate transfer. (A)");
    EXPECT_FALSE(fs::exists(dir / "log0"));
    EXPECT_FALSE(fs::exists(LogTransfer::partPath((dir / "log0").string())));
    EXPECT_EQ(result.items[1].outcome, TransferOutcome::Saved);
    EXPECT_EQ(readFile(dir / "log1"), igcOf(1));
    EXPECT_EQ(result.items[1].verification, "checked " + (dir / "log1").string());
    EXPECT_EQ(result.savedCount(), 1);
    EXPECT_EQ(result.failedCount(), 1);
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(linesEqual("bau 10"), 1);
    EXPECT_EQ(linesEqual("bau 6"), 1);
    EXPECT_EQ(statuses.started, (std::vector<std::pair<int, int>>{{1, 2}, {2, 2}}));
    EXPECT_EQ(statuses.seen.back(), "Transfer Failed");
    EXPECT_EQ(sim->rate(), 4800);
    EXPECT_FALSE(link->isOpen());
}

TEST_F(LogTransferTest, CancelledBatchKeepsWhatWasSaved) {
    statuses.onProgress = [this](long long done) {
        if (done == 1 && statuses.started.size() == 2) cancel = true;
    };
    const LogBatchResult result = batch({0, 1});
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.items[0].outcome, TransferOutcome::Saved);
    EXPECT_EQ(readFile(dir / "log0"), igcOf(0));
    EXPECT_EQ(result.items[1].outcome, TransferOutcome::Cancelled);
    EXPECT_FALSE(fs::exists(dir / "log1"));
    EXPECT_FALSE(fs::exists(LogTransfer::partPath((dir / "log1").string())));
    EXPECT_EQ(statuses.seen.back(), "Transfer Cancelled");
    EXPECT_EQ(sim->rate(), 4800);
}

// An instrument that stops answering in the middle is not asked for the rest.
TEST_F(LogTransferTest, BatchGivesUpWhenTheLineIsGone) {
    sim->failRepliesAfterCommand("b 64", "b N", ReplyFault::Damaged, -1);
    sim->failRepliesAfterCommand("b 64", "b R", ReplyFault::Damaged, -1);
    sim->failRepliesAfterCommand("b 64", "sync", ReplyFault::Silent, -1);
    const LogBatchResult result = batch({0, 1});
    EXPECT_EQ(result.items[0].outcome, TransferOutcome::Failed);
    EXPECT_EQ(result.items[1].outcome, TransferOutcome::Failed);
    EXPECT_EQ(result.items[1].problem, "The instrument stopped answering.");
    EXPECT_EQ(linesEqual("b 65"), 0);
    EXPECT_FALSE(link->isOpen());
}

TEST_F(LogTransferTest, InstrumentFoundAt19200IsSetBackThere) {
    sim->setRate(19200);
    ASSERT_TRUE(transfer(0, false));
    EXPECT_EQ(sim->rate(), 19200);
}

struct FailureCase {
    const char* name;
    std::function<void(sim::Simulator&)> arrange;
    bool binary;
    const char* first;     // the first message
    int rateAfter;         // where the instrument is left
    bool fileBefore;       // a file of that name was there already
    int startRate = 4800;  // where the instrument is found
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class TransferFailure : public LogTransferTest,
                        public ::testing::WithParamInterface<FailureCase> {};

TEST_P(TransferFailure, ShowsItsMessagesAndLosesNoFile) {
    const FailureCase& c = GetParam();
    const std::string before = c.fileBefore ? "an earlier download\n" : "";
    if (c.fileBefore) std::ofstream(dir / "57ETA1B1.IGC", std::ios::binary) << before;
    sim->setRate(c.startRate);
    c.arrange(*sim);
    EXPECT_FALSE(transfer(0, c.binary));
    EXPECT_EQ(shown(), (std::vector<std::pair<std::string, std::string>>{
                           {c.first, "Error"}, {"Transfer Failed.", "Error!"}}));
    EXPECT_EQ(statuses.seen.back(), "Transfer Failed");
    EXPECT_EQ(sim->rate(), c.rateAfter);
    expectNoNewFile(before);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TransferFailure,
    ::testing::Values(
        // The switch's check at 57600 takes two syncs; then the transfer's own.
        FailureCase{"NoAnswerAt57600",
                    [](sim::Simulator& s) {
                        s.failRepliesAfterCommand("bau 10", "sync", ReplyFault::Silent, 3, 2);
                    },
                    false, "Failed to connect.", 4800, false},
        FailureCase{"NoAnswerAfterTheTimeOutChange",
                    [](sim::Simulator& s) {
                        s.failRepliesAfterCommand("bau 10", "sync", ReplyFault::Silent, 3, 3);
                    },
                    false, "Failed to connect.", 4800, true},
        FailureCase{"UploadRefused",
                    [](sim::Simulator& s) { s.failReplies("upl 0", ReplyFault::Silent, -1); },
                    false, "Could not upload.", 4800, false},
        FailureCase{"BinaryRequestRefused",
                    [](sim::Simulator& s) { s.failReplies("b 256", ReplyFault::Refuse, 1); }, true,
                    "Could not initiate transfer.", 4800, true},
        FailureCase{"IgcRequestRefused",
                    [](sim::Simulator& s) { s.failReplies("b 64", ReplyFault::Refuse, 1); }, false,
                    "Could not initiate transfer. (A)", 4800, false},
        FailureCase{"BlockNeverArrives",
                    [](sim::Simulator& s) {
                        s.failReplies("b N", ReplyFault::Damaged, -1);
                        s.failReplies("b R", ReplyFault::Damaged, -1);
                    },
                    false, "Transfer Error (0 6)", 4800, true},
        FailureCase{"NoSecurityRecord",
                    [](sim::Simulator& s) { s.failReplies("b s", ReplyFault::Damaged, -1); }, false,
                    "Transfer error.", 4800, true},
        // Found at 19200, the instrument goes back there whatever went wrong.
        FailureCase{"NoAnswerAt57600From19200",
                    [](sim::Simulator& s) {
                        s.failRepliesAfterCommand("bau 10", "sync", ReplyFault::Silent, 3, 2);
                    },
                    false, "Failed to connect.", 19200, false, 19200},
        FailureCase{"BlockNeverArrivesFrom19200",
                    [](sim::Simulator& s) {
                        s.failReplies("b N", ReplyFault::Damaged, -1);
                        s.failReplies("b R", ReplyFault::Damaged, -1);
                    },
                    false, "Transfer Error (0 6)", 19200, true, 19200},
        FailureCase{"UploadRefusedFrom19200",
                    [](sim::Simulator& s) { s.failReplies("upl 0", ReplyFault::Silent, -1); },
                    false, "Could not upload.", 19200, false, 19200}),
    [](const ::testing::TestParamInfo<FailureCase>& row) { return std::string(row.param.name); });

TEST_F(LogTransferTest, PortThatCannotBeOpenedLeavesNoFile) {
    std::ofstream(dir / "57ETA1B1.IGC") << "kept";
    EXPECT_FALSE(transfer(0, false, "/nonexistent/tty"));
    EXPECT_EQ(shown(), (std::vector<std::pair<std::string, std::string>>{
                           {noDeviceText("/nonexistent/tty"), "Error"}}));
#ifndef _WIN32  // Wine does not refuse a second opening
    prompts.messages.clear();
    // A port that another program holds keeps the message it always had.
    InstrumentLink holder(prompts);
    ASSERT_TRUE(holder.open(device(), 4800, 10));
    EXPECT_FALSE(transfer(0, false, device()));
    EXPECT_EQ(shown(),
              (std::vector<std::pair<std::string, std::string>>{{"Can't open ComPort", "Error"}}));
#endif
    EXPECT_TRUE(statuses.seen.empty());
    expectNoNewFile("kept");
}

// A whole download that cannot take the chosen name (here a folder of that
// name is in the way) is kept as its part file, and the pilot is told where.
TEST_F(LogTransferTest, DownloadThatCannotTakeItsNameIsKept) {
    fs::create_directories(dir / "57ETA1B1.IGC" / "inside");
    EXPECT_FALSE(transfer(1, false));
    const std::string part = LogTransfer::partPath(request.path);
    EXPECT_EQ(shown(), (std::vector<std::pair<std::string, std::string>>{
                           {"The log was downloaded but could not be saved as\n" + request.path +
                                "\nIt is kept as\n" + part,
                            "Error"}}));
    EXPECT_EQ(statuses.seen.back(), "Transfer Failed");
    const auto log = sim->state().logs[1];
    EXPECT_EQ(readFile(part), log.igc + std::string(log.security.begin(), log.security.end()));
    EXPECT_TRUE(fs::is_directory(dir / "57ETA1B1.IGC" / "inside"));
    EXPECT_EQ(sim->rate(), 4800);
}

TEST_F(LogTransferTest, FileThatCannotBeCreatedStartsNothing) {
    request = {0, false, (dir / "no-such-folder" / "x.IGC").string()};
    LogTransfer t(*link, prompts, statuses);
    EXPECT_FALSE(t.prepare(request));
    EXPECT_EQ(shown(), (std::vector<std::pair<std::string, std::string>>{
                           {"Could not open file for writing.", "Error"}}));
}

}  // namespace
}  // namespace vantor::test
