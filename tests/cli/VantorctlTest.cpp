#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <thread>

#include "LogSigning.h"
#include "Simulator.h"

namespace {

// vantor-sim in a child process; its first output line is the device to open.
class SimProcess {
public:
    explicit SimProcess(const std::string& options) {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[1], STDOUT_FILENO);
            close(fds[0]);
            close(fds[1]);
            const std::string command = std::string("exec ") + VANTOR_SIM_PATH + " " + options;
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        out_ = fdopen(fds[0], "r");
        char line[256] = {};
        if (out_ && std::fgets(line, sizeof line, out_)) {
            device_ = line;
            while (!device_.empty() && (device_.back() == '\n' || device_.back() == '\r')) {
                device_.pop_back();
            }
        }
    }
    ~SimProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
        if (out_) std::fclose(out_);
    }
    const std::string& device() const { return device_; }

private:
    pid_t pid_ = -1;
    FILE* out_ = nullptr;
    std::string device_;
};

struct Result {
    int exitCode;
    std::string out;
};

// Runs a shell command; standard error joins standard output when asked.
Result shell(const std::string& line, bool withErrors) {
    const std::string command = line + (withErrors ? " 2>&1" : " 2>/dev/null");
    Result r{-1, {}};
    FILE* p = popen(command.c_str(), "r");
    if (!p) return r;
    char buffer[512];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) r.out.append(buffer, n);
    const int status = pclose(p);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

Result vantorctl(const std::string& args, bool withErrors = false) {
    return shell(std::string(VANTORCTL_PATH) + " " + args, withErrors);
}

TEST(Vantorctl, IdentityPrintsSerialVersionAndType) {
    SimProcess sim("--baud 4800");
    ASSERT_FALSE(sim.device().empty());
    const Result r = vantorctl("--port " + sim.device() + " identity");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "serial A1B\nversion 24\ntype 2\n");
}

TEST(Vantorctl, FailuresAndUsage) {
    Result r = vantorctl("--port /nonexistent/tty identity", true);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out,
              "Can't open comm port: There is no device /nonexistent/tty. Plug in the "
              "instrument's cable, or choose another port.\n");

    EXPECT_EQ(vantorctl("").exitCode, 2);
    EXPECT_EQ(vantorctl("frobnicate").exitCode, 2);
    EXPECT_EQ(vantorctl("identity extra").exitCode, 2);
    EXPECT_EQ(vantorctl("--port").exitCode, 2);
}

// Saves a log as a download does: its blocks, then its security record.
std::string saveLog(const vantor::sim::SimLog& log, const std::string& name) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream out(path, std::ios::binary);
    out << log.igc << std::string(log.security.begin(), log.security.end());
    return path;
}

TEST(Vantorctl, VerifyPassesSimulatorLogsAndRejectsOthers) {
    if (!vantor::sim::testKeysInUse()) GTEST_SKIP() << "built with other key material";
    vantor::sim::SimulatorOptions options;
    options.logs = 6;
    options.seed = 5;
    const auto state = vantor::sim::initialState(options);
    std::string all;
    std::string expected;
    for (std::size_t i = 0; i < state.logs.size(); ++i) {
        const std::string path = saveLog(state.logs[i], "verify-" + std::to_string(i) + ".igc");
        all += " " + path;
        expected += path + "\nLog Data Integrity OK\nSignature Data Integrity OK\nSecurity OK\n";
    }
    Result r = vantorctl("verify" + all);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, expected);

    vantor::sim::LogOptions tamper;
    tamper.tamperFix = true;
    vantor::sim::LogOptions violation;
    violation.status = 0x0100;
    const std::string good = saveLog(state.logs[0], "verify-good.igc");
    const std::string tampered =
        saveLog(vantor::sim::generateLog(0, state, 5, tamper), "verify-tampered.igc");
    const std::string reported =
        saveLog(vantor::sim::generateLog(0, state, 5, violation), "verify-violation.igc");
    r = vantorctl("verify " + tampered + " " + good);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out,
              tampered + "\nLog Data Integrity Fail\nSignature Data Integrity OK\nSecurity Fail\n" +
                  good + "\nLog Data Integrity OK\nSignature Data Integrity OK\nSecurity OK\n");
    r = vantorctl("verify " + reported);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, reported +
                         "\nLog Data Integrity OK\nSignature Data Integrity OK\nSecurity Violation "
                         "Reported\nSecurity OK\n");

    // A file that cannot be read: a message, the others still checked, exit 2.
    r = vantorctl("verify /nonexistent/log.igc " + tampered, true);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1),
              "vantorctl: cannot read /nonexistent/log.igc: No such file or directory\n");
    EXPECT_NE(r.out.find(tampered + "\nLog Data Integrity Fail\n"), std::string::npos);
    EXPECT_EQ(vantorctl("verify").exitCode, 2);
}

