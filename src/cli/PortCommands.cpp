// vantorctl ports, find and watch: which port the instrument is on, and
// downloading its new flights whenever it is plugged in.

#include <chrono>
#include <filesystem>
#include <iostream>
#include <optional>
#include <thread>

#include "cli/Commands.h"
#include "cli/StopSignals.h"
#include "link/InstrumentFinder.h"
#include "link/PortName.h"
#include "link/SerialPortList.h"

namespace vantor::cli {

namespace {

// How often watch looks at the port list.
constexpr auto kWatchInterval = std::chrono::seconds(1);

// Found on the given ports, or on every present one; what was skipped on
// standard error.
std::optional<FoundInstrument> find(Context& ctx, const std::vector<std::string>& ports,
                                    const StopSignals& signals) {
    return findInstrument(
        ports, *ctx.prompts,
        [](const std::string& port, const std::string& reason) {
            std::string oneLine = reason;
            for (char& c : oneLine) c = c == '\n' ? ' ' : c;
            std::cerr << "vantorctl: skipped " << port << ": " << oneLine << '\n';
        },
        &signals.flag());
}

// A named port is there when its device is (on Windows: when it is listed).
bool present(const std::string& name) {
#ifdef _WIN32
    const int n = comPortNumber(name);
    for (const auto& port : listSerialPorts()) {
        if (port.name == name || port.device == name || (n > 0 && comPortNumber(port.name) == n)) {
            return true;
        }
    }
    return false;
#else
    std::error_code error;
    return std::filesystem::exists(resolvePortName(name, portMap()), error);
#endif
}

// Sleeps until the next look, waking for a stop.
void waitInterval(const StopSignals& signals) {
    const auto until = std::chrono::steady_clock::now() + kWatchInterval;
    while (!signals.stopped() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

}  // namespace

int portsCommand(Context& ctx) {
    if (!ctx.args.empty()) return kBadArguments;
    const auto ports = listSerialPorts();
    if (ports.empty()) std::cerr << "no serial ports found\n";
    for (const auto& port : ports) {
        std::cout << port.name << ' ' << port.device << ' ' << port.description << '\n';
    }
    return kExitOk;
}

int findCommand(Context& ctx) {
    for (const auto& arg : ctx.args) {
        if (!arg.empty() && arg[0] == '-') return kBadArguments;
    }
    const StopSignals signals;
    const auto ports = ctx.args.empty() ? presentPortNames() : ctx.args;
    const auto found = find(ctx, ports, signals);
    if (signals.stopped()) return kExitCancelled;
    if (!found) {
        std::cerr << "vantorctl: no instrument answered on "
                  << (ports.empty()
                          ? std::string("any port (none was found)")
                          : std::to_string(ports.size()) + (ports.size() == 1 ? " port" : " ports"))
                  << '\n';
        return kExitFailed;
    }
    std::cout << found->port << ' ' << found->baud << '\n';
    return kExitOk;
}

int watchCommand(Context& ctx) {
    std::string directory = ".";
    std::vector<std::string> named;
    for (std::size_t i = 0; i < ctx.args.size(); ++i) {
        const std::string& a = ctx.args[i];
        if (a == "-d" && i + 1 < ctx.args.size()) {
            directory = ctx.args[++i];
        } else if (!a.empty() && a[0] == '-') {
            return kBadArguments;
        } else {
            named.push_back(a);
        }
    }
    const StopSignals signals;
    PortWatcher watcher([&named] {
        if (named.empty()) return presentPortNames();
        std::vector<std::string> there;
        for (const auto& name : named) {
            if (present(name)) there.push_back(name);
        }
        return there;
    });
    std::cerr << "watching for the instrument; Ctrl-C stops\n" << std::flush;
    int rc = kExitOk;
    while (!signals.stopped()) {
        for (const std::string& port : watcher.poll()) {
            if (signals.stopped()) break;
            std::cerr << port << " appeared\n";
            const auto found = find(ctx, {port}, signals);
            if (!found) {
                if (!signals.stopped()) std::cerr << "no instrument answered on " << port << '\n';
                continue;
            }
            std::cerr << "found the instrument on " << found->port << " at " << found->baud << '\n';
            Context here = ctx;
            here.port = found->port;
            here.args.clear();
            std::error_code error;
            std::filesystem::create_directories(directory, error);
            const int got = downloadNewLogs(here, directory, false, 0, signals);
            if (got != kExitOk && got != kExitCancelled) rc = got;
            std::cout << std::flush;
            std::cerr << "watching for the instrument\n" << std::flush;
        }
        waitInterval(signals);
    }
    return rc;
}

}  // namespace vantor::cli
