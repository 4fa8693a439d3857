// Every vantorctl command that talks to the instrument, against a line that
// answers whatever it gets with random bytes (vantor-sim --hostile): the
// command must end by itself within what its time-outs allow, say that it
// failed, and leave the files it was asked to write as they were.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Ms = long long;

// ---------------------------------------------------------------- the time-outs

// What each step of the link costs at worst, in milliseconds, when every read
// waits out its time-out (2n + T for n bytes) and every check that a hostile
// line can pass (syncs, echoes, mode and rate replies) takes its longest way.
// A framed reply never passes on random bytes, so what follows one is left out.
constexpr Ms readCost(Ms n, Ms t) {
    return 2 * n + t;
}
constexpr Ms syncCost(Ms t) {
    return 3 * readCost(22, t);
}
constexpr Ms kRateChange = 50;
constexpr Ms kHandshake =
    4 * (syncCost(25) + readCost(1, 25) + readCost(300, 25)) + 2 * readCost(1, 25) + syncCost(25);
constexpr Ms kDetect = 3 * (kRateChange + kHandshake);
constexpr Ms kSetRate = 3 * (kDetect + readCost(1, 25) + 100 + kRateChange + kHandshake);
constexpr Ms findAt(Ms rates) {
    return rates * (kRateChange + syncCost(25) + kHandshake);
}
constexpr Ms kSwitch = readCost(1, 25) + 100 + kRateChange + kHandshake;
constexpr Ms syncAt4800(Ms t) {
    return syncCost(t) + findAt(2) + kSwitch + kSetRate + kRateChange + syncCost(t);
}
constexpr Ms kRestore = findAt(3) + kSwitch + kSetRate;
constexpr Ms modeChange(Ms replySize, Ms t) {
    return 3 * (syncCost(t) + readCost(replySize, t));
}
// A command typed with echoes of its `c` characters: up to five misses, each
// wrong echo a sync and a fresh start, then the reply of n bytes.
constexpr Ms echoed(Ms c, Ms n, Ms t) {
    return (6 * c + 5) * readCost(1, t) + 5 * syncCost(t) + readCost(n, t);
}
constexpr Ms kEnd = syncCost(1000) + 10;  // back to the prompt, let go of the port
// A link of its own at 4800, in text upload mode.
constexpr Ms kConnectUpload = syncAt4800(1000) + modeChange(25, 1000);
constexpr Ms kIdentity = 3 * readCost(41, 1000);
// The directory read of the log commands: one link to synchronise, another
// for the identity.
constexpr Ms kDirectory = syncAt4800(1000) + kConnectUpload + kIdentity + kEnd;
// The fast transfers: the instrument looked for and switched to a fast rate,
// and looked for again when they fail.
constexpr Ms kFast = kDetect + kSetRate + syncCost(1000);
constexpr Ms logDownload(Ms requestLength, Ms replySize) {
    return kFast + syncCost(2000) + modeChange(25, 2000) + echoed(requestLength, replySize, 5000) +
           syncCost(5000) + kRestore;
}
constexpr Ms kRecord = 3 * readCost(9, 1000);

// Room for a busy machine on top of the worst case.
constexpr Ms generous(Ms worst) {
    return worst * 3 / 2 + 30000;
}

// ---------------------------------------------------------------- the commands

struct Command {
    const char* name;
    const char* args;    // run in a folder holding in.dat, in.ppf and in.plr
    const char* output;  // the file the command is asked to write, if any
    Ms worst;
    int runs = 3;  // seeds it is run with
};

