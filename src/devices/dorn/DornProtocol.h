#pragma once

// The Dorn transducer's serial exchange: 8-byte frames at 600 baud. A write
// request carries A and B scaled by the diameter and is echoed; a read
// request is answered in the write layout.

#include <array>
#include <cstdint>
#include <span>

#include <memory>

#include "comprt/ComPort.h"
#include "link/FrameLog.h"
#include "link/QueueThread.h"

// The request parameter block of the Dorn worker.
struct DornCommon {
    double A = 0.0;         // input of a write, result of a read
    double B = 0.0;         // input of a write, result of a read
    std::int32_t du = 2;    // diameter code 2 … 11 (diameter position + 2)
    // Port index of the open request (0 = none). As wide as the port list
    // is long: its 256th name must not wrap round to "no port".
    std::int32_t port = 0;
};

namespace dorn {

inline constexpr const char* kBadCoefficients = "Недопустимые значения коэффициентов A и/или B";
inline constexpr const char* kExchangeError = "Ошибка обмена";

// Request codes of DornThread.
inline constexpr std::int32_t kOpenPort = 0;
inline constexpr std::int32_t kWriteCoefficients = 1;
inline constexpr std::int32_t kReadCoefficients = 2;

inline constexpr std::size_t kFrameSize = 8;
using Frame = std::array<std::uint8_t, kFrameSize>;

// The largest value the transducer takes for the sent A and for A + B.
inline constexpr std::int32_t kMaxCount = 36000;

// Counts per unit of A and B: 100000 up to code 4, 10000 up to 8, else 1000.
int scale(int du);

// The write request for A and B at a diameter code. Values out of the
// transducer's range: UserError kBadCoefficients.
Frame writeFrame(double a, double b, int du);
// The read request: 128, six zeros, carriage return.
Frame readRequest();

struct Coefficients {
    double A = 0.0;
    double B = 0.0;
};
// A and B of an answer in the write layout (bytes 6 and 7 are not looked at).
Coefficients decodeAnswer(std::span<const std::uint8_t, kFrameSize> answer, int du);

// The requests' names in the frame log.
inline constexpr const char* kWriteName = "запись коэффициентов";
inline constexpr const char* kReadName = "чтение коэффициентов";

// The frame log's verdict on the echo of a write: all 8 bytes, equal to the
// request.
framelog::Verdict judgeEcho(std::span<const std::uint8_t> request, std::span<const std::uint8_t> echo);
// On the answer of a read, which carries nothing the page checks: its
// length only.
framelog::Verdict judgeAnswer(std::span<const std::uint8_t> answer);

}  // namespace dorn

// The Dorn page's worker: open the port, write or read the coefficients.
class DornThread : public QueueThread<DornCommon> {
public:
    static constexpr std::uint32_t kBaud = 600;
    static constexpr std::uint32_t kReadTimeout = 4000;

    ~DornThread() override { Stop(); }

    // The read timeout the open request sets; tests shorten it.
    void setReadTimeout(std::uint32_t milliseconds) { m_readTimeout = milliseconds; }

protected:
    void Process(std::int32_t code, DornCommon& param) override;
    // The port went away: the worker waits for it and reopens it.
    bool PortAway() const override { return m_port.Lost(); }
    bool PortBack() override { return m_port.Reopen(); }

private:
    comprt::ComPort m_port;
    std::shared_ptr<FrameLog> m_log;  // of the open port
    std::uint32_t m_readTimeout = kReadTimeout;
};
