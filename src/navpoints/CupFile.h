#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "navpoints/Navpoint.h"
#include "navpoints/TaskDeclaration.h"

namespace vantor {

// SeeYou CUP files (.cup), the turnpoint files pilots exchange: a header
// line of column names, one waypoint a line, then optionally the line
// "-----Related Tasks-----" and task lines.
//
//     name,code,country,lat,lon,elev,style,rwdir,rwlen,rwwidth,freq,desc
//     "Hilltop","12",DE,4730.125N,00815.000E,450.0m,2,,,,,"Grass strips"
//
// Columns are found by the header's names, so the older layout (without
// rwwidth) and files with columns after desc read alike. Text is UTF-8, or
// Windows-1252 when the file is not valid UTF-8.

// Far beyond any turnpoint file; a larger file is not read.
inline constexpr std::size_t kMaxCupFile = 32u << 20;

// A task of the file: its description and its points' names as the file
// gives them (UTF-8), and for each name the table entry of the first
// waypoint of that name, or -1 when the file has none.
struct CupTask {
    std::string description;
    std::vector<std::string> names;
    std::vector<int> points;
};

// What reading a CUP file came to.
struct CupFileRead {
    // False when the file could not be opened or read, or is too large.
    bool read = false;
    // Waypoints read; 0 when no waypoint line parses.
    int waypoints = 0;
    // Waypoint lines that hold something but no waypoint (blank lines and
    // the header are not counted).
    int skipped = 0;
    std::vector<CupTask> tasks;
    explicit operator bool() const { return read; }
};

// Whether a path names a CUP file: by its extension, in any case.
bool isCupPath(std::string_view path);

// The waypoints of a CUP file's text go to the table from entry 0, at most
// 6000, but only when there is at least one: a text without waypoints
// leaves the table as it was.
CupFileRead parseCupText(std::string_view text, NavpointTable& table);
// The same for a file. A file that cannot be read leaves the table as it was.
CupFileRead readCupFile(const std::string& path, NavpointTable& table);

// UTF-8 text as the instrument takes it: upper case, accented letters as
// their plain letters, whatever it cannot show (and in a name the comma,
// which separates the instrument's fields) a blank; at most 12 characters.
std::string instrumentText(std::string_view utf8, bool name);

// A waypoint style as attribute bits: airfields (grass 2, gliding 4, solid
// 5) are A and L, an outlanding (3) L, every other style T.
std::uint16_t attributesOfCupStyle(int style);
// Back again: A is an airfield (5), L alone an outlanding (3), anything else
// a plain waypoint (1).
int cupStyleOfAttributes(std::uint16_t attributes);

// The header line of the files we write, with its "\r\n".
std::string cupHeaderLine();
// A navpoint's waypoint line, with its "\r\n": the name without its
// trailing blanks, as name and as code, coordinates to three decimals of the
// minute, the elevation in metres, the style and the comment as desc. CUP
// has no navpoint numbers: read back, a waypoint's number is its place in
// the file (or its code, where that is a number).
std::string formatCupWaypoint(const Navpoint& navpoint);
// Writes the header and entries 0..count-1 in UTF-8. False when the file
// cannot be created or written.
bool writeCupFile(const std::string& path, const NavpointTable& table);

// A task of the file as a declaration, each point a copy of its waypoint's
// table entry. Nothing when a point is no waypoint of the file or the task
// has more than 15 points; problem then says why.
std::optional<TaskDeclaration> cupTaskDeclaration(const CupTask& task, const NavpointTable& table,
                                                  std::string& problem);

}  // namespace vantor
