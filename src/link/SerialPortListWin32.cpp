#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// windows.h first: the device installation header needs its types.
#include <setupapi.h>

#include <algorithm>
#include <array>
#include <map>

#include "link/PortName.h"
#include "link/SerialPortList.h"

namespace vantor {

namespace {

// The device setup class "Ports (COM & LPT)".
const GUID kPortsClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

std::string registryString(HKEY key, const char* value) {
    std::array<char, 256> text{};
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(text.size() - 1);
    if (RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    return std::string(text.data());
}

// COM port -> description, from the device manager's present ports.
void addDevicePorts(std::map<int, SerialPortInfo>& ports) {
    HDEVINFO set = SetupDiGetClassDevsA(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE) continue;
        const std::string port = registryString(key, "PortName");
        RegCloseKey(key);
        const int n = comPortNumber(port);
        if (n < 0) continue;  // a printer port
        std::array<char, 256> friendly{};
        std::string description;
        if (SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_FRIENDLYNAME, nullptr,
                                              reinterpret_cast<BYTE*>(friendly.data()),
                                              static_cast<DWORD>(friendly.size() - 1), nullptr)) {
            description = friendly.data();
        }
        ports[n] = {"COM" + std::to_string(n) + ":", "COM" + std::to_string(n), description};
    }
    SetupDiDestroyDeviceInfoList(set);
}

// Ports that drivers announce without a device manager entry (virtual ports,
// and Wine's).
void addAnnouncedPorts(std::map<int, SerialPortInfo>& ports) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return;
    }
    for (DWORD i = 0;; ++i) {
        std::array<char, 256> name{};
        std::array<char, 64> data{};
        DWORD nameSize = static_cast<DWORD>(name.size() - 1);
        DWORD dataSize = static_cast<DWORD>(data.size() - 1);
        DWORD type = 0;
        if (RegEnumValueA(key, i, name.data(), &nameSize, nullptr, &type,
                          reinterpret_cast<BYTE*>(data.data()), &dataSize) != ERROR_SUCCESS) {
            break;
        }
        if (type != REG_SZ) continue;
        const int n = comPortNumber(data.data());
        if (n < 0 || ports.count(n) != 0) continue;
        ports[n] = {"COM" + std::to_string(n) + ":", "COM" + std::to_string(n), "serial port"};
    }
    RegCloseKey(key);
}

}  // namespace

std::vector<SerialPortInfo> listSerialPorts(const std::string&) {
    std::map<int, SerialPortInfo> byNumber;
    addDevicePorts(byNumber);
    addAnnouncedPorts(byNumber);
    std::vector<SerialPortInfo> ports;
    for (auto& [n, info] : byNumber) {
        if (info.description.empty()) info.description = "serial port";
        ports.push_back(std::move(info));
    }
    return ports;
}

}  // namespace vantor
