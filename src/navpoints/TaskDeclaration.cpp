#include "navpoints/TaskDeclaration.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

#include "base/BigEndian.h"
#include "base/Prompts.h"
#include "link/InstrumentLink.h"

namespace vantor {

namespace {

constexpr std::size_t kMaxCommandLine = 249;
constexpr std::size_t kDeclaredPointOffset = 8;
constexpr std::size_t kDeclaredPointSize = 20;

std::uint32_t be32(const std::uint8_t* p) {
    return loadBigEndian(std::span(p, 4));
}

// Appends ",field" in place: "," + a temporary string makes GCC 12 at -O3
// warn of an overlapping copy that cannot happen.
void appendField(std::string& line, std::string_view field) {
    line += ',';
    line += field;
}

void finishSequence(InstrumentLink& link) {
    link.sync();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    link.close();
}

}  // namespace

std::string declarationLine(int position, const Navpoint& p) {
    std::string line = "d";
    appendField(line, std::to_string(128 + position));
    appendField(line, formatCoordinate(p.latitude, true, CoordinateForm::Instrument));
    appendField(line, formatCoordinate(p.longitude, false, CoordinateForm::Instrument));
    appendField(line, p.nameText());
    appendField(line, std::to_string(p.altitude));
    if (line.size() > kMaxCommandLine) line.resize(kMaxCommandLine);
    return line;
}

bool TaskDeclaration::add(const NavpointTable& table, std::string_view name, Prompts& prompts,
                          const void* owner) {
    if (count >= kMaxTaskPoints) {
        prompts.message("To Many Points!", "Error", Buttons::Ok, Icon::None, owner);
        return false;
    }
    const int index = table.find(name);
    if (index < 0) return false;
    points[static_cast<std::size_t>(count++)] = table.entries[static_cast<std::size_t>(index)];
    return true;
}

bool TaskDeclaration::remove(int position) {
    if (position < 0 || position >= count) return false;
    std::copy(points.begin() + position + 1, points.begin() + count, points.begin() + position);
    --count;
    return true;
}

bool TaskDeclaration::move(int position, int step) {
    const int other = position + step;
    if ((step != -1 && step != 1) || position < 0 || position >= count || other < 0 ||
        other >= count) {
        return false;
    }
    std::swap(points[static_cast<std::size_t>(position)], points[static_cast<std::size_t>(other)]);
    return true;
}

bool TaskDeclaration::send(InstrumentLink& link, Prompts& prompts, const std::string& portName,
                           const void* owner) const {
    auto say = [&](const char* text, const char* caption) {
        prompts.message(text, caption, Buttons::Ok, Icon::None, owner);
    };
    if (count == 0) {
        say("No declaration entered.", "Error");
        return false;
    }
    WaitCursor wait(prompts);
    if (!link.connectForDownload(portName)) return false;
    bool failed = false;
    if (!link.enterDownloadMode()) {
        say("Could not download.", "Error");
        failed = true;
    }
    for (int i = 0; i < count; ++i) {
        std::string line = declarationLine(i, points[static_cast<std::size_t>(i)]);
        if (!link.sendRecord(line)) {
            say("Can't send declaration to Vantor.", "Error");
            failed = true;
        }
    }
    std::string end = "d,255";
    if (!link.sendRecord(end)) {
        say("Can't send declaration ending.", "Error");
        failed = true;
    }
    finishSequence(link);
    if (!failed) say("Declaration sent.", "Success");
    return !failed;
}

void decodeDeclaration(const std::array<std::uint8_t, kDeclarationSize>& payload,
                       TaskDeclaration& task) {
    // The payload has room for 15 points, whatever its count says.
    task.count = std::min<int>(payload[6], kMaxTaskPoints);
    for (int i = 0; i < task.count; ++i) {
        const std::uint8_t* at = payload.data() + kDeclaredPointOffset + kDeclaredPointSize * i;
        // The declaration carries no altitude, number, attributes or
        // comment: a fetched point has none.
        Navpoint p;
        p.latitude = be32(at);
        p.longitude = be32(at + 4);
        const auto* name = reinterpret_cast<const char*>(at + 8);
        p.setName(std::string_view(name, std::find(name, name + kNavpointNameLength, '\0')));
        task.points[static_cast<std::size_t>(i)] = p;
    }
}

bool TaskDeclaration::fetch(InstrumentLink& link, Prompts& prompts, const std::string& portName,
                            const void* owner) {
    WaitCursor wait(prompts);
    if (!link.connectForUpload(portName, false)) return false;
    std::array<std::uint8_t, kDeclarationSize> payload{};
    const bool fetched = link.queryDeclaration(payload);
    if (!fetched) {
        prompts.message("Can't upload declaration.", "Error", Buttons::Ok, Icon::None, owner);
    } else {
        decodeDeclaration(payload, *this);
    }
    finishSequence(link);
    return fetched;
}

}  // namespace vantor
