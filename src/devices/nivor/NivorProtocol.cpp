#include "devices/nivor/NivorProtocol.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <limits>

#include "common/MathError.h"
#include "devices/Bytes.h"
#include "devices/LoggedPort.h"

double SpprCommon::time() const { return bytes::getF64(raw.data() + 1); }
void SpprCommon::setTime(double seconds) { bytes::putF64(raw.data() + 1, seconds); }
std::int32_t SpprCommon::pulses() const { return bytes::getI32(raw.data() + 1); }
void SpprCommon::setPulses(std::int32_t count) { bytes::putI32(raw.data() + 1, count); }
double SpprCommon::ratio(int sensor) const { return bytes::getF64(raw.data() + 2 + 8 * sensor); }
double SpprCommon::temperature(int sensor) const { return bytes::getF64(raw.data() + 18 + 8 * sensor); }
void SpprCommon::setTemperatures(double r1, double r2, double t1, double t2) {
    bytes::putF64(raw.data() + 2, r1);
    bytes::putF64(raw.data() + 10, r2);
    bytes::putF64(raw.data() + 18, t1);
    bytes::putF64(raw.data() + 26, t2);
}
double SpprCommon::totalTime() const { return bytes::getF64(raw.data() + 3); }
std::uint32_t SpprCommon::shortValue() const { return bytes::getU32(raw.data() + 3); }
double SpprCommon::inputTime(int k) const { return bytes::getF64(raw.data() + 11 + 8 * k); }
std::uint32_t SpprCommon::inputPulses(int k) const { return bytes::getU32(raw.data() + 43 + 4 * k); }

namespace nivor {

namespace {

constexpr SensorConstants kSensors[2] = {
    {3404.7006347572483, 13307546.542698981, -1715560.13038257},
    {3383.809523809524, 13181768.62502577, -1731601.7316017316},
};

}  // namespace

std::uint8_t checksum(std::span<const std::uint8_t> bytes) {
    unsigned sum = 0;
    for (std::uint8_t b : bytes) sum += b;
    return static_cast<std::uint8_t>(sum);
}

std::uint32_t ticks(double seconds) {
    double t = seconds * kTicksPerSecond;
    if (!std::isfinite(t)) return 0;
    // Only the low 24 bits are sent; the clamp keeps the conversion defined
    // for any typed value.
    t = std::clamp(t, -9.0e15, 9.0e15);
    const auto rounded = static_cast<std::int64_t>(t > 0 ? t + 0.5 : t - 0.5);
    return static_cast<std::uint32_t>(rounded) & k24Bits;
}

std::array<std::uint8_t, 5> timeStopFrame(double seconds) {
    const std::uint32_t t = ticks(seconds);
    std::array<std::uint8_t, 5> f{kTimeStop, static_cast<std::uint8_t>(t), static_cast<std::uint8_t>(t >> 8),
                                  static_cast<std::uint8_t>(t >> 16), 0};
    f[4] = checksum(std::span(f).subspan(1, 3));
    return f;
}

std::array<std::uint8_t, 6> pulseStopFrame(std::int32_t count, std::uint8_t input) {
    const auto n = static_cast<std::uint32_t>(count) & k24Bits;
    std::array<std::uint8_t, 6> f{kPulseStop, static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                                  static_cast<std::uint8_t>(n >> 16), input, 0};
    f[5] = checksum(std::span(f).subspan(1, 4));
    return f;
}

std::uint32_t get24(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16);
}

double voltage(std::uint8_t state) { return (state & kVoltageMask) * 12.0 / 31.0; }
bool voltageLow(std::uint8_t state) { return (state & kVoltageMask) < kLowVoltageCode; }

const SensorConstants& sensorConstants(int type) { return kSensors[type == 1 ? 1 : 0]; }

double temperatureOfRatio(double ratio, int sensorType) {
    const SensorConstants& k = sensorConstants(sensorType);
    const double q = k.C * ratio + k.B;
    if (q > 0.000001) return k.A - std::sqrt(q);
    return -300.0;
}

Temperatures temperatures(std::uint16_t c0, std::uint16_t c1, std::uint16_t s1, std::uint16_t s2,
                          int sensorType) {
    if (c1 == c0) throw UserError(kNotCalibrated);
    Temperatures t;
    const double span = static_cast<double>(c1) - c0;
    t.ratio1 = (static_cast<double>(s1) - c0) / span + 1.0;
    t.ratio2 = (static_cast<double>(s2) - c0) / span + 1.0;
    t.t1 = temperatureOfRatio(t.ratio1, sensorType);
    t.t2 = temperatureOfRatio(t.ratio2, sensorType);
    for (double v : {t.ratio1, t.ratio2, t.t1, t.t2})
        if (!std::isfinite(v)) throw UserError(kTemperatureError);
    return t;
}

void decodeMeasurement(std::span<const std::uint8_t, 29> block, SpprCommon& param) {
    if (checksum(block.first(28)) != block[28]) throw UserError(kChecksumError);
    std::uint8_t* p = param.raw.data();
    p[2] = block[0];
    bytes::putF64(p + 3, get24(block.data() + 1) / kTicksPerSecond);
    for (int k = 0; k < 4; ++k) {
        bytes::putF64(p + 11 + 8 * k, get24(block.data() + 4 + 6 * k) / kTicksPerSecond);
        bytes::putU32(p + 43 + 4 * k, get24(block.data() + 7 + 6 * k));
    }
}

