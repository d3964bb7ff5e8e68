#include "devices/rv/RvProtocol.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <thread>

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

const char* errorMessage(std::uint8_t code) {
    switch (code) {
    case 1: return "Недопустимый(неподдерживаемый) номер функции";
    case 2: return "Недопустимый(неверный) номер регистра";
    case 3: return "Недопустимое значение в поле данных";
    case 4: return "Внутренняя ошибка прибора";
    case 6: return "Устройство занято";
    case 7: return "Доступ к регистру закрыт";
    default: return "Общая ошибка(без конкретизации причины)";
    }
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

std::string workTimeMessage(std::uint32_t s) {
    char text[128];
    std::snprintf(text, sizeof text, "Время непрерывной работы %d суток %d часов %d минут",
                  static_cast<int>(s / 86400), static_cast<int>((s % 86400) / 3600),
                  static_cast<int>((s % 3600) / 60));
    return text;
}

std::array<std::uint8_t, 2> statusRequest(int bit, bool set) {
    return {static_cast<std::uint8_t>(bit == 0 ? 1 : 2), static_cast<std::uint8_t>(set ? 1 : 2)};
}

const char* outcomeText(ReplyOutcome outcome) {
    switch (outcome) {
    case ReplyOutcome::Applied: return "applied";
    case ReplyOutcome::ErrorReply: return "error reply";
    case ReplyOutcome::BadErrorReply: return "error reply with a wrong CRC dropped";
    case ReplyOutcome::BadCrc: return "reply with a wrong CRC dropped";
    case ReplyOutcome::BadLength: return "reply with a wrong data length dropped";
    case ReplyOutcome::UnknownFunction: return "reply with an unknown function dropped";
    case ReplyOutcome::UnknownRegister: return "reply for an unknown register dropped";
    case ReplyOutcome::BadData: return "reply data could not be applied";
    }
    return "";
}

namespace {

// The read replies. Returns false when the reply is dropped.
bool applyRead(const FrameBuffer& frame, std::size_t length, ReplyHandler& h, Console& console) {
    const std::uint8_t* data = frame.data() + 3;
    // The data area always spans the whole buffer, so fixed-size views are
    // safe whatever arrived; the length decides what counts.
    const auto view = [data]<std::size_t N>() { return std::span<const std::uint8_t, N>(data, N); };
    switch (frame[2]) {
    case RegSystem: {
        if (length != SystemBlock::kSize) break;
        const SystemBlock block = decodeSystem(view.operator()<SystemBlock::kSize>());
        if (!block.knownVersion()) console.message(kUnknownVersion);
        h.system(block);
        console.message("Системные параметры считаны");
        return true;
    }
    case RegCalibration:
    case RegReverseCalibration: {
        if (length != CalibrationBlock::kSize) break;
        const bool direct = frame[2] == RegCalibration;
        h.calibration(direct ? CalibrGrid::Direct : CalibrGrid::Reverse,
                      decodeCalibration(view.operator()<CalibrationBlock::kSize>()));
        console.message(direct ? "Калибровочные коэффициенты успешно считаны"
                               : "Реверсивные калибровочные коэффициенты успешно считаны");
        return true;
    }
    case RegOutputs:
        if (length != OutputsBlock::kSize) console.message(kBadLength);
        h.outputs(decodeOutputs(view.operator()<OutputsBlock::kSize>()));
        console.message("Параметы внешних выходов считаны");
        return true;
    case RegStatus:
        if (length != 1) console.message(kBadLength);
        h.status(data[0]);
        console.message("Регистр статуса считан");
        return true;
    case RegAddress:
        if (length != 1) console.message(kBadLength);
        h.address(data[0]);
        console.message("Сетевой адрес считан");
        return true;
    case RegIntegrator:
        if (length != 1) console.message(kBadLength);
        h.integrator(data[0]);
        console.message("Интегратор расхода адрес считан");
        return true;
    case RegCurrent:
        h.current(decodeCurrent(view.operator()<CurrentValuesBlock::kFull>(), length));
        return true;
    case RegWorkTime: {
        const std::uint32_t seconds = bytes::getU32(data + 4);
        h.workTime(seconds);
        console.message(workTimeMessage(seconds));
        return true;
    }
    case RegObservation:
        h.observation(decodeObservation(view.operator()<ObservationBlock::kSize>()));
        return true;
    case RegFirmwareSum:
        h.firmwareSum(getU16(data));
        return true;
    case RegEmptyPipe:
        h.emptyPipe(decodeEmptyPipe(view.operator()<EmptyPipeBlock::kSize>()));
        console.message("Параметры теста пустой трубы считаны");
        return true;
    default:
        return false;
    }
    console.message(kBadLength);
    return false;
}

const char* writeMessage(std::uint8_t reg) {
    switch (reg) {
    case RegCalibration: return "Калибровочные коэффициенты установлены";
    case RegReverseCalibration: return "Реверсивные калибровочные коэффициенты установлены";
    case RegOutputs: return "Параметры внещних выходов установлены";
    case RegStatus: return "Регистр статуса обновлен";
    case RegAddress: return "Сетевой адрес установлен";
    case RegIntegrator: return "Интегратор расхода установлен";
    case RegStartStop: return "Параметры сигнала старт-стоп установлены";
    case RegClearCurrent: return "Текущие параметры обнулены";
    case RegEmptyPipe: return "Параметры теста пустой трубы установлены";
    default: return nullptr;
    }
}

bool knownRegister(std::uint8_t reg) { return findRegister(reg) != nullptr; }

}  // namespace

ReplyResult dispatchReply(const FrameBuffer& frame, std::size_t count, ReplyHandler& handler,
                          Console& console) {
    ReplyResult result;
    result.function = frame[1];
    result.reg = frame[2];
    count = std::min(count, frame.size());
    if (frame[1] & kErrorBit) {
        // Checked over its first three bytes whatever number arrived.
        if (Crc16(frame.data(), 3) != getU16(frame.data() + 3)) {
            result.outcome = ReplyOutcome::BadErrorReply;
            return result;
        }
        result.errorCode = frame[2];
        console.message(errorMessage(frame[2]));
        result.outcome = ReplyOutcome::ErrorReply;
        return result;
    }
    if (count < kFrameOverhead ||
        Crc16(frame.data(), static_cast<std::uint8_t>(count - 2)) != getU16(frame.data() + count - 2)) {
        result.outcome = ReplyOutcome::BadCrc;
        return result;
    }
    const std::size_t length = count - kFrameOverhead;
    if (frame[1] != FnRead && frame[1] != FnWrite) {
        result.outcome = ReplyOutcome::UnknownFunction;
        return result;
    }
    if (!knownRegister(frame[2])) {
        result.outcome = ReplyOutcome::UnknownRegister;
        return result;
    }
    try {
        if (frame[1] == FnRead) {
            result.outcome = applyRead(frame, length, handler, console) ? ReplyOutcome::Applied
                                                                        : ReplyOutcome::BadLength;
        } else {
            if (frame[2] == RegStatus) handler.status(frame[3]);
            if (const char* text = writeMessage(frame[2])) console.message(text);
            handler.written(frame[2]);
            result.outcome = ReplyOutcome::Applied;
        }
    } catch (const std::exception&) {
        console.message(kBadData);
        result.outcome = ReplyOutcome::BadData;
    }
    return result;
}

void sendRequest(QueueThread<RVx2Common>& worker, FrameBuffer& frame, std::uint8_t address,
                 std::uint8_t function, std::uint8_t reg, std::size_t n, std::size_t m) {
    const std::size_t length = buildFrame(frame, address, function, reg, n);
    const std::size_t expected = std::min(m + kFrameOverhead, kFrameBufferSize);
    RVx2Common& slot = worker.Slot();
    std::memcpy(slot.buffer(), frame.data(), kFrameBufferSize);
    slot.setRequestLength(static_cast<std::int32_t>(length));
    slot.setReplyLength(static_cast<std::int32_t>(expected));
    const std::int32_t code = reg == RegCurrent || reg == RegObservation ? kQuietExchange : kExchange;
    const std::uint32_t condition =
        worker.Pending() >= 7 ? queue_condition::kDropQuietly : queue_condition::kForce;
    worker.Post(code, condition);
}

void postOpen(QueueThread<RVx2Common>& worker, std::uint8_t port, std::int32_t baud) {
    RVx2Common& slot = worker.Slot();
    slot.setPort(port);
    slot.setSpeed(baud);
    worker.Post(kOpenPort, queue_condition::kForce);
}

void postClose(QueueThread<RVx2Common>& worker) { worker.Post(kClosePort, queue_condition::kForce); }

std::size_t takeReply(const RVx2Common& param, FrameBuffer& frame) {
    std::memcpy(frame.data(), param.buffer(), kFrameBufferSize);
    return static_cast<std::size_t>(std::clamp<std::int32_t>(param.replyLength(), 0, kFrameBufferSize));
}

}  // namespace rv

