// vantor-sim-bridge --dosdevices DIR --com N
//
// Lends pseudo-terminals to simulators running under Wine (see
// BridgeProtocol.h). Prints the TCP port it listens on (127.0.0.1) as its first
// line, then serves until killed. Each opened line becomes DIR/comN.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "BridgeProtocol.h"
#include "SimLine.h"

namespace {

using namespace vantor::sim;
namespace fs = std::filesystem;

bool sendAll(int fd, const std::uint8_t* bytes, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::send(fd, bytes, n, MSG_NOSIGNAL);
        if (w <= 0) return false;
        bytes += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

bool recvAll(int fd, std::uint8_t* bytes, std::size_t n) {
    while (n > 0) {
        const ssize_t r = ::recv(fd, bytes, n, 0);
        if (r <= 0) return false;
        bytes += r;
        n -= static_cast<std::size_t>(r);
    }
    return true;
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

std::uint32_t get32(const std::uint8_t* b) {
    return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3];
}

void noDelay(int fd) {
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

struct Session {
    std::unique_ptr<SimLine> line;
    std::mutex dataMutex;
    int dataFd = -1;
    std::thread reader;
};

std::mutex sessionsMutex;
std::map<std::uint32_t, std::shared_ptr<Session>> sessions;
std::uint32_t nextSession = 1;
fs::path comLink;

// Points the COM port at the device, replacing whatever it led to before.
void pointComPort(const std::string& device) {
    const fs::path temp = comLink.string() + ".new";
    std::error_code ec;
    fs::remove(temp, ec);
    fs::create_symlink(device, temp, ec);
    if (!ec) fs::rename(temp, comLink, ec);
    if (ec) std::fprintf(stderr, "vantor-sim-bridge: cannot link %s: %s\n", comLink.c_str(),
                         ec.message().c_str());
}

void pump(std::shared_ptr<Session> s) {
    std::array<std::uint8_t, 4096> buffer{};
    for (;;) {
        int rate = 0;
        const long n = s->line->read(buffer.data(), buffer.size(), rate);
        if (n == 0) return;
        if (n < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        std::vector<std::uint8_t> frame{static_cast<std::uint8_t>(bridge::kData)};
        put32(frame, static_cast<std::uint32_t>(rate));
        frame.push_back(static_cast<std::uint8_t>(n >> 8));
        frame.push_back(static_cast<std::uint8_t>(n));
        frame.insert(frame.end(), buffer.begin(), buffer.begin() + n);
        std::lock_guard<std::mutex> lock(s->dataMutex);
        if (s->dataFd < 0 || !sendAll(s->dataFd, frame.data(), frame.size())) return;
    }
}

void serveControl(int fd, std::uint8_t first) {
    std::array<std::uint8_t, 4> rateBytes{};
    if (first != bridge::kOpen || !recvAll(fd, rateBytes.data(), 4)) return;
    auto s = std::make_shared<Session>();
    s->line = makePseudoTerminalLine();
    if (!s->line->open(static_cast<int>(get32(rateBytes.data())))) return;
    pointComPort(s->line->devicePath());
    std::uint32_t id = 0;
    {
        std::lock_guard<std::mutex> lock(sessionsMutex);
        id = nextSession++;
        sessions[id] = s;
    }
    const std::string name = "COM" + comLink.filename().string().substr(3) + ":";
    std::vector<std::uint8_t> reply{static_cast<std::uint8_t>(bridge::kOpened)};
    put32(reply, id);
    reply.push_back(static_cast<std::uint8_t>(name.size() >> 8));
    reply.push_back(static_cast<std::uint8_t>(name.size()));
    reply.insert(reply.end(), name.begin(), name.end());
    bool ok = sendAll(fd, reply.data(), reply.size());

    std::vector<std::uint8_t> bytes;
    while (ok) {
        std::uint8_t op = 0;
        if (!recvAll(fd, &op, 1)) break;
        if (op == bridge::kWrite) {
            std::array<std::uint8_t, 4> length{};
            if (!recvAll(fd, length.data(), 4)) break;
            const std::uint32_t n = get32(length.data());
            if (n > (1u << 24)) break;
            bytes.resize(n);
            if (!recvAll(fd, bytes.data(), n)) break;
            s->line->write(bytes.data(), n);
            const auto done = static_cast<std::uint8_t>(bridge::kWritten);
            ok = sendAll(fd, &done, 1);
        } else if (op == bridge::kRate) {
            std::vector<std::uint8_t> answer{static_cast<std::uint8_t>(bridge::kRateIs)};
            put32(answer, static_cast<std::uint32_t>(s->line->lineRate()));
            ok = sendAll(fd, answer.data(), answer.size());
        } else {
            break;
        }
    }

    s->line->interrupt();
    if (s->reader.joinable()) s->reader.join();
    {
        std::lock_guard<std::mutex> lock(s->dataMutex);
        if (s->dataFd >= 0) ::close(s->dataFd);
        s->dataFd = -1;
    }
    s->line->close();
    std::lock_guard<std::mutex> lock(sessionsMutex);
    sessions.erase(id);
}

void serveData(int fd) {
    std::array<std::uint8_t, 4> idBytes{};
    if (!recvAll(fd, idBytes.data(), 4)) {
        ::close(fd);
        return;
    }
    std::shared_ptr<Session> s;
    {
        std::lock_guard<std::mutex> lock(sessionsMutex);
        const auto it = sessions.find(get32(idBytes.data()));
        if (it != sessions.end()) s = it->second;
    }
    if (!s || s->reader.joinable()) {
        ::close(fd);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(s->dataMutex);
        s->dataFd = fd;
    }
    s->reader = std::thread(pump, s);
}

void serveConnection(int fd) {
    noDelay(fd);
    std::uint8_t first = 0;
    if (!recvAll(fd, &first, 1)) {
        ::close(fd);
        return;
    }
    if (first == bridge::kAttach) {
        serveData(fd);  // the session owns the socket from now on
        return;
    }
    serveControl(fd, first);
    ::close(fd);
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir;
    int com = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--dosdevices") dir = argv[i + 1];
        if (option == "--com") com = std::atoi(argv[i + 1]);
    }
    if (dir.empty() || com < 1) {
        std::fprintf(stderr, "usage: vantor-sim-bridge --dosdevices DIR --com N\n");
        return 2;
    }
    comLink = fs::path(dir) / ("com" + std::to_string(com));

    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener, 16) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("vantor-sim-bridge");
        return 1;
    }
    std::printf("%d\n", ntohs(address.sin_port));
    std::fflush(stdout);
    for (;;) {
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0) continue;
        std::thread(serveConnection, fd).detach();
    }
}
