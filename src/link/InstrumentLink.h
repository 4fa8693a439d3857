#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/Prompts.h"
#include "link/SerialPort.h"

namespace vantor {

// Sizes of what the queries hand back.
inline constexpr std::size_t kIdentitySize = 35;         // frame header and 32 data bytes
inline constexpr std::size_t kDeclarationSize = 316;     // bytes after the long frame header
inline constexpr std::size_t kDirectoryBlockSize = 295;  // bytes after the long frame header
inline constexpr int kSecurityRecordRead = 214;

// The rate-change code the instrument understands for a line rate (255 for others).
int baudRateCode(int baud);

// The instrument protocol over one serial port: command framing, the reply
// checks, connection and modes, and the queries and block reads.
class InstrumentLink {
public:
    explicit InstrumentLink(Prompts& prompts) : prompts_(&prompts) {}
    virtual ~InstrumentLink();
    InstrumentLink(const InstrumentLink&) = delete;
    InstrumentLink& operator=(const InstrumentLink&) = delete;

    // --- port pass-through
    bool open(const std::string& portName, int baud, int readTimeoutMs);
    bool setReadTimeout(int readTimeoutMs);
    void close();
    bool isOpen() const { return port_.isOpen(); }
    SerialPort& port() { return port_; }
    // Why the last open failed, with the fix; `busyText` for a port in use.
    std::string openFailureText(const std::string& busyText) const;

    // --- framing and checks
    bool transact(const std::uint8_t* command, std::size_t length, std::uint8_t* reply,
                  std::size_t n, std::size_t& got);
    bool sendEchoed(const char* command, std::uint8_t* reply, std::size_t n, std::size_t& got);
    bool sync();
    // Appends ",~", the decimal byte sum and "\r" to text, sends it and waits for the
    // acknowledgement. text keeps the suffix afterwards.
    bool sendRecord(std::string& text);
    // Replaces "*" in the body by "-", appends "*%02X\n" and sends it; reads nothing.
    bool sendNmeaSentence(std::string& text);
    // replyLength bounds the frame: a frame longer than what was read is invalid.
    static bool checkShortReply(const std::uint8_t* reply, std::size_t replyLength,
                                const char* command, std::size_t c);
    static bool checkLongReply(const std::uint8_t* reply, std::size_t replyLength,
                               const char* command, std::size_t c);

    // --- connection and modes
    bool handshake();
    // Tries the rate remembered for the port (RateMemory.h) first, then
    // 4800, 19200 and 57600.
    int detectBaudRate();
    bool setInstrumentBaudRate(int baud);
    bool enterUploadMode(bool blockMode);  // true: "upl 0\r", false: "upl 1\r"
    bool enterDownloadMode();
    bool connectForUpload(const std::string& portName, bool quiet);
    bool connectForDownload(const std::string& portName);

    // The first sync of a sequence at 4800. An instrument left at another
    // rate (by a failure, a pulled cable or another program) is looked for
    // quietly at 19200 and 57600 and switched back to 4800, so the sequence
    // goes on as normal. The read time-out is kept. False only when the
    // instrument answers at none of them; the port is then at 4800.
    bool syncAt4800();
    // Brings instrument and port back to `baud` after a fast sequence went
    // wrong, wherever the failure left the instrument: it is looked for at
    // the rate it last answered at, then at the port's rate, then at the others. Gives up quietly
    // when it answers nowhere. The rate the instrument is left at, or -1.
    int restoreBaudRate(int baud);

    // --- queries and block reads
    bool queryIdentity(std::array<std::uint8_t, kIdentitySize>& identity);
    int queryNavpointCount(int* dataLength);
    bool queryNavpoint(int n, std::span<std::uint8_t> destination);
    int queryPilotPreferencesHeader(int* dataLength);
    bool queryPilotPreferencesData(int n, std::span<std::uint8_t> destination);
    int queryGliderHeader(int* dataLength);
    bool queryGliderData(std::span<std::uint8_t> destination);
    bool queryDeclaration(std::array<std::uint8_t, kDeclarationSize>& destination);
    bool readDirectoryBlock(int n, std::array<std::uint8_t, kDirectoryBlockSize>& destination);
    bool requestIgcLog(int n, int& blockSize, int& blockCount);
    bool requestBinaryLog(int n, int& blockSize, int& blockCount, int* totalLength = nullptr,
                          std::uint8_t* headerA = nullptr, std::uint8_t* headerB = nullptr);
    // Data length (0 or more) copied to destination, or -1.
    int readBlock(char selector, int blockSize, std::span<std::uint8_t> destination,
                  int& shortRetries, int& badRetries);
    int readSecurityRecord(std::span<std::uint8_t> destination);

private:
    bool transactText(const std::string& command, std::uint8_t* reply, std::size_t n,
                      std::size_t& got);
    // Reads and drops up to n bytes; the last byte read, or -1 for none.
    int drain(std::size_t n);
    // Sends a log request "b <number>"; the block size it announces, or 0.
    int requestLog(int number, std::uint8_t* reply, std::size_t n);
    bool queryShortData(const std::string& command, bool echoed,
                        std::span<std::uint8_t> destination);
    int copyLongFrameData(const std::uint8_t* reply, std::size_t got,
                          std::span<std::uint8_t> destination);
    void report(const char* text, const char* caption);
    // The first of `rates` at which a sync and the handshake are answered, or -1.
    int findAt(const std::vector<int>& rates);
    // Switches the instrument, answering at the port's rate, and the port to `baud`.
    bool switchTo(int baud);

    Prompts* prompts_;
    SerialPort port_;
};

// What the program says when the port will not open.
inline constexpr const char* kPortInUseText =
    "Is another program using the port? Quit Veloxa to use this program.";

// Opens the port at 4800 and synchronises, as the record and log operations
// start. On failure it says why ("Can't open comm port", or "Failed to
// connect." with "Error, check connections"), owned by `owner`, and leaves
// the port closed.
bool openAndSync(InstrumentLink& link, Prompts& prompts, const std::string& portName,
                 int readTimeoutMs, const void* owner);

}  // namespace vantor
