#include "SimFixture.h"

#include <chrono>
#include <thread>

#include "link/RateMemory.h"

namespace vantor::test {

void SimFixture::startSim(const sim::SimulatorOptions& options) {
    link.reset();
    // Port names come round again (pseudo-terminals, the COM ports under
    // Wine): no test may start with what an earlier one left remembered.
    forgetRememberedRates();
    sim = std::make_unique<sim::Simulator>(options);
    ASSERT_TRUE(sim->start());
    link = std::make_unique<InstrumentLink>(prompts);
}

void SimFixture::openLink(int readTimeoutMs) {
    ASSERT_TRUE(link->open(device(), 4800, readTimeoutMs));
}

void SimFixture::connectUpload(bool blockMode) {
    ASSERT_TRUE(link->connectForUpload(device(), false));
    link->setReadTimeout(200);
    if (blockMode) {
        ASSERT_TRUE(link->enterUploadMode(true));
    }
    sim->clearHistory();
}

int SimFixture::linesEqual(const std::string& line) const {
    auto all = sim->lines();
    return static_cast<int>(std::count(all.begin(), all.end(), line));
}

bool SimFixture::waitFor(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace vantor::test
