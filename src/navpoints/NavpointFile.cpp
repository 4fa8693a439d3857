#include "navpoints/NavpointFile.h"

#include <cstdio>
#include <memory>

#include "base/NumericHelpers.h"

namespace vantor {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Where the comma ending each of the first six fields must lie.
constexpr std::size_t kFieldCommaLimit = 100;

// Characters count as their distance from '0', digit or not; positions past
// the end of the field count as zero.
std::int64_t digitAt(std::string_view field, std::size_t i) {
    return i < field.size() ? static_cast<std::int64_t>(field[i]) - '0' : 0;
}

std::optional<std::uint32_t> parseCoordinate(std::string_view field, bool latitude) {
    if (field.size() > kMaxCoordinateField) return std::nullopt;
    const std::size_t k = latitude ? 0 : 1;
    std::int64_t v = 0;
    if (!latitude) v += digitAt(field, 0) * 60000000;
    v += ((digitAt(field, k) * 10 + digitAt(field, k + 1)) * 60 + digitAt(field, k + 3) * 10 +
          digitAt(field, k + 4)) *
         10000;
    const std::size_t after = k + 5;
    // The decimals present: the field's length beyond the longitude's extra digit.
    const auto length = static_cast<std::int64_t>(field.size()) - static_cast<std::int64_t>(k);
    if (after < field.size() && field[after] == '.') {
        v += digitAt(field, after + 1) * 1000;
        if (length > 8) v += digitAt(field, after + 2) * 100;
        if (length > 9) v += digitAt(field, after + 3) * 10;
        if (length > 10) v += digitAt(field, after + 4);
    } else {
        std::int64_t seconds = 0;
        for (std::size_t i = after + 1; i < field.size() && isDigit(field[i]) && seconds < 1000000;
             ++i) {
            seconds = seconds * 10 + (field[i] - '0');
        }
        v += seconds * 10000 / 60;
    }
    const char hemisphere = field.empty() ? '\0' : field.back();
    const std::int64_t middle = latitude ? kEquator : kPrimeMeridian;
    std::int64_t value = 0;
    if (hemisphere == (latitude ? 'N' : 'E')) {
        value = middle + v;
    } else if (hemisphere == (latitude ? 'S' : 'W')) {
        value = middle - v;
    } else {
        // No hemisphere, no position: a guessed one would go to files and the instrument.
        return std::nullopt;
    }
    // Digits are not checked, so a field can reach past the pole or the date
    // line, or below zero, where the value would wrap. That is no position
    // either, and no file could hold it again.
    if (value < 0 || value > 2 * middle) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

std::int16_t parseAltitude(std::string_view field) {
    std::size_t i = 0;
    while (i < field.size() && field[i] == ' ') ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == '-' || field[i] == '+')) negative = field[i++] == '-';
    std::int64_t value = 0;
    // Far beyond any altitude; only keeps the arithmetic defined.
    for (; i < field.size() && isDigit(field[i]) && value < 100000000; ++i) {
        value = value * 10 + (field[i] - '0');
    }
    if (negative) value = -value;
    const std::string_view head = field.substr(0, 8);
    if (head.find_first_of("Ff") != std::string_view::npos) {
        value = static_cast<std::int64_t>(static_cast<double>(value) * 0.30480184831840823);
    }
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(value & 0xFFFF));
}

std::uint16_t parseAttributes(std::string_view field) {
    static constexpr std::string_view kLetters = "TAMLSFHE";
    std::uint16_t bits = 0;
    for (char c : field) {
        if (const auto at = kLetters.find(c); at != std::string_view::npos) {
            bits = static_cast<std::uint16_t>(bits | 1u << at);
        } else if (c == 'W') {
            bits |= kAttributeW;
        } else if (c == 'R') {
            bits |= kAttributeR;
        }
    }
    return bits;
}

// Bytes above 127 are letters of the comment (Latin-1), not its end.
bool endsComment(char c) {
    return static_cast<unsigned char>(c) <= 20;
}

bool isBlank(int c) {
    return c == ' ' || c == '\t' || c == '\r';
}

}  // namespace

