#include "link/InstrumentLink.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "base/BigEndian.h"
#include "link/IdentityMemory.h"
#include "link/PortOpenError.h"
#include "link/RateMemory.h"

namespace vantor {

namespace {

constexpr std::uint8_t kSync = 0x03;
constexpr std::uint8_t kEscape = 0x1B;
constexpr std::size_t kSyncReply = 22;
const std::vector<int> kProbeRates = {4800, 19200, 57600};
// How long the handshake waits for the echoes after the first, once the
// instrument has answered at a rate.
constexpr int kLateEchoMs = 250;
// Echo misses (wrong echoes included) after which a typed command gives up.
constexpr int kMaxEchoMisses = 4;

constexpr const char* kOpenFailText = kPortInUseText;
constexpr const char* kOpenFailCaption = "Can't open comm port";
constexpr const char* kCheckConnections = "Error, check connections";

void pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

unsigned be16(const std::uint8_t* p) {
    return loadBigEndian(std::span(p, 2));
}

std::uint8_t commandXor(const char* command, std::size_t c) {
    std::uint8_t x = 0;
    c %= 256;
    for (std::size_t i = 0; i < c && command[i] != '\0'; ++i) {
        x = static_cast<std::uint8_t>(x ^ static_cast<std::uint8_t>(command[i]));
    }
    return x;
}

// The reply buffers of the queries: the largest read is a log block of
// 65535 + 13 bytes, the rest fit in a few hundred.
using SmallReply = std::array<std::uint8_t, 512>;

}  // namespace

int baudRateCode(int baud) {
    switch (baud) {
        case 300:
            return 2;
        case 600:
            return 3;
        case 1200:
            return 4;
        case 2400:
            return 5;
        case 4800:
            return 6;
        case 9600:
            return 7;
        case 19200:
            return 8;
        case 38400:
            return 9;
        case 57600:
            return 10;
        case 115200:
            return 11;
        default:
            return 255;
    }
}

InstrumentLink::~InstrumentLink() {
    close();
}

bool InstrumentLink::open(const std::string& portName, int baud, int readTimeoutMs) {
    return port_.open(portName, baud, readTimeoutMs);
}

bool InstrumentLink::setReadTimeout(int readTimeoutMs) {
    return port_.setReadTimeout(readTimeoutMs);
}

void InstrumentLink::close() {
    port_.close();
}

std::string InstrumentLink::openFailureText(const std::string& busyText) const {
    return vantor::openFailureText(port_.portName(), port_.device(), port_.openError(), busyText);
}

void InstrumentLink::report(const char* text, const char* caption) {
    prompts_->message(text, caption, Buttons::Ok, Icon::None, nullptr);
}

// ---------------------------------------------------------------- framing

bool InstrumentLink::transact(const std::uint8_t* command, std::size_t length, std::uint8_t* reply,
                              std::size_t n, std::size_t& got) {
    got = 0;
    // Bytes left over from an earlier exchange must never count as this reply.
    port_.purge();
    port_.write(command, length);
    if (n == 0) return true;
    port_.read(reply, n, got);
    return got >= n;
}

bool InstrumentLink::transactText(const std::string& command, std::uint8_t* reply, std::size_t n,
                                  std::size_t& got) {
    return transact(reinterpret_cast<const std::uint8_t*>(command.data()), command.size(), reply, n,
                    got);
}

bool InstrumentLink::sendEchoed(const char* command, std::uint8_t* reply, std::size_t n,
                                std::size_t& got) {
    got = 0;
    std::size_t i = 0;
    int misses = 0;
    while (static_cast<std::uint8_t>(command[i]) > 20 && misses < 5) {
        std::uint8_t echo = 0;
        std::size_t echoed = 0;
        transact(reinterpret_cast<const std::uint8_t*>(command + i), 1, &echo, 1, echoed);
        if (echoed == 0) {
            ++misses;
        } else if (echo == static_cast<std::uint8_t>(command[i])) {
            ++i;
        } else {
            // Start the command again from a clean prompt. A wrong echo counts as a
            // miss so that an instrument that always echoes wrongly cannot keep us here.
            sync();
            i = 0;
            ++misses;
        }
    }
    if (misses >= kMaxEchoMisses) return false;
    return transact(reinterpret_cast<const std::uint8_t*>(command + i), 1, reply, n, got);
}

bool InstrumentLink::sync() {
    std::array<std::uint8_t, kSyncReply> reply{};
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::size_t got = 0;
        if (transact(&kSync, 1, reply.data(), reply.size(), got)) {
            // The next search for the instrument on this port starts here.
            rememberRate(port_.portName(), port_.baudRate());
            return true;
        }
    }
    return false;
}

