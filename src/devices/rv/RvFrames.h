#pragma once

// The RV meter's register protocol on the wire: one request frame, one reply
// frame, both
//   address (1) | function (1) | register (1) | data (n = 0 … 251) | CRC-16 (2, low first)
// Function 0x41 reads a register, 0x48 writes one; a reply with bit 7 of the
// function set is an error reply (address, function, error code, CRC).
//
// Pure functions over bytes: building requests, checking replies, the
// register map and the register blocks. Blocks shared with the document
// (outputs, calibration) are in RvBlocks.h; what a reply does is in
// RvReplies.h, the worker that moves the frames in RvWorker.h.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "link/FrameLog.h"

namespace rv {

inline constexpr std::uint8_t FnRead = 0x41;
inline constexpr std::uint8_t FnWrite = 0x48;
inline constexpr std::uint8_t kErrorBit = 0x80;

enum Register : std::uint8_t {
    RegSystem = 0,
    RegCalibration = 2,
    RegOutputs = 3,
    RegStatus = 4,
    RegAddress = 5,
    RegIntegrator = 6,
    RegStartStop = 7,
    RegCurrent = 8,
    RegWorkTime = 9,
    RegObservation = 12,
    RegFirmwareSum = 16,
    RegClearCurrent = 17,
    RegReverseCalibration = 18,
    RegEmptyPipe = 19,
};

inline constexpr std::size_t kFrameBufferSize = 256;
inline constexpr std::size_t kMaxData = 251;
inline constexpr std::size_t kFrameOverhead = 5;  // address, function, register, CRC
using FrameBuffer = std::array<std::uint8_t, kFrameBufferSize>;

// One register of the map: data lengths of its read (request / reply) and
// write (data / reply); -1 where the register has no such request.
struct RegisterInfo {
    std::uint8_t reg;
    const char* name;  // srvtool's name of the register
    int readRequest, readReply;
    int writeData, writeReply;
};
const std::array<RegisterInfo, 14>& registerMap();
const RegisterInfo* findRegister(std::uint8_t reg);
const RegisterInfo* findRegister(const std::string& name);

// Writes address, function, register and the CRC around the n data bytes
// already in frame[3 …]; returns the frame length n + 5. n above kMaxData:
// std::invalid_argument.
std::size_t buildFrame(FrameBuffer& frame, std::uint8_t address, std::uint8_t function,
                       std::uint8_t reg, std::size_t n);

// What the frame checks make of a received reply, in the order they are made.
enum class FrameCheck {
    Valid,            // a read reply or write confirmation of a known register
    ErrorReply,       // an error reply with a right CRC
    BadErrorCrc,      // an error reply with a wrong CRC
    BadCrc,           // fewer than five bytes, or a wrong CRC
    UnknownFunction,  // right CRC, neither read nor write
    UnknownRegister,  // right CRC, a register the map does not hold
};
struct ReplyFrame {
    FrameCheck check = FrameCheck::BadCrc;
    std::uint8_t function = 0;
    std::uint8_t reg = 0;        // the error code of an error reply
    std::size_t length = 0;      // data length (count - 5) once the CRC is right
};
// Checks a reply of `count` bytes (at most the buffer) in `frame`. An error
// reply is checked over its first three bytes whatever number arrived;
// every other reply over its first count - 2 bytes against the two after.
ReplyFrame checkReply(const FrameBuffer& frame, std::size_t count);

// The name of a request in the frame log, by its function and register
// ("чтение системных параметров"); "обмен" for one the map does not hold.
const char* requestName(std::uint8_t function, std::uint8_t reg);

// The frame log's verdict on the `reply` to a request that expects
// `expected` bytes: an error reply (5 bytes, right CRC) is a device error;
// every other reply is checked by its CRC and must have the expected length.
framelog::Verdict judgeReply(std::span<const std::uint8_t> reply, std::size_t expected);

// System parameters (register 0, 9 bytes).
struct SystemBlock {
    static constexpr std::size_t kSize = 9;
    std::uint8_t versionHigh = 0;  // valid 0 … 3; 3 = reversible meter
    std::uint8_t versionLow = 0;   // valid 0 … 6
    std::uint32_t serial = 0;
    std::uint8_t duIndex = 0;      // DuCombo position
    bool knownVersion() const { return versionHigh <= 3 && versionLow <= 6; }
};
void encode(const SystemBlock& block, std::span<std::uint8_t, SystemBlock::kSize> out);
SystemBlock decodeSystem(std::span<const std::uint8_t, SystemBlock::kSize> in);

// Current values (register 8): 15, 19 or 39 data bytes.
struct CurrentValuesBlock {
    static constexpr std::size_t kBase = 15, kWithNoise = 19, kFull = 39;
    std::uint8_t status = 0;
    float sumCode = 0.0f;       // summed ADC code of the current run
    std::uint16_t count = 0;    // measurements summed
    std::uint32_t pulses = 0;   // pulse counter
    float flow = 0.0f;          // m3/h
    std::uint32_t noise = 0;    // summed noise (length >= 19)
    std::uint32_t workTime = 0; // seconds (length >= 39)
    std::uint32_t volumePlusWhole = 0;
    float volumePlusFraction = 0.0f;
    std::uint32_t volumeMinusWhole = 0;
    float volumeMinusFraction = 0.0f;
    std::size_t length = kBase; // data length the block came with

