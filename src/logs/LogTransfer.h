#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vantor {

class InstrumentLink;
class Prompts;
struct LogDirectory;

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
    // How far the current log has come: blocks of the block count for an IGC
    // log, bytes of the total length for a binary log. done never passes total.
    virtual void setProgress(long long done, long long total) {
        static_cast<void>(done);
        static_cast<void>(total);
    }
    // A download of several logs starts log `number` (from 1) of `count`.
    virtual void startLog(int number, int count, const LogTransferRequest& request) {
        static_cast<void>(number);
        static_cast<void>(count);
        static_cast<void>(request);
    }
};

// Every listed log (longer than minLogSeconds) that `folder` does not hold
// under its short name yet, to be downloaded there: what "Download New" fetches.
std::vector<LogTransferRequest> newLogRequests(const LogDirectory& directory, const char* serial,
                                               std::int32_t minLogSeconds,
                                               const std::string& folder, bool binary);

// The security check of a saved file, as the result text to show.
using LogVerifierFunction = std::function<std::string(const std::string& path)>;

// The text the log security check gives for a saved file, or nothing when
// the file cannot be read.
std::string verificationText(const std::string& path);
// Whether a check's result lines say the log is whole and its signature good,
// with no violation reported.
bool verificationIsFullyOk(const std::string& lines);
// The "Verification" box's text for a file: the result lines, then the file.
std::string verificationMessage(const std::string& lines, const std::string& path);

enum class TransferOutcome { Saved, Failed, Cancelled };

// What became of each log of a download of several.
struct LogBatchResult {
    struct Item {
        LogTransferRequest request;
        TransferOutcome outcome = TransferOutcome::Failed;
        std::string problem;       // why it failed, as the pilot is told
        std::string verification;  // the check's text of a saved IGC log
    };
    std::vector<Item> items;  // one for each request, in order
    bool connected = false;   // the instrument was reached at all
    bool cancelled = false;

    int savedCount() const;
    int failedCount() const;
};

inline constexpr const char* kTransferCancelled = "Transfer Cancelled";

// Downloads logs (or the whole memory) at 57600 baud into files. A download
// is written beside the chosen file and takes its place only when it
// succeeded, so a failure or a cancel never costs the pilot an earlier copy.
class LogTransfer {
public:
    LogTransfer(InstrumentLink& link, Prompts& prompts, LogTransferObserver& observer,
                const void* owner = nullptr)
        : link_(link), prompts_(prompts), observer_(observer), owner_(owner) {}

    // Set (from any thread, or a signal handler) to stop at the next block:
    // the line is brought back as at the end of a transfer and no part file
    // is left.
    void setCancelFlag(const std::atomic<bool>* cancel) { cancel_ = cancel; }

    // Creates the file the download is written to, before the worker starts.
    // False, after "Could not open file for writing.", when it cannot be created.
    bool prepare(const LogTransferRequest& request);
    // One log, on the worker thread, with its messages and its check's box.
    TransferOutcome run(const LogTransferRequest& request, const std::string& portName,
                        const LogVerifierFunction& verify);
    // Several logs in one connection: the rate is switched once and restored
    // once. A log that fails is passed over and the next tried; nothing but a
    // failure to connect is shown as a message, the rest is in the result.
    LogBatchResult runBatch(const std::vector<LogTransferRequest>& requests,
                            const std::string& portName, const LogVerifierFunction& verify);

    // The file a download goes to until it succeeded.
    static std::string partPath(const std::string& path) { return path + ".part"; }

private:
    struct Received {
        TransferOutcome outcome = TransferOutcome::Failed;
        std::string problem;    // the message of a failure, empty for none
        bool lineLost = false;  // the instrument stopped answering
    };
    struct Connection {
        bool opened = false;
        int baudToRestore = -1;
        std::string problem;  // why the fast line could not be set up
        bool lineLost = false;
    };

    bool cancelled() const { return cancel_ && cancel_->load(); }
    Connection connect(const std::string& portName);
    // Requests one log and writes it to its part file (upload mode entered).
    Received receive(const LogTransferRequest& request);
    // sync, the rate back to `baud` (-1 for 4800), close.
    void endLine(int baud, bool lineLost);
    // The finished part file takes the chosen name; the problem, if it cannot.
    std::string commit(const LogTransferRequest& request);
    void say(const std::string& text, const char* caption);

    InstrumentLink& link_;
    Prompts& prompts_;
    LogTransferObserver& observer_;
    const void* owner_;
    const std::atomic<bool>* cancel_ = nullptr;
};

}  // namespace vantor