bool InstrumentLink::sendRecord(std::string& text) {
    unsigned long sum = 0;
    for (char ch : text) sum += static_cast<std::uint8_t>(ch);
    text += ",~";
    text += std::to_string(sum);
    text += '\r';
    std::array<std::uint8_t, 9> reply{};
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::size_t got = 0;
        if (transactText(text, reply.data(), reply.size(), got) &&
            checkShortReply(reply.data(), got, text.c_str(), text.size() - 1)) {
            return true;
        }
    }
    return false;
}

bool InstrumentLink::sendNmeaSentence(std::string& text) {
    std::uint8_t x = 0;
    for (std::size_t i = 1; i < text.size(); ++i) {
        if (text[i] == '*') text[i] = '-';
        x = static_cast<std::uint8_t>(x ^ static_cast<std::uint8_t>(text[i]));
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    text += '*';
    text += kHex[x >> 4];
    text += kHex[x & 0x0F];
    text += '\n';
    std::size_t got = 0;
    return transactText(text, nullptr, 0, got);
}

bool InstrumentLink::checkShortReply(const std::uint8_t* reply, std::size_t replyLength,
                                     const char* command, std::size_t c) {
    if (replyLength < 3) return false;
    if (commandXor(command, c) != reply[1]) return false;
    const std::size_t frameLength = reply[0];
    if (frameLength > replyLength) return false;
    std::uint8_t y = 0;
    for (std::size_t i = 3; i < frameLength; ++i) y = static_cast<std::uint8_t>(y ^ reply[i]);
    return y == reply[2];
}

bool InstrumentLink::checkLongReply(const std::uint8_t* reply, std::size_t replyLength,
                                    const char* command, std::size_t c) {
    if (replyLength < 5) return false;
    const std::size_t frameLength = be16(reply);
    const unsigned expected = be16(reply + 3);
    if (frameLength > replyLength) return false;
    unsigned sum = 0;
    for (std::size_t i = 5; i < frameLength; ++i) sum = (sum + reply[i]) & 0xFFFF;
    return sum == expected && commandXor(command, c) == reply[2];
}

int InstrumentLink::drain(std::size_t n) {
    std::array<std::uint8_t, 300> sink{};
    std::size_t got = 0;
    port_.read(sink.data(), std::min(n, sink.size()), got);
    return got == 0 ? -1 : sink[got - 1];
}

// ---------------------------------------------------------------- connection and modes

bool InstrumentLink::handshake() {
    bool answered = false;
    for (int pass = 0; pass < 4 && !answered; ++pass) {
        sync();
        std::uint8_t echo = 0;
        std::size_t got = 0;
        transact(reinterpret_cast<const std::uint8_t*>("a"), 1, &echo, 1, got);
        // An echo that missed the short probe time-out (a slow adapter, a
        // busy machine) comes in with the drain, last: the instrument is there.
        answered = (got == 1 && echo == 'a') || drain(300) == 'a';
    }
    if (!answered) return false;
    // The instrument has answered at this rate; from here a slow echo is no
    // sign of a wrong rate, so it is given time.
    const int probeTimeout = port_.readTimeout();
    port_.setReadTimeout(std::max(probeTimeout, kLateEchoMs));
    bool echoed = true;
    for (char probe : {'^', '2'}) {
        std::uint8_t echo = 0;
        std::size_t got = 0;
        const auto byte = static_cast<std::uint8_t>(probe);
        transact(&byte, 1, &echo, 1, got);
        if (got != 1 || echo != byte) {
            echoed = false;
            break;
        }
    }
    const bool done = echoed && sync();
    port_.setReadTimeout(probeTimeout);
    return done;
}

int InstrumentLink::detectBaudRate() {
    setReadTimeout(25);
    // Where it last answered first: each rate that stays silent costs seconds.
    for (int rate : searchOrder(port_.portName(), kProbeRates)) {
        // A rate the port could not take would only find the instrument at the old one.
        if (!port_.changeBaudRate(rate)) continue;
        if (handshake()) return rate;
    }
    return -1;
}

bool InstrumentLink::setInstrumentBaudRate(int baud) {
    const std::string command = "bau " + std::to_string(baudRateCode(baud)) + "\r";
    for (int pass = 0; pass < 3; ++pass) {
        detectBaudRate();
        std::uint8_t reply = 0;
        std::size_t got = 0;
        transactText(command, &reply, 1, got);
        pause(100);
        // If the port cannot take the rate, a handshake at the old rate would
        // wrongly report the switch as done.
        if (!port_.changeBaudRate(baud)) continue;
        if (handshake()) return true;
    }
    return false;
}

bool InstrumentLink::enterUploadMode(bool blockMode) {
    const std::string command = blockMode ? "upl 0\r" : "upl 1\r";
    std::array<std::uint8_t, 25> reply{};
    for (int attempt = 0; attempt < 3; ++attempt) {
        sync();
        std::size_t got = 0;
        if (transactText(command, reply.data(), reply.size(), got)) return true;
    }
    return false;
}

bool InstrumentLink::enterDownloadMode() {
    std::array<std::uint8_t, 27> reply{};
    for (int attempt = 0; attempt < 3; ++attempt) {
        sync();
        std::size_t got = 0;
        if (transactText("dow 1\r", reply.data(), reply.size(), got)) return true;
    }
    return false;
}

int InstrumentLink::findAt(const std::vector<int>& rates) {
    for (int rate : rates) {
        if (!port_.changeBaudRate(rate)) continue;
        // A sync is cheap where nobody answers; the handshake makes sure of
        // an instrument that did.
        if (sync() && handshake()) return rate;
    }
    return -1;
}

bool InstrumentLink::switchTo(int baud) {
    const std::string command = "bau " + std::to_string(baudRateCode(baud)) + "\r";
    std::uint8_t reply = 0;
    std::size_t got = 0;
    transactText(command, &reply, 1, got);
    pause(100);
    return port_.changeBaudRate(baud) && handshake();
}

bool InstrumentLink::syncAt4800() {
    if (sync()) return true;
    const int readTimeout = port_.readTimeout();
    setReadTimeout(25);
    bool found = findAt(searchOrder(port_.portName(), {19200, 57600})) > 0;
    if (found && !switchTo(4800)) found = setInstrumentBaudRate(4800);
    if (!found) port_.changeBaudRate(4800);
    setReadTimeout(readTimeout);
    return found && sync();
}

int InstrumentLink::restoreBaudRate(int baud) {
    if (!isOpen()) return -1;
    // Where it last answered, then the port's rate, then the others.
    std::vector<int> usual{port_.baudRate()};
    for (int rate : kProbeRates) {
        if (rate != usual.front()) usual.push_back(rate);
    }
    setReadTimeout(25);
    int found = -1;
    for (int rate : searchOrder(port_.portName(), usual)) {
        found = findAt({rate});
        if (found > 0) break;
    }
    if (found < 0 || found == baud) return found;
    return switchTo(baud) || setInstrumentBaudRate(baud) ? baud : -1;
}

bool InstrumentLink::connectForUpload(const std::string& portName, bool quiet) {
    if (!open(portName, 4800, 1000)) {
        if (!quiet) report(openFailureText(kOpenFailText).c_str(), kOpenFailCaption);
        return false;
    }
    if (!syncAt4800()) {
        if (!quiet) report("Failed to connect on upload.", kCheckConnections);
        close();
        return false;
    }
    if (!enterUploadMode(false)) {
        if (!quiet) report("Could not upload.", "Error");
        close();
        return false;
    }
    return true;
}

bool InstrumentLink::connectForDownload(const std::string& portName) {
    if (!open(portName, 4800, 1000)) {
        report(openFailureText(kOpenFailText).c_str(), kOpenFailCaption);
        return false;
    }
    if (!syncAt4800()) {
        report("Failed to connect.", kCheckConnections);
        close();
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- queries

bool InstrumentLink::queryIdentity(std::array<std::uint8_t, kIdentitySize>& identity) {
    std::array<std::uint8_t, 41> reply{};
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::size_t got = 0;
        if (transactText("w\r", reply.data(), reply.size(), got) &&
            checkShortReply(reply.data(), got, "w\r", 1)) {
            std::copy_n(reply.begin(), identity.size(), identity.begin());
            rememberIdentity(port_.portName(), identityFromReply(identity));
            return true;
        }
    }
    return false;
}

bool InstrumentLink::queryShortData(const std::string& command, bool echoed,
                                    std::span<std::uint8_t> destination) {
    // Data lengths come from a header byte, so they are below 256.
    SmallReply reply{};
    const std::size_t n = destination.size() + 9;
    if (n > reply.size()) return false;
    std::size_t got = 0;
    const bool arrived = echoed ? sendEchoed(command.c_str(), reply.data(), n, got)
                                : transactText(command, reply.data(), n, got);
    if (!arrived || !checkShortReply(reply.data(), got, command.c_str(), command.size() - 1)) {
        return false;
    }
    std::copy_n(reply.begin() + 3, destination.size(), destination.begin());
    return true;
}

int InstrumentLink::queryNavpointCount(int* dataLength) {
    std::array<std::uint8_t, 12> reply{};
    std::size_t got = 0;
    if (!sendEchoed("c\r", reply.data(), reply.size(), got) ||
        !checkShortReply(reply.data(), got, "c\r", 1)) {
        return -1;
    }
    if (dataLength) *dataLength = reply[5];
    return static_cast<int>(be16(reply.data() + 3));
}

bool InstrumentLink::queryNavpoint(int n, std::span<std::uint8_t> destination) {
    return queryShortData("c " + std::to_string(n) + "\r", true, destination);
}

int InstrumentLink::queryPilotPreferencesHeader(int* dataLength) {
    std::array<std::uint8_t, 11> reply{};
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::size_t got = 0;
        if (transactText("o\r", reply.data(), reply.size(), got) &&
            checkShortReply(reply.data(), got, "o\r", 1)) {
            if (dataLength) *dataLength = reply[4];
            return reply[3];
        }
        drain(256);
    }
    return -1;
}

bool InstrumentLink::queryPilotPreferencesData(int n, std::span<std::uint8_t> destination) {
    return queryShortData("o " + std::to_string(n) + "\r", false, destination);
}

int InstrumentLink::queryGliderHeader(int* dataLength) {
    std::array<std::uint8_t, 10> reply{};
    std::size_t got = 0;
    if (!transactText("g\r", reply.data(), reply.size(), got) ||
        !checkShortReply(reply.data(), got, "g\r", 1)) {
        return -1;
    }
    if (dataLength) *dataLength = reply[3];
    return 1;
}

bool InstrumentLink::queryGliderData(std::span<std::uint8_t> destination) {
    return queryShortData("g 0\r", false, destination);
}

bool InstrumentLink::queryDeclaration(std::array<std::uint8_t, kDeclarationSize>& destination) {
    std::array<std::uint8_t, kDeclarationSize + 5> reply{};
    std::size_t got = 0;
    if (!transactText("d\r", reply.data(), reply.size(), got) ||
        !checkLongReply(reply.data(), got, "d\r", 1)) {
        return false;
    }
    std::copy_n(reply.begin() + 5, destination.size(), destination.begin());
    return true;
}

bool InstrumentLink::readDirectoryBlock(
    int n, std::array<std::uint8_t, kDirectoryBlockSize>& destination) {
    const std::string command = "b " + std::to_string(196 + n) + "\r";
    std::array<std::uint8_t, kDirectoryBlockSize + 5> reply{};
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::size_t got = 0;
        if (transactText(command, reply.data(), reply.size(), got) &&
            be16(reply.data()) == reply.size() &&
            checkLongReply(reply.data(), got, command.c_str(), command.size() - 1)) {
            std::copy_n(reply.begin() + 5, destination.size(), destination.begin());
            return true;
        }
        drain(300);
    }
    return false;
}

