#include "devices/rv/Crc16.h"

namespace rv {

const std::array<std::uint16_t, 256>& Crc16Table() {
    static const std::array<std::uint16_t, 256> table = [] {
        std::array<std::uint16_t, 256> t{};
        for (unsigned i = 0; i < 256; ++i) {
            std::uint16_t crc = static_cast<std::uint16_t>(i);
            for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
            t[i] = crc;
        }
        return t;
    }();
    return table;
}

std::uint16_t Crc16(const std::uint8_t* data, std::uint8_t length) {
    const auto& table = Crc16Table();
    std::uint16_t crc = 0xFFFF;
    for (unsigned i = 0; i < length; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

}  // namespace rv
