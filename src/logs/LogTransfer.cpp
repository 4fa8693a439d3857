#include "logs/LogTransfer.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "base/Prompts.h"
#include "link/InstrumentLink.h"
#include "logs/LogDirectory.h"

namespace vantor {

namespace {
constexpr const char* kCantOpen = "Can't open ComPort";

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool writeAll(std::FILE* f, const void* data, std::size_t n) {
    return n == 0 || std::fwrite(data, 1, n, f) == n;
}

void removeQuietly(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

constexpr const char* kOpenForWritingText = "Could not open file for writing.";

}  // namespace

int LogBatchResult::savedCount() const {
    int n = 0;
    for (const Item& item : items) n += item.outcome == TransferOutcome::Saved ? 1 : 0;
    return n;
}

int LogBatchResult::failedCount() const {
    int n = 0;
    for (const Item& item : items) n += item.outcome == TransferOutcome::Failed ? 1 : 0;
    return n;
}

void LogTransfer::say(const std::string& text, const char* caption) {
    prompts_.message(text, caption, Buttons::Ok, Icon::None, owner_);
}

bool LogTransfer::prepare(const LogTransferRequest& request) {
    File f(std::fopen(partPath(request.path).c_str(), "wb"));
    if (!f) {
        say(kOpenForWritingText, "Error");
        return false;
    }
    return true;
}

LogTransfer::Connection LogTransfer::connect(const std::string& portName) {
    Connection c;
    if (!link_.open(portName, 4800, 1000)) return c;
    c.opened = true;
    observer_.setStatus("Attempting to Transfer");
    c.baudToRestore = link_.detectBaudRate();
    if (cancelled()) return c;
    link_.setInstrumentBaudRate(57600);
    if (!link_.sync()) {
        c.problem = "Failed to connect.";
        c.lineLost = true;
        return c;
    }
    link_.setReadTimeout(2000);
    if (!link_.sync()) {
        c.problem = "Failed to connect.";
    } else if (!link_.enterUploadMode(true)) {
        c.problem = "Could not upload.";
    }
    return c;
}

LogTransfer::Received LogTransfer::receive(const LogTransferRequest& request) {
    const std::string part = partPath(request.path);
    Received r;
    File out(std::fopen(part.c_str(), "wb"));
    if (!out) {
        r.problem = kOpenForWritingText;
        return r;
    }
    auto fail = [&](std::string problem, bool lineLost = false) {
        out.reset();
        removeQuietly(part);
        r.problem = std::move(problem);
        r.lineLost = lineLost;
        return r;
    };

    int blockSize = 0;
    int blockCount = 0;
    long long total = 0;
    if (request.binary) {
        int length = 0;
        std::uint8_t a = 0;
        std::uint8_t b = 0;
        if (!link_.requestBinaryLog(request.logNumber, blockSize, blockCount, &length, &a, &b)) {
            return fail("Could not initiate transfer.");
        }
        char header[64];
        const int n =
            std::snprintf(header, sizeof header, "TVKBINARYFILE:%d,%d,%d,%d;", length, a, b, 128);
        const std::array<std::uint8_t, 128> reserved{};
        writeAll(out.get(), header, static_cast<std::size_t>(n));
        writeAll(out.get(), reserved.data(), reserved.size());
        total = length;
    } else if (!link_.requestIgcLog(request.logNumber, blockSize, blockCount)) {
        return fail("Could not initiate transfer. (A)");
    } else {
        total = blockCount;
    }
    long long done = 0;
    observer_.setProgress(0, total);

    std::vector<std::uint8_t> block(static_cast<std::size_t>(blockSize));
    int shortTotal = 0;
    int badTotal = 0;
    bool writeFailed = false;
    for (int index = 0;; ++index) {
        if (cancelled()) {
            r = fail({});
            r.outcome = TransferOutcome::Cancelled;
            return r;
        }
        int shortRetries = 0;
        int badRetries = 0;
        const int length = link_.readBlock('N', blockSize, block, shortRetries, badRetries);
        shortTotal += shortRetries;
        badTotal += badRetries;
        if (length < 0) {
            char text[64];
            std::snprintf(text, sizeof text, "Transfer Error (%d %d)", shortRetries, badRetries);
            return fail(text, true);
        }
        writeFailed |= !writeAll(out.get(), block.data(), static_cast<std::size_t>(length));
        char status[96];
        std::snprintf(status, sizeof status, "%d of %d Blocks Transferred (%d %d)", index,
                      blockCount, shortTotal, badTotal);
        observer_.setStatus(status);
        done += request.binary ? length : 1;
        observer_.setProgress(std::min(done, total), total);
        if (length != blockSize) break;
    }

    if (cancelled()) {
        r = fail({});
        r.outcome = TransferOutcome::Cancelled;
        return r;
    }
    observer_.setStatus("Finishing...");
    link_.setReadTimeout(5000);
    std::array<std::uint8_t, kSecurityRecordRead> security{};
    const int securityLength = link_.readSecurityRecord(security);
    if (securityLength < 0) return fail("Transfer error.");
    writeFailed |= !writeAll(out.get(), security.data(), static_cast<std::size_t>(securityLength));
    writeFailed |= std::fclose(out.release()) != 0;
    // A file that could not be written whole is no download.
    if (writeFailed) return fail("The log could not be written whole to " + part);
    observer_.setProgress(total, total);
    r.outcome = TransferOutcome::Saved;
    return r;
}

void LogTransfer::endLine(int baud, bool lineLost) {
    link_.sync();
    const int target = baud == -1 ? 4800 : baud;
    if (lineLost) {
        // The line stopped answering at 57600: the instrument may be there or
        // still at its old rate. Look for it, and give up quietly when it is
        // gone, so that no later operation finds it off its rate.
        link_.restoreBaudRate(target);
    } else {
        link_.setInstrumentBaudRate(target);
    }
    link_.close();
}

std::string LogTransfer::commit(const LogTransferRequest& request) {
    const std::string part = partPath(request.path);
    std::error_code error;
    std::filesystem::rename(part, request.path, error);
    if (error && std::filesystem::is_regular_file(request.path)) {
        // Some platforms will not rename over an existing file.
        std::filesystem::remove(request.path, error);
        std::filesystem::rename(part, request.path, error);
    }
    if (!error) return {};
    // The log arrived whole: it is never thrown away for want of a name.
    return "The log was downloaded but could not be saved as\n" + request.path +
           "\nIt is kept as\n" + part;
}

std::vector<LogTransferRequest> newLogRequests(const LogDirectory& directory, const char* serial,
                                               std::int32_t minLogSeconds,
                                               const std::string& folder, bool binary) {
    std::vector<LogTransferRequest> requests;
    for (int index : buildListing(directory, minLogSeconds).listMap) {
        const std::filesystem::path path =
            std::filesystem::path(folder) /
            logShortFileName(directory, index, serial, minLogSeconds, binary);
        std::error_code error;
        if (!std::filesystem::exists(path, error))
            requests.push_back({index, binary, path.string()});
    }
    return requests;
}

TransferOutcome LogTransfer::run(const LogTransferRequest& request, const std::string& portName,
                                 const LogVerifierFunction& verify) {
    WaitCursor wait(prompts_);
    const Connection c = connect(portName);
    if (!c.opened) {
        say(link_.openFailureText(kCantOpen), "Error");
        removeQuietly(partPath(request.path));  // nothing was written
        return TransferOutcome::Failed;
    }
    Received r;
    if (!c.problem.empty()) {
        r.problem = c.problem;
        r.lineLost = c.lineLost;
    } else if (cancelled()) {
        r.outcome = TransferOutcome::Cancelled;
    } else {
        r = receive(request);
    }
    if (r.outcome == TransferOutcome::Failed) {
        removeQuietly(partPath(request.path));
        if (!r.problem.empty()) say(r.problem, "Error");
        endLine(c.baudToRestore, r.lineLost);
        observer_.setStatus("Transfer Failed");
        say("Transfer Failed.", "Error!");
        return TransferOutcome::Failed;
    }
    if (r.outcome == TransferOutcome::Cancelled) {
        removeQuietly(partPath(request.path));
        endLine(c.baudToRestore, false);
        observer_.setStatus(kTransferCancelled);
        return TransferOutcome::Cancelled;
    }
    endLine(c.baudToRestore, false);
    const std::string problem = commit(request);
    if (!problem.empty()) {
        observer_.setStatus("Transfer Failed");
        say(problem, "Error");
        return TransferOutcome::Failed;
    }
    observer_.setStatus("Transfer Complete");
    const std::string text = request.binary ? std::string("Did not try to verify binary file")
                             : verify       ? verify(request.path)
                                            : std::string();
    if (request.binary) {
        say(text, "Verification");
    } else if (!text.empty()) {
        // A pilot must not take a doubtful log for a good one.
        prompts_.message(verificationMessage(text, request.path), "Verification", Buttons::Ok,
                         verificationIsFullyOk(text) ? Icon::Information : Icon::Warning, owner_);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return TransferOutcome::Saved;
}

LogBatchResult LogTransfer::runBatch(const std::vector<LogTransferRequest>& requests,
                                     const std::string& portName,
                                     const LogVerifierFunction& verify) {
    LogBatchResult result;
    for (const LogTransferRequest& request : requests) {
        LogBatchResult::Item item;
        item.request = request;
        result.items.push_back(std::move(item));
    }
    auto markRest = [&](std::size_t from, TransferOutcome outcome, const std::string& problem) {
        for (std::size_t i = from; i < result.items.size(); ++i) {
            result.items[i].outcome = outcome;
            result.items[i].problem = problem;
            removeQuietly(partPath(result.items[i].request.path));
        }
    };
    if (requests.empty()) return result;

    WaitCursor wait(prompts_);
    const Connection c = connect(portName);
    if (!c.opened) {
        const std::string problem = link_.openFailureText(kCantOpen);
        say(problem, "Error");
        markRest(0, TransferOutcome::Failed, problem);
        return result;
    }
    if (!c.problem.empty()) {
        say(c.problem, "Error");
        markRest(0, TransferOutcome::Failed, c.problem);
        endLine(c.baudToRestore, c.lineLost);
        observer_.setStatus("Transfer Failed");
        return result;
    }
    result.connected = true;

    bool lineLost = false;
    for (std::size_t i = 0; i < requests.size(); ++i) {
        if (cancelled()) {
            markRest(i, TransferOutcome::Cancelled, {});
            break;
        }
        LogBatchResult::Item& item = result.items[i];
        observer_.startLog(static_cast<int>(i + 1), static_cast<int>(requests.size()),
                           item.request);
        // Each further log is asked for as the first was, in upload mode.
        Received r;
        if (i > 0 && !link_.enterUploadMode(true)) {
            r.problem = "Could not upload.";
            r.lineLost = true;
        } else {
            r = receive(item.request);
        }
        item.outcome = r.outcome;
        item.problem = r.problem;
        if (r.outcome == TransferOutcome::Saved) {
            item.problem = commit(item.request);
            if (!item.problem.empty()) {
                item.outcome = TransferOutcome::Failed;
            } else if (!item.request.binary && verify) {
                item.verification = verify(item.request.path);
            }
        }
        observer_.setStatus(item.outcome == TransferOutcome::Saved       ? "Transfer Complete"
                            : item.outcome == TransferOutcome::Cancelled ? kTransferCancelled
                                                                         : "Transfer Failed");
        if (r.outcome == TransferOutcome::Cancelled) {
            markRest(i + 1, TransferOutcome::Cancelled, {});
            break;
        }
        if (r.lineLost && !link_.sync()) {
            // Nobody answers any more: the rest is not asked for.
            lineLost = true;
            markRest(i + 1, TransferOutcome::Failed, "The instrument stopped answering.");
            break;
        }
    }
    for (const LogBatchResult::Item& item : result.items) {
        result.cancelled |= item.outcome == TransferOutcome::Cancelled;
    }
    endLine(c.baudToRestore, lineLost);
    if (result.cancelled) {
        observer_.setStatus(kTransferCancelled);
    } else {
        observer_.setStatus(result.failedCount() == 0 ? "Transfer Complete" : "Transfer Failed");
    }
    return result;
}

}  // namespace vantor
