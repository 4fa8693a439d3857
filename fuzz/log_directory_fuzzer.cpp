// Directory entries from the instrument: the list lines made of them carry
// their whole label, and every log's short file name is 12 safe characters.

#include <algorithm>
#include <array>
#include <cstring>

#include "FuzzSupport.h"
#include "logs/LogDirectory.h"

namespace {

bool safeNameCharacter(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The serial as the identity gives it, the minimum log time, then the
    // entries as the directory blocks carry them.
    constexpr std::size_t kHead = 3 + 2;
    if (size < kHead) return 0;
    const char serial[4] = {static_cast<char>(data[0]), static_cast<char>(data[1]),
                            static_cast<char>(data[2]), '\0'};
    const std::int32_t minLogSeconds = (data[3] << 8 | data[4]) % (31 * 60 + 1);
    data += kHead;
    size -= kHead;

    static vantor::LogDirectory directory;
    directory.count = static_cast<int>(std::min<std::size_t>(
        size / vantor::LogDirectoryEntry::kWireSize, vantor::LogDirectory::kCapacity));
    for (int i = 0; i < directory.count; ++i) {
        auto& entry = directory.entries[static_cast<std::size_t>(i)];
        entry =
            vantor::LogDirectoryEntry::fromWire(data + vantor::LogDirectoryEntry::kWireSize * i);
        FUZZ_CHECK(entry.label.back() == '\0' && entry.labelText().size() <= 24);
        const std::string line = vantor::formatListLine(entry);
        FUZZ_CHECK(line.size() >= entry.labelText().size() &&
                   line.compare(line.size() - entry.labelText().size(), std::string::npos,
                                entry.labelText()) == 0);
    }

    const vantor::LogListing listing = vantor::buildListing(directory, minLogSeconds);
    FUZZ_CHECK(listing.lines.size() == std::max<std::size_t>(listing.listMap.size(), 1));
    for (const int index : listing.listMap) {
        FUZZ_CHECK(index >= 0 && index < directory.count);
    }

    for (int i = 0; i < directory.count; ++i) {
        for (const bool binary : {false, true}) {
            const std::string name =
                vantor::logShortFileName(directory, i, serial, minLogSeconds, binary);
            FUZZ_CHECK(name.size() == 12);
            FUZZ_CHECK(std::all_of(name.begin(), name.begin() + 8, safeNameCharacter));
            FUZZ_CHECK(name.compare(8, 4, binary ? ".TVK" : ".IGC") == 0);
        }
    }
    return 0;
}