const Command kCommands[] = {
    {"identity", "identity", nullptr, kConnectUpload + kIdentity + kEnd},
    {"logs", "logs", nullptr, kDirectory},
    {"logs_get", "logs get 0 -o out.IGC", "out.IGC", kDirectory},
    {"logs_get_several", "logs get 0 1 -d .", nullptr, kDirectory},
    // Against garbage these take a minute each, the rest seconds: two runs.
    {"logs_get_all", "logs get all -o all.All", "all.All", logDownload(6, 16), 2},
    {"logs_get_all_binary", "logs get all --binary -o all.TVK", "all.TVK", logDownload(3, 19), 2},
    {"logs_get_new", "logs get --new -d .", nullptr, kDirectory},
    // The clear, its pause, and the directory read that shows it done.
    {"logs_clear", "logs clear --yes", nullptr,
     syncAt4800(1000) + readCost(14, 1000) + 4000 + syncCost(1000) + kDirectory},
    {"prefs_get", "prefs get", nullptr,
     syncAt4800(1000) + modeChange(25, 1000) + 3 * (readCost(11, 1000) + readCost(256, 1000)) +
         kEnd},
    {"prefs_get_file", "prefs get -o out.ppf", "out.ppf",
     syncAt4800(1000) + modeChange(25, 1000) + 3 * (readCost(11, 1000) + readCost(256, 1000)) +
         kEnd},
    {"prefs_put", "prefs put in.ppf", nullptr,
     syncAt4800(1000) + modeChange(25, 1000) + 3 * (readCost(11, 1000) + readCost(256, 1000)) +
         kEnd},
    {"glider_get", "glider get", nullptr,
     syncAt4800(1000) + kConnectUpload + readCost(10, 1000) + kEnd},
    {"glider_get_file", "glider get -o out.plr", "out.plr",
     syncAt4800(1000) + kConnectUpload + readCost(10, 1000) + kEnd},
    {"glider_put", "glider put in.plr", nullptr,
     syncAt4800(1000) + kConnectUpload + readCost(10, 1000) + kEnd},
    {"navpoints_get", "navpoints get -o out.dat", "out.dat",
     kFast + syncCost(1000) + modeChange(25, 1000) + 3 * echoed(1, 12, 1000) + kRestore},
    {"navpoints_put", "navpoints put in.dat", nullptr,
     kFast + modeChange(25, 1000) + kIdentity + kRestore},
    {"task_get", "task get", nullptr, kConnectUpload + readCost(321, 1000) + kEnd},
    {"task_declare", "task declare in.dat HILLTOP VALLEY", nullptr,
     syncAt4800(1000) + modeChange(27, 1000) + 3 * kRecord + kEnd},
};

const char* const kNavpointFile =
    "1,47:30.1250N,008:15.0000E,450M,TA,HILLTOP     ,GRASS STRIPS\r\n"
    "2,46:00.0000S,007:00.5000W,-20M,H,VALLEY      ,            \r\n";
const char* const kPreferencesFile = "o,Hanna Thermik,7,0,0,0,0,100,900,350,61,40,1,1,80,21,18,1";
const char* const kPolarFile = "LS-8 neo    ,D-8123      , 48, 95, 190, 290, 190, 0, 10500\n";
const char* const kEarlierOutput = "what the file held before\n";

// ---------------------------------------------------------------- processes

std::vector<char*> pointersTo(std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    return argv;
}

// vantor-sim in a child process; its first output line is the device to open.
class SimProcess {
public:
    explicit SimProcess(std::uint32_t seed) {
        std::vector<std::string> args = {VANTOR_SIM_PATH, "--hostile", std::to_string(seed)};
        std::vector<char*> argv = pointersTo(args);
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[1], STDOUT_FILENO);
            close(fds[0]);
            close(fds[1]);
            execv(argv[0], argv.data());
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
        stop();
        if (out_) std::fclose(out_);
    }
    const std::string& device() const { return device_; }
    bool running() {
        int status = 0;
        return pid_ > 0 && waitpid(pid_, &status, WNOHANG) == 0;
    }
    // Asks it to stop; its wait status.
    int stop() {
        int status = -1;
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, &status, 0);
            pid_ = -1;
        }
        return status;
    }

private:
    pid_t pid_ = -1;
    FILE* out_ = nullptr;
    std::string device_;
};

// This environment, with sanitizer reports given an exit code of their own:
// their usual 1 is the failure every command here is to end with.
std::vector<std::string> childEnvironment() {
    std::vector<std::string> env;
    std::string asan = "ASAN_OPTIONS=";
    std::string ubsan = "UBSAN_OPTIONS=";
    for (char** e = environ; *e; ++e) {
        const std::string v = *e;
        if (v.rfind(asan, 0) == 0) {
            asan = v + ":";
        } else if (v.rfind(ubsan, 0) == 0) {
            ubsan = v + ":";
        } else {
            env.push_back(v);
        }
    }
    env.push_back(asan + "exitcode=86");
    env.push_back(ubsan + "exitcode=86");
    return env;
}

struct Outcome {
    bool inTime = false;
    int status = 0;  // as waitpid gives it
};

