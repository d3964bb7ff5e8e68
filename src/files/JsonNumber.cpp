#include "files/JsonNumber.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <cstring>

namespace files {

char* WriteJsonDouble(char* at, double v) {
    if (!std::isfinite(v)) {
        std::memcpy(at, "null", 4);
        return at + 4;
    }
    // A whole number below 10^15: no shorter text lies within half a unit
    // of it, so Grisu2 gives its own digits, and below 10^15 dump writes
    // them in full with ".0". -0.0 goes the general way, which keeps its sign.
    if (v > -1e15 && v < 1e15) {
        const auto whole = static_cast<long long>(v);
        if (static_cast<double>(whole) == v && (whole != 0 || !std::signbit(v))) {
            at = std::to_chars(at, at + kJsonDoubleChars, whole).ptr;
            at[0] = '.';
            at[1] = '0';
            return at + 2;
        }
    }
    // The routine dump calls for every finite double.
    return nlohmann::detail::to_chars(at, at + kJsonDoubleChars, v);
}

}  // namespace files
