// The ".plr" reader on any file: a refused file leaves the values whole and
// names a number outside its bounds; an accepted one keeps its texts within
// 12 characters and, saved and loaded again, gives the same values.

#include <string>

#include "FuzzSupport.h"
#include "records/GliderPolar.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static vantor::fuzz::MemoryFile file("plr");
    file.assign(data, size);
    const auto text = vantor::readRecordFile(file.path());
    FUZZ_CHECK(text);
    FUZZ_CHECK(text->size() == std::min(size, vantor::kMaxRecordFileBytes));

    vantor::GliderPolar polar;
    const vantor::GliderPolar before = polar;
    vantor::FieldOutOfRange refused{1, 2, 3};
    if (!vantor::parsePolarText(polar, *text, &refused)) {
        FUZZ_CHECK(polar == before);
        FUZZ_CHECK(refused.lower == 0 && (refused.value < 0 || refused.value > refused.upper));
        return 0;
    }
    FUZZ_CHECK(polar.gliderType.size() <= vantor::GliderPolar::kTextLength);
    FUZZ_CHECK(polar.gliderId.size() <= vantor::GliderPolar::kTextLength);
    FUZZ_CHECK(polar.bestGlide >= 0 && polar.bestGlide <= 255);
    FUZZ_CHECK(polar.bestGlideSpeed >= 0 && polar.bestGlideSpeed <= 255);
    FUZZ_CHECK(polar.v2Speed >= 0 && polar.v2Speed <= 255);
    FUZZ_CHECK(polar.dryWeight >= 0 && polar.dryWeight <= 65535);
    FUZZ_CHECK(polar.waterLitres >= 0 && polar.waterLitres <= 65535);
    FUZZ_CHECK(polar.wingArea >= 0 && polar.wingArea <= 65535);
    FUZZ_CHECK(polar.lockFlags == before.lockFlags);

    // The masses stand in five characters with their blank: four digits.
    if (polar.dryWeight > 9999 || polar.waterLitres > 9999) return 0;
    const std::string saved = vantor::formatPolarLine(polar);
    vantor::GliderPolar loaded;
    FUZZ_CHECK(vantor::parsePolarText(loaded, saved));
    vantor::GliderPolar expected = polar;
    expected.gliderType = vantor::paddedText(polar.gliderType);
    expected.gliderId = vantor::paddedText(polar.gliderId);
    FUZZ_CHECK(loaded == expected);
    return 0;
}
