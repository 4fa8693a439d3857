// vantorctl logs: list, download and clear the instrument's flight logs.

#include <filesystem>
#include <iostream>
#include <optional>

#include "cli/Commands.h"
#include "link/InstrumentLink.h"
#include "logs/LogDirectory.h"
#include "logs/LogTransfer.h"

namespace vantor::cli {

namespace {

namespace fs = std::filesystem;

struct LogsOptions {
    std::vector<std::string> words;
    std::uint32_t minMinutes = 0;
    bool binary = false;
    bool newOnly = false;
    bool yes = false;
    std::optional<std::string> output;
    std::optional<std::string> directory;
};

std::optional<std::uint32_t> minutesArg(const std::string& text) {
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != text.npos) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(std::stoul(text));
}

std::optional<LogsOptions> parse(const std::vector<std::string>& args) {
    LogsOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--min-time" && hasValue) {
            const auto m = minutesArg(args[++i]);
            if (!m) return std::nullopt;
            o.minMinutes = *m;
        } else if (a == "--binary") {
            o.binary = true;
        } else if (a == "--new") {
            o.newOnly = true;
        } else if (a == "--yes") {
            o.yes = true;
        } else if (a == "-o" && hasValue) {
            o.output = args[++i];
        } else if (a == "-d" && hasValue) {
            o.directory = args[++i];
        } else if (!a.empty() && a[0] == '-') {
            return std::nullopt;
        } else {
            o.words.push_back(a);
        }
    }
    return o;
}

// The status line of a transfer, one line a change.
class StatusPrinter : public LogTransferObserver {
public:
    void setStatus(const std::string& text) override { std::cerr << text << '\n' << std::flush; }
};

struct Instrument {
    LogDirectory directory;
    std::array<char, 4> serial{};
};

bool readDirectory(Context& ctx, InstrumentLink& link, Instrument& instrument) {
    const int said = ctx.prompts->messageCount();
    if (readLogDirectory(link, *ctx.prompts, ctx.port, instrument.directory, instrument.serial)) {
        return true;
    }
    // The one failure the sequence passes over in silence.
    if (ctx.prompts->messageCount() == said) {
        std::cerr << "vantorctl: the instrument did not answer the identity query\n";
    }
    return false;
}

// One download as the dialog does it; the check's text goes to standard output.
bool download(Context& ctx, InstrumentLink& link, int logNumber, bool binary,
              const std::string& path) {
    StatusPrinter status;
    LogTransfer transfer(link, *ctx.prompts, status);
    const LogTransferRequest request{logNumber, binary, path};
    if (!transfer.prepare(request)) return false;
    if (!transfer.run(request, ctx.port, nullptr)) return false;
    std::cout << path << '\n';
    if (!binary) std::cout << verificationText(path);
    return true;
}

int list(Context& ctx, const LogsOptions& o) {
    InstrumentLink link(*ctx.prompts);
    Instrument instrument;
    if (!readDirectory(ctx, link, instrument)) return kExitFailed;
    const LogListing listing =
        buildListing(instrument.directory, static_cast<std::int32_t>(o.minMinutes * 60));
    if (listing.listMap.empty()) {
        std::cout << kNoLogFiles << '\n';
        return kExitOk;
    }
    for (std::size_t i = 0; i < listing.listMap.size(); ++i) {
        std::cout << listing.listMap[i] << "  " << listing.lines[i] << '\n';
    }
    return kExitOk;
}

int get(Context& ctx, const LogsOptions& o) {
    const auto minSeconds = static_cast<std::int32_t>(o.minMinutes * 60);
    InstrumentLink link(*ctx.prompts);
    if (o.newOnly) {
        if (o.words.size() != 1 || o.output) return kBadArguments;
        Instrument instrument;
        if (!readDirectory(ctx, link, instrument)) return kExitFailed;
        const fs::path dir = o.directory.value_or(".");
        bool ok = true;
        for (int index : buildListing(instrument.directory, minSeconds).listMap) {
            const std::string name = logShortFileName(
                instrument.directory, index, instrument.serial.data(), minSeconds, o.binary);
            if (fs::exists(dir / name)) continue;
            ok = download(ctx, link, index, o.binary, (dir / name).string()) && ok;
        }
        return ok ? kExitOk : kExitFailed;
    }
    if (o.words.size() != 2 || o.directory) return kBadArguments;
    const std::string& which = o.words[1];
    if (which == "all") {
        return download(ctx, link, kAllLogs, o.binary, o.output.value_or("AllFile.All"))
                   ? kExitOk
                   : kExitFailed;
    }
    const auto index = minutesArg(which);
    if (!index) return kBadArguments;
    Instrument instrument;
    if (!readDirectory(ctx, link, instrument)) return kExitFailed;
    if (*index >= static_cast<std::uint32_t>(instrument.directory.count)) {
        std::cerr << "vantorctl: the instrument has no log " << which << '\n';
        return kExitFailed;
    }
    const int n = static_cast<int>(*index);
    const std::string name =
        logShortFileName(instrument.directory, n, instrument.serial.data(), minSeconds, o.binary);
    fs::path path = o.output.value_or(name);
    if (fs::is_directory(path)) path /= name;
    return download(ctx, link, n, o.binary, path.string()) ? kExitOk : kExitFailed;
}

int clear(Context& ctx, const LogsOptions& o) {
    if (o.words.size() != 1) return kBadArguments;
    ctx.prompts->setAssumeYes(o.yes);
    ctx.prompts->setInput(&std::cin);
    InstrumentLink link(*ctx.prompts);
    switch (clearAllLogs(link, *ctx.prompts, ctx.port)) {
        case ClearResult::Sent: {
            // The clear's answer says nothing; an empty directory read back
            // (as the dialog shows it) is what tells that the logs are gone.
            Instrument instrument;
            if (!readDirectory(ctx, link, instrument)) {
                std::cerr << "vantorctl: the flight logs could not be read back; they may not "
                             "have been erased\n";
                return kExitFailed;
            }
            if (instrument.directory.count > 0) {
                std::cerr << "vantorctl: the instrument still holds " << instrument.directory.count
                          << " flight logs\n";
                return kExitFailed;
            }
            return kExitOk;
        }
        case ClearResult::Declined:
            std::cerr << "vantorctl: nothing was erased\n";
            return kExitFailed;
        case ClearResult::NotConnected:
        case ClearResult::NotAnswered:
            break;
    }
    return kExitFailed;
}

}  // namespace

int logsCommand(Context& ctx) {
    const auto o = parse(ctx.args);
    if (!o) return kBadArguments;
    if (o->words.empty()) return list(ctx, *o);
    if (o->words[0] == "get") return get(ctx, *o);
    if (o->words[0] == "clear") return clear(ctx, *o);
    return kBadArguments;
}

}  // namespace vantor::cli
