#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vantor::sim {

// One flight log held by the simulated instrument.
struct SimLog {
    std::array<std::uint8_t, 6> start{};  // year from 2000, month, day, hour, minute, second
    std::array<std::uint8_t, 6> end{};
    std::string label;                 // up to 24 characters
    std::string igc;                   // served in blocks for "b 64+n"
    std::vector<std::uint8_t> binary;  // served in blocks for "b 256+n"
    std::uint8_t binaryHeaderA = 0;
    std::uint8_t binaryHeaderB = 0;
    std::vector<std::uint8_t> security;  // served for "b s"
};

// Everything the instrument remembers. Blocks are kept in the form the
// instrument serves them (the data bytes of the query replies).
struct InstrumentState {
    static constexpr std::size_t kPilotPreferencesSize = 50;
    static constexpr std::size_t kGliderSize = 38;
    static constexpr std::size_t kNavpointSize = 38;
    static constexpr std::size_t kDeclarationSize = 316;
    static constexpr std::size_t kMaxNavpoints = 1500;
    static constexpr std::size_t kMaxLogs = 128;

    std::array<char, 3> serial{'A', '1', 'B'};
    std::array<char, 2> version{'2', '4'};
    std::uint8_t instrumentType = 2;
    std::vector<std::uint8_t> pilotPreferences;           // data block of "o 0" (50 bytes)
    std::vector<std::uint8_t> glider;                     // data block of "g 0" (38 bytes)
    std::vector<std::array<std::uint8_t, 38>> navpoints;  // at most 1500
    std::vector<std::uint8_t> declaration;  // 316 bytes after the long frame header of "d"
    std::vector<SimLog> logs;
    int blockSize = 256;  // log block size served by the log requests
};

// How the generated flight logs are signed, for trying the security check.
struct LogOptions {
    // The status word of the signature block: 0x00FF unsigned, 0x0666 and
    // 0x64A2 the old files' words, a clear low bit a reported violation.
    std::uint16_t status = 0x0001;
    bool tamperFix = false;                  // one B record changed after signing
    std::optional<std::uint16_t> keyNumber;  // else one of 0..999 from the seed
};

struct SimulatorOptions {
    int baud = 4800;  // the rate the instrument listens at when it starts
    int logs = 3;
    // With N > 0 the newest N flights (up to kMaxSameDay) were flown on one
    // day, the other logs on days of their own before it, and the directory
    // lists them newest first as an instrument does (entry 0 the newest).
    // At least N logs are held. 0 keeps the generated order, oldest first.
    int sameDay = 0;
    int navpoints = 0;
    std::uint8_t instrumentType = 2;  // the type byte of the identity (1: no variometer)
    std::uint32_t seed = 1;
    // The firmware version it reports, "2.4".
    std::array<char, 2> version{'2', '4'};
    bool pace = false;  // 10 bits per byte at the current rate, both ways
    // Each reply waits this long before its first byte, as a USB serial
    // adapter's turnaround makes it.
    int latencyMs = 0;
    LogOptions logOptions;
    // A hostile line instead of an instrument: every byte that arrives, at
    // any rate, is answered from a generator with this seed by random bytes
    // of random lengths, sometimes nothing, sometimes its echo first,
    // sometimes a burst longer than any read. State and faults are unused.
    std::optional<std::uint32_t> hostile;
};

// The state a fresh instrument starts with: default pilot preferences and
// glider, options.navpoints generated navpoints (the first three declared)
// and options.logs logs with distinct dates and durations, all from the seed.
InstrumentState initialState(const SimulatorOptions& options);

// Flight log `index` of the instrument in `state` (serial, version, pilot and
// glider) as initialState makes it: the IGC text of a flight from the seed,
// and its three G lines, signed with a test key, as the security record.
SimLog generateLog(std::size_t index, const InstrumentState& state, std::uint32_t seed,
                   const LogOptions& options = {});

// A day of flying: year from 2000, month, day.
struct SimDate {
    unsigned year = 21;
    unsigned month = 1;
    unsigned day = 1;
};

// The most flights the simulator puts on one day: they fit between 06:00 and
// midnight, and their flight numbers of the day stay single characters.
inline constexpr int kMaxSameDay = 15;

// Flight log `index` as generateLog makes it, flown on `date` from
// `startSeconds` after midnight instead (earlier where it would end after
// midnight): the directory stamps, the IGC text's date and times follow and
// the log is signed again (options.tamperFix is not applied).
SimLog generateLogOn(std::size_t index, const InstrumentState& state, std::uint32_t seed,
                     const SimDate& date, unsigned startSeconds, const LogOptions& options = {});

// Puts `log` at the front of the directory, where an instrument lists the
// flight it recorded last; a full directory loses its last (oldest) entry.
// For a test that lands a new flight: state(), addNewestLog, setState().
void addNewestLog(InstrumentState& state, SimLog log);

enum class EchoFault { None, Missing, Wrong };

enum class ReplyFault {
    Damaged,  // full length, one data byte changed so the check fails
    Short,    // only part of the reply is sent
    Silent,   // nothing is sent
    Refuse,   // "N" in place of "Y" (log requests)
};

// A Vantor 2 on the master side of a pseudo-terminal. The program opens
// devicePath() as its serial port. The simulator answers only when the line
// rate set on the terminal equals its own current rate.
class Simulator {
public:
    explicit Simulator(const SimulatorOptions& options = {});
    ~Simulator();  // stops serving
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    bool start();  // opens the pseudo-terminal and starts serving on a thread
    void stop();
    std::string devicePath() const;

    // --- state (thread-safe)
    InstrumentState state() const;
    void setState(const InstrumentState& state);
    int rate() const;
    void setRate(int baud);  // the rate the instrument listens and answers at

    // --- faults (thread-safe); count -1 means for ever
    void setSilent(bool silent);
    // The next `count` echoed characters (only those equal to `only`, when
    // given) are echoed wrongly or lost: a lost character is not echoed and
    // not added to the command line.
    void failEchoes(EchoFault fault, int count, std::optional<char> only = std::nullopt);
    // Spoils the replies to the command line `command` (its text without "\r",
    // e.g. "w", "b N", "b 65", "b s", "c 3", "o 0"; "sync" for the 0x03 byte).
    // Short and Silent also leave the command without effect (a block is not
    // consumed, a rate not switched); 0x03 always returns to the prompt.
    // Refuse on a command other than a log request acts as Damaged.
    // With `after`, that many matching commands are first answered well.
    void failReplies(const std::string& command, ReplyFault fault, int count, int after = 0);
    // The same, armed only once the command line `trigger` has run: a fault
    // placed by what the program did, not by how many syncs a busy line took.
    void failRepliesAfterCommand(const std::string& trigger, const std::string& command,
                                 ReplyFault fault, int count, int after = 0);
    // Hands the next `count` replies to `command`, as they are about to be sent,
    // to `edit`, which may change them at will (to build frames no fault gives).
    // It runs on the serving thread under the simulator's lock: it must not
    // call back into the simulator.
    void rewriteReplies(const std::string& command,
                        std::function<void(std::vector<std::uint8_t>&)> edit, int count);
    void withholdAcks(int count);  // records lost: not acknowledged, not applied
    void clearFaults();
    void setPacing(bool pace);

    // --- observation (thread-safe)
    std::vector<std::string> lines() const;  // every command line run, without "\r"
    std::string received() const;            // every byte accepted at the right rate
    std::string ignored() const;             // every byte that arrived at another rate
    void clearHistory();
    // Writes bytes to the program unasked, at once (stale input).
    void inject(const std::vector<std::uint8_t>& bytes);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace vantor::sim
