// Writes the fuzzers' seed corpora: what the simulated instrument serves
// (its blocks and reply frames, caught on their way to the program over a
// pseudo-terminal), files as this program writes them, and a few hand-made
// lines in the forms the readers accept or refuse.
//
//   make_fuzz_corpus DIRECTORY     (DIRECTORY/<fuzzer name>/<seed>)

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "LogSigning.h"
#include "Simulator.h"
#include "base/Prompts.h"
#include "link/InstrumentLink.h"
#include "logs/LogDirectory.h"
#include "navpoints/CupFile.h"
#include "navpoints/NavpointFile.h"
#include "navpoints/NavpointTransfer.h"
#include "records/GliderPolar.h"
#include "records/PilotPreferences.h"
#include "security/LogVerifier.h"

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

fs::path root;
bool failed = false;

void put(const std::string& fuzzer, const std::string& name, const Bytes& bytes) {
    const fs::path dir = root / fuzzer;
    fs::create_directories(dir);
    std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "cannot write %s/%s\n", fuzzer.c_str(), name.c_str());
        failed = true;
    }
}

void put(const std::string& fuzzer, const std::string& name, const std::string& text) {
    put(fuzzer, name, Bytes(text.begin(), text.end()));
}

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A reply frame seed: the command's length, the count of its characters the
// check covers, the command, then the frame as it arrived.
Bytes frameSeed(const std::string& command, std::size_t covered, const Bytes& frame) {
    Bytes seed{static_cast<std::uint8_t>(command.size()), static_cast<std::uint8_t>(covered)};
    seed.insert(seed.end(), command.begin(), command.end());
    return concat(seed, frame);
}

// The replies the simulator sends for the commands we ask it about.
class Catcher {
public:
    void watch(vantor::sim::Simulator& sim, const std::string& command) {
        sim.rewriteReplies(
            command,
            [this, command](Bytes& reply) {
                const std::lock_guard lock(mutex_);
                replies_[command] = reply;
            },
            1);
    }
    Bytes reply(const std::string& command) {
        const std::lock_guard lock(mutex_);
        const auto it = replies_.find(command);
        if (it == replies_.end()) {
            std::fprintf(stderr, "no reply caught for \"%s\"\n", command.c_str());
            failed = true;
            return {};
        }
        return it->second;
    }

private:
    std::mutex mutex_;
    std::map<std::string, Bytes> replies_;
};

void instrumentSeeds() {
    vantor::sim::SimulatorOptions options;
    options.navpoints = 4;
    options.logs = 3;
    vantor::sim::Simulator sim(options);
    if (!sim.start()) {
        std::fprintf(stderr, "the simulator did not start\n");
        failed = true;
        return;
    }
    Catcher catcher;
    for (const char* command : {"w", "o", "o 0", "g", "g 0", "d", "b 196", "c", "c 0", "c 3"}) {
        catcher.watch(sim, command);
    }

    vantor::SilentPrompts prompts;
    vantor::InstrumentLink link(prompts);
    const std::string port = sim.devicePath();
    if (!link.connectForUpload(port, true)) {
        std::fprintf(stderr, "no connection to the simulator\n");
        failed = true;
        return;
    }
    std::array<std::uint8_t, vantor::kIdentitySize> identity{};
    int length = 0;
    Bytes preferences(vantor::PilotPreferences::kBlockSize);
    Bytes glider(vantor::GliderPolar::kBlockSize);
    std::array<std::uint8_t, vantor::kDeclarationSize> declaration{};
    std::array<std::uint8_t, vantor::kDirectoryBlockSize> directory{};
    bool ok = link.queryIdentity(identity);
    ok = ok && link.queryPilotPreferencesHeader(&length) >= 0;
    ok = ok && link.queryPilotPreferencesData(0, preferences);
    ok = ok && link.queryGliderHeader(&length) >= 0;
    ok = ok && link.queryGliderData(glider);
    ok = ok && link.queryDeclaration(declaration);
    ok = ok && link.readDirectoryBlock(0, directory);
    ok = ok && link.sync() && link.enterUploadMode(true);
    int recordSize = 0;
    ok = ok && link.queryNavpointCount(&recordSize) == options.navpoints;
    std::array<std::uint8_t, vantor::kNavpointRecordSize> first{};
    std::array<std::uint8_t, vantor::kNavpointRecordSize> last{};
    ok = ok && link.queryNavpoint(0, first) && link.queryNavpoint(3, last);
    link.sync();
    link.close();
    if (!ok) {
        std::fprintf(stderr, "a query to the simulator failed\n");
        failed = true;
        return;
    }

    // Reply frames, each with the command and count its query checks it with.
    put("reply_frame", "identity", frameSeed("w\r", 1, catcher.reply("w")));
    put("reply_frame", "preferences-header", frameSeed("o\r", 1, catcher.reply("o")));
    put("reply_frame", "preferences-data", frameSeed("o 0\r", 3, catcher.reply("o 0")));
    put("reply_frame", "glider-data", frameSeed("g 0\r", 3, catcher.reply("g 0")));
    put("reply_frame", "declaration", frameSeed("d\r", 1, catcher.reply("d")));
    put("reply_frame", "directory", frameSeed("b 196\r", 5, catcher.reply("b 196")));
    put("reply_frame", "navpoint-count", frameSeed("c\r", 1, catcher.reply("c")));
    put("reply_frame", "navpoint", frameSeed("c 3\r", 3, catcher.reply("c 3")));

    put("pilot_preferences_block", "instrument", preferences);
    put("glider_block", "instrument", glider);
    put("declaration", "three-points", Bytes(declaration.begin(), declaration.end()));
    put("navpoint_record", "first", Bytes(first.begin(), first.end()));
    put("navpoint_record", "last", Bytes(last.begin(), last.end()));

    // The directory fuzzer takes the serial, a minimum log time in seconds
    // and the entries.
    const int count = directory[0];
    Bytes entries(directory.begin() + 1, directory.begin() + 1 + 36 * count);
    put("log_directory", "three-logs",
        concat({identity[18], identity[19], identity[20], 0, 0}, entries));
    put("log_directory", "filtered",
        concat({identity[18], identity[19], identity[20], 0x01, 0x2C}, entries));

    // Files as the program writes them from what it fetched.
    vantor::PilotPreferences record;
    vantor::decodeBlock(record, preferences);
    put("pilot_preferences_file", "saved.ppf", vantor::formatRecord(record));
    vantor::GliderPolar polar;
    vantor::decodeGliderBlock(polar, glider);
    put("polar_file", "saved.plr", vantor::formatPolarLine(polar));
}

