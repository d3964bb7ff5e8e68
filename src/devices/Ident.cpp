#include "devices/Ident.h"

#include <array>
#include <cstdio>

std::string SerialText(std::uint32_t serial, std::uint8_t du) {
    char buf[16];
    if (serial > 150999999u) {
        std::snprintf(buf, sizeof buf, "%09u", serial);
        return buf;
    }
    std::snprintf(buf, sizeof buf, "%08u", serial);
    std::string text = buf;
    if (text[0] != '0' && du < 8) text.insert(text.begin(), '0');
    return text;
}

std::string DiameterText(int du) {
    static constexpr std::array<const char*, 12> kTexts = {"15", "20", "25",  "32",  "40",  "50",
                                                           "65", "80", "100", "125", "150", "200"};
    if (du < 0 || du >= static_cast<int>(kTexts.size())) return {};
    return kTexts[static_cast<std::size_t>(du)];
}
