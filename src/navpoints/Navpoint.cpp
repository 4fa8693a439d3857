#include "navpoints/Navpoint.h"

#include <memory>

namespace vantor {

int NavpointTable::find(std::string_view name) const {
    for (int i = 0; i < count; ++i) {
        if (entries[static_cast<std::size_t>(i)].nameText() == name) return i;
    }
    return -1;
}

NavpointTable& navpointTable() {
    static const auto table = std::make_unique<NavpointTable>();
    return *table;
}

std::string formatCoordinate(std::uint32_t value, bool latitude, CoordinateForm form) {
    const std::uint32_t middle = latitude ? kEquator : kPrimeMeridian;
    char hemisphere = 0;
    std::uint32_t v = 0;
    if (value <= middle) {
        hemisphere = latitude ? 'S' : 'W';
        v = middle - value;
    } else {
        hemisphere = latitude ? 'N' : 'E';
        v = value - middle;
    }
    auto digit = [](std::uint32_t d) { return static_cast<char>('0' + d); };
    std::string text;
    if (!latitude) text += digit(v / 60000000);
    text += digit(v % 60000000 / 6000000);
    text += digit(v % 6000000 / 600000);
    if (form == CoordinateForm::File) text += ':';
    text += digit(v % 600000 / 100000);
    text += digit(v % 100000 / 10000);
    text += '.';
    const std::uint32_t decimals = v % 10000;
    text += digit(decimals / 1000);
    text += digit(decimals / 100 % 10);
    text += digit(decimals / 10 % 10);
    text += digit(decimals % 10);
    text += hemisphere;
    return text;
}

std::string attributeLetters(std::uint16_t attributes) {
    static constexpr char kLetters[] = "TAMLSFHE";
    std::string text;
    for (unsigned bit = 0; bit < 8; ++bit) {
        if (attributes & (1u << bit)) text += kLetters[bit];
    }
    return text;
}

}  // namespace vantor
