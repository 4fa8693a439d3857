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

namespace vantor {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool writeAll(std::FILE* f, const void* data, std::size_t n) {
    return n == 0 || std::fwrite(data, 1, n, f) == n;
}

}  // namespace

void LogTransfer::say(const std::string& text, const char* caption) {
    prompts_.message(text, caption, Buttons::Ok, Icon::None, owner_);
}

bool LogTransfer::prepare(const LogTransferRequest& request) {
    File f(std::fopen(partPath(request.path).c_str(), "wb"));
    if (!f) {
        say("Could not open file for writing.", "Error");
        return false;
    }
    return true;
}

bool LogTransfer::run(const LogTransferRequest& request, const std::string& portName,
                      const LogVerifierFunction& verify) {
    const std::string part = partPath(request.path);
    WaitCursor wait(prompts_);
    if (!link_.open(portName, 4800, 1000)) {
        say("Can't open ComPort", "Error");
        std::error_code ignored;
        std::filesystem::remove(part, ignored);  // nothing was written
        return false;
    }
    File out(std::fopen(part.c_str(), "wb"));
    if (!out) {
        say("Could not open file for writing.", "Error");
        link_.close();
        return false;
    }
    observer_.setStatus("Attempting to Transfer");

    const int baudToRestore = link_.detectBaudRate();
    link_.setInstrumentBaudRate(57600);
    if (!link_.sync()) {
        say("Failed to connect.", "Error");
        out.reset();
        return finishTransfer(true, baudToRestore, request, verify, true);
    }
    link_.setReadTimeout(2000);
    auto fail = [&](const char* text) {
        say(text, "Error");
        out.reset();
        return finishTransfer(true, baudToRestore, request, verify);
    };
    if (!link_.sync()) return fail("Failed to connect.");
    if (!link_.enterUploadMode(true)) return fail("Could not upload.");

    int blockSize = 0;
    int blockCount = 0;
    if (request.binary) {
        int total = 0;
        std::uint8_t a = 0;
        std::uint8_t b = 0;
        if (!link_.requestBinaryLog(request.logNumber, blockSize, blockCount, &total, &a, &b)) {
            return fail("Could not initiate transfer.");
        }
        char header[64];
        const int n =
            std::snprintf(header, sizeof header, "TVKBINARYFILE:%d,%d,%d,%d;", total, a, b, 128);
        const std::array<std::uint8_t, 128> reserved{};
        writeAll(out.get(), header, static_cast<std::size_t>(n));
        writeAll(out.get(), reserved.data(), reserved.size());
    } else if (!link_.requestIgcLog(request.logNumber, blockSize, blockCount)) {
        return fail("Could not initiate transfer. (A)");
    }

    std::vector<std::uint8_t> block(static_cast<std::size_t>(blockSize));
    int shortTotal = 0;
    int badTotal = 0;
    bool writeFailed = false;
    for (int index = 0;; ++index) {
        int shortRetries = 0;
        int badRetries = 0;
        const int length = link_.readBlock('N', blockSize, block, shortRetries, badRetries);
        shortTotal += shortRetries;
        badTotal += badRetries;
        if (length < 0) {
            char text[64];
            std::snprintf(text, sizeof text, "Transfer Error (%d %d)", shortRetries, badRetries);
            say(text, "Error");
            out.reset();
            return finishTransfer(true, baudToRestore, request, verify, true);
        }
        writeFailed |= !writeAll(out.get(), block.data(), static_cast<std::size_t>(length));
        char status[96];
        std::snprintf(status, sizeof status, "%d of %d Blocks Transferred (%d %d)", index,
                      blockCount, shortTotal, badTotal);
        observer_.setStatus(status);
        if (length != blockSize) break;
    }

    observer_.setStatus("Finishing...");
    link_.setReadTimeout(5000);
    std::array<std::uint8_t, kSecurityRecordRead> security{};
    const int securityLength = link_.readSecurityRecord(security);
    if (securityLength < 0) return fail("Transfer error.");
    writeFailed |= !writeAll(out.get(), security.data(), static_cast<std::size_t>(securityLength));
    writeFailed |= std::fclose(out.release()) != 0;
    // A file that could not be written whole is no download.
    if (writeFailed) return finishTransfer(true, baudToRestore, request, verify);
    const bool saved = finishTransfer(false, baudToRestore, request, verify);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return saved;
}

bool LogTransfer::finishTransfer(bool failed, int baud, const LogTransferRequest& request,
                                 const LogVerifierFunction& verify, bool lineLost) {
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

    const std::string part = partPath(request.path);
    std::error_code error;
    if (failed) {
        observer_.setStatus("Transfer Failed");
        std::filesystem::remove(part, error);
        say("Transfer Failed.", "Error!");
        return false;
    }
    std::filesystem::rename(part, request.path, error);
    if (error && std::filesystem::is_regular_file(request.path)) {
        // Some platforms will not rename over an existing file.
        std::filesystem::remove(request.path, error);
        std::filesystem::rename(part, request.path, error);
    }
    if (error) {
        // The log arrived whole: it is never thrown away for want of a name.
        observer_.setStatus("Transfer Failed");
        say("The log was downloaded but could not be saved as\n" + request.path +
                "\nIt is kept as\n" + part,
            "Error");
        return false;
    }
    observer_.setStatus("Transfer Complete");
    const std::string text = request.binary ? std::string("Did not try to verify binary file")
                             : verify       ? verify(request.path)
                                            : std::string();
    if (!text.empty()) say(text, "Verification");
    return true;
}

}  // namespace vantor
