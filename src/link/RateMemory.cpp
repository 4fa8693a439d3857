#include "link/RateMemory.h"

#include <algorithm>
#include <mutex>

namespace vantor {

namespace {

std::mutex memoryMutex;

RateMemoryMap& memory() {
    static RateMemoryMap rates;
    return rates;
}

bool isSearchedRate(int baud) {
    return baud == 4800 || baud == 19200 || baud == 57600;
}

}  // namespace

int rememberedRate(const std::string& portName) {
    std::lock_guard lock(memoryMutex);
    const auto it = memory().find(portName);
    return it == memory().end() ? 0 : it->second;
}

void rememberRate(const std::string& portName, int baud) {
    if (portName.empty()) return;
    std::lock_guard lock(memoryMutex);
    if (isSearchedRate(baud)) {
        memory()[portName] = baud;
    } else {
        memory().erase(portName);
    }
}

void forgetRememberedRates() {
    std::lock_guard lock(memoryMutex);
    memory().clear();
}

RateMemoryMap rememberedRates() {
    std::lock_guard lock(memoryMutex);
    return memory();
}

void setRememberedRates(const RateMemoryMap& rates) {
    RateMemoryMap kept;
    for (const auto& [port, baud] : rates) {
        if (!port.empty() && isSearchedRate(baud)) kept[port] = baud;
    }
    std::lock_guard lock(memoryMutex);
    memory() = std::move(kept);
}

std::vector<int> searchOrder(const std::string& portName, const std::vector<int>& usual) {
    std::vector<int> order;
    const int first = rememberedRate(portName);
    if (std::find(usual.begin(), usual.end(), first) != usual.end()) order.push_back(first);
    for (int rate : usual) {
        if (rate != first) order.push_back(rate);
    }
    return order;
}

}  // namespace vantor