std::string writeFile(const std::string& name, const std::string& text) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

TEST(VantorctlFlight, PrintsTheFiguresOfALog) {
    // Across midnight, with fixes that lack one altitude or both, and a 2D fix
    // whose GPS altitude counts for nothing.
    Result r = vantorctl(std::string("flight ") + VANTOR_TEST_DATA_DIR + "/midnight.igc");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out,
              "date 2024-12-31\nfirst-fix 23:58:00\nlast-fix 00:02:00\nduration 00:04:00\n"
              "fixes 6\nmax-pressure-altitude 1200\nmax-gps-altitude 1150\ntrack-km 10.1\n");

    // No altitude at all and no date: a dash for each missing value.
    const std::string bare = writeFile("flight-bare.igc",
                                       "AXYZ001\nB1000004700000N00800000EA0000000000\n"
                                       "B1000404701000N00800000EA0000000000\n");
    r = vantorctl("flight " + bare);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out,
              "date -\nfirst-fix 10:00:00\nlast-fix 10:00:40\nduration 00:00:40\nfixes 2\n"
              "max-pressure-altitude -\nmax-gps-altitude -\ntrack-km 1.9\n");
}

TEST(VantorctlFlight, RefusesWhatIsNoIgcLog) {
    const std::string text = writeFile("flight-text.igc", "Dear pilot,\nB is for barogram.\n");
    const std::string noFix = writeFile("flight-nofix.igc", "AXYZ001\r\nHFDTE010124\r\n");
    const struct {
        std::string args;
        std::string out;
    } cases[] = {
        {"flight " + text,
         "vantorctl: " + text +
             ": This is not an IGC flight log: it does not begin with an A record.\n"},
        {"flight " + noFix,
         "vantorctl: " + noFix +
             ": This is not an IGC flight log: it holds no readable B record (fix).\n"},
        {"flight /nonexistent/log.igc",
         "vantorctl: /nonexistent/log.igc: Cannot open the file: No such file or directory.\n"},
    };
    for (const auto& c : cases) {
        const Result r = vantorctl(c.args, true);
        EXPECT_EQ(r.exitCode, 2) << c.args;
        EXPECT_EQ(r.out, c.out) << c.args;
    }
    EXPECT_EQ(vantorctl("flight").exitCode, 2);
    EXPECT_EQ(vantorctl("flight a.igc b.igc").exitCode, 2);
    EXPECT_NE(vantorctl("--help").out.find("  flight  FILE  "), std::string::npos);
}

}  // namespace

namespace {

// A scratch folder of the test's own, the working folder of vantorctl.
struct Scratch {
    Scratch()
        : path(std::filesystem::temp_directory_path() /
               ("vantorctl-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~Scratch() { std::filesystem::remove_all(path); }
    std::filesystem::path path;
};

std::size_t filesIn(const std::filesystem::path& dir) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir),
                                                  std::filesystem::directory_iterator()));
}

TEST(VantorctlLogs, ListDownloadAndVerify) {
    SimProcess sim("--logs 2");
    ASSERT_FALSE(sim.device().empty());
    const std::string port = "--port " + sim.device() + " ";
    Result r = vantorctl(port + "logs");
    EXPECT_EQ(r.exitCode, 0);
    ASSERT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2);
    EXPECT_EQ(r.out.rfind("0  ", 0), 0u);
    EXPECT_NE(r.out.find("\n1  "), std::string::npos);
    EXPECT_EQ(vantorctl(port + "logs --min-time 600").out, "No log files found.\n");

    Scratch scratch;
    r = vantorctl(port + "logs get 1 -o " + scratch.path.string(), true);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("Transfer Complete"), std::string::npos);
    EXPECT_NE(r.out.find("Security OK"), std::string::npos);
    ASSERT_EQ(filesIn(scratch.path), 1u);
    const auto saved = std::filesystem::directory_iterator(scratch.path)->path();
    EXPECT_EQ(saved.extension(), ".IGC");
    EXPECT_EQ(vantorctl("verify " + saved.string()).exitCode, 0);

    EXPECT_EQ(vantorctl(port + "logs get 7").exitCode, 1);  // no such log
    EXPECT_EQ(vantorctl(port + "logs get").exitCode, 2);
    EXPECT_EQ(vantorctl(port + "logs get x").exitCode, 2);
}

