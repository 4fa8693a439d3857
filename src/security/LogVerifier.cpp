#include "security/LogVerifier.h"

#include <algorithm>
#include <memory>

#include "base/BigEndian.h"
#include "security/Signature.h"

namespace vantor::security {
namespace {

constexpr std::uint8_t kLineFeed = 10;

// Where the three G lines' hexadecimal digits stand in the collected G text
// ("G", 64 digits, CR LF each): bytes 0-31, 32-63 and 64-95.
constexpr std::size_t kHexStarts[] = {1, 68, 135};

unsigned hexDigit(std::uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10u;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10u;
    return 255;
}

template <std::size_t N>
std::array<std::uint8_t, N> slice(const std::array<std::uint8_t, SignatureBlock::kSize>& b,
                                  std::size_t from) {
    std::array<std::uint8_t, N> out{};
    std::copy_n(b.begin() + static_cast<std::ptrdiff_t>(from), N, out.begin());
    return out;
}

}  // namespace

std::uint16_t SignatureBlock::status() const {
    return static_cast<std::uint16_t>(loadBigEndian(std::span(bytes).subspan(0, 2)));
}
std::uint32_t SignatureBlock::logCrc() const {
    return loadBigEndian(std::span(bytes).subspan(5, 4));
}
std::uint32_t SignatureBlock::blockCrc() const {
    return loadBigEndian(std::span(bytes).subspan(92, 4));
}
std::array<std::uint8_t, 20> SignatureBlock::r() const {
    return slice<20>(bytes, 32);
}
std::array<std::uint8_t, 8> SignatureBlock::keyBlock() const {
    return slice<8>(bytes, 56);
}
std::array<std::uint8_t, 20> SignatureBlock::s() const {
    return slice<20>(bytes, 64);
}

LogVerifier::LogVerifier() {
    reset();
}

// Every check starts as an A line starts it, so a file without one is judged
// on its own bytes only; the G text is cleared with the rest.
void LogVerifier::reset() {
    crc_.reset();
    logDigest_.reset();
    g_.fill(0);
    gCount_ = 0;
}

LogVerifier::LineKind LogVerifier::startLine(std::span<const std::uint8_t> head) {
    auto at = [&head](std::size_t i) -> std::uint8_t { return i < head.size() ? head[i] : 0; };
    switch (at(0)) {
        case 'A':
            reset();
            return LineKind::Signed;
        case 'H':
            return at(1) == 'O' || at(1) == 'P' ? LineKind::Skipped : LineKind::Signed;
        case 'L':
            return at(1) == 'T' && at(2) == 'V' && at(3) == 'R' ? LineKind::Signed
                                                                : LineKind::Skipped;
        case 'G':
            return LineKind::GLine;
        default:
            return LineKind::Signed;
    }
}

void LogVerifier::handle(LineKind kind, std::span<const std::uint8_t> bytes) {
    if (kind == LineKind::Signed) {
        crc_.update(bytes);
        logDigest_.update(bytes);
    } else if (kind == LineKind::GLine) {
        // G text beyond the buffer cannot matter to the fixed positions read.
        const std::size_t n = std::min(bytes.size(), kGCapacity - gCount_);
        std::copy_n(bytes.begin(), n, g_.begin() + static_cast<std::ptrdiff_t>(gCount_));
        gCount_ += n;
    }
}

void LogVerifier::feed(std::span<const std::uint8_t> bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::uint8_t c = bytes[i];
        if (longLine_) {
            // The rest of an over-long line, handled as its start was: every
            // byte of a signed line counts, so nothing can hide past the buffer.
            handle(*longLine_, bytes.subspan(i, 1));
            if (c == kLineFeed) longLine_.reset();
            continue;
        }
        line_[lineLength_++] = c;
        if (c == kLineFeed) {
            // A lone line feed is no line at all; a CR LF line is signed text.
            if (lineLength_ > 1) {
                const std::span<const std::uint8_t> line(line_.data(), lineLength_);
                handle(startLine(line), line);
            }
            lineLength_ = 0;
        } else if (lineLength_ == kLineCapacity) {
            const std::span<const std::uint8_t> head(line_.data(), lineLength_);
            const LineKind kind = startLine(head);
            handle(kind, head);
            longLine_ = kind;
            lineLength_ = 0;
        }
    }
}

