#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

// Little-endian packing of the settings blocks and parameter blocks.
namespace bytes {

inline void putU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline std::uint32_t getU32(const std::uint8_t* p) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(p[i]) << (8 * i);
    return v;
}
inline void putI32(std::uint8_t* p, std::int32_t v) { putU32(p, static_cast<std::uint32_t>(v)); }
inline std::int32_t getI32(const std::uint8_t* p) { return static_cast<std::int32_t>(getU32(p)); }

inline void putF32(std::uint8_t* p, float v) { putU32(p, std::bit_cast<std::uint32_t>(v)); }
inline float getF32(const std::uint8_t* p) { return std::bit_cast<float>(getU32(p)); }

inline void putF64(std::uint8_t* p, double v) {
    const auto u = std::bit_cast<std::uint64_t>(v);
    putU32(p, static_cast<std::uint32_t>(u));
    putU32(p + 4, static_cast<std::uint32_t>(u >> 32));
}
inline double getF64(const std::uint8_t* p) {
    const std::uint64_t u = getU32(p) | (static_cast<std::uint64_t>(getU32(p + 4)) << 32);
    return std::bit_cast<double>(u);
}

}  // namespace bytes
