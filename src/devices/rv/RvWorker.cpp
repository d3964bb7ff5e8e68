#include "devices/rv/RvWorker.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "common/MathError.h"
#include "devices/Bytes.h"
#include "devices/LoggedPort.h"

namespace rv {

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
        m_log = OpenedLog(param.port());
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
        LoggedPort wire(m_port, m_log.get(), requestName(param.buffer()[1], param.buffer()[2]));
        m_port.Purge();
        Notify(QueueNotifier::kActivityMessage, 1);
        wire.Write({param.buffer(), length});
        std::this_thread::sleep_for(std::chrono::milliseconds(length));
        const std::size_t received =
            wire.ReadSome(param.buffer(), expected, [expected](auto got) { return judgeReply(got, expected); });
        param.setReplyLength(static_cast<std::int32_t>(received));
        Notify(QueueNotifier::kActivityMessage, 0);
        std::this_thread::sleep_for(kAfterReply);
        break;
    }
    default:
        break;
    }
}
