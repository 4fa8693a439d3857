#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "navpoints/Navpoint.h"

namespace vantor {

class InstrumentLink;
class Prompts;

// A navpoint as the instrument sends it: big-endian numbers, then name and
// comment of 12 characters each.
inline constexpr std::size_t kNavpointRecordSize = 38;
Navpoint decodeNavpointRecord(const std::array<std::uint8_t, kNavpointRecordSize>& record);

// The line that sends a navpoint: "c" and the table index for the upload,
// "!n" and 0 for a single sentence. Cut to 249 characters.
std::string navpointCommandLine(const char* prefix, int index, const Navpoint& navpoint);

// Where a running transfer reports: its status text, and the new table once a
// download has it whole.
class NavpointTransferObserver {
public:
    virtual ~NavpointTransferObserver() = default;
    virtual void setStatus(const std::string& text) = 0;
    virtual void navpointsReceived() {}
};

// The navpoint table to and from the instrument, on a worker thread: the
// download at 57600 baud, the upload at 19200.
class NavpointTransfer {
public:
    NavpointTransfer(InstrumentLink& link, Prompts& prompts, NavpointTransferObserver& observer,
                     const void* owner = nullptr)
        : link_(link), prompts_(prompts), observer_(observer), owner_(owner) {}

    // Replaces the table with the instrument's navpoints. A failure leaves
    // the table as it was.
    bool download(const std::string& portName, NavpointTable& table);
    // Clears the instrument's navpoints and sends the first 1500 of the table.
    bool upload(const std::string& portName, const NavpointTable& table);

    // Set (from any thread, or a signal handler) to stop before the next
    // navpoint: a download then keeps the table as it was, an upload ends the
    // instrument's list after the navpoints already sent. Either way the
    // instrument is switched back to 4800.
    void setCancelFlag(const std::atomic<bool>* cancel) { cancel_ = cancel; }
    // Whether the last transfer stopped for the cancel flag.
    bool wasCancelled() const { return wasCancelled_; }

private:
    // How a transfer leaves the instrument's rate: as it is (never switched),
    // switched back to 4800, or looked for first and then switched back.
    enum class Restore { None, Switch, Find };
    bool finish(bool failed, Restore restore);
    bool fail(const char* text, Restore restore);

    InstrumentLink& link_;
    Prompts& prompts_;
    NavpointTransferObserver& observer_;
    const void* owner_;
    const std::atomic<bool>* cancel_ = nullptr;
    bool wasCancelled_ = false;
};

}  // namespace vantor
