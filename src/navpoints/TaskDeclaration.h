#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "link/InstrumentLink.h"
#include "navpoints/Navpoint.h"

namespace vantor {

class InstrumentLink;
class Prompts;

inline constexpr int kMaxTaskPoints = 15;

// The task the pilot declares: up to 15 navpoints in task order, each a copy
// of its table entry.
struct TaskDeclaration {
    std::array<Navpoint, kMaxTaskPoints> points{};
    int count = 0;

    // Appends the first table entry with that name; "To Many Points!" when
    // the task is full. False when nothing was added.
    bool add(const NavpointTable& table, std::string_view name, Prompts& prompts,
             const void* owner = nullptr);
    // Removes the point at position; false when there is none there.
    bool remove(int position);
    // Swaps the point at position with its neighbour before it (step -1) or
    // after it (step +1); false when there is no such neighbour.
    bool move(int position, int step);
    // Sends the task as declaration lines numbered from 128 and "d,255", at
    // 4800 baud. True when every step succeeded.
    bool send(InstrumentLink& link, Prompts& prompts, const std::string& portName,
              const void* owner = nullptr) const;
    // Replaces the task with the instrument's declaration. A failed query
    // leaves the task as it was.
    bool fetch(InstrumentLink& link, Prompts& prompts, const std::string& portName,
               const void* owner = nullptr);
};

// Replaces the task's first points with those of the instrument's declaration
// payload; the count it announces is cut to 15. Points past it are left as
// they were.
void decodeDeclaration(const std::array<std::uint8_t, kDeclarationSize>& payload,
                       TaskDeclaration& task);

// "d,128+position,latitude,longitude,name,altitude", cut to 249 characters.
std::string declarationLine(int position, const Navpoint& point);

}  // namespace vantor
