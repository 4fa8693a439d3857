#include "navpoints/NavpointTransfer.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "base/BigEndian.h"
#include "base/Prompts.h"
#include "link/InstrumentLink.h"

namespace vantor {

namespace {

constexpr std::size_t kMaxCommandLine = 249;

std::uint32_t be32(const std::uint8_t* p) {
    return loadBigEndian(std::span(p, 4));
}

std::uint16_t be16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(loadBigEndian(std::span(p, 2)));
}

std::string_view fixedText(const std::uint8_t* p) {
    const auto* text = reinterpret_cast<const char*>(p);
    std::size_t n = 0;
    while (n < kNavpointNameLength && text[n] != '\0') ++n;
    return {text, n};
}

// Appends ",field" in place: "," + a temporary string makes GCC 12 at -O3
// warn of an overlapping copy that cannot happen.
void appendField(std::string& line, std::string_view field) {
    line += ',';
    line += field;
}

}  // namespace

Navpoint decodeNavpointRecord(const std::array<std::uint8_t, kNavpointRecordSize>& r) {
    Navpoint p;
    p.latitude = be32(r.data());
    p.longitude = be32(r.data() + 4);
    p.altitude = static_cast<std::int16_t>(be16(r.data() + 8));
    p.number = be16(r.data() + 10);
    p.attributes = be16(r.data() + 12);
    p.setName(fixedText(r.data() + 14));
    p.setComment(fixedText(r.data() + 26));
    return p;
}

std::string navpointCommandLine(const char* prefix, int index, const Navpoint& p) {
    std::string line = prefix;
    appendField(line, std::to_string(index));
    appendField(line, formatCoordinate(p.latitude, true, CoordinateForm::Instrument));
    appendField(line, formatCoordinate(p.longitude, false, CoordinateForm::Instrument));
    appendField(line, std::to_string(p.altitude));
    appendField(line, std::to_string(p.number));
    appendField(line, std::to_string(p.attributes));
    appendField(line, p.nameText());
    appendField(line, p.commentText());
    if (line.size() > kMaxCommandLine) line.resize(kMaxCommandLine);
    return line;
}

bool NavpointTransfer::finish(bool failed, Restore restore) {
    observer_.setStatus("Finishing...");
    if (restore == Restore::Switch) {
        link_.setInstrumentBaudRate(4800);
    } else if (restore == Restore::Find) {
        // The instrument was switched and then went wrong: look for it
        // wherever it is, so that no later operation finds it off 4800.
        link_.restoreBaudRate(4800);
    }
    link_.close();
    observer_.setStatus(failed ? "Failure" : "Success");
    return !failed;
}

bool NavpointTransfer::fail(const char* text, Restore restore) {
    prompts_.message(text, "Error", Buttons::Ok, Icon::None, owner_);
    return finish(true, restore);
}

bool NavpointTransfer::download(const std::string& portName, NavpointTable& table) {
    wasCancelled_ = false;
    WaitCursor wait(prompts_);
    observer_.setStatus("Getting Waypoints");
    if (!link_.open(portName, 4800, 1000)) {
        return fail(link_.openFailureText("Can't open ComPort").c_str(), Restore::None);
    }
    if (link_.detectBaudRate() < 0) return fail("Failed to connect.", Restore::None);
    link_.setInstrumentBaudRate(57600);
    if (!link_.sync()) return fail("Failed to connect.", Restore::Find);
    link_.setReadTimeout(1000);
    if (!link_.sync()) return fail("Failed to connect.", Restore::Switch);
    if (!link_.enterUploadMode(true)) return fail("Could not upload.", Restore::Switch);

    int count = -1;
    for (int attempt = 0; attempt < 3 && count < 0; ++attempt) {
        int recordSize = 0;
        count = link_.queryNavpointCount(&recordSize);
        // Records of another size are not navpoints as this program knows them.
        if (recordSize != static_cast<int>(kNavpointRecordSize)) count = -1;
    }
    if (count < 0) return fail("No points found.", Restore::Switch);
    const int total = count;
    // The table takes no more than it holds, whatever the instrument announces.
    if (count > static_cast<int>(kNavpointTableSize)) count = static_cast<int>(kNavpointTableSize);

    // The pilot's table is replaced only by a whole download; until then the
    // navpoints arrive in a table of their own.
    auto received = std::make_unique<NavpointTable>();
    std::array<std::uint8_t, kNavpointRecordSize> record{};
    for (int i = 0; i < count; ++i) {
        if (cancel_ && cancel_->load()) {
            wasCancelled_ = true;
            finish(true, Restore::Switch);
            observer_.setStatus("Transfer Cancelled");
            return false;
        }
        bool arrived = false;
        for (int attempt = 0; attempt < 3 && !arrived; ++attempt) {
            arrived = link_.queryNavpoint(i, record);
        }
        if (!arrived) return fail("Transfer Error.", Restore::Find);
        received->entries[static_cast<std::size_t>(i)] = decodeNavpointRecord(record);
        char status[64];
        std::snprintf(status, sizeof status, "%d of %d Received", i + 1, total);
        observer_.setStatus(status);
        received->count = i + 1;
    }
    table = *received;
    observer_.navpointsReceived();
    return finish(false, Restore::Switch);
}

