#include "cli/StopSignals.h"

#include <csignal>

namespace vantor::cli {

namespace {

std::atomic<bool> gStopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void requestStop(int) {
    gStopRequested.store(true);
}

}  // namespace

const std::atomic<bool>& StopSignals::flag() {
    return gStopRequested;
}

StopSignals::StopSignals() {
    gStopRequested.store(false);
#ifdef _WIN32
    previousInt_ = std::signal(SIGINT, requestStop);
    previousTerm_ = std::signal(SIGTERM, requestStop);
#else
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // a waiting read wakes up, and finds the flag
    sigaction(SIGINT, &action, &previousInt_);
    sigaction(SIGTERM, &action, &previousTerm_);
#endif
}

StopSignals::~StopSignals() {
#ifdef _WIN32
    std::signal(SIGINT, previousInt_);
    std::signal(SIGTERM, previousTerm_);
#else
    sigaction(SIGINT, &previousInt_, nullptr);
    sigaction(SIGTERM, &previousTerm_, nullptr);
#endif
}

}  // namespace vantor::cli
