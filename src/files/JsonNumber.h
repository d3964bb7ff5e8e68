#pragma once

#include <cstddef>

namespace files {

// Room a number needs in WriteJsonDouble: at most 17 digits, a sign, a point
// and an exponent such as "e-308".
constexpr std::size_t kJsonDoubleChars = 32;

// Writes `v` exactly as nlohmann's dump() writes a double and returns the
// end: "null" for NaN and the infinities; otherwise the Grisu2 digits dump
// takes (the shortest the algorithm finds that read back as the same
// double), laid out as dump lays them out: "-0.0", "15.0", "0.0001",
// "1.5e-05", "1e+15". A whole number below 10^15, the most common value of
// a bench's measurements, is written directly as its digits and ".0"; any
// other goes through dump's own routine.
char* WriteJsonDouble(char* at, double v);

}  // namespace files
