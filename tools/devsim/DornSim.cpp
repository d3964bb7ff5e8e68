// Simulated Dorn transducer: 8-byte frames. A write request is stored and
// echoed; a read request (byte 0 = 128) is answered with the stored bytes
// 0-5 in the write layout, a checksum and a carriage return.
//
// Faults beyond the generic ones: badsum - the answer's byte 6 is wrong
// (a write's echo then differs; a read's byte 6 is not checked by the
// program); busy - the transducer takes no request (no answer); error - the
// answer carries A one unit higher (a write's echo differs, a read gives a
// wrong A).

#include "Devices.h"

#include <array>
#include <numeric>

namespace devsim {

namespace {

constexpr std::size_t kFrame = 8;
constexpr std::uint8_t kReadRequest = 128;
constexpr std::uint8_t kCr = 13;

std::uint8_t sum6(const Bytes& f) {
    return static_cast<std::uint8_t>(std::accumulate(f.begin(), f.begin() + 6, 0u));
}

class DornSim : public SimDevice {
public:
    std::string name() const override { return "dorn"; }

    void receive(Clock::time_point now, std::span<const std::uint8_t> bytes, Output& out) override {
        m_in.add(now, bytes);
        while (m_in.buffer().size() >= kFrame) {
            Bytes request = m_in.take(kFrame);
            if (request[7] != kCr) {
                // Out of step: look for the next frame from the byte after.
                m_in.buffer().insert(m_in.buffer().begin(), request.begin() + 1, request.end());
                continue;
            }
            answer(request, out);
        }
    }

    std::optional<std::string> set(const std::string& key, const std::string& value) override {
        const auto n = parseInteger(value);
        if (key == "delay" && n && *n >= 0) {
            m_delay = std::chrono::milliseconds(*n);
            return std::nullopt;
        }
        if ((key == "a" || key == "b") && n) {
            // The value as the transducer keeps it: A as sent (doubled for
            // small diameters), B as a signed 16-bit count.
            const int v = static_cast<int>(*n);
            if (key == "a") {
                if (v < 0 || v > 0xFFFF) return "a must be 0 … 65535";
                m_stored[0] = 0;
                m_stored[1] = static_cast<std::uint8_t>(v >> 8);
                m_stored[2] = static_cast<std::uint8_t>(v);
            } else {
                if (v < -32768 || v > 32767) return "b must be -32768 … 32767";
                m_stored[3] = v < 0 ? 1 : 0;
                m_stored[4] = static_cast<std::uint8_t>((v & 0xFFFF) >> 8);
                m_stored[5] = static_cast<std::uint8_t>(v);
            }
            return std::nullopt;
        }
        return "unknown setting or bad value: " + key + "=" + value;
    }

    std::vector<std::string> settings() const override {
        return {"delay=ms before an answer (5)", "a=stored A count (0 … 65535)",
                "b=stored B count (-32768 … 32767)"};
    }

private:
    void answer(const Bytes& request, Output& out) {
        Bytes reply;
        if (request[0] == kReadRequest) {
            reply.assign(m_stored.begin(), m_stored.end());
            reply.resize(kFrame);
            reply[6] = sum6(reply);
            reply[7] = kCr;
        } else {
            if (request[6] != sum6(request)) return;  // a damaged write is not taken
            reply = request;
        }
        if (misbehave(reply, out, m_delay)) return;
        switch (fault()) {
        case Fault::Busy:
            return;
        case Fault::BadSum:
            reply[6] = static_cast<std::uint8_t>(reply[6] + 1);
            break;
        case Fault::Error:
            reply[2] = static_cast<std::uint8_t>(reply[2] + 1);
            break;
        default:
            if (request[0] != kReadRequest) std::copy(request.begin(), request.begin() + 6, m_stored.begin());
            break;
        }
        out.send(std::move(reply), m_delay);
    }

    FrameCollector m_in{std::chrono::milliseconds(200)};
    std::chrono::milliseconds m_delay{5};
    // Bytes 0-5 of the last write: diameter 25, A = 0.12, B = 0.
    std::array<std::uint8_t, 6> m_stored{0x01, 0x5D, 0xC0, 0x00, 0x00, 0x00};
};

}  // namespace

std::unique_ptr<SimDevice> makeDornSim() { return std::make_unique<DornSim>(); }

}  // namespace devsim
