#include "records/PilotPreferencesTransfer.h"

#include <array>
#include <chrono>
#include <thread>
#include <vector>

#include "base/Prompts.h"
#include "link/InstrumentLink.h"

namespace vantor {

namespace {

constexpr const char* kFilter = "Pilot Preferences Files (*.ppf)|*.ppf||";

void finish(InstrumentLink& link) {
    link.sync();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    link.close();
}

}  // namespace

void PilotPreferencesTransfer::say(const std::string& text, const char* caption,
                                   const void* owner) {
    prompts_.message(text, caption, Buttons::Ok, Icon::None, owner);
}

bool PilotPreferencesTransfer::fetch(PilotPreferences& record, InstrumentLink& link) {
    WaitCursor wait(prompts_);
    if (!openAndSync(link, prompts_, portName_, 1000, nullptr)) return false;
    if (!link.enterUploadMode(false)) {
        say("Could not upload.", "Error");
        link.close();
        return false;
    }
    bool ok = false;
    int length = 0;
    if (link.queryPilotPreferencesHeader(&length) < 0) {
        // No length to ask for: the record keeps what it holds.
        say("Can't get pilot preferences.", "Error");
    } else {
        std::vector<std::uint8_t> block(static_cast<std::size_t>(length));
        // A block too short for the record counts as not received.
        if (!link.queryPilotPreferencesData(0, block) || !decodeBlock(record, block)) {
            say("Can't get pilot preferences data.", "Error");
        } else {
            ok = true;
        }
    }
    finish(link);
    return ok;
}

bool PilotPreferencesTransfer::fetch(PilotPreferences& record) {
    InstrumentLink link(prompts_);
    return fetch(record, link);
}

bool PilotPreferencesTransfer::send(PilotPreferences& record) {
    InstrumentLink link(prompts_);
    return send(record, link);
}

bool PilotPreferencesTransfer::send(PilotPreferences& record, InstrumentLink& link) {
    WaitCursor wait(prompts_);
    if (!openAndSync(link, prompts_, portName_, 3000, nullptr)) return false;
    static constexpr char kClear[] = "cle pil\r";
    std::array<std::uint8_t, 14> reply{};
    std::size_t got = 0;
    link.transact(reinterpret_cast<const std::uint8_t*>(kClear), 8, reply.data(), reply.size(),
                  got);
    bool failed = false;
    if (!link.enterDownloadMode()) {
        say("Could not download.", "Error");
        failed = true;
    }
    adjustForSend(record);
    std::string text = formatRecord(record);
    if (!link.sendRecord(text)) {
        say("Can't transfer pilot preferences.", "Error");
        failed = true;
    }
    finish(link);
    if (failed) return false;
    say("Pilot Preferences and Logging Interval Transferred", "Success");
    return true;
}

bool PilotPreferencesTransfer::loadFile(PilotPreferences& record, const void* owner) {
    FileChoice choice;
    choice.filter = kFilter;
    choice.defaultExtension = "ppf";
    choice.initialName = "*.ppf";
    choice.initialFolder = "\\My Documents\\";
    choice.mustExist = true;
    choice.owner = owner;
    const auto path = prompts_.chooseOpenFile(choice);
    return path && loadFileFrom(record, *path, owner);
}

bool PilotPreferencesTransfer::loadFileFrom(PilotPreferences& record, const std::string& path,
                                            const void* owner) {
    const auto text = readRecordFile(path);
    if (!text) return false;  // unreadable files are passed over in silence
    return loadFileText(record, *text, owner);
}

bool PilotPreferencesTransfer::loadFileText(PilotPreferences& record, std::string_view text,
                                            const void* owner) {
    FieldOutOfRange refused;
    if (!parseFileText(record, text, &refused)) {
        say(outOfRangeText(refused), "Error", owner);
        return false;
    }
    return true;
}

bool PilotPreferencesTransfer::saveFile(const PilotPreferences& record, const void* owner) {
    FileChoice choice;
    choice.filter = kFilter;
    choice.defaultExtension = "ppf";
    choice.initialName = "*.ppf";
    choice.promptOverwrite = true;
    choice.owner = owner;
    const auto path = prompts_.chooseSaveFile(choice);
    return path && saveFileTo(record, *path);
}

bool PilotPreferencesTransfer::saveFileTo(const PilotPreferences& record, const std::string& path) {
    if (!writeRecordFile(path, formatRecord(record))) {
        say("Could not open file for writing.", "Error");
        return false;
    }
    return true;
}

}  // namespace vantor
