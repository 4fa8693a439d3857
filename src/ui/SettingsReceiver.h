#pragma once

#include <cstdint>
#include <string>

namespace vantor {

// A function dialog that talks to the instrument: it keeps its own copy of
// the port name, handed to it whenever the settings change. Only the flight
// logs dialog uses the minimum flight log time.
class SettingsReceiver {
public:
    virtual ~SettingsReceiver() = default;
    virtual void receiveSettings(const std::string& portName,
                                 std::uint32_t minFlightLogTimeMinutes) = 0;
};

}  // namespace vantor
