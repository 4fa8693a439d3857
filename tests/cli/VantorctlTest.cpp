#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

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

// Runs vantorctl with arguments; standard error joins standard output when asked.
Result vantorctl(const std::string& args, bool withErrors = false) {
    const std::string command =
        std::string(VANTORCTL_PATH) + " " + args + (withErrors ? " 2>&1" : " 2>/dev/null");
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
              "Can't open comm port: Is another program using the port? Quit Veloxa to use this "
              "program.\n");

    EXPECT_EQ(vantorctl("").exitCode, 2);
    EXPECT_EQ(vantorctl("frobnicate").exitCode, 2);
    EXPECT_EQ(vantorctl("identity extra").exitCode, 2);
    EXPECT_EQ(vantorctl("--port").exitCode, 2);
}

}  // namespace