TEST(VantorctlLogs, NewLogsOnlyOnce) {
    SimProcess sim("--logs 1");
    Scratch scratch;
    const std::string get =
        "--port " + sim.device() + " logs get --new -d " + scratch.path.string();
    EXPECT_EQ(vantorctl(get).exitCode, 0);
    EXPECT_EQ(filesIn(scratch.path), 1u);
    const Result again = vantorctl(get);
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_EQ(again.out, "");  // nothing new
    EXPECT_EQ(filesIn(scratch.path), 1u);
}

std::string fileText(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

long linesEqual(const vantor::sim::Simulator& sim, const std::string& line) {
    const auto lines = sim.lines();
    return std::count(lines.begin(), lines.end(), line);
}

// Several indices share one connection: one switch to 57600 and one back.
TEST(VantorctlLogs, SeveralLogsInOneConnection) {
    vantor::sim::SimulatorOptions options;
    options.logs = 3;
    vantor::sim::Simulator sim(options);
    ASSERT_TRUE(sim.start());
    Scratch scratch;
    const std::string port = "--port " + sim.devicePath() + " ";
    EXPECT_EQ(vantorctl(port + "logs get 0 2 -o x").exitCode, 2);  // several go to a folder
    const Result r = vantorctl(port + "logs get 0 2 2 -d " + scratch.path.string());
    EXPECT_EQ(r.exitCode, 0);
    ASSERT_EQ(filesIn(scratch.path), 2u);
    for (const auto& entry : std::filesystem::directory_iterator(scratch.path)) {
        EXPECT_NE(r.out.find(entry.path().string() + "\nLog Data Integrity OK\n"),
                  std::string::npos)
            << r.out;
        EXPECT_EQ(vantorctl("verify " + entry.path().string()).exitCode, 0);
    }
    EXPECT_EQ(linesEqual(sim, "bau 10"), 1);
    EXPECT_EQ(linesEqual(sim, "b 64"), 1);
    EXPECT_EQ(linesEqual(sim, "b 66"), 1);
    EXPECT_EQ(sim.rate(), 4800);
}

// Ctrl-C stops a download at the next block: the instrument goes back to its
// rate, no part file is left, the earlier file stays, and the exit is 130. A
// second Ctrl-C while the line is brought back changes nothing.
TEST(VantorctlLogs, InterruptStopsTheDownloadCleanly) {
    vantor::sim::SimulatorOptions options;
    options.logs = 2;
    options.pace = true;
    vantor::sim::Simulator sim(options);
    ASSERT_TRUE(sim.start());
    Scratch scratch;
    const auto path = scratch.path / "flight.igc";
    std::ofstream(path, std::ios::binary) << "an earlier download";

    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDERR_FILENO);
        close(fds[0]);
        close(fds[1]);
        execl(VANTORCTL_PATH, VANTORCTL_PATH, "--port", sim.devicePath().c_str(), "logs", "get",
              "1", "-o", path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    FILE* err = fdopen(fds[0], "r");
    char line[256];
    bool interrupted = false;
    while (std::fgets(line, sizeof line, err)) {
        if (!interrupted && std::string(line).rfind("1 of ", 0) == 0) {
            kill(pid, SIGINT);
            interrupted = true;
            // Again, while it stops and brings the line back.
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
            kill(pid, SIGINT);
        }
    }
    std::fclose(err);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(interrupted);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_EQ(fileText(path), "an earlier download");
    EXPECT_FALSE(std::filesystem::exists(path.string() + ".part"));
    EXPECT_EQ(sim.rate(), 4800);
    EXPECT_EQ(linesEqual(sim, "b s"), 0);
}

// A real instrument lists its logs newest first, so the day's last flight
// has the highest flight number and a new flight leaves the numbers of the
// earlier ones alone: --new fetches each flight once, a new one included.
TEST(VantorctlLogs, NewFlightsOfOneDayEachOnce) {
    vantor::sim::SimulatorOptions options;
    options.logs = 4;
    vantor::sim::Simulator sim(options);
    ASSERT_TRUE(sim.start());
    auto state = sim.state();
    auto onDay = [](vantor::sim::SimLog log, std::uint8_t day, std::uint8_t hour) {
        log.start = {9, 7, day, hour, 0, 0};
        log.end = {9, 7, day, static_cast<std::uint8_t>(hour + 1), 30, 0};
        return log;
    };
    const auto spare = state.logs[3];
    // Newest first: two flights on the 14th, one on the 13th.
    state.logs = {onDay(state.logs[0], 14, 13), onDay(state.logs[1], 14, 10),
                  onDay(state.logs[2], 13, 11)};
    sim.setState(state);
    Scratch scratch;
    const std::string get =
        "--port " + sim.devicePath() + " logs get --new -d " + scratch.path.string();
    EXPECT_EQ(vantorctl(get).exitCode, 0);
    const auto names = [&] {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(scratch.path)) {
            out.push_back(e.path().filename().string());
        }
        std::sort(out.begin(), out.end());
        return out;
    };
    EXPECT_EQ(names(), (std::vector<std::string>{"97DTA1B1.IGC", "97ETA1B1.IGC", "97ETA1B2.IGC"}));
    const std::string second = fileText(scratch.path / "97ETA1B2.IGC");

    // A third flight that day comes in at the top of the list.
    state.logs.insert(state.logs.begin(), onDay(spare, 14, 16));
    sim.setState(state);
    sim.clearHistory();
    EXPECT_EQ(vantorctl(get).exitCode, 0);
    EXPECT_EQ(names(), (std::vector<std::string>{"97DTA1B1.IGC", "97ETA1B1.IGC", "97ETA1B2.IGC",
                                                 "97ETA1B3.IGC"}));
    EXPECT_EQ(fileText(scratch.path / "97ETA1B3.IGC"),
              spare.igc + std::string(spare.security.begin(), spare.security.end()));
    EXPECT_EQ(fileText(scratch.path / "97ETA1B2.IGC"), second);
    EXPECT_EQ(linesEqual(sim, "b 64"), 1);  // the new flight only
    EXPECT_EQ(linesEqual(sim, "b 65") + linesEqual(sim, "b 66") + linesEqual(sim, "b 67"), 0);
}

