#include "devices/rv/RvFrames.h"

#include <algorithm>
#include <stdexcept>

#include "devices/Bytes.h"
#include "devices/rv/Crc16.h"

namespace rv {

namespace {

constexpr std::array<RegisterInfo, 14> kRegisters{{
    {RegSystem, "system", 0, 9, -1, -1},
    {RegCalibration, "calibration", 0, 64, 64, 0},
    {RegOutputs, "outputs", 0, 6, 6, 0},
    {RegStatus, "status", -1, -1, 2, 1},
    {RegAddress, "address", 0, 1, 1, 0},
    {RegIntegrator, "integrator", 0, 1, 1, 0},
    {RegStartStop, "start-stop", -1, -1, 2, 0},
    {RegCurrent, "current", 0, 39, -1, -1},
    {RegWorkTime, "work-time", 0, 9, -1, -1},
    {RegObservation, "observation", 0, 5, -1, -1},
    {RegFirmwareSum, "firmware-sum", 0, 7, -1, -1},
    {RegClearCurrent, "clear-current", -1, -1, 20, 0},
    {RegReverseCalibration, "reverse-calibration", 0, 64, 64, 0},
    {RegEmptyPipe, "empty-pipe", 0, 13, 13, 0},
}};

std::uint16_t getU16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
void putU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

}  // namespace

const std::array<RegisterInfo, 14>& registerMap() { return kRegisters; }

const RegisterInfo* findRegister(std::uint8_t reg) {
    for (const auto& r : kRegisters)
        if (r.reg == reg) return &r;
    return nullptr;
}

const RegisterInfo* findRegister(const std::string& name) {
    for (const auto& r : kRegisters)
        if (name == r.name) return &r;
    return nullptr;
}

std::size_t buildFrame(FrameBuffer& frame, std::uint8_t address, std::uint8_t function,
                       std::uint8_t reg, std::size_t n) {
    if (n > kMaxData) throw std::invalid_argument("RV request data longer than 251 bytes");
    frame[0] = address;
    frame[1] = function;
    frame[2] = reg;
    putU16(frame.data() + 3 + n, Crc16(frame.data(), static_cast<std::uint8_t>(3 + n)));
    return n + kFrameOverhead;
}

ReplyFrame checkReply(const FrameBuffer& frame, std::size_t count) {
    ReplyFrame reply;
    reply.function = frame[1];
    reply.reg = frame[2];
    count = std::min(count, frame.size());
    if (frame[1] & kErrorBit) {
        reply.check = Crc16(frame.data(), 3) == getU16(frame.data() + 3) ? FrameCheck::ErrorReply
                                                                          : FrameCheck::BadErrorCrc;
        return reply;
    }
    if (count < kFrameOverhead ||
        Crc16(frame.data(), static_cast<std::uint8_t>(count - 2)) != getU16(frame.data() + count - 2)) {
        reply.check = FrameCheck::BadCrc;
        return reply;
    }
    reply.length = count - kFrameOverhead;
    if (frame[1] != FnRead && frame[1] != FnWrite)
        reply.check = FrameCheck::UnknownFunction;
    else if (!findRegister(frame[2]))
        reply.check = FrameCheck::UnknownRegister;
    else
        reply.check = FrameCheck::Valid;
    return reply;
}

const char* requestName(std::uint8_t function, std::uint8_t reg) {
    const bool read = function == FnRead;
    if (!read && function != FnWrite) return "обмен";
    switch (reg) {
    case RegSystem: return read ? "чтение системных параметров" : "обмен";
    case RegCalibration: return read ? "чтение калибровочных коэффициентов" : "запись калибровочных коэффициентов";
    case RegOutputs: return read ? "чтение параметров внешних выходов" : "запись параметров внешних выходов";
    case RegStatus: return read ? "обмен" : "обновление регистра статуса";
    case RegAddress: return read ? "чтение сетевого адреса" : "запись сетевого адреса";
    case RegIntegrator: return read ? "чтение интегратора расхода" : "запись интегратора расхода";
    case RegStartStop: return read ? "обмен" : "запись параметров сигнала старт-стоп";
    case RegCurrent: return read ? "чтение текущих параметров" : "обмен";
    case RegWorkTime: return read ? "чтение времени непрерывной работы" : "обмен";
    case RegObservation: return read ? "чтение кода наблюдения" : "обмен";
    case RegFirmwareSum: return read ? "чтение контрольной суммы программы" : "обмен";
    case RegClearCurrent: return read ? "обмен" : "обнуление текущих параметров";
    case RegReverseCalibration:
        return read ? "чтение реверсивных калибровочных коэффициентов" : "запись реверсивных калибровочных коэффициентов";
    case RegEmptyPipe: return read ? "чтение параметров теста пустой трубы" : "запись параметров теста пустой трубы";
    default: return "обмен";
    }
}

framelog::Verdict judgeReply(std::span<const std::uint8_t> reply, std::size_t expected) {
    const std::size_t n = reply.size();
    const auto crcAt = [&reply](std::size_t covered) {
        return Crc16(reply.first(covered)) == getU16(reply.data() + covered);
    };
    if (n >= 2 && (reply[1] & kErrorBit)) {
        // An error reply is five bytes whatever the request expected.
        const bool crcGood = n >= kFrameOverhead && crcAt(3);
        return framelog::Judge(n, kFrameOverhead, crcGood, crcGood);
    }
    return framelog::Judge(n, expected, n >= kFrameOverhead && crcAt(n - 2));
}

void encode(const SystemBlock& block, std::span<std::uint8_t, SystemBlock::kSize> out) {
    std::fill(out.begin(), out.end(), 0);
    out[2] = block.versionHigh;
    out[3] = block.versionLow;
    bytes::putU32(out.data() + 4, block.serial);
    out[8] = block.duIndex;
}

SystemBlock decodeSystem(std::span<const std::uint8_t, SystemBlock::kSize> in) {
    return {in[2], in[3], bytes::getU32(in.data() + 4), in[8]};
}

void encode(const CurrentValuesBlock& b, std::span<std::uint8_t> out) {
    std::fill(out.begin(), out.end(), 0);
    if (out.size() < CurrentValuesBlock::kBase) return;
    std::uint8_t* p = out.data();
    p[0] = b.status;
    bytes::putF32(p + 1, b.sumCode);
    putU16(p + 5, b.count);
    bytes::putU32(p + 7, b.pulses);
    bytes::putF32(p + 11, b.flow);
    if (out.size() >= CurrentValuesBlock::kWithNoise) bytes::putU32(p + 15, b.noise);
    if (out.size() >= CurrentValuesBlock::kFull) {
        bytes::putU32(p + 19, b.workTime);
        bytes::putU32(p + 23, b.volumePlusWhole);
        bytes::putF32(p + 27, b.volumePlusFraction);
        bytes::putU32(p + 31, b.volumeMinusWhole);
        bytes::putF32(p + 35, b.volumeMinusFraction);
    }
}

CurrentValuesBlock decodeCurrent(std::span<const std::uint8_t, CurrentValuesBlock::kFull> in,
                                 std::size_t length) {
    const std::uint8_t* p = in.data();
    CurrentValuesBlock b;
    b.length = length;
    b.status = p[0];
    b.sumCode = bytes::getF32(p + 1);
    b.count = getU16(p + 5);
    b.pulses = bytes::getU32(p + 7);
    b.flow = bytes::getF32(p + 11);
    if (length >= CurrentValuesBlock::kWithNoise) b.noise = bytes::getU32(p + 15);
    if (length >= CurrentValuesBlock::kFull) {
        b.workTime = bytes::getU32(p + 19);
        b.volumePlusWhole = bytes::getU32(p + 23);
        b.volumePlusFraction = bytes::getF32(p + 27);
        b.volumeMinusWhole = bytes::getU32(p + 31);
        b.volumeMinusFraction = bytes::getF32(p + 35);
    }
    return b;
}

std::optional<std::uint8_t> currentRequestData(int versionLow) {
    if (versionLow < 2) return std::nullopt;
    return static_cast<std::uint8_t>(versionLow == 2 ? 2 : 3);
}

std::size_t currentReplyLength(int versionLow) {
    if (versionLow < 2) return CurrentValuesBlock::kBase;
    return versionLow == 2 ? CurrentValuesBlock::kWithNoise : CurrentValuesBlock::kFull;
}

void encode(const ObservationBlock& block, std::span<std::uint8_t, ObservationBlock::kSize> out) {
    out[0] = block.status;
    bytes::putI32(out.data() + 1, block.code);
}

ObservationBlock decodeObservation(std::span<const std::uint8_t, ObservationBlock::kSize> in) {
    return {in[0], bytes::getI32(in.data() + 1)};
}

void encode(const EmptyPipeBlock& b, std::span<std::uint8_t, EmptyPipeBlock::kSize> out) {
    std::uint8_t* p = out.data();
    p[0] = b.disabled;
    bytes::putI32(p + 1, b.codeThreshold);
    putU16(p + 5, b.noiseThreshold);
    putU16(p + 7, b.codeSpread);
    putU16(p + 9, b.noiseSpread);
    p[11] = b.measurements;
    p[12] = b.hysteresis;
}

EmptyPipeBlock decodeEmptyPipe(std::span<const std::uint8_t, EmptyPipeBlock::kSize> in) {
    const std::uint8_t* p = in.data();
    return {p[0], bytes::getI32(p + 1), getU16(p + 5), getU16(p + 7), getU16(p + 9), p[11], p[12]};
}

std::uint32_t decodeWorkTime(std::span<const std::uint8_t, kWorkTimeSize> in) {
    return bytes::getU32(in.data() + 4);
}

std::uint16_t decodeFirmwareSum(std::span<const std::uint8_t, kFirmwareSumSize> in) {
    return getU16(in.data());
}

std::array<std::uint8_t, 2> statusRequest(int bit, bool set) {
    return {static_cast<std::uint8_t>(bit == 0 ? 1 : 2), static_cast<std::uint8_t>(set ? 1 : 2)};
}

}  // namespace rv
