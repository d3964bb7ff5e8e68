#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace rv {

// External output parameters of the meter (register 3), 6 bytes.
struct OutputsBlock {
    static constexpr std::size_t kSize = 6;

    float weight = 0.0f;            // m3 per pulse as the meter keeps it
    std::uint8_t pulseLength = 0;   // steps of 0.8 ms; 0 = meander output
    std::uint8_t flags = 0;         // bits 0-1 card, bit 2 dispenser, bits 3-4 reverse mode

    bool operator==(const OutputsBlock&) const = default;
};

// The meter's two calibration tables: the direct one (register 2, with the
// flow limits) and the reverse one (register 18) of a reversible meter. The
// page shows each in a grid of its own.
enum class CalibrGrid { Direct, Reverse };

// One calibration table (registers 2 and 18), 64 bytes: five segments and,
// in the direct table, the flow limits.
struct CalibrationBlock {
    static constexpr std::size_t kSize = 64;
    static constexpr int kSegments = 5;
    static constexpr int kBounds = 4;

    std::array<float, kSegments> a{};
    std::array<float, kSegments> b{};
    std::array<std::int32_t, kBounds> upper{};  // upper code bound of segments 1 … 4
    float gmax = 0.0f;                           // m3/h
    float gpor = 0.0f;                           // sensitivity threshold, m3/h

    bool operator==(const CalibrationBlock&) const = default;
};

void encode(const OutputsBlock& block, std::span<std::uint8_t, OutputsBlock::kSize> out);
OutputsBlock decodeOutputs(std::span<const std::uint8_t, OutputsBlock::kSize> in);

void encode(const CalibrationBlock& block, std::span<std::uint8_t, CalibrationBlock::kSize> out);
CalibrationBlock decodeCalibration(std::span<const std::uint8_t, CalibrationBlock::kSize> in);

// The meter's diameter index (DuCombo position) and the document's diameter
// code. An index or code outside the table gives 0.
int diameterIndexToCode(int index);
int diameterCodeToIndex(int code);

}  // namespace rv
