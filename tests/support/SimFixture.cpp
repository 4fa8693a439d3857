#include "SimFixture.h"

namespace vantor::test {

void SimFixture::startSim(const sim::SimulatorOptions& options) {
    link.reset();
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
    if (blockMode) ASSERT_TRUE(link->enterUploadMode(true));
    sim->clearHistory();
}

int SimFixture::linesEqual(const std::string& line) const {
    auto all = sim->lines();
    return static_cast<int>(std::count(all.begin(), all.end(), line));
}

}  // namespace vantor::test
