#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Simulator.h"
#include "security/LogVerifier.h"

extern char** environ;

namespace vantor::sim {
namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

const std::string kBanner = "\r\nVANTOR 2 SIMULATOR\r\n";

speed_t speedOf(int baud) {
    switch (baud) {
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        default:
            return B57600;
    }
}

// The program's side of the line, as bare as it gets: raw 8N1 at a rate,
// whole writes, reads of n bytes with a deadline.
class RawPort {
public:
    bool open(const std::string& path, int baud) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        return fd_ >= 0 && setRate(baud) && tcflush(fd_, TCIOFLUSH) == 0;
    }
    ~RawPort() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool setRate(int baud) {
        termios tio{};
        if (tcgetattr(fd_, &tio) != 0) return false;
        cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        cfsetispeed(&tio, speedOf(baud));
        cfsetospeed(&tio, speedOf(baud));
        return tcsetattr(fd_, TCSANOW, &tio) == 0;
    }
    void write(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n > 0) done += static_cast<std::size_t>(n);
            pollfd p{fd_, POLLOUT, 0};
            if (n <= 0) ::poll(&p, 1, 100);
        }
    }
    // Up to n bytes; fewer only when the deadline passes.
    std::string read(std::size_t n, int deadlineMs = 2000) {
        std::string got;
        const auto end = Clock::now() + std::chrono::milliseconds(deadlineMs);
        while (got.size() < n) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            if (left <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
            char buffer[512];
            const ssize_t r = ::read(fd_, buffer, std::min(sizeof buffer, n - got.size()));
            if (r > 0) got.append(buffer, static_cast<std::size_t>(r));
        }
        return got;
    }
    std::string readAvailable() {
        std::string got;
        char buffer[512];
        ssize_t r = 0;
        while ((r = ::read(fd_, buffer, sizeof buffer)) > 0) {
            got.append(buffer, static_cast<std::size_t>(r));
        }
        return got;
    }

private:
    int fd_ = -1;
};

std::uint8_t xorOf(const std::string& s) {
    std::uint8_t x = 0;
    for (char c : s) x = static_cast<std::uint8_t>(x ^ static_cast<std::uint8_t>(c));
    return x;
}

unsigned byteAt(const std::string& s, std::size_t i) {
    return static_cast<std::uint8_t>(s.at(i));
}
unsigned be16(const std::string& s, std::size_t i) {
    return byteAt(s, i) << 8 | byteAt(s, i + 1);
}
std::uint32_t be32(const std::string& s, std::size_t i) {
    return be16(s, i) << 16 | be16(s, i + 2);
}

// The program's two reply checks, written out here on their own.
bool validShort(const std::string& r, const std::string& command) {
    if (r.size() < 3 || byteAt(r, 1) != xorOf(command)) return false;
    const std::size_t n = byteAt(r, 0);
    if (n > r.size()) return false;
    return xorOf(n > 3 ? r.substr(3, n - 3) : "") == byteAt(r, 2);
}

bool validLong(const std::string& r, const std::string& command) {
    if (r.size() < 5 || byteAt(r, 2) != xorOf(command)) return false;
    const std::size_t l = be16(r, 0);
    if (l > r.size()) return false;
    unsigned sum = 0;
    for (std::size_t i = 5; i < l; ++i) sum += byteAt(r, i);
    return (sum & 0xFFFF) == be16(r, 3);
}

std::string withSum(const std::string& text) {
    unsigned sum = 0;
    for (char c : text) sum += static_cast<std::uint8_t>(c);
    return text + ",~" + std::to_string(sum);
}

std::string text(const Bytes& b, std::size_t at, std::size_t n) {
    return std::string(b.begin() + static_cast<std::ptrdiff_t>(at),
                       b.begin() + static_cast<std::ptrdiff_t>(at + n));
}