std::int32_t RVx2Common::speed() const { return bytes::getI32(raw.data() + 1); }
void RVx2Common::setSpeed(std::int32_t baud) { bytes::putI32(raw.data() + 1, baud); }
std::int32_t RVx2Common::requestLength() const { return bytes::getI32(raw.data()); }
void RVx2Common::setRequestLength(std::int32_t length) { bytes::putI32(raw.data(), length); }
std::int32_t RVx2Common::replyLength() const { return bytes::getI32(raw.data() + 4); }
void RVx2Common::setReplyLength(std::int32_t length) { bytes::putI32(raw.data() + 4, length); }

void RVx2Thread::Process(std::int32_t code, RVx2Common& param) {
    using namespace rv;
    switch (code) {
    case kOpenPort: {
        m_port.Open(param.port(), static_cast<std::uint32_t>(param.speed()), kOpenTimeout);
        if (!m_port.IsOpen()) throw UserError(comprt::kPortNotOpen);
        m_port.EscapeFunction(comprt::kSetDtr);
        m_port.EscapeFunction(comprt::kClrRts);
        comprt::Timeouts t;
        t.readInterval = 50;
        t.readTotalConstant = 100;
        m_port.SetTimeouts(t);
        std::this_thread::sleep_for(kSettle);
        break;
    }
    case kClosePort:
        m_port.Close();
        break;
    case kExchange:
    case kQuietExchange: {
        // Lengths come from the page; a damaged block must not make the
        // port write or read past the 256-byte frame.
        const auto length = static_cast<std::size_t>(
            std::clamp<std::int32_t>(param.requestLength(), 0, kFrameBufferSize));
        const auto expected = static_cast<std::size_t>(
            std::clamp<std::int32_t>(param.replyLength(), 1, kFrameBufferSize));
        m_port.Purge();
        Notify(QueueNotifier::kActivityMessage, 1);
        m_port.Write(param.buffer(), length);
        std::this_thread::sleep_for(std::chrono::milliseconds(length));
        const std::size_t received = m_port.ReadSome(param.buffer(), expected);
        param.setReplyLength(static_cast<std::int32_t>(received));
        Notify(QueueNotifier::kActivityMessage, 0);
        std::this_thread::sleep_for(kAfterReply);
        break;
    }
    default:
        break;
    }
}
