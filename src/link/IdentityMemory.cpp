#include "link/IdentityMemory.h"

#include <map>
#include <mutex>

namespace vantor {

namespace {

std::mutex& identityMutex() {
    static std::mutex m;
    return m;
}

std::map<std::string, InstrumentIdentity>& identities() {
    static std::map<std::string, InstrumentIdentity> m;
    return m;
}

// Single-byte text from the instrument; anything unprintable shows as "?".
std::string printable(const std::uint8_t* bytes, std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        out += bytes[i] >= 0x20 && bytes[i] < 0x7F ? static_cast<char>(bytes[i]) : '?';
    }
    return out;
}

}  // namespace

InstrumentIdentity identityFromReply(const std::array<std::uint8_t, 35>& reply) {
    InstrumentIdentity id;
    id.serial = printable(reply.data() + 18, 3);
    id.version = printable(reply.data() + 22, 1) + "." + printable(reply.data() + 23, 1);
    id.type = reply[32];
    return id;
}

void rememberIdentity(const std::string& portName, const InstrumentIdentity& identity) {
    const std::lock_guard lock(identityMutex());
    identities()[portName] = identity;
}

std::optional<InstrumentIdentity> rememberedIdentity(const std::string& portName) {
    const std::lock_guard lock(identityMutex());
    const auto it = identities().find(portName);
    if (it == identities().end()) return std::nullopt;
    return it->second;
}

void forgetRememberedIdentities() {
    const std::lock_guard lock(identityMutex());
    identities().clear();
}

}  // namespace vantor
