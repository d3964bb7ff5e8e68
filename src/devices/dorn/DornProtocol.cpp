#include "devices/dorn/DornProtocol.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/MathError.h"
#include "devices/LoggedPort.h"

namespace dorn {

namespace {

constexpr std::uint8_t kReadCode = 128;
constexpr std::uint8_t kCr = 13;

// Half away from zero; values far outside the 16-bit range are clamped
// before the conversion so that a huge or non-finite A cannot overflow it.
std::int64_t roundCount(double value) {
    if (!std::isfinite(value)) return std::numeric_limits<std::int32_t>::max();
    value = std::clamp(value, -1e12, 1e12);
    return static_cast<std::int64_t>(value > 0 ? value + 0.5 : value - 0.5);
}

}  // namespace

int scale(int du) {
    if (du <= 4) return 100000;
    if (du <= 8) return 10000;
    return 1000;
}

Frame writeFrame(double a, double b, int du) {
    const int s = scale(du);
    const std::int64_t e = roundCount(a * s);
    const std::int64_t m = roundCount(b * s);
    const std::int64_t g = du <= 3 ? 2 * e : e;
    if (g < 0 || g > kMaxCount) throw UserError(kBadCoefficients);
    if (e + m < 0 || e + m > kMaxCount) throw UserError(kBadCoefficients);
    // From here m lies within -36000 … 36000.
    const auto bits = static_cast<std::uint16_t>(static_cast<std::int32_t>(m) & 0xFFFF);
    Frame f{};
    f[0] = du <= 3 ? 1 : 0;
    f[1] = static_cast<std::uint8_t>(g >> 8);
    f[2] = static_cast<std::uint8_t>(g);
    f[3] = m < 0 ? 1 : 0;
    f[4] = static_cast<std::uint8_t>(bits >> 8);
    f[5] = static_cast<std::uint8_t>(bits);
    unsigned sum = 0;
    for (int i = 0; i < 6; ++i) sum += f[i];
    f[6] = static_cast<std::uint8_t>(sum);
    f[7] = kCr;
    return f;
}

Frame readRequest() { return Frame{kReadCode, 0, 0, 0, 0, 0, 0, kCr}; }

Coefficients decodeAnswer(std::span<const std::uint8_t, kFrameSize> answer, int du) {
    const double s = scale(du);
    int a = (answer[1] << 8) | answer[2];
    if (answer[0] != 0) a /= 2;
    int b = (answer[4] << 8) | answer[5];
    if (answer[3] != 0) b -= 65536;
    return {a / s, b / s};
}

framelog::Verdict judgeEcho(std::span<const std::uint8_t> request, std::span<const std::uint8_t> echo) {
    const bool same = echo.size() == request.size() && std::equal(echo.begin(), echo.end(), request.begin());
    return framelog::Judge(echo.size(), kFrameSize, same);
}

framelog::Verdict judgeAnswer(std::span<const std::uint8_t> answer) {
    return framelog::Judge(answer.size(), kFrameSize, true);
}

}  // namespace dorn

void DornThread::Process(std::int32_t code, DornCommon& param) {
    using namespace dorn;
    switch (code) {
    case kOpenPort:
        m_port.Open(param.port, kBaud, m_readTimeout, 0, comprt::DtrControl::Enable,
                    comprt::RtsControl::Disable, 0);
        // An index beyond the list closes instead; the page must learn that
        // the port it asked for is not open.
        if (param.port != 0 && !m_port.IsOpen()) throw UserError(comprt::kPortNotOpen);
        m_log = OpenedLog(param.port);
        break;
    case kWriteCoefficients: {
        const Frame request = writeFrame(param.A, param.B, param.du);
        if (!m_port.IsOpen()) throw UserError(comprt::kPortNotOpen);
        LoggedPort wire(m_port, m_log.get(), kWriteName);
        m_port.PurgeInput();
        wire.Write(request);
        Frame echo{};
        wire.Read(echo.data(), echo.size(), [&request](auto got) { return judgeEcho(request, got); });
        if (echo != request) throw UserError(kExchangeError);
        break;
    }
    case kReadCoefficients: {
        if (!m_port.IsOpen()) throw UserError(comprt::kPortNotOpen);
        const Frame request = readRequest();
        LoggedPort wire(m_port, m_log.get(), kReadName);
        m_port.PurgeInput();
        wire.Write(request);
        Frame answer{};
        wire.Read(answer.data(), answer.size(), [](auto got) { return judgeAnswer(got); });
        const Coefficients c = decodeAnswer(answer, param.du);
        param.A = c.A;
        param.B = c.B;
        break;
    }
    default:
        break;
    }
}
