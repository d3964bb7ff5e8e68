#pragma once

#include <string_view>

// Whether `name` is the name AtomicFile gives a new file of `base`:
// "." base "." pid "-" counter "-" random ".tmp", all three numbers decimal.
inline bool IsAtomicTempName(std::string_view name, std::string_view base) {
    const std::string_view head = ".", tail = ".tmp";
    if (name.size() <= head.size() + base.size() + 1 + tail.size()) return false;
    if (name.substr(0, 1) != head || name.substr(1, base.size()) != base || name[1 + base.size()] != '.') return false;
    if (name.substr(name.size() - tail.size()) != tail) return false;
    const std::string_view numbers = name.substr(2 + base.size(), name.size() - tail.size() - 2 - base.size());
    int fields = 1;
    bool digit = false;
    for (const char c : numbers) {
        if (c >= '0' && c <= '9') {
            digit = true;
        } else if (c == '-' && digit) {
            ++fields;
            digit = false;
        } else {
            return false;
        }
    }
    return digit && fields == 3;
}
