#include "navpoints/CupFile.h"

#include <array>
#include <cstdio>
#include <memory>
#include <unordered_map>

#include "base/NumericHelpers.h"

namespace vantor {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

constexpr std::uint16_t kAttributeT = 0x001;
constexpr std::uint16_t kAttributeA = 0x002;
constexpr std::uint16_t kAttributeL = 0x008;

constexpr char32_t kReplacement = 0xFFFD;

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | cp >> 18);
        out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The code point at `at`, moving past it; a byte that starts no valid
// sequence (overlong, a surrogate, past U+10FFFF, cut short) is one
// replacement character.
char32_t nextCodePoint(std::string_view text, std::size_t& at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char first = byte(at);
    if (first < 0x80) {
        ++at;
        return first;
    }
    std::size_t length = 0;
    char32_t cp = 0;
    char32_t least = 0;
    if ((first & 0xE0) == 0xC0) {
        length = 2;
        cp = first & 0x1F;
        least = 0x80;
    } else if ((first & 0xF0) == 0xE0) {
        length = 3;
        cp = first & 0x0F;
        least = 0x800;
    } else if ((first & 0xF8) == 0xF0) {
        length = 4;
        cp = first & 0x07;
        least = 0x10000;
    } else {
        ++at;
        return kReplacement;
    }
    if (at + length > text.size()) {
        ++at;
        return kReplacement;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            ++at;
            return kReplacement;
        }
        cp = cp << 6 | (byte(at + i) & 0x3F);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++at;
        return kReplacement;
    }
    at += length;
    return cp;
}

bool isValidUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t before = at;
        if (nextCodePoint(text, at) == kReplacement && at == before + 1 &&
            static_cast<unsigned char>(text[before]) >= 0x80) {
            return false;
        }
    }
    return true;
}

// Windows-1252 where it differs from Latin-1; the five unassigned bytes
// become replacement characters.
constexpr std::array<char32_t, 32> kWindows1252High = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

std::string utf8FromWindows1252(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        appendUtf8(out, b >= 0x80 && b < 0xA0 ? kWindows1252High[b - 0x80] : char32_t{b});
    }
    return out;
}

// The file's text as UTF-8, without its byte order mark.
std::string decodedText(std::string_view text) {
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    if (text.substr(0, kBom.size()) == kBom) text.remove_prefix(kBom.size());
    return isValidUtf8(text) ? std::string(text) : utf8FromWindows1252(text);
}

// Plain letters for the Latin-1 letters (from U+00C0) and Latin Extended-A
// (U+0100..U+017F); '*' marks the ones of two letters and the two signs.
constexpr std::string_view kLatin1Letters =
    "AAAAAA*CEEEEIIIIDNOOOOO*OUUUUY**AAAAAA*CEEEEIIIIDNOOOOO*OUUUUY*Y";
constexpr std::string_view kExtendedALetters =
    "AAAAAACCCCCCCCDDDDEEEEEEEEEEGGGGGGGGHHHHIIIIIIIIII**JJKKKLLLLLLL"
    "LLLNNNNNNNNNOOOOOO**RRRRRRSSSSSSSSTTTTTTUUUUUUUUUUUUWWYYYZZZZZZS";
static_assert(kLatin1Letters.size() == 0x40 && kExtendedALetters.size() == 0x80);

std::string_view plainLetters(char32_t cp) {
    switch (cp) {
        case 0xC6:
        case 0xE6:
            return "AE";
        case 0xDE:
        case 0xFE:
            return "TH";
        case 0xDF:
            return "SS";
        case 0x132:
        case 0x133:
            return "IJ";
        case 0x152:
        case 0x153:
            return "OE";
        case 0x192:
            return "F";
        default:
            break;
    }
    if (cp >= 0xC0 && cp < 0x100) {
        const char c = kLatin1Letters[cp - 0xC0];
        return c == '*' ? std::string_view(" ") : kLatin1Letters.substr(cp - 0xC0, 1);
    }
    if (cp >= 0x100 && cp < 0x180) return kExtendedALetters.substr(cp - 0x100, 1);
    return " ";
}

std::string_view trimmed(std::string_view text) {
    const std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string_view::npos) return {};
    const std::size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// One line's comma-separated fields. A field in double quotes may hold
