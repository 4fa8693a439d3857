#include <optional>

#include "logs/LogTransfer.h"
#include "security/LogVerifier.h"

namespace vantor {

std::string verificationText(const std::string& path) {
    const std::optional<std::uint32_t> result = security::verifyLogFile(std::filesystem::path(path));
    return result ? security::formatVerificationResult(*result) : std::string();
}

}  // namespace vantor
