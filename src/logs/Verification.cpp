#include <optional>

#include "logs/LogTransfer.h"
#include "security/LogVerifier.h"

namespace vantor {

std::string verificationText(const std::string& path) {
    const std::optional<std::uint32_t> result = security::verifyLogFile(std::filesystem::path(path));
    return result ? security::formatVerificationResult(*result) : std::string();
}

bool verificationIsFullyOk(const std::string& lines) {
    using namespace security;
    return lines == formatVerificationResult(SIG_VALID | LOG_CRC_OK | SIG_CRC_OK);
}

std::string verificationMessage(const std::string& lines, const std::string& path) {
    return lines + "\n" + path;
}

}  // namespace vantor
