#pragma once

#include <atomic>

#ifndef _WIN32
#include <signal.h>
#endif

namespace vantor::cli {

// Catches Ctrl-C and SIGTERM for as long as it lives, so that a transfer can
// stop at its next step and bring the line back instead of dying in the
// middle. Further signals while it winds up only set the flag again.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    bool stopped() const { return flag().load(); }
    // The flag a transfer watches.
    static const std::atomic<bool>& flag();

private:
#ifdef _WIN32
    void (*previousInt_)(int) = nullptr;
    void (*previousTerm_)(int) = nullptr;
#else
    struct sigaction previousInt_ {};
    struct sigaction previousTerm_ {};
#endif
};

}  // namespace vantor::cli