std::optional<Navpoint> parseNavpointLine(std::string_view line) {
    if (line.empty() || !isDigit(line[0])) return std::nullopt;
    Navpoint p;
    std::uint32_t number = 0;
    for (std::size_t i = 0; i < line.size() && isDigit(line[i]); ++i) {
        number = (number * 10 + static_cast<std::uint32_t>(line[i] - '0')) & 0xFFFF;
    }
    p.number = static_cast<std::uint16_t>(number);

    std::array<std::string_view, 6> fields;
    std::size_t start = 0;
    for (auto& field : fields) {
        const std::size_t comma = line.find(',', start);
        if (comma == std::string_view::npos || comma >= kFieldCommaLimit) return std::nullopt;
        field = line.substr(start, comma - start);
        start = comma + 1;
    }
    const auto latitude = parseCoordinate(fields[1], true);
    const auto longitude = parseCoordinate(fields[2], false);
    if (!latitude || !longitude) return std::nullopt;
    p.latitude = *latitude;
    p.longitude = *longitude;
    p.altitude = parseAltitude(fields[3]);
    p.attributes = parseAttributes(fields[4]);
    p.setName(fields[5].empty() ? std::string_view(" ") : fields[5]);

    const std::string_view rest = line.substr(start);
    const auto first = rest.empty() ? 0u : static_cast<unsigned char>(rest[0]);
    if (first < 20) {
        p.setComment(" ");
    } else {
        std::size_t n = 0;
        while (n < rest.size() && n < kNavpointNameLength && !endsComment(rest[n])) ++n;
        p.setComment(rest.substr(0, n));
    }
    return p;
}

std::string formatNavpointLine(const Navpoint& p) {
    std::string line = std::to_string(p.number) + ",";
    line += formatCoordinate(p.latitude, true, CoordinateForm::File) + ",";
    line += formatCoordinate(p.longitude, false, CoordinateForm::File) + ",";
    line += std::to_string(p.altitude) + "M,";
    line += attributeLetters(p.attributes) + ",";
    auto padded = [](std::string_view text) {
        std::string s(text);
        if (s.size() < kNavpointNameLength) s.resize(kNavpointNameLength, ' ');
        return s;
    };
    line += padded(p.nameText()) + "," + padded(p.commentText()) + "\r\n";
    return line;
}

NavpointFileRead readNavpointFile(const std::string& path, NavpointTable& table) {
    NavpointFileRead result;
    File in(std::fopen(path.c_str(), "rb"));
    if (!in) return result;
    // Read aside: a file that fails part way must not cost the table it was
    // to replace.
    const auto read = std::make_unique<NavpointTable>();
    std::string line;
    bool more = true;
    while (more && read->count < static_cast<int>(kNavpointTableSize)) {
        line.clear();
        int c = 0;
        bool any = false;
        bool blank = true;
        while ((c = std::fgetc(in.get())) != EOF && c != '\n') {
            any = true;
            blank = blank && isBlank(c);
            if (line.size() < kMaxNavpointLine) line += static_cast<char>(c);
        }
        more = c != EOF;
        if (!any && !more) break;
        if (const auto p = parseNavpointLine(line)) {
            read->entries[static_cast<std::size_t>(read->count++)] = *p;
        } else if (!blank) {
            ++result.skipped;
        }
    }
    // A file that opened but could not be read (a folder, a failing disk) is
    // not an empty navpoint file.
    if (std::ferror(in.get())) return NavpointFileRead{};
    for (int i = 0; i < read->count; ++i) {
        table.entries[static_cast<std::size_t>(i)] = read->entries[static_cast<std::size_t>(i)];
    }
    table.count = read->count;
    result.read = true;
    return result;
}

std::string skippedLinesText(int skipped) {
    return skipped == 1 ? std::string("1 line skipped: not a navpoint")
                        : std::to_string(skipped) + " lines skipped: not navpoints";
}

bool writeNavpointFile(const std::string& path, const NavpointTable& table) {
    File out(std::fopen(path.c_str(), "wb"));
    if (!out) return false;
    bool written = true;
    for (int i = 0; i < table.count; ++i) {
        const std::string line = formatNavpointLine(table.entries[static_cast<std::size_t>(i)]);
        written &= std::fwrite(line.data(), 1, line.size(), out.get()) == line.size();
    }
    written &= std::fclose(out.release()) == 0;
    return written;
}

}  // namespace vantor
