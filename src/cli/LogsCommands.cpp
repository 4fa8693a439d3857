// vantorctl logs: list, download and clear the instrument's flight logs.

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <optional>

#include "cli/Commands.h"
#include "cli/StopSignals.h"
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
int download(Context& ctx, InstrumentLink& link, int logNumber, bool binary,
             const std::string& path, const StopSignals& signals) {
    if (signals.stopped()) return kExitCancelled;
    StatusPrinter status;
    LogTransfer transfer(link, *ctx.prompts, status);
    transfer.setCancelFlag(&signals.flag());
    const LogTransferRequest request{logNumber, binary, path};
    if (!transfer.prepare(request)) return kExitFailed;
    switch (transfer.run(request, ctx.port, nullptr)) {
        case TransferOutcome::Saved:
            break;
        case TransferOutcome::Cancelled:
            std::cerr << "vantorctl: stopped; " << path << " was not written\n";
            return kExitCancelled;
        case TransferOutcome::Failed:
            return kExitFailed;
    }
    std::cout << path << '\n';
    if (!binary) std::cout << verificationText(path);
    return kExitOk;
}

// Several logs in one connection: each saved file and its check on standard
// output, what failed on standard error, and a count at the end.
int downloadMany(Context& ctx, InstrumentLink& link, const std::vector<LogTransferRequest>& logs,
                 const StopSignals& signals) {
    if (signals.stopped()) return kExitCancelled;
    StatusPrinter status;
    LogTransfer transfer(link, *ctx.prompts, status);
    transfer.setCancelFlag(&signals.flag());
    const LogBatchResult result = transfer.runBatch(logs, ctx.port, verificationText);
    for (const auto& item : result.items) {
        if (item.outcome == TransferOutcome::Saved) {
            std::cout << item.request.path << '\n' << item.verification;
        } else if (item.outcome == TransferOutcome::Failed && result.connected) {
            std::string problem = item.problem;
            for (char& c : problem) c = c == '\n' ? ' ' : c;
            std::cerr << "vantorctl: " << item.request.path << " failed: " << problem << '\n';
        }
    }
    std::cerr << "saved " << result.savedCount() << " of " << logs.size() << " logs\n";
    if (result.cancelled) {
        std::cerr << "vantorctl: stopped; the log being downloaded was not written\n";
        return kExitCancelled;
    }
    return result.failedCount() == 0 ? kExitOk : kExitFailed;
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

}  // namespace

int downloadNewLogs(Context& ctx, const std::string& directory, bool binary,
                    std::uint32_t minMinutes, const StopSignals& signals) {
    const auto minSeconds = static_cast<std::int32_t>(minMinutes * 60);
    InstrumentLink link(*ctx.prompts);
    Instrument instrument;
    if (!readDirectory(ctx, link, instrument)) return kExitFailed;
    const std::vector<LogTransferRequest> fresh = newLogRequests(
        instrument.directory, instrument.serial.data(), minSeconds, directory, binary);
    if (fresh.empty()) {
        std::cerr << "no new logs\n";
        return signals.stopped() ? kExitCancelled : kExitOk;
    }
    return downloadMany(ctx, link, fresh, signals);
}

namespace {

int get(Context& ctx, const LogsOptions& o) {
    const auto minSeconds = static_cast<std::int32_t>(o.minMinutes * 60);
    InstrumentLink link(*ctx.prompts);
    const StopSignals signals;
    if (o.newOnly) {
        if (o.words.size() != 1 || o.output) return kBadArguments;
        return downloadNewLogs(ctx, o.directory.value_or("."), o.binary, o.minMinutes, signals);
    }
    if (o.words.size() < 2) return kBadArguments;
    if (o.words[1] == "all") {
        if (o.words.size() != 2 || o.directory) return kBadArguments;
        return download(ctx, link, kAllLogs, o.binary, o.output.value_or("AllFile.All"), signals);
    }
    std::vector<int> indices;
    for (std::size_t i = 1; i < o.words.size(); ++i) {
        const auto index = minutesArg(o.words[i]);
        if (!index) return kBadArguments;
        // A log named twice is fetched once.
        if (std::find(indices.begin(), indices.end(), static_cast<int>(*index)) == indices.end()) {
            indices.push_back(static_cast<int>(*index));
        }
    }
    // Several logs go into a folder under their short names.
    if (indices.size() > 1 && o.output) return kBadArguments;
    if (indices.size() == 1 && o.directory) return kBadArguments;
    Instrument instrument;
    if (!readDirectory(ctx, link, instrument)) return kExitFailed;
    std::vector<LogTransferRequest> logs;
    for (int n : indices) {
        if (n >= instrument.directory.count) {
            std::cerr << "vantorctl: the instrument has no log " << n << '\n';
            return kExitFailed;
        }
        const std::string name = logShortFileName(instrument.directory, n, instrument.serial.data(),
                                                  minSeconds, o.binary);
        fs::path path = indices.size() == 1 ? fs::path(o.output.value_or(name))
                                            : fs::path(o.directory.value_or(".")) / name;
        if (indices.size() == 1 && fs::is_directory(path)) path /= name;
        logs.push_back({n, o.binary, path.string()});
    }
    if (logs.size() == 1) {
        return download(ctx, link, logs[0].logNumber, o.binary, logs[0].path, signals);
    }
    return downloadMany(ctx, link, logs, signals);
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
