#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>

#include "SimFixture.h"
#include "navpoints/NavpointTransfer.h"

namespace vantor::test {
namespace {

using sim::ReplyFault;
using Shown = std::vector<std::pair<std::string, std::string>>;

class Statuses : public NavpointTransferObserver {
public:
    void setStatus(const std::string& text) override {
        seen.push_back(text);
        if (onStatus) onStatus(text);
    }
    void navpointsReceived() override { ++received; }
    std::function<void(const std::string&)> onStatus;
    std::vector<std::string> seen;
    int received = 0;
};

const std::string kEndLine = "c,-1,~" + std::to_string('c' + ',' + '-' + '1');

std::string withSum(const std::string& text) {
    unsigned sum = 0;
    for (char c : text) sum += static_cast<unsigned char>(c);
    return text + ",~" + std::to_string(sum);
}

Navpoint makeNavpoint(int i) {
    Navpoint p;
    p.number = static_cast<std::uint16_t>(i + 1);
    p.latitude = kEquator + 46 * kUnitsPerDegree + static_cast<std::uint32_t>(i) * 37;
    p.longitude = kPrimeMeridian - 7 * kUnitsPerDegree - static_cast<std::uint32_t>(i) * 53;
    p.altitude = static_cast<std::int16_t>(i % 2 ? -i : i * 3);
    p.attributes = static_cast<std::uint16_t>(i % 3 ? 0x603 : 0x040);
    std::string name = "WP" + std::to_string(i);
    name.resize(12, ' ');  // as read from a file
    p.setName(name);
    p.setComment("NOTE " + std::to_string(i));
    return p;
}

void expectSame(const Navpoint& got, const Navpoint& want) {
    EXPECT_EQ(got.latitude, want.latitude);
    EXPECT_EQ(got.longitude, want.longitude);
    EXPECT_EQ(got.altitude, want.altitude);
    EXPECT_EQ(got.number, want.number);
    EXPECT_EQ(got.attributes, want.attributes);
    EXPECT_EQ(got.nameText(), want.nameText());
    EXPECT_EQ(got.commentText(), want.commentText());
}

class NavpointTransferTest : public SimFixture {
protected:
    void SetUp() override {
        sim::SimulatorOptions options;
        options.navpoints = 40;
        startSim(options);
        table = std::make_unique<NavpointTable>();
    }
    bool download(const std::string& port = {}) {
        NavpointTransfer t(*link, prompts, statuses);
        return t.download(port.empty() ? device() : port, *table);
    }
    bool upload(const std::string& port = {}) {
        NavpointTransfer t(*link, prompts, statuses);
        return t.upload(port.empty() ? device() : port, *table);
    }
    void fill(int count) {
        table->count = count;
        for (int i = 0; i < count; ++i)
            table->entries[static_cast<std::size_t>(i)] = makeNavpoint(i);
    }
    Shown shown() const {
        Shown out;
        for (const auto& m : prompts.messages) out.emplace_back(m.text, m.caption);
        return out;
    }
    Navpoint simNavpoint(std::size_t i) const {
        return decodeNavpointRecord(sim->state().navpoints.at(i));
    }

