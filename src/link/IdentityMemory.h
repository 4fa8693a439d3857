#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace vantor {

// What the instrument on a port last said of itself in this process, for the
// main window to show. Thread-safe: transfers run on workers.
struct InstrumentIdentity {
    std::string serial;   // three characters, as in log file names
    std::string version;  // firmware version, "2.4"
    int type = 0;
};

// From an identity reply (frame bytes: serial 18-20, version 22-23, type 32).
InstrumentIdentity identityFromReply(const std::array<std::uint8_t, 35>& reply);

void rememberIdentity(const std::string& portName, const InstrumentIdentity& identity);
std::optional<InstrumentIdentity> rememberedIdentity(const std::string& portName);
void forgetRememberedIdentities();

}  // namespace vantor