int InstrumentLink::requestLog(int number, std::uint8_t* reply, std::size_t n) {
    port_.setReadTimeout(5000);
    const std::string command = "b " + std::to_string(number) + "\r";
    std::size_t got = 0;
    if (!sendEchoed(command.c_str(), reply, n, got) ||
        !checkLongReply(reply, got, command.c_str(), command.size() - 1) || reply[5] != 'Y') {
        return 0;
    }
    // A block size of 0 fails the request: nothing can be read in blocks of no
    // bytes, and the binary block count divides by it.
    return static_cast<int>(be16(reply + 6));
}

bool InstrumentLink::requestIgcLog(int n, int& blockSize, int& blockCount) {
    std::array<std::uint8_t, 16> reply{};
    const int size = requestLog(64 + n, reply.data(), reply.size());
    if (size == 0) return false;
    blockSize = size;
    blockCount = static_cast<int>(be16(reply.data() + 8));
    return true;
}

bool InstrumentLink::requestBinaryLog(int n, int& blockSize, int& blockCount, int* totalLength,
                                      std::uint8_t* headerA, std::uint8_t* headerB) {
    std::array<std::uint8_t, 19> reply{};
    const int size = requestLog(n < 1024 ? 256 + n : 0, reply.data(), reply.size());
    if (size == 0) return false;
    const int total =
        static_cast<int>(reply[8]) << 16 | static_cast<int>(reply[9]) << 8 | reply[10];
    blockSize = size;
    blockCount = total / size + 1;
    if (totalLength) *totalLength = total;
    if (headerA) *headerA = reply[11];
    if (headerB) *headerB = reply[12];
    return true;
}

