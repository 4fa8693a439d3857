// The CUP reader on any text, and the round trip of what it read: written
// out and read again it is the same table to the written decimals, and
// written once more the same bytes.

#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "navpoints/CupFile.h"

namespace {

using vantor::kNavpointNameLength;
using vantor::Navpoint;
using vantor::NavpointTable;

std::string_view trimmed(std::string_view text) {
    const std::size_t begin = text.find_first_not_of(' ');
    if (begin == std::string_view::npos) return {};
    return text.substr(begin, text.find_last_not_of(' ') - begin + 1);
}

// Texts are what the instrument shows, and a name carries no comma into its lines.
void checkText(std::string_view text, bool name) {
    FUZZ_CHECK(!text.empty() && text.size() <= kNavpointNameLength);
    for (char c : text) {
        FUZZ_CHECK(c >= 0x20 && c < 0x7F && !(c >= 'a' && c <= 'z'));
        FUZZ_CHECK(!name || c != ',');
    }
}

bool near(std::uint32_t a, std::uint32_t b) {
    return (a > b ? a - b : b - a) <= 5;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static vantor::fuzz::MemoryFile written("cup-out");
    static vantor::fuzz::MemoryFile rewritten("cup-again");
    static const auto first = std::make_unique<NavpointTable>();
    static const auto second = std::make_unique<NavpointTable>();

    // A text without waypoints must leave the table as it was.
    first->count = 1;
    first->entries[0].setName("KEPT");
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto read = vantor::parseCupText(text, *first);
    FUZZ_CHECK(read.read);
    FUZZ_CHECK(read.skipped >= 0 && read.waypoints >= 0);
    if (read.waypoints == 0) {
        FUZZ_CHECK(first->count == 1 && first->entries[0].nameText() == "KEPT");
        first->count = 0;
    }
    FUZZ_CHECK(first->count == read.waypoints);
    FUZZ_CHECK(first->count <= static_cast<int>(vantor::kNavpointTableSize));
    for (int i = 0; i < first->count; ++i) {
        const Navpoint& p = first->entries[static_cast<std::size_t>(i)];
        FUZZ_CHECK(p.latitude <= 2 * vantor::kEquator && p.longitude <= 2 * vantor::kPrimeMeridian);
        FUZZ_CHECK(p.attributes == 0x001 || p.attributes == 0x008 || p.attributes == 0x00A);
        checkText(p.nameText(), true);
        checkText(p.commentText(), false);
    }
    for (const auto& task : read.tasks) {
        FUZZ_CHECK(task.names.size() == task.points.size());
        for (int entry : task.points) FUZZ_CHECK(entry >= -1 && entry < first->count);
        std::string problem;
        const auto declaration = vantor::cupTaskDeclaration(task, *first, problem);
        FUZZ_CHECK(declaration.has_value() == problem.empty());
        FUZZ_CHECK(!declaration || declaration->count == static_cast<int>(task.points.size()));
    }

    FUZZ_CHECK(vantor::writeCupFile(written.path(), *first));
    second->count = 3;
    const auto again = vantor::readCupFile(written.path(), *second);
    FUZZ_CHECK(again.read);
    FUZZ_CHECK(again.skipped == 0);
    FUZZ_CHECK(again.tasks.empty());
    if (first->count == 0) return 0;
    FUZZ_CHECK(second->count == first->count);
    for (int i = 0; i < first->count; ++i) {
        const Navpoint& a = first->entries[static_cast<std::size_t>(i)];
        const Navpoint& b = second->entries[static_cast<std::size_t>(i)];
        // Three decimals of the minute are written, four kept.
        FUZZ_CHECK(near(a.latitude, b.latitude));
        FUZZ_CHECK(near(a.longitude, b.longitude));
        FUZZ_CHECK(a.altitude == b.altitude);
        FUZZ_CHECK(a.attributes == b.attributes);
        FUZZ_CHECK(trimmed(a.nameText()) == trimmed(b.nameText()));
        FUZZ_CHECK(trimmed(a.commentText()) == trimmed(b.commentText()));
    }
    FUZZ_CHECK(vantor::writeCupFile(rewritten.path(), *second));
    const auto bytes = rewritten.contents();
    // Read back once more, it writes itself.
    FUZZ_CHECK(vantor::readCupFile(rewritten.path(), *first).waypoints == second->count);
    FUZZ_CHECK(vantor::writeCupFile(written.path(), *first));
    FUZZ_CHECK(written.contents() == bytes);
    return 0;
}