// Runs `args` in `dir`, with no input and its output in `log`; killed once
// `deadline` has passed.
Outcome runWithDeadline(std::vector<std::string> args, const fs::path& dir, const fs::path& log,
                        std::chrono::milliseconds deadline) {
    std::vector<char*> argv = pointersTo(args);
    std::vector<std::string> env = childEnvironment();
    std::vector<char*> envp = pointersTo(env);
    const std::string dirText = dir.string();
    const std::string logText = log.string();
    const pid_t pid = fork();
    if (pid == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(logText.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || chdir(dirText.c_str()) != 0) _exit(126);
        dup2(in, STDIN_FILENO);
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    Outcome outcome;
    if (pid < 0) return outcome;
    std::promise<int> exited;
    std::future<int> status = exited.get_future();
    std::thread waiter([pid, &exited] {
        int s = 0;
        while (waitpid(pid, &s, 0) < 0 && errno == EINTR) {
        }
        exited.set_value(s);
    });
    outcome.inTime = status.wait_for(deadline) == std::future_status::ready;
    if (!outcome.inTime) kill(pid, SIGKILL);
    outcome.status = status.get();
    waiter.join();
    return outcome;
}

// ---------------------------------------------------------------- files

std::string fileText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

// Every file under dir with its contents.
std::map<std::string, std::string> snapshot(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        files[fs::relative(entry.path(), dir).string()] =
            entry.is_regular_file() ? fileText(entry.path()) : std::string("(not a file)");
    }
    return files;
}

std::string describe(const std::map<std::string, std::string>& files) {
    std::ostringstream text;
    for (const auto& [name, contents] : files) {
        text << "  " << name << " (" << contents.size() << " bytes)\n";
    }
    return text.str();
}

// ---------------------------------------------------------------- the test

using Case = std::tuple<std::size_t, int>;  // command, run

// Each command has seeds of its own, so that the connection, which every
// command starts alike, meets other garbage in each.
std::uint32_t seedOf(const Case& c) {
    return static_cast<std::uint32_t>(100 * std::get<1>(c) + std::get<0>(c));
}

std::vector<Case> cases() {
    std::vector<Case> all;
    for (std::size_t i = 0; i < std::size(kCommands); ++i) {
        for (int run = 1; run <= kCommands[i].runs; ++run) all.emplace_back(i, run);
    }
    return all;
}

class HostileLine : public ::testing::TestWithParam<Case> {};

TEST_P(HostileLine, CommandFailsInTimeAndLeavesItsFiles) {
    const Command& command = kCommands[std::get<0>(GetParam())];
    const std::uint32_t seed = seedOf(GetParam());
    const fs::path scratch =
        fs::temp_directory_path() / ("vantorctl-hostile-" + std::to_string(getpid()) + "-" +
                                     command.name + "-" + std::to_string(seed));
    const fs::path work = scratch / "work";
    fs::remove_all(scratch);
    fs::create_directories(work);
    writeFile(work / "in.dat", kNavpointFile);
    writeFile(work / "in.ppf", kPreferencesFile);
    writeFile(work / "in.plr", kPolarFile);
    // Every other run finds the file it is to write already there.
    if (command.output && std::get<1>(GetParam()) % 2 == 0) {
        writeFile(work / command.output, kEarlierOutput);
    }
    const auto before = snapshot(work);

    SimProcess sim(seed);
    ASSERT_FALSE(sim.device().empty());
    std::vector<std::string> args = {VANTORCTL_PATH, "--port", sim.device()};
    std::istringstream words(command.args);
    for (std::string w; words >> w;) args.push_back(w);
    const Ms deadline = generous(command.worst);
    const auto started = std::chrono::steady_clock::now();
    const Outcome outcome =
        runWithDeadline(args, work, scratch / "output.txt", std::chrono::milliseconds(deadline));
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    const std::string output = fileText(scratch / "output.txt");
    RecordProperty("milliseconds", std::to_string(took.count()));
    SCOPED_TRACE("vantorctl " + std::string(command.args) + " against vantor-sim --hostile " +
                 std::to_string(seed) + ", " + std::to_string(took.count()) + " ms; it said:\n" +
                 output.substr(0, 4000));

    ASSERT_TRUE(outcome.inTime) << "still running after " << deadline << " ms";
    ASSERT_TRUE(WIFEXITED(outcome.status))
        << "ended by signal " << (WIFSIGNALED(outcome.status) ? WTERMSIG(outcome.status) : 0);
    EXPECT_EQ(WEXITSTATUS(outcome.status), 1);
    const auto after = snapshot(work);
    // Nothing made up is left behind, and a file that was there is as it was.
    EXPECT_TRUE(after == before) << "files before:\n"
                                 << describe(before) << "after:\n"
                                 << describe(after);

    // The line itself took all that without falling over.
    EXPECT_TRUE(sim.running());
    const int simStatus = sim.stop();
    EXPECT_TRUE(WIFEXITED(simStatus) && WEXITSTATUS(simStatus) == 0) << "vantor-sim: " << simStatus;
    fs::remove_all(scratch);
}

std::string caseName(const ::testing::TestParamInfo<Case>& info) {
    return std::string(kCommands[std::get<0>(info.param)].name) + "_seed" +
           std::to_string(seedOf(info.param));
}

INSTANTIATE_TEST_SUITE_P(Commands, HostileLine, ::testing::ValuesIn(cases()), caseName);

}  // namespace
