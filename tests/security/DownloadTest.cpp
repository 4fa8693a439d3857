// A log downloaded from the simulated instrument over the real serial code,
// saved as the transfer saves it (blocks, then the security record), verifies.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LogSigning.h"
#include "SimFixture.h"
#include "security/LogVerifier.h"

namespace vantor::test {
namespace {

class DownloadTest : public SimFixture {
protected:
    void SetUp() override {
        if (!sim::testKeysInUse()) GTEST_SKIP() << "built with other key material";
        sim::SimulatorOptions options;
        options.logs = 2;
        options.seed = 11;
        startSim(options);
    }

    std::string download(int log) {
        std::string file;
        int blockSize = 0;
        int blockCount = 0;
        if (!link->requestIgcLog(log, blockSize, blockCount)) return {};
        std::vector<std::uint8_t> block(static_cast<std::size_t>(blockSize));
        int shortRetries = 0;
        int badRetries = 0;
        for (bool more = true; more;) {
            const int n = link->readBlock('N', blockSize, block, shortRetries, badRetries);
            if (n < 0) return {};
            file.append(block.begin(), block.begin() + n);
            more = n == blockSize;
        }
        std::vector<std::uint8_t> security(256);
        const int n = link->readSecurityRecord(security);
        if (n < 0) return {};
        file.append(security.begin(), security.begin() + n);
        return file;
    }
};

TEST_F(DownloadTest, DownloadedLogsVerify) {
    connectUpload(true);
    for (int log = 0; log < 2; ++log) {
        const std::string file = download(log);
        ASSERT_FALSE(file.empty()) << log;
        EXPECT_EQ(file.substr(file.size() - 3 * 67, 1), "G");
        EXPECT_EQ(security::formatVerificationResult(security::verifyLogData(
                      {reinterpret_cast<const std::uint8_t*>(file.data()), file.size()})),
                  "Log Data Integrity OK\nSignature Data Integrity OK\nSecurity OK\n")
            << log;
    }
}

}  // namespace
}  // namespace vantor::test
