// A navpoint record from the instrument, and the lines the program makes of
// it for the instrument and for files.

#include <algorithm>
#include <array>
#include <cstring>

#include "FuzzSupport.h"
#include "navpoints/NavpointFile.h"
#include "navpoints/NavpointTransfer.h"

namespace {

// The text of a fixed field: up to its first zero, at most the field.
std::string_view fieldText(const std::uint8_t* at) {
    const auto* text = reinterpret_cast<const char*>(at);
    return {text, static_cast<std::size_t>(
                      std::find(text, text + vantor::kNavpointNameLength, '\0') - text)};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A record is read whole into its buffer; a short input leaves zeros.
    std::array<std::uint8_t, vantor::kNavpointRecordSize> record{};
    std::memcpy(record.data(), data, std::min(size, record.size()));

    const vantor::Navpoint p = vantor::decodeNavpointRecord(record);
    FUZZ_CHECK(p.nameText() == fieldText(record.data() + 14));
    FUZZ_CHECK(p.commentText() == fieldText(record.data() + 26));
    FUZZ_CHECK(p.name.back() == '\0' && p.comment.back() == '\0');

    // Every coordinate has its fixed width in both forms, whatever its value.
    using vantor::CoordinateForm;
    FUZZ_CHECK(vantor::formatCoordinate(p.latitude, true, CoordinateForm::Instrument).size() == 10);
    FUZZ_CHECK(vantor::formatCoordinate(p.longitude, false, CoordinateForm::Instrument).size() ==
               11);
    FUZZ_CHECK(vantor::formatCoordinate(p.latitude, true, CoordinateForm::File).size() == 11);
    FUZZ_CHECK(vantor::formatCoordinate(p.longitude, false, CoordinateForm::File).size() == 12);

    FUZZ_CHECK(vantor::navpointCommandLine("c", 1499, p).size() <= 249);
    FUZZ_CHECK(vantor::navpointCommandLine("!n", 0, p).size() <= 249);
    const std::string line = vantor::formatNavpointLine(p);
    FUZZ_CHECK(line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0);
    return 0;
}
