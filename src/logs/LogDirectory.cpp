#include "logs/LogDirectory.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "base/Prompts.h"
#include "link/InstrumentLink.h"

namespace vantor {

namespace {

// Day and flight numbers above 9 are letters: 10 is 'A', 35 is 'Z'.
char numberCharacter(int n) {
    return static_cast<char>(n < 10 ? '0' + n : 55 + n);
}

constexpr char kUnnamed = '_';

// A serial character as it may stand in a file name on every platform.
char fileNameCharacter(char c) {
    const bool safe = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    return safe ? c : kUnnamed;
}

void closeTextSequence(InstrumentLink& link) {
    link.sync();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    link.close();
}

}  // namespace

LogDirectoryEntry LogDirectoryEntry::fromWire(const std::uint8_t* bytes) {
    LogDirectoryEntry e;
    e.start = DateTimeStamp::fromBytes(bytes);
    e.end = DateTimeStamp::fromBytes(bytes + 6);
    std::memcpy(e.label.data(), bytes + 12, 24);
    e.label[24] = '\0';
    e.durationSeconds = static_cast<std::int32_t>(stampSeconds(e.end) - stampSeconds(e.start));
    return e;
}

std::string formatListLine(const LogDirectoryEntry& e) {
    Duration d;
    stampDuration(e.start, e.end, d);
    char line[96];
    std::snprintf(line, sizeof line, "%02d-%02d-%02d %02d:%02d(%02d:%02d) %s", e.start.year,
                  e.start.month, e.start.day, e.start.hour, e.start.minute, d.hours, d.minutes,
                  e.label.data());
    return line;
}

bool passesFilter(const LogDirectoryEntry& entry, std::int32_t minLogSeconds) {
    return minLogSeconds == 0 || entry.durationSeconds > minLogSeconds;
}

LogListing buildListing(const LogDirectory& directory, std::int32_t minLogSeconds) {
    LogListing listing;
    for (int i = 0; i < directory.count; ++i) {
        const auto& entry = directory.entries[static_cast<std::size_t>(i)];
        if (!passesFilter(entry, minLogSeconds)) continue;
        listing.lines.push_back(formatListLine(entry));
        listing.listMap.push_back(i);
    }
    if (listing.listMap.empty()) listing.lines.push_back(kNoLogFiles);
    return listing;
}

bool readLogDirectory(InstrumentLink& link, Prompts& prompts, const std::string& portName,
                      LogDirectory& directory, std::array<char, 4>& instrumentSerial,
                      const void* owner) {
    directory.count = 0;
    auto say = [&](const char* text, const char* caption) {
        prompts.message(text, caption, Buttons::Ok, Icon::None, owner);
    };
    if (!openAndSync(link, prompts, portName, 1000, owner)) return false;
    if (!link.connectForUpload(portName, false)) return false;

    std::array<std::uint8_t, kIdentitySize> identity{};
    if (!link.queryIdentity(identity)) {
        closeTextSequence(link);
        return false;
    }
    instrumentSerial = {static_cast<char>(identity[18]), static_cast<char>(identity[19]),
                        static_cast<char>(identity[20]), '\0'};
    link.setReadTimeout(10000);

    // A failed block ends the sequence like any other, so that the port is
    // free for the next operation, whichever link it uses.
    std::array<std::uint8_t, kDirectoryBlockSize> block{};
    if (!link.readDirectoryBlock(0, block)) {
        say("Could not get FAT.(A)", "");
        closeTextSequence(link);
        return false;
    }
    const int count = std::min<int>(block[0], LogDirectory::kCapacity);
    for (int n = 0; n <= count / 8; ++n) {
        if (n > 0 && !link.readDirectoryBlock(n, block)) {
            directory.count = 0;
            say("Could not get FAT.", "Error");
            closeTextSequence(link);
            return false;
        }
        for (int k = 0; k < 8 && 8 * n + k < count; ++k) {
            directory.entries[static_cast<std::size_t>(8 * n + k)] =
                LogDirectoryEntry::fromWire(block.data() + 1 + 36 * k);
        }
    }
    directory.count = count;
    closeTextSequence(link);
    return true;
}

ClearResult clearAllLogs(InstrumentLink& link, Prompts& prompts, const std::string& portName,
                         const void* owner) {
    if (prompts.message("This will erase all flight data in your Vantor 2.",
                        "Clear All Flight Logs?", Buttons::YesNo, Icon::None,
                        owner) != Answer::Yes) {
        return ClearResult::Declined;
    }
    WaitCursor wait(prompts);
    if (!openAndSync(link, prompts, portName, 1000, owner)) return ClearResult::NotConnected;
    std::array<std::uint8_t, 14> reply{};
    std::size_t got = 0;
    static constexpr char kClear[] = "cle log\r";
    link.transact(reinterpret_cast<const std::uint8_t*>(kClear), 8, reply.data(), reply.size(),
                  got);
    // The instrument needs this long to erase its memory.
    std::this_thread::sleep_for(std::chrono::milliseconds(4000));
    link.sync();
    link.close();
    // The prompt echoes the command as it arrives ("cle log", 7 bytes); the
    // answer is what follows. With none the logs may well still be there.
    if (got <= 7) {
        prompts.message(kClearNotAnswered, "Error", Buttons::Ok, Icon::None, owner);
        return ClearResult::NotAnswered;
    }
    return ClearResult::Sent;
}

std::string logShortFileName(const LogDirectory& directory, int index, const char* serial,
                             std::int32_t minLogSeconds, bool binary) {
    const LogDirectoryEntry& chosen = directory.entries[static_cast<std::size_t>(index)];
    int flight = 1;
    for (int k = index + 1; k < directory.count; ++k) {
        const auto& other = directory.entries[static_cast<std::size_t>(k)];
        if (other.start.day == chosen.start.day && passesFilter(other, minLogSeconds)) ++flight;
    }
    // The name is made of instrument data and becomes a path: a value the
    // naming has no character for gives kUnnamed, never a separator, a
    // control character or the end of the text.
    const int month = chosen.start.month;
    const int day = chosen.start.day;
    std::string name;
    name += static_cast<char>('0' + chosen.start.year % 10);
    name += month < 1 || month > 12 ? kUnnamed
            : month < 10            ? static_cast<char>('0' + month)
                                    : static_cast<char>('A' + month % 10);
    name += day < 1 || day > 31 ? kUnnamed : numberCharacter(day);
    name += 'T';
    for (int i = 0; i < 3; ++i) name += fileNameCharacter(serial[i]);
    name += flight > 35 ? kUnnamed : numberCharacter(flight);
    name += binary ? ".TVK" : ".IGC";
    return name;
}

}  // namespace vantor
