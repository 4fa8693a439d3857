#pragma once

#include <string>
#include <vector>

namespace vantor {

// A serial port present on this machine, as the pilot picks it.
struct SerialPortInfo {
    std::string name;         // what to open: a stable path, a device, or "COMn:"
    std::string device;       // the device it leads to (/dev/ttyUSB0, COM3)
    std::string description;  // maker and product, or the kind of port

    bool operator==(const SerialPortInfo&) const = default;
};

// The serial ports present now. On Linux: each /dev/serial/by-id name (the
// one that stays when the adapter moves to another socket), then the
// ttyUSB and ttyACM devices without such a name, then the ttyS ports that
// are real UARTs. `root` stands for "/" so that tests can hand in a tree of
// their own. On Windows the present COM ports, and `root` is not used.
std::vector<SerialPortInfo> listSerialPorts(const std::string& root = "/");

}  // namespace vantor