TEST(VantorctlLogs, ClearAsksUnlessTold) {
    SimProcess sim("--logs 2");
    const std::string port = "--port " + sim.device() + " ";
    Result r = shell("echo n | " VANTORCTL_PATH " " + port + "logs clear", true);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("This will erase all flight data in your Vantor 2. [y/N]"),
              std::string::npos);
    const std::string listed = vantorctl(port + "logs").out;
    EXPECT_EQ(std::count(listed.begin(), listed.end(), '\n'), 2);
    EXPECT_EQ(vantorctl(port + "logs clear --yes").exitCode, 0);
    EXPECT_EQ(vantorctl(port + "logs").out, "No log files found.\n");
}

// Three navpoints as the program writes them; two share a name.
const char* const kNavpointFile =
    "1,47:30.1250N,008:15.0000E,450M,TA,HILLTOP     ,GRASS STRIPS\r\n"
    "2,46:00.0000S,007:00.5000W,-20M,H,VALLEY      ,            \r\n"
    "3,45:00.0000N,006:00.0000E,100M,,HILLTOP     ,SECOND      \r\n";

TEST(VantorctlNavpoints, FileGoesUpAndComesBackAndATaskIsDeclared) {
    SimProcess sim("--navpoints 5");
    Scratch scratch;
    const std::string port = "--port " + sim.device() + " ";
    const auto file = scratch.path / "points.dat";
    std::ofstream(file, std::ios::binary) << kNavpointFile;

    Result r = vantorctl(port + "navpoints put " + file.string(), true);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("3 of 3 Loaded..."), std::string::npos);
    const auto back = scratch.path / "back.dat";
    r = vantorctl(port + "navpoints get -o " + back.string(), true);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("3 of 3 Received"), std::string::npos);
    EXPECT_EQ(fileText(back), kNavpointFile);

    r = vantorctl(port + "task declare " + file.string() + " VALLEY HILLTOP", true);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("Success: Declaration sent."), std::string::npos);
    const std::string declared =
        "VALLEY,46:00.0000S,007:00.5000W\n"
        "HILLTOP,47:30.1250N,008:15.0000E\n";
    EXPECT_EQ(vantorctl(port + "task get").out, declared);

    r = vantorctl(port + "task declare " + file.string() + " NOWHERE", true);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("no navpoint named NOWHERE"), std::string::npos);
    std::string sixteen;
    for (int i = 0; i < 16; ++i) sixteen += " VALLEY";
    r = vantorctl(port + "task declare " + file.string() + sixteen, true);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("Error: To Many Points!"), std::string::npos);
    EXPECT_EQ(vantorctl(port + "task get").out, declared);  // nothing was sent

    EXPECT_EQ(vantorctl(port + "navpoints put " + (scratch.path / "none.dat").string()).exitCode,
              2);
    EXPECT_EQ(vantorctl(port + "navpoints get").exitCode, 2);
    EXPECT_EQ(vantorctl(port + "task").exitCode, 2);
}

