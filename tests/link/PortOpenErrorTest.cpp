#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "SimFixture.h"
#include "link/InstrumentFinder.h"
#include "link/PortOpenError.h"

namespace vantor::test {
namespace {

namespace fs = std::filesystem;

#ifndef _WIN32
// Each cause made for real, and the text connectForUpload shows for it.
TEST_F(SimFixture, OpenFailuresSayTheirCause) {
    const std::string missing = "/dev/vantor-no-such-device";
    const fs::path notSerial = fs::path(::testing::TempDir()) / "not-a-port";
    std::ofstream(notSerial) << "x";
    fs::permissions(notSerial, fs::perms::owner_read | fs::perms::owner_write);
    const fs::path locked = fs::path(::testing::TempDir()) / "locked-port";
    std::ofstream(locked) << "x";
    fs::permissions(locked, fs::perms::none);

    InstrumentLink holder(prompts);
    ASSERT_TRUE(holder.open(device(), 4800, 10));  // another program has the instrument

    struct Case {
        std::string port;
        std::string text;
        bool needsNonRoot;
    } cases[] = {
        {device(), kPortInUseText, false},
        {missing,
         "There is no device " + missing +
             ". Plug in the instrument's cable, or choose another port.",
         false},
        {notSerial.string(), notSerial.string() + " is not a serial port. Choose another port.",
         false},
        {locked.string(),
         "You have no permission to use " + locked.string() +
             ". Join the dialout group, then log out and in again:\nsudo usermod -aG dialout "
             "$USER",
         true},
    };
    for (const auto& c : cases) {
        if (c.needsNonRoot && geteuid() == 0) continue;  // root opens anything
        prompts.messages.clear();
        InstrumentLink l(prompts);
        EXPECT_FALSE(l.connectForUpload(c.port, false)) << c.port;
        ASSERT_EQ(prompts.messages.size(), 1u) << c.port;
        EXPECT_EQ(prompts.messages[0].text, c.text);
        EXPECT_EQ(prompts.messages[0].caption, "Can't open comm port");
    }
    if (geteuid() == 0) std::cout << "permission case skipped: running as root\n";

    // A "COMn:" name says which device it stands for.
    EXPECT_EQ(openFailureText("COM9:", "/dev/ttyS8", ENOENT, kPortInUseText),
              "There is no device /dev/ttyS8 (COM9:). Plug in the instrument's cable, or choose "
              "another port.");
    // Without a reason from the system the old text stays.
    EXPECT_EQ(openFailureText("COM1:", "/dev/ttyS0", 0, "Can't open ComPort"),
              "Can't open ComPort");
    EXPECT_EQ(openFailureText("/dev/ttyUSB0", "/dev/ttyUSB0", EIO, "busy"),
              "The port /dev/ttyUSB0 could not be opened: Input/output error.");
    fs::remove(notSerial);
    fs::remove(locked);
}
#else
TEST(PortOpenError, WindowsCauses) {
    EXPECT_EQ(openFailureText("/none", "/none", ERROR_PATH_NOT_FOUND, kPortInUseText),
              noDeviceText("/none"));
    EXPECT_EQ(openFailureText("COM9:", R"(\\.\COM9)", ERROR_ACCESS_DENIED, kPortInUseText),
              kPortInUseText);
}
#endif

// A port that will not open is passed over with its reason; the instrument
// is found on the next one at the rate it sits at.
TEST_F(SimFixture, FindSkipsWhatWillNotOpenAndTakesTheFirstThatAnswers) {
    sim::SimulatorOptions options;
    options.baud = 19200;
    startSim(options);
    std::vector<std::pair<std::string, std::string>> skipped;
    const auto found = findInstrument({"/dev/vantor-no-such-device", device()}, prompts,
                                      [&](const std::string& port, const std::string& reason) {
                                          skipped.emplace_back(port, reason);
                                      });
    ASSERT_TRUE(found);
    EXPECT_EQ(found->port, device());
    EXPECT_EQ(found->baud, 19200);
    ASSERT_EQ(skipped.size(), 1u);
    EXPECT_EQ(skipped[0].first, "/dev/vantor-no-such-device");
    EXPECT_NE(skipped[0].second.find("There is no "), std::string::npos) << skipped[0].second;
    EXPECT_TRUE(prompts.messages.empty());  // quietly
}

}  // namespace
}  // namespace vantor::test
