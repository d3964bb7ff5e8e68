#pragma once

// The Nivor counting instrument ("НИВ-2.3"): byte commands at 9600 baud.
// Every exchange starts with a greeting (0x09 echoed, then instrument type
// and checksum); then one command. Times travel as 24-bit counts of
// 1/4096 s, pulse counts as 24-bit values, checksums are byte sums.

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "comprt/ComPort.h"
#include "link/FrameLog.h"
#include "link/QueueThread.h"

// The request parameter block of the Nivor worker, 59 bytes read by the
// command in byte 0 (little-endian, IEEE 754 doubles):
//   1  double  command 0x00: measurement time, s
//   1  int32   command 0x03: pulse count; byte 5 the input 0 … 3
//   1  byte    command 0xFB: sensor type; commands 0xFD/0xFE: reply code
//   2  double  0xFB: ratio of sensor 1; 10 ratio of sensor 2
//   18 double  0xFB: temperature of sensor 1; 26 of sensor 2
//   2  byte    0xFD/0xFE: state byte
//   3  double  0xFD/0xFE codes 0 … 3: total time, s (code 9: uint32 value)
//   11 + 8k double time of input k+1; 43 + 4k uint32 its pulse count
// For the open request byte 0 is the port index (0 = no port).
struct SpprCommon {
    static constexpr std::size_t kSize = 59;
    std::array<std::uint8_t, kSize> raw{};

    std::uint8_t command() const { return raw[0]; }
    void setCommand(std::uint8_t c) { raw[0] = c; }
    std::uint8_t port() const { return raw[0]; }
    void setPort(std::uint8_t index) { raw[0] = index; }

    double time() const;
    void setTime(double seconds);
    std::int32_t pulses() const;
    void setPulses(std::int32_t count);
    std::uint8_t input() const { return raw[5]; }
    void setInput(std::uint8_t index) { raw[5] = index; }
    std::uint8_t sensor() const { return raw[1]; }
    void setSensor(std::uint8_t type) { raw[1] = type; }

    double ratio(int sensor) const;          // sensor 0 or 1
    double temperature(int sensor) const;
    void setTemperatures(double r1, double r2, double t1, double t2);

    std::uint8_t replyCode() const { return raw[1]; }
    std::uint8_t state() const { return raw[2]; }
    double totalTime() const;
    std::uint32_t shortValue() const;
    double inputTime(int k) const;           // k = 0 … 3
    std::uint32_t inputPulses(int k) const;
};

namespace nivor {

inline constexpr const char* kExchangeError = "Ошибка обмена";
inline constexpr const char* kChecksumError = "Ошибка контрольной суммы";
inline constexpr const char* kUnsupportedType = "Неподдерживаемый тип НИВ";
inline constexpr const char* kNotCalibrated = "АЦП НИВ не откалиброван";
inline constexpr const char* kTemperatureError = "Ошибка измерения температуры";

// Request codes of SpprThread.
inline constexpr std::int32_t kOpenPort = 0;
inline constexpr std::int32_t kCommand = 1;

// Commands.
inline constexpr std::uint8_t kGreeting = 0x09;
inline constexpr std::uint8_t kTimeStop = 0x00;
inline constexpr std::uint8_t kStartStop1 = 0x01;
inline constexpr std::uint8_t kStartStop2 = 0x02;
inline constexpr std::uint8_t kPulseStop = 0x03;
inline constexpr std::uint8_t kTemperature = 0xFB;
inline constexpr std::uint8_t kPoll = 0xFD;
inline constexpr std::uint8_t kStop = 0xFE;

inline constexpr std::uint8_t kInstrumentType = 3;
inline constexpr double kTicksPerSecond = 4096.0;
inline constexpr std::uint32_t k24Bits = 0xFFFFFF;
inline constexpr std::uint8_t kFinishedBit = 0x80;
inline constexpr std::uint8_t kVoltageMask = 0x1F;
// Voltage codes below this are shown in red.
inline constexpr int kLowVoltageCode = 17;

std::uint8_t checksum(std::span<const std::uint8_t> bytes);

// Seconds as ticks of 1/4096 s, half away from zero, low 24 bits.
std::uint32_t ticks(double seconds);
// 0x00, three tick bytes low first, their checksum.
std::array<std::uint8_t, 5> timeStopFrame(double seconds);
// 0x03, the count's low 24 bits low first, the input 0 … 3, the checksum of
// the four bytes after the command.
std::array<std::uint8_t, 6> pulseStopFrame(std::int32_t count, std::uint8_t input);

// A 24-bit little-endian value.
std::uint32_t get24(const std::uint8_t* p);

// Supply voltage of a state byte's code: code × 12 / 31 V.
double voltage(std::uint8_t state);
bool voltageLow(std::uint8_t state);

struct SensorConstants {
    double A, B, C;
};
// Sensor type 0 "100П (W=1,391)", 1 "Pt-100 (W=1,385)".
const SensorConstants& sensorConstants(int type);

// Temperature of a resistance ratio: A - sqrt(C·r + B), or -300 when the
// root's argument is not above 0.000001.
double temperatureOfRatio(double ratio, int sensorType);

struct Temperatures {
    double ratio1 = 0.0, ratio2 = 0.0;
    double t1 = 0.0, t2 = 0.0;
};
// From the four codes of a temperature reply (c0, c1, s1, s2). Equal
// calibration codes: UserError kNotCalibrated; a result that is not finite:
// kTemperatureError.
Temperatures temperatures(std::uint16_t c0, std::uint16_t c1, std::uint16_t s1, std::uint16_t s2,
                          int sensorType);

// Decodes the 29-byte block of reply codes 0 … 3 into `param`. A wrong
// checksum: UserError kChecksumError.
void decodeMeasurement(std::span<const std::uint8_t, 29> block, SpprCommon& param);

// The name of a command in the frame log, the greeting before it included
// ("опрос" for 0xFD).
const char* commandName(std::uint8_t command);

// The frame log's verdicts on what the instrument sends back: an echo must
// equal what was sent; a checksummed answer of `expected` bytes ends with
// the byte sum of the others; a reply code of 0xFD/0xFE must be 0 … 4 or 9.
framelog::Verdict judgeEcho(std::span<const std::uint8_t> sent, std::span<const std::uint8_t> echo);
framelog::Verdict judgeChecked(std::span<const std::uint8_t> answer, std::size_t expected);
framelog::Verdict judgeReplyCode(std::span<const std::uint8_t> answer);

}  // namespace nivor

class LoggedPort;

// The Nivor dialog's worker: opens the port and performs one command per
// request.
class SpprThread : public QueueThread<SpprCommon> {
public:
    static constexpr std::uint32_t kBaud = 9600;
    static constexpr std::uint32_t kReadTimeout = 1500;

    ~SpprThread() override { Stop(); }

    // The read timeout the open request sets; tests shorten it.
    void setReadTimeout(std::uint32_t milliseconds) { m_readTimeout = milliseconds; }

protected:
    void Process(std::int32_t code, SpprCommon& param) override;
    // The port went away: the worker waits for it and reopens it.
    bool PortAway() const override { return m_port.Lost(); }
    bool PortBack() override { return m_port.Reopen(); }

private:
    void Greeting(LoggedPort& wire);
    comprt::ComPort m_port;
    std::shared_ptr<FrameLog> m_log;  // of the open port
    std::uint32_t m_readTimeout = kReadTimeout;
};
