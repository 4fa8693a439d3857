#pragma once

#include <map>
#include <string>

namespace vantor {

// Port names are kept in the program's own form ("COM1:"). On POSIX systems a
// name resolves to a device: the port map's entry for "COMn" if there is one,
// else the Wine convention /dev/ttyS(n-1). A name that is already a path is
// used as it is.
using PortMap = std::map<std::string, std::string>;  // "COM1" -> "/dev/ttyUSB0"

std::string resolvePortName(const std::string& name, const PortMap& map);

// The map that SerialPort::open resolves with; the settings feed it.
void setPortMap(const PortMap& map);
PortMap portMap();

// The number n of a "COMn:" or "COMn" name, or -1 when the name has another form.
int comPortNumber(const std::string& name);

}  // namespace vantor