// A competition file as pilots get it: the newer columns, feet, a comma in
// a description, two tasks with their Options and ObsZone lines.
const char* const kCompetitionCup =
    "name,code,country,lat,lon,elev,style,rwdir,rwlen,rwwidth,freq,desc,userdata,pics\r\n"
    "\"Home Field\",\"HOME\",DE,4700.000N,00800.000E,300.0m,5,090,800m,30m,123.500,"
    "\"Gliders, tow\",\"\",\"\"\r\n"
    "\"Hilltop\",\"HT\",DE,4730.125N,00815.000E,1640ft,7,,,,,\"Summit\",,\r\n"
    "\"Valley Turn\",\"VT\",DE,4600.000S,00700.500W,450m,1,,,,,\"\",,\r\n"
    "\"Field\",\"F1\",DE,4715.500N,00805.250E,420m,3,,,,,\"Maize\",,\r\n"
    "-----Related Tasks-----\r\n"
    "\"Triangle\",\"Home Field\",\"Hilltop\",\"Valley Turn\",\"Home Field\"\r\n"
    "Options,NoStart=12:00:00,TaskTime=03:00:00\r\n"
    "ObsZone=0,Style=2,R1=500m\r\n"
    "\"Out and return\",\"Home Field\",\"Field\",\"Home Field\"\r\n";

TEST(VantorctlNavpoints, CupFileGoesUpWithItsTaskAndComesBackAsCup) {
    SimProcess sim("--navpoints 5");
    Scratch scratch;
    const std::string port = "--port " + sim.device() + " ";
    const auto file = scratch.path / "contest.cup";
    std::ofstream(file, std::ios::binary) << kCompetitionCup;

    Result r = vantorctl(port + "navpoints put " + file.string(), true);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("4 of 4 Loaded..."), std::string::npos) << r.out;
    const auto back = scratch.path / "back.CUP";
    r = vantorctl(port + "navpoints get -o " + back.string(), true);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(fileText(back),
              "name,code,country,lat,lon,elev,style,rwdir,rwlen,rwwidth,freq,desc\r\n"
              "\"HOME FIELD\",HOME FIELD,,4700.000N,00800.000E,300.0m,5,,,,,\"GLIDERS, TOW\"\r\n"
              "\"HILLTOP\",HILLTOP,,4730.125N,00815.000E,500.0m,1,,,,,\"SUMMIT\"\r\n"
              "\"VALLEY TURN\",VALLEY TURN,,4600.000S,00700.500W,450.0m,1,,,,,\"\"\r\n"
              "\"FIELD\",FIELD,,4715.500N,00805.250E,420.0m,3,,,,,\"MAIZE\"\r\n");

    const std::string home = "HOME FIELD,47:00.0000N,008:00.0000E\n";
    r = vantorctl(port + "task declare " + file.string(), true);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("Success: Declaration sent."), std::string::npos);
    EXPECT_EQ(
        vantorctl(port + "task get").out,
        home + "HILLTOP,47:30.1250N,008:15.0000E\nVALLEY TURN,46:00.0000S,007:00.5000W\n" + home);
    r = vantorctl(port + "task declare " + file.string() + " --task 2", true);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(vantorctl(port + "task get").out, home + "FIELD,47:15.5000N,008:05.2500E\n" + home);
    // Named points of a CUP file, by the names the file gives them.
    r = vantorctl(port + "task declare " + file.string() + " Hilltop 'Valley Turn'", true);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    const std::string named =
        "HILLTOP,47:30.1250N,008:15.0000E\nVALLEY TURN,46:00.0000S,007:00.5000W\n";
    EXPECT_EQ(vantorctl(port + "task get").out, named);

    r = vantorctl(port + "task declare " + file.string() + " --task 3", true);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "vantorctl: " + file.string() + " holds 2 tasks; there is no task 3\n");
    const auto lost = scratch.path / "lost.cup";
    std::ofstream(lost, std::ios::binary)
        << kCompetitionCup << "\"Lost\",\"Home Field\",\"Nowhere\"\r\n";
    r = vantorctl(port + "task declare " + lost.string() + " --task 3", true);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "vantorctl: " + lost.string() +
                         ": The task point \"Nowhere\" is not among the file's waypoints.\n");
    const auto noTask = scratch.path / "no-task.cup";
    std::ofstream(noTask, std::ios::binary)
        << std::string(kCompetitionCup).substr(0, std::string(kCompetitionCup).find("-----"));
    r = vantorctl(port + "task declare " + noTask.string(), true);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "vantorctl: no task in " + noTask.string() + "\n");
    EXPECT_EQ(vantorctl(port + "task get").out, named);  // nothing was sent

    const auto dat = scratch.path / "points.dat";
    std::ofstream(dat, std::ios::binary) << kNavpointFile;
    for (const std::string& bad :
         {"task declare " + dat.string(), "task declare " + dat.string() + " --task 1 VALLEY",
          "task declare " + file.string() + " --task 1 Hilltop",
          "task declare " + file.string() + " --task 0",
          "task declare " + file.string() + " --task x",
          "navpoints put " + file.string() + " --task 1"}) {
        EXPECT_EQ(vantorctl(port + bad).exitCode, 2) << bad;
    }
}

