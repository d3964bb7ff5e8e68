#pragma once

#include <string>

#include "document/Limits.h"

namespace files {

// Reads a limits file ({"class": 2, "qp": 10} or {"zones": [...]}, the form
// ParseLimits takes). A file that cannot be read or whose limits are refused
// raises UserError naming the file and the reason.
Limits ReadLimitsFile(const std::string& path);

}  // namespace files