std::uint32_t LogVerifier::finish() {
    // Characters after the last line feed are not part of any line.
    lineLength_ = 0;
    longLine_.reset();

    for (std::size_t part = 0; part < 3; ++part) {
        for (std::size_t k = 0; k < 32; ++k) {
            const std::size_t at = kHexStarts[part] + 2 * k;
            const unsigned value = 16 * hexDigit(g_[at]) + hexDigit(g_[at + 1]);
            block_.bytes[32 * part + k] = static_cast<std::uint8_t>(value % 256);
        }
    }
    digest_ = logDigest_.finish();
    computedLogCrc_ = crc_.value();

    const std::uint16_t status = block_.status();
    const KeyBlock key = decipherKeyBlock(block_.keyBlock());
    const auto keyNumber = static_cast<std::uint16_t>(key[0] * 256 + key[1]);
    const std::uint32_t computedBlockCrc =
        logCrcOf(std::span<const std::uint8_t>(block_.bytes).subspan(0, 92));

    if (status == SignatureBlock::kOldViolation) return OLD_FILE | VIOLATION;
    if (status == SignatureBlock::kOld) return OLD_FILE;
    std::uint32_t result = 0;
    if (status == SignatureBlock::kUnsigned) {
        result = UNSIGNED;
    } else {
        if (verifySignature(digest_, block_.r(), block_.s(), keyNumber)) result = SIG_VALID;
        if ((block_.bytes[1] & 1) == 0) result |= VIOLATION;
    }
    if (computedLogCrc_ == block_.logCrc()) result |= LOG_CRC_OK;
    if (computedBlockCrc == block_.blockCrc()) result |= SIG_CRC_OK;
    return result;
}

std::uint32_t verifyLogData(std::span<const std::uint8_t> bytes) {
    LogVerifier verifier;
    verifier.feed(bytes);
    return verifier.finish();
}

namespace {

// Reads to the end in chunks; false when a read fails.
bool readAll(std::FILE* file, LogVerifier& verifier) {
    std::array<std::uint8_t, LogVerifier::kChunkSize> chunk{};
    while (true) {
        const std::size_t n = std::fread(chunk.data(), 1, chunk.size(), file);
        verifier.feed(std::span<const std::uint8_t>(chunk.data(), n));
        if (n < chunk.size()) return std::ferror(file) == 0;
    }
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

std::uint32_t verifyLogFile(std::FILE* file) {
    LogVerifier verifier;
    if (file) readAll(file, verifier);
    return verifier.finish();
}

std::optional<std::uint32_t> verifyLogFile(const std::filesystem::path& path) {
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.string().c_str(), "rb"));
    if (!file) return std::nullopt;
    LogVerifier verifier;
    if (!readAll(file.get(), verifier)) return std::nullopt;
    return verifier.finish();
}

std::string formatVerificationResult(std::uint32_t result) {
    if (result & OLD_FILE) {
        return (result & SIG_VALID) ? "Old File: Security seems OK\n"
                                    : "Old File: Security seems Bad\n";
    }
    std::string text;
    text += (result & LOG_CRC_OK) ? "Log Data Integrity OK\n" : "Log Data Integrity Fail\n";
    text +=
        (result & SIG_CRC_OK) ? "Signature Data Integrity OK\n" : "Signature Data Integrity Fail\n";
    if (result & VIOLATION) text += "Security Violation Reported\n";
    text += (result & SIG_VALID) ? "Security OK\n" : "Security Fail\n";
    return text;
}

}  // namespace vantor::security