TEST(VantorctlNavpoints, MoreThan1500AsksFirst) {
    SimProcess sim("");
    Scratch scratch;
    const auto file = scratch.path / "many.dat";
    {
        std::ofstream out(file, std::ios::binary);
        for (int i = 0; i < 1501; ++i) out << i << ",47:30.1250N,008:15.0000E,450M,,P,C\n";
    }
    const Result r = shell(
        "echo n | " VANTORCTL_PATH " --port " + sim.device() + " navpoints put " + file.string(),
        true);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("Warning!!!: The Vantor Series only holds 1500 Navpoints."),
              std::string::npos);
    EXPECT_EQ(r.out.find("Loading Waypoints"), std::string::npos);
}

}  // namespace

namespace {

std::string readText(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeText(const std::filesystem::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

TEST(VantorctlRecords, PreferencesGoThroughFilesAndComeBackAdjusted) {
    SimProcess sim("--type 1");
    ASSERT_FALSE(sim.device().empty());
    const std::string port = "--port " + sim.device() + " ";
    EXPECT_EQ(vantorctl(port + "identity").out, "serial A1B\nversion 24\ntype 1\n");
    const std::string defaults =
        "o,Default Pilot           ,1,1,1,0,0,100,1000,400,4,1,5,100,102,255,65375,3000";
    Result r = vantorctl(port + "prefs get");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, defaults + "\n");

    // The file sets fields 2 to 15 and the name; units and goal height stay.
    Scratch scratch;
    const auto file = scratch.path / "pilot.ppf";
    writeText(file, "o,Hanna Thermik,7,0,0,0,0,100,900,350,61,40,1,1,80,21,18,1");
    r = vantorctl(port + "prefs put " + file.string(), true);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "Success: Pilot Preferences and Logging Interval Transferred\n");
    r = vantorctl(port + "prefs get -o " + (scratch.path / "back.ppf").string());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(readText(scratch.path / "back.ppf"),
              "o,Hanna Thermik           ,0,0,0,0,0,100,900,350,4,4,5,100,80,21,65375,3000");

    EXPECT_EQ(vantorctl(port + "prefs put /nonexistent/pilot.ppf").exitCode, 2);
    EXPECT_EQ(vantorctl(port + "prefs").exitCode, 2);
    r = vantorctl("--port /nonexistent/tty prefs get", true);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out.rfind("Can't open comm port: ", 0), 0u);
}

TEST(VantorctlRecords, GliderGoesThroughPolarFiles) {
    SimProcess sim("");
    ASSERT_FALSE(sim.device().empty());
    const std::string port = "--port " + sim.device() + " ";
    Result r = vantorctl(port + "glider get");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "g,ASW-20      ,asw         ,40,100,175,350,100,0,65535,10500\n");

    Scratch scratch;
    const auto file = scratch.path / "glider.plr";
    EXPECT_EQ(vantorctl(port + "glider get -o " + file.string()).exitCode, 0);
    EXPECT_EQ(readText(file), "ASW-20      ,asw         , 40, 100, 175, 350, 100, 0, 10500\n");

    writeText(file, "LS-8 neo    ,D-8123      , 48, 95, 190, 290, 190, 0, 10500\n");
    r = vantorctl(port + "glider put " + file.string(), true);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "Success: Polar Transferred\n");
    EXPECT_EQ(vantorctl(port + "glider get").out,
              "g,LS-8 neo    ,D-8123      ,48,95,190,290,190,0,65535,10500\n");
    EXPECT_EQ(vantorctl(port + "glider put /nonexistent/g.plr").exitCode, 2);
    EXPECT_EQ(vantorctl(port + "glider put").exitCode, 2);
}

}  // namespace

