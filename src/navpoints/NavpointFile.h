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

// A navpoint, or nothing when the line is not one.
std::optional<Navpoint> parseNavpointLine(std::string_view line);
// The line of a navpoint with its "\r\n"; names are padded to 12 characters.
std::string formatNavpointLine(const Navpoint& navpoint);

// Empties the table and fills it from the file, at most 6000 navpoints; bad
// lines are skipped. False, with the table empty, when the file cannot be
// opened or read.
bool readNavpointFile(const std::string& path, NavpointTable& table);
// Writes entries 0..count-1. False when the file cannot be created or written.
bool writeNavpointFile(const std::string& path, const NavpointTable& table);

}  // namespace vantor
