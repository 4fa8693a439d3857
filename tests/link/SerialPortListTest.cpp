#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>

#include "link/CommTrace.h"
#include "link/InstrumentFinder.h"
#include "link/SerialPortList.h"

using namespace vantor;

namespace {

namespace fs = std::filesystem;

#ifndef _WIN32
// A /dev and /sys as the kernel lays them out, made small: device nodes are
// plain files, sysfs links are relative as the kernel's are.
class FakeTree {
public:
    // A tree of each test's own: ctest runs tests side by side.
    FakeTree()
        : root_(fs::path(::testing::TempDir()) /
                (std::string("fake-root-") +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
        fs::remove_all(root_);
        fs::create_directories(root_ / "dev/serial/by-id");
        fs::create_directories(root_ / "sys/class/tty");
    }
    ~FakeTree() { fs::remove_all(root_); }

    void device(const std::string& tty) { write("dev/" + tty, ""); }
    void byId(const std::string& name, const std::string& tty) {
        fs::create_symlink("../../" + tty, root_ / "dev/serial/by-id" / name);
    }
    // A USB serial adapter: its tty under the interface, product and maker on the device.
    void usb(const std::string& tty, const std::string& maker, const std::string& product) {
        const std::string dev = "sys/devices/pci0000:00/usb1/1-2";
        const std::string iface = dev + "/1-2:1.0";
        fs::create_directories(root_ / iface / tty);
        if (!maker.empty()) write(dev + "/manufacturer", maker + "\n");
        write(dev + "/product", product + "\n");
        fs::create_directories(root_ / "sys/class/tty" / tty);
        fs::create_symlink("../../../devices/pci0000:00/usb1/1-2/1-2:1.0/" + tty,
                           root_ / "sys/class/tty" / tty / "device");
        device(tty);
    }
    // A ttyS as the serial core makes it; type 0 is a placeholder with no UART.
    void uart(const std::string& tty, const std::string& type) {
        fs::create_directories(root_ / "sys/class/tty" / tty);
        write("sys/class/tty/" + tty + "/type", type + "\n");
        device(tty);
    }
    std::string root() const { return root_.string(); }

private:
    void write(const std::string& relative, const std::string& text) {
        fs::create_directories((root_ / relative).parent_path());
        std::ofstream(root_ / relative) << text;
    }
    fs::path root_;
};

TEST(SerialPortList, StableNamesThenUsbDevicesThenRealUarts) {
    FakeTree tree;
    tree.usb("ttyUSB0", "FTDI", "FT232R USB UART");
    tree.byId("usb-FTDI_FT232R_USB_UART_A6008abc-if00-port0", "ttyUSB0");
    tree.device("ttyUSB1");  // no sysfs entry, no by-id name
    tree.device("ttyUSB10");
    tree.device("ttyACM0");
    tree.device("ttyACM2");
    tree.byId("usb-Maker_Cable_123-if00", "ttyACM2");     // described by its name
    tree.byId("usb-Gone_Adapter-if00-port0", "ttyUSB7");  // dangling: unplugged
    tree.uart("ttyS0", "4");
    tree.uart("ttyS1", "0");
    tree.uart("ttyS12", "4");
    tree.device("ttyS2");  // no type at all
    tree.device("tty0");
    tree.device("ttyprintk");

    const std::vector<SerialPortInfo> expected = {
        {"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A6008abc-if00-port0", "/dev/ttyUSB0",
         "FTDI FT232R USB UART"},
        {"/dev/serial/by-id/usb-Maker_Cable_123-if00", "/dev/ttyACM2", "Maker Cable 123"},
        {"/dev/ttyACM0", "/dev/ttyACM0", "USB modem (CDC ACM)"},
        {"/dev/ttyUSB1", "/dev/ttyUSB1", "USB serial adapter"},
        {"/dev/ttyUSB10", "/dev/ttyUSB10", "USB serial adapter"},
        {"/dev/ttyS0", "/dev/ttyS0", "serial port"},
        {"/dev/ttyS12", "/dev/ttyS12", "serial port"},
    };
    const auto ports = listSerialPorts(tree.root());
    ASSERT_EQ(ports.size(), expected.size());
    for (std::size_t i = 0; i < ports.size(); ++i) {
        EXPECT_EQ(ports[i].name, expected[i].name) << i;
        EXPECT_EQ(ports[i].device, expected[i].device) << i;
        EXPECT_EQ(ports[i].description, expected[i].description) << i;
    }
}

TEST(SerialPortList, AMachineWithoutSerialPortsListsNone) {
    FakeTree tree;
    tree.uart("ttyS0", "0");
    EXPECT_TRUE(listSerialPorts(tree.root()).empty());
    EXPECT_TRUE(listSerialPorts(tree.root() + "/nowhere").empty());
}
#endif

TEST(PortWatcher, ReportsOnlyPortsThatAppear) {
    std::vector<std::string> present = {"A", "B"};
    PortWatcher watcher([&present] { return present; });
    EXPECT_TRUE(watcher.poll().empty());  // there from the start
    present = {"A", "B", "C"};
    EXPECT_EQ(watcher.poll(), std::vector<std::string>{"C"});
    EXPECT_TRUE(watcher.poll().empty());
    present = {"A"};  // B and C unplugged ...
    EXPECT_TRUE(watcher.poll().empty());
    present = {"C", "A"};  // ... and C plugged in again
    EXPECT_EQ(watcher.poll(), std::vector<std::string>{"C"});
}

TEST(CommTrace, KeepsTheNewestFiles) {
    const fs::path folder = fs::path(::testing::TempDir()) / "trace-folder";
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (const char* old : {"vantor-comm-20200101-000000.log", "vantor-comm-20210101-000000.log",
                            "vantor-comm-20220101-000000.log", "notes.log"}) {
        std::ofstream(folder / old) << "x\n";
    }
    const std::string path = startCommTraceIn(folder.string(), 3);
    ASSERT_FALSE(path.empty());
    EXPECT_TRUE(commTraceActive());
    const std::uint8_t bytes[] = {0x03, 0x0A, 0xFF};
    traceBytes(TraceClock::now(), 4800, TraceDirection::Sent, bytes, 3);
    traceEvent(TraceClock::now(), 19200, "rate 19200");
    stopCommTrace();
    EXPECT_FALSE(commTraceActive());
    traceEvent(TraceClock::now(), 4800, "close");  // nothing once stopped

    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), 4u);
    EXPECT_EQ(names[0], "notes.log");  // not ours: left alone
    EXPECT_EQ(names[1], "vantor-comm-20210101-000000.log");
    EXPECT_EQ(names[2], "vantor-comm-20220101-000000.log");
    EXPECT_EQ(folder / names[3], fs::path(path));

    std::string all;
    {
        // Closed before the folder goes: Windows keeps an open file from removal.
        std::ifstream in(path);
        all.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    EXPECT_TRUE(
        std::regex_match(all, std::regex("[0-9]+ 4800 > 03 0A FF\n[0-9]+ 19200 rate 19200\n")))
        << all;
    fs::remove_all(folder);
}

}  // namespace