template <typename Predicate>
bool eventually(Predicate done) {
    const auto end = Clock::now() + std::chrono::seconds(2);
    while (!done()) {
        if (Clock::now() > end) return false;
        std::this_thread::yield();
    }
    return true;
}

class SimulatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        options.logs = 3;
        options.navpoints = 4;
        options.seed = 7;
        sim = std::make_unique<Simulator>(options);
        ASSERT_TRUE(sim->start());
        ASSERT_TRUE(port.open(sim->devicePath(), 4800));
    }

    std::string sync() {
        port.write("\x03");
        return port.read(kBanner.size());
    }
    // Whatever the instrument sends before it answers a 0x03: proves a reply
    // was short or absent without waiting for a time-out.
    std::string before03() {
        port.write("\x03");
        std::string got;
        while (got.size() < kBanner.size() ||
               got.compare(got.size() - kBanner.size(), kBanner.size(), kBanner) != 0) {
            const std::string more = port.read(1);
            if (more.empty()) return "(no answer to 0x03)";
            got += more;
        }
        return got.substr(0, got.size() - kBanner.size());
    }
    std::string plain(const std::string& command, std::size_t n) {
        port.write(command + "\r");
        return port.read(n);
    }
    std::string echoed(const std::string& command, std::size_t n) {
        type(command);
        return port.read(n);
    }
    // Typed with its echoes, the reply left unread.
    void type(const std::string& command) {
        for (char c : command) {
            port.write(std::string(1, c));
            EXPECT_EQ(port.read(1), std::string(1, c)) << command;
        }
        port.write("\r");
    }
    std::string record(const std::string& line) { return plain(withSum(line), 9); }
    void mode(const char* command) {
        ASSERT_EQ(sync(), kBanner);
        const std::size_t n = std::string(command) == "dow 1" ? 27 : 25;
        ASSERT_EQ(plain(command, n).substr(0, 5), command);
    }

    SimulatorOptions options;
    std::unique_ptr<Simulator> sim;
    RawPort port;
};