const char* commandName(std::uint8_t command) {
    switch (command) {
    case kTimeStop: return "старт: остановка по времени";
    case kStartStop1: return "старт: старт/стоп 1";
    case kStartStop2: return "старт: старт/стоп 2";
    case kPulseStop: return "старт: остановка по импульсам";
    case kTemperature: return "измерение температуры";
    case kPoll: return "опрос";
    case kStop: return "стоп";
    default: return "приветствие";
    }
}

framelog::Verdict judgeEcho(std::span<const std::uint8_t> sent, std::span<const std::uint8_t> echo) {
    const bool same = echo.size() == sent.size() && std::equal(echo.begin(), echo.end(), sent.begin());
    return framelog::Judge(echo.size(), sent.size(), same);
}

framelog::Verdict judgeChecked(std::span<const std::uint8_t> answer, std::size_t expected) {
    const bool sumGood = answer.size() == expected && expected >= 2 &&
                         checksum(answer.first(expected - 1)) == answer[expected - 1];
    return framelog::Judge(answer.size(), expected, sumGood);
}

framelog::Verdict judgeReplyCode(std::span<const std::uint8_t> answer) {
    const bool known = !answer.empty() && (answer[0] <= 4 || answer[0] == 9);
    return framelog::Judge(answer.size(), 1, known);
}

}  // namespace nivor

void SpprThread::Greeting(LoggedPort& wire) {
    using namespace nivor;
    m_port.Purge();
    const std::uint8_t hello = kGreeting;
    wire.Write(std::span(&hello, 1));
    std::uint8_t echo = 0;
    wire.Read(&echo, 1, [&hello](auto got) { return judgeEcho(std::span(&hello, 1), got); });
    if (echo != kGreeting) throw UserError(kExchangeError);
    std::uint8_t id[3];
    wire.Read(id, 3, [](auto got) { return judgeChecked(got, 3); });
    if (checksum(std::span(id, 2)) != id[2]) throw UserError(kChecksumError);
    if (id[1] != kInstrumentType) throw UserError(kUnsupportedType);
}

void SpprThread::Process(std::int32_t code, SpprCommon& param) {
    using namespace nivor;
    if (code == kOpenPort) {
        m_port.Open(param.port(), kBaud, m_readTimeout, 0, comprt::DtrControl::Enable,
                    comprt::RtsControl::Disable, 0);
        if (param.port() != 0 && !m_port.IsOpen()) throw UserError(comprt::kPortNotOpen);
        m_log = OpenedLog(param.port());
        return;
    }
    if (code != kCommand) return;
    const std::uint8_t command = param.command();
    LoggedPort wire(m_port, m_log.get(), commandName(command));
    Greeting(wire);
    // Sends `frame` and expects it echoed.
    const auto echoed = [&wire](std::span<const std::uint8_t> frame) {
        wire.Write(frame);
        std::uint8_t back[8];
        wire.Read(back, frame.size(), [frame](auto got) { return judgeEcho(frame, got); });
        if (!std::equal(frame.begin(), frame.end(), back)) throw UserError(kExchangeError);
    };
    switch (command) {
    case kTimeStop: {
        const auto frame = timeStopFrame(param.time());
        echoed(frame);
        break;
    }
    case kStartStop1:
    case kStartStop2:
        echoed(std::span(&command, 1));
        break;
    case kPulseStop: {
        const auto frame = pulseStopFrame(param.pulses(), param.input());
        echoed(frame);
        break;
    }
    case kTemperature: {
        echoed(std::span(&command, 1));
        std::uint8_t r[9];
        wire.Read(r, sizeof r, [](auto got) { return judgeChecked(got, 9); });
        if (checksum(std::span(r, 8)) != r[8]) throw UserError(kChecksumError);
        const auto u16 = [&r](int i) { return static_cast<std::uint16_t>(r[i] | (r[i + 1] << 8)); };
        const Temperatures t = temperatures(u16(0), u16(2), u16(4), u16(6), param.sensor());
        param.setTemperatures(t.ratio1, t.ratio2, t.t1, t.t2);
        break;
    }
    case kPoll:
    case kStop: {
        wire.Write(std::span(&command, 1));
        std::uint8_t replyCode = 0;
        wire.Read(&replyCode, 1, [](auto got) { return judgeReplyCode(got); });
        param.raw[1] = replyCode;
        if (replyCode <= 3) {
            std::array<std::uint8_t, 29> block{};
            wire.Read(block.data(), block.size(), [](auto got) { return judgeChecked(got, 29); });
            decodeMeasurement(block, param);
        } else if (replyCode == 9) {
            std::uint8_t s[3];
            wire.Read(s, 3, [](auto got) { return judgeChecked(got, 3); });
            if (checksum(std::span(s, 2)) != s[2]) throw UserError(kChecksumError);
            param.raw[2] = s[0];
            bytes::putU32(param.raw.data() + 3, s[1]);
        } else if (replyCode != 4) {
            throw UserError(kExchangeError);
        }
        break;
    }
    default:
        break;  // no exchange beyond the greeting
    }
}
