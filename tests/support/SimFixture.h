#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "RecordingPrompts.h"
#include "Simulator.h"
#include "link/InstrumentLink.h"

namespace vantor::test {

// Sets a long frame's sum again after a test changed its bytes, so that only
// the change under test can make it wrong.
inline void resumLongFrame(std::vector<std::uint8_t>& frame) {
    const std::size_t length =
        std::min<std::size_t>(static_cast<std::size_t>(frame[0] << 8 | frame[1]), frame.size());
    unsigned sum = 0;
    for (std::size_t i = 5; i < length; ++i) sum += frame[i];
    frame[3] = static_cast<std::uint8_t>(sum >> 8);
    frame[4] = static_cast<std::uint8_t>(sum);
}

// What the program says of a port whose device does not exist.
inline std::string noDeviceText(const std::string& port) {
#ifdef _WIN32
    return "There is no port " + port +
           " on this computer. Plug in the instrument's cable, or choose another port (the "
           "Device Manager lists them under Ports).";
#else
    return "There is no device " + port +
           ". Plug in the instrument's cable, or choose another port.";
#endif
}

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
