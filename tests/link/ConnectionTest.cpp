#include <gtest/gtest.h>

#include "SimFixture.h"

namespace vantor::test {
namespace {

using sim::EchoFault;
using sim::ReplyFault;

// The port of these tests does not exist, and the message says so.
const std::string kOpenFail = noDeviceText("/nonexistent/tty");

class ConnectionTest : public SimFixture {
protected:
    void expectMessages(std::vector<std::pair<std::string, std::string>> expected) {
        ASSERT_EQ(prompts.messages.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(prompts.messages[i].text, expected[i].first);
            EXPECT_EQ(prompts.messages[i].caption, expected[i].second);
            EXPECT_EQ(prompts.messages[i].buttons, Buttons::Ok);
            EXPECT_EQ(prompts.messages[i].owner, nullptr);
        }
    }
};

TEST_F(ConnectionTest, HandshakeAtTheCurrentRate) {
    openLink(25);
    EXPECT_TRUE(link->handshake());
    const std::string wire = sim->received();
    EXPECT_NE(wire.find("a^2"), std::string::npos);
}

TEST_F(ConnectionTest, HandshakeStopsAtOnceWhenTheSecondProbeIsNotEchoed) {
    openLink(25);
    sim->failEchoes(EchoFault::Wrong, -1, '^');
    EXPECT_FALSE(link->handshake());
    const std::string wire = sim->received();
    EXPECT_EQ(std::count(wire.begin(), wire.end(), 'a'), 1);  // no further passes
    EXPECT_EQ(wire.find('2'), std::string::npos);
}

class DetectRate : public ConnectionTest, public ::testing::WithParamInterface<int> {
    void SetUp() override {
        sim::SimulatorOptions options;
        options.baud = GetParam();
        startSim(options);
    }
};

TEST_P(DetectRate, FindsTheInstrumentAndStaysAtItsRate) {
    openLink(1000);
    EXPECT_EQ(link->detectBaudRate(), GetParam());
    EXPECT_EQ(link->port().baudRate(), GetParam());
    EXPECT_EQ(link->port().readTimeout(), 25);
    EXPECT_TRUE(link->sync());
}

INSTANTIATE_TEST_SUITE_P(Rates, DetectRate, ::testing::Values(4800, 19200, 57600));

TEST_F(ConnectionTest, SetInstrumentBaudRateSwitchesBothSides) {
    openLink(1000);
    ASSERT_TRUE(link->setInstrumentBaudRate(57600));
    EXPECT_EQ(sim->rate(), 57600);
    EXPECT_EQ(link->port().baudRate(), 57600);
    EXPECT_EQ(linesEqual("bau 10"), 1);

    ASSERT_TRUE(link->setInstrumentBaudRate(4800));  // found at 57600, sent back
    EXPECT_EQ(sim->rate(), 4800);
    EXPECT_EQ(linesEqual("bau 6"), 1);
}

TEST_F(ConnectionTest, RateOutsideTheTableSendsCode255) {
    openLink(1000);
    EXPECT_FALSE(link->setInstrumentBaudRate(14400));
    // Three passes send the command. On a busy machine a pass may miss the
    // instrument and send it at another rate, where the instrument does not
    // take it in: count it wherever it went.
    auto count = [](const std::string& bytes) {
        int n = 0;
        for (auto at = bytes.find("bau 255\r"); at != std::string::npos;
             at = bytes.find("bau 255\r", at + 1)) {
            ++n;
        }
        return n;
    };
    EXPECT_EQ(count(sim->received()) + count(sim->ignored()), 3);
    EXPECT_GE(linesEqual("bau 255"), 1);
    EXPECT_EQ(sim->rate(), 4800);
}

TEST_F(ConnectionTest, ModesAreEnteredWithTheirCommands) {
    openLink(200);
    EXPECT_TRUE(link->enterUploadMode(false));
    EXPECT_TRUE(link->enterUploadMode(true));
    EXPECT_TRUE(link->enterDownloadMode());
    EXPECT_EQ(sim->lines(), (std::vector<std::string>{"upl 1", "upl 0", "dow 1"}));

    sim->failReplies("dow 1", ReplyFault::Short, -1);
    EXPECT_FALSE(link->enterDownloadMode());
    EXPECT_EQ(linesEqual("dow 1"), 4);  // three tries
}

TEST_F(ConnectionTest, ConnectForUploadLeavesThePortOpenInUploadMode) {
    ASSERT_TRUE(link->connectForUpload(device(), false));
    EXPECT_TRUE(link->isOpen());
    EXPECT_EQ(link->port().baudRate(), 4800);
    EXPECT_EQ(link->port().readTimeout(), 1000);
    EXPECT_EQ(sim->lines(), std::vector<std::string>{"upl 1"});
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(ConnectionTest, ConnectFailuresSayWhyAndCloseThePort) {
    struct Case {
        const char* what;
        bool badPath;
        bool silent;
        bool uplFails;
        const char* text;
        const char* caption;
    } cases[] = {
        {"no such port", true, false, false, kOpenFail.c_str(), "Can't open comm port"},
        {"silent", false, true, false, "Failed to connect on upload.", "Error, check connections"},
        {"no upload mode", false, false, true, "Could not upload.", "Error"},
    };
    for (const auto& c : cases) {
        for (bool quiet : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (quiet ? " quiet" : ""));
            prompts.messages.clear();
            sim->clearFaults();
            sim->setSilent(c.silent);
            if (c.uplFails) sim->failReplies("upl 1", ReplyFault::Silent, -1);
            EXPECT_FALSE(link->connectForUpload(c.badPath ? "/nonexistent/tty" : device(), quiet));
            EXPECT_FALSE(link->isOpen());
            if (quiet) {
                EXPECT_TRUE(prompts.messages.empty());
            } else {
                expectMessages({{c.text, c.caption}});
            }
        }
    }
}

TEST_F(ConnectionTest, ConnectForDownload) {
    ASSERT_TRUE(link->connectForDownload(device()));
    EXPECT_TRUE(link->isOpen());
    EXPECT_TRUE(sim->lines().empty());  // the caller enters download mode
    link->close();

    EXPECT_FALSE(link->connectForDownload("/nonexistent/tty"));
    sim->setSilent(true);
    EXPECT_FALSE(link->connectForDownload(device()));
    EXPECT_FALSE(link->isOpen());
    expectMessages(
        {{kOpenFail, "Can't open comm port"}, {"Failed to connect.", "Error, check connections"}});
}

}  // namespace
}  // namespace vantor::test
