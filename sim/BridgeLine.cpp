// The simulator's line on Windows: a pseudo-terminal lent by vantor-sim-bridge
// on the host (see BridgeProtocol.h), whose address is in the environment
// variable VANTOR_SIM_BRIDGE ("127.0.0.1:PORT"). The program opens the COM
// port the bridge names.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "BridgeProtocol.h"
#include "SimLine.h"

namespace vantor::sim {
namespace {

bool sendAll(SOCKET s, const std::uint8_t* bytes, std::size_t n) {
    while (n > 0) {
        const int w = ::send(s, reinterpret_cast<const char*>(bytes),
                             static_cast<int>(std::min<std::size_t>(n, 1 << 20)), 0);
        if (w <= 0) return false;
        bytes += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

bool recvAll(SOCKET s, std::uint8_t* bytes, std::size_t n) {
    while (n > 0) {
        const int r = ::recv(s, reinterpret_cast<char*>(bytes),
                             static_cast<int>(std::min<std::size_t>(n, 1 << 20)), 0);
        if (r <= 0) return false;
        bytes += r;
        n -= static_cast<std::size_t>(r);
    }
    return true;
}

std::uint32_t get32(const std::uint8_t* b) {
    return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3];
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

SOCKET connectTo(const std::string& address) {
    const auto colon = address.rfind(':');
    if (colon == std::string::npos) return INVALID_SOCKET;
    const std::string host = address.substr(0, colon);
    const std::string port = address.substr(colon + 1);
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || !found) return INVALID_SOCKET;
    SOCKET s = ::socket(found->ai_family, found->ai_socktype, found->ai_protocol);
    if (s != INVALID_SOCKET &&
        ::connect(s, found->ai_addr, static_cast<int>(found->ai_addrlen)) != 0) {
        ::closesocket(s);
        s = INVALID_SOCKET;
    }
    freeaddrinfo(found);
    if (s != INVALID_SOCKET) {
        BOOL one = TRUE;
        ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    }
    return s;
}

class BridgeLine final : public SimLine {
public:
    BridgeLine() {
        WSADATA data;
        started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~BridgeLine() override {
        close();
        if (started_) WSACleanup();
    }

    bool open(int rate) override {
        const char* address = std::getenv("VANTOR_SIM_BRIDGE");
        if (!started_ || !address) return false;
        control_ = connectTo(address);
        if (control_ == INVALID_SOCKET) return false;
        std::vector<std::uint8_t> request{static_cast<std::uint8_t>(bridge::kOpen)};
        put32(request, static_cast<std::uint32_t>(rate));
        std::array<std::uint8_t, 7> head{};
        if (!sendAll(control_, request.data(), request.size()) ||
            !recvAll(control_, head.data(), head.size()) || head[0] != bridge::kOpened) {
            close();
            return false;
        }
        std::string name(static_cast<std::size_t>(head[5] << 8 | head[6]), '\0');
        if (!recvAll(control_, reinterpret_cast<std::uint8_t*>(name.data()), name.size())) {
            close();
            return false;
        }
        path_ = name;
        data_ = connectTo(address);
        std::vector<std::uint8_t> attach{static_cast<std::uint8_t>(bridge::kAttach)};
        put32(attach, get32(head.data() + 1));
        if (data_ == INVALID_SOCKET || !sendAll(data_, attach.data(), attach.size())) {
            close();
            return false;
        }
        return true;
    }

    std::string devicePath() const override { return path_; }

    int lineRate() override {
        std::lock_guard<std::mutex> lock(controlMutex_);
        const auto op = static_cast<std::uint8_t>(bridge::kRate);
        std::array<std::uint8_t, 5> answer{};
        if (!sendAll(control_, &op, 1) || !recvAll(control_, answer.data(), answer.size()) ||
            answer[0] != bridge::kRateIs) {
            return 0;
        }
        return static_cast<int>(get32(answer.data() + 1));
    }

    long read(std::uint8_t* buffer, std::size_t size, int& rate) override {
        for (;;) {
            if (!pending_.empty()) {
                const std::size_t n = std::min(size, pending_.size());
                std::copy_n(pending_.begin(), n, buffer);
                pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(n));
                rate = pendingRate_;
                return static_cast<long>(n);
            }
            // Wait in short steps: a blocked receive need not wake when the
            // socket is shut down from another thread.
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(data_, &readable);
            timeval step{0, 50000};
            const int ready = ::select(0, &readable, nullptr, nullptr, &step);
            if (interrupted_.load()) return 0;
            if (ready == 0) continue;
            std::array<std::uint8_t, 7> head{};
            if (ready < 0 || !recvAll(data_, head.data(), head.size()) ||
                head[0] != bridge::kData) {
                if (interrupted_.load()) return 0;
                // The bridge went away: the line is dead, as an unplugged cable.
                Sleep(10);
                return -1;
            }
            pendingRate_ = static_cast<int>(get32(head.data() + 1));
            pending_.resize(static_cast<std::size_t>(head[5] << 8 | head[6]));
            if (!recvAll(data_, pending_.data(), pending_.size())) pending_.clear();
        }
    }

    void write(const std::uint8_t* bytes, std::size_t n) override {
        if (n == 0) return;
        std::lock_guard<std::mutex> lock(controlMutex_);
        std::vector<std::uint8_t> request{static_cast<std::uint8_t>(bridge::kWrite)};
        put32(request, static_cast<std::uint32_t>(n));
        request.insert(request.end(), bytes, bytes + n);
        std::uint8_t done = 0;
        if (sendAll(control_, request.data(), request.size())) recvAll(control_, &done, 1);
    }

    void interrupt() override {
        interrupted_ = true;
        // The end of the control connection tells the bridge to close the line.
        std::lock_guard<std::mutex> lock(controlMutex_);
        if (control_ != INVALID_SOCKET) ::shutdown(control_, SD_SEND);
    }

    void close() override {
        for (SOCKET* s : {&data_, &control_}) {
            if (*s != INVALID_SOCKET) ::closesocket(*s);
            *s = INVALID_SOCKET;
        }
    }

private:
    bool started_ = false;
    SOCKET control_ = INVALID_SOCKET;
    SOCKET data_ = INVALID_SOCKET;
    std::mutex controlMutex_;
    std::atomic<bool> interrupted_{false};
    std::vector<std::uint8_t> pending_;
    int pendingRate_ = 0;
    std::string path_;
};

}  // namespace

std::unique_ptr<SimLine> makeSimLine() {
    return std::make_unique<BridgeLine>();
}

}  // namespace vantor::sim
