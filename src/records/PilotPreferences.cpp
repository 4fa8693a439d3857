#include "records/PilotPreferences.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <limits>

namespace vantor {

PilotPreferences::PilotPreferences() {
    setName("Default Pilot           ");
}

std::string PilotPreferences::name() const {
    return std::string(pilotName.data());
}

void PilotPreferences::setName(std::string_view name) {
    pilotName.fill('\0');
    std::copy_n(name.begin(), std::min(name.size(), kNameLength), pilotName.begin());
}

std::string formatRecord(const PilotPreferences& r) {
    char text[128];
    std::snprintf(text, sizeof text, "o,%s,%u,%u,%u,%u,%u,%u,%u,%u,%u,%u,%u,%u,%u,%u,%u,%u",
                  r.pilotName.data(), r.auxByte1, r.celsiusFlag, r.sinkTone, r.auxByte2, r.auxByte3,
                  r.auxByte4, r.approachRadius, r.arrivalRadius, r.loggingInterval, r.auxWord1,
                  r.auxWord2, r.auxWord3, r.stfDeadband, r.varioOptions, r.unitFlags, r.goalHeight);
    return text;
}

void adjustForSend(PilotPreferences& r) {
    if (r.loggingInterval > 60) r.loggingInterval = 4;
    if (r.auxWord1 > 32) r.auxWord1 = 4;
    r.auxWord2 = 5;
    r.auxWord3 = 100;
    r.auxByte1 = 0;
}

bool decodeBlock(PilotPreferences& r, std::span<const std::uint8_t> b) {
    if (b.size() < PilotPreferences::kBlockSize) return false;
    auto word = [&b](std::size_t at) { return static_cast<std::uint16_t>(b[at] << 8 | b[at + 1]); };
    std::copy_n(b.begin(), PilotPreferences::kNameLength, r.pilotName.begin());
    r.pilotName[PilotPreferences::kNameLength] = '\0';
    r.auxByte1 = b[24];
    r.celsiusFlag = b[25];
    r.sinkTone = b[26];
    r.auxByte2 = b[27];
    r.auxByte3 = b[28];
    r.auxByte4 = b[29];
    r.approachRadius = word(30);
    r.arrivalRadius = word(32);
    r.loggingInterval = word(34);
    r.auxWord1 = word(36);
    r.auxWord2 = word(38);
    r.auxWord3 = word(40);
    r.stfDeadband = b[42];
    r.varioOptions = b[43];
    r.unitFlags = word(44);
    r.goalHeight = word(48);
    return true;
}

namespace detail {

long long takeNumber(std::string_view text, std::size_t& at, std::size_t limit) {
    const std::size_t comma = text.find(',', at);
    const std::size_t end =
        std::min({comma == text.npos ? text.size() : comma, text.size(), at + limit});
    std::size_t i = at;
    while (i < end && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < end && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < end && text[i] >= '0' && text[i] <= '9'; ++i) value = value * 10 + (text[i] - '0');
    at = end;
    return negative ? -value : value;
}

}  // namespace detail

std::string outOfRangeText(const FieldOutOfRange& f) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "The file was not loaded: it holds %lld where the instrument keeps only %lld "
                  "to %lld.",
                  f.value, f.lower, f.upper);
    return text;
}

bool parseFileText(PilotPreferences& record, std::string_view text, FieldOutOfRange* refused) {
    text = text.substr(0, text.find('\0'));  // the text ends at its terminator
    // Parsed into a copy, so that a refused file leaves the record whole.
    PilotPreferences r = record;
    // The line starts with "o,", which is not looked at.
    std::size_t at = 2;
    if (at >= text.size()) return true;
    const std::size_t comma = text.find(',', at);
    const std::size_t nameEnd = comma == text.npos ? text.size() : comma;
    r.setName(
        text.substr(at, std::min<std::size_t>(nameEnd - at, PilotPreferences::kNameLength - 1)));
    at = nameEnd + 1;

    // A number is never cut to its field: the instrument would get another value.
    std::optional<FieldOutOfRange> outside;
    auto field = [&]<typename Field>(Field& value, std::size_t limit) {
        if (outside || at >= text.size()) return;
        const long long v = detail::takeNumber(text, at, limit);
        constexpr long long kUpper = std::numeric_limits<Field>::max();
        if (v < 0 || v > kUpper) {
            outside = FieldOutOfRange{v, 0, kUpper};
            return;
        }
        value = static_cast<Field>(v);
        ++at;  // the comma
    };
    field(r.auxByte1, 3);
    field(r.celsiusFlag, 3);
    field(r.sinkTone, 3);
    field(r.auxByte2, 3);
    field(r.auxByte3, 3);
    field(r.auxByte4, 5);
    field(r.approachRadius, 7);
    field(r.arrivalRadius, 7);
    field(r.loggingInterval, 4);
    field(r.auxWord1, 4);
    field(r.auxWord2, 4);
    field(r.auxWord3, 5);
    field(r.stfDeadband, 3);
    field(r.varioOptions, 3);
    // unitFlags and goalHeight follow in the line; a file never sets them.
    if (outside) {
        if (refused) *refused = *outside;
        return false;
    }
    record = r;
    return true;
}

std::optional<std::string> readRecordFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text(kMaxRecordFileBytes, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

bool writeRecordFile(const std::string& path, std::string_view text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    return static_cast<bool>(out);
}

}  // namespace vantor
