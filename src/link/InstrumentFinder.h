#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "link/SerialPortList.h"

namespace vantor {

class Prompts;

struct FoundInstrument {
    std::string port;
    int baud = 0;  // the rate it answered at
};

// Told about a port that would not open, with the reason as the pilot reads it.
using SkippedPort = std::function<void(const std::string& port, const std::string& reason)>;

// Opens each port in turn and looks for the instrument quietly with the
// handshake at the usual rates; the first port where it answers wins. The
// instrument stays at the rate it was found at (the rate is remembered, so
// the next operation finds it at once). Stops between ports when `cancel`
// is set.
std::optional<FoundInstrument> findInstrument(const std::vector<std::string>& ports,
                                              Prompts& prompts, const SkippedPort& skipped = {},
                                              const std::atomic<bool>* cancel = nullptr);

// Notices serial ports that appear: a USB adapter plugged in. The ports
// present when it starts count as seen; a port that goes and comes back is
// new again.
class PortWatcher {
public:
    // `list` gives the port names present now.
    explicit PortWatcher(std::function<std::vector<std::string>()> list);
    // The ports that appeared since the last call (or since the start).
    std::vector<std::string> poll();

private:
    std::function<std::vector<std::string>()> list_;
    std::set<std::string> seen_;
};

// The names of the present ports, as listSerialPorts gives them.
std::vector<std::string> presentPortNames(const std::string& root = "/");

}  // namespace vantor
