// The navpoint file reader on any file, and the round trip of what it read:
// written out and read again it is the same table, and written once more the
// same bytes.

#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "navpoints/NavpointFile.h"

namespace {

using vantor::kNavpointNameLength;
using vantor::Navpoint;
using vantor::NavpointTable;

std::string padded(std::string_view text) {
    std::string s(text);
    if (s.size() < kNavpointNameLength) s.resize(kNavpointNameLength, ' ');
    return s;
}

// No position is ever the "unknown" value, and the texts keep to their fields.
void checkRead(const NavpointTable& table) {
    FUZZ_CHECK(table.count >= 0 && table.count <= static_cast<int>(vantor::kNavpointTableSize));
    for (int i = 0; i < table.count; ++i) {
        const Navpoint& p = table.entries[static_cast<std::size_t>(i)];
        FUZZ_CHECK(p.latitude != 0xFFFFFFFFu && p.longitude != 0xFFFFFFFFu);
        FUZZ_CHECK(p.nameText().size() <= kNavpointNameLength);
        FUZZ_CHECK(p.commentText().size() <= kNavpointNameLength);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static vantor::fuzz::MemoryFile input("navpoints-in");
    static vantor::fuzz::MemoryFile written("navpoints-out");
    static vantor::fuzz::MemoryFile rewritten("navpoints-again");
    static const auto first = std::make_unique<NavpointTable>();
    static const auto second = std::make_unique<NavpointTable>();

    input.assign(data, size);
    // Stale entries of an earlier input must not stand in for missing ones.
    first->count = 7;
    const auto read = vantor::readNavpointFile(input.path(), *first);
    FUZZ_CHECK(read.read);
    FUZZ_CHECK(read.skipped >= 0);
    checkRead(*first);

    FUZZ_CHECK(vantor::writeNavpointFile(written.path(), *first));
    second->count = 3;
    const auto again = vantor::readNavpointFile(written.path(), *second);
    FUZZ_CHECK(again.read);
    FUZZ_CHECK(again.skipped == 0);
    FUZZ_CHECK(second->count == first->count);
    for (int i = 0; i < first->count; ++i) {
        const Navpoint& a = first->entries[static_cast<std::size_t>(i)];
        const Navpoint& b = second->entries[static_cast<std::size_t>(i)];
        FUZZ_CHECK(a.latitude == b.latitude);
        FUZZ_CHECK(a.longitude == b.longitude);
        FUZZ_CHECK(a.altitude == b.altitude);
        FUZZ_CHECK(a.number == b.number);
        // W and R are not written to files.
        FUZZ_CHECK((a.attributes & 0xFF) == b.attributes);
        // Names and comments come back padded to their 12 characters.
        FUZZ_CHECK(padded(a.nameText()) == b.nameText());
        FUZZ_CHECK(padded(a.commentText()) == b.commentText());
    }

    FUZZ_CHECK(vantor::writeNavpointFile(rewritten.path(), *second));
    FUZZ_CHECK(written.contents() == rewritten.contents());
    return 0;
}
