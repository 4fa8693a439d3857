#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "records/PilotPreferences.h"

namespace vantor {

class InstrumentLink;
class Prompts;

// The glider record the instrument keeps: type, identification, polar values,
// masses, wing area and the configuration lock.
struct GliderPolar {
    static constexpr std::size_t kTextLength = 12;     // type and identification
    static constexpr std::size_t kWingAreaLength = 6;  // the wing area as shown
    static constexpr std::size_t kBlockSize = 38;      // bytes of the instrument's data block
    // The instrument keeps the glide ratio and the two speeds in a byte each,
    // the masses and the wing area in 16 bits.
    static constexpr std::int32_t kMaxByteField = 255;
    static constexpr std::int32_t kMaxWordField = 65535;

    std::string gliderType = "ASW-20      ";
    std::string gliderId = "asw         ";
    std::int32_t bestGlide = 40;
    std::int32_t bestGlideSpeed = 100;
    std::int32_t v2Speed = 175;
    std::int32_t dryWeight = 350;
    std::int32_t waterLitres = 100;
    std::string wingAreaText = "10.5";
    std::int32_t wingArea = 10500;  // thousandths of a square metre
    std::uint16_t lockFlags = 0xFFFF;

    // Bit 0 clear means locked; the other bits are carried unchanged.
    bool locked() const { return (lockFlags & 1) == 0; }
    void setLocked(bool locked);

    bool operator==(const GliderPolar&) const = default;
};

// Type and identification as the record and the file carry them: the first
// 12 characters, padded with blanks to 12.
std::string paddedText(std::string_view text);
// The "g," record text.
std::string formatGliderRecord(const GliderPolar& polar);
// The ".plr" line, line feed included.
std::string formatPolarLine(const GliderPolar& polar);
// "10.500" for 10500: whole square metres, a point and three digits.
std::string formatWingAreaText(std::int32_t wingArea);
// Decodes the instrument's 38-byte data block. A shorter block changes nothing
// and gives false.
bool decodeGliderBlock(GliderPolar& polar, std::span<const std::uint8_t> block);
// Parses a ".plr" text. The lock is not in the file; a text that ends early
// leaves the fields it does not reach, and the wing area is taken only when
// the text goes on after it. A number the instrument's field cannot hold
// refuses the whole text: false, the values unchanged, and the number in
// `refused` when given.
bool parsePolarText(GliderPolar& polar, std::string_view text, FieldOutOfRange* refused = nullptr);
// Reads wingAreaText with the decimal-text reader, cleaning it. When nothing
// was dropped, sets wingArea and gives true; otherwise wingArea is kept.
bool takeWingAreaText(GliderPolar& polar);

// Fetches the glider over the text upload sequence, with the messages of each
// failure, owned by `owner`. True when the values came from the instrument;
// otherwise they keep their previous contents.
bool fetchGlider(InstrumentLink& link, Prompts& prompts, const std::string& portName,
                 GliderPolar& polar, const void* owner = nullptr);
// Sends the "g," record over the record download sequence. True when
// "Success" was reported.
bool sendGlider(InstrumentLink& link, Prompts& prompts, const std::string& portName,
                const GliderPolar& polar, const void* owner = nullptr);

}  // namespace vantor
