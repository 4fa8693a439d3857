// vantorctl navpoints and task: navpoint files to and from the instrument, and
// the declared task.

#include <iostream>
#include <memory>
#include <optional>

#include "cli/Commands.h"
#include "cli/StopSignals.h"
#include "link/InstrumentLink.h"
#include "navpoints/CupFile.h"
#include "navpoints/NavpointFile.h"
#include "navpoints/NavpointTransfer.h"
#include "navpoints/TaskDeclaration.h"

namespace vantor::cli {

namespace {

struct NavpointOptions {
    std::vector<std::string> words;
    std::optional<std::string> output;
    std::optional<std::string> task;
    bool yes = false;
};

std::optional<NavpointOptions> parse(const std::vector<std::string>& args) {
    NavpointOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-o" && i + 1 < args.size()) {
            o.output = args[++i];
        } else if (a == "--task" && i + 1 < args.size()) {
            o.task = args[++i];
        } else if (a == "--yes") {
            o.yes = true;
        } else if (!a.empty() && a[0] == '-') {
            return std::nullopt;
        } else {
            o.words.push_back(a);
        }
    }
    return o;
}

// The status line of a transfer, one line a change.
class StatusPrinter : public NavpointTransferObserver {
public:
    void setStatus(const std::string& text) override { std::cerr << text << '\n' << std::flush; }
};

// Names in files are often padded with blanks; a name typed on the command
// line is not.
std::string_view trimmed(std::string_view name) {
    const std::size_t end = name.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string_view() : name.substr(0, end + 1);
}

// A navpoint file's table, or a CUP file's with its tasks; chosen by the
// file's extension.
struct FileRead {
    std::unique_ptr<NavpointTable> table;
    std::vector<CupTask> tasks;
};

FileRead readFile(Context& ctx, const std::string& path) {
    FileRead file{std::make_unique<NavpointTable>(), {}};
    bool read = false;
    int skipped = 0;
    if (isCupPath(path)) {
        CupFileRead cup = readCupFile(path, *file.table);
        read = cup.read;
        skipped = cup.skipped;
        file.tasks = std::move(cup.tasks);
    } else {
        const NavpointFileRead navpoints = readNavpointFile(path, *file.table);
        read = navpoints.read;
        skipped = navpoints.skipped;
    }
    if (!read) {
        ctx.prompts->message("Error retrieving file.", "", Buttons::Ok, Icon::None, nullptr);
        return {};
    }
    if (skipped > 0) {
        std::cerr << "vantorctl: " << path << ": " << skippedLinesText(skipped) << '\n';
    }
    return file;
}

bool writeFile(const std::string& path, const NavpointTable& table) {
    return isCupPath(path) ? writeCupFile(path, table) : writeNavpointFile(path, table);
}

int get(Context& ctx, const NavpointOptions& o) {
    if (o.words.size() != 1 || !o.output || o.yes || o.task) return kBadArguments;
    auto table = std::make_unique<NavpointTable>();
    InstrumentLink link(*ctx.prompts);
    StatusPrinter status;
    NavpointTransfer transfer(link, *ctx.prompts, status);
    const StopSignals signals;
    transfer.setCancelFlag(&signals.flag());
    if (!transfer.download(ctx.port, *table)) {
        if (!transfer.wasCancelled()) return kExitFailed;
        std::cerr << "vantorctl: stopped; " << *o.output << " was not written\n";
        return kExitCancelled;
    }
    if (!writeFile(*o.output, *table)) {
        ctx.prompts->message("Could not open file for writing.", "Error", Buttons::Ok, Icon::None,
                             nullptr);
        return kExitFailed;
    }
    std::cout << table->count << " navpoints written to " << *o.output << '\n';
    return kExitOk;
}

int put(Context& ctx, const NavpointOptions& o) {
    if (o.words.size() != 2 || o.output || o.task) return kBadArguments;
    const auto table = readFile(ctx, o.words[1]).table;
    if (!table) return kExitUsage;
    // The upload clears the instrument first: a file of another kind, or an
    // empty one, would leave the pilot with no navpoints at all.
    if (table->count == 0) {
        std::cerr << "vantorctl: no navpoints to send in " << o.words[1]
                  << "; the instrument's navpoints were left as they are\n";
        return kExitFailed;
    }
    if (table->count > kInstrumentNavpoints) {
        ctx.prompts->setAssumeYes(o.yes);
        ctx.prompts->setInput(&std::cin);
        const std::string text = "The Vantor Series only holds " +
                                 std::to_string(kInstrumentNavpoints) +
                                 " Navpoints.\nNot all navpoints will be loaded.\nWould you "
                                 "like to continue?";
        if (ctx.prompts->message(text, "Warning!!!", Buttons::YesNo, Icon::Warning, nullptr) !=
            Answer::Yes) {
            return kExitFailed;
        }
    }
    InstrumentLink link(*ctx.prompts);
    StatusPrinter status;
    NavpointTransfer transfer(link, *ctx.prompts, status);
    const StopSignals signals;
    transfer.setCancelFlag(&signals.flag());
    if (transfer.upload(ctx.port, *table)) return kExitOk;
    if (!transfer.wasCancelled()) return kExitFailed;
    std::cerr << "vantorctl: stopped; the instrument holds only the navpoints sent so far\n";
    return kExitCancelled;
}

