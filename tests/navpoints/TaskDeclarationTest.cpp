#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "SimFixture.h"
#include "navpoints/NavpointTransfer.h"
#include "navpoints/TaskDeclaration.h"

namespace vantor::test {
namespace {

using sim::ReplyFault;
using Shown = std::vector<std::pair<std::string, std::string>>;

std::string withSum(const std::string& text) {
    unsigned sum = 0;
    for (char c : text) sum += static_cast<unsigned char>(c);
    return text + ",~" + std::to_string(sum);
}

class TaskDeclarationTest : public SimFixture {
protected:
    void SetUp() override {
        SimFixture::SetUp();
        table = std::make_unique<NavpointTable>();
        const char* names[] = {"ALPHA", "BRAVO", "CHARLIE", "ALPHA"};
        for (int i = 0; i < 4; ++i) {
            Navpoint& p = table->entries[static_cast<std::size_t>(i)];
            p.number = static_cast<std::uint16_t>(10 + i);
            p.latitude = kEquator + 47 * kUnitsPerDegree + static_cast<std::uint32_t>(i) * 1111;
            p.longitude = kPrimeMeridian + 8 * kUnitsPerDegree + static_cast<std::uint32_t>(i);
            p.altitude = static_cast<std::int16_t>(100 * i - 50);
            p.attributes = 0x003;
            p.setName(names[i]);
            p.setComment("C");
        }
        table->count = 4;
    }
    Shown shown() const {
        Shown out;
        for (const auto& m : prompts.messages) out.emplace_back(m.text, m.caption);
        return out;
    }
    void add(const char* name) { task.add(*table, name, prompts); }