TEST_F(SimulatorTest, EveryCommandIsAnsweredWithExactlyWhatIsReadForIt) {
    enum Frame { None, Short, Long };
    struct Case {
        const char* mode;  // entered first
        const char* command;
        bool echoedStyle;
        std::size_t read;  // the program's read, its own echo included
        Frame frame;
    } cases[] = {
        {"upl 1", "w", false, 41, Short},
        {"upl 1", "o", false, 11, Short},
        {"upl 1", "o 0", false, 59, Short},
        {"upl 1", "g", false, 10, Short},
        {"upl 1", "g 0", false, 47, Short},
        {"upl 1", "d", false, 321, Long},
        {"upl 1", "b 196", false, 300, Long},
        {"upl 1", "b 197", false, 300, Long},
        {"upl 1", "xyz 1", false, 9, Short},  // unknown: a frame without data
        {"upl 1", "bau 6", false, 1, None},
        {"upl 0", "c", true, 12, Short},
        {"upl 0", "c 3", true, 47, Short},
        {"upl 0", "c 4", true, 9, Short},  // no such navpoint
        {"upl 0", "b 65", true, 16, Long},
        {"upl 0", "b 257", true, 19, Long},
        {"upl 0", "b 0", true, 19, Long},
        {"upl 0", "b N", true, 269, Long},
        {"upl 0", "b R", true, 269, Long},
        {"upl 0", "b s", true, 214, Long},
        {"upl 0", "upl 1", false, 25, None},
        {"upl 0", "dow 1", false, 27, None},
        {"upl 0", "cle pil", false, 14, None},
        {"upl 0", "cle poi", false, 14, None},
        {"upl 0", "cle log", false, 14, None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        mode(c.mode);
        std::string reply = c.echoedStyle ? echoed(c.command, c.read) : plain(c.command, c.read);
        ASSERT_EQ(reply.size(), c.read);
        if (!c.echoedStyle && std::string(c.mode) == "upl 0") {  // echo on
            EXPECT_EQ(reply.substr(0, std::strlen(c.command)), c.command);
        }
        if (c.frame == Short) {
            EXPECT_TRUE(validShort(reply, c.command));
        } else if (c.frame == Long) {
            EXPECT_TRUE(validLong(reply, c.command));
        }
        EXPECT_EQ(before03(), "");  // and nothing more
    }
    // Directory blocks carry exactly 300 in their length field.
    mode("upl 1");
    EXPECT_EQ(be16(plain("b 196", 300), 0), 300u);
}

TEST_F(SimulatorTest, IdentityAndDirectoryCarryTheState) {
    const InstrumentState state = sim->state();
    mode("upl 1");
    const std::string id = plain("w", 41);
    EXPECT_EQ(byteAt(id, 0), 35u);
    EXPECT_EQ(id.substr(18, 3), "A1B");
    EXPECT_EQ(id.substr(22, 2), "24");
    EXPECT_EQ(byteAt(id, 32), 2u);

    const std::string block = plain("b 196", 300);
    ASSERT_EQ(byteAt(block, 5), 3u);
    for (std::size_t k = 0; k < 3; ++k) {
        const std::string entry = block.substr(6 + 36 * k, 36);
        const auto& log = state.logs[k];
        EXPECT_EQ(entry.substr(0, 6), std::string(log.start.begin(), log.start.end()));
        EXPECT_EQ(entry.substr(6, 6), std::string(log.end.begin(), log.end.end()));
        EXPECT_EQ(entry.substr(12, log.label.size()), log.label);
    }
    EXPECT_EQ(block.substr(6 + 36 * 3, 36), std::string(36, '\0'));
    // Generated logs differ in date and in duration.
    EXPECT_NE(state.logs[0].start, state.logs[1].start);
    EXPECT_NE(state.logs[0].end[4] - state.logs[0].start[4],
              state.logs[1].end[4] - state.logs[1].start[4]);
}

TEST_F(SimulatorTest, RecordsSentComeBackInTheBlocks) {
    const std::string lines[] = {
        "o,Jane Q Pilot            ,0,0,1,2,3,4,1234,567,8,9,5,100,55,31,258,4321",
        "g,LS-8        ,D-1234      ,43,95,180,0,280,150,65534,12345",
        "c,0,4730.1250N,00815.0000E,450,12,3,HILLTOP     ,GRASS STRIPS",
        "c,1,3352.5000S,15112.0001W,-5,7,1536,SHORT,X",
        "c,-1",
        "d,128,4730.1250N,00815.0000E,HILLTOP     ,450",
        "d,129,3352.5000S,15112.0001W,SHORT,-5",
        "d,255",
    };
    mode("upl 0");
    plain("cle poi", 14);
    mode("dow 1");
    for (const auto& line : lines) {
        const std::string ack = record(line);
        SCOPED_TRACE(line);
        ASSERT_EQ(ack.size(), 9u);
        EXPECT_EQ(byteAt(ack, 0), 3u);
        EXPECT_EQ(byteAt(ack, 1), xorOf(withSum(line)));
        EXPECT_EQ(byteAt(ack, 2), 0u);
    }

    mode("upl 1");
    std::string prefs = plain("o 0", 59).substr(3, 50);
    EXPECT_EQ(prefs.substr(0, 24), "Jane Q Pilot            ");
    const unsigned bytes[] = {0, 0, 1, 2, 3, 4};
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(byteAt(prefs, 24 + i), bytes[i]) << i;
    const std::pair<std::size_t, unsigned> words[] = {{30, 1234}, {32, 567}, {34, 8},   {36, 9},
                                                      {38, 5},    {40, 100}, {44, 258}, {48, 4321}};
    for (const auto& [at, value] : words) EXPECT_EQ(be16(prefs, at), value) << at;
    EXPECT_EQ(byteAt(prefs, 42), 55u);
    EXPECT_EQ(byteAt(prefs, 43), 31u);

    const std::string glider = plain("g 0", 47).substr(3, 38);
    EXPECT_EQ(glider.substr(0, 24), "LS-8        D-1234      ");
    EXPECT_EQ(byteAt(glider, 24), 43u);
    EXPECT_EQ(byteAt(glider, 25), 95u);
    EXPECT_EQ(byteAt(glider, 26), 180u);
    EXPECT_EQ(be16(glider, 28), 0u);
    EXPECT_EQ(be16(glider, 30), 280u);
    EXPECT_EQ(be16(glider, 34), 65534u);  // the ninth field; the eighth is the placeholder
    EXPECT_EQ(be16(glider, 36), 12345u);

    // 47°30.1250'N 8°15'E and 33°52.5'S 151°12.0001'W in ten-thousandths of a
    // minute from the south pole and from 180°W.
    const std::uint32_t lat0 = 54000000 + 47 * 600000 + 301250;
    const std::uint32_t lon0 = 108000000 + 8 * 600000 + 150000;
    const std::uint32_t lat1 = 54000000 - (33 * 600000 + 525000);
    const std::uint32_t lon1 = 108000000 - (151 * 600000 + 120001);

    const std::string declaration = plain("d", 321).substr(5);
    EXPECT_EQ(byteAt(declaration, 6), 2u);
    EXPECT_EQ(be32(declaration, 8), lat0);
    EXPECT_EQ(be32(declaration, 12), lon0);
    EXPECT_EQ(declaration.substr(16, 12), "HILLTOP     ");
    EXPECT_EQ(be32(declaration, 28), lat1);
    EXPECT_EQ(be32(declaration, 32), lon1);
    EXPECT_EQ(declaration.substr(36, 12), std::string("SHORT") + std::string(7, '\0'));
    EXPECT_EQ(declaration.substr(48), std::string(316 - 48, '\0'));

    mode("upl 0");
    const std::string count = echoed("c", 12);
    EXPECT_EQ(be16(count, 3), 2u);
    EXPECT_EQ(byteAt(count, 5), 38u);
    const std::string p0 = echoed("c 0", 47).substr(3, 38);
    EXPECT_EQ(be32(p0, 0), lat0);
    EXPECT_EQ(be32(p0, 4), lon0);
    EXPECT_EQ(be16(p0, 8), 450u);
    EXPECT_EQ(be16(p0, 10), 12u);
    EXPECT_EQ(be16(p0, 12), 3u);
    EXPECT_EQ(p0.substr(14), "HILLTOP     GRASS STRIPS");
    const std::string p1 = echoed("c 1", 47).substr(3, 38);
    EXPECT_EQ(be32(p1, 0), lat1);
    EXPECT_EQ(be32(p1, 4), lon1);
    EXPECT_EQ(be16(p1, 8), 0xFFFBu);  // -5
    EXPECT_EQ(be16(p1, 12), 1536u);
    EXPECT_EQ(p1.substr(14), "SHORT" + std::string(7, '\0') + "X" + std::string(11, '\0'));
}

TEST_F(SimulatorTest, RecordsWithAWrongSumOrALostAckAreNotApplied) {
    const std::string good = "g,DG-300      ,X           ,41,90,170,0,300,120,65535,10270";
    const std::string summed = withSum(good);
    const std::string bad[] = {
        summed + "1",                                                // sum wrong
        good + ",~",                                                 // no digits
        good + ",~12x",                                              // not a number
        "g,DG-301" + summed.substr(std::string("g,DG-300").size()),  // text changed
    };
    const Bytes before = sim->state().glider;
    mode("dow 1");
    for (const auto& line : bad) {
        SCOPED_TRACE(line);
        port.write(line + "\r");
        EXPECT_EQ(before03(), "");  // no acknowledgement came first
        mode("dow 1");
    }
    sim->withholdAcks(1);
    port.write(summed + "\r");
    EXPECT_EQ(before03(), "");
    EXPECT_EQ(sim->state().glider, before);

    mode("dow 1");
    EXPECT_TRUE(validShort(record(good), summed));
    EXPECT_EQ(text(sim->state().glider, 0, 12), "DG-300      ");
}

TEST_F(SimulatorTest, ClearCommandsEmptyWhatTheyName) {
    mode("dow 1");
    record("o,Someone Else            ,0,1,1,0,0,100,1000,400,4,1,5,100,102,255,65375,3000");
    const InstrumentState fresh = initialState(options);
    ASSERT_NE(sim->state().pilotPreferences, fresh.pilotPreferences);

    struct Case {
        const char* command;
        bool pilot, logs, navpoints;  // cleared afterwards
    } cases[] = {
        {"cle poi", false, false, true},
        {"cle log", false, true, true},
        {"cle pil", true, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        ASSERT_EQ(sync(), kBanner);
        EXPECT_EQ(plain(c.command, 14).substr(0, 7), c.command);
        EXPECT_EQ(before03(), "");
        const InstrumentState s = sim->state();
        EXPECT_EQ(s.pilotPreferences == fresh.pilotPreferences, c.pilot);
        EXPECT_EQ(s.logs.empty(), c.logs);
        EXPECT_EQ(s.navpoints.empty(), c.navpoints);
    }
    mode("upl 0");
    EXPECT_EQ(be16(echoed("c", 12), 3), 0u);
    mode("upl 1");
    EXPECT_EQ(byteAt(plain("b 196", 300), 5), 0u);
}

TEST_F(SimulatorTest, AnswersOnlyAtItsOwnRateAndSwitchesAfterTheRateReply) {
    ASSERT_TRUE(port.setRate(9600));
    port.write("\x03w\r");
    ASSERT_TRUE(eventually([&] { return sim->ignored() == "\x03w\r"; }));
    ASSERT_TRUE(port.setRate(4800));
    EXPECT_EQ(sync(), kBanner);  // nothing came for the bytes at 9600
    EXPECT_EQ(sim->received(), "\x03");
    EXPECT_TRUE(sim->lines().empty());

    // Echo on: the program's read of one byte takes the first echo.
    EXPECT_EQ(plain("bau 10", 1), "b");
    EXPECT_EQ(port.read(5), "au 10");
    ASSERT_TRUE(eventually([&] { return sim->rate() == 57600; }));
    ASSERT_TRUE(port.setRate(57600));
    EXPECT_EQ(sync(), kBanner);

    EXPECT_EQ(plain("bau 255", 7), "bau 255");  // unknown code: stays
    EXPECT_EQ(sync(), kBanner);
    EXPECT_EQ(sim->rate(), 57600);

    // Echo off: the one reply byte comes at the old rate, then the switch.
    mode("upl 1");
    EXPECT_EQ(plain("bau 8", 1).size(), 1u);
    ASSERT_TRUE(eventually([&] { return sim->rate() == 19200; }));
    ASSERT_TRUE(port.setRate(19200));
    EXPECT_EQ(sync(), kBanner);
}

TEST_F(SimulatorTest, LogIsServedBlockByBlockToItsEnd) {
    InstrumentState exact = sim->state();
    exact.blockSize = 64;
    exact.logs[0].igc = std::string(3 * 64, 'B');  // ends on a block boundary
    const InstrumentState defaults = sim->state();

    for (const InstrumentState& state : {defaults, exact}) {
        SCOPED_TRACE(state.blockSize);
        sim->setState(state);
        const auto size = static_cast<std::size_t>(state.blockSize);
        const std::string& igc = state.logs[0].igc;
        mode("upl 0");
        const std::string request = echoed("b 64", 16);
        ASSERT_TRUE(validLong(request, "b 64"));
        EXPECT_EQ(request[5], 'Y');
        EXPECT_EQ(be16(request, 6), size);
        EXPECT_EQ(be16(request, 8), (igc.size() + size - 1) / size);

        std::string log;
        std::string last;
        bool more = true;
        for (int blocks = 0; more && blocks < 100; ++blocks) {
            const std::string selector = blocks == 1 ? "b R" : "b N";  // one repeat on the way
            const std::string reply = echoed(selector, size + 13);
            ASSERT_EQ(reply.size(), size + 13);
            ASSERT_TRUE(validLong(reply, selector));
            const std::size_t length = be16(reply, 5);
            ASSERT_EQ(be16(reply, 0), 7 + length);
            const std::string data = reply.substr(7, length);
            if (selector == "b R") {
                EXPECT_EQ(data, last);
                continue;
            }
            log += data;
            last = data;
            more = length == size;
        }
        EXPECT_EQ(log, igc);
        const std::string after = echoed("b N", size + 13);
        EXPECT_EQ(be16(after, 5), 0u);  // past the end: empty

        const std::string security = echoed("b s", 214);
        ASSERT_TRUE(validLong(security, "b s"));
        const auto& expected = state.logs[0].security;
        EXPECT_EQ(security.substr(7, be16(security, 5)),
                  std::string(expected.begin(), expected.end()));
    }

    // The binary log: block size, 24-bit length and the two header bytes.
    const auto& log = defaults.logs[1];
    mode("upl 0");
    const std::string request = echoed("b 257", 19);
    ASSERT_TRUE(validLong(request, "b 257"));
    EXPECT_EQ(request[5], 'Y');
    EXPECT_EQ(be16(request, 6), 64u);
    EXPECT_EQ(byteAt(request, 8) << 16 | be16(request, 9), log.binary.size());
    EXPECT_EQ(byteAt(request, 11), log.binaryHeaderA);
    EXPECT_EQ(byteAt(request, 12), log.binaryHeaderB);
    const std::string first = echoed("b N", 64 + 13);
    EXPECT_EQ(first.substr(7, 64), text(log.binary, 0, 64));
}

TEST_F(SimulatorTest, ReplyFaultsSpoilOnlyTheChosenCommand) {
    struct Case {
        ReplyFault fault;
        std::size_t bytes;  // sent for a 41-byte read
        bool valid;
    } cases[] = {
        {ReplyFault::Damaged, 41, false},
        {ReplyFault::Short, 10, false},
        {ReplyFault::Silent, 0, false},
    };
    mode("upl 1");
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.fault));
        sim->failReplies("w", c.fault, 1);
        EXPECT_TRUE(validShort(plain("o", 11), "o"));  // other commands untouched
        port.write("w\r");
        const std::string spoiled = before03();
        EXPECT_EQ(spoiled.size(), c.bytes);
        if (!spoiled.empty()) {
            EXPECT_FALSE(validShort(spoiled, "w"));
        }
        mode("upl 1");
        EXPECT_TRUE(validShort(plain("w", 41), "w"));  // the count is used up
    }

    // A short block reply is not taken: the same block comes next time. A
    // damaged one is, and "R" gives it again.
    const std::string igc = sim->state().logs[0].igc;
    mode("upl 0");
    echoed("b 64", 16);
    sim->failReplies("b N", ReplyFault::Short, 1);
    type("b N");
    EXPECT_LE(before03().size(), 10u);
    mode("upl 0");
    EXPECT_EQ(echoed("b N", 269).substr(7, 256), igc.substr(0, 256));
    sim->failReplies("b N", ReplyFault::Damaged, 1);
    type("b N");
    const std::string damaged = before03();
    EXPECT_EQ(damaged.size(), 269u);
    EXPECT_FALSE(validLong(damaged, "b N"));
    mode("upl 0");
    EXPECT_EQ(echoed("b R", 269).substr(7, 256), igc.substr(256, 256));

    sim->failReplies("b 65", ReplyFault::Refuse, 1);
    const std::string refused = echoed("b 65", 16);
    EXPECT_TRUE(validLong(refused, "b 65"));
    EXPECT_EQ(refused[5], 'N');
    EXPECT_EQ(echoed("b 65", 16)[5], 'Y');
}

