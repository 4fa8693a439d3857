#include "Simulator.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <random>
#include <string_view>

#include "SimLine.h"

#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace vantor::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kMaxLine = 512;  // longer command lines are cut
constexpr std::size_t kMaxHistoryLines = 20000;
constexpr std::size_t kMaxHistoryBytes = 1u << 20;
constexpr std::size_t kSyncReplySize = 22;
constexpr std::size_t kShortFaultBytes = 10;
constexpr std::size_t kMaxDeclaredPoints = 15;
constexpr std::size_t kDeclaredPointSize = 20;
constexpr std::size_t kDirectoryEntrySize = 36;
constexpr std::size_t kEntriesPerDirectoryBlock = 8;
constexpr std::size_t kDirectoryReadSize = 300;
constexpr std::size_t kSecurityReadSize = 214;
constexpr std::size_t kMaxSecurity = kSecurityReadSize - 7;
constexpr int kMinBlockSize = 16;
constexpr int kMaxBlockSize = 4096;
// The longest read the program makes: a log block of the largest size it can
// be told, with its frame.
constexpr std::size_t kLongestRead = 0xFFFF + 13;
constexpr std::uint32_t kEquator = 54000000;
constexpr std::uint32_t kPrimeMeridian = 108000000;
constexpr std::uint32_t kBadCoordinate = 0xFFFFFFFFu;

// ---------------------------------------------------------------- bytes

