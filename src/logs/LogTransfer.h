#pragma once

#include <functional>
#include <string>

namespace vantor {

class InstrumentLink;
class Prompts;

// The log number that asks for the whole log memory.
inline constexpr int kAllLogs = 2048;

struct LogTransferRequest {
    int logNumber = 0;  // directory index, or kAllLogs
    bool binary = false;
    std::string path;  // the file the pilot chose
};

// Where a running transfer reports what the status line shows.
class LogTransferObserver {
public:
    virtual ~LogTransferObserver() = default;
    virtual void setStatus(const std::string& text) = 0;
};

// The security check of a saved file, as the result text to show.
using LogVerifierFunction = std::function<std::string(const std::string& path)>;

// The text the log security check gives for a saved file, or nothing when
// the file cannot be read.
std::string verificationText(const std::string& path);

// Downloads one log (or the whole memory) at 57600 baud into a file. The
// download is written beside the chosen file and takes its place only when it
// succeeded, so a failure never costs the pilot an earlier copy.
class LogTransfer {
public:
    LogTransfer(InstrumentLink& link, Prompts& prompts, LogTransferObserver& observer,
                const void* owner = nullptr)
        : link_(link), prompts_(prompts), observer_(observer), owner_(owner) {}

    // Creates the file the download is written to, before the worker starts.
    // False, after "Could not open file for writing.", when it cannot be created.
    bool prepare(const LogTransferRequest& request);
    // The transfer itself, on the worker thread. True when the file was saved.
    bool run(const LogTransferRequest& request, const std::string& portName,
             const LogVerifierFunction& verify);

    // The file a download goes to until it succeeded.
    static std::string partPath(const std::string& path) { return path + ".part"; }

private:
    // baud: the rate to leave the instrument at, -1 for 4800. lineLost: the
    // instrument stopped answering, so it is looked for before it is switched.
    bool finishTransfer(bool failed, int baud, const LogTransferRequest& request,
                        const LogVerifierFunction& verify, bool lineLost = false);
    void say(const std::string& text, const char* caption);

    InstrumentLink& link_;
    Prompts& prompts_;
    LogTransferObserver& observer_;
    const void* owner_;
};

}  // namespace vantor
