#include <gtest/gtest.h>

#include <chrono>

#ifdef _WIN32
#include <windows.h>
#endif

#include "SimFixture.h"
#include "link/SerialPort.h"

namespace vantor::test {
namespace {

using Clock = std::chrono::steady_clock;

// Wine lets a second handle open a serial device that was opened unshared;
// Windows itself refuses it in the port driver.
bool sharingIsEnforced() {
#ifdef _WIN32
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return !(ntdll && GetProcAddress(ntdll, "wine_get_version"));
#else
    return true;
#endif
}

class SerialPortTest : public SimFixture {
protected:
    void SetUp() override {
        SimFixture::SetUp();
        sim->setSilent(true);
    }
    SerialPort port;
};

TEST_F(SerialPortTest, OpenIsExclusiveAndReopenClosesFirst) {
    ASSERT_TRUE(port.open(device(), 4800, 10));
    SerialPort other;
    if (sharingIsEnforced()) {
        EXPECT_FALSE(other.open(device(), 4800, 10));
        EXPECT_FALSE(other.isOpen());
    }
    // Opening again closes the first descriptor, or the lock would refuse it.
    EXPECT_TRUE(port.open(device(), 9600, 10));
    EXPECT_EQ(port.baudRate(), 9600);
    port.close();
    EXPECT_TRUE(other.open(device(), 4800, 10));
    port.close();  // closing a closed port does nothing
    EXPECT_FALSE(port.isOpen());
}

TEST_F(SerialPortTest, FailedOpenLeavesItClosed) {
    EXPECT_FALSE(port.open("/nonexistent/tty", 4800, 10));
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(port.changeBaudRate(19200));  // refused while closed
    EXPECT_EQ(port.baudRate(), 0);
}

TEST_F(SerialPortTest, ZeroLengthReadAndWriteReturnAtOnce) {
    ASSERT_TRUE(port.open(device(), 4800, 5000));
    std::uint8_t b = 0;
    std::size_t got = 99;
    const auto start = Clock::now();
    EXPECT_TRUE(port.read(&b, 0, got));
    EXPECT_EQ(got, 0u);
    EXPECT_TRUE(port.write(&b, 0));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(100));
}

TEST_F(SerialPortTest, ReadGivesUpAfterTwoMsPerByteAndTheConstant) {
    ASSERT_TRUE(port.open(device(), 4800, 100));
    std::uint8_t buffer[50];
    std::size_t got = 99;
    const auto start = Clock::now();
    EXPECT_TRUE(port.read(buffer, sizeof buffer, got));
    const auto elapsed = Clock::now() - start;
    EXPECT_EQ(got, 0u);
    EXPECT_GE(elapsed, std::chrono::milliseconds(200));
    EXPECT_LT(elapsed, std::chrono::milliseconds(400));
}

TEST_F(SerialPortTest, OpenAndPurgeDiscardWhatWasWaiting) {
    sim->inject({1, 2, 3, 4});
    ASSERT_TRUE(port.open(device(), 4800, 20));
    std::uint8_t buffer[4];
    std::size_t got = 0;
    port.read(buffer, 4, got);
    EXPECT_EQ(got, 0u);

    sim->inject({5, 6, 7, 8});
    port.read(buffer, 1, got);  // waits until the bytes are really there
    ASSERT_EQ(got, 1u);
    EXPECT_TRUE(port.purge());
    port.read(buffer, 3, got);
    EXPECT_EQ(got, 0u);
}

TEST_F(SerialPortTest, EveryInstrumentRateIsSupported) {
    ASSERT_TRUE(port.open(device(), 4800, 10));
    for (int rate : {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200}) {
        EXPECT_TRUE(isSupportedBaudRate(rate));
        EXPECT_TRUE(port.changeBaudRate(rate)) << rate;
        EXPECT_EQ(port.baudRate(), rate);
    }
#ifndef _WIN32
    // Windows drivers take other rates too (14400 is one of their own).
    EXPECT_FALSE(port.changeBaudRate(14400));
    EXPECT_EQ(port.baudRate(), 115200);  // a refused rate keeps the old one
#endif
}

}  // namespace
}  // namespace vantor::test
