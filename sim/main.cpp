// vantor-sim: a simulated Vantor 2 on a pseudo-terminal, for trying the
// program without an instrument.
#include <pthread.h>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "Simulator.h"

namespace {

const char* kUsage =
    "usage: vantor-sim [--baud RATE] [--logs N] [--navpoints N] [--type T] [--seed S]\n"
    "                  [--version V.v] [--pace] [--latency MS] [--same-day N]\n"
    "                  [--ignore COMMAND]... [--hostile SEED]\n"
    "  --baud RATE     rate the instrument listens at first (default 4800)\n"
    "  --logs N        flight logs held, 0..128 (default 3)\n"
    "  --navpoints N   navpoints held, 0..1500 (default 0)\n"
    "  --type T        instrument type byte of the identity, 0..255 (default 2)\n"
    "  --seed S        seed for the generated logs and navpoints (default 1)\n"
    "  --version V.v   firmware version it reports, two digits (default 2.4)\n"
    "  --pace          send and receive at the line rate, 10 bits a byte\n"
    "  --latency MS    wait MS ms (0..1000) before each reply, as a USB adapter does\n"
    "  --same-day N    the newest N flights (1..15) on one day, the others on days of\n"
    "                  their own, listed newest first as an instrument lists them\n"
    "  --ignore CMD    never answer the command line CMD (\"w\", \"cle log\"...), to try\n"
    "                  how the program copes\n"
    "  --hostile SEED  no instrument: answer everything, at any rate, with random bytes\n"
    "                  of random lengths from SEED, to try the program against a bad line\n"
    "Prints the device to open, then serves until interrupted.\n";

std::optional<long long> integer(const char* text, long long low, long long high) {
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

bool isRate(long long baud) {
    for (long long r : {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200}) {
        if (r == baud) return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    vantor::sim::SimulatorOptions options;
    std::vector<std::string> ignored;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--pace") {
            options.pace = true;
            continue;
        }
        const bool hasValue = i + 1 < argc;
        std::optional<long long> value;
        if (arg == "--baud" && hasValue) {
            value = integer(argv[++i], 1, 115200);
            if (value && isRate(*value))
                options.baud = static_cast<int>(*value);
            else
                value.reset();
        } else if (arg == "--logs" && hasValue) {
            value = integer(argv[++i], 0, 128);
            if (value) options.logs = static_cast<int>(*value);
        } else if (arg == "--latency" && hasValue) {
            value = integer(argv[++i], 0, 1000);
            if (value) options.latencyMs = static_cast<int>(*value);
        } else if (arg == "--same-day" && hasValue) {
            value = integer(argv[++i], 1, vantor::sim::kMaxSameDay);
            if (value) options.sameDay = static_cast<int>(*value);
        } else if (arg == "--navpoints" && hasValue) {
            value = integer(argv[++i], 0, 1500);
            if (value) options.navpoints = static_cast<int>(*value);
        } else if (arg == "--type" && hasValue) {
            value = integer(argv[++i], 0, 255);
            if (value) options.instrumentType = static_cast<std::uint8_t>(*value);
        } else if (arg == "--version" && hasValue) {
            const std::string v = argv[++i];
            if (v.size() == 3 && v[1] == '.' && std::isdigit(static_cast<unsigned char>(v[0])) &&
                std::isdigit(static_cast<unsigned char>(v[2]))) {
                options.version = {v[0], v[2]};
                value = 0;
            }
        } else if (arg == "--ignore" && hasValue) {
            ignored.emplace_back(argv[++i]);
            value = 0;
        } else if (arg == "--hostile" && hasValue) {
            value = integer(argv[++i], 0, 0xFFFFFFFFLL);
            if (value) options.hostile = static_cast<std::uint32_t>(*value);
        } else if (arg == "--seed" && hasValue) {
            value = integer(argv[++i], 0, 0xFFFFFFFFLL);
            if (value) options.seed = static_cast<std::uint32_t>(*value);
        }
        if (!value) {
            std::cerr << "vantor-sim: bad option or value: " << arg << "\n" << kUsage;
            return 2;
        }
    }

    // Block the stop signals before the serving thread starts, so that only
    // sigwait below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    vantor::sim::Simulator simulator(options);
    if (!simulator.start()) {
        std::cerr << "vantor-sim: cannot open a pseudo-terminal: " << std::strerror(errno) << "\n";
        return 1;
    }
    for (const auto& command : ignored) {
        simulator.failReplies(command, vantor::sim::ReplyFault::Silent, -1);
    }
    std::cout << simulator.devicePath() << std::endl;

    int signal = 0;
    sigwait(&stopSignals, &signal);
    simulator.stop();
    return 0;
}
