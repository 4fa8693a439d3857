// The ".ppf" reader on any file: a refused file leaves the record whole and
// names a number outside its bounds; an accepted one, saved and loaded again,
// gives the same record (its name cut to the 23 characters a file restores).

#include <string>

#include "FuzzSupport.h"
#include "records/PilotPreferences.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static vantor::fuzz::MemoryFile file("ppf");
    file.assign(data, size);
    const auto text = vantor::readRecordFile(file.path());
    FUZZ_CHECK(text);
    FUZZ_CHECK(text->size() == std::min(size, vantor::kMaxRecordFileBytes));
    FUZZ_CHECK(text->compare(0, text->size(), reinterpret_cast<const char*>(data), text->size()) ==
               0);

    vantor::PilotPreferences record;
    const vantor::PilotPreferences before = record;
    vantor::FieldOutOfRange refused{1, 2, 3};
    if (!vantor::parseFileText(record, *text, &refused)) {
        FUZZ_CHECK(record == before);
        FUZZ_CHECK(refused.lower == 0 && (refused.value < 0 || refused.value > refused.upper));
        FUZZ_CHECK(!vantor::outOfRangeText(refused).empty());
        return 0;
    }
    FUZZ_CHECK(record.name().size() <= vantor::PilotPreferences::kNameLength);
    FUZZ_CHECK(record.unitFlags == before.unitFlags && record.goalHeight == before.goalHeight);

    const std::string saved = vantor::formatRecord(record);
    vantor::PilotPreferences loaded;
    FUZZ_CHECK(vantor::parseFileText(loaded, saved));
    vantor::PilotPreferences expected = record;
    expected.setName(record.name().substr(0, vantor::PilotPreferences::kNameLength - 1));
    FUZZ_CHECK(loaded == expected);
    return 0;
}