void navpointFileSeeds() {
    vantor::sim::SimulatorOptions options;
    options.navpoints = 5;
    const auto state = vantor::sim::initialState(options);
    const auto table = std::make_unique<vantor::NavpointTable>();
    for (const auto& record : state.navpoints) {
        table->entries[static_cast<std::size_t>(table->count++)] =
            vantor::decodeNavpointRecord(record);
    }
    const fs::path dir = root / "navpoint_file";
    fs::create_directories(dir);
    if (!vantor::writeNavpointFile((dir / "written.dat").string(), *table)) {
        std::fprintf(stderr, "cannot write the navpoint file seed\n");
        failed = true;
    }
    // A line as the program writes it, for the line fuzzer without its line feed.
    const std::string written = vantor::formatNavpointLine(table->entries[0]);
    put("navpoint_line", "written", written.substr(0, written.size() - 1));

    // The forms a reader meets in files written by other programs or by hand.
    const std::pair<const char*, const char*> forms[] = {
        {"decimals-feet", "1,47:30.5N,008:15.0000E,1500F,TAxr,HILLTOP,GRASS STRIPS"},
        {"seconds-empty-texts", "2,47:30:15N,008:15:30W,-20M,WR,,\r"},
        {"long-texts",
         "3,12:00.0000S,120:00.0000E,0,MLSFHE,A NAME LONGER THAN TWELVE,comma, inside"},
        {"latin1", "4,00:00.0000S,000:00.0000W,1500,E,ORIGIN,\xe9t\xe9"},
        {"no-hemisphere", "5,47:30.0000,008:15.0000E,1,T,NOHEMISPHERE,skipped"},
        {"corner", "6,89:59.9999N,179:59.9999E,32767M,T,CORNER,last line"},
    };
    std::string file;
    for (const auto& [name, line] : forms) {
        put("navpoint_line", name, line);
        file += line;
        // Lines that are no navpoints, which the reader skips and counts or not.
        file += file.size() < 100 ? "\n  not a navpoint\n\n" : "\n";
    }
    file.pop_back();  // the last line needs no line feed
    put("navpoint_file", "forms.txt", file);
}

