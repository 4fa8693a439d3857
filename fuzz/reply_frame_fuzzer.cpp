// The checks of the instrument's short and long reply frames on any bytes,
// for any command: they never read past what arrived, and a frame they pass
// lies within it.

#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "link/InstrumentLink.h"

using vantor::InstrumentLink;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // The command and the count of its characters the check covers, then
    // what arrived, in a buffer of exactly its size.
    const std::size_t commandLength = data[0] % 16;
    const std::size_t covered = data[1];
    data += 2;
    size -= 2;
    const std::size_t taken = std::min(commandLength, size);
    const std::string command(reinterpret_cast<const char*>(data), taken);
    const std::vector<std::uint8_t> reply(data + taken, data + size);

    if (InstrumentLink::checkShortReply(reply.data(), reply.size(), command.c_str(), covered)) {
        FUZZ_CHECK(reply.size() >= 3 && reply[0] <= reply.size());
    }
    if (InstrumentLink::checkLongReply(reply.data(), reply.size(), command.c_str(), covered)) {
        FUZZ_CHECK(reply.size() >= 5 &&
                   static_cast<std::size_t>(reply[0] << 8 | reply[1]) <= reply.size());
    }
    return 0;
}
