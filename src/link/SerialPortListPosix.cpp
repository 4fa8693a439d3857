#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <system_error>

#include "link/SerialPortList.h"

namespace vantor {

namespace {

namespace fs = std::filesystem;

std::string firstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    return line;
}

// The path as the machine sees it: `resolved` lies inside `root`.
std::string underRoot(const fs::path& root, const fs::path& resolved) {
    const std::string r = root.string();
    std::string s = resolved.string();
    if (r != "/" && s.compare(0, r.size(), r) == 0) s = s.substr(r.size());
    return s.empty() ? "/" : s;
}

// The USB device behind a tty says who made it and what it is; the
// interface directory and the device directory sit a few levels up.
std::string usbDescription(const fs::path& root, const std::string& tty) {
    std::error_code ec;
    fs::path dir = fs::canonical(root / "sys/class/tty" / tty / "device", ec);
    if (ec) return {};
    for (int up = 0; up < 4 && !dir.empty() && dir != root; ++up, dir = dir.parent_path()) {
        const std::string product = firstLine(dir / "product");
        if (product.empty()) continue;
        const std::string maker = firstLine(dir / "manufacturer");
        return maker.empty() || product.rfind(maker, 0) == 0 ? product : maker + " " + product;
    }
    return {};
}

// "usb-FTDI_FT232R_USB_UART_A6008abc-if00-port0" reads as
// "FTDI FT232R USB UART A6008abc" when the device does not say more.
std::string describeById(std::string name) {
    if (name.rfind("usb-", 0) == 0) name = name.substr(4);
    const auto ifPos = name.rfind("-if");
    if (ifPos != std::string::npos) name = name.substr(0, ifPos);
    std::replace(name.begin(), name.end(), '_', ' ');
    return name;
}

int ttyNumber(const std::string& name, const std::string& prefix) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return -1;
    int n = 0;
    for (std::size_t i = prefix.size(); i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i])) || n > 99999) return -1;
        n = n * 10 + (name[i] - '0');
    }
    return n;
}

// The serial core creates every ttyS the kernel reserves; only one whose
// UART type the driver recognised (a nonzero "type") has a port behind it.
bool isRealUart(const fs::path& root, const std::string& tty) {
    const std::string type = firstLine(root / "sys/class/tty" / tty / "type");
    if (type.empty() || type.find_first_not_of("0123456789") != std::string::npos) return false;
    return type.find_first_not_of('0') != std::string::npos;
}

}  // namespace

std::vector<SerialPortInfo> listSerialPorts(const std::string& rootText) {
    std::error_code ec;
    const fs::path root = fs::weakly_canonical(rootText.empty() ? "/" : rootText, ec);
    std::vector<SerialPortInfo> ports;
    std::set<std::string> named;  // devices already listed under a by-id name

    std::vector<SerialPortInfo> byId;
    for (const auto& entry : fs::directory_iterator(root / "dev/serial/by-id", ec)) {
        std::error_code linkError;
        const fs::path target = fs::canonical(entry.path(), linkError);
        if (linkError) continue;  // a dangling name: the adapter is gone
        const std::string device = underRoot(root, target);
        const std::string tty = target.filename().string();
        std::string description = usbDescription(root, tty);
        if (description.empty()) description = describeById(entry.path().filename().string());
        byId.push_back(
            {"/dev/serial/by-id/" + entry.path().filename().string(), device, description});
        named.insert(device);
    }
    std::sort(byId.begin(), byId.end(),
              [](const auto& a, const auto& b) { return a.name < b.name; });
    ports.insert(ports.end(), byId.begin(), byId.end());

    // Each kind in number order: ttyUSB2 before ttyUSB10.
    std::map<std::pair<int, int>, SerialPortInfo> devices;
    const std::pair<const char*, const char*> kinds[] = {{"ttyACM", "USB modem (CDC ACM)"},
                                                         {"ttyUSB", "USB serial adapter"},
                                                         {"ttyS", "serial port"}};
    for (const auto& entry : fs::directory_iterator(root / "dev", ec)) {
        const std::string tty = entry.path().filename().string();
        for (int kind = 0; kind < 3; ++kind) {
            const int n = ttyNumber(tty, kinds[kind].first);
            if (n < 0) continue;
            const std::string device = "/dev/" + tty;
            if (named.count(device) != 0) break;
            if (kind == 2 && !isRealUart(root, tty)) break;
            std::string description = kind < 2 ? usbDescription(root, tty) : std::string();
            if (description.empty()) description = kinds[kind].second;
            devices[{kind, n}] = {device, device, description};
            break;
        }
    }
    for (auto& [key, info] : devices) ports.push_back(std::move(info));
    return ports;
}

}  // namespace vantor