void put16(Bytes& b, std::size_t at, unsigned value) {
    b[at] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
    b[at + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

void put32(Bytes& b, std::size_t at, std::uint32_t value) {
    put16(b, at, value >> 16);
    put16(b, at + 2, value & 0xFFFF);
}

void putText(Bytes& b, std::size_t at, std::string_view text, std::size_t width, char pad) {
    for (std::size_t i = 0; i < width; ++i) {
        b[at + i] = static_cast<std::uint8_t>(i < text.size() ? text[i] : pad);
    }
}

std::uint8_t xorOf(std::string_view text) {
    std::uint8_t x = 0;
    for (char c : text) x = static_cast<std::uint8_t>(x ^ static_cast<std::uint8_t>(c));
    return x;
}

// A reply as the program reads it, and which byte to spoil for a damaged one:
// a data byte when the frame has data, else the check byte, so the frame
// check fails while the length stays right.
struct Reply {
    Bytes bytes;
    std::size_t damageAt = 0;
    bool plain = true;       // sent whole by the program: its echo counts towards the read
    bool refusable = false;  // a log request, which Refuse answers with 'N'
    int newRate = 0;         // switch to this rate after the reply
    bool none = false;       // nothing at all (lost or bad record)
};

Reply shortFrame(std::string_view command, const Bytes& data, std::size_t readLength) {
    Reply r;
    const std::size_t n = 3 + std::min<std::size_t>(data.size(), 252);
    r.bytes.assign(std::max(readLength, n), 0);
    r.bytes[0] = static_cast<std::uint8_t>(n);
    r.bytes[1] = xorOf(command);
    std::uint8_t x = 0;
    for (std::size_t i = 3; i < n; ++i) {
        r.bytes[i] = data[i - 3];
        x = static_cast<std::uint8_t>(x ^ data[i - 3]);
    }
    r.bytes[2] = x;
    r.damageAt = n > 3 ? n - 1 : 2;
    return r;
}

// An answer with no data: what unknown commands and missing items get.
Reply emptyFrame(std::string_view command) {
    return shortFrame(command, {}, 9);
}

Reply longFrame(std::string_view command, const Bytes& data, std::size_t readLength) {
    Reply r;
    const std::size_t l = 5 + std::min<std::size_t>(data.size(), 0xFFFF - 5);
    r.bytes.assign(std::max(readLength, l), 0);
    put16(r.bytes, 0, static_cast<unsigned>(l));
    r.bytes[2] = xorOf(command);
    unsigned sum = 0;
    for (std::size_t i = 5; i < l; ++i) {
        r.bytes[i] = data[i - 5];
        sum += data[i - 5];
    }
    put16(r.bytes, 3, sum & 0xFFFF);
    r.damageAt = l > 5 ? l - 1 : 3;
    return r;
}

// Text answers that no frame check looks at (sync, modes, clear, rate).
Reply textReply(std::string_view text, std::size_t readLength) {
    Reply r;
    r.bytes.assign(readLength, ' ');
    std::copy_n(text.begin(), std::min(text.size(), readLength), r.bytes.begin());
    r.damageAt = readLength / 2;
    return r;
}

// ---------------------------------------------------------------- rates

constexpr int kRates[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

// Rate codes 2..11 stand for 300..115200 in the order above.
int baudOfCode(long long code) {
    if (code < 2 || code > 11) return 0;
    return kRates[code - 2];
}

// ---------------------------------------------------------------- text parsing

std::vector<std::string_view> splitCommas(std::string_view text) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        if (comma == std::string_view::npos) {
            fields.push_back(text.substr(start));
            return fields;
        }
        fields.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
}

// Fields first..last-1 joined again, for texts that may hold commas.
std::string_view span(std::string_view text, const std::vector<std::string_view>& fields,
                      std::size_t first, std::size_t last) {
    if (first >= last) return {};
    const auto begin = static_cast<std::size_t>(fields[first].data() - text.data());
    const auto end =
        static_cast<std::size_t>(fields[last - 1].data() - text.data()) + fields[last - 1].size();
    return text.substr(begin, end - begin);
}

std::optional<long long> number(std::string_view text) {
    if (text.empty() || text.size() > 18) return std::nullopt;
    long long value = 0;
    const char* first = text.data();
    if (*first == '+') ++first;
    const auto [end, ec] = std::from_chars(first, text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<long long> number(std::string_view text, long long low, long long high) {
    const auto value = number(text);
    if (!value || *value < low || *value > high) return std::nullopt;
    return value;
}

bool allDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "DDMM.mmmmH" or "DDDMM.mmmmH" to ten-thousandths of a minute from the pole
// or the antimeridian; an unknown hemisphere letter gives the all-ones value
// the program uses for it.
std::optional<std::uint32_t> coordinate(std::string_view text, bool latitude) {
    if (text.size() < 4) return std::nullopt;
    const char hemisphere = text.back();
    const std::string_view body = text.substr(0, text.size() - 1);
    const std::size_t dot = body.find('.');
    const std::string_view whole = body.substr(0, dot);
    const std::string_view fraction =
        dot == std::string_view::npos ? std::string_view{} : body.substr(dot + 1);
    if (whole.size() < 3 || whole.size() > 5 || !allDigits(whole)) return std::nullopt;
    if (fraction.size() > 4 || (!fraction.empty() && !allDigits(fraction))) return std::nullopt;
    const auto degrees = static_cast<std::uint32_t>(*number(whole.substr(0, whole.size() - 2)));
    const auto minutes = static_cast<std::uint32_t>(*number(whole.substr(whole.size() - 2)));
    std::uint32_t tenThousandths = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        tenThousandths = tenThousandths * 10 +
                         (i < fraction.size() ? static_cast<std::uint32_t>(fraction[i] - '0') : 0);
    }
    const std::uint32_t v = degrees * 600000 + minutes * 10000 + tenThousandths;
    const std::uint32_t zero = latitude ? kEquator : kPrimeMeridian;
    if (v > zero) return std::nullopt;
    const char plus = latitude ? 'N' : 'E';
    const char minus = latitude ? 'S' : 'W';
    if (hemisphere == plus) return zero + v;
    if (hemisphere == minus) return zero - v;
    return kBadCoordinate;
}

// ---------------------------------------------------------------- records

Bytes defaultPilotPreferences() {
    Bytes b(InstrumentState::kPilotPreferencesSize, 0);
    putText(b, 0, "Default Pilot", 24, ' ');
    b[24] = 1;    // auxByte1
    b[25] = 1;    // celsiusFlag
    b[26] = 1;    // sinkTone
    b[27] = 0;    // auxByte2
    b[28] = 0;    // auxByte3
    b[29] = 100;  // auxByte4
    put16(b, 30, 1000);
    put16(b, 32, 400);
    put16(b, 34, 4);
    put16(b, 36, 1);
    put16(b, 38, 5);
    put16(b, 40, 100);
    b[42] = 102;
    b[43] = 255;
    put16(b, 44, 0xFF5F);
    put16(b, 48, 3000);
    return b;
}

Bytes defaultGlider() {
    Bytes b(InstrumentState::kGliderSize, 0);
    putText(b, 0, "ASW-20", 12, ' ');
    putText(b, 12, "asw", 12, ' ');
    b[24] = 40;
    b[25] = 100;
    b[26] = 175;
    put16(b, 28, 350);
    put16(b, 30, 100);
    put16(b, 34, 0xFFFF);
    put16(b, 36, 10500);
    return b;
}

// "o,NAME,n2,...,n17": the name may hold commas, the 16 numbers are the last fields.
std::optional<Bytes> pilotPreferencesBlock(std::string_view text, const Bytes& current) {
    const auto f = splitCommas(text);
    constexpr std::size_t kNumbers = 16;
    if (f.size() < kNumbers + 2) return std::nullopt;
    Bytes b = current;
    b.resize(InstrumentState::kPilotPreferencesSize, 0);
    putText(b, 0, span(text, f, 1, f.size() - kNumbers), 24, ' ');
    // Byte offsets of fields 2..17 and whether they are 16-bit.
    constexpr std::pair<std::size_t, bool> kLayout[kNumbers] = {
        {24, false}, {25, false}, {26, false}, {27, false}, {28, false}, {29, false},
        {30, true},  {32, true},  {34, true},  {36, true},  {38, true},  {40, true},
        {42, false}, {43, false}, {44, true},  {48, true},
    };
    for (std::size_t i = 0; i < kNumbers; ++i) {
        const auto v = number(f[f.size() - kNumbers + i], 0, 0xFFFFFFFFLL);
        if (!v) return std::nullopt;
        const auto [at, wide] = kLayout[i];
        if (wide) {
            put16(b, at, static_cast<unsigned>(*v & 0xFFFF));
        } else {
            b[at] = static_cast<std::uint8_t>(*v & 0xFF);
        }
    }
    return b;
}

// "g,TYPE,ID,glide,speed,v2,dry,water,0,lock,area"; type and id are 12 wide.
std::optional<Bytes> gliderBlock(std::string_view text, const Bytes& current) {
    const auto f = splitCommas(text);
    constexpr std::size_t kNumbers = 8;
    if (f.size() < kNumbers + 3) return std::nullopt;
    const std::string_view names = span(text, f, 1, f.size() - kNumbers);
    std::string_view type;
    std::string_view id;
    if (names.size() == 25 && names[12] == ',') {
        type = names.substr(0, 12);
        id = names.substr(13);
    } else {
        const std::size_t comma = names.find(',');
        type = names.substr(0, comma);
        id = names.substr(comma + 1);
    }
    std::array<long long, kNumbers> v{};
    for (std::size_t i = 0; i < kNumbers; ++i) {
        const auto n = number(f[f.size() - kNumbers + i], -0x80000000LL, 0xFFFFFFFFLL);
        if (!n) return std::nullopt;
        v[i] = *n;
    }
    Bytes b = current;
    b.resize(InstrumentState::kGliderSize, 0);
    putText(b, 0, type, 12, ' ');
    putText(b, 12, id, 12, ' ');
    b[24] = static_cast<std::uint8_t>(v[0] & 0xFF);
    b[25] = static_cast<std::uint8_t>(v[1] & 0xFF);
    b[26] = static_cast<std::uint8_t>(v[2] & 0xFF);
    put16(b, 28, static_cast<unsigned>(v[3] & 0xFFFF));
    put16(b, 30, static_cast<unsigned>(v[4] & 0xFFFF));
    put16(b, 34, static_cast<unsigned>(v[6] & 0xFFFF));
    put16(b, 36, static_cast<unsigned>(v[7] & 0xFFFF));
    return b;
}

struct NavpointLine {
    std::size_t index;
    std::array<std::uint8_t, 38> record;
};

std::array<std::uint8_t, 38> navpointRecord(std::uint32_t lat, std::uint32_t lon, long long alt,
                                            long long number, long long attributes,
                                            std::string_view name, std::string_view comment) {
    Bytes b(InstrumentState::kNavpointSize, 0);
    put32(b, 0, lat);
    put32(b, 4, lon);
    put16(b, 8, static_cast<unsigned>(alt & 0xFFFF));
    put16(b, 10, static_cast<unsigned>(number & 0xFFFF));
    put16(b, 12, static_cast<unsigned>(attributes & 0xFFFF));
    putText(b, 14, name, 12, '\0');
    putText(b, 26, comment, 12, '\0');
    std::array<std::uint8_t, 38> r{};
    std::copy(b.begin(), b.end(), r.begin());
    return r;
}

// "c,index,lat,lon,alt,number,attributes,name,comment"; a name holds no comma.
std::optional<NavpointLine> navpointLine(std::string_view text) {
    const auto f = splitCommas(text);
    if (f.size() < 9) return std::nullopt;
    const auto index = number(f[1], 0, InstrumentState::kMaxNavpoints - 1);
    const auto lat = coordinate(f[2], true);
    const auto lon = coordinate(f[3], false);
    const auto alt = number(f[4], -32768, 65535);
    const auto num = number(f[5], 0, 0xFFFFFFFFLL);
    const auto attributes = number(f[6], 0, 0xFFFFFFFFLL);
    if (!index || !lat || !lon || !alt || !num || !attributes) return std::nullopt;
    return NavpointLine{
        static_cast<std::size_t>(*index),
        navpointRecord(*lat, *lon, *alt, *num, *attributes, f[7], span(text, f, 8, f.size()))};
}

struct DeclaredPoint {
    std::size_t position;
    std::array<std::uint8_t, kDeclaredPointSize> bytes;
};

// "d,128+i,lat,lon,name,alt": latitude, longitude and name are what the
// declaration keeps.
std::optional<DeclaredPoint> declarationLine(std::string_view text) {
    const auto f = splitCommas(text);
    if (f.size() < 6) return std::nullopt;
    const auto position = number(f[1], 128, 128 + kMaxDeclaredPoints - 1);
    const auto lat = coordinate(f[2], true);
    const auto lon = coordinate(f[3], false);
    if (!position || !lat || !lon || !number(f.back())) return std::nullopt;
    Bytes b(kDeclaredPointSize, 0);
    put32(b, 0, *lat);
    put32(b, 4, *lon);
    putText(b, 8, span(text, f, 4, f.size() - 1), 12, '\0');
    DeclaredPoint p{static_cast<std::size_t>(*position - 128), {}};
    std::copy(b.begin(), b.end(), p.bytes.begin());
    return p;
}

Bytes declarationPayload(
    const std::array<std::optional<std::array<std::uint8_t, kDeclaredPointSize>>,
                     kMaxDeclaredPoints>& points) {
    Bytes b(InstrumentState::kDeclarationSize, 0);
    std::size_t count = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (!points[i]) continue;
        std::copy(points[i]->begin(), points[i]->end(), b.begin() + 8 + 20 * i);
        count = i + 1;
    }
    b[6] = static_cast<std::uint8_t>(count);
    return b;
}

// The text of a record line before its ",~sum", if the sum is right.
std::optional<std::string_view> checkedRecord(std::string_view line) {
    const std::size_t mark = line.rfind(",~");
    if (mark == std::string_view::npos) return std::nullopt;
    const std::string_view digits = line.substr(mark + 2);
    if (!allDigits(digits) || digits.size() > 12) return std::nullopt;
    const std::string_view text = line.substr(0, mark);
    unsigned long long sum = 0;
    for (char c : text) sum += static_cast<std::uint8_t>(c);
    if (std::to_string(sum) != digits) return std::nullopt;
    return text;
}

// Any line with the sum mark is a record; a mangled sum makes it a bad one.
bool isRecordLine(std::string_view line) {
    return line.find(",~") != std::string_view::npos;
}

void normalise(InstrumentState& s) {
    s.pilotPreferences.resize(InstrumentState::kPilotPreferencesSize, 0);
    s.glider.resize(InstrumentState::kGliderSize, 0);
    s.declaration.resize(InstrumentState::kDeclarationSize, 0);
    if (s.navpoints.size() > InstrumentState::kMaxNavpoints) {
        s.navpoints.resize(InstrumentState::kMaxNavpoints);
    }
    if (s.logs.size() > InstrumentState::kMaxLogs) s.logs.resize(InstrumentState::kMaxLogs);
    s.blockSize = std::clamp(s.blockSize, kMinBlockSize, kMaxBlockSize);
}

SimDate dayAfter(SimDate d) {
    constexpr unsigned kLength[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const unsigned length = kLength[(d.month - 1) % 12] + (d.month == 2 && d.year % 4 == 0);
    if (++d.day > length) {
        d.day = 1;
        if (++d.month > 12) {
            d.month = 1;
            ++d.year;
        }
    }
    return d;
}

// The directory of SimulatorOptions::sameDay, newest first: the older logs
// on a day each, then the day with several flights, one after another from
// 06:00. Those are short flights, so that up to kMaxSameDay fit in the day.
std::vector<SimLog> sameDayLogs(const InstrumentState& s, const SimulatorOptions& options,
                                std::size_t logs) {
    const auto n = static_cast<std::size_t>(std::min(options.sameDay, kMaxSameDay));
    const std::size_t older = std::max(logs, n) - n;
    std::vector<std::size_t> shortFlights;
    std::vector<std::size_t> others;
    // The generator makes every third log a cross-country flight of hours.
    for (std::size_t i = 0; shortFlights.size() < n || others.size() < older; ++i) {
        if (i % 3 != 2 && shortFlights.size() < n) {
            shortFlights.push_back(i);
        } else if (others.size() < older) {
            others.push_back(i);
        }
    }
    SimDate date{20 + options.seed % 6, 1 + options.seed % 3, 1};
    std::vector<SimLog> oldestFirst;
    for (std::size_t k = 0; k < older; ++k) {
        const unsigned start = (10 + static_cast<unsigned>(k % 3)) * 3600;
        oldestFirst.push_back(
            generateLogOn(others[k], s, options.seed, date, start, options.logOptions));
        date = dayAfter(date);
    }
    unsigned start = 6 * 3600;
    for (std::size_t index : shortFlights) {
        SimLog log = generateLogOn(index, s, options.seed, date, start, options.logOptions);
        start = log.end[3] * 3600u + log.end[4] * 60u + log.end[5] + 10 * 60;
        oldestFirst.push_back(std::move(log));
    }
    return {oldestFirst.rbegin(), oldestFirst.rend()};
}

}  // namespace

InstrumentState initialState(const SimulatorOptions& options) {
    InstrumentState s;
    s.instrumentType = options.instrumentType;
    s.version = options.version;
    s.pilotPreferences = defaultPilotPreferences();
    s.glider = defaultGlider();
    std::mt19937 rng(options.seed);
    auto pick = [&rng](unsigned n) { return static_cast<unsigned>(rng() % n); };

    const auto navpoints = static_cast<std::size_t>(
        std::clamp(options.navpoints, 0, static_cast<int>(InstrumentState::kMaxNavpoints)));
    for (std::size_t i = 0; i < navpoints; ++i) {
        const std::uint32_t lat = kEquator + 46 * 600000 + pick(2 * 600000);
        const std::uint32_t lon = kPrimeMeridian + 7 * 600000 + pick(3 * 600000);
        std::string name = "NAVPT " + std::to_string(i + 1);
        name.resize(12, ' ');
        constexpr unsigned kAttributes[] = {0x001, 0x003, 0x008, 0x040, 0x209};
        s.navpoints.push_back(navpointRecord(lat, lon, 200 + pick(2000), i + 1, kAttributes[i % 5],
                                             name, "GENERATED   "));
    }

    std::array<std::optional<std::array<std::uint8_t, kDeclaredPointSize>>, kMaxDeclaredPoints>
        declared{};
    for (std::size_t i = 0; i < std::min<std::size_t>(3, s.navpoints.size()); ++i) {
        std::array<std::uint8_t, kDeclaredPointSize> p{};
        std::copy_n(s.navpoints[i].begin(), 8, p.begin());            // lat, lon
        std::copy_n(s.navpoints[i].begin() + 14, 12, p.begin() + 8);  // name
        declared[i] = p;
    }
    s.declaration = declarationPayload(declared);

    const auto logs = static_cast<std::size_t>(
        std::clamp(options.logs, 0, static_cast<int>(InstrumentState::kMaxLogs)));
    if (options.sameDay > 0) {
        s.logs = sameDayLogs(s, options, logs);
        return s;
    }
    for (std::size_t i = 0; i < logs; ++i) {
        s.logs.push_back(generateLog(i, s, options.seed, options.logOptions));
    }
    return s;
}

// ---------------------------------------------------------------- the instrument

struct Simulator::Impl {
    // A log being served block by block.
    struct Transfer {
        bool active = false;
        Bytes data;
        std::size_t next = 0;
        std::size_t lastStart = 0;
        std::size_t lastLength = 0;
        bool haveLast = false;
        Bytes security;
    };

    struct Action {
        Bytes out;
        int newRate = 0;
    };

    explicit Impl(const SimulatorOptions& o)
        : options(o),
          state(initialState(o)),
          rate(o.baud),
          pace(o.pace),
          hostileRng(o.hostile.value_or(0)) {}

    SimulatorOptions options;

    mutable std::mutex mutex;  // everything below up to the descriptors
    InstrumentState state;
    int rate;
    bool pace;
    bool silent = false;
    EchoFault echoFault = EchoFault::None;
    int echoFaultCount = 0;
    std::optional<char> echoFaultOnly;
    struct PendingFault {
        ReplyFault fault;
        int count;  // -1: for ever
        int after;  // matching commands still answered well first
    };
    std::map<std::string, PendingFault> replyFaults;
    // Faults armed when a command line runs: trigger, then the spoiled command.
    std::multimap<std::string, std::pair<std::string, PendingFault>> armedFaults;
    std::map<std::string, std::pair<std::function<void(Bytes&)>, int>> rewrites;
    int acksWithheld = 0;

    std::string line;
    std::size_t echoedInLine = 0;
    bool echo = true;
    Transfer transfer;
    std::array<std::optional<std::array<std::uint8_t, kDeclaredPointSize>>, kMaxDeclaredPoints>
        pendingDeclaration{};

    std::deque<std::string> history;
    std::string receivedBytes;
    std::string ignoredBytes;

    std::mt19937 hostileRng;  // drawn from by the serving thread only

    std::mutex writeMutex;  // keeps replies and injected bytes whole
    std::unique_ptr<SimLine> wire;
    std::string path;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::mutex wakeMutex;
    std::condition_variable wakeUp;
    // When the paced line is free again; the serving thread's alone.
    std::chrono::steady_clock::time_point lineFree{};

    // ------------------------------------------------------------ line side

    // Waits up to `ms` unless stop() is called; false when stopping.
    bool pause(int ms) {
        std::unique_lock<std::mutex> lock(wakeMutex);
        wakeUp.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping.load(); });
        return !stopping.load();
    }

    void writeAll(const Bytes& bytes) {
        std::lock_guard<std::mutex> lock(writeMutex);
        if (wire && !stopping.load()) wire->write(bytes.data(), bytes.size());
    }

    // Waits until the line has carried `bytes` more bytes at `baud`, 10 bits
    // each, after `before`, counted from when it is free: the two directions
    // take turns, as the program's requests and the replies do. False when
    // stopping.
    bool occupyLine(std::size_t bytes, int baud, std::chrono::microseconds before) {
        const auto carried = std::chrono::microseconds(
            baud > 0 ? static_cast<long long>(bytes) * 10'000'000 / baud : 0);
        lineFree = std::max(lineFree, std::chrono::steady_clock::now()) + before +
                   std::min<std::chrono::microseconds>(carried, std::chrono::seconds(60));
        std::unique_lock<std::mutex> lock(wakeMutex);
        wakeUp.wait_until(lock, lineFree, [this] { return stopping.load(); });
        return !stopping.load();
    }

    void reply(const Bytes& bytes) {
        int current = 0;
        bool paced = false;
        {
            std::lock_guard<std::mutex> lock(mutex);
            current = rate;
            paced = pace;
        }
        if (bytes.empty() || wire->lineRate() != current) return;
        const std::chrono::microseconds turnaround{
            std::chrono::milliseconds(std::max(options.latencyMs, 0))};
        if ((paced || turnaround.count() > 0) &&
            !occupyLine(paced ? bytes.size() : 0, current, turnaround)) {
            return;
        }
        writeAll(bytes);
    }

    void serve() {
#ifdef __linux__
        // Paced waits are a fraction of a millisecond a byte: the default
        // 50 us of timer slack would add to every one of them.
        prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
        std::array<std::uint8_t, 4096> buffer{};
        while (!stopping.load()) {
            int speed = 0;
            const long n = wire->read(buffer.data(), buffer.size(), speed);
            if (n == 0) return;
            if (n < 0) {
                pause(10);  // hang-up or error: do not spin
                continue;
            }
            handleChunk(buffer.data(), static_cast<std::size_t>(n), speed);
        }
    }

    void handleChunk(const std::uint8_t* data, std::size_t n, int speed) {
        if (options.hostile) {
            answerHostile(data, n);
            return;
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            std::string& log = speed == rate ? receivedBytes : ignoredBytes;
            log.append(reinterpret_cast<const char*>(data), n);
            if (log.size() > kMaxHistoryBytes) log.erase(0, log.size() - kMaxHistoryBytes / 2);
            if (speed != rate) return;
        }
        for (std::size_t i = 0; i < n && !stopping.load(); ++i) {
            Action action;
            bool paced = false;
            {
                std::lock_guard<std::mutex> lock(mutex);
                paced = pace;
            }
            // A byte is there once it has crossed the line, not when the
            // pseudo-terminal hands it over.
            if (paced && !occupyLine(1, speed, {})) return;
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (silent) return;
                action = processByte(data[i]);
            }
            reply(action.out);
            if (action.newRate != 0) {
                std::lock_guard<std::mutex> lock(mutex);
                rate = action.newRate;
            }
        }
    }

    // Garbage for every byte, at whatever rate it came: whatever the program
    // reads from this line must neither crash it, nor hang it, nor pass for
    // an answer.
    void answerHostile(const std::uint8_t* data, std::size_t n) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            receivedBytes.append(reinterpret_cast<const char*>(data), n);
            if (receivedBytes.size() > kMaxHistoryBytes) {
                receivedBytes.erase(0, receivedBytes.size() - kMaxHistoryBytes / 2);
            }
        }
        auto pick = [this](std::size_t k) { return static_cast<std::size_t>(hostileRng() % k); };
        for (std::size_t i = 0; i < n && !stopping.load(); ++i) {
            Bytes out;
            // An echo now and then lets the program past its echo checks, so
            // that the reads after them get garbage too.
            if (pick(4) == 0) out.push_back(data[i]);
            const std::size_t kind = pick(100);
            std::size_t length = 0;
            if (kind >= 98) {
                length = kLongestRead + 1 + pick(4096);
            } else if (kind >= 80) {
                length = 49 + pick(600);
            } else if (kind >= 35) {
                length = 1 + pick(48);
            }
            for (std::size_t k = 0; k < length; ++k) {
                out.push_back(static_cast<std::uint8_t>(hostileRng() & 0xFF));
            }
            if (!out.empty()) writeAll(out);
        }
    }

    // ------------------------------------------------------------ prompt (under mutex)

    Action processByte(std::uint8_t b) {
        Action action;
        if (b == 0x03) {  // back to the prompt, whatever was going on
            line.clear();
            echoedInLine = 0;
            echo = true;
            Reply r = textReply("\r\nVANTOR 2 SIMULATOR\r\n", kSyncReplySize);
            spoil(r, takeFault("sync"));
            action.out = std::move(r.bytes);
            return action;
        }
        if (b == 0x1B) {  // abort: drop the line, answer nothing
            line.clear();
            echoedInLine = 0;
            return action;
        }
        if (b == '\r') {
            std::string command = std::move(line);
            line.clear();
            const std::size_t echoed = echoedInLine;
            echoedInLine = 0;
            return execute(command, echoed);
        }
        if (b == '\n') {  // a sentence: taken, never answered
            remember(line);
            line.clear();
            echoedInLine = 0;
            return action;
        }
        if (b < 0x20 || b == 0x7F || line.size() >= kMaxLine) return action;
        if (echo) {
            const char c = static_cast<char>(b);
            if (echoFault != EchoFault::None && echoFaultCount != 0 &&
                (!echoFaultOnly || *echoFaultOnly == c)) {
                const EchoFault fault = echoFault;
                if (echoFaultCount > 0 && --echoFaultCount == 0) echoFault = EchoFault::None;
                if (fault == EchoFault::Missing) return action;  // the character is lost
                action.out.push_back(static_cast<std::uint8_t>(b ^ 0x20));
            } else {
                action.out.push_back(b);
            }
            ++echoedInLine;
        }
        line.push_back(static_cast<char>(b));
        return action;
    }

    void remember(const std::string& text) {
        history.push_back(text);
        if (history.size() > kMaxHistoryLines) history.pop_front();
    }

    std::optional<ReplyFault> takeFault(const std::string& command) {
        const auto it = replyFaults.find(command);
        if (it == replyFaults.end()) return std::nullopt;
        PendingFault& f = it->second;
        if (f.after > 0) {
            --f.after;
            return std::nullopt;
        }
        const ReplyFault fault = f.fault;
        if (f.count > 0 && --f.count == 0) replyFaults.erase(it);
        return fault;
    }

    void spoil(Reply& r, std::optional<ReplyFault> fault, std::size_t echoed = 0) {
        if (fault == ReplyFault::Damaged || (fault == ReplyFault::Refuse && !r.refusable)) {
            if (r.damageAt < r.bytes.size()) r.bytes[r.damageAt] ^= 0x01;
        }
        // The program reads a fixed count, its own echo included.
        if (r.plain) r.bytes.resize(r.bytes.size() > echoed ? r.bytes.size() - echoed : 0);
        if (fault == ReplyFault::Short) {
            r.bytes.resize(std::min(kShortFaultBytes, r.bytes.empty() ? 0 : r.bytes.size() - 1));
        }
        if (fault == ReplyFault::Silent) r.bytes.clear();
    }

    Action execute(const std::string& command, std::size_t echoed) {
        remember(command);
        const auto fault = takeFault(command);
        const auto [from, to] = armedFaults.equal_range(command);
        for (auto it = from; it != to; ++it) replyFaults[it->second.first] = it->second.second;
        armedFaults.erase(from, to);
        const bool take = fault != ReplyFault::Short && fault != ReplyFault::Silent;
        Reply r = dispatch(command, take, fault == ReplyFault::Refuse);
        Action action;
        if (r.none) return action;
        spoil(r, fault, echoed);
        action.out = std::move(r.bytes);
        if (take) action.newRate = r.newRate;
        if (const auto it = rewrites.find(command); it != rewrites.end()) {
            it->second.first(action.out);
            if (it->second.second > 0 && --it->second.second == 0) rewrites.erase(it);
        }
        return action;
    }

    Reply dispatch(const std::string& command, bool take, bool refuse) {
        const std::string_view c = command;
        if (isRecordLine(c)) return record(c, take);
        if (c == "upl 1" || c == "upl 0" || c == "dow 1") {
            const bool upload = c[0] == 'u';
            if (take) {
                echo = c == "upl 0";
                if (!upload) pendingDeclaration = {};
            }
            return textReply(upload ? "\r\nUPLOAD MODE\r\n" : "\r\nDOWNLOAD MODE\r\n",
                             upload ? 25 : 27);
        }
        if (c.substr(0, 4) == "bau ") {
            Reply r = textReply("B", 1);
            if (const auto code = number(c.substr(4), 0, 255)) r.newRate = baudOfCode(*code);
            return r;
        }
        if (c == "cle pil" || c == "cle log" || c == "cle poi") {
            if (take) clear(c);
            return textReply("\r\nCLEARED\r\n", 14);
        }
        if (c == "w") return identity(c);
        if (c == "o") return shortFrame(c, {1, InstrumentState::kPilotPreferencesSize}, 11);
        if (c == "o 0") {
            return shortFrame(c, state.pilotPreferences, state.pilotPreferences.size() + 9);
        }
        if (c == "g") return shortFrame(c, {InstrumentState::kGliderSize}, 10);
        if (c == "g 0") return shortFrame(c, state.glider, state.glider.size() + 9);
        if (c == "d") return longFrame(c, state.declaration, 321);
        if (c == "c" || (c.size() > 2 && c.substr(0, 2) == "c ")) return navpoint(c);
        if (c.size() > 2 && c.substr(0, 2) == "b ") return block(c, take, refuse);
        return emptyFrame(c);
    }

    // A cleared pilot record is the factory one.
    void clear(std::string_view what) {
        if (what == "cle pil") {
            state.pilotPreferences = defaultPilotPreferences();
        } else if (what == "cle log") {
            state.logs.clear();
            transfer = {};
        } else {
            state.navpoints.clear();
        }
    }

    Reply identity(std::string_view c) const {
        Bytes data(32, 0);
        putText(data, 0, "VANTOR2", 8, ' ');
        std::copy(state.serial.begin(), state.serial.end(), data.begin() + 15);
        std::copy(state.version.begin(), state.version.end(), data.begin() + 19);
        data[29] = state.instrumentType;
        return shortFrame(c, data, 41);
    }

    Reply navpoint(std::string_view c) const {
        Reply r;
        if (c == "c") {
            const auto count = static_cast<unsigned>(state.navpoints.size());
            r = shortFrame(
                c,
                {static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count & 0xFF),
                 InstrumentState::kNavpointSize},
                12);
        } else if (const auto n = number(c.substr(2), 0, 99999);
                   n && allDigits(c.substr(2)) &&
                   static_cast<std::size_t>(*n) < state.navpoints.size()) {
            const auto& p = state.navpoints[static_cast<std::size_t>(*n)];
            r = shortFrame(c, Bytes(p.begin(), p.end()), InstrumentState::kNavpointSize + 9);
        } else {
            r = emptyFrame(c);
        }
        r.plain = false;
        return r;
    }

    // ------------------------------------------------------------ logs

    Reply block(std::string_view c, bool take, bool refuse) {
        const std::string_view argument = c.substr(2);
        if (argument == "N" || argument == "R") return nextBlock(c, argument == "R", take);
        if (argument == "s") return securityRecord(c);
        const auto n = allDigits(argument) ? number(argument, 0, 99999) : std::nullopt;
        if (!n) return emptyFrame(c);
        if (*n >= 196 && *n < 256) return directoryBlock(c, static_cast<std::size_t>(*n - 196));
        if (*n >= 64 && *n < 196) return logRequest(c, *n - 64, false, take, refuse);
        if (*n == 2112) return logRequest(c, -1, false, take, refuse);
        if (*n >= 256 && *n < 256 + 1024) return logRequest(c, *n - 256, true, take, refuse);
        if (*n == 0) return logRequest(c, -1, true, take, refuse);
        Reply r = emptyFrame(c);
        r.plain = false;
        return r;
    }

    Reply directoryBlock(std::string_view c, std::size_t n) const {
        Bytes data(kDirectoryReadSize - 5, 0);
        data[0] = static_cast<std::uint8_t>(std::min<std::size_t>(state.logs.size(), 255));
        for (std::size_t k = 0; k < kEntriesPerDirectoryBlock; ++k) {
            const std::size_t i = n * kEntriesPerDirectoryBlock + k;
            if (i >= state.logs.size()) break;
            const SimLog& log = state.logs[i];
            const std::size_t at = 1 + kDirectoryEntrySize * k;
            std::copy(log.start.begin(), log.start.end(), data.begin() + at);
            std::copy(log.end.begin(), log.end.end(), data.begin() + at + 6);
            putText(data, at + 12, log.label, 24, '\0');
        }
        return longFrame(c, data, kDirectoryReadSize);
    }

    // Log n (all logs when n is -1) as IGC text or as the binary log.
    Reply logRequest(std::string_view c, long long n, bool binary, bool take, bool refuse) {
        const bool exists =
            n < static_cast<long long>(state.logs.size()) && (n >= 0 || !state.logs.empty());
        Transfer t;
        t.active = true;
        std::uint8_t headerA = 0;
        std::uint8_t headerB = 0;
        for (std::size_t i = 0; exists && i < state.logs.size(); ++i) {
            if (n >= 0 && static_cast<long long>(i) != n) continue;
            const SimLog& log = state.logs[i];
            if (binary) {
                t.data.insert(t.data.end(), log.binary.begin(), log.binary.end());
            } else {
                t.data.insert(t.data.end(), log.igc.begin(), log.igc.end());
            }
            if (t.security.empty()) {
                t.security = log.security;
                headerA = log.binaryHeaderA;
                headerB = log.binaryHeaderB;
            }
        }
        if (t.data.size() > 0xFFFFFF) t.data.resize(0xFFFFFF);
        const bool yes = exists && !refuse;
        if (yes && take) transfer = std::move(t);

        const auto size = static_cast<unsigned>(state.blockSize);
        const std::size_t length = yes ? transfer.data.size() : 0;
        Bytes data{static_cast<std::uint8_t>(yes ? 'Y' : 'N'), 0, 0};
        put16(data, 1, yes ? size : 0);
        if (binary) {
            data.push_back(static_cast<std::uint8_t>(length >> 16));
            data.push_back(static_cast<std::uint8_t>((length >> 8) & 0xFF));
            data.push_back(static_cast<std::uint8_t>(length & 0xFF));
            data.push_back(headerA);
            data.push_back(headerB);
        } else {
            const std::size_t blocks = (length + size - 1) / size;
            data.push_back(static_cast<std::uint8_t>((blocks >> 8) & 0xFF));
            data.push_back(static_cast<std::uint8_t>(blocks & 0xFF));
        }
        Reply r = longFrame(c, data, binary ? 19 : 16);
        r.plain = false;
        r.refusable = true;
        return r;
    }

    Reply nextBlock(std::string_view c, bool repeat, bool take) {
        const auto size = static_cast<std::size_t>(state.blockSize);
        std::size_t start = transfer.next;
        if (repeat && transfer.haveLast) start = transfer.lastStart;
        std::size_t length = 0;
        if (transfer.active && start < transfer.data.size()) {
            length = std::min(size, transfer.data.size() - start);
        }
        if (take && !(repeat && transfer.haveLast)) {
            transfer.lastStart = start;
            transfer.lastLength = length;
            transfer.haveLast = true;
            transfer.next = start + length;
        }
        Bytes data(2 + length, 0);
        put16(data, 0, static_cast<unsigned>(length));
        std::copy_n(transfer.data.begin() + static_cast<std::ptrdiff_t>(start), length,
                    data.begin() + 2);
        Reply r = longFrame(c, data, size + 13);
        r.plain = false;
        return r;
    }

    Reply securityRecord(std::string_view c) const {
        const Bytes* security = &transfer.security;
        if (!transfer.active && !state.logs.empty()) security = &state.logs.front().security;
        const std::size_t length = std::min(security->size(), kMaxSecurity);
        Bytes data(2 + length, 0);
        put16(data, 0, static_cast<unsigned>(length));
        std::copy_n(security->begin(), length, data.begin() + 2);
        Reply r = longFrame(c, data, kSecurityReadSize);
        r.plain = false;
        return r;
    }

    // ------------------------------------------------------------ records

    // A record with a wrong sum, or one whose acknowledgement is withheld, is
    // lost: no answer and no effect. A record with a right sum is always
    // acknowledged; content the instrument cannot read is then ignored.
    Reply record(std::string_view recordLine, bool take) {
        Reply none;
        none.none = true;
        const auto text = checkedRecord(recordLine);
        if (!text) return none;
        if (acksWithheld > 0) {
            --acksWithheld;
            return none;
        }
        if (take) apply(*text);
        return shortFrame(recordLine, {}, 9);
    }

    void apply(std::string_view text) {
        if (text.substr(0, 2) == "o,") {
            if (auto b = pilotPreferencesBlock(text, state.pilotPreferences)) {
                state.pilotPreferences = std::move(*b);
            }
        } else if (text.substr(0, 2) == "g,") {
            if (auto b = gliderBlock(text, state.glider)) state.glider = std::move(*b);
        } else if (text == "c,-1") {
            // end of the list: every point is stored as it arrives
        } else if (text.substr(0, 2) == "c,") {
            if (const auto p = navpointLine(text)) {
                if (p->index >= state.navpoints.size()) state.navpoints.resize(p->index + 1);
                state.navpoints[p->index] = p->record;
            }
        } else if (text == "d,255") {
            state.declaration = declarationPayload(pendingDeclaration);
            pendingDeclaration = {};
        } else if (text.substr(0, 2) == "d,") {
            if (const auto p = declarationLine(text)) pendingDeclaration[p->position] = p->bytes;
        }
    }
};