// commas, and a doubled quote in it is one quote; blanks around a field
// and anything between its closing quote and the next comma are dropped.
std::vector<std::string> splitFields(std::string_view line) {
    std::vector<std::string> fields;
    std::size_t at = 0;
    while (true) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
        std::string field;
        if (at < line.size() && line[at] == '"') {
            ++at;
            while (at < line.size()) {
                if (line[at] == '"') {
                    if (at + 1 < line.size() && line[at + 1] == '"') {
                        field += '"';
                        at += 2;
                        continue;
                    }
                    ++at;
                    break;
                }
                field += line[at++];
            }
            const std::size_t comma = line.find(',', at);
            at = comma == std::string_view::npos ? line.size() : comma;
        } else {
            const std::size_t comma = line.find(',', at);
            const std::size_t end = comma == std::string_view::npos ? line.size() : comma;
            field = std::string(trimmed(line.substr(at, end - at)));
            at = end;
        }
        fields.push_back(std::move(field));
        if (at >= line.size()) break;
        ++at;  // the comma
    }
    return fields;
}

struct Columns {
    int name = 0, code = 1, lat = 3, lon = 4, elev = 5, style = 6, desc = 11;
};

// The columns named in a header line; nothing when it names no latitude
// and longitude, so it is no header.
std::optional<Columns> headerColumns(const std::vector<std::string>& fields) {
    Columns c;
    c.name = c.code = c.lat = c.lon = c.elev = c.style = c.desc = -1;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::string_view f = fields[i];
        const int at = static_cast<int>(i);
        auto is = [&](std::string_view a, std::string_view b = {}) {
            return equalsIgnoringCase(f, a) || (!b.empty() && equalsIgnoringCase(f, b));
        };
        // The first column of a name counts; older files say "Title" and so on.
        auto take = [&](int& column) {
            if (column < 0) column = at;
        };
        if (is("name", "title")) take(c.name);
        if (is("code")) take(c.code);
        if (is("lat", "latitude")) take(c.lat);
        if (is("lon", "longitude")) take(c.lon);
        if (is("elev", "elevation")) take(c.elev);
        if (is("style")) take(c.style);
        if (is("desc", "description")) take(c.desc);
    }
    if (c.lat < 0 || c.lon < 0) return std::nullopt;
    return c;
}

std::string_view fieldAt(const std::vector<std::string>& fields, int column) {
    if (column < 0 || static_cast<std::size_t>(column) >= fields.size()) return {};
    return fields[static_cast<std::size_t>(column)];
}

// DDMM.mmmH or DDDMM.mmmH: exactly the degree digits, two of the minute, any
// number of decimals (rounded to the table's four), the hemisphere letter.
std::optional<std::uint32_t> parseCupCoordinate(std::string_view text, bool latitude) {
    text = trimmed(text);
    const std::size_t degreeDigits = latitude ? 2 : 3;
    if (text.size() < degreeDigits + 3) return std::nullopt;
    char hemisphere = text.back();
    if (hemisphere >= 'a' && hemisphere <= 'z') hemisphere = static_cast<char>(hemisphere - 32);
    bool positive = false;
    if (hemisphere == (latitude ? 'N' : 'E')) {
        positive = true;
    } else if (hemisphere != (latitude ? 'S' : 'W')) {
        return std::nullopt;
    }
    const std::string_view body = text.substr(0, text.size() - 1);
    std::int64_t degrees = 0;
    std::int64_t minutes = 0;
    for (std::size_t i = 0; i < degreeDigits + 2; ++i) {
        if (!isDigit(body[i])) return std::nullopt;
        if (i < degreeDigits) {
            degrees = degrees * 10 + (body[i] - '0');
        } else {
            minutes = minutes * 10 + (body[i] - '0');
        }
    }
    std::int64_t decimals = 0;  // ten-thousandths of the minute
    std::string_view rest = body.substr(degreeDigits + 2);
    if (!rest.empty()) {
        if (rest[0] != '.' || rest.size() < 2) return std::nullopt;
        rest.remove_prefix(1);
        for (std::size_t i = 0; i < rest.size(); ++i) {
            if (!isDigit(rest[i])) return std::nullopt;
            if (i < 4) {
                decimals = decimals * 10 + (rest[i] - '0');
            } else if (i == 4 && rest[i] >= '5') {
                ++decimals;  // rounds the fifth decimal; may carry into the minutes
            }
        }
        for (std::size_t i = rest.size(); i < 4; ++i) decimals *= 10;
    }
    if (minutes >= 60) return std::nullopt;
    const std::int64_t v = degrees * kUnitsPerDegree + minutes * 10000 + decimals;
    const std::int64_t middle = latitude ? kEquator : kPrimeMeridian;
    if (v > middle) return std::nullopt;  // past a pole or 180 degrees
    return static_cast<std::uint32_t>(positive ? middle + v : middle - v);
}

