#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vantor {

// The pilot preferences record the instrument keeps: the pilot's name, the
// display units and the configuration values, in the order of every encoding.
struct PilotPreferences {
    static constexpr std::size_t kNameLength = 24;
    static constexpr std::size_t kBlockSize = 50;  // bytes of the instrument's data block

    std::array<char, kNameLength + 1> pilotName{};  // zero-terminated
    std::uint8_t auxByte1 = 1;
    std::uint8_t celsiusFlag = 1;
    std::uint8_t sinkTone = 1;
    std::uint8_t auxByte2 = 0;
    std::uint8_t auxByte3 = 0;
    std::uint8_t auxByte4 = 100;
    std::uint16_t approachRadius = 1000;
    std::uint16_t arrivalRadius = 400;
    std::uint16_t loggingInterval = 4;
    std::uint16_t auxWord1 = 1;
    std::uint16_t auxWord2 = 5;
    std::uint16_t auxWord3 = 100;
    std::uint8_t stfDeadband = 102;
    std::uint8_t varioOptions = 255;
    std::uint16_t unitFlags = 0xFF5F;
    std::uint16_t goalHeight = 3000;

    PilotPreferences();
    std::string name() const;
    void setName(std::string_view name);  // cut to 24 characters

    bool operator==(const PilotPreferences&) const = default;
};

// The "o," record text: the name up to its terminator, then fields 2 to 17.
std::string formatRecord(const PilotPreferences& record);
// What a send changes in the record before it formats it.
void adjustForSend(PilotPreferences& record);
// Decodes the instrument's 50-byte data block. A shorter block changes nothing
// and gives false.
bool decodeBlock(PilotPreferences& record, std::span<const std::uint8_t> block);
// A number of a record file that its field in the instrument cannot hold.
struct FieldOutOfRange {
    long long value = 0;
    long long lower = 0;
    long long upper = 0;
};
// What the user is told when a file is refused for such a number.
std::string outOfRangeText(const FieldOutOfRange& field);

// Parses a ".ppf" line into the record. Units and goal height are not read; a
// text that ends early or is malformed leaves the fields it does not reach.
// A number its field cannot hold refuses the whole text: false, the record
// unchanged, and the number in `refused` when given.
bool parseFileText(PilotPreferences& record, std::string_view text,
                   FieldOutOfRange* refused = nullptr);

// The file readers take at most this many bytes of a file.
inline constexpr std::size_t kMaxRecordFileBytes = 255;
// The first bytes of a file (at most kMaxRecordFileBytes), or nothing when it
// cannot be opened.
std::optional<std::string> readRecordFile(const std::string& path);
// Creates or truncates the file and writes text; false when that fails.
bool writeRecordFile(const std::string& path, std::string_view text);

namespace detail {
// A decimal integer from at most `limit` characters of text starting at `at`
// and before the next comma: leading white space and one sign accepted, no
// digits give 0. `at` is moved past the characters taken.
long long takeNumber(std::string_view text, std::size_t& at, std::size_t limit);
}  // namespace detail

}  // namespace vantor