TEST_F(SimulatorTest, EchoFaultsLoseOrGarbleCharacters) {
    mode("upl 0");
    sim->failEchoes(EchoFault::Missing, 1);
    port.write("c");  // lost: neither echoed nor part of the line
    port.write("c\r");
    const std::string reply = port.read(13);
    EXPECT_EQ(reply.substr(0, 1), "c");
    EXPECT_TRUE(validShort(reply.substr(1), "c"));

    sim->failEchoes(EchoFault::Wrong, -1, '^');
    port.write("a^2^");
    EXPECT_EQ(port.read(4), "a~2~");
    sim->clearFaults();
    port.write("^");
    EXPECT_EQ(port.read(1), "^");
}

TEST_F(SimulatorTest, AnyBytesAtAllLeaveItServing) {
    std::mt19937 rng(3);
    std::string noise;
    for (int i = 0; i < 20000; ++i) {
        const auto r = rng() % 16;
        noise += r == 0   ? '\r'
                 : r == 1 ? static_cast<char>(rng() % 32)
                          : static_cast<char>(rng() & 0xFF);
    }
    noise += std::string(5000, 'x') + "\r";  // far longer than any command
    for (std::size_t i = 0; i < noise.size(); i += 256) {
        port.write(noise.substr(i, 256));
        port.readAvailable();
    }
    sim->setRate(4800);  // in case the noise held a rate change
    port.write("\x03upl 1\rw\r");
    // Everything answered in order: the identity reply comes last.
    std::string tail;
    const auto end = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < end) {
        tail += port.read(1, 500);
        if (tail.size() > 41) tail.erase(0, tail.size() - 41);
        if (tail.size() == 41 && byteAt(tail, 0) == 35 && validShort(tail, "w")) break;
    }
    ASSERT_EQ(tail.size(), 41u);
    EXPECT_TRUE(validShort(tail, "w"));
    EXPECT_EQ(tail.substr(18, 3), "A1B");
}

