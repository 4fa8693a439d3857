#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>

#include "RecordingPrompts.h"
#include "Simulator.h"
#include "link/InstrumentLink.h"

namespace vantor::test {

// A simulated instrument on a pseudo-terminal, a link and recorded prompts.
class SimFixture : public ::testing::Test {
protected:
    void SetUp() override { startSim({}); }

    void startSim(const sim::SimulatorOptions& options);
    std::string device() const { return sim->devicePath(); }
    // Opens the link at 4800 with a short read time-out, as most tests want.
    void openLink(int readTimeoutMs = 200);
    // connectForUpload with "upl 1" (text queries), or "upl 0" for the echoed ones.
    void connectUpload(bool blockMode = false);
    int linesEqual(const std::string& line) const;
    // Polls a condition for up to two seconds; for what the simulator does after
    // the program has already moved on.
    static bool waitFor(const std::function<bool()>& condition);

    std::unique_ptr<sim::Simulator> sim;
    RecordingPrompts prompts;
    std::unique_ptr<InstrumentLink> link;
};

}  // namespace vantor::test
