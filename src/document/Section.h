#pragma once

#include <cstdint>

// One flow section of a sorted Kelt or RV package: consecutive entries whose
// arguments agree with the section's first one within the scatter limit.
// Packages know it as `PackageHelper::Section`.
struct Section {
    std::int32_t first = 0;  // index of the section's first entry
    std::int32_t last = 0;   // index before the entry that ended the section (may be switched off)
    double x = 0.0;          // mean argument of the section's entries
    double y = 0.0;          // mean reference flow of the section's entries
};
