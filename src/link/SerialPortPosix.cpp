#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/serial.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "link/CommTrace.h"
#include "link/PortName.h"
#include "link/SerialPort.h"

namespace vantor {

namespace {

using Clock = std::chrono::steady_clock;

struct RateEntry {
    int baud;
    speed_t code;
};

constexpr RateEntry kRates[] = {
    {300, B300},     {600, B600},       {1200, B1200},     {2400, B2400},
    {4800, B4800},   {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400},
};

bool speedFor(int baud, speed_t& code) {
    for (const auto& r : kRates) {
        if (r.baud == baud) {
            code = r.code;
            return true;
        }
    }
    return false;
}

int remainingMs(Clock::time_point deadline) {
    // Round up, or a read would end up to a millisecond before its time-out.
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

bool applyRate(int fd, int baud) {
    speed_t code{};
    if (!speedFor(baud, code)) return false;
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return false;
    if (cfsetispeed(&tio, code) != 0 || cfsetospeed(&tio, code) != 0) return false;
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

// Asks the driver to pass received bytes on at once instead of on its own
// timer (a USB adapter may hold them up to 16 ms): every echoed character
// of a request waits for that turnaround. True when this call set the flag.
// Pseudo-terminals and many drivers know no such setting; nothing changes then.
bool requestLowLatency([[maybe_unused]] int fd) {
#ifdef __linux__
    serial_struct serial{};
    if (ioctl(fd, TIOCGSERIAL, &serial) != 0 || (serial.flags & ASYNC_LOW_LATENCY) != 0) {
        return false;
    }
    serial.flags |= ASYNC_LOW_LATENCY;
    return ioctl(fd, TIOCSSERIAL, &serial) == 0;
#else
    return false;
#endif
}

// Gives the device back as it was found.
void releaseLowLatency([[maybe_unused]] int fd) {
#ifdef __linux__
    serial_struct serial{};
    if (ioctl(fd, TIOCGSERIAL, &serial) != 0) return;
    serial.flags &= ~ASYNC_LOW_LATENCY;
    ioctl(fd, TIOCSSERIAL, &serial);
#endif
}

}  // namespace

bool isSupportedBaudRate(int baud) {
    speed_t code{};
    return speedFor(baud, code);
}

SerialPort::~SerialPort() {
    close();
}

bool SerialPort::isOpen() const {
    return fd_ >= 0;
}

bool SerialPort::failOpen(int error, int baud) {
    openError_ = error != 0 ? error : EIO;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    traceEvent(openedAt_, baud,
               "open " + portName_ + " " + device_ + " failed: " + std::strerror(openError_));
    return false;
}

bool SerialPort::open(const std::string& name, int baud, int readTimeoutMs) {
    if (isOpen()) close();

    portName_ = name;
    device_ = resolvePortName(name, portMap());
    openedAt_ = TraceClock::now();
    fd_ = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return failOpen(errno, baud);
    // Exclusive use: the lock keeps out every other user of the device, root
    // included; TIOCEXCL additionally refuses further opens by others.
    if (flock(fd_, LOCK_EX | LOCK_NB) != 0) return failOpen(errno, baud);
    ioctl(fd_, TIOCEXCL);

    termios tio{};
    speed_t code{};
    if (tcgetattr(fd_, &tio) != 0) return failOpen(errno, baud);
    if (!speedFor(baud, code)) return failOpen(EINVAL, baud);
    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(PARENB | CSTOPB | CSIZE | CRTSCTS);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    // Blocks carry arbitrary bytes, so software flow control would eat 0x11 and 0x13.
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (cfsetispeed(&tio, code) != 0 || cfsetospeed(&tio, code) != 0 ||
        tcsetattr(fd_, TCSANOW, &tio) != 0) {
        return failOpen(errno, baud);
    }
    openError_ = 0;
    baudRate_ = baud;
    lowLatencySet_ = requestLowLatency(fd_);
    traceEvent(openedAt_, baudRate_, "open " + portName_ + " " + device_);
    setReadTimeout(readTimeoutMs);
    purge();
    return true;
}

bool SerialPort::changeBaudRate(int baud) {
    if (!isOpen()) return false;
    tcdrain(fd_);
    // The rate stays: nothing for the line to settle from (a search tries
    // the port's own rate first).
    if (baud == baudRate_) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!applyRate(fd_, baud)) return false;
    baudRate_ = baud;
    traceEvent(openedAt_, baudRate_, "rate " + std::to_string(baud));
    return true;
}

bool SerialPort::setReadTimeout(int readTimeoutMs) {
    if (!isOpen()) return false;
    readTimeoutMs_ = readTimeoutMs < 0 ? 0 : readTimeoutMs;
    return true;
}

bool SerialPort::write(const std::uint8_t* bytes, std::size_t n) {
    if (n == 0) return true;
    if (!isOpen()) return false;
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(static_cast<std::int64_t>(n) + 1000000);
    std::size_t done = 0;
    auto failed = [&] {
        traceBytes(openedAt_, baudRate_, TraceDirection::Sent, bytes, done);
        traceEvent(
            openedAt_, baudRate_,
            "write failed after " + std::to_string(done) + " of " + std::to_string(n) + " bytes");
        return false;
    };
    while (done < n) {
        ssize_t w = ::write(fd_, bytes + done, n - done);
        if (w > 0) {
            done += static_cast<std::size_t>(w);
            continue;
        }
        if (w < 0 && errno != EAGAIN && errno != EINTR) return failed();
        int left = remainingMs(deadline);
        if (left == 0) return failed();
        pollfd p{fd_, POLLOUT, 0};
        if (poll(&p, 1, left) < 0 && errno != EINTR) return failed();
    }
    // Written means sent, as on a port whose writes complete on the line: a
    // purge right after must not discard a command that was never answered.
    tcdrain(fd_);
    traceBytes(openedAt_, baudRate_, TraceDirection::Sent, bytes, n);
    return true;
}

bool SerialPort::read(std::uint8_t* buffer, std::size_t n, std::size_t& got) {
    got = 0;
    if (n == 0 || !isOpen()) return true;
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(2 * static_cast<std::int64_t>(n) + readTimeoutMs_);
    while (got < n) {
        ssize_t r = ::read(fd_, buffer + got, n - got);
        if (r > 0) {
            got += static_cast<std::size_t>(r);
            continue;
        }
        if (r < 0 && errno != EAGAIN && errno != EINTR) break;
        int left = remainingMs(deadline);
        if (left == 0) break;
        pollfd p{fd_, POLLIN, 0};
        int ready = poll(&p, 1, left);
        if (ready < 0 && errno != EINTR) break;
        if (ready > 0 && (p.revents & (POLLERR | POLLNVAL))) break;
        // A hung-up device reports POLLHUP at once; wait out the time-out as a
        // silent line would rather than spinning.
        if (ready > 0 && (p.revents & POLLHUP) && !(p.revents & POLLIN)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(remainingMs(deadline)));
            break;
        }
    }
    traceBytes(openedAt_, baudRate_, TraceDirection::Received, buffer, got);
    return true;
}

bool SerialPort::purge() {
    if (!isOpen()) return false;
    return tcflush(fd_, TCIOFLUSH) == 0;
}

void SerialPort::close() {
    if (fd_ >= 0) {
        tcdrain(fd_);
        // The exclusive mode outlives this descriptor while others hold the
        // device (a simulator does), so lift it for the next opening.
        ioctl(fd_, TIOCNXCL);
        if (lowLatencySet_) releaseLowLatency(fd_);
        flock(fd_, LOCK_UN);
        ::close(fd_);
        traceEvent(openedAt_, baudRate_, "close");
    }
    fd_ = -1;
    lowLatencySet_ = false;
}

}  // namespace vantor
