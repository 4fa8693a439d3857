#pragma once

#include <cstdint>
#include <string>

#include "link/PortName.h"

namespace vantor {

// The folder "Download New" fills ("DownloadFolder"), empty when none was chosen.
std::string loadDownloadFolder();
void saveDownloadFolder(const std::string& folder);
// The folder file dialogs start in once the pilot has chosen a file ("LastFolder").
std::string loadLastFolder();
void saveLastFolder(const std::string& folder);

// The port name for a port number: "COM1:" … and "COM%d:" for any other number.
std::string portNameFor(std::int32_t comPort);

// The settings kept between runs: on Windows in the registry key
// HKEY_LOCAL_MACHINE\SOFTWARE\Tarvek\VantorUtil, elsewhere in the user's
// configuration for Tarvek/VantorUtil, which also holds the port map
// ("PortMap/COM1=/dev/ttyUSB0") that resolves port names to devices.
class AppSettings {
public:
    // True when "COMPORT" was read; a missing minimum time then reads as 5.
    bool load();
    // True when both values were written.
    bool save() const;
    // Loads; when that fails, takes port 1 and 5 minutes and saves them.
    void loadOrDefault();
    // The port a device choice names, else "COMn:" of the port number.
    void formPortName() { portName = portDevice.empty() ? portNameFor(comPort) : portDevice; }

    // Starts the communication log in the program's data folder (a file a
    // run, the newest few kept) when it is wanted and not yet running, and
    // stops it when it is not wanted.
    static void applyCommLog(bool wanted);

    // The rate the instrument last answered at on each port (link/RateMemory.h),
    // kept under "LinkRates" so that the next run looks there first. Loaded
    // once at start and saved at exit; a value that is no searched rate is
    // dropped on loading.
    static void loadLinkRates();
    static bool saveLinkRates();

    std::int32_t comPort = 1;
    std::uint32_t minFlightLogTime = 5;
    std::string portName = "COM1:";
    PortMap portMap;
    // A serial port chosen from those present ("PortDevice"); empty for a COM
    // choice. "COMPORT" keeps the last COM choice meanwhile.
    std::string portDevice;
    bool commLog = false;                // "CommLog"
    bool downloadWhenPluggedIn = false;  // "DownloadWhenPluggedIn"
};

}  // namespace vantor
