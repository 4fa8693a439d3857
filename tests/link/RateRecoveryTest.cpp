// Every operation that talks at 4800 finds an instrument that something left
// at another rate, brings it back to 4800 and does its work at the first try.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "SimFixture.h"
#include "logs/LogDirectory.h"
#include "navpoints/TaskDeclaration.h"
#include "records/GliderPolar.h"
#include "records/PilotPreferences.h"
#include "records/PilotPreferencesTransfer.h"

namespace vantor::test {
namespace {

struct Operation {
    const char* name;
    // Runs the operation on the link; true when it did its work.
    std::function<bool(InstrumentLink&, Prompts&, const std::string& port)> run;
    const char* lastLine;  // the command line that shows it reached the instrument
};

const Operation kOperations[] = {
    {"LogList",
     [](InstrumentLink& link, Prompts& prompts, const std::string& port) {
         LogDirectory directory;
         std::array<char, 4> serial{};
         return readLogDirectory(link, prompts, port, directory, serial) && directory.count == 2;
     },
     "b 196"},
    {"ClearLogs",
     [](InstrumentLink& link, Prompts& prompts, const std::string& port) {
         return clearAllLogs(link, prompts, port) == ClearResult::Sent;
     },
     "cle log"},
    {"Identity",
     [](InstrumentLink& link, Prompts&, const std::string& port) {
         std::array<std::uint8_t, kIdentitySize> identity{};
         const bool ok = link.connectForUpload(port, true) && link.queryIdentity(identity);
         link.sync();
         link.close();
         return ok;
     },
     "w"},
    {"PreferencesFetch",
     [](InstrumentLink& link, Prompts& prompts, const std::string& port) {
         PilotPreferences record;
         return PilotPreferencesTransfer(prompts, port).fetch(record, link);
     },
     "o 0"},
    {"PreferencesSend",
     [](InstrumentLink& link, Prompts& prompts, const std::string& port) {
         PilotPreferences record;
         return PilotPreferencesTransfer(prompts, port).send(record, link);
     },
     "dow 1"},
    {"GliderFetch",
     [](InstrumentLink& link, Prompts& prompts, const std::string& port) {
         GliderPolar polar;
         return fetchGlider(link, prompts, port, polar);
     },
     "g 0"},
    {"GliderSend",
     [](InstrumentLink& link, Prompts& prompts, const std::string& port) {
         return sendGlider(link, prompts, port, GliderPolar{});
     },
     "dow 1"},
    {"DeclarationFetch",
     [](InstrumentLink& link, Prompts& prompts, const std::string& port) {
         TaskDeclaration task;
         return task.fetch(link, prompts, port) && task.count == 3;
     },
     "d"},
    {"DeclarationSend",
     [](InstrumentLink& link, Prompts& prompts, const std::string& port) {
         TaskDeclaration task;
         task.count = 1;
         task.points[0].setName("HOME");
         return task.send(link, prompts, port);
     },
     "d,255"},
};

struct Case {
    Operation operation;
    int startRate;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.operation.name << " from " << c.startRate;
}

class RateRecovery : public SimFixture, public ::testing::WithParamInterface<Case> {
protected:
    void SetUp() override {
        sim::SimulatorOptions options;
        options.logs = 2;
        options.navpoints = 5;  // the first three are declared
        options.baud = GetParam().startRate;
        startSim(options);
    }
};

TEST_P(RateRecovery, WorksAtTheFirstTryAndLeavesTheInstrumentAt4800) {
    const Operation& op = GetParam().operation;
    ASSERT_TRUE(op.run(*link, prompts, device()));
    for (const auto& m : prompts.messages) {
        EXPECT_NE(m.caption, "Error") << m.text;
        EXPECT_NE(m.caption, "Error, check connections") << m.text;
    }
    const auto lines = sim->lines();
    EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                           [&](const std::string& l) { return l.rfind(op.lastLine, 0) == 0; }),
              lines.end());
    // The switch back: the instrument found at its rate was told to go to 4800.
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "bau 6"), 1);
    EXPECT_EQ(sim->rate(), 4800);
    EXPECT_FALSE(link->isOpen());
}

std::vector<Case> allCases() {
    std::vector<Case> cases;
    for (int rate : {19200, 57600}) {
        for (const auto& op : kOperations) cases.push_back({op, rate});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Operations, RateRecovery, ::testing::ValuesIn(allCases()),
                         [](const ::testing::TestParamInfo<Case>& row) {
                             return std::string(row.param.operation.name) + "From" +
                                    std::to_string(row.param.startRate);
                         });

}  // namespace
}  // namespace vantor::test
