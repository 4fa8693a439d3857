#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "navpoints/Navpoint.h"

namespace vantor {

// Navpoint files (.dat, .txt): one navpoint a line, seven comma-separated
// fields: number, latitude, longitude, altitude, attribute letters, name and
// comment.
//
//     12,47:30.1250N,008:15.0000E,450M,TA,HILLTOP     ,GRASS STRIPS

// Longer lines are cut: everything a line can carry lies well inside them.
inline constexpr std::size_t kMaxNavpointLine = 256;
// A longer coordinate field is no coordinate: its line is rejected.
inline constexpr std::size_t kMaxCoordinateField = 43;

// A navpoint, or nothing when the line is not one. A coordinate must end in
// its hemisphere letter (N or S, E or W); without it there is no position.
// Nor is there one past a pole or past 180 degrees east or west.
std::optional<Navpoint> parseNavpointLine(std::string_view line);
// The line of a navpoint with its "\r\n"; names are padded to 12 characters.
std::string formatNavpointLine(const Navpoint& navpoint);

// What reading a navpoint file came to.
struct NavpointFileRead {
    // False when the file could not be opened or read.
    bool read = false;
    // Lines that hold something but no navpoint. Lines of nothing but blanks,
    // tabs and a carriage return are not counted.
    int skipped = 0;
    explicit operator bool() const { return read; }
};

// Replaces the table with the navpoints of the file, at most 6000; lines that
// are not navpoints are skipped and counted. A file that cannot be opened or
// read leaves the table as it was.
NavpointFileRead readNavpointFile(const std::string& path, NavpointTable& table);
// "2 lines skipped: not navpoints", for the count of a read.
std::string skippedLinesText(int skipped);
// Writes entries 0..count-1. False when the file cannot be created or written.
bool writeNavpointFile(const std::string& path, const NavpointTable& table);

}  // namespace vantor
