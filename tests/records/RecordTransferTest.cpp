#include <gtest/gtest.h>

#include "SimFixture.h"
#include "records/GliderPolar.h"
#include "records/PilotPreferencesTransfer.h"

namespace vantor::test {
namespace {

using sim::ReplyFault;
using Shown = std::vector<std::pair<std::string, std::string>>;

// The port of these tests does not exist, and the message says so.
const std::string kOpenFail = noDeviceText("/nonexistent/tty");

// "dow 1" takes effect but its reply comes short: download mode is reported
// failed while the instrument still takes records.
void shortDownloadReplies(sim::Simulator& s) {
    s.rewriteReplies(
        "dow 1", [](std::vector<std::uint8_t>& reply) { reply.resize(5); }, -1);
}

// A record line as the instrument receives it, with its sum.
std::string withSum(const std::string& text) {
    unsigned sum = 0;
    for (char c : text) sum += static_cast<std::uint8_t>(c);
    return text + ",~" + std::to_string(sum);
}

class RecordTransferTest : public SimFixture {
protected:
    Shown shown() const {
        Shown out;
        for (const auto& m : prompts.messages) out.emplace_back(m.text, m.caption);
        return out;
    }
    // The record lines the instrument received, without their sums.
    std::vector<std::string> records(char letter) const {
        std::vector<std::string> out;
        for (const auto& line : sim->lines()) {
            if (line.size() > 2 && line[0] == letter && line[1] == ',') {
                out.push_back(line.substr(0, line.rfind(",~")));
            }
        }
        return out;
    }
    bool fetchPrefs(PilotPreferences& r, const std::string& port = {}) {
        PilotPreferencesTransfer t(prompts, port.empty() ? device() : port);
        return t.fetch(r, *link);
    }
    bool sendPrefs(PilotPreferences& r) {
        PilotPreferencesTransfer t(prompts, device());
        return t.send(r, *link);
    }
};

TEST_F(RecordTransferTest, PreferencesSentComeBackWithTheSendAdjustments) {
    PilotPreferences r;
    r.setName("Ida Hangwind");
    r.loggingInterval = 61;
    r.auxWord1 = 33;
    r.unitFlags = 0x0012;
    r.sinkTone = 0;
    ASSERT_TRUE(sendPrefs(r));
    EXPECT_EQ(shown(), (Shown{{"Pilot Preferences and Logging Interval Transferred", "Success"}}));
    EXPECT_EQ(r.auxByte1, 0);  // the caller's record keeps the adjustments
    EXPECT_EQ(r.loggingInterval, 4);
    const auto lines = sim->lines();
    const auto clear = std::find(lines.begin(), lines.end(), "cle pil");
    const auto download = std::find(lines.begin(), lines.end(), "dow 1");
    ASSERT_NE(clear, lines.end());
    EXPECT_LT(clear, download);
    EXPECT_EQ(records('o'), (std::vector<std::string>{formatRecord(r)}));
    EXPECT_FALSE(link->isOpen());

    PilotPreferences back;
    prompts.messages.clear();
    ASSERT_TRUE(fetchPrefs(back));
    EXPECT_TRUE(prompts.messages.empty());
    PilotPreferences expected = r;
    expected.setName("Ida Hangwind            ");  // the instrument keeps 24 characters
    EXPECT_EQ(back, expected);
    EXPECT_EQ(prompts.waitCursor, 0);
    EXPECT_FALSE(link->isOpen());
}

TEST_F(RecordTransferTest, PreferencesFetchFailuresKeepTheRecord) {
    struct Case {
        const char* name;
        std::function<void(sim::Simulator&)> fault;
        std::string port;
        Shown messages;
    };
    const Case cases[] = {
        {"no port",
         [](sim::Simulator&) {},
         "/nonexistent/tty",
         {{kOpenFail, "Can't open comm port"}}},
        {"silent",
         [](sim::Simulator& s) { s.failReplies("sync", ReplyFault::Short, -1); },
         {},
         {{"Failed to connect.", "Error, check connections"}}},
        {"no upload mode",
         [](sim::Simulator& s) { s.failReplies("upl 1", ReplyFault::Short, -1); },
         {},
         {{"Could not upload.", "Error"}}},
        {"header",
         [](sim::Simulator& s) { s.failReplies("o", ReplyFault::Damaged, 3); },
         {},
         {{"Can't get pilot preferences.", "Error"}}},
        {"data",
         [](sim::Simulator& s) { s.failReplies("o 0", ReplyFault::Damaged, 1); },
         {},
         {{"Can't get pilot preferences data.", "Error"}}},
        // A header that promises fewer bytes than the record needs.
        {"short data",
         [](sim::Simulator& s) {
             s.rewriteReplies(
                 "o",
                 [](std::vector<std::uint8_t>& f) {
                     f[4] = 20;
                     f[2] = static_cast<std::uint8_t>(f[3] ^ f[4]);
                 },
                 1);
         },
         {},
         {{"Can't get pilot preferences data.", "Error"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim->clearFaults();
        c.fault(*sim);
        prompts.messages.clear();
        PilotPreferences r;
        r.setName("Kept");
        const PilotPreferences before = r;
        EXPECT_FALSE(fetchPrefs(r, c.port));
        EXPECT_EQ(shown(), c.messages);
        EXPECT_EQ(r, before);
        EXPECT_FALSE(link->isOpen());
    }
}

TEST_F(RecordTransferTest, PreferencesSendFailuresSuppressSuccess) {
    shortDownloadReplies(*sim);
    PilotPreferences r;
    EXPECT_FALSE(sendPrefs(r));
    EXPECT_EQ(shown(), (Shown{{"Could not download.", "Error"}}));
    EXPECT_EQ(records('o').size(), 1u);

    // Every acknowledgement of the record comes damaged.
    sim->clearFaults();
    sim->failReplies(withSum(formatRecord(r)), ReplyFault::Damaged, -1);
    prompts.messages.clear();
    EXPECT_FALSE(sendPrefs(r));
    EXPECT_EQ(shown(), (Shown{{"Can't transfer pilot preferences.", "Error"}}));
    EXPECT_FALSE(link->isOpen());
}

TEST_F(RecordTransferTest, GliderSentComesBackAndFailuresKeepTheValues) {
    GliderPolar p;
    p.gliderType = "Ventus 2cx";
    p.gliderId = "V2";
    p.bestGlide = 47;
    p.wingArea = 10050;
    p.setLocked(true);
    ASSERT_TRUE(sendGlider(*link, prompts, device(), p, this));
    EXPECT_EQ(shown(), (Shown{{"Polar Transferred", "Success"}}));
    EXPECT_EQ(prompts.messages[0].owner, this);
    EXPECT_EQ(records('g'), (std::vector<std::string>{formatGliderRecord(p)}));

    GliderPolar back;
    prompts.messages.clear();
    ASSERT_TRUE(fetchGlider(*link, prompts, device(), back));
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(back.gliderType, "Ventus 2cx  ");
    EXPECT_EQ(back.gliderId, "V2          ");
    EXPECT_EQ(back.bestGlide, 47);
    EXPECT_EQ(back.wingArea, 10050);
    EXPECT_EQ(back.wingAreaText, "10.050");
    EXPECT_TRUE(back.locked());
    EXPECT_FALSE(link->isOpen());

    struct Case {
        const char* command;
        ReplyFault fault;
        Shown messages;
    };
    const Case cases[] = {
        {"g", ReplyFault::Damaged, {{"Can't get glider info.", "Error"}}},
        {"g 0", ReplyFault::Damaged, {{"Can't get glider data.", "Error"}}},
        {"upl 1", ReplyFault::Short, {{"Could not upload.", "Error"}}},
        {"short data", ReplyFault::Short, {{"Can't get glider data.", "Error"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        sim->clearFaults();
        if (std::string(c.command) == "short data") {
            // A header that promises fewer bytes than the glider needs.
            sim->rewriteReplies(
                "g",
                [](std::vector<std::uint8_t>& f) {
                    f[3] = 20;
                    f[2] = 20;
                },
                1);
        } else {
            sim->failReplies(c.command, c.fault, -1);
        }
        prompts.messages.clear();
        GliderPolar kept;
        kept.bestGlide = 12;
        const GliderPolar before = kept;
        EXPECT_FALSE(fetchGlider(*link, prompts, device(), kept));
        EXPECT_EQ(shown(), c.messages);
        EXPECT_EQ(kept, before);
        EXPECT_FALSE(link->isOpen());
    }
}

TEST_F(RecordTransferTest, GliderSendFailures) {
    shortDownloadReplies(*sim);
    GliderPolar p;
    EXPECT_FALSE(sendGlider(*link, prompts, device(), p));
    EXPECT_EQ(shown(), (Shown{{"Could not download.", "Error"}}));
    EXPECT_EQ(records('g').size(), 1u);  // still sent

    sim->clearFaults();
    sim->failReplies(withSum(formatGliderRecord(p)), ReplyFault::Damaged, -1);
    prompts.messages.clear();
    EXPECT_FALSE(sendGlider(*link, prompts, device(), p));
    EXPECT_EQ(shown(), (Shown{{"Failed to transfer polar.", "Error"}}));

    prompts.messages.clear();
    EXPECT_FALSE(sendGlider(*link, prompts, "/nonexistent/tty", p));
    EXPECT_EQ(shown(), (Shown{{kOpenFail, "Can't open comm port"}}));
}

}  // namespace
}  // namespace vantor::test