Simulator::Simulator(const SimulatorOptions& options) : impl_(std::make_unique<Impl>(options)) {}

Simulator::~Simulator() {
    stop();
}

bool Simulator::start() {
    Impl& d = *impl_;
    if (d.thread.joinable()) return true;
    d.stopping = false;
    int rate = 0;
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        rate = d.rate;
    }
    d.wire = makeSimLine();
    if (!d.wire || !d.wire->open(rate)) {
        d.wire.reset();
        return false;
    }
    d.path = d.wire->devicePath();
    d.thread = std::thread([&d] { d.serve(); });
    return true;
}

void Simulator::stop() {
    Impl& d = *impl_;
    if (!d.thread.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(d.wakeMutex);
        d.stopping = true;
    }
    d.wakeUp.notify_all();
    d.wire->interrupt();
    d.thread.join();
    std::lock_guard<std::mutex> lock(d.writeMutex);
    d.wire->close();
    d.wire.reset();
}

std::string Simulator::devicePath() const {
    return impl_->path;
}

InstrumentState Simulator::state() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->state;
}

void Simulator::setState(const InstrumentState& state) {
    InstrumentState copy = state;
    normalise(copy);
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->state = std::move(copy);
}

int Simulator::rate() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->rate;
}

void Simulator::setRate(int baud) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->rate = baud;
}

