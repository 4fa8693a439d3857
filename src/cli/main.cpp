// vantorctl: the instrument operations from the command line, for scripts.

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "cli/CliPrompts.h"
#include "cli/Commands.h"
#include "link/CommTrace.h"
#include "link/InstrumentLink.h"
#include "security/LogVerifier.h"

namespace vantor::cli {

void finishTextSequence(InstrumentLink& link) {
    link.sync();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    link.close();
}

}  // namespace vantor::cli

namespace {

using namespace vantor::cli;
using vantor::InstrumentLink;

int identity(Context& ctx) {
    if (!ctx.args.empty()) return kBadArguments;
    InstrumentLink link(*ctx.prompts);
    if (!link.connectForUpload(ctx.port, false)) return kExitFailed;
    std::array<std::uint8_t, vantor::kIdentitySize> id{};
    const bool ok = link.queryIdentity(id);
    finishTextSequence(link);
    if (!ok) {
        ctx.prompts->message("Could not read the instrument identity.", "Error",
                             vantor::Buttons::Ok, vantor::Icon::Error, nullptr);
        return kExitFailed;
    }
    auto text = [&](std::size_t from, std::size_t count) {
        return std::string(reinterpret_cast<const char*>(id.data() + from), count);
    };
    std::cout << "serial " << text(18, 3) << '\n'
              << "version " << text(22, 2) << '\n'
              << "type " << static_cast<int>(id[32]) << '\n';
    return kExitOk;
}

// The security check of saved IGC files, as pilots and scorers run it.
int verify(Context& ctx) {
    using namespace vantor::security;
    if (ctx.args.empty()) return kBadArguments;
    bool unreadable = false;
    bool failed = false;
    for (const auto& path : ctx.args) {
        errno = 0;
        const auto result = verifyLogFile(std::filesystem::path(path));
        if (!result) {
            const int error = errno;
            std::cerr << "vantorctl: cannot read " << path
                      << (error != 0 ? std::string(": ") + std::strerror(error) : std::string())
                      << '\n';
            unreadable = true;
            continue;
        }
        std::cout << path << '\n' << formatVerificationResult(*result);
        // Fully OK: both CRCs, the signature, and no violation reported by the
        // instrument (a scorer must not take such a log for a clean one).
        const std::uint32_t good = SIG_VALID | LOG_CRC_OK | SIG_CRC_OK;
        if ((*result & (good | OLD_FILE | VIOLATION)) != good) failed = true;
    }
    return unreadable ? kExitUsage : failed ? kExitFailed : kExitOk;
}

struct Command {
    const char* name;
    const char* help;
    std::function<int(Context&)> run;
};

const std::vector<Command>& commands() {
    static const std::vector<Command> table = {
        {"identity", "print the instrument's serial, version and type", identity},
        {"verify", "FILE...  check the security of saved IGC logs", verify},
        {"ports", "print the serial ports present: name (for --port), device, description",
         portsCommand},
        {"find",
         "[PORT...]  look for the instrument on the ports (every present one when none is\n"
         "        given) and print the port and rate it answered at",
         findCommand},
        {"watch",
         "[-d DIR] [PORT...]  until stopped, download every new log into DIR whenever the\n"
         "        instrument is plugged in (a port appears)",
         watchCommand},
        {"flight",
         "FILE  print a saved IGC log's date, fix times, duration, fixes, highest altitudes\n"
         "        and track length (a missing value is -)",
         flightCommand},
        {"logs",
         "[--min-time MINUTES]  list the flight logs\n"
         "        logs get INDEX|all [--binary] [-o PATH]  download one log or the whole memory\n"
         "        logs get INDEX... [--binary] [-d DIR]  several logs in one connection\n"
         "        logs get --new [-d DIR]  download every log not yet in DIR\n"
         "        logs clear [--yes]  erase every flight log in the instrument",
         logsCommand},
        {"prefs",
         "get [-o FILE]  print the pilot preferences record (or save it as a .ppf file)\n"
         "        prefs put FILE  send the pilot preferences of a .ppf file",
         prefsCommand},
        {"glider",
         "get [-o FILE]  print the glider record (or save it as a .plr file)\n"
         "        glider put FILE  send the glider values of a .plr file",
         gliderCommand},
        {"navpoints",
         "get -o FILE  download the instrument's navpoints into a navpoint file (.cup: a CUP "
         "file)\n"
         "        navpoints put FILE [--yes]  upload a navpoint or CUP file (above 1500 navpoints "
         "it asks)",
         navpointsCommand},
        {"task",
         "get  print the declared task, one point a line: name,latitude,longitude\n"
         "        task declare FILE NAME...  declare the named navpoints of FILE (at most 15)\n"
         "        task declare FILE.cup [--task N]  declare the first (or Nth) task of a CUP file",
         taskCommand},
    };
    return table;
}

void usage(std::ostream& out) {
    out << "usage: vantorctl [--port NAME] [--trace FILE] COMMAND [ARGS]\n"
           "  --port NAME   a port name such as COM1: or a device path (default COM1:)\n"
           "  --trace FILE  write every exchange on the serial line to FILE (for a bug report)\n"
           "commands:\n";
    for (const auto& c : commands()) out << "  " << c.name << "  " << c.help << '\n';
}

}  // namespace

int main(int argc, char** argv) {
    CliPrompts prompts(std::cerr);
    Context ctx;
    ctx.prompts = &prompts;
    const Command* command = nullptr;
    std::string trace;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (command) {
            ctx.args.push_back(arg);
        } else if (arg == "--help" || arg == "-h") {
            usage(std::cout);
            return kExitOk;
        } else if (arg == "--port") {
            if (++i >= argc) {
                usage(std::cerr);
                return kExitUsage;
            }
            ctx.port = argv[i];
        } else if (arg.rfind("--port=", 0) == 0) {
            ctx.port = arg.substr(7);
        } else if (arg == "--trace") {
            if (++i >= argc) {
                usage(std::cerr);
                return kExitUsage;
            }
            trace = argv[i];
        } else {
            for (const auto& c : commands()) {
                if (arg == c.name) command = &c;
            }
            if (!command) {
                std::cerr << "vantorctl: unknown command or option: " << arg << '\n';
                usage(std::cerr);
                return kExitUsage;
            }
        }
    }
    if (!command) {
        usage(std::cerr);
        return kExitUsage;
    }
    if (!trace.empty() && !vantor::startCommTrace(trace)) {
        std::cerr << "vantorctl: cannot write the trace " << trace << ": " << std::strerror(errno)
                  << '\n';
        return kExitUsage;
    }
    const int rc = command->run(ctx);
    vantor::stopCommTrace();
    if (rc == kBadArguments) {
        usage(std::cerr);
        return kExitUsage;
    }
    return rc;
}