// "450", "450m", "504.0m", "1640ft" (feet are rounded to metres). Missing is
// 0; anything else is no elevation.
std::optional<std::int16_t> parseElevation(std::string_view text) {
    text = trimmed(text);
    if (text.empty()) return std::int16_t{0};
    std::size_t i = 0;
    bool negative = false;
    if (text[i] == '-' || text[i] == '+') negative = text[i++] == '-';
    double value = 0;
    std::size_t digits = 0;
    for (; i < text.size() && isDigit(text[i]); ++i, ++digits) {
        if (value < 1e7) value = value * 10 + (text[i] - '0');
    }
    if (i < text.size() && text[i] == '.') {
        double scale = 0.1;
        for (++i; i < text.size() && isDigit(text[i]); ++i, ++digits) {
            value += (text[i] - '0') * scale;
            scale /= 10;
        }
    }
    if (digits == 0) return std::nullopt;
    const std::string_view unit = trimmed(text.substr(i));
    if (equalsIgnoringCase(unit, "ft")) {
        value *= 0.3048;
    } else if (!unit.empty() && !equalsIgnoringCase(unit, "m")) {
        return std::nullopt;
    }
    if (negative) value = -value;
    const double rounded = value < 0 ? value - 0.5 : value + 0.5;
    if (rounded <= -32769 || rounded >= 32768) return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}

std::optional<int> parseStyle(std::string_view text) {
    text = trimmed(text);
    if (text.empty() || text.size() > 4) return std::nullopt;
    int style = 0;
    for (char c : text) {
        if (!isDigit(c)) return std::nullopt;
        style = style * 10 + (c - '0');
    }
    return style;
}