// The program as a user runs it.
// The start stamp as one comparable number: year, month, day, time.
long long when(const std::array<std::uint8_t, 6>& s) {
    long long v = 0;
    for (std::uint8_t b : s) v = v * 100 + b;
    return v;
}

std::string igcDate(const SimLog& log) {
    char text[16];
    std::snprintf(text, sizeof text, "%02u%02u%02u", log.start[2], log.start[1], log.start[0]);
    return text;
}

bool verifies(const SimLog& log) {
    std::string file = log.igc + std::string(log.security.begin(), log.security.end());
    return security::formatVerificationResult(security::verifyLogData(
               {reinterpret_cast<const std::uint8_t*>(file.data()), file.size()})) ==
           "Log Data Integrity OK\nSignature Data Integrity OK\nSecurity OK\n";
}

// Several flights a day, listed as an instrument lists them: newest first,
// each log's IGC text of its own date and times, and signed.
TEST(SameDayDirectory, IsNewestFirstWithTheFlightsOfTheDayAtTheFront) {
    struct Case {
        int logs, sameDay;
        std::size_t held;
    } cases[] = {{6, 4, 6}, {2, 3, 3}, {kMaxSameDay, kMaxSameDay, kMaxSameDay}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sameDay);
        SimulatorOptions options;
        options.logs = c.logs;
        options.sameDay = c.sameDay;
        const InstrumentState s = initialState(options);
        ASSERT_EQ(s.logs.size(), c.held);
        for (std::size_t i = 0; i < s.logs.size(); ++i) {
            const SimLog& log = s.logs[i];
            SCOPED_TRACE(i);
            if (i > 0) {
                EXPECT_LT(when(log.end), when(s.logs[i - 1].start)) << "landed before the next";
            }
            const bool sameDay = i < static_cast<std::size_t>(c.sameDay);
            const auto& newest = s.logs.front().start;
            EXPECT_EQ(std::equal(log.start.begin(), log.start.begin() + 3, newest.begin()),
                      sameDay);
            EXPECT_TRUE(std::equal(log.start.begin(), log.start.begin() + 3, log.end.begin()));
            EXPECT_NE(log.igc.find("HFDTEDATE:" + igcDate(log) + ",01\r\n"), std::string::npos);
            char firstFix[16];
            std::snprintf(firstFix, sizeof firstFix, "B%02u%02u%02u", log.start[3], log.start[4],
                          log.start[5]);
            EXPECT_NE(log.igc.find(std::string("\n") + firstFix), std::string::npos);
            EXPECT_TRUE(verifies(log));
        }
    }
}

