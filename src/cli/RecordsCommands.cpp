// vantorctl prefs and glider: the two records the instrument keeps, fetched,
// printed or saved, and sent from files.

#include <iostream>
#include <optional>

#include "cli/Commands.h"
#include "link/InstrumentLink.h"
#include "records/GliderPolar.h"
#include "records/PilotPreferencesTransfer.h"

namespace vantor::cli {

namespace {

// "get [-o FILE]" or "put FILE".
struct RecordArgs {
    bool put = false;
    std::optional<std::string> file;
};

std::optional<RecordArgs> parse(const std::vector<std::string>& args) {
    RecordArgs r;
    if (args.size() == 1 && args[0] == "get") return r;
    if (args.size() == 3 && args[0] == "get" && args[1] == "-o") {
        r.file = args[2];
        return r;
    }
    if (args.size() == 2 && args[0] == "put") {
        r.put = true;
        r.file = args[1];
        return r;
    }
    return std::nullopt;
}

int unreadable(const std::string& path) {
    std::cerr << "vantorctl: cannot read " << path << '\n';
    return kExitUsage;
}

}  // namespace

int prefsCommand(Context& ctx) {
    const auto a = parse(ctx.args);
    if (!a) return kBadArguments;
    PilotPreferencesTransfer transfer(*ctx.prompts, ctx.port);
    PilotPreferences record;
    std::optional<std::string> text;
    if (a->put) {
        if (!(text = readRecordFile(*a->file))) return unreadable(*a->file);
        // A file the record cannot hold is refused before the instrument is touched.
        PilotPreferences scratch;
        if (!transfer.loadFileText(scratch, *text)) return kExitFailed;
    }
    {
        InstrumentLink link(*ctx.prompts);
        if (!transfer.fetch(record, link)) return kExitFailed;
    }
    if (a->put) {
        // What the file does not set stays as the instrument has it.
        if (!transfer.loadFileText(record, *text)) return kExitFailed;
        InstrumentLink link(*ctx.prompts);
        return transfer.send(record, link) ? kExitOk : kExitFailed;
    }
    if (a->file) return transfer.saveFileTo(record, *a->file) ? kExitOk : kExitFailed;
    std::cout << formatRecord(record) << '\n';
    return kExitOk;
}

int gliderCommand(Context& ctx) {
    const auto a = parse(ctx.args);
    if (!a) return kBadArguments;
    GliderPolar polar;
    std::optional<std::string> text;
    if (a->put) {
        if (!(text = readRecordFile(*a->file))) return unreadable(*a->file);
        // A file the record cannot hold is refused before the instrument is touched.
        GliderPolar scratch;
        FieldOutOfRange refused;
        if (!parsePolarText(scratch, *text, &refused)) {
            ctx.prompts->message(outOfRangeText(refused), "Error", Buttons::Ok, Icon::Error,
                                 nullptr);
            return kExitFailed;
        }
    }
    InstrumentLink link(*ctx.prompts);
    if (!fetchGlider(link, *ctx.prompts, ctx.port, polar)) return kExitFailed;
    if (a->put) {
        // The file holds no lock: it is sent as the instrument had it.
        parsePolarText(polar, *text);
        return sendGlider(link, *ctx.prompts, ctx.port, polar) ? kExitOk : kExitFailed;
    }
    if (a->file) {
        if (!writeRecordFile(*a->file, formatPolarLine(polar))) {
            ctx.prompts->message("Could not open file for writing.", "Error", Buttons::Ok,
                                 Icon::Error, nullptr);
            return kExitFailed;
        }
        return kExitOk;
    }
    std::cout << formatGliderRecord(polar) << '\n';
    return kExitOk;
}

}  // namespace vantor::cli
