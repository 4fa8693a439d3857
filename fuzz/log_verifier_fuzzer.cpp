// The log security check on any file contents: read from the file or fed in
// pieces of any size, it comes to the same result, and the result holds only
// the flags the check knows.

#include <algorithm>
#include <filesystem>
#include <span>

#include "FuzzSupport.h"
#include "security/LogVerifier.h"

namespace security = vantor::security;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static vantor::fuzz::MemoryFile file("log");
    file.assign(data, size);
    const auto fromFile = security::verifyLogFile(std::filesystem::path(file.path()));
    FUZZ_CHECK(fromFile);

    const std::span<const std::uint8_t> bytes(data, size);

    // Pieces of uneven sizes, so that line ends and the line buffer's limit
    // fall anywhere within them.
    security::LogVerifier pieces;
    std::uint32_t state = static_cast<std::uint32_t>(size) * 2654435761u + 1;
    for (std::size_t at = 0; at < size;) {
        state = state * 1664525u + 1013904223u;
        const std::size_t n = std::min<std::size_t>(size - at, 1 + (state >> 16) % 300);
        pieces.feed(bytes.subspan(at, n));
        at += n;
    }
    FUZZ_CHECK(pieces.finish() == *fromFile);

    constexpr std::uint32_t kKnown = security::SIG_VALID | security::LOG_CRC_OK |
                                     security::SIG_CRC_OK | security::VIOLATION |
                                     security::UNSIGNED | security::OLD_FILE;
    FUZZ_CHECK((*fromFile & ~kKnown) == 0);
    const std::string text = security::formatVerificationResult(*fromFile);
    FUZZ_CHECK(!text.empty() && text.back() == '\n');
    return 0;
}