// Turnpoint files often number their points in the code: a numeric code is
// the navpoint's number, any other the waypoint's place in the file.
std::optional<std::uint16_t> numberOfCode(std::string_view code) {
    code = trimmed(code);
    if (code.empty() || code.size() > 5) return std::nullopt;
    std::uint32_t n = 0;
    for (char c : code) {
        if (!isDigit(c)) return std::nullopt;
        n = n * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (n > 0xFFFF) return std::nullopt;
    return static_cast<std::uint16_t>(n);
}

std::optional<Navpoint> parseWaypoint(const std::vector<std::string>& fields, const Columns& c,
                                      int position) {
    const auto latitude = parseCupCoordinate(fieldAt(fields, c.lat), true);
    const auto longitude = parseCupCoordinate(fieldAt(fields, c.lon), false);
    const auto elevation = parseElevation(fieldAt(fields, c.elev));
    if (!latitude || !longitude || !elevation) return std::nullopt;
    Navpoint p;
    p.latitude = *latitude;
    p.longitude = *longitude;
    p.altitude = *elevation;
    p.number = numberOfCode(fieldAt(fields, c.code))
                   .value_or(static_cast<std::uint16_t>((position + 1) & 0xFFFF));
    // An unknown or missing style is a plain waypoint.
    p.attributes = attributesOfCupStyle(parseStyle(fieldAt(fields, c.style)).value_or(0));
    // Empty texts are a blank, as in navpoint files.
    const std::string name = instrumentText(trimmed(fieldAt(fields, c.name)), true);
    const std::string comment = instrumentText(trimmed(fieldAt(fields, c.desc)), false);
    p.setName(name.empty() ? std::string_view(" ") : std::string_view(name));
    p.setComment(comment.empty() ? std::string_view(" ") : std::string_view(comment));
    return p;
}

bool isBlankLine(std::string_view line) {
    return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

// The task section also holds "Options" lines and "ObsZone=", "STx=" or
// "Point=" lines of the task before; they describe sectors and starts, which
// a declaration does not carry.
bool isTaskDetail(std::string_view line, const std::vector<std::string>& fields) {
    const std::string_view first = trimmed(line);
    if (!first.empty() && first[0] == '"') return false;
    const std::string_view head = fields.empty() ? std::string_view() : fields[0];
    return equalsIgnoringCase(head, "options") || head.find('=') != std::string_view::npos;
}

std::string latin1ToUtf8(std::string_view text) {
    std::string out;
    for (char c : text) appendUtf8(out, static_cast<unsigned char>(c));
    return out;
}

std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string withoutTrailingBlanks(std::string_view text) {
    const std::size_t end = text.find_last_not_of(' ');
    return std::string(end == std::string_view::npos ? std::string_view()
                                                     : text.substr(0, end + 1));
}

// Thousandths of the minute, rounded: DDMM.mmmH, DDDMM.mmmH.
std::string cupCoordinate(std::uint32_t value, bool latitude) {
    const std::uint32_t middle = latitude ? kEquator : kPrimeMeridian;
    const bool positive = value > middle;
    const std::uint32_t v = positive ? value - middle : middle - value;
    const std::uint32_t thousandths = (v + 5) / 10;
    const std::uint32_t degrees = thousandths / 60000;
    const std::uint32_t minutes = thousandths % 60000 / 1000;
    const std::uint32_t decimals = thousandths % 1000;
    const char hemisphere = latitude ? (positive ? 'N' : 'S') : (positive ? 'E' : 'W');
    char text[24];
    std::snprintf(text, sizeof text, latitude ? "%02u%02u.%03u%c" : "%03u%02u.%03u%c", degrees,
                  minutes, decimals, hemisphere);
    return text;
}

}  // namespace

bool isCupPath(std::string_view path) {
    return path.size() >= 4 && equalsIgnoringCase(path.substr(path.size() - 4), ".cup");
}

std::string instrumentText(std::string_view utf8, bool name) {
    std::string out;
    for (std::size_t at = 0; at < utf8.size() && out.size() < kNavpointNameLength;) {
        const char32_t cp = nextCodePoint(utf8, at);
        if (cp >= 'a' && cp <= 'z') {
            out += static_cast<char>(cp - 'a' + 'A');
        } else if (cp >= 0x20 && cp < 0x7F) {
            out += name && cp == ',' ? ' ' : static_cast<char>(cp);
        } else {
            out += plainLetters(cp);
        }
    }
    if (out.size() > kNavpointNameLength) out.resize(kNavpointNameLength);
    return out;
}

std::uint16_t attributesOfCupStyle(int style) {
    switch (style) {
        case 2:  // airfield, grass runway
        case 4:  // gliding airfield
        case 5:  // airfield, solid runway
            return kAttributeA | kAttributeL;
        case 3:  // outlanding
            return kAttributeL;
        default:
            return kAttributeT;
    }
}

int cupStyleOfAttributes(std::uint16_t attributes) {
    if (attributes & kAttributeA) return 5;
    if (attributes & kAttributeL) return 3;
    return 1;
}

CupFileRead parseCupText(std::string_view fileText, NavpointTable& table) {
    CupFileRead result;
    result.read = true;
    const std::string text = decodedText(fileText);
    // Read aside: a file without waypoints must not cost the table.
    const auto read = std::make_unique<NavpointTable>();
    std::unordered_map<std::string, int> byName;
    std::optional<Columns> columns;
    bool inTasks = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (isBlankLine(line)) continue;
        if (equalsIgnoringCase(trimmed(line), "-----Related Tasks-----")) {
            inTasks = true;
            continue;
        }
        const std::vector<std::string> fields = splitFields(line);
        if (inTasks) {
            if (isTaskDetail(line, fields)) continue;
            CupTask task;
            task.description = fields[0];
            for (std::size_t i = 1; i < fields.size(); ++i) {
                const std::string name(trimmed(fields[i]));
                if (name.empty()) continue;
                const auto found = byName.find(name);
                task.names.push_back(name);
                task.points.push_back(found == byName.end() ? -1 : found->second);
            }
            result.tasks.push_back(std::move(task));
            continue;
        }
        if (!columns) {
            columns = headerColumns(fields);
            // A file without a header starts with its first waypoint, in
            // the published order of columns.
            if (columns) continue;
            columns = Columns{};
        }
        // Past the table's size the lines are not read, but the tasks are.
        if (read->count >= static_cast<int>(kNavpointTableSize)) continue;
        const auto p = parseWaypoint(fields, *columns, read->count);
        if (!p) {
            ++result.skipped;
            continue;
        }
        byName.emplace(std::string(trimmed(fieldAt(fields, columns->name))), read->count);
        read->entries[static_cast<std::size_t>(read->count++)] = *p;
    }
    result.waypoints = read->count;
    if (read->count > 0) {
        for (int i = 0; i < read->count; ++i) {
            table.entries[static_cast<std::size_t>(i)] = read->entries[static_cast<std::size_t>(i)];
        }
        table.count = read->count;
    }
    return result;
}