void Simulator::setSilent(bool silent) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->silent = silent;
}

void Simulator::failEchoes(EchoFault fault, int count, std::optional<char> only) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->echoFault = count == 0 ? EchoFault::None : fault;
    impl_->echoFaultCount = count;
    impl_->echoFaultOnly = only;
}

void Simulator::failReplies(const std::string& command, ReplyFault fault, int count, int after) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (count == 0) {
        impl_->replyFaults.erase(command);
    } else {
        impl_->replyFaults[command] = {fault, count, after};
    }
}

void Simulator::failRepliesAfterCommand(const std::string& trigger, const std::string& command,
                                        ReplyFault fault, int count, int after) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->armedFaults.emplace(trigger,
                               std::make_pair(command, Impl::PendingFault{fault, count, after}));
}

void Simulator::rewriteReplies(const std::string& command,
                               std::function<void(std::vector<std::uint8_t>&)> edit, int count) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (count == 0 || !edit) {
        impl_->rewrites.erase(command);
    } else {
        impl_->rewrites[command] = {std::move(edit), count};
    }
}

void Simulator::withholdAcks(int count) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->acksWithheld = count;
}

void Simulator::clearFaults() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->silent = false;
    impl_->echoFault = EchoFault::None;
    impl_->echoFaultCount = 0;
    impl_->echoFaultOnly.reset();
    impl_->replyFaults.clear();
    impl_->rewrites.clear();
    impl_->acksWithheld = 0;
}

void Simulator::setPacing(bool pace) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->pace = pace;
}

std::vector<std::string> Simulator::lines() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return {impl_->history.begin(), impl_->history.end()};
}

std::string Simulator::received() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->receivedBytes;
}

std::string Simulator::ignored() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->ignoredBytes;
}

void Simulator::clearHistory() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->history.clear();
    impl_->receivedBytes.clear();
    impl_->ignoredBytes.clear();
}

void Simulator::inject(const std::vector<std::uint8_t>& bytes) {
    impl_->writeAll(bytes);
}

}  // namespace vantor::sim
