#pragma once

// The RV page's worker and the page's side of its requests: the worker opens
// and closes the port and moves frames built by RvFrames.h; the replies it
// brings back are taken apart by RvReplies.h on the page's thread.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "comprt/ComPort.h"
#include "devices/rv/RvFrames.h"
#include "link/QueueThread.h"

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
    // The port went away: the worker waits for it and reopens it.
    bool PortAway() const override { return m_port.Lost(); }
    bool PortBack() override { return m_port.Reopen(); }

private:
    comprt::ComPort m_port;
    std::shared_ptr<FrameLog> m_log;  // of the open port
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
