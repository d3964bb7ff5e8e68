#include "approximation/LinesTable.h"

#include "common/Locale.h"

namespace approximation {

std::string boundCaption(Family family) { return family == Family::RV ? "Код" : "Частота (Гц)"; }

std::vector<std::array<std::string, 3>> linesTableRows(const files::Lines& lines) {
    const Locale& locale = Locale::current();
    std::vector<std::array<std::string, 3>> rows;
    rows.reserve(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const files::Line& l = lines[i];
        rows.push_back({locale.formatFixed(l.a, 7), locale.formatFixed(l.b, 7),
                        i + 1 < lines.size() ? locale.formatFixed(l.upper, 6) : std::string()});
    }
    return rows;
}

}  // namespace approximation
