#include <gtest/gtest.h>

#include "link/PortName.h"

using namespace vantor;

TEST(PortName, ResolvesComNamesThroughTheMapOrTheSerialDevices) {
    const PortMap map{{"COM3", "/dev/ttyUSB0"}};
    struct Case {
        const char* name;
        const char* device;
    } cases[] = {
        {"COM1:", "/dev/ttyS0"},  {"COM4:", "/dev/ttyS3"},   {"COM3:", "/dev/ttyUSB0"},
        {"COM3", "/dev/ttyUSB0"}, {"com12:", "/dev/ttyS11"}, {"/dev/pts/7", "/dev/pts/7"},
        {"COM0:", "COM0:"},       {"COMX:", "COMX:"},        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(resolvePortName(c.name, map), c.device) << c.name;
}

TEST(PortName, ComPortNumber) {
    EXPECT_EQ(comPortNumber("COM1:"), 1);
    EXPECT_EQ(comPortNumber("COM10:"), 10);
    EXPECT_EQ(comPortNumber("COM256"), 256);
    EXPECT_EQ(comPortNumber("COM:"), -1);
    EXPECT_EQ(comPortNumber("COM1x:"), -1);
    EXPECT_EQ(comPortNumber("COM99999999999:"), -1);
}
