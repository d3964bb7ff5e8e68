#pragma once

// The RV meter's register protocol: one request frame, one reply frame.
//   address (1) | function (1) | register (1) | data (n = 0 … 251) | CRC-16 (2, low first)
// Function 0x41 reads a register, 0x48 writes one; a reply with bit 7 of the
// function set is an error reply (address, function, error code, CRC).
//
// This file holds the frame builder, the register map and its blocks, the
// worker (RVx2Thread) and the reply validation and dispatch that the RV page
// runs on its own thread. Blocks shared with the document (outputs,
// calibration) are in RvBlocks.h.

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "common/Console.h"
#include "comprt/ComPort.h"
#include "devices/rv/RvBlocks.h"
#include "devices/rv/RvPageState.h"
#include "link/QueueThread.h"

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

// The message of an error reply's code.
const char* errorMessage(std::uint8_t code);

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
// Firmware checksum (register 16, 7 bytes; the sum in bytes 0-1).
inline constexpr std::size_t kFirmwareSumSize = 7;
// "Время непрерывной работы %d суток %d часов %d минут".
std::string workTimeMessage(std::uint32_t seconds);

// Status byte bits.
inline constexpr std::uint8_t kStatusRun = 0x01;
inline constexpr std::uint8_t kStatusResetPulses = 0x02;
inline constexpr std::uint8_t kStatusRangeMask = 0x0C;
inline constexpr std::uint8_t kStatusReverse = 0x04;    // bit 2 only
inline constexpr std::uint8_t kStatusBelowMin = 0x08;   // bit 3 only
inline constexpr std::uint8_t kStatusFault = 0x20;

// Status register write (2 bytes): which status bit (0 or 1) to set or clear.
std::array<std::uint8_t, 2> statusRequest(int bit, bool set);

// Messages of the reply handling.
inline constexpr const char* kBadLength = "Неверная длина данных принятого пакета";
inline constexpr const char* kUnknownVersion = "Неизвестная версия прибора";
inline constexpr const char* kBadData = "Приняты некоректные данные";

// What a valid reply carries; the page (or srvtool) applies it. A throwing
// handler makes the dispatch write kBadData.
class ReplyHandler {
public:
    virtual ~ReplyHandler() = default;
    virtual void system(const SystemBlock&) {}
    virtual void firmwareSum(std::uint16_t) {}
    virtual void calibration(CalibrGrid, const CalibrationBlock&) {}
    virtual void outputs(const OutputsBlock&) {}
    virtual void status(std::uint8_t) {}  // status register replies
    virtual void address(std::uint8_t) {}
    virtual void integrator(std::uint8_t) {}
    virtual void current(const CurrentValuesBlock&) {}
    virtual void workTime(std::uint32_t) {}
    virtual void observation(const ObservationBlock&) {}
    virtual void emptyPipe(const EmptyPipeBlock&) {}
    // A write confirmation of a register (after its message).
    virtual void written(std::uint8_t) {}
};

enum class ReplyOutcome {
    Applied,          // a read reply or write confirmation was handled
    ErrorReply,       // an error reply with a right CRC: its message was written
    BadErrorReply,    // an error reply with a wrong CRC: dropped silently
    BadCrc,           // dropped silently
    BadLength,        // the length message was written and the reply dropped
    UnknownFunction,  // dropped silently
    UnknownRegister,  // dropped silently
    BadData,          // applying it failed: kBadData was written
};
struct ReplyResult {
    ReplyOutcome outcome = ReplyOutcome::BadCrc;
    std::uint8_t function = 0;
    std::uint8_t reg = 0;
    std::uint8_t errorCode = 0;  // of an error reply
};
// Too short to tell (fewer bytes than an error reply needs to be read).
const char* outcomeText(ReplyOutcome outcome);

// Checks a reply of `count` bytes in `frame` and hands its contents to
// `handler`, writing the reply's messages to `console` in the page's order.
ReplyResult dispatchReply(const FrameBuffer& frame, std::size_t count, ReplyHandler& handler,
                          Console& console);

}  // namespace rv

// The RV worker's request block, 264 bytes, read two ways. Open (code 0):
// byte 0 the port number, bytes 1-4 the speed. Exchanges (codes 2, 3):
// bytes 0-3 the request length, bytes 4-7 the expected reply length
// (the received length on return), bytes 8 … 263 the frame.
struct RVx2Common {
    static constexpr std::size_t kSize = 264;
    std::array<std::uint8_t, kSize> raw{};

    std::uint8_t port() const { return raw[0]; }
    void setPort(std::uint8_t index) { raw[0] = index; }
    std::int32_t speed() const;
    void setSpeed(std::int32_t baud);
    std::int32_t requestLength() const;
    void setRequestLength(std::int32_t length);
    std::int32_t replyLength() const;
    void setReplyLength(std::int32_t length);
    std::uint8_t* buffer() { return raw.data() + 8; }
    const std::uint8_t* buffer() const { return raw.data() + 8; }
};

namespace rv {

// Request codes of RVx2Thread.
inline constexpr std::int32_t kOpenPort = 0;
inline constexpr std::int32_t kClosePort = 1;
inline constexpr std::int32_t kExchange = 2;       // failure reported
inline constexpr std::int32_t kQuietExchange = 3;  // failure not reported (polls)

}  // namespace rv

// The RV page's worker: opens and closes the port and performs exchanges.
// Process notifies kActivityMessage with 1 when it starts transmitting and
// 0 when a reply has arrived.
class RVx2Thread : public QueueThread<RVx2Common> {
public:
    static constexpr std::uint32_t kOpenTimeout = 50;
    static constexpr auto kSettle = std::chrono::milliseconds(500);
    static constexpr auto kAfterReply = std::chrono::milliseconds(20);

    ~RVx2Thread() override { Stop(); }

protected:
    void Process(std::int32_t code, RVx2Common& param) override;

private:
    comprt::ComPort m_port;
};

namespace rv {

// The page's side of an exchange: `frame` holds the data at offset 3; puts
// the address, function, register and CRC around it, copies the frame into
// the worker's slot with request length n + 5 and expected length m + 5,
// and posts it: code 3 for the polled registers 8 and 12, else 2; forced
// while fewer than seven requests are pending, else dropped quietly.
void sendRequest(QueueThread<RVx2Common>& worker, FrameBuffer& frame, std::uint8_t address,
                 std::uint8_t function, std::uint8_t reg, std::size_t n, std::size_t m);
// The open request (port number 1-based, 0 closes) and the close request.
void postOpen(QueueThread<RVx2Common>& worker, std::uint8_t port, std::int32_t baud);
void postClose(QueueThread<RVx2Common>& worker);
// Copies a completed exchange's reply into the page's frame buffer; returns
// the received count.
std::size_t takeReply(const RVx2Common& param, FrameBuffer& frame);

}  // namespace rv
