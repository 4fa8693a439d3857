#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>

#include "SimLine.h"

namespace vantor::sim {
namespace {

struct RateSpeed {
    int baud;
    speed_t speed;
};

constexpr RateSpeed kRates[] = {
    {300, B300},   {600, B600},     {1200, B1200},   {2400, B2400},   {4800, B4800},
    {9600, B9600}, {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200},
};

int baudOf(speed_t speed) {
    for (const auto& r : kRates) {
        if (r.speed == speed) return r.baud;
    }
    return 0;
}

speed_t speedOf(int baud) {
    for (const auto& r : kRates) {
        if (r.baud == baud) return r.speed;
    }
    return B4800;
}

class PseudoTerminalLine final : public SimLine {
public:
    ~PseudoTerminalLine() override { close(); }

    bool open(int rate) override {
        close();
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
            close();
            return false;
        }
        char name[128] = {};
        if (ptsname_r(master_, name, sizeof name) != 0) {
            close();
            return false;
        }
        path_ = name;
        // Our own descriptor on the slave keeps the master from reading EIO
        // whenever the program closes its side, and shows us its line settings.
        slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        int pipeFds[2] = {-1, -1};
        if (slave_ < 0 || ::pipe(pipeFds) != 0) {
            close();
            return false;
        }
        wakeRead_ = pipeFds[0];
        wakeWrite_ = pipeFds[1];
        for (int fd : {master_, wakeRead_, wakeWrite_}) {
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        }
        termios tio{};
        tcgetattr(slave_, &tio);
        cfmakeraw(&tio);
        cfsetispeed(&tio, speedOf(rate));
        cfsetospeed(&tio, speedOf(rate));
        tcsetattr(slave_, TCSANOW, &tio);
        return true;
    }

    std::string devicePath() const override { return path_; }

    int lineRate() override {
        termios tio{};
        if (tcgetattr(slave_, &tio) != 0) return 0;
        return baudOf(cfgetospeed(&tio));
    }

    long read(std::uint8_t* buffer, std::size_t size, int& rate) override {
        for (;;) {
            pollfd fds[2] = {{master_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                return -1;
            }
            if (fds[1].revents != 0) return 0;
            if ((fds[0].revents & POLLIN) == 0) {
                if (fds[0].revents != 0) return -1;
                continue;
            }
            const ssize_t n = ::read(master_, buffer, size);
            if (n > 0) {
                rate = lineRate();
                return static_cast<long>(n);
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            return -1;
        }
    }

    void write(const std::uint8_t* bytes, std::size_t n) override {
        std::size_t done = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (done < n) {
            const ssize_t w = ::write(master_, bytes + done, n - done);
            if (w > 0) {
                done += static_cast<std::size_t>(w);
                continue;
            }
            if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return;
            pollfd fds[2] = {{master_, POLLOUT, 0}, {wakeRead_, POLLIN, 0}};
            ::poll(fds, 2, static_cast<int>(left.count()));
            if (fds[1].revents != 0) return;
        }
    }

    void interrupt() override {
        const char wake = 1;
        while (::write(wakeWrite_, &wake, 1) < 0 && errno == EINTR) {
        }
    }

    void close() override {
        for (int* fd : {&master_, &slave_, &wakeRead_, &wakeWrite_}) {
            if (*fd >= 0) ::close(*fd);
            *fd = -1;
        }
    }

private:
    int master_ = -1;
    int slave_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::string path_;
};

}  // namespace

std::unique_ptr<SimLine> makePseudoTerminalLine() {
    return std::make_unique<PseudoTerminalLine>();
}

std::unique_ptr<SimLine> makeSimLine() {
    return makePseudoTerminalLine();
}

}  // namespace vantor::sim
