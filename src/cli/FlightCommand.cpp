// vantorctl flight: the figures of a saved IGC flight log, one a line, for scripts.

#include <iostream>

#include "cli/Commands.h"
#include "logs/IgcFile.h"

namespace vantor::cli {

int flightCommand(Context& ctx) {
    if (ctx.args.size() != 1) return kBadArguments;
    const std::string& path = ctx.args[0];
    const IgcReadResult result = readIgcFile(path);
    if (!result.file) {
        std::cerr << "vantorctl: " << path << ": " << result.error << '\n';
        return kExitUsage;
    }
    std::cout << formatFlightSummary(summarizeFlight(*result.file));
    return kExitOk;
}

}  // namespace vantor::cli
