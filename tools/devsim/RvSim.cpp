// Simulated RV flow meter: register frames with CRC-16/MODBUS at its network
// address; silence for other addresses and for frames with a wrong CRC.
//
// Registers keep their state: system parameters (configurable firmware
// version, serial, diameter), both calibration tables, outputs, status byte,
// address, integrator, start-stop parameters, empty-pipe parameters. Current
// values grow while status bit 0 (a run) is set: measurements at 10 per
// second, pulses at `frequency`, the summed code and noise, the volumes
// from `flow`. Unknown registers, functions and bad data get error replies
// 2, 1 and 3.
//
// Faults beyond the generic ones: badsum - a wrong CRC; busy - error reply 6;
// error - error reply 4.

#include "Devices.h"

#include <array>
#include <bit>
#include <cmath>
#include <random>

namespace devsim {

namespace {

constexpr std::uint8_t kRead = 0x41, kWrite = 0x48;

std::uint16_t crc16(const std::uint8_t* p, std::size_t n) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int b = 0; b < 8; ++b) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

void put32(Bytes& d, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) d[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void putF(Bytes& d, std::size_t at, float v) { put32(d, at, std::bit_cast<std::uint32_t>(v)); }
void put16(Bytes& d, std::size_t at, std::uint16_t v) {
    d[at] = static_cast<std::uint8_t>(v);
    d[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

class RvSim : public SimDevice {
public:
    RvSim() : m_start(Clock::now()) {
        m_outputs = {0x6F, 0x12, 0x83, 0x3A, 10, 0};  // 0.001 m3, 8 ms, RS-485
        m_direct.assign(64, 0);
        m_reverse.assign(64, 0);
        for (int i = 0; i < 5; ++i) {
            putF(m_direct, 12 * i, 0.0001f * (i + 1));
            putF(m_direct, 12 * i + 4, 0.01f * i);
            if (i < 4) put32(m_direct, 12 * i + 8, static_cast<std::uint32_t>(2000 * (i + 1)));
        }
        putF(m_direct, 56, 30.0f);
        putF(m_direct, 60, 0.05f);
        m_emptyPipe = {0, 0xE8, 0x03, 0, 0, 0x64, 0, 0x0A, 0, 0x14, 0, 8, 2};
    }

    std::string name() const override { return "rv"; }

    void receive(Clock::time_point now, std::span<const std::uint8_t> bytes, Output& out) override {
        m_in.add(now, bytes);
        Bytes& b = m_in.buffer();
        // A request ends where its CRC matches: data lengths are not known
        // for unknown registers, and a damaged frame is never answered.
        for (std::size_t len = 5; len <= b.size() && len <= 256; ++len) {
            if (crc16(b.data(), len - 2) != (b[len - 2] | (b[len - 1] << 8))) continue;
            Bytes frame = m_in.take(len);
            handle(now, frame, out);
            len = 4;
        }
        if (b.size() > 256) b.clear();
    }

    std::optional<std::string> set(const std::string& key, const std::string& value) override {
        const auto n = parseInteger(value);
        const auto x = parseNumber(value);
        if (key == "version") {
            const auto dot = value.find('.');
            const auto hi = parseInteger(value.substr(0, dot));
            if (dot == std::string::npos) return "version is HIGH.LOW";
            const auto lo = parseInteger(value.substr(dot + 1));
            if (!hi || !lo || *hi < 0 || *hi > 255 || *lo < 0 || *lo > 255) return "version is HIGH.LOW";
            m_versionHigh = static_cast<std::uint8_t>(*hi);
            m_versionLow = static_cast<std::uint8_t>(*lo);
        } else if (key == "address" && n && *n >= 0 && *n <= 255) {
            m_address = static_cast<std::uint8_t>(*n);
        } else if (key == "serial" && n && *n >= 0 && *n <= 0xFFFFFFFFll) {
            m_serial = static_cast<std::uint32_t>(*n);
        } else if (key == "du" && n && *n >= 0 && *n <= 12) {
            m_duIndex = static_cast<std::uint8_t>(*n);
        } else if (key == "checksum" && n && *n >= 0 && *n <= 0xFFFF) {
            m_firmwareSum = static_cast<std::uint16_t>(*n);
        } else if (key == "frequency" && x && *x >= 0) {
            m_frequency = *x;
        } else if (key == "flow" && x) {
            m_flow = *x;
        } else if (key == "code" && x) {
            m_code = *x;
        } else if (key == "noise" && x && *x >= 0) {
            m_noise = *x;
        } else if (key == "worktime" && n && *n >= 0) {
            m_workTimeBase = static_cast<std::uint32_t>(*n);
        } else if (key == "delay" && n && *n >= 0) {
            m_delay = std::chrono::milliseconds(*n);
        } else {
            return "unknown setting or bad value: " + key + "=" + value;
        }
        return std::nullopt;
    }

    std::vector<std::string> settings() const override {
        return {"version=HIGH.LOW firmware version (3.5)", "address=network address (1)",
                "serial=serial number", "du=diameter index 0 … 12", "checksum=firmware checksum",
                "frequency=pulses per second during a run (100)", "flow=flow, m3/h (1.5)",
                "code=mean ADC code (12000)", "noise=noise amplitude of the codes (40)",
                "worktime=work time at start, s", "delay=ms before an answer (2)"};
    }

private:
    void handle(Clock::time_point now, const Bytes& f, Output& out) {
        if (f[0] != m_address) return;  // another meter's frame
        const std::uint8_t fn = f[1], reg = f[2];
        const Bytes data(f.begin() + 3, f.end() - 2);
        if (fault() == Fault::Busy) return reply(errorReply(fn, 6), out);
        if (fault() == Fault::Error) return reply(errorReply(fn, 4), out);
        if (fn != kRead && fn != kWrite) return reply(errorReply(fn, 1), out);
        Bytes answer;
        std::uint8_t code = 0;
        if (fn == kRead)
            code = read(now, reg, data, answer);
        else
            code = write(now, reg, data, answer);
        if (code != 0) return reply(errorReply(fn, code), out);
        Bytes frame{m_address, fn, reg};
        frame.insert(frame.end(), answer.begin(), answer.end());
        reply(withCrc(frame), out);
    }

    // Error code, 0 when `answer` holds the reply data.
    std::uint8_t read(Clock::time_point now, std::uint8_t reg, const Bytes& data, Bytes& answer) {
        if (reg != 8 && !data.empty()) return 3;
        switch (reg) {
        case 0:
            answer.assign(9, 0);
            answer[2] = m_versionHigh;
            answer[3] = m_versionLow;
            put32(answer, 4, m_serial);
            answer[8] = m_duIndex;
            return 0;
        case 2: answer = m_direct; return 0;
        case 18: answer = m_reverse; return 0;
        case 3: answer = m_outputs; return 0;
        case 5: answer = {m_address}; return 0;
        case 6: answer = {m_integrator}; return 0;
        case 8: {
            if (data.size() > 1 || (data.size() == 1 && data[0] != 2 && data[0] != 3)) return 3;
            const std::size_t length = data.empty() ? 15 : data[0] == 2 ? 19 : 39;
            answer = current(now, length);
            return 0;
        }
        case 9:
            answer.assign(9, 0);
            put32(answer, 4, workTime(now));
            return 0;
        case 12: {
            answer.assign(5, 0);
            answer[0] = m_status;
            put32(answer, 1, static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lround(noisyCode()))));
            return 0;
        }
        case 16:
            answer.assign(7, 0);
            put16(answer, 0, m_firmwareSum);
            return 0;
        case 19: answer = m_emptyPipe; return 0;
        default: return 2;
        }
    }

    std::uint8_t write(Clock::time_point now, std::uint8_t reg, const Bytes& data, Bytes& answer) {
        const auto sized = [&data](std::size_t n) { return data.size() == n; };
        switch (reg) {
        case 2:
        case 18:
            if (!sized(64)) return 3;
            (reg == 2 ? m_direct : m_reverse) = data;
            return 0;
        case 3:
            if (!sized(6)) return 3;
            m_outputs = data;
            return 0;
        case 4: {
            if (!sized(2) || data[0] < 1 || data[0] > 2 || data[1] < 1 || data[1] > 2) return 3;
            const std::uint8_t bit = data[0] == 1 ? 0x01 : 0x02;
            const bool wasRunning = m_status & 0x01;
            const std::uint32_t counted = pulsesAt(now);
            if (data[1] == 1)
                m_status |= bit;
            else
                m_status &= static_cast<std::uint8_t>(~bit);
            if (bit == 0x01 && !wasRunning && (m_status & 0x01)) startRun(now, counted);
            if (bit == 0x01 && wasRunning && !(m_status & 0x01)) freezeRun(now);
            answer = {m_status};
            return 0;
        }
        case 5:
            if (!sized(1)) return 3;
            m_address = data[0];
            return 0;
        case 6:
            if (!sized(1)) return 3;
            m_integrator = data[0];
            return 0;
        case 7:
            if (!sized(2) || data[0] > 3) return 3;
            m_startStop = {data[0], data[1]};
            return 0;
        case 17:
            if (!sized(20)) return 3;
            m_runSeconds = 0;
            m_runStart = now;
            m_pulsesBase = 0;
            m_volumeStart = now;
            return 0;
        case 19:
            if (!sized(13) || data[0] > 1) return 3;
            m_emptyPipe = data;
            return 0;
        default: return 2;
        }
    }

    // A run sums afresh; the pulse counter restarts only when status bit 1
    // asks for it. After the run its values stay until the next one.
    void startRun(Clock::time_point now, std::uint32_t counted) {
        m_pulsesBase = (m_status & 0x02) ? 0 : counted;
        m_runStart = now;
        m_runSeconds = 0;
    }
    void freezeRun(Clock::time_point now) { m_runSeconds = seconds(now - m_runStart); }
    double runSeconds(Clock::time_point now) const {
        return (m_status & 0x01) ? seconds(now - m_runStart) : m_runSeconds;
    }
    std::uint32_t pulsesAt(Clock::time_point now) const {
        return m_pulsesBase + static_cast<std::uint32_t>(runSeconds(now) * m_frequency);
    }
    static double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

    Bytes current(Clock::time_point now, std::size_t length) {
        const bool running = m_status & 0x01;
        const double run = runSeconds(now);
        const auto count = static_cast<std::uint16_t>(std::min(65535.0, std::floor(run * 10)));
        const std::uint32_t pulses = pulsesAt(now);
        Bytes d(length, 0);
        d[0] = m_status;
        putF(d, 1, static_cast<float>(count * m_code));
        put16(d, 5, count);
        put32(d, 7, pulses);
        putF(d, 11, static_cast<float>(running ? m_flow : 0.0));
        if (length >= 19) put32(d, 15, static_cast<std::uint32_t>(count * m_noise));
        if (length >= 39) {
            put32(d, 19, workTime(now));
            const double v = std::max(0.0, m_flow) * seconds(now - m_volumeStart) / 3600.0;
            put32(d, 23, static_cast<std::uint32_t>(v));
            putF(d, 27, static_cast<float>(v - std::floor(v)));
            put32(d, 31, 0);
            putF(d, 35, 0.0f);
        }
        return d;
    }

    std::uint32_t workTime(Clock::time_point now) const {
        return m_workTimeBase + static_cast<std::uint32_t>(seconds(now - m_start));
    }

    double noisyCode() {
        std::uniform_real_distribution<double> noise(-m_noise, m_noise);
        return m_code + noise(m_random);
    }

    Bytes errorReply(std::uint8_t fn, std::uint8_t code) const {
        return withCrc({m_address, static_cast<std::uint8_t>(fn | 0x80), code});
    }

    static Bytes withCrc(Bytes frame) {
        const std::uint16_t crc = crc16(frame.data(), frame.size());
        frame.push_back(static_cast<std::uint8_t>(crc));
        frame.push_back(static_cast<std::uint8_t>(crc >> 8));
        return frame;
    }

    void reply(Bytes frame, Output& out) {
        if (misbehave(frame, out, m_delay)) return;
        if (fault() == Fault::BadSum) frame.back() ^= 0x5A;
        out.send(std::move(frame), m_delay);
    }

    FrameCollector m_in{std::chrono::milliseconds(30)};
    std::chrono::milliseconds m_delay{2};
    Clock::time_point m_start;
    std::mt19937 m_random{12345};

    std::uint8_t m_address = 1;
    std::uint8_t m_versionHigh = 3, m_versionLow = 5;
    std::uint32_t m_serial = 12345678;
    std::uint8_t m_duIndex = 5;
    std::uint16_t m_firmwareSum = 0xA55A;
    Bytes m_outputs, m_direct, m_reverse, m_emptyPipe;
    std::uint8_t m_status = 0;
    std::uint8_t m_integrator = 10;
    std::array<std::uint8_t, 2> m_startStop{0, 5};

    double m_frequency = 100.0, m_flow = 1.5, m_code = 12000.0, m_noise = 40.0;
    std::uint32_t m_workTimeBase = 90061;
    Clock::time_point m_runStart{}, m_volumeStart = Clock::now();
    double m_runSeconds = 0;
    std::uint32_t m_pulsesBase = 0;
};

}  // namespace

std::unique_ptr<SimDevice> makeRvSim() { return std::make_unique<RvSim>(); }

}  // namespace devsim
