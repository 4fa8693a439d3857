// The declaration payload from the instrument: at most 15 points, names
// within their field, and declaration lines within what a command carries.

#include <algorithm>
#include <array>
#include <cstring>

#include "FuzzSupport.h"
#include "navpoints/TaskDeclaration.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::array<std::uint8_t, vantor::kDeclarationSize> payload{};
    std::memcpy(payload.data(), data, std::min(size, payload.size()));

    vantor::TaskDeclaration task;
    // A task already there: the points past the new count stay as they were.
    task.count = vantor::kMaxTaskPoints;
    for (auto& point : task.points) point.setName("OLD");
    vantor::decodeDeclaration(payload, task);

    FUZZ_CHECK(task.count == std::min<int>(payload[6], vantor::kMaxTaskPoints));
    for (int i = 0; i < vantor::kMaxTaskPoints; ++i) {
        const vantor::Navpoint& p = task.points[static_cast<std::size_t>(i)];
        if (i >= task.count) {
            FUZZ_CHECK(p.nameText() == "OLD");
            continue;
        }
        FUZZ_CHECK(p.nameText().size() <= vantor::kNavpointNameLength);
        FUZZ_CHECK(p.commentText().empty() && p.altitude == 0 && p.attributes == 0);
        FUZZ_CHECK(vantor::declarationLine(i, p).size() <= 249);
    }
    return 0;
}
