#include "link/CommTrace.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <vector>

namespace vantor {

namespace {

namespace fs = std::filesystem;

constexpr const char* kTracePrefix = "vantor-comm-";
constexpr const char* kTraceSuffix = ".log";

std::mutex traceMutex;
std::ofstream& traceFile() {
    static std::ofstream file;
    return file;
}

long long elapsedMs(TraceClock::time_point opened) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(TraceClock::now() - opened)
        .count();
}

void writeLine(TraceClock::time_point opened, int baud, const std::string& rest) {
    std::lock_guard lock(traceMutex);
    std::ofstream& out = traceFile();
    if (!out.is_open()) return;
    // Flushed line by line: the trace is most wanted after a crash or a hang.
    out << elapsedMs(opened) << ' ' << baud << ' ' << rest << '\n' << std::flush;
}

}  // namespace

bool startCommTrace(const std::string& path) {
    std::lock_guard lock(traceMutex);
    std::ofstream& out = traceFile();
    if (out.is_open()) out.close();
    out.clear();
    out.open(path, std::ios::binary | std::ios::trunc);
    return out.is_open();
}

void stopCommTrace() {
    std::lock_guard lock(traceMutex);
    if (traceFile().is_open()) traceFile().close();
}

bool commTraceActive() {
    std::lock_guard lock(traceMutex);
    return traceFile().is_open();
}

std::string startCommTraceIn(const std::string& folder, int keep) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    char stamp[32] = {};
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    // Names sort by time; a second run within the same second gets a number.
    std::string name = std::string(kTracePrefix) + stamp;
    fs::path path = fs::path(folder) / (name + kTraceSuffix);
    for (int i = 2; fs::exists(path, ec) && i < 100; ++i) {
        path = fs::path(folder) / (name + "-" + std::to_string(i) + kTraceSuffix);
    }
    // Older traces go first, so that with this one at most `keep` remain.
    std::vector<fs::path> traces;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string file = entry.path().filename().string();
        if (file.rfind(kTracePrefix, 0) == 0 && entry.path().extension() == kTraceSuffix) {
            traces.push_back(entry.path());
        }
    }
    std::sort(traces.begin(), traces.end());
    const std::size_t room = keep > 1 ? static_cast<std::size_t>(keep - 1) : 0;
    while (traces.size() > room) {
        fs::remove(traces.front(), ec);
        traces.erase(traces.begin());
    }
    return startCommTrace(path.string()) ? path.string() : std::string();
}

std::string hexBytes(const std::uint8_t* bytes, std::size_t n) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(n * 3);
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) text += ' ';
        text += kHex[bytes[i] >> 4];
        text += kHex[bytes[i] & 0x0F];
    }
    return text;
}

void traceBytes(TraceClock::time_point opened, int baud, TraceDirection direction,
                const std::uint8_t* bytes, std::size_t n) {
    if (!commTraceActive()) return;
    std::string text(1, direction == TraceDirection::Sent ? '>' : '<');
    if (n > 0) {
        text += ' ';
        text += hexBytes(bytes, n);
    }
    writeLine(opened, baud, text);
}

void traceEvent(TraceClock::time_point opened, int baud, const std::string& text) {
    if (!commTraceActive()) return;
    writeLine(opened, baud, text);
}

}  // namespace vantor
