#pragma once

// The texts of the "Коэффициенты" lines table.

#include <array>
#include <string>
#include <vector>

#include "devices/DeviceBase.h"
#include "common/Line.h"

namespace approximation {

inline constexpr std::array<int, 3> kLinesTableWidths = {70, 70, 90};
inline constexpr const char* kLinesTableCaptionA = "A";
inline constexpr const char* kLinesTableCaptionB = "B";
// The third caption before any document was created or opened with New or
// Open (a document opened from the command line at start leaves it).
inline constexpr const char* kInitialBoundCaption = "F (Гц)";

// The third caption that New and Open set: "Частота (Гц)" for Dorn and
// Kelt, "Код" for RV.
std::string boundCaption(Family family);

// One row per line: a and b with 7 decimals, upper with 6, in the user's
// locale; the last row's bound is empty (the last line has no upper limit).
std::vector<std::array<std::string, 3>> linesTableRows(const files::Lines& lines);

}  // namespace approximation
