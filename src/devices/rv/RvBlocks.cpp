#include "devices/rv/RvBlocks.h"

#include "devices/Bytes.h"

namespace rv {

namespace {

// Position = meter's diameter index (15, 20, 25, 32, 40, 50, 80, 100, 150,
// 65, 200, 300, 10 mm); value = document diameter code.
constexpr std::array<int, 13> kIndexToCode = {0, 1, 2, 3, 4, 5, 7, 8, 10, 6, 11, 12, 13};

}  // namespace

void encode(const OutputsBlock& block, std::span<std::uint8_t, OutputsBlock::kSize> out) {
    bytes::putF32(out.data(), block.weight);
    out[4] = block.pulseLength;
    out[5] = block.flags;
}

OutputsBlock decodeOutputs(std::span<const std::uint8_t, OutputsBlock::kSize> in) {
    OutputsBlock block;
    block.weight = bytes::getF32(in.data());
    block.pulseLength = in[4];
    block.flags = in[5];
    return block;
}

void encode(const CalibrationBlock& block, std::span<std::uint8_t, CalibrationBlock::kSize> out) {
    std::uint8_t* p = out.data();
    for (int i = 0; i < CalibrationBlock::kSegments; ++i) {
        bytes::putF32(p + 12 * i, block.a[static_cast<std::size_t>(i)]);
        bytes::putF32(p + 12 * i + 4, block.b[static_cast<std::size_t>(i)]);
        // Segment 5 has no bound: its bytes belong to gmax.
        if (i < CalibrationBlock::kBounds) bytes::putI32(p + 12 * i + 8, block.upper[static_cast<std::size_t>(i)]);
    }
    bytes::putF32(p + 56, block.gmax);
    bytes::putF32(p + 60, block.gpor);
}

CalibrationBlock decodeCalibration(std::span<const std::uint8_t, CalibrationBlock::kSize> in) {
    const std::uint8_t* p = in.data();
    CalibrationBlock block;
    for (int i = 0; i < CalibrationBlock::kSegments; ++i) {
        block.a[static_cast<std::size_t>(i)] = bytes::getF32(p + 12 * i);
        block.b[static_cast<std::size_t>(i)] = bytes::getF32(p + 12 * i + 4);
        if (i < CalibrationBlock::kBounds) block.upper[static_cast<std::size_t>(i)] = bytes::getI32(p + 12 * i + 8);
    }
    block.gmax = bytes::getF32(p + 56);
    block.gpor = bytes::getF32(p + 60);
    return block;
}

int diameterIndexToCode(int index) {
    if (index < 0 || index >= static_cast<int>(kIndexToCode.size())) return 0;
    return kIndexToCode[static_cast<std::size_t>(index)];
}

int diameterCodeToIndex(int code) {
    for (std::size_t i = 0; i < kIndexToCode.size(); ++i)
        if (kIndexToCode[i] == code) return static_cast<int>(i);
    return 0;
}

}  // namespace rv