    std::unique_ptr<NavpointTable> table;
    Statuses statuses;
};

TEST_F(NavpointTransferTest, DownloadReplacesTheTable) {
    table->count = 3000;
    ASSERT_TRUE(download());
    ASSERT_EQ(table->count, 40);
    for (std::size_t i = 0; i < 40; ++i) expectSame(table->entries[i], simNavpoint(i));
    EXPECT_EQ(table->entries[4].attributes, 0x209);  // the instrument's W survives
    EXPECT_EQ(statuses.received, 1);
    EXPECT_EQ(statuses.seen.front(), "Getting Waypoints");
    EXPECT_EQ(statuses.seen.end()[-3], "40 of 40 Received");
    EXPECT_EQ(statuses.seen.end()[-2], "Finishing...");
    EXPECT_EQ(statuses.seen.back(), "Success");
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(sim->rate(), 4800);
    EXPECT_FALSE(link->isOpen());
    EXPECT_EQ(linesEqual("upl 0"), 1);
}

TEST_F(NavpointTransferTest, DownloadOfNoNavpointsSucceedsEmpty) {
    startSim({});
    fill(5);
    ASSERT_TRUE(download());
    EXPECT_EQ(table->count, 0);
    EXPECT_EQ(statuses.received, 1);
    EXPECT_EQ(statuses.seen.back(), "Success");
}

TEST_F(NavpointTransferTest, UploadSendsTheFirst1500ThenTheEnd) {
    fill(1600);
    ASSERT_TRUE(upload());
    const auto state = sim->state();
    ASSERT_EQ(state.navpoints.size(), 1500u);
    for (std::size_t i : {0u, 1u, 2u, 777u, 1499u}) {
        expectSame(simNavpoint(i), table->entries[i]);
    }
    // The end follows the last navpoint sent.
    const auto lines = sim->lines();
    const auto end = std::find(lines.begin(), lines.end(), kEndLine);
    ASSERT_NE(end, lines.end());
    ASSERT_NE(end, lines.begin());
    EXPECT_EQ(end[-1].rfind("c,1499,", 0), 0u);
    EXPECT_EQ(linesEqual("cle poi"), 1);
    EXPECT_EQ(linesEqual("upl 1"), 1);
    EXPECT_EQ(linesEqual("dow 1"), 1);
    // Names go as stored, trailing blanks and all.
    EXPECT_EQ(linesEqual(withSum("c,0,4600.0000N,00700.0000W,0,1,64,WP0         ,NOTE 0")), 1);
    EXPECT_EQ(statuses.seen.front(), "Loading Waypoints");
    EXPECT_EQ(statuses.seen.end()[-3], "1500 of 1600 Loaded...");
    EXPECT_EQ(statuses.seen.back(), "Success");
    EXPECT_EQ(sim->rate(), 4800);
    EXPECT_FALSE(link->isOpen());
}

TEST_F(NavpointTransferTest, EmptyTableStillClearsTheInstrument) {
    ASSERT_TRUE(upload());
    EXPECT_TRUE(sim->state().navpoints.empty());
    EXPECT_EQ(linesEqual("cle poi"), 1);
    EXPECT_EQ(statuses.seen.back(), "Success");
}

TEST_F(NavpointTransferTest, UploadNeedsVersion24OrLater) {
    struct Case {
        char major;
        char minor;
        bool accepted;
    } cases[] = {
        {'2', '3', false}, {'1', '9', false}, {'2', '4', true}, {'2', '9', true}, {'3', '0', true}};
    fill(2);
    for (const auto& c : cases) {
        SCOPED_TRACE((std::string{c.major, '.', c.minor}));
        sim::SimulatorOptions options;
        options.version = {c.major, c.minor};
        startSim(options);
        prompts.messages.clear();
        EXPECT_EQ(upload(), c.accepted);
        if (c.accepted) {
            EXPECT_TRUE(prompts.messages.empty());
            EXPECT_EQ(sim->state().navpoints.size(), 2u);
        } else {
            EXPECT_EQ(shown(), (Shown{{"Vantor 2 Version too old!!!", "Error"}}));
            EXPECT_EQ(linesEqual("cle poi"), 0);
            EXPECT_EQ(sim->rate(), 4800);  // switched back all the same
        }
    }
}

TEST_F(NavpointTransferTest, RecordNeverAcknowledgedNamesTheNavpoint) {
    fill(3);
    sim->withholdAcks(9);  // three sends of three tries each
    EXPECT_FALSE(upload());
    EXPECT_EQ(shown(), (Shown{{"WP0         ", "Waypoint Transfer Failure"}}));
    EXPECT_EQ(statuses.seen.back(), "Failure");
    EXPECT_EQ(sim->rate(), 4800);
    // Three sends of three tries each, then nothing more.
    EXPECT_EQ(linesEqual(withSum("c,0,4600.0000N,00700.0000W,0,1,64,WP0         ,NOTE 0")), 9);
    EXPECT_EQ(linesEqual(kEndLine), 0);
}

struct FailureCase {
    const char* name;
    bool download;
    std::function<void(sim::Simulator&)> arrange;
    const char* message;
    int rateAfter;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class TransferFailure : public NavpointTransferTest,
                        public ::testing::WithParamInterface<FailureCase> {};

TEST_P(TransferFailure, ShowsItsMessageAndFinishes) {
    const FailureCase& c = GetParam();
    fill(4);
    c.arrange(*sim);
    EXPECT_FALSE(c.download ? download() : upload());
    EXPECT_EQ(shown(), (Shown{{c.message, "Error"}}));
    EXPECT_EQ(statuses.seen.end()[-2], "Finishing...");
    EXPECT_EQ(statuses.seen.back(), "Failure");
    EXPECT_EQ(statuses.received, 0);
    EXPECT_EQ(table->count, 4);  // a failed download changes nothing
    EXPECT_EQ(sim->rate(), c.rateAfter);
    EXPECT_FALSE(link->isOpen());
}

// The switch's check at the new rate takes two syncs before the transfer's own.
INSTANTIATE_TEST_SUITE_P(
    Rows, TransferFailure,
    ::testing::Values(
        FailureCase{"DownloadSilent", true, [](sim::Simulator& s) { s.setSilent(true); },
                    "Failed to connect.", 4800},
        FailureCase{"DownloadNoAnswerAt57600", true,
                    [](sim::Simulator& s) {
                        s.failRepliesAfterCommand("bau 10", "sync", ReplyFault::Silent, 3, 2);
                    },
                    "Failed to connect.", 4800},
        FailureCase{"DownloadNoAnswerAfterTheTimeOut", true,
                    [](sim::Simulator& s) {
                        s.failRepliesAfterCommand("bau 10", "sync", ReplyFault::Silent, 3, 3);
                    },
                    "Failed to connect.", 4800},
        FailureCase{"DownloadUploadModeRefused", true,
                    [](sim::Simulator& s) { s.failReplies("upl 0", ReplyFault::Silent, -1); },
                    "Could not upload.", 4800},
        FailureCase{"DownloadNoCount", true,
                    [](sim::Simulator& s) { s.failReplies("c", ReplyFault::Damaged, 3); },
                    "No points found.", 4800},
        // Records of another size are no navpoints this program can read.
        FailureCase{"DownloadOtherRecordSize", true,
                    [](sim::Simulator& s) {
                        s.rewriteReplies(
                            "c",
                            [](std::vector<std::uint8_t>& r) {
                                r.at(5) ^= 38 ^ 40;  // the record size
                                r.at(2) ^= 38 ^ 40;  // the frame's check
                            },
                            -1);
                    },
                    "No points found.", 4800},
        FailureCase{"DownloadRecordNeverArrives", true,
                    [](sim::Simulator& s) { s.failReplies("c 3", ReplyFault::Damaged, -1); },
                    "Transfer Error.", 4800},
        FailureCase{"UploadNoAnswerAt19200", false,
                    [](sim::Simulator& s) {
                        s.failRepliesAfterCommand("bau 8", "sync", ReplyFault::Silent, 3, 2);
                    },
                    "Failed to connect..", 4800},
        FailureCase{"UploadModeRefused", false,
                    [](sim::Simulator& s) { s.failReplies("upl 1", ReplyFault::Silent, -1); },
                    "Communication Failure.", 4800},
        // Without an identity there is no version to judge.
        FailureCase{"UploadNoIdentity", false,
                    [](sim::Simulator& s) { s.failReplies("w", ReplyFault::Damaged, -1); },
                    "Communication Failure.", 4800},
        FailureCase{"UploadNoAnswerAfterTheVersion", false,
                    [](sim::Simulator& s) {
                        s.failRepliesAfterCommand("w", "sync", ReplyFault::Silent, 3);
                    },
                    "Failed to connect.", 4800},
        FailureCase{"UploadDownloadModeRefused", false,
                    [](sim::Simulator& s) { s.failReplies("dow 1", ReplyFault::Silent, -1); },
                    "Failed to clear waypoints.", 4800}),
    [](const ::testing::TestParamInfo<FailureCase>& row) { return std::string(row.param.name); });

TEST_F(NavpointTransferTest, PortThatCannotBeOpened) {
    EXPECT_FALSE(download("/nonexistent/tty"));
    EXPECT_EQ(shown(), (Shown{{noDeviceText("/nonexistent/tty"), "Error"}}));
    EXPECT_EQ(statuses.seen,
              (std::vector<std::string>{"Getting Waypoints", "Finishing...", "Failure"}));
    // The upload has no finishing step for it.
    prompts.messages.clear();
    statuses.seen.clear();
    EXPECT_FALSE(upload("/nonexistent/tty"));
    EXPECT_EQ(shown(), (Shown{{noDeviceText("/nonexistent/tty"), "Error"}}));
    EXPECT_TRUE(statuses.seen.empty());
#ifndef _WIN32  // Wine does not refuse a second opening
    // A port that another program holds keeps the message it always had.
    InstrumentLink holder(prompts);
    ASSERT_TRUE(holder.open(device(), 4800, 10));
    prompts.messages.clear();
    EXPECT_FALSE(upload(device()));
    EXPECT_EQ(shown(), (Shown{{"Can't open ComPort", "Error"}}));
#endif
}

// An instrument may announce more than the table holds; the table takes its
// size and no more is asked for.
TEST_F(NavpointTransferTest, DownloadStopsWhenTheTableIsFull) {
    startSim({});
    const auto record = sim::initialState([] {
                            sim::SimulatorOptions o;
                            o.navpoints = 1;
                            return o;
                        }())
                            .navpoints[0];
    sim->rewriteReplies(
        "c",
        [](std::vector<std::uint8_t>& r) {
            const int before = r.at(3) ^ r.at(4);
            r.at(3) = 6001 >> 8;
            r.at(4) = 6001 & 0xFF;
            r.at(2) = static_cast<std::uint8_t>(r[2] ^ before ^ r[3] ^ r[4]);
        },
        -1);
    // Every record the simulator does not hold is served as that one.
    for (int i = 0; i <= 6000; ++i) {
        sim->rewriteReplies(
            "c " + std::to_string(i),
            [record](std::vector<std::uint8_t>& r) {
                const std::uint8_t commandCheck = r.at(1);
                r.assign(9 + record.size(), 0);  // as long as the program reads
                r[0] = static_cast<std::uint8_t>(3 + record.size());
                r[1] = commandCheck;
                for (std::size_t k = 0; k < record.size(); ++k) {
                    r[3 + k] = record[k];
                    r[2] = static_cast<std::uint8_t>(r[2] ^ record[k]);
                }
            },
            1);
    }
    ASSERT_TRUE(download());
    EXPECT_EQ(table->count, 6000);
    EXPECT_EQ(linesEqual("c 5999"), 1);
    EXPECT_EQ(linesEqual("c 6000"), 0);
    EXPECT_EQ(statuses.seen.end()[-3], "6000 of 6001 Received");
}

// A download that fails part way leaves the pilot's table exactly as it was:
// nothing partial can then be saved to a file or sent back.
TEST_F(NavpointTransferTest, FailedDownloadKeepsThePilotsTable) {
    fill(5);
    sim->failReplies("c 3", ReplyFault::Silent, -1);
    EXPECT_FALSE(download());
    ASSERT_EQ(table->count, 5);
    for (int i = 0; i < 5; ++i)
        expectSame(table->entries[static_cast<std::size_t>(i)], makeNavpoint(i));
}

// A stop between navpoints: a download keeps the table, an upload ends the
// instrument's list after what was sent; the instrument is back at 4800.
TEST_F(NavpointTransferTest, CancelStopsBetweenNavpoints) {
    std::atomic<bool> cancel{false};
    statuses.onStatus = [&](const std::string& text) {
        if (text.rfind("2 of ", 0) == 0) cancel = true;
    };
    fill(5);
    {
        NavpointTransfer t(*link, prompts, statuses);
        t.setCancelFlag(&cancel);
        EXPECT_FALSE(t.download(device(), *table));
        EXPECT_TRUE(t.wasCancelled());
    }
    EXPECT_EQ(table->count, 5);
    expectSame(table->entries[0], makeNavpoint(0));
    EXPECT_EQ(linesEqual("c 2"), 0);
    EXPECT_EQ(sim->rate(), 4800);

    cancel = false;
    sim->clearHistory();
    {
        NavpointTransfer t(*link, prompts, statuses);
        t.setCancelFlag(&cancel);
        EXPECT_FALSE(t.upload(device(), *table));
        EXPECT_TRUE(t.wasCancelled());
    }
    EXPECT_EQ(sim->state().navpoints.size(), 2u);
    EXPECT_EQ(linesEqual(kEndLine), 1);
    EXPECT_EQ(statuses.seen.back(), "Transfer Cancelled");
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(sim->rate(), 4800);
    EXPECT_FALSE(link->isOpen());
}

}  // namespace
}  // namespace vantor::test