int taskGet(Context& ctx, const NavpointOptions& o) {
    if (o.words.size() != 1 || o.output || o.yes || o.task) return kBadArguments;
    InstrumentLink link(*ctx.prompts);
    TaskDeclaration task;
    if (!task.fetch(link, *ctx.prompts, ctx.port)) return kExitFailed;
    for (int i = 0; i < task.count; ++i) {
        const Navpoint& p = task.points[static_cast<std::size_t>(i)];
        std::cout << trimmed(p.nameText()) << ','
                  << formatCoordinate(p.latitude, true, CoordinateForm::File) << ','
                  << formatCoordinate(p.longitude, false, CoordinateForm::File) << '\n';
    }
    return kExitOk;
}

// The Nth task of a CUP file (from 1), as a declaration; nothing, said why,
// when there is no such task or its points are no declaration.
std::optional<TaskDeclaration> fileTask(const FileRead& file, const std::string& path,
                                        std::size_t n) {
    if (file.tasks.empty()) {
        std::cerr << "vantorctl: no task in " << path << '\n';
        return std::nullopt;
    }
    if (n > file.tasks.size()) {
        std::cerr << "vantorctl: " << path << " holds " << file.tasks.size()
                  << (file.tasks.size() == 1 ? " task" : " tasks") << "; there is no task " << n
                  << '\n';
        return std::nullopt;
    }
    std::string problem;
    auto task = cupTaskDeclaration(file.tasks[n - 1], *file.table, problem);
    if (!task) std::cerr << "vantorctl: " << path << ": " << problem << '\n';
    return task;
}

int taskDeclare(Context& ctx, const NavpointOptions& o) {
    if (o.words.size() < 2 || o.output || o.yes) return kBadArguments;
    const std::string& path = o.words[1];
    const bool cup = isCupPath(path);
    // Without names, a CUP file's own task; a navpoint file has none.
    const bool ownTask = cup && o.words.size() == 2;
    if (!ownTask && (o.words.size() < 3 || o.task)) return kBadArguments;
    std::size_t taskNumber = 1;
    if (o.task) {
        const std::string& n = *o.task;
        if (n.empty() || n.size() > 4 || n.find_first_not_of("0123456789") != std::string::npos) {
            return kBadArguments;
        }
        taskNumber = 0;
        for (char c : n) taskNumber = taskNumber * 10 + static_cast<std::size_t>(c - '0');
        if (taskNumber == 0) return kBadArguments;
    }
    const FileRead file = readFile(ctx, path);
    if (!file.table) return kExitUsage;
    const auto table = file.table.get();
    InstrumentLink link(*ctx.prompts);
    if (ownTask) {
        const auto task = fileTask(file, path, taskNumber);
        if (!task) return kExitFailed;
        return task->send(link, *ctx.prompts, ctx.port) ? kExitOk : kExitFailed;
    }
    TaskDeclaration task;
    for (std::size_t i = 2; i < o.words.size(); ++i) {
        const std::string& wanted = o.words[i];
        // A CUP file's names are the instrument's: "Hilltop" finds HILLTOP.
        const std::string asInstrument = cup ? instrumentText(wanted, true) : wanted;
        int found = -1;
        for (int n = 0; n < table->count && found < 0; ++n) {
            const std::string_view name =
                trimmed(table->entries[static_cast<std::size_t>(n)].nameText());
            if (name == trimmed(wanted) || name == trimmed(asInstrument)) found = n;
        }
        if (found < 0) {
            std::cerr << "vantorctl: no navpoint named " << wanted << " in " << o.words[1] << '\n';
            return kExitFailed;
        }
        // The name as the table has it, so that the first entry of that name is taken.
        const std::string name(table->entries[static_cast<std::size_t>(found)].nameText());
        if (!task.add(*table, name, *ctx.prompts)) return kExitFailed;
    }
    return task.send(link, *ctx.prompts, ctx.port) ? kExitOk : kExitFailed;
}

}  // namespace

int navpointsCommand(Context& ctx) {
    const auto o = parse(ctx.args);
    if (!o || o->words.empty()) return kBadArguments;
    if (o->words[0] == "get") return get(ctx, *o);
    if (o->words[0] == "put") return put(ctx, *o);
    return kBadArguments;
}

int taskCommand(Context& ctx) {
    const auto o = parse(ctx.args);
    if (!o || o->words.empty()) return kBadArguments;
    if (o->words[0] == "get") return taskGet(ctx, *o);
    if (o->words[0] == "declare") return taskDeclare(ctx, *o);
    return kBadArguments;
}

}  // namespace vantor::cli