bool NavpointTransfer::upload(const std::string& portName, const NavpointTable& table) {
    wasCancelled_ = false;
    WaitCursor wait(prompts_);
    if (!link_.open(portName, 4800, 1000)) {
        prompts_.message(link_.openFailureText("Can't open ComPort"), "Error", Buttons::Ok,
                         Icon::None, owner_);
        return false;
    }
    observer_.setStatus("Loading Waypoints");
    if (link_.detectBaudRate() < 0) return fail("Failed to connect.", Restore::None);
    link_.setInstrumentBaudRate(19200);
    // From here on the instrument may be at 19200: every way out brings it back.
    if (!link_.sync()) return fail("Failed to connect..", Restore::Find);
    if (!link_.enterUploadMode(false)) return fail("Communication Failure.", Restore::Find);

    std::array<std::uint8_t, kIdentitySize> identity{};
    // Without the identity there is no version to judge.
    if (!link_.queryIdentity(identity)) return fail("Communication Failure.", Restore::Find);
    const char major = static_cast<char>(identity[22]);
    const char minor = static_cast<char>(identity[23]);
    if (!(major > '2' || (major >= '2' && major <= '9' && minor >= '4'))) {
        return fail("Vantor 2 Version too old!!!", Restore::Find);
    }
    if (!link_.sync()) return fail("Failed to connect.", Restore::Switch);
    link_.setReadTimeout(6000);
    std::array<std::uint8_t, 14> cleared{};
    std::size_t got = 0;
    static constexpr char kClear[] = "cle poi\r";
    link_.transact(reinterpret_cast<const std::uint8_t*>(kClear), 8, cleared.data(), cleared.size(),
                   got);
    if (!link_.enterDownloadMode()) return fail("Failed to clear waypoints.", Restore::Switch);

    link_.setReadTimeout(3000);
    for (int i = 0; i < table.count && i < kInstrumentNavpoints; ++i) {
        if (cancel_ && cancel_->load()) {
            // The list ends where the pilot stopped, so the instrument holds
            // whole navpoints only.
            wasCancelled_ = true;
            break;
        }
        const Navpoint& p = table.entries[static_cast<std::size_t>(i)];
        bool sent = false;
        for (int attempt = 0; attempt < 3 && !sent; ++attempt) {
            std::string line = navpointCommandLine("c", i, p);
            sent = link_.sendRecord(line);
        }
        if (!sent) {
            prompts_.message(std::string(p.nameText()), "Waypoint Transfer Failure", Buttons::Ok,
                             Icon::None, owner_);
            return finish(true, Restore::Find);
        }
        char status[64];
        std::snprintf(status, sizeof status, "%d of %d Loaded...", i + 1, table.count);
        observer_.setStatus(status);
    }
    std::string end = "c,-1";
    link_.sendRecord(end);
    finish(wasCancelled_, Restore::Switch);
    if (wasCancelled_) {
        observer_.setStatus("Transfer Cancelled");
        return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return true;
}

}  // namespace vantor
