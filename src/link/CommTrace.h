#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vantor {

// A log of every exchange on the serial line, for support: one line a write
// or read with the milliseconds since the port was opened, the line rate,
// ">" for sent and "<" for received and the bytes in hex; opening, closing
// and rate changes on lines of their own. It is process-wide: every port
// writes to it while it is on. Thread-safe.
//
//   0 4800 open COM1: /dev/ttyUSB0
//   0 4800 > 03
//   47 4800 < 0D 0A 56 ...
//   912 57600 rate 57600
//   3020 4800 close
bool startCommTrace(const std::string& path);  // false when the file cannot be written
void stopCommTrace();
bool commTraceActive();

// A new trace file in `folder` for this run, leaving at most `keep` trace
// files there (the newest). The file's path, or empty when none was made.
std::string startCommTraceIn(const std::string& folder, int keep);

// What SerialPort reports; nothing is written while the trace is off.
using TraceClock = std::chrono::steady_clock;
enum class TraceDirection { Sent, Received };
void traceBytes(TraceClock::time_point opened, int baud, TraceDirection direction,
                const std::uint8_t* bytes, std::size_t n);
void traceEvent(TraceClock::time_point opened, int baud, const std::string& text);

// The hex form of the lines: "0D 0A".
std::string hexBytes(const std::uint8_t* bytes, std::size_t n);

}  // namespace vantor