TEST(SameDayDirectory, ANewFlightLandsAtTheFront) {
    SimulatorOptions options;
    options.logs = InstrumentState::kMaxLogs;
    InstrumentState s = initialState(options);
    const SimLog oldest = s.logs.back();
    const SimLog second = s.logs[InstrumentState::kMaxLogs - 2];
    const SimLog flight = generateLogOn(200, s, options.seed, {26, 8, 30}, 14 * 3600);
    EXPECT_EQ(flight.start, (std::array<std::uint8_t, 6>{26, 8, 30, 14, 0, 0}));
    EXPECT_TRUE(verifies(flight));
    addNewestLog(s, flight);
    ASSERT_EQ(s.logs.size(), InstrumentState::kMaxLogs);  // full: the oldest goes
    EXPECT_EQ(s.logs.front().igc, flight.igc);
    EXPECT_EQ(s.logs.back().igc, second.igc);
    EXPECT_NE(s.logs.back().igc, oldest.igc);
}

// Pacing takes 10 bits a byte both ways, and the latency comes before a
// reply's first byte: the banner answers a sync no sooner than that.
TEST(PacedSimulator, RepliesNoSoonerThanTheLineAndTheAdapterAllow) {
    SimulatorOptions options;
    options.pace = true;
    options.latencyMs = 150;
    Simulator sim(options);
    ASSERT_TRUE(sim.start());
    RawPort port;
    ASSERT_TRUE(port.open(sim.devicePath(), 4800));
    const auto start = Clock::now();
    port.write("\x03");
    EXPECT_EQ(port.read(kBanner.size()), kBanner);
    // 23 bytes at 4800 are 47.9 ms.
    EXPECT_GE(Clock::now() - start, std::chrono::microseconds(150'000 + 47'900));
}

