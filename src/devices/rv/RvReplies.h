#pragma once

// What a checked RV reply does: which handler call it makes and which
// messages it writes to the console, in the page's order. Knows nothing of
// the page: the page, srvtool or a test each bring their own ReplyHandler.

#include <cstdint>
#include <string>

#include "common/Console.h"
#include "devices/rv/RvBlocks.h"
#include "devices/rv/RvFrames.h"

namespace rv {

// The message of an error reply's code.
const char* errorMessage(std::uint8_t code);

// "Время непрерывной работы %d суток %d часов %d минут".
std::string workTimeMessage(std::uint32_t seconds);

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
// A short English account of an outcome (srvtool's failure text).
const char* outcomeText(ReplyOutcome outcome);

// Checks a reply of `count` bytes in `frame` and hands its contents to
// `handler`, writing the reply's messages to `console` in the page's order.
ReplyResult dispatchReply(const FrameBuffer& frame, std::size_t count, ReplyHandler& handler,
                          Console& console);

}  // namespace rv
