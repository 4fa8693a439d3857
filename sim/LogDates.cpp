// Flight logs moved to a chosen day and time: what a directory of several
// flights a day, listed newest first, is made of.

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "LogSigning.h"
#include "Simulator.h"

namespace vantor::sim {
namespace {

constexpr unsigned kDay = 24 * 3600;

unsigned secondsOf(const std::array<std::uint8_t, 6>& stamp) {
    return stamp[3] * 3600u + stamp[4] * 60u + stamp[5];
}

std::array<std::uint8_t, 6> stampOf(const SimDate& date, unsigned seconds) {
    return {static_cast<std::uint8_t>(date.year),         static_cast<std::uint8_t>(date.month),
            static_cast<std::uint8_t>(date.day),          static_cast<std::uint8_t>(seconds / 3600),
            static_cast<std::uint8_t>(seconds / 60 % 60), static_cast<std::uint8_t>(seconds % 60)};
}

bool digits(std::string_view line, std::size_t from, std::size_t n) {
    if (line.size() < from + n) return false;
    return std::all_of(line.begin() + static_cast<std::ptrdiff_t>(from),
                       line.begin() + static_cast<std::ptrdiff_t>(from + n),
                       [](char c) { return c >= '0' && c <= '9'; });
}

// Moves the HHMMSS at `at` by `shift` seconds within the day.
void shiftTime(std::string& line, std::size_t at, long shift) {
    if (!digits(line, at, 6)) return;
    const long s = std::stol(line.substr(at, 2)) * 3600 + std::stol(line.substr(at + 2, 2)) * 60 +
                   std::stol(line.substr(at + 4, 2));
    const long moved = ((s + shift) % kDay + kDay) % kDay;
    char text[8];
    std::snprintf(text, sizeof text, "%02ld%02ld%02ld", moved / 3600 % 100, moved / 60 % 60,
                  moved % 60);
    line.replace(at, 6, text, 6);
}

// The lines the instrument signs, as the security check reads them.
bool isSigned(std::string_view line) {
    if (line.size() >= 2 && line[0] == 'H') return line[1] != 'O' && line[1] != 'P';
    if (!line.empty() && line[0] == 'L') return line.substr(0, 4) == "LTVR";
    return line.empty() || line[0] != 'G';
}

}  // namespace

SimLog generateLogOn(std::size_t index, const InstrumentState& state, std::uint32_t seed,
                     const SimDate& date, unsigned startSeconds, const LogOptions& options) {
    LogOptions plain = options;
    plain.tamperFix = false;
    SimLog log = generateLog(index, state, seed, plain);
    const unsigned oldStart = secondsOf(log.start);
    const unsigned duration = (secondsOf(log.end) + kDay - oldStart) % kDay;
    const unsigned start = std::min(startSeconds, kDay - 1 - duration);
    const long shift = static_cast<long>(start) - static_cast<long>(oldStart);
    log.start = stampOf(date, start);
    log.end = stampOf(date, start + duration);

    char ddmmyy[8];
    std::snprintf(ddmmyy, sizeof ddmmyy, "%02u%02u%02u", date.day % 100, date.month % 100,
                  date.year % 100);
    std::string text;
    std::string signedText;
    std::size_t from = 0;
    while (from < log.igc.size()) {
        const std::size_t end = log.igc.find("\r\n", from);
        const std::size_t next = end == std::string::npos ? log.igc.size() : end + 2;
        std::string line = log.igc.substr(from, next - from);
        from = next;
        if (line.rfind("HFDTEDATE:", 0) == 0 && digits(line, 10, 6)) {
            line.replace(10, 6, ddmmyy, 6);
        } else if (line.rfind("HFDTE", 0) == 0 && digits(line, 5, 6)) {
            line.replace(5, 6, ddmmyy, 6);  // the older form
        } else if ((line[0] == 'B' || line[0] == 'E') && digits(line, 1, 6)) {
            shiftTime(line, 1, shift);
        } else if (line[0] == 'C' && digits(line, 1, 18)) {
            // The declaration: its date and time, then the flight's date.
            line.replace(1, 6, ddmmyy, 6);
            shiftTime(line, 7, shift);
            line.replace(13, 6, ddmmyy, 6);
        }
        if (isSigned(line)) signedText += line;
        text += line;
    }
    Signing signing;
    signing.status = options.status;
    signing.keyNumber =
        options.keyNumber.value_or(static_cast<std::uint16_t>((seed + index) % 1000));
    signing.nonce = (std::uint64_t{seed} << 32) ^
                    (std::uint64_t{date.year * 372 + date.month * 31 + date.day} << 16) ^ index;
    const std::string security = signatureLines(signedText, signing);
    log.igc = std::move(text);
    log.security.assign(security.begin(), security.end());
    return log;
}

void addNewestLog(InstrumentState& state, SimLog log) {
    state.logs.insert(state.logs.begin(), std::move(log));
    if (state.logs.size() > InstrumentState::kMaxLogs) state.logs.resize(InstrumentState::kMaxLogs);
}

}  // namespace vantor::sim
