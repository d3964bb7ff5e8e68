#pragma once

#include <vector>

namespace files {

// One straight segment of the characteristic. A list of lines is ordered by
// ascending argument; an argument takes the first line whose `upper` is not
// below it, and the last line when it lies above every `upper`.
struct Line {
    double a = 0.0;      // slope
    double b = 0.0;      // offset, m3/h
    double upper = 0.0;  // argument at which the segment ends (RV code or reduced Hz)

    bool operator==(const Line&) const = default;
};

using Lines = std::vector<Line>;

}  // namespace files
