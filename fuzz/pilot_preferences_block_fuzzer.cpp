// The pilot preferences block from the instrument, of any length: a short one
// changes nothing, a whole one gives a name within its 24 characters and a
// record text that is never cut.

#include <span>

#include "FuzzSupport.h"
#include "records/PilotPreferences.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> block(data, size);
    vantor::PilotPreferences record;
    const vantor::PilotPreferences before = record;
    const bool decoded = vantor::decodeBlock(record, block);
    FUZZ_CHECK(decoded == (size >= vantor::PilotPreferences::kBlockSize));
    if (!decoded) {
        FUZZ_CHECK(record == before);
        return 0;
    }
    FUZZ_CHECK(record.name().size() <= vantor::PilotPreferences::kNameLength);
    FUZZ_CHECK(record.pilotName.back() == '\0');

    // The longest record text fits its buffer with room to spare.
    std::string text = vantor::formatRecord(record);
    FUZZ_CHECK(text.size() < 127);
    vantor::adjustForSend(record);
    text = vantor::formatRecord(record);
    FUZZ_CHECK(text.size() < 127);
    FUZZ_CHECK(record.loggingInterval <= 60 && record.auxWord1 <= 32);
    return 0;
}
