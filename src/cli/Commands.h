#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/CliPrompts.h"

namespace vantor {
class InstrumentLink;
}

namespace vantor::cli {

class StopSignals;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;        // also: a file that cannot be read
constexpr int kExitCancelled = 130;  // stopped by Ctrl-C or SIGTERM, as shells count it
constexpr int kBadArguments = -1;    // a command's answer: exit with kExitUsage after the usage

struct Context {
    std::string port = "COM1:";
    std::vector<std::string> args;
    CliPrompts* prompts = nullptr;
};

// Ends a text upload sequence: back to the prompt, then let go of the port.
void finishTextSequence(InstrumentLink& link);

// "logs", "logs get", "logs clear".
int logsCommand(Context& ctx);
// Every listed log that `directory` does not hold yet, in one connection to
// ctx.port: what "logs get --new" and "watch" do.
int downloadNewLogs(Context& ctx, const std::string& directory, bool binary,
                    std::uint32_t minMinutes, const StopSignals& signals);

// "ports", "find [PORT...]", "watch -d DIR [PORT...]".
int portsCommand(Context& ctx);
int findCommand(Context& ctx);
int watchCommand(Context& ctx);

// "navpoints get", "navpoints put".
int navpointsCommand(Context& ctx);
// "task get", "task declare".
int taskCommand(Context& ctx);

// "prefs get [-o FILE]", "prefs put FILE".
int prefsCommand(Context& ctx);
// "glider get [-o FILE]", "glider put FILE".
int gliderCommand(Context& ctx);

// "flight FILE": the summary of a saved IGC log; exit 2 when it is no IGC file.
int flightCommand(Context& ctx);

}  // namespace vantor::cli