CupFileRead readCupFile(const std::string& path, NavpointTable& table) {
    File in(std::fopen(path.c_str(), "rb"));
    if (!in) return {};
    std::string text;
    char buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, in.get())) > 0) {
        if (text.size() + n > kMaxCupFile) return {};
        text.append(buffer, n);
    }
    // A file that opened but could not be read (a folder, a failing disk)
    // is not an empty one.
    if (std::ferror(in.get())) return {};
    return parseCupText(text, table);
}

std::string cupHeaderLine() {
    return "name,code,country,lat,lon,elev,style,rwdir,rwlen,rwwidth,freq,desc\r\n";
}

std::string formatCupWaypoint(const Navpoint& p) {
    const std::string name = latin1ToUtf8(withoutTrailingBlanks(p.nameText()));
    // The name is the code too: some readers show the code as the name. Left
    // bare where it can be, as some readers keep the quotes of a code.
    const bool bare =
        name.find_first_of(",\"") == std::string::npos && (name.empty() || name[0] != ' ');
    std::string line = quoted(name) + "," + (bare ? name : quoted(name)) + ",,";
    line += cupCoordinate(p.latitude, true) + "," + cupCoordinate(p.longitude, false) + ",";
    line += std::to_string(p.altitude) + ".0m,";
    line += std::to_string(cupStyleOfAttributes(p.attributes)) + ",,,,,";
    line += quoted(latin1ToUtf8(withoutTrailingBlanks(p.commentText()))) + "\r\n";
    return line;
}

bool writeCupFile(const std::string& path, const NavpointTable& table) {
    File out(std::fopen(path.c_str(), "wb"));
    if (!out) return false;
    const std::string header = cupHeaderLine();
    bool written = std::fwrite(header.data(), 1, header.size(), out.get()) == header.size();
    for (int i = 0; i < table.count; ++i) {
        const std::string line = formatCupWaypoint(table.entries[static_cast<std::size_t>(i)]);
        written &= std::fwrite(line.data(), 1, line.size(), out.get()) == line.size();
    }
    written &= std::fclose(out.release()) == 0;
    return written;
}

std::optional<TaskDeclaration> cupTaskDeclaration(const CupTask& task, const NavpointTable& table,
                                                  std::string& problem) {
    for (std::size_t i = 0; i < task.points.size(); ++i) {
        const int entry = task.points[i];
        if (entry < 0 || entry >= table.count) {
            problem = "The task point \"" + task.names[i] + "\" is not among the file's waypoints.";
            return std::nullopt;
        }
    }
    if (task.points.empty()) {
        problem = "The task has no points.";
        return std::nullopt;
    }
    if (task.points.size() > static_cast<std::size_t>(kMaxTaskPoints)) {
        problem = "The task has " + std::to_string(task.points.size()) +
                  " points; a declaration holds at most " + std::to_string(kMaxTaskPoints) + ".";
        return std::nullopt;
    }
    TaskDeclaration declaration;
    for (const int entry : task.points) {
        declaration.points[static_cast<std::size_t>(declaration.count++)] =
            table.entries[static_cast<std::size_t>(entry)];
    }
    return declaration;
}

}  // namespace vantor
