#pragma once

// The simulator bridge: Windows builds of the tests run under Wine, which
// cannot make a pseudo-terminal, yet maps a COM port to any host device. So a
// small host program (vantor-sim-bridge) owns the pseudo-terminal, points the
// COM port at it, and lends its master side to the simulator over two local
// TCP connections. Integers are big-endian.
//
// Control connection, each request answered in turn:
//   'O' rate:u32                -> 'P' session:u32 length:u16 name   (opens a line)
//   'W' length:u32 bytes        -> 'w'                   (written or dropped)
//   'R'                         -> 'r' rate:u32          (the program's line rate)
// Data connection, after 'A' session:u32 from the simulator:
//   'D' rate:u32 length:u16 bytes, for every read from the program.
// Closing the control connection closes the line.

namespace vantor::sim::bridge {

constexpr char kOpen = 'O';
constexpr char kOpened = 'P';
constexpr char kWrite = 'W';
constexpr char kWritten = 'w';
constexpr char kRate = 'R';
constexpr char kRateIs = 'r';
constexpr char kAttach = 'A';
constexpr char kData = 'D';

}  // namespace vantor::sim::bridge
