// One line of a navpoint file, with no file around it, so that the line
// grammar gets many more tries than the whole reader can give it: an accepted
// line has a position and texts within their fields, and its line as the
// program writes it reads back to the same navpoint and is written alike.

#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "navpoints/NavpointFile.h"

namespace {

std::string padded(std::string_view text) {
    std::string s(text);
    if (s.size() < vantor::kNavpointNameLength) s.resize(vantor::kNavpointNameLength, ' ');
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The reader hands over at most this much of a line, without its line feed.
    if (size > vantor::kMaxNavpointLine) return 0;
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const auto p = vantor::parseNavpointLine(line);
    if (!p) return 0;
    FUZZ_CHECK(p->latitude <= 2 * vantor::kEquator && p->longitude <= 2 * vantor::kPrimeMeridian);
    FUZZ_CHECK(p->nameText().size() <= vantor::kNavpointNameLength);
    FUZZ_CHECK(p->commentText().size() <= vantor::kNavpointNameLength);

    const std::string written = vantor::formatNavpointLine(*p);
    FUZZ_CHECK(written.size() >= 2 && written.compare(written.size() - 2, 2, "\r\n") == 0);
    const auto back =
        vantor::parseNavpointLine(std::string_view(written).substr(0, written.size() - 1));
    FUZZ_CHECK(back);
    FUZZ_CHECK(back->latitude == p->latitude && back->longitude == p->longitude);
    FUZZ_CHECK(back->altitude == p->altitude && back->number == p->number);
    FUZZ_CHECK(back->attributes == (p->attributes & 0xFF));
    FUZZ_CHECK(back->nameText() == padded(p->nameText()));
    FUZZ_CHECK(back->commentText() == padded(p->commentText()));
    FUZZ_CHECK(vantor::formatNavpointLine(*back) == written);
    return 0;
}
