#include "link/PortOpenError.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <grp.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#endif

namespace vantor {

namespace {

#ifndef _WIN32
// "/dev/ttyS0 (COM1:)" when the name is not the device itself.
std::string named(const std::string& portName, const std::string& device) {
    if (device.empty() || device == portName) return portName;
    return device + " (" + portName + ")";
}

// The group that may use the device: dialout on Debian, uucp elsewhere.
std::string deviceGroup(const std::string& device) {
    struct stat st {};
    if (stat(device.c_str(), &st) == 0 && st.st_gid != 0) {
        if (const group* g = getgrgid(st.st_gid)) return g->gr_name;
    }
    return "dialout";
}
#endif

}  // namespace

std::string openFailureText(const std::string& portName, const std::string& device, int error,
                            const std::string& busyText) {
#ifdef _WIN32
    // "COM3:" is the name Windows users know; the \\.\ form only opens it.
    const std::string& port = portName;
    static_cast<void>(device);
    switch (static_cast<DWORD>(error)) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return "There is no port " + port +
                   " on this computer. Plug in the instrument's cable, or choose another port "
                   "(the Device Manager lists them under Ports).";
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case 0:
            // Windows refuses a port that another program holds as access denied.
            return busyText;
        default: {
            char text[256] = {};
            FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(error), 0, text, sizeof text, nullptr);
            std::string reason = text;
            while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                                       reason.back() == ' ' || reason.back() == '.')) {
                reason.pop_back();
            }
            return "The port " + port + " could not be opened: " + reason + ".";
        }
    }
#else
    const std::string port = named(portName, device);
    switch (error) {
        case 0:
        case EBUSY:
        case EWOULDBLOCK:  // another program holds the lock
            return busyText;
        case EACCES:
        case EPERM: {
            const std::string group = deviceGroup(device.empty() ? portName : device);
            return "You have no permission to use " + port + ". Join the " + group +
                   " group, then log out and in again:\nsudo usermod -aG " + group + " $USER";
        }
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return "There is no device " + port +
                   ". Plug in the instrument's cable, or choose another port.";
        case ENOTTY:
            return port + " is not a serial port. Choose another port.";
        default:
            return "The port " + port + " could not be opened: " + std::strerror(error) + ".";
    }
#endif
}

}  // namespace vantor
