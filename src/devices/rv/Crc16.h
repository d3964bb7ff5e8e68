#pragma once

// CRC-16/MODBUS of the RV protocol: reflected polynomial 0xA001, initial
// value 0xFFFF, no final XOR; sent low byte first.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace rv {

// The 256 words of the table, generated from the polynomial once.
const std::array<std::uint16_t, 256>& Crc16Table();

// The CRC of the first `length` bytes. The count is 8 bits wide, as the
// meter's own routine takes it: at most 255 bytes are covered.
std::uint16_t Crc16(const std::uint8_t* data, std::uint8_t length);
inline std::uint16_t Crc16(std::span<const std::uint8_t> data) {
    return Crc16(data.data(), static_cast<std::uint8_t>(data.size() > 255 ? 255 : data.size()));
}

}  // namespace rv
