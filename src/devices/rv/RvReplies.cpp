#include "devices/rv/RvReplies.h"

#include <cstdio>
#include <exception>
#include <span>

namespace rv {

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

std::string workTimeMessage(std::uint32_t s) {
    char text[128];
    std::snprintf(text, sizeof text, "Время непрерывной работы %d суток %d часов %d минут",
                  static_cast<int>(s / 86400), static_cast<int>((s % 86400) / 3600),
                  static_cast<int>((s % 3600) / 60));
    return text;
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
        const std::uint32_t seconds = decodeWorkTime(view.operator()<kWorkTimeSize>());
        h.workTime(seconds);
        console.message(workTimeMessage(seconds));
        return true;
    }
    case RegObservation:
        h.observation(decodeObservation(view.operator()<ObservationBlock::kSize>()));
        return true;
    case RegFirmwareSum:
        h.firmwareSum(decodeFirmwareSum(view.operator()<kFirmwareSumSize>()));
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

}  // namespace

ReplyResult dispatchReply(const FrameBuffer& frame, std::size_t count, ReplyHandler& handler,
                          Console& console) {
    const ReplyFrame reply = checkReply(frame, count);
    ReplyResult result;
    result.function = reply.function;
    result.reg = reply.reg;
    switch (reply.check) {
    case FrameCheck::ErrorReply:
        result.errorCode = reply.reg;
        console.message(errorMessage(reply.reg));
        result.outcome = ReplyOutcome::ErrorReply;
        return result;
    case FrameCheck::BadErrorCrc: result.outcome = ReplyOutcome::BadErrorReply; return result;
    case FrameCheck::BadCrc: result.outcome = ReplyOutcome::BadCrc; return result;
    case FrameCheck::UnknownFunction: result.outcome = ReplyOutcome::UnknownFunction; return result;
    case FrameCheck::UnknownRegister: result.outcome = ReplyOutcome::UnknownRegister; return result;
    case FrameCheck::Valid: break;
    }
    try {
        if (reply.function == FnRead) {
            result.outcome = applyRead(frame, reply.length, handler, console) ? ReplyOutcome::Applied
                                                                              : ReplyOutcome::BadLength;
        } else {
            if (reply.reg == RegStatus) handler.status(frame[3]);
            if (const char* text = writeMessage(reply.reg)) console.message(text);
            handler.written(reply.reg);
            result.outcome = ReplyOutcome::Applied;
        }
    } catch (const std::exception&) {
        console.message(kBadData);
        result.outcome = ReplyOutcome::BadData;
    }
    return result;
}

}  // namespace rv
