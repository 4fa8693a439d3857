#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/NumericHelpers.h"

namespace vantor {

class InstrumentLink;
class Prompts;

// One flight log as the instrument describes it: 36 bytes on the wire.
struct LogDirectoryEntry {
    static constexpr std::size_t kWireSize = 36;

    DateTimeStamp start;
    DateTimeStamp end;
    std::array<char, 25> label{};  // 24 characters and a terminator
    std::int32_t durationSeconds = 0;

    static LogDirectoryEntry fromWire(const std::uint8_t* bytes);
    std::string labelText() const { return std::string(label.data()); }
};

struct LogDirectory {
    static constexpr int kCapacity = 128;
    int count = 0;
    std::array<LogDirectoryEntry, kCapacity> entries{};
};

// The list as the dialog shows it: one line per listed log and, for each
// line, the directory index it stands for. No listed log gives the single
// line "No log files found." and an empty map.
struct LogListing {
    std::vector<std::string> lines;
    std::vector<int> listMap;
};

inline constexpr const char* kNoLogFiles = "No log files found.";

// "%02d-%02d-%02d %02d:%02d(%02d:%02d) %s"
std::string formatListLine(const LogDirectoryEntry& entry);
// Whether the list shows an entry: no minimum, or a duration above it.
bool passesFilter(const LogDirectoryEntry& entry, std::int32_t minLogSeconds);
LogListing buildListing(const LogDirectory& directory, std::int32_t minLogSeconds);

// Reads the instrument's serial and log directory over the text upload
// sequence, with the messages of each failure. The directory is emptied first
// and holds what was read. Returns false when the list has to stay empty.
bool readLogDirectory(InstrumentLink& link, Prompts& prompts, const std::string& portName,
                      LogDirectory& directory, std::array<char, 4>& instrumentSerial,
                      const void* owner = nullptr);

enum class ClearResult {
    Declined,      // the pilot did not say Yes: nothing was sent
    NotConnected,  // the port or the instrument could not be reached (already said)
    NotAnswered,   // nothing but its echo came back for the clear command (already said)
    Sent,          // sent and answered; the directory is to be read again
};

inline constexpr const char* kClearNotAnswered =
    "The instrument did not answer the clear command. Its flight logs may not have been erased.";

// Erases every flight log in the instrument after the pilot said Yes. The port
// is closed when it returns.
ClearResult clearAllLogs(InstrumentLink& link, Prompts& prompts, const std::string& portName,
                         const void* owner = nullptr);

// The IGC short file name of entry `index`: date characters, "T", serial,
// flight number of the day, "." and "IGC" or "TVK". `serial` holds three
// characters. A day, month, flight number or serial character that the form
// has no character for is written "_", so the name is always one safe file
// name.
std::string logShortFileName(const LogDirectory& directory, int index, const char* serial,
                             std::int32_t minLogSeconds, bool binary);

}  // namespace vantor