    std::unique_ptr<NavpointTable> table;
    TaskDeclaration task;
};

TEST_F(TaskDeclarationTest, PointsAreAddedByNameAndRemovedByPosition) {
    add("CHARLIE");
    add("ALPHA");  // two entries have this name: the first in the table counts
    add("NOBODY");
    add("BRAVO");
    ASSERT_EQ(task.count, 3);
    EXPECT_EQ(task.points[0].number, 12);
    EXPECT_EQ(task.points[1].number, 10);
    EXPECT_EQ(task.points[2].number, 11);
    // A copy: later changes to the table leave the task alone.
    table->entries[2].setName("CHANGED");
    EXPECT_EQ(task.points[0].nameText(), "CHARLIE");

    EXPECT_FALSE(task.remove(3));
    EXPECT_FALSE(task.remove(-1));
    ASSERT_TRUE(task.remove(0));
    ASSERT_EQ(task.count, 2);
    EXPECT_EQ(task.points[0].number, 10);
    EXPECT_EQ(task.points[1].number, 11);

    while (task.count < kMaxTaskPoints) add("BRAVO");
    EXPECT_TRUE(prompts.messages.empty());
    add("ALPHA");
    EXPECT_EQ(task.count, 15);
    EXPECT_EQ(task.points[14].number, 11);
    EXPECT_EQ(shown(), (Shown{{"To Many Points!", "Error"}}));
}

TEST_F(TaskDeclarationTest, SentTaskIsFetchedBack) {
    add("ALPHA");
    add("BRAVO");
    add("CHARLIE");
    ASSERT_TRUE(task.send(*link, prompts, device()));
    EXPECT_EQ(shown(), (Shown{{"Declaration sent.", "Success"}}));
    EXPECT_EQ(linesEqual(withSum("d,128,4700.0000N,00800.0000E,ALPHA,-50")), 1);
    EXPECT_EQ(linesEqual(withSum("d,129,4700.1111N,00800.0001E,BRAVO,50")), 1);
    EXPECT_EQ(linesEqual(withSum("d,130,4700.2222N,00800.0002E,CHARLIE,150")), 1);
    EXPECT_EQ(sim->lines().end()[-1], withSum("d,255"));
    EXPECT_FALSE(link->isOpen());

    TaskDeclaration back;
    back.points[0].altitude = 999;
    back.points[0].setComment("OLD");
    prompts.messages.clear();
    ASSERT_TRUE(back.fetch(*link, prompts, device()));
    EXPECT_TRUE(prompts.messages.empty());
    ASSERT_EQ(back.count, 3);
    for (int i = 0; i < 3; ++i) {
        const Navpoint& got = back.points[static_cast<std::size_t>(i)];
        const Navpoint& sent = task.points[static_cast<std::size_t>(i)];
        EXPECT_EQ(got.latitude, sent.latitude);
        EXPECT_EQ(got.longitude, sent.longitude);
        EXPECT_EQ(got.nameText(), sent.nameText());
        // The declaration carries nothing else: a fetched point has none of it.
        EXPECT_EQ(got.altitude, 0);
        EXPECT_EQ(got.number, 0);
        EXPECT_EQ(got.attributes, 0);
        EXPECT_EQ(got.commentText(), "");
    }
    EXPECT_FALSE(link->isOpen());
}

TEST_F(TaskDeclarationTest, FailedFetchLeavesTheTask) {
    add("ALPHA");
    sim->failReplies("d", ReplyFault::Damaged, 1);
    EXPECT_FALSE(task.fetch(*link, prompts, device()));
    EXPECT_EQ(shown(), (Shown{{"Can't upload declaration.", "Error"}}));
    ASSERT_EQ(task.count, 1);
    EXPECT_EQ(task.points[0].nameText(), "ALPHA");
    EXPECT_FALSE(link->isOpen());
}

TEST_F(TaskDeclarationTest, FetchTakesAtMost15Points) {
    sim->rewriteReplies(
        "d",
        [](std::vector<std::uint8_t>& r) {
            r.at(5 + 6) = 200;
            resumLongFrame(r);
        },
        1);
    ASSERT_TRUE(task.fetch(*link, prompts, device()));
    EXPECT_EQ(task.count, 15);
}

struct SendFailure {
    const char* name;
    std::function<void(sim::Simulator&)> arrange;
    Shown messages;
};

void PrintTo(const SendFailure& c, std::ostream* os) {
    *os << c.name;
}

class DeclarationSendFailure : public TaskDeclarationTest,
                               public ::testing::WithParamInterface<SendFailure> {};

// Each failed step says so, and the send goes on.
TEST_P(DeclarationSendFailure, ReportsEachStepAndGoesOn) {
    add("ALPHA");
    add("BRAVO");
    GetParam().arrange(*sim);
    EXPECT_FALSE(task.send(*link, prompts, device()));
    EXPECT_EQ(shown(), GetParam().messages);
    // The instrument may still be taking in the last line when the send ends.
    const std::string second = withSum("d,129,4700.1111N,00800.0001E,BRAVO,50");
    EXPECT_TRUE(waitFor([&] { return linesEqual(second) >= 1; }));
    EXPECT_FALSE(link->isOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DeclarationSendFailure,
    ::testing::Values(SendFailure{"DownloadModeRefused",
                                  [](sim::Simulator& s) {
                                      s.failReplies("dow 1", ReplyFault::Silent, -1);
                                  },
                                  // Still echoing at the prompt, the instrument takes no record.
                                  {{"Could not download.", "Error"},
                                   {"Can't send declaration to Vantor.", "Error"},
                                   {"Can't send declaration to Vantor.", "Error"},
                                   {"Can't send declaration ending.", "Error"}}},
                      SendFailure{"PointLost",
                                  [](sim::Simulator& s) { s.withholdAcks(3); },
                                  {{"Can't send declaration to Vantor.", "Error"}}},
                      SendFailure{"EndingLost",
                                  [](sim::Simulator& s) {
                                      s.failReplies(withSum("d,255"), ReplyFault::Silent, -1);
                                  },
                                  {{"Can't send declaration ending.", "Error"}}}),
    [](const ::testing::TestParamInfo<SendFailure>& row) { return std::string(row.param.name); });

TEST_F(TaskDeclarationTest, NothingToSendOrNoInstrument) {
    EXPECT_FALSE(task.send(*link, prompts, device()));
    EXPECT_EQ(shown(), (Shown{{"No declaration entered.", "Error"}}));
    EXPECT_TRUE(sim->lines().empty());

    add("ALPHA");
    prompts.messages.clear();
    EXPECT_FALSE(task.send(*link, prompts, "/nonexistent/tty"));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "Can't open comm port");
}

TEST(NavpointLines, CutTo249Characters) {
    Navpoint p;
    p.setName("NAME");
    p.setComment("COMMENT");
    p.altitude = -5;
    p.number = 7;
    p.attributes = 0x601;
    p.latitude = kEquator;
    p.longitude = kPrimeMeridian + 1;
    EXPECT_EQ(navpointCommandLine("c", 12, p),
              "c,12,0000.0000S,00000.0001E,-5,7,1537,NAME,COMMENT");
    EXPECT_EQ(navpointCommandLine("!n", 0, p),
              "!n,0,0000.0000S,00000.0001E,-5,7,1537,NAME,COMMENT");
    EXPECT_EQ(declarationLine(14, p), "d,142,0000.0000S,00000.0001E,NAME,-5");
    EXPECT_EQ(navpointCommandLine(std::string(300, 'x').c_str(), 0, p).size(), 249u);
}

}  // namespace
}  // namespace vantor::test
