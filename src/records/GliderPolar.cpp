#include "records/GliderPolar.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <thread>
#include <vector>

#include "base/NumericHelpers.h"
#include "base/Prompts.h"
#include "link/InstrumentLink.h"
#include "records/PilotPreferences.h"

namespace vantor {

namespace {

// A text field of the file: up to the next comma or the end, cut to 12.
std::string takeText(std::string_view text, std::size_t& at) {
    const std::size_t comma = text.find(',', at);
    const std::size_t end = comma == text.npos ? text.size() : comma;
    std::string field(text.substr(at, std::min(end - at, GliderPolar::kTextLength)));
    at = end + 1;
    return field;
}

}  // namespace

void GliderPolar::setLocked(bool locked) {
    lockFlags = locked ? static_cast<std::uint16_t>(lockFlags & ~1u)
                       : static_cast<std::uint16_t>(lockFlags | 1u);
}

std::string paddedText(std::string_view text) {
    std::string out(text.substr(0, GliderPolar::kTextLength));
    out.resize(GliderPolar::kTextLength, ' ');
    return out;
}

std::string formatGliderRecord(const GliderPolar& p) {
    char text[160];
    std::snprintf(text, sizeof text, "g,%s,%s,%d,%d,%d,%d,%d,%d,%u,%d",
                  paddedText(p.gliderType).c_str(), paddedText(p.gliderId).c_str(), p.bestGlide,
                  p.bestGlideSpeed, p.v2Speed, p.dryWeight, p.waterLitres, 0,
                  static_cast<unsigned>(p.lockFlags), p.wingArea);
    return text;
}

std::string formatPolarLine(const GliderPolar& p) {
    char text[160];
    std::snprintf(text, sizeof text, "%s,%s, %d, %d, %d, %d, %d, %d, %05d\n",
                  paddedText(p.gliderType).c_str(), paddedText(p.gliderId).c_str(), p.bestGlide,
                  p.bestGlideSpeed, p.v2Speed, p.dryWeight, p.waterLitres, 0, p.wingArea);
    return text;
}

std::string formatWingAreaText(std::int32_t wingArea) {
    const long long v = wingArea;
    char text[32];
    std::snprintf(text, sizeof text, "%s%lld.%03lld", v < 0 ? "-" : "", std::llabs(v) / 1000,
                  std::llabs(v) % 1000);
    return text;
}

bool decodeGliderBlock(GliderPolar& p, std::span<const std::uint8_t> b) {
    if (b.size() < GliderPolar::kBlockSize) return false;
    auto word = [&b](std::size_t at) { return b[at] << 8 | b[at + 1]; };
    p.gliderType.assign(reinterpret_cast<const char*>(b.data()), GliderPolar::kTextLength);
    p.gliderId.assign(reinterpret_cast<const char*>(b.data()) + 12, GliderPolar::kTextLength);
    // The texts end at a terminator, as the instrument may pad with zeros.
    p.gliderType.resize(std::min(p.gliderType.find('\0'), p.gliderType.size()));
    p.gliderId.resize(std::min(p.gliderId.find('\0'), p.gliderId.size()));
    p.bestGlide = b[24];
    p.bestGlideSpeed = b[25];
    p.v2Speed = b[26];
    p.dryWeight = word(28);
    p.waterLitres = word(30);
    p.lockFlags = static_cast<std::uint16_t>(word(34));
    p.wingArea = word(36);
    return true;
}

bool parsePolarText(GliderPolar& polar, std::string_view text, FieldOutOfRange* refused) {
    text = text.substr(0, text.find('\0'));
    // Parsed into a copy, so that a refused file leaves the values whole.
    GliderPolar p = polar;
    std::optional<FieldOutOfRange> outside;
    auto commit = [&] {
        if (outside) {
            if (refused) *refused = *outside;
            return false;
        }
        polar = p;
        return true;
    };
    // A number is never cut to its field: the instrument would get another value.
    auto check = [&](long long v, std::int32_t upper) {
        if (v >= 0 && v <= upper) return true;
        outside = FieldOutOfRange{v, 0, upper};
        return false;
    };

    std::size_t at = 0;
    if (at >= text.size()) return commit();
    p.gliderType = takeText(text, at);
    if (at >= text.size()) return commit();
    p.gliderId = takeText(text, at);

    auto number = [&](std::int32_t* field, std::size_t limit, std::int32_t upper) {
        if (at >= text.size()) return false;
        const long long v = detail::takeNumber(text, at, limit);
        if (field) {
            if (!check(v, upper)) return false;
            *field = static_cast<std::int32_t>(v);
        }
        ++at;  // the comma
        return true;
    };
    constexpr std::int32_t kByte = GliderPolar::kMaxByteField;
    constexpr std::int32_t kWord = GliderPolar::kMaxWordField;
    if (!number(&p.bestGlide, 4, kByte) || !number(&p.bestGlideSpeed, 5, kByte) ||
        !number(&p.v2Speed, 5, kByte) || !number(&p.dryWeight, 5, kWord) ||
        !number(&p.waterLitres, 5, kWord) || !number(nullptr, 5, 0)) {
        return commit();
    }
    if (at >= text.size()) return commit();
    const long long area = detail::takeNumber(text, at, 6);
    // Only a line that goes on after the digits holds the whole wing area.
    if (at < text.size() && check(area, kWord)) p.wingArea = static_cast<std::int32_t>(area);
    return commit();
}

bool takeWingAreaText(GliderPolar& p) {
    std::array<char, GliderPolar::kWingAreaLength + 1> text{};
    std::copy_n(p.wingAreaText.begin(), std::min(p.wingAreaText.size(), text.size() - 1),
                text.begin());
    std::int32_t whole = 0;
    std::int32_t fraction = 0;
    const bool dropped = readDecimalText(text.data(), &whole, &fraction);
    p.wingAreaText = text.data();
    if (dropped) return false;
    p.wingArea = whole * 1000 + fraction;
    return true;
}

bool fetchGlider(InstrumentLink& link, Prompts& prompts, const std::string& portName,
                 GliderPolar& polar, const void* owner) {
    auto say = [&](const char* text, const char* caption) {
        prompts.message(text, caption, Buttons::Ok, Icon::None, owner);
    };
    WaitCursor wait(prompts);
    if (!openAndSync(link, prompts, portName, 1000, owner)) return false;
    if (!link.connectForUpload(portName, false)) return false;
    bool ok = false;
    int length = 0;
    if (link.queryGliderHeader(&length) < 0) {
        say("Can't get glider info.", "Error");
    } else {
        std::vector<std::uint8_t> block(static_cast<std::size_t>(length));
        if (!link.queryGliderData(block) || !decodeGliderBlock(polar, block)) {
            say("Can't get glider data.", "Error");
        } else {
            polar.wingAreaText = formatWingAreaText(polar.wingArea);
            ok = true;
        }
    }
    link.sync();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    link.close();
    return ok;
}

bool sendGlider(InstrumentLink& link, Prompts& prompts, const std::string& portName,
                const GliderPolar& polar, const void* owner) {
    auto say = [&](const char* text, const char* caption) {
        prompts.message(text, caption, Buttons::Ok, Icon::None, owner);
    };
    WaitCursor wait(prompts);
    if (!link.connectForDownload(portName)) return false;
    bool failed = false;
    if (!link.enterDownloadMode()) {
        say("Could not download.", "Error");
        failed = true;
    }
    std::string text = formatGliderRecord(polar);
    if (!link.sendRecord(text)) {
        say("Failed to transfer polar.", "Error");
        failed = true;
    }
    link.sync();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    link.close();
    if (failed) return false;
    say("Polar Transferred", "Success");
    return true;
}

}  // namespace vantor