namespace {

TEST(VantorctlNavpoints, PutOfAFileWithoutNavpointsLeavesTheInstrumentAlone) {
    Scratch scratch;
    // A CUP file's lines are no navpoints where the name does not say CUP.
    const auto other = scratch.path / "other.txt";
    const auto empty = scratch.path / "empty.dat";
    const auto cup = scratch.path / "no-waypoint.cup";
    std::ofstream(other, std::ios::binary) << "name,code,country,lat,lon\r\n"
                                              "\"Hilltop\",HT,DE,4730.125N,00815.000E\r\n";
    std::ofstream(empty, std::ios::binary) << "";
    std::ofstream(cup, std::ios::binary)
        << "name,code,country,lat,lon,elev,style,rwdir,rwlen,rwwidth,freq,desc\r\n"
           "\"Hilltop\",HT,DE,47:30.125N,008:15.000E,450.0m,1,,,,,\"\"\r\n";
    // Refused before the port is opened, so nothing can have been cleared.
    const std::string port = "--port /nonexistent/tty ";
    Result r = vantorctl(port + "navpoints put " + other.string(), true);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "vantorctl: " + other.string() + ": 2 lines skipped: not navpoints\n" +
                         "vantorctl: no navpoints to send in " + other.string() +
                         "; the instrument's navpoints were left as they are\n");
    r = vantorctl(port + "navpoints put " + empty.string(), true);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "vantorctl: no navpoints to send in " + empty.string() +
                         "; the instrument's navpoints were left as they are\n");
    r = vantorctl(port + "navpoints put " + cup.string(), true);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "vantorctl: " + cup.string() + ": 1 line skipped: not a navpoint\n" +
                         "vantorctl: no navpoints to send in " + cup.string() +
                         "; the instrument's navpoints were left as they are\n");

    // A line without its hemisphere is skipped and said so; the rest goes up.
    SimProcess sim("");
    const auto mixed = scratch.path / "mixed.dat";
    std::ofstream(mixed, std::ios::binary)
        << "1,47:30.1250X,008:15.0000E,450M,,NOWHERE     ,            \r\n"
        << "2,46:00.0000S,007:00.5000W,-20M,H,VALLEY      ,            \r\n";
    r = vantorctl("--port " + sim.device() + " navpoints put " + mixed.string(), true);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out.rfind("vantorctl: " + mixed.string() + ": 1 line skipped: not a navpoint\n", 0),
              0u)
        << r.out;
    EXPECT_NE(r.out.find("1 of 1 Loaded..."), std::string::npos) << r.out;
}

// What the instrument leaves unanswered is never taken for done, and the
// command line always says why it failed.
TEST(VantorctlFailures, UnansweredCommandsFailWithTheirReason) {
    {
        SimProcess sim("--logs 2 --ignore \"cle log\"");
        const std::string port = "--port " + sim.device() + " ";
        const Result r = vantorctl(port + "logs clear --yes", true);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.out.find("Error: The instrument did not answer the clear command."),
                  std::string::npos)
            << r.out;
        const std::string listed = vantorctl(port + "logs").out;
        EXPECT_EQ(std::count(listed.begin(), listed.end(), '\n'), 2);  // nothing was erased
    }
    {
        SimProcess sim("--ignore w");
        const std::string port = "--port " + sim.device() + " ";
        for (const char* command : {"logs", "logs get 0"}) {
            SCOPED_TRACE(command);
            const Result r = vantorctl(port + command, true);
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_EQ(r.out, "vantorctl: the instrument did not answer the identity query\n");
        }
    }
}

// An instrument that another program left at 57600 answers from the first try.
TEST(VantorctlFailures, InstrumentLeftAtAnotherRateIsFound) {
    SimProcess sim("--baud 57600");
    const Result r = vantorctl("--port " + sim.device() + " identity", true);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out, "serial A1B\nversion 24\ntype 2\n");
}

}  // namespace

