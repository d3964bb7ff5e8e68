#pragma once

#include "document/ApprOptions.h"
#include "files/Line.h"

// What every package computation of one document reads and writes: the
// approximation options (with the pulse weight) and the characteristic in
// force. Packages share it with their document, so several documents can
// live side by side.
struct DocumentState {
    ApprOptions options;
    files::Lines currentLines;
};
