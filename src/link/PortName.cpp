#include "link/PortName.h"

#include <cctype>
#include <mutex>

namespace vantor {

namespace {
std::mutex mapMutex;
PortMap& sharedMap() {
    static PortMap map;
    return map;
}
}  // namespace

int comPortNumber(const std::string& name) {
    if (name.size() < 4) return -1;
    auto upper = [](char c) {
        return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    };
    if (upper(name[0]) != 'C' || upper(name[1]) != 'O' || upper(name[2]) != 'M') return -1;
    std::size_t end = name.size();
    if (name.back() == ':') --end;
    if (end <= 3 || end - 3 > 9) return -1;
    int n = 0;
    for (std::size_t i = 3; i < end; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return -1;
        n = n * 10 + (name[i] - '0');
    }
    return n >= 1 ? n : -1;
}

std::string resolvePortName(const std::string& name, const PortMap& map) {
    const int n = comPortNumber(name);
    if (n < 0) return name;
    auto it = map.find("COM" + std::to_string(n));
    if (it != map.end() && !it->second.empty()) return it->second;
    return "/dev/ttyS" + std::to_string(n - 1);
}

void setPortMap(const PortMap& map) {
    std::lock_guard lock(mapMutex);
    sharedMap() = map;
}

PortMap portMap() {
    std::lock_guard lock(mapMutex);
    return sharedMap();
}

}  // namespace vantor