int InstrumentLink::copyLongFrameData(const std::uint8_t* reply, std::size_t got,
                                      std::span<std::uint8_t> destination) {
    const std::size_t length = be16(reply + 5);
    if (length == 0) return 0;
    // The length comes from the instrument: never copy more than arrived or than fits.
    if (got < 7 || length > got - 7 || length > destination.size()) return -1;
    std::copy_n(reply + 7, length, destination.begin());
    return static_cast<int>(length);
}

int InstrumentLink::readBlock(char selector, int blockSize, std::span<std::uint8_t> destination,
                              int& shortRetries, int& badRetries) {
    shortRetries = 0;
    badRetries = 0;
    if (blockSize < 0) return -1;
    char command[] = {'b', ' ', selector, '\r', '\0'};
    const std::size_t n = static_cast<std::size_t>(blockSize) + 13;
    std::vector<std::uint8_t> reply(n);
    for (int attempt = 0; attempt < 6; ++attempt) {
        std::size_t got = 0;
        if (sendEchoed(command, reply.data(), n, got) &&
            checkLongReply(reply.data(), got, command, 3)) {
            const int length = copyLongFrameData(reply.data(), got, destination);
            if (length >= 0) return length;
        }
        if (!sync() || !enterUploadMode(true)) return -1;
        if (got > 13) {
            // Something came but was damaged: ask for that block again.
            ++badRetries;
            command[2] = 'R';
        } else {
            ++shortRetries;
        }
    }
    return -1;
}

int InstrumentLink::readSecurityRecord(std::span<std::uint8_t> destination) {
    std::array<std::uint8_t, kSecurityRecordRead> reply{};
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::size_t got = 0;
        if (sendEchoed("b s\r", reply.data(), reply.size(), got) &&
            checkLongReply(reply.data(), got, "b s\r", 3)) {
            const int length = copyLongFrameData(reply.data(), got, destination);
            if (length >= 0) return length;
        }
        std::size_t none = 0;
        transact(&kEscape, 1, nullptr, 0, none);
    }
    return -1;
}

bool openAndSync(InstrumentLink& link, Prompts& prompts, const std::string& portName,
                 int readTimeoutMs, const void* owner) {
    if (!link.open(portName, 4800, readTimeoutMs)) {
        prompts.message(link.openFailureText(kOpenFailText), kOpenFailCaption, Buttons::Ok,
                        Icon::None, owner);
        return false;
    }
    if (!link.syncAt4800()) {
        prompts.message("Failed to connect.", kCheckConnections, Buttons::Ok, Icon::None, owner);
        link.close();
        return false;
    }
    return true;
}

}  // namespace vantor
