// The IGC reader on any bytes: from memory and from a file it reads the same,
// what it returns holds together, and the summary and its text are sound.

#include <cmath>
#include <filesystem>
#include <string_view>

#include "FuzzSupport.h"
#include "logs/IgcFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const vantor::IgcReadResult read = vantor::parseIgc(text);

    static vantor::fuzz::MemoryFile file("igc");
    file.assign(data, size);
    const vantor::IgcReadResult fromFile = vantor::readIgcFile(std::filesystem::path(file.path()));
    FUZZ_CHECK(fromFile.file.has_value() == read.file.has_value());
    FUZZ_CHECK(fromFile.error == read.error);

    if (!read.file) {
        FUZZ_CHECK(!read.error.empty());
        return 0;
    }
    const vantor::IgcFile& igc = *read.file;
    FUZZ_CHECK(!igc.fixes.empty() && igc.manufacturer.size() == 3 && igc.serial.size() <= 3);
    FUZZ_CHECK(fromFile.file->fixes.size() == igc.fixes.size());
    std::int64_t previous = igc.fixes.front().time;
    for (const vantor::IgcFix& fix : igc.fixes) {
        FUZZ_CHECK(fix.latitude >= -90 && fix.latitude <= 90);
        FUZZ_CHECK(fix.longitude >= -180 && fix.longitude <= 180);
        FUZZ_CHECK(fix.time >= 0 && fix.time > previous - 86400 / 2 - 1);
        FUZZ_CHECK(!fix.pressureAltitude || *fix.pressureAltitude != 0);
        FUZZ_CHECK(fix.record.size() >= 35 && fix.record[0] == 'B');
        for (const auto& extension : igc.extensions) {
            const auto value = igc.extensionValue(fix, extension);
            FUZZ_CHECK(value.empty() || value.size() == static_cast<std::size_t>(
                                                            extension.last - extension.first + 1));
        }
        previous = fix.time;
    }
    for (const auto& extension : igc.extensions) {
        FUZZ_CHECK(extension.first > 35 && extension.last >= extension.first);
        FUZZ_CHECK(extension.code.size() == 3);
    }
    const vantor::FlightSummary summary = vantor::summarizeFlight(igc);
    FUZZ_CHECK(summary.fixes == igc.fixes.size() && summary.duration >= 0);
    FUZZ_CHECK(std::isfinite(summary.trackKm) && summary.trackKm >= 0);
    const std::string lines = vantor::formatFlightSummary(summary);
    std::size_t count = 0;
    for (char c : lines) count += c == '\n';
    FUZZ_CHECK(count == 8 && lines.back() == '\n');
    return 0;
}
