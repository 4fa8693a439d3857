#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "security/LogCrc.h"
#include "security/LogDigest.h"

namespace vantor::security {

// Flags of the result word.
inline constexpr std::uint32_t SIG_VALID = 0x0001;   // the signature verified
inline constexpr std::uint32_t LOG_CRC_OK = 0x0002;  // the log CRC matched
inline constexpr std::uint32_t SIG_CRC_OK = 0x0004;  // the block CRC matched
inline constexpr std::uint32_t VIOLATION = 0x0008;   // the instrument reports a violation
inline constexpr std::uint32_t UNSIGNED = 0x4000;    // status 0x00FF: no signature check made
inline constexpr std::uint32_t OLD_FILE = 0x8000;    // status 0x0666 or 0x64A2: nothing checked

// The 96 bytes that the three G lines of a log carry in hexadecimal.
struct SignatureBlock {
    static constexpr std::size_t kSize = 96;
    static constexpr std::uint16_t kUnsigned = 0x00FF;
    static constexpr std::uint16_t kOldViolation = 0x0666;
    static constexpr std::uint16_t kOld = 0x64A2;

    std::array<std::uint8_t, kSize> bytes{};

    std::uint16_t status() const;
    std::uint32_t logCrc() const;    // bytes 5-8
    std::uint32_t blockCrc() const;  // bytes 92-95, over bytes 0-91
    std::array<std::uint8_t, 20> r() const;
    std::array<std::uint8_t, 8> keyBlock() const;  // enciphered
    std::array<std::uint8_t, 20> s() const;
};

// The check of one IGC file. It reads lines as the instrument wrote them and
// signs exactly what the instrument signed: every line except HO and HP
// headers, L lines without the TVR code and the G lines, which are collected
// to give the signature block. An A line starts the log afresh. Each instance
// is one check: state is never shared, so checks may run on any thread.
class LogVerifier {
public:
    static constexpr std::size_t kChunkSize = 1024;
    static constexpr std::size_t kLineCapacity = 255;  // characters, line end included
    static constexpr std::size_t kGCapacity = 512;

    LogVerifier();
    // The bytes of the file in order, in pieces of any size.
    void feed(std::span<const std::uint8_t> bytes);
    // Evaluates what was fed and returns the result word.
    std::uint32_t finish();

    // Known after finish(); for the tests and the simulator.
    std::uint32_t computedLogCrc() const { return computedLogCrc_; }
    const LogDigest::Value& digest() const { return digest_; }
    const SignatureBlock& signatureBlock() const { return block_; }

private:
    enum class LineKind { Signed, Skipped, GLine };

    LineKind startLine(std::span<const std::uint8_t> head);
    void handle(LineKind kind, std::span<const std::uint8_t> bytes);
    void reset();

    LogCrc crc_;
    LogDigest logDigest_;
    std::array<std::uint8_t, kLineCapacity> line_{};
    std::size_t lineLength_ = 0;
    std::optional<LineKind> longLine_;  // the kind of a line too long for the buffer
    std::array<std::uint8_t, kGCapacity> g_{};
    std::size_t gCount_ = 0;

    SignatureBlock block_;
    LogDigest::Value digest_{};
    std::uint32_t computedLogCrc_ = 0;
};

// The check of a whole log held in memory.
std::uint32_t verifyLogData(std::span<const std::uint8_t> bytes);
// The check of a file opened for reading, from its current position to its end.
std::uint32_t verifyLogFile(std::FILE* file);
// The check of the file at path; nothing when it cannot be opened or read.
std::optional<std::uint32_t> verifyLogFile(const std::filesystem::path& path);

// The lines shown under the caption "Verification", each ending in a line feed.
std::string formatVerificationResult(std::uint32_t result);

}  // namespace vantor::security
