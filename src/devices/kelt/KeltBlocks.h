#pragma once

// The parameter blocks of the Kelt transducers: five layouts, one per device
// generation, encoded from the page's values before a write and decoded back
// after a read. Pure functions over bytes: no port, no globals. An encoding
// that cannot represent a value fails with the transducer's own message (a
// UserError) before anything is sent.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace kelt {

inline constexpr int kSegments = 5;
inline constexpr int kBoundaries = 4;

inline constexpr std::size_t kBlock1Size = 35;  // device type 1, model 0
inline constexpr std::size_t kBlock2Size = 44;  // device type 2, models 1 … 6
inline constexpr std::size_t kBlock3Size = 36;  // device types 3 … 6, models 7 … 11
inline constexpr std::size_t kBlock4Size = 39;  // device types 7, 8, models 12 … 17
inline constexpr std::size_t kBlock5Size = 28;  // device type 9, model 18

using Block1 = std::array<std::uint8_t, kBlock1Size>;
using Block2 = std::array<std::uint8_t, kBlock2Size>;
using Block3 = std::array<std::uint8_t, kBlock3Size>;
using Block4 = std::array<std::uint8_t, kBlock4Size>;
using Block5 = std::array<std::uint8_t, kBlock5Size>;

// The values a block carries, as the page holds them. A block uses the
// fields of its layout and leaves the others alone.
struct KeltBlockValues {
    std::array<double, kSegments> a{};    // A1 … A5
    std::array<double, kSegments> b{};    // B1 … B5
    std::array<double, kBoundaries> f{};  // F12 … F45, Hz
    int du = 1;              // diameter code 1 … 11 (position in the diameter list + 1)
    int outputCode = 1;      // 0 frequency output; 1 … 5 pulse output, weight position + 1
    double pulseLength = 1;  // ms
    int n = 1;               // frequency divider (blocks 1, 2)
    // Blocks 3 and 4: half degrees -7 … 7; block 5: whole degrees -3 … 4.
    int temperatureCorrection = 0;
    int frequencyOutput = 0;          // blocks 3, 4: 0 coefficients, 1 … 5 the preset of that output type
    std::uint32_t factoryNumber = 0;  // block 4
    bool disableRestore = false;           // block 4
    bool disableThermocorrection = false;  // block 4
    int displayOutputType = 0;  // block 5: 0 "V", 1 "V/T"
    int diameterItem = 0;       // block 5: position in the model's diameter list
    // Block 3: the mode bits 5 … 7 of each segment byte as read; block 4: bit 5.
    std::array<std::uint8_t, kSegments> segmentFlags{};
};

// Sum of the bytes modulo 65536.
std::uint16_t Checksum(std::span<const std::uint8_t> bytes);
// The checksum as frames carry it: most significant byte first.
void PutChecksum(std::uint8_t* out, std::uint16_t sum);
std::uint16_t GetChecksum(const std::uint8_t* in);

// The lowest frequency (Hz) a transducer of `model` measures at diameter code `du`.
double MinimumFrequency(int model, int du);

// The fixed ratio of the A codes: s × 65536 ÷ 36000 with s by diameter code.
double CodeScale(int du);

void EncodeBlock1(const KeltBlockValues& values, int model, Block1& out);
KeltBlockValues DecodeBlock1(const Block1& block);
void EncodeBlock2(const KeltBlockValues& values, int model, Block2& out);
KeltBlockValues DecodeBlock2(const Block2& block);
// Block 3 of models 7 … 11. A frequency output (frequencyOutput 1 … 5)
// writes that output's preset and nothing else.
void EncodeBlock3(const KeltBlockValues& values, int model, Block3& out);
KeltBlockValues DecodeBlock3(const Block3& block, int model);
// Block 4 of models 12 … 17.
void EncodeBlock4(const KeltBlockValues& values, int model, Block4& out);
// Whether block 4 keeps a factory number: 23 bits as they are (up to
// kLargestPlainFactoryNumber), or 151000000 … 151999999 as an offset with
// the top bit set. Any other number would read back as another one.
inline constexpr std::uint32_t kLargestPlainFactoryNumber = 0x7FFFFF;
bool FactoryNumberFits(std::uint32_t number);
KeltBlockValues DecodeBlock4(const Block4& block, int model);
// Block 5 of model 18.
void EncodeBlock5(const KeltBlockValues& values, Block5& out);
KeltBlockValues DecodeBlock5(const Block5& block);

// The encoding failures' messages.
std::string InvalidF(int boundary);          // "Недопустимое значение F12" … F45, boundary 0 … 3
std::string InvalidA(int segment);           // "Недопустимое значение A1" …, segment 0 … 4
std::string InvalidAB(int segment);          // "… A1 и/или B1"
std::string InvalidB(int segment);           // "… B1" (block 5)
inline constexpr const char* kInvalidPulseLength = "Недопустимое значение длительности импульса";
// Blocks 3 and 4 spell it with two spaces.
inline constexpr const char* kInvalidPulseLength2 = "Недопустимое значение  длительности импульса";

}  // namespace kelt
