#pragma once

#include <string>
#include <vector>

#include "common/Console.h"
#include "common/Locale.h"

namespace devtest {

inline Locale withSeparator(char c) {
    Locale loc;
    loc.decimalSeparator = c;
    return loc;
}

// The texts of the console, oldest first.
inline std::vector<std::string> messages(const Console& console) {
    std::vector<std::string> out;
    for (const auto& line : console.lines()) out.push_back(line.text);
    return out;
}

}  // namespace devtest
