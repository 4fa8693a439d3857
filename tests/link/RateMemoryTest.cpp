// The link remembers per port the rate at which the instrument last answered
// and looks there first, so that no search spends seconds talking to a line
// where nobody listens.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "SimFixture.h"
#include "link/RateMemory.h"

namespace vantor::test {
namespace {

using Clock = std::chrono::steady_clock;

// A silent rate costs a handshake of four passes, about 3.5 s; anything
// below this bound means the search went straight to the instrument.
constexpr auto kNoSilentProbe = std::chrono::milliseconds(3000);

TEST(RateMemory, KeepsOnlyTheRatesTheSearchProbes) {
    forgetRememberedRates();
    setRememberedRates({{"COM1:", 57600}, {"COM2:", 12345}, {"", 4800}, {"/dev/ttyUSB0", 19200}});
    EXPECT_EQ(rememberedRates(), (RateMemoryMap{{"COM1:", 57600}, {"/dev/ttyUSB0", 19200}}));
    rememberRate("COM1:", 9600);  // not a searched rate: no longer a guess worth trying
    EXPECT_EQ(rememberedRate("COM1:"), 0);
    rememberRate("COM3:", 4800);
    EXPECT_EQ(rememberedRate("COM3:"), 4800);
    forgetRememberedRates();
    EXPECT_TRUE(rememberedRates().empty());
}

TEST(RateMemory, SearchOrderPutsTheRememberedRateFirst) {
    struct Case {
        int remembered;
        std::vector<int> usual;
        std::vector<int> order;
    };
    const Case cases[] = {
        {0, {4800, 19200, 57600}, {4800, 19200, 57600}},
        {57600, {4800, 19200, 57600}, {57600, 4800, 19200}},
        {19200, {4800, 19200, 57600}, {19200, 4800, 57600}},
        {4800, {19200, 57600}, {19200, 57600}},  // a rate the caller does not search stays out
    };
    for (const Case& c : cases) {
        forgetRememberedRates();
        rememberRate("COM1:", c.remembered);
        EXPECT_EQ(searchOrder("COM1:", c.usual), c.order) << c.remembered;
        EXPECT_EQ(searchOrder("COM2:", c.usual), c.usual) << "another port";
    }
    forgetRememberedRates();
}

using RateMemoryLinkTest = SimFixture;

// The log download's sequence: detect, switch to 57600, transfer, restore.
TEST_F(RateMemoryLinkTest, DownloadSequenceTalksOnlyWhereTheInstrumentListens) {
    openLink(1000);
    EXPECT_EQ(link->detectBaudRate(), 4800);
    ASSERT_TRUE(link->setInstrumentBaudRate(57600));
    EXPECT_EQ(rememberedRate(device()), 57600);
    ASSERT_TRUE(link->sync());

    const auto start = Clock::now();
    ASSERT_TRUE(link->setInstrumentBaudRate(4800));
    EXPECT_LT(Clock::now() - start, kNoSilentProbe);
    link->close();

    EXPECT_EQ(sim->rate(), 4800);
    EXPECT_EQ(rememberedRate(device()), 4800);
    EXPECT_EQ(sim->ignored(), "");
    EXPECT_EQ(sim->lines(), (std::vector<std::string>{"bau 10", "bau 6"}));
}

// Every link of the process shares the memory: a second dialog, or the next
// download of one command line, finds the instrument where the first left it.
TEST_F(RateMemoryLinkTest, AnotherLinkOnThePortStartsWhereTheLastLeft) {
    openLink(1000);
    ASSERT_TRUE(link->setInstrumentBaudRate(57600));
    link->close();
    sim->clearHistory();

    InstrumentLink other(prompts);
    ASSERT_TRUE(other.open(device(), 4800, 1000));
    EXPECT_EQ(other.detectBaudRate(), 57600);
    other.close();
    EXPECT_EQ(sim->ignored(), "");

    // An operation at 4800 syncs there first, as it must, then looks at
    // 57600 before 19200.
    openLink(25);
    ASSERT_TRUE(link->syncAt4800());
    link->close();
    EXPECT_EQ(sim->rate(), 4800);
    EXPECT_EQ(sim->ignored(), "\x03\x03\x03");
}

TEST_F(RateMemoryLinkTest, StaleRememberedRateCostsOneSilentProbe) {
    rememberRate(device(), 19200);
    openLink(1000);
    EXPECT_EQ(link->detectBaudRate(), 4800);
    EXPECT_EQ(rememberedRate(device()), 4800);
    EXPECT_NE(sim->ignored(), "");  // the probe at 19200
    link->close();
}

// A lost line at 57600: the restore looks where the instrument last answered.
TEST_F(RateMemoryLinkTest, RestoreAfterALostLineLooksWhereItLastAnswered) {
    openLink(1000);
    ASSERT_TRUE(link->setInstrumentBaudRate(57600));
    sim->clearHistory();
    const auto start = Clock::now();
    EXPECT_EQ(link->restoreBaudRate(4800), 4800);
    EXPECT_LT(Clock::now() - start, kNoSilentProbe);
    link->close();
    EXPECT_EQ(sim->rate(), 4800);
    EXPECT_EQ(sim->ignored(), "");
}

}  // namespace
}  // namespace vantor::test