namespace {

// The trace of `identity`, line by line: the times vary, the rest does not.
TEST(VantorctlTrace, IdentityWritesEveryExchange) {
    SimProcess sim("--baud 4800");
    ASSERT_FALSE(sim.device().empty());
    Scratch scratch;
    const auto trace = scratch.path / "trace.log";
    const Result r =
        vantorctl("--trace " + trace.string() + " --port " + sim.device() + " identity");
    EXPECT_EQ(r.exitCode, 0);
    const std::string sync = "> 03";
    const std::string banner =
        "< 0D 0A 56 41 4E 54 4F 52 20 32 20 53 49 4D 55 4C 41 54 4F 52 0D 0A";
    const std::vector<std::string> expected = {
        "open " + sim.device() + " " + sim.device(),
        sync,
        banner,
        sync,  // upload mode starts with a sync of its own
        banner,
        "> 75 70 6C 20 31 0D",  // "upl 1\r"
        "< 75 70 6C 20 31 0D 0A 55 50 4C 4F 41 44 20 4D 4F 44 45 0D 0A 20 20 20 20 20",
        "> 77 0D",  // "w\r"
        "< 23 77 34 56 41 4E 54 4F 52 32 20 00 00 00 00 00 00 00 41 31 42 00 32 34 00 00 00 00 "
        "00 00 00 00 02 00 00 00 00 00 00 00 00",
        sync,
        banner,
        "close",
    };
    std::ifstream in(trace);
    std::string line;
    std::size_t n = 0;
    long long previous = 0;
    const std::regex form("([0-9]+) 4800 (.*)");
    while (std::getline(in, line)) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, form)) << line;
        const long long ms = std::stoll(m[1]);
        EXPECT_GE(ms, previous) << line;  // counted from the opening, never back
        previous = ms;
        ASSERT_LT(n, expected.size()) << "more lines than expected: " << line;
        EXPECT_EQ(m[2].str(), expected[n]) << "line " << n + 1;
        ++n;
    }
    EXPECT_EQ(n, expected.size());

    EXPECT_EQ(vantorctl("--trace /nonexistent/dir/trace.log --port " + sim.device() + " identity")
                  .exitCode,
              2);
}

// What a command writes on standard output, and what on standard error.
struct Split {
    int exitCode;
    std::string out;
    std::string err;
};

Split vantorctlSplit(const std::string& args, const std::filesystem::path& errFile) {
    const Result r = shell(
        "{ " + std::string(VANTORCTL_PATH) + " " + args + " 2>" + errFile.string() + "; }", false);
    std::ifstream in(errFile);
    return {r.exitCode, r.out, {std::istreambuf_iterator<char>(in), {}}};
}

TEST(VantorctlFind, TheFirstPortThatAnswersAtAnyRate) {
    SimProcess at19200("--baud 19200");
    SimProcess at57600("--baud 57600");
    ASSERT_FALSE(at19200.device().empty());
    ASSERT_FALSE(at57600.device().empty());
    Scratch scratch;
    const auto err = scratch.path / "err";
    const std::string missing = "/dev/vantor-no-such-device";

    Split r = vantorctlSplit("find " + missing + " " + at19200.device(), err);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, at19200.device() + " 19200\n");
    EXPECT_EQ(r.err, "vantorctl: skipped " + missing + ": There is no device " + missing +
                         ". Plug in the instrument's cable, or choose another port.\n");

    r = vantorctlSplit("find " + at57600.device() + " " + at19200.device(), err);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, at57600.device() + " 57600\n");  // the first that answers wins

    r = vantorctlSplit("find " + missing, err);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("vantorctl: no instrument answered on 1 port\n"), std::string::npos)
        << r.err;

    EXPECT_EQ(vantorctl("ports extra").exitCode, 2);
    EXPECT_EQ(vantorctl("find --bad").exitCode, 2);
}

// A port that appears (here a link made to the simulator, as udev makes a
// by-id link when the cable goes in) brings the new flights home; SIGTERM
// ends the watch.
TEST(VantorctlWatch, PluggingInDownloadsTheNewFlights) {
    SimProcess sim("--logs 3");
    ASSERT_FALSE(sim.device().empty());
    Scratch scratch;
    const auto link = scratch.path / "usb-instrument";
    const auto downloads = scratch.path / "flights";

    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDERR_FILENO);
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        execl(VANTORCTL_PATH, VANTORCTL_PATH, "watch", "-d", downloads.c_str(), link.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    FILE* out = fdopen(fds[0], "r");
    char line[512];
    std::string all;
    bool plugged = false;
    bool done = false;
    while (!done && std::fgets(line, sizeof line, out)) {
        const std::string text = line;
        all += text;
        if (!plugged && text.rfind("watching for the instrument", 0) == 0) {
            std::filesystem::create_symlink(sim.device(), link);
            plugged = true;
        }
        done = text.rfind("saved ", 0) == 0;
    }
    kill(pid, SIGTERM);
    while (std::fgets(line, sizeof line, out)) all += line;
    std::fclose(out);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(done) << all;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << all;
    EXPECT_NE(all.find(link.string() + " appeared\nfound the instrument on " + link.string() +
                       " at 4800\n"),
              std::string::npos)
        << all;
    EXPECT_NE(all.find("saved 3 of 3 logs\n"), std::string::npos) << all;
    EXPECT_EQ(filesIn(downloads), 3u);
}

}  // namespace