// CUP files: the instrument's navpoints as we write them, and a
// competition file in the forms other programs write (older and newer
// columns, feet, quotes, a byte order mark, Windows-1252, tasks with their
// Options and ObsZone lines).
void cupFileSeeds() {
    vantor::sim::SimulatorOptions options;
    options.navpoints = 5;
    const auto state = vantor::sim::initialState(options);
    const auto table = std::make_unique<vantor::NavpointTable>();
    for (const auto& record : state.navpoints) {
        table->entries[static_cast<std::size_t>(table->count++)] =
            vantor::decodeNavpointRecord(record);
    }
    const fs::path dir = root / "cup_file";
    fs::create_directories(dir);
    if (!vantor::writeCupFile((dir / "written.cup").string(), *table)) {
        std::fprintf(stderr, "cannot write the CUP file seed\n");
        failed = true;
    }
    put("cup_file", "contest.cup",
        "\xEF\xBB\xBFname,code,country,lat,lon,elev,style,rwdir,rwlen,rwwidth,freq,desc,userdata,"
        "pics\r\n"
        "\"Home \xC3\x84\",\"HOME\",DE,4700.000N,00800.000E,300.0m,5,090,800m,30m,123.500,"
        "\"Gliders, tow\",\"\",\"\"\r\n"
        "\"Joe\"\"s Hill\",HT,DE,4730.1254N,00815.000E,1640ft,7,,,,,\"Summit\",,\r\n"
        "\"Valley\",VT,DE,4600.000S,00700.500W,,3,,,,,,,\r\n"
        "\"Broken\",X,DE,47:30.000N,00700.500W,12m,1,,,,,,,\r\n"
        "-----Related Tasks-----\r\n"
        "\"Triangle\",\"Home \xC3\x84\",\"Joe\"\"s Hill\",\"Valley\",\"Home \xC3\x84\"\r\n"
        "Options,NoStart=12:00:00,TaskTime=03:00:00\r\n"
        "ObsZone=0,Style=2,R1=500m,A1=180,Line=1\r\n"
        "STx=1,\"Valley\"\r\n"
        "\"Lost\",\"Home \xC3\x84\",\"Nowhere\"\r\n");
    put("cup_file", "older.cup",
        "Title,Code,Country,Latitude,Longitude,Elevation,Style,Direction,Length,Frequency,"
        "Description\n"
        "\"Z\xFCrich \x8Ailo\",ZS,CH,4727.500N,00832.750E,1400ft,2,100,1200m,122.100,"
        "\"\xC0 la \x80\"\n"
        "Pole,P,,9000.000S,18000.000W,-20.4m,4,,,,\n");
}

void recordFileSeeds() {
    put("pilot_preferences_file", "default.ppf", vantor::formatRecord(vantor::PilotPreferences{}));
    put("pilot_preferences_file", "refused.ppf",
        "o,Pilot,1,1,1,0,0,100,70000,400,4,1,5,100,102,255,65375,3000");
    put("pilot_preferences_file", "short.ppf", "o,Jo,0, 1,");
    put("polar_file", "default.plr", vantor::formatPolarLine(vantor::GliderPolar{}));
    put("polar_file", "refused.plr", "ASW-20,asw, 300, 100, 175, 350, 100, 0, 10500\n");
    put("polar_file", "short.plr", "LS8,D-1234, 43");
}

// Logs as a download saves them, the IGC text and then the G lines of the
// security record, cut to a few fixes so that a run spends its time on
// variations rather than on thousands of alike B records; signed again
// over what is left.
void logSeeds() {
    vantor::sim::SimulatorOptions options;
    options.logs = 1;
    const auto state = vantor::sim::initialState(options);
    const auto log = vantor::sim::generateLog(0, state, 7);
    std::string text;
    std::string signedText;
    int fixes = 0;
    for (std::size_t at = 0; at < log.igc.size();) {
        const std::size_t end = std::min(log.igc.find('\n', at), log.igc.size() - 1) + 1;
        const std::string line = log.igc.substr(at, end - at);
        at = end;
        if (line[0] == 'G' || (line[0] == 'B' && ++fixes > 12)) continue;
        text += line;
        const bool skipped = (line[0] == 'H' && (line[1] == 'O' || line[1] == 'P')) ||
                             (line[0] == 'L' && line.compare(1, 3, "TVR") != 0);
        if (!skipped) signedText += line;
    }
    auto saved = [&](const std::string& name, std::uint16_t status, std::uint32_t expected) {
        vantor::sim::Signing signing;
        signing.status = status;
        signing.keyNumber = 321;
        signing.nonce = 7;
        const std::string file = text + vantor::sim::signatureLines(signedText, signing);
        const Bytes bytes(file.begin(), file.end());
        if (vantor::security::verifyLogData(bytes) != expected) {
            std::fprintf(stderr, "the %s log does not verify as it should\n", name.c_str());
            failed = true;
        }
        put("log_verifier", name, bytes);
        if (status == 0x0001) put("igc_file", "simulator.igc", bytes);
    };
    using namespace vantor::security;
    saved("signed.igc", 0x0001, SIG_VALID | LOG_CRC_OK | SIG_CRC_OK);
    saved("unsigned.igc", 0x00FF, UNSIGNED | LOG_CRC_OK | SIG_CRC_OK);
    saved("old.igc", 0x64A2, OLD_FILE);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_corpus DIRECTORY\n");
        return 2;
    }
    root = argv[1];
    instrumentSeeds();
    navpointFileSeeds();
    cupFileSeeds();
    recordFileSeeds();
    logSeeds();
    return failed ? 1 : 0;
}
