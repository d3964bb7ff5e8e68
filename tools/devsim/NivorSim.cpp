// Simulated Nivor counting instrument ("НИВ-2.3"). Every exchange begins
// with the greeting 0x09, answered by 0x09 and the type block (0, type,
// checksum). Then one command: 0x00 time stop, 0x03 pulse stop, 0x01/0x02
// start/stop modes (finished after `startstop` seconds), 0xFB temperature
// codes, 0xFD poll, 0xFE stop. Inputs 1 … 4 count at their frequencies;
// times are in ticks of 1/4096 s, counts 24 bits wide.
//
// Polls and stops answer reply code 9 (the state byte alone) while no
// measurement runs: before the first start and after a stop has taken the
// results. Faults act on the greeting (so every exchange meets them)
// except: busy - polls and stops are answered with reply code 9; error -
// with the unknown reply code 0x55.

#include "Devices.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace devsim {

namespace {

constexpr double kTicks = 4096.0;

std::uint8_t sum(const Bytes& b, std::size_t from, std::size_t to) {
    unsigned s = 0;
    for (std::size_t i = from; i < to; ++i) s += b[i];
    return static_cast<std::uint8_t>(s);
}

void put24(Bytes& d, std::uint32_t v) {
    for (int i = 0; i < 3; ++i) d.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

class NivorSim : public SimDevice {
public:
    std::string name() const override { return "nivor"; }

    void receive(Clock::time_point now, std::span<const std::uint8_t> bytes, Output& out) override {
        m_in.add(now, bytes);
        Bytes& b = m_in.buffer();
        while (!b.empty()) {
            // 0x09 is no command: after a failed exchange the program greets
            // again, whatever the instrument was waiting for.
            if (!m_greeted || b[0] == 0x09) {
                const std::uint8_t first = m_in.take(1)[0];
                m_greeted = false;
                if (first == 0x09) greet(out);
                continue;
            }
            const std::size_t need = b[0] == 0x00 ? 5 : b[0] == 0x03 ? 6 : 1;
            if (b.size() < need) return;
            const Bytes command = m_in.take(need);
            m_greeted = false;
            execute(now, command, out);
        }
    }

    std::optional<std::string> set(const std::string& key, const std::string& value) override {
        const auto n = parseInteger(value);
        const auto x = parseNumber(value);
        if (key.size() == 5 && key.rfind("freq", 0) == 0 && key[4] >= '1' && key[4] <= '4' && x && *x >= 0) {
            m_frequency[key[4] - '1'] = *x;
        } else if (key == "type" && n && *n >= 0 && *n <= 255) {
            m_type = static_cast<std::uint8_t>(*n);
        } else if (key == "voltage" && n && *n >= 0 && *n <= 31) {
            m_voltage = static_cast<std::uint8_t>(*n);
        } else if ((key == "c0" || key == "c1" || key == "s1" || key == "s2") && n && *n >= 0 && *n <= 65535) {
            const int i = key == "c0" ? 0 : key == "c1" ? 1 : key == "s1" ? 2 : 3;
            m_codes[i] = static_cast<std::uint16_t>(*n);
        } else if ((key == "temp1" || key == "temp2") && x) {
            // Codes of a 100П sensor at that temperature, on the calibration
            // codes in force.
            const double a = 3404.7006347572483, bq = 13307546.542698981, c = -1715560.13038257;
            const double r = ((a - *x) * (a - *x) - bq) / c;
            const double code = m_codes[0] + (r - 1.0) * (m_codes[1] - m_codes[0]);
            m_codes[key == "temp1" ? 2 : 3] = static_cast<std::uint16_t>(std::clamp(std::lround(code), 0l, 65535l));
        } else if (key == "startstop" && x && *x >= 0) {
            m_startStopSeconds = *x;
        } else if (key == "delay" && n && *n >= 0) {
            m_delay = std::chrono::milliseconds(*n);
        } else {
            return "unknown setting or bad value: " + key + "=" + value;
        }
        return std::nullopt;
    }

    std::vector<std::string> settings() const override {
        return {"freq1 … freq4=pulses per second of the inputs (1000 500 250 100)",
                "type=instrument type (3)", "voltage=supply voltage code 0 … 31 (20)",
                "c0, c1=calibration codes (1000 5000)", "s1, s2=sensor codes",
                "temp1, temp2=sensor temperatures, °C (20.0 21.0)",
                "startstop=seconds a start/stop measurement lasts (2)", "delay=ms before an answer (1)"};
    }

    NivorSim() {
        set("temp1", "20.0");
        set("temp2", "21.0");
    }

private:
    void greet(Output& out) {
        Bytes reply{0x09, 0x00, m_type, 0};
        reply[3] = sum(reply, 1, 3);
        if (misbehave(reply, out, m_delay)) return;
        if (fault() == Fault::BadSum) reply[3] ^= 0x01;
        m_greeted = true;
        out.send(std::move(reply), m_delay);
    }

    void execute(Clock::time_point now, const Bytes& c, Output& out) {
        switch (c[0]) {
        case 0x00:
            if (sum(c, 1, 4) != c[4]) return;
            start(now, 0, (c[1] | (c[2] << 8) | (c[3] << 16)) / kTicks, 0, 0);
            return out.send(c, m_delay);
        case 0x03:
            if (sum(c, 1, 5) != c[5] || c[4] > 3) return;
            start(now, 3, 0, static_cast<std::uint32_t>(c[1] | (c[2] << 8) | (c[3] << 16)), c[4]);
            return out.send(c, m_delay);
        case 0x01:
        case 0x02:
            start(now, c[0], m_startStopSeconds, 0, 0);
            return out.send(c, m_delay);
        case 0xFB: {
            Bytes reply{0xFB};
            for (std::uint16_t code : m_codes) {
                reply.push_back(static_cast<std::uint8_t>(code));
                reply.push_back(static_cast<std::uint8_t>(code >> 8));
            }
            reply.push_back(sum(reply, 1, 9));
            return out.send(std::move(reply), m_delay);
        }
        case 0xFD:
        case 0xFE:
            return out.send(measurement(now, c[0] == 0xFE), m_delay);
        default:
            return;  // not a command: the instrument waits for the next greeting
        }
    }

    void start(Clock::time_point now, int mode, double duration, std::uint32_t pulses, int input) {
        m_mode = mode;
        m_started = true;
        m_stopped = false;
        m_taken = false;
        m_start = now;
        m_input = input;
        // The pulse mode lasts until its input has counted the pulses.
        m_duration = mode == 3 ? (m_frequency[input] > 0 ? pulses / m_frequency[input] : 1e9) : duration;
    }

    Bytes measurement(Clock::time_point now, bool stop) {
        if (fault() == Fault::Busy) {
            Bytes r{9, stateByte(false), 0x00, 0};
            r[3] = sum(r, 1, 3);
            return r;
        }
        if (fault() == Fault::Error) return {0x55};
        // An instrument with no measurement (none started, or the last one
        // stopped and its results taken) answers with its state alone:
        // reply code 9, which the program takes as "not measuring".
        if (!m_started || m_taken) {
            Bytes r{9, stateByte(false), 0x00, 0};
            r[3] = sum(r, 1, 3);
            return r;
        }
        double elapsed = m_stopped ? m_stoppedAt : std::chrono::duration<double>(now - m_start).count();
        const bool finished = elapsed >= m_duration;
        elapsed = std::min(elapsed, m_duration);
        if (stop && !m_stopped) {
            m_stopped = true;
            m_stoppedAt = elapsed;
        }
        if (stop) m_taken = true;
        Bytes r{static_cast<std::uint8_t>(m_mode), stateByte(finished || m_stopped)};
        put24(r, static_cast<std::uint32_t>(std::lround(elapsed * kTicks)) & 0xFFFFFF);
        for (int k = 0; k < 4; ++k) {
            const auto pulses = static_cast<std::uint32_t>(std::floor(elapsed * m_frequency[k]));
            const double time = m_frequency[k] > 0 ? pulses / m_frequency[k] : 0.0;
            put24(r, static_cast<std::uint32_t>(std::lround(time * kTicks)) & 0xFFFFFF);
            put24(r, pulses & 0xFFFFFF);
        }
        r.push_back(sum(r, 1, 29));
        return r;
    }

    std::uint8_t stateByte(bool finished) const {
        return static_cast<std::uint8_t>((m_voltage & 0x1F) | (finished ? 0x80 : 0));
    }

    FrameCollector m_in{std::chrono::milliseconds(300)};
    std::chrono::milliseconds m_delay{1};
    bool m_greeted = false;
    std::uint8_t m_type = 3;
    std::uint8_t m_voltage = 20;
    std::array<std::uint16_t, 4> m_codes{1000, 5000, 1000, 1000};
    std::array<double, 4> m_frequency{1000, 500, 250, 100};
    double m_startStopSeconds = 2.0;

    bool m_started = false, m_stopped = false, m_taken = false;
    int m_mode = 0, m_input = 0;
    Clock::time_point m_start{};
    double m_duration = 0.0, m_stoppedAt = 0.0;
};

}  // namespace

std::unique_ptr<SimDevice> makeNivorSim() { return std::make_unique<NivorSim>(); }

}  // namespace devsim
