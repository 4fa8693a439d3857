// The glider block from the instrument, of any length: a short one changes
// nothing, a whole one gives texts within their 12 characters and record and
// file lines that are never cut.

#include <span>

#include "FuzzSupport.h"
#include "records/GliderPolar.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> block(data, size);
    vantor::GliderPolar polar;
    const vantor::GliderPolar before = polar;
    const bool decoded = vantor::decodeGliderBlock(polar, block);
    FUZZ_CHECK(decoded == (size >= vantor::GliderPolar::kBlockSize));
    if (!decoded) {
        FUZZ_CHECK(polar == before);
        return 0;
    }
    FUZZ_CHECK(polar.gliderType.size() <= vantor::GliderPolar::kTextLength);
    FUZZ_CHECK(polar.gliderId.size() <= vantor::GliderPolar::kTextLength);
    FUZZ_CHECK(polar.gliderType.find('\0') == std::string::npos);
    FUZZ_CHECK(polar.gliderId.find('\0') == std::string::npos);
    FUZZ_CHECK(polar.bestGlide <= 255 && polar.bestGlideSpeed <= 255 && polar.v2Speed <= 255);
    FUZZ_CHECK(polar.dryWeight <= 65535 && polar.waterLitres <= 65535 && polar.wingArea <= 65535);

    // Both lines end as written, so nothing was cut from them.
    const std::string record = vantor::formatGliderRecord(polar);
    FUZZ_CHECK(record.size() < 159);
    const std::string line = vantor::formatPolarLine(polar);
    FUZZ_CHECK(line.size() < 159 && line.back() == '\n');
    // The wing area as the dialog shows it reads back to the same value.
    const std::int32_t area = polar.wingArea;
    polar.wingAreaText = vantor::formatWingAreaText(area);
    FUZZ_CHECK(vantor::takeWingAreaText(polar));
    FUZZ_CHECK(polar.wingArea == area);
    return 0;
}
