#include "link/InstrumentFinder.h"

#include "link/InstrumentLink.h"

namespace vantor {

std::optional<FoundInstrument> findInstrument(const std::vector<std::string>& ports,
                                              Prompts& prompts, const SkippedPort& skipped,
                                              const std::atomic<bool>* cancel) {
    for (const std::string& port : ports) {
        if (cancel && cancel->load()) break;
        InstrumentLink link(prompts);
        if (!link.open(port, 4800, 1000)) {
            if (skipped) skipped(port, link.openFailureText(kPortInUseText));
            continue;
        }
        const int baud = link.detectBaudRate();
        link.close();
        if (baud > 0) return FoundInstrument{port, baud};
    }
    return std::nullopt;
}

PortWatcher::PortWatcher(std::function<std::vector<std::string>()> list) : list_(std::move(list)) {
    for (auto& name : list_()) seen_.insert(std::move(name));
}

std::vector<std::string> PortWatcher::poll() {
    std::vector<std::string> appeared;
    std::set<std::string> now;
    for (auto& name : list_()) {
        if (seen_.count(name) == 0) appeared.push_back(name);
        now.insert(std::move(name));
    }
    seen_ = std::move(now);
    return appeared;
}

std::vector<std::string> presentPortNames(const std::string& root) {
    std::vector<std::string> names;
    for (auto& info : listSerialPorts(root)) names.push_back(std::move(info.name));
    return names;
}

}  // namespace vantor