TEST(VantorSimProgram, PrintsItsDeviceServesAndStopsOnTerm) {
    auto spawn = [](std::vector<std::string> args, int& out) {
        int pipeFds[2];
        EXPECT_EQ(::pipe(pipeFds), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
        args.insert(args.begin(), VANTOR_SIM_PATH);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = -1;
        EXPECT_EQ(posix_spawn(&pid, VANTOR_SIM_PATH, &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFds[1]);
        out = pipeFds[0];
        return pid;
    };
    auto exitCode = [](pid_t pid) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };

    for (std::vector<std::string> bad :
         {std::vector<std::string>{"--logs", "x"}, {"--baud", "1234"}, {"--what"}, {"--seed"}}) {
        int out = -1;
        EXPECT_EQ(exitCode(spawn(bad, out)), 2) << bad[0];
        ::close(out);
    }

    int out = -1;
    const pid_t pid = spawn({"--baud", "19200", "--logs", "5"}, out);
    std::string first;
    char c = 0;
    while (::read(out, &c, 1) == 1 && c != '\n') first += c;
    RawPort program;
    ASSERT_TRUE(program.open(first, 19200)) << first;
    program.write("\x03");
    EXPECT_EQ(program.read(kBanner.size()), kBanner);
    ::kill(pid, SIGTERM);
    EXPECT_EQ(exitCode(pid), 0);
    ::close(out);
}

}  // namespace
}  // namespace vantor::sim
