#pragma once

#include <cstdint>
#include <vector>

#include "document/Section.h"
#include "document/ApprOptions.h"
#include "common/Line.h"

// What every package computation of one document reads and writes: the
// approximation options (with the pulse weight) and the characteristic in
// force. Packages share it with their document, so several documents can
// live side by side.
struct DocumentState {
    ApprOptions options;
    files::Lines currentLines;

    // --- State of the last approximation ---
    // Rebuilt by every approximation of a Kelt or RV calibration package of
    // the document; only the last one is kept. `sections` in ascending order
    // of reference flow; `splitSections` the 0-based sections at which the
    // segments of the last fit end.
    std::vector<Section> sections;
    std::vector<std::int32_t> splitSections;
};