    double volumePlus() const { return volumePlusWhole + static_cast<double>(volumePlusFraction); }
    double volumeMinus() const { return volumeMinusWhole + static_cast<double>(volumeMinusFraction); }
};
// Encodes the fields present at `out.size()` (15, 19 or 39 bytes).
void encode(const CurrentValuesBlock& block, std::span<std::uint8_t> out);
// `in` is the whole data area; `length` says which fields are present.
CurrentValuesBlock decodeCurrent(std::span<const std::uint8_t, CurrentValuesBlock::kFull> in,
                                 std::size_t length);
// The request data byte of a current-values read for a firmware low part
// (none below 2) and the reply data length it brings.
std::optional<std::uint8_t> currentRequestData(int versionLow);
std::size_t currentReplyLength(int versionLow);

// One raw reading (register 12, 5 bytes).
struct ObservationBlock {
    static constexpr std::size_t kSize = 5;
    std::uint8_t status = 0;
    std::int32_t code = 0;
};
void encode(const ObservationBlock& block, std::span<std::uint8_t, ObservationBlock::kSize> out);
ObservationBlock decodeObservation(std::span<const std::uint8_t, ObservationBlock::kSize> in);

// Empty-pipe test parameters (register 19, 13 bytes).
struct EmptyPipeBlock {
    static constexpr std::size_t kSize = 13;
    std::uint8_t disabled = 0;
    std::int32_t codeThreshold = 0;
    std::uint16_t noiseThreshold = 0;
    std::uint16_t codeSpread = 0;
    std::uint16_t noiseSpread = 0;
    std::uint8_t measurements = 0;
    std::uint8_t hysteresis = 0;
    bool operator==(const EmptyPipeBlock&) const = default;
};
void encode(const EmptyPipeBlock& block, std::span<std::uint8_t, EmptyPipeBlock::kSize> out);
EmptyPipeBlock decodeEmptyPipe(std::span<const std::uint8_t, EmptyPipeBlock::kSize> in);

// Continuous work time (register 9, 9 bytes; seconds in bytes 4-7).
inline constexpr std::size_t kWorkTimeSize = 9;
std::uint32_t decodeWorkTime(std::span<const std::uint8_t, kWorkTimeSize> in);
// Firmware checksum (register 16, 7 bytes; the sum in bytes 0-1).
inline constexpr std::size_t kFirmwareSumSize = 7;
std::uint16_t decodeFirmwareSum(std::span<const std::uint8_t, kFirmwareSumSize> in);

// Status byte bits.
inline constexpr std::uint8_t kStatusRun = 0x01;
inline constexpr std::uint8_t kStatusResetPulses = 0x02;
inline constexpr std::uint8_t kStatusRangeMask = 0x0C;
inline constexpr std::uint8_t kStatusReverse = 0x04;    // bit 2 only
inline constexpr std::uint8_t kStatusBelowMin = 0x08;   // bit 3 only
inline constexpr std::uint8_t kStatusFault = 0x20;

// Status register write (2 bytes): which status bit (0 or 1) to set or clear.
std::array<std::uint8_t, 2> statusRequest(int bit, bool set);

}  // namespace rv
