// Simulated Kelt transducer. Device types 1 … 4 sit behind the ОРБ-КЕЛТ
// adapter and speak the older protocol (adapter query 15, adapter level and
// amplitude commands, a command byte echoed before its answer); types 5 … 9
// are reached directly (wake-up bytes 255 are ignored). Every answer that
// carries data ends with the 16-bit byte sum, most significant byte first.
// A write frame is echoed in full and its block kept when its checksum is
// right; reads return the kept blocks, which start as the factory blocks
// below.
//
// Faults beyond the generic ones: busy - the transducer echoes 255 instead of
// its command (the adapter's own commands still work); badsum - answers carry
// a wrong checksum; error - the echo is one off.

#include <array>

#include "Devices.h"
#include "devices/kelt/KeltBlocks.h"
#include "devices/kelt/KeltFrames.h"

namespace devsim {

namespace {

// The transducer's own sum: the bytes added up modulo 65536. Kept apart from
// the program's checksum so that a fault there does not pass unseen.
std::uint16_t byteSum(std::span<const std::uint8_t> bytes) {
    unsigned sum = 0;
    for (const std::uint8_t b : bytes) sum += b;
    return static_cast<std::uint16_t>(sum & 0xFFFF);
}

void appendSum(Bytes& bytes, std::size_t from) {
    const std::uint16_t sum = byteSum(std::span(bytes).subspan(from));
    bytes.push_back(static_cast<std::uint8_t>(sum >> 8));
    bytes.push_back(static_cast<std::uint8_t>(sum));
}

// --- factory blocks -------------------------------------------------------------
//
// What a transducer holds before anything is written to it, byte for byte.
// Blocks 1 … 4 hold what a fresh page of their model writes at diameter 50:
// Du 5, so s = 10000 and K = 10000 × 65536 / 36000 = 18204.44; A1 … A5 =
// 0.12, so A × K = 2184.53; every B 0 (multiplier 1, A+B code = A code);
// the boundaries at the top (32768 Hz, block 4: 8192 Hz) so every period
// code is 1; pulse output with the first pulse weight (output code 1); pulse
// length 1 ms, stored as 33 ticks of 0.0305 ms (block 4: k = 1, 1.9 or 3.9
// ms); n 1; temperature correction 0 (stored as 7).

// Block 1, model 0: 16-bit fields most significant byte first.
constexpr std::array<std::uint8_t, 35> kBlock1 = {
    0x01,                                            // n = 1
    0x19, 0x9A, 0x3B, 0xBC, 0x3B, 0xBC, 0x3B, 0xBC,  // T1 = 3 × 2184.53 = 6554; T2 … T4 = 7 × 2184.53 = 15292
    0x19, 0x9A, 0x3B, 0xBC, 0x3B, 0xBC, 0x3B, 0xBC,  // U = T (B = 0)
    // Segment bytes h + 8m, m = 1: segment 1 divides by h = 3 (1.95 × 1.7 Hz
    // / h is below 1 for h > 3), the others by 7.
    0x0B, 0x0F, 0x0F, 0x0F,
    0x00, 0x01, 0x00, 0x01, 0x00, 0x01,  // P12 … P34 = round(32440.32 / 32768) = 1
    0x00, 0x01, 0x00, 0x01, 0x00, 0x01,  // Q12 … Q34 = round(33095.68 / 32768) = 1
    0x41,                                // (Du - 1) × 16 + output code 1
    0x21,                                // pulse length 33 ticks
};

// Block 2, models 1, 3, 5 (lowest frequency 1.7 Hz at Du 5): as block 1
// with five segments.
constexpr std::array<std::uint8_t, 44> kBlock2 = {
    0x01,                                                        // n = 1
    0x19, 0x9A, 0x3B, 0xBC, 0x3B, 0xBC, 0x3B, 0xBC, 0x3B, 0xBC,  // T1 = 6554 (h = 3), T2 … T5 = 15292 (h = 7)
    0x19, 0x9A, 0x3B, 0xBC, 0x3B, 0xBC, 0x3B, 0xBC, 0x3B, 0xBC,  // U = T
    0x0B, 0x0F, 0x0F, 0x0F, 0x0F,                                // h + 8m
    0x00, 0x01, 0x00, 0x01, 0x00, 0x01, 0x00, 0x01,              // P12 … P45 = 1
    0x00, 0x01, 0x00, 0x01, 0x00, 0x01, 0x00, 0x01,              // Q12 … Q45 = 1
    0x41, 0x21,                                                  // Du 5, output code 1; 33 ticks
};

// Block 2, models 2, 4, 6: the lowest frequency is doubled (3.4 Hz), so
// segment 1 divides by h = 6 (1.95 × 3.4 / 6 = 1.1): T1 = round(6 ×
// 2184.53) = 13107.
constexpr std::array<std::uint8_t, 44> kBlock2Doubled = {
    0x01,
    0x33, 0x33, 0x3B, 0xBC, 0x3B, 0xBC, 0x3B, 0xBC, 0x3B, 0xBC,
    0x33, 0x33, 0x3B, 0xBC, 0x3B, 0xBC, 0x3B, 0xBC, 0x3B, 0xBC,
    0x0E, 0x0F, 0x0F, 0x0F, 0x0F,
    0x00, 0x01, 0x00, 0x01, 0x00, 0x01, 0x00, 0x01,
    0x00, 0x01, 0x00, 0x01, 0x00, 0x01, 0x00, 0x01,
    0x41, 0x21,
};

// Block 3, models 7 … 10: 16-bit fields least significant byte first.
constexpr std::array<std::uint8_t, 36> kBlock3 = {
    0x89, 0x08, 0x89, 0x08, 0x89, 0x08, 0x89, 0x08, 0x89, 0x08,  // T1 … T5 = round(2184.53) = 2185
    0x89, 0x08, 0x89, 0x08, 0x89, 0x08, 0x89, 0x08, 0x89, 0x08,  // U = T
    0x61, 0x61, 0x61, 0x61, 0x61,                                // mode 96 (B = 0, T <= 32767) + multiplier 1
    0x01, 0x00, 0x01, 0x00, 0x01, 0x00, 0x01, 0x00,              // P12 … P45 = 32768 / 32768 = 1
    0x51,                                                        // Du × 16 + output code 1
    0x21,                                                        // 33 ticks
    0x07,                                                        // correction 0 + 7
};

// Block 3, model 11: byte 33 holds no diameter, byte 35 holds Du + 128.
constexpr std::array<std::uint8_t, 36> kBlock3Model11 = {
    0x89, 0x08, 0x89, 0x08, 0x89, 0x08, 0x89, 0x08, 0x89, 0x08,
    0x89, 0x08, 0x89, 0x08, 0x89, 0x08, 0x89, 0x08, 0x89, 0x08,
    0x61, 0x61, 0x61, 0x61, 0x61,
    0x01, 0x00, 0x01, 0x00, 0x01, 0x00, 0x01, 0x00,
    0x01,  // output code 1
    0x21,
    0x85,  // 5 + 128
};

// Block 4, models 12 and 15: least significant byte first.
constexpr std::array<std::uint8_t, 39> kBlock4 = {
    0x89, 0x08, 0x89, 0x08, 0x89, 0x08, 0x89, 0x08, 0x89, 0x08,  // T1 … T5 = 2185
    0x89, 0x08, 0x89, 0x08, 0x89, 0x08, 0x89, 0x08, 0x89, 0x08,  // U = T
    0x21, 0x21, 0x21, 0x21, 0x21,                                // multiplier 1 + restoration bit 5
    0x01, 0x00, 0x01, 0x00, 0x01, 0x00, 0x01, 0x00,              // P12 … P45 = 8192 / 8192 = 1
    0x41,                                                        // (Du - 1) × 16 + output code 1
    0x01,                                                        // k = 1
    0x07,                                                        // correction 0 + 7, thermocorrection on
    0x00, 0x00, 0x00,                                            // factory number 0
};

// Block 4, models 13 and 16: bit 3 of byte 33 set.
constexpr std::array<std::uint8_t, 39> kBlock4Coarse = {
    0x89, 0x08, 0x89, 0x08, 0x89, 0x08, 0x89, 0x08, 0x89, 0x08,
    0x89, 0x08, 0x89, 0x08, 0x89, 0x08, 0x89, 0x08, 0x89, 0x08,
    0x21, 0x21, 0x21, 0x21, 0x21,
    0x01, 0x00, 0x01, 0x00, 0x01, 0x00, 0x01, 0x00,
    0x49, 0x01, 0x07,
    0x00, 0x00, 0x00,
};

// Block 4, models 14 and 17: thermocorrection always off (bit 7 of byte 35).
constexpr std::array<std::uint8_t, 39> kBlock4NoThermo = {
    0x89, 0x08, 0x89, 0x08, 0x89, 0x08, 0x89, 0x08, 0x89, 0x08,
    0x89, 0x08, 0x89, 0x08, 0x89, 0x08, 0x89, 0x08, 0x89, 0x08,
    0x21, 0x21, 0x21, 0x21, 0x21,
    0x01, 0x00, 0x01, 0x00, 0x01, 0x00, 0x01, 0x00,
    0x41, 0x01, 0x87,
    0x00, 0x00, 0x00,
};

// Block 5, model 18 (a fresh page's values do not fit it: its boundaries
// and A are above the block's range). With K5 = 100000 × 65536 / 36000, A =
// T / K5 and B = multiplier × (U - T) / K5:
//   segment 1: T 4096, multiplier 1, U 5120: A 0.0225, B 0.005625
//   segment 2: T 4096, multiplier 2 (step 1), U 5120: A 0.0225, B 0.01125
//   segment 3: T 2048, multiplier 16 (step 1, bit 15), U 2304: A 0.01125, B 0.0225
//   segment 4: T 6144, multiplier 1, U 5632: A 0.03375, B -0.0028125
//   segment 5: T 1024, multiplier 3 (step 2), U 1024: A 0.005625, B 0
//   boundaries 16384 / P: P 1024, 256, 64, 16 = 16, 64, 256, 1024 Hz
//   temperature correction +1 degree (4 in bits 5-7 of byte 25), display
//   "V/T" (bit 6 of byte 27), the second diameter "20" (bit 7 of byte 27).
constexpr std::array<std::uint8_t, 28> kBlock5 = {
    0x00, 0x10, 0x00, 0x30, 0x00, 0xA8, 0x00, 0x18, 0x00, 0x44,  // words 1 … 5
    0x00, 0x14, 0x00, 0x14, 0x00, 0x09, 0x00, 0x16, 0x00, 0x04,  // U1 … U5
    0x00, 0x04, 0x00, 0x01, 0x40, 0x80, 0x10, 0xC0,              // P12 … P45 with the flags above
};

static_assert(kBlock1.size() == kelt::kBlock1Size && kBlock2.size() == kelt::kBlock2Size &&
              kBlock3.size() == kelt::kBlock3Size && kBlock4.size() == kelt::kBlock4Size &&
              kBlock5.size() == kelt::kBlock5Size);

template <std::size_t N>
Bytes bytesOf(const std::array<std::uint8_t, N>& block) {
    return Bytes(block.begin(), block.end());
}

// The factory block of each layout for `model`; a model of another layout
// (its type set by hand) gets the layout's first one.
Bytes factoryBlock2(int model) { return bytesOf(model == 2 || model == 4 || model == 6 ? kBlock2Doubled : kBlock2); }
Bytes factoryBlock3(int model) { return bytesOf(model == 11 ? kBlock3Model11 : kBlock3); }
Bytes factoryBlock4(int model) {
    if (model == 13 || model == 16) return bytesOf(kBlock4Coarse);
    if (model == 14 || model == 17) return bytesOf(kBlock4NoThermo);
    return bytesOf(kBlock4);
}

bool between(long long v, long long lo, long long hi) { return v >= lo && v <= hi; }

// The device type a model reports unless told otherwise.
int defaultType(int model) {
    if (model == 0) return 1;
    if (model <= 6) return 2;
    if (model == 7) return 3;
    if (model == 8) return 4;
    if (model <= 10) return 5;
    if (model == 11) return 6;
    if (model <= 17) return model <= 14 ? 7 : 8;
    return 9;
}

class KeltSim : public SimDevice {
public:
    KeltSim() { setModel(0); }

    std::string name() const override { return "kelt"; }

    void receive(Clock::time_point now, std::span<const std::uint8_t> bytes, Output& out) override {
        m_in.add(now, bytes);
        Bytes& buffer = m_in.buffer();
        while (!buffer.empty()) {
            const std::size_t need = requestSize(buffer[0]);
            if (buffer.size() < need) return;
            answer(m_in.take(need), out);
        }
    }

    std::optional<std::string> set(const std::string& key, const std::string& value) override {
        const auto n = parseInteger(value);
        if (key == "model" && n && between(*n, 0, 18)) {
            setModel(static_cast<int>(*n));
            return std::nullopt;
        }
        if (key == "type" && n && between(*n, 1, 9)) {
            m_type = static_cast<int>(*n);
            return std::nullopt;
        }
        if (key == "adapter" && n && (*n == 15 || *n == 255)) {
            m_adapterAnswer = static_cast<std::uint8_t>(*n);
            return std::nullopt;
        }
        if (key == "adapter-version" && n && between(*n, 0, 255)) {
            m_adapterVersion = static_cast<std::uint8_t>(*n);
            return std::nullopt;
        }
        if (key == "amplitudes") {
            std::array<std::uint8_t, 4> levels{};
            std::size_t at = 0;
            for (int i = 0; i < 4; ++i) {
                const std::size_t comma = value.find(',', at);
                const auto a = parseInteger(value.substr(at, comma == std::string::npos ? std::string::npos : comma - at));
                if (!a || !between(*a, 0, 255) || (i < 3 && comma == std::string::npos))
                    return "amplitudes must be four numbers 0 … 255 for levels 0 … 3";
                levels[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(*a);
                at = comma + 1;
            }
            m_amplitudes = levels;
            return std::nullopt;
        }
        struct ByteSetting {
            const char* key;
            std::uint8_t* target;
        };
        const ByteSetting bytes[] = {{"temperature", &m_temperature}, {"flags", &m_flags},
                                     {"battery", &m_battery}, {"level", &m_level}};
        for (const auto& s : bytes)
            if (key == s.key && n && between(*n, 0, 255)) {
                *s.target = static_cast<std::uint8_t>(*n);
                return std::nullopt;
            }
        if (key == "period" && n && between(*n, 0, 65535)) {
            m_period = static_cast<std::uint16_t>(*n);
            return std::nullopt;
        }
        if (key == "firmware" && n && between(*n, 0, 0xFFFF)) {
            m_firmware = static_cast<std::uint16_t>(*n);  // major × 256 + minor
            return std::nullopt;
        }
        if (key == "fwcrc" && n && between(*n, 0, 0xFFFF)) {
            m_firmwareSum = static_cast<std::uint16_t>(*n);
            return std::nullopt;
        }
        if (key == "delay" && n && between(*n, 0, 10000)) {
            m_delay = std::chrono::milliseconds(*n);
            return std::nullopt;
        }
        return "unknown setting or bad value: " + key + "=" + value;
    }

    std::vector<std::string> settings() const override {
        return {"model=model index 0 … 18 (sets the type and the factory blocks)",
                "type=device type 1 … 9 reported by command 8",
                "adapter=answer to the adapter query: 15, or 255 for an adapter of model 0 only",
                "adapter-version=second version byte of the adapter (2)",
                "amplitudes=A0,A1,A2,A3 amplitude at adapter levels 0 … 3 (20,40,60,90)",
                "level=current adapter level 0 … 3",
                "temperature=temperature code, half degrees (46)",
                "flags=signal flags (0)",
                "period=period code of the frequency (327)",
                "battery=battery voltage code (4)",
                "firmware=major*256+minor (517)",
                "fwcrc=firmware checksum (4660)",
                "delay=ms before an answer (2)"};
    }

private:
    bool older() const { return m_type <= 4; }

    std::size_t blockSize() const {
        switch (m_type) {
        case 1:
            return kelt::kBlock1Size;
        case 2:
            return kelt::kBlock2Size;
        case 5:
        case 6:
            return kelt::kBlock3Size;
        case 7:
        case 8:
            return kelt::kBlock4Size;
        case 9:
            return kelt::kBlock5Size;
        default:
            return kelt::kBlock3Size;
        }
    }

    Bytes& storedBlock() {
        switch (m_type) {
        case 1:
            return m_block1;
        case 2:
            return m_block2;
        case 7:
        case 8:
            return m_block4;
        case 9:
            return m_block5;
        default:
            return m_block3;
        }
    }

    // Bytes of a request beginning with `command`, the command included.
    std::size_t requestSize(std::uint8_t command) const {
        if (older()) {
            switch (command) {
            case kelt::kWriteBlock1:
                return kelt::kBlock1Size + 3;
            case kelt::kWriteBlock2:
                return kelt::kBlock2Size + 3;
            case kelt::kWriteCorrection:
                return 34;
            case kelt::kWriteBlock3:
            case kelt::kType3Block3Write:
                return kelt::kBlock3Size + 4;
            default:
                return 1;
            }
        }
        return command == kelt::kNewerWrite ? blockSize() + 3 : 1;
    }

    void setModel(int model) {
        m_model = model;
        m_type = defaultType(model);
        m_block1 = bytesOf(kBlock1);
        m_block2 = factoryBlock2(model);
        m_block3 = factoryBlock3(model);
        m_block4 = factoryBlock4(model);
        m_block5 = bytesOf(kBlock5);
    }

    bool sumOk(const Bytes& frame, std::uint8_t lowering = 0) const {
        const std::size_t n = frame.size();
        const std::uint16_t sum = byteSum(std::span(frame).subspan(1, n - 3));
        return frame[n - 2] == static_cast<std::uint8_t>(sum >> 8) &&
               frame[n - 1] == static_cast<std::uint8_t>(sum - lowering);
    }

    Bytes record() const {
        Bytes r{m_temperature, m_flags, static_cast<std::uint8_t>(m_period), static_cast<std::uint8_t>(m_period >> 8)};
        appendSum(r, 0);
        return r;
    }

    void answer(const Bytes& request, Output& out) {
        const std::uint8_t command = request[0];
        Bytes reply;
        bool transducer = true;  // a command of the transducer, not of the adapter
        bool summed = false;     // the reply ends with a checksum
        const auto withBlock = [&](const Bytes& block) {
            reply.insert(reply.end(), block.begin(), block.end());
            appendSum(reply, 1);
            summed = true;
        };
        if (older()) {
            switch (command) {
            case kelt::kAdapterQuery:
                transducer = false;
                reply = m_adapterAnswer == kelt::kModel0Adapter ? Bytes{kelt::kModel0Adapter}
                                                                 : Bytes{kelt::kAdapterQuery, 1, m_adapterVersion};
                break;
            case kelt::kAmplitude:
                transducer = false;
                reply = {kelt::kAmplitude, m_amplitudes[m_level & 3]};
                break;
            case kelt::kLevel0:
            case kelt::kLevel1:
            case kelt::kLevel2:
            case kelt::kLevel3:
                transducer = false;
                m_level = static_cast<std::uint8_t>(command - kelt::kLevel0);
                reply = {command};
                break;
            case kelt::kDeviceType:
            case kelt::kBattery:
            case kelt::kTemperature:
                reply = {command, command == kelt::kDeviceType ? static_cast<std::uint8_t>(m_type)
                                  : command == kelt::kBattery  ? m_battery
                                                               : m_temperature};
                appendSum(reply, 1);
                summed = true;
                break;
            case kelt::kFirmware:
                reply = {kelt::kFirmware};
                break;
            case kelt::kReadBlock1:
            case kelt::kReadBlock2:
                reply = {command};
                withBlock(command == kelt::kReadBlock1 ? m_block1 : m_block2);
                break;
            case kelt::kReadCorrection: {
                reply = {kelt::kReadCorrection, static_cast<std::uint8_t>(m_correction + 7)};
                reply.resize(32, 0);
                appendSum(reply, 1);
                summed = true;
                break;
            }
            case kelt::kSignal: {
                reply = {kelt::kSignal};
                const Bytes r = record();
                reply.insert(reply.end(), r.begin(), r.end());
                summed = true;
                break;
            }
            case kelt::kReadBlock3: {
                reply = {kelt::kReadBlock3};
                Bytes data = m_block3;
                data.push_back(m_counter);
                withBlock(data);
                break;
            }
            case kelt::kWriteBlock1:
            case kelt::kWriteBlock2:
            case kelt::kWriteCorrection:
                reply = request;
                if (fault() == Fault::None && sumOk(request)) {
                    if (command == kelt::kWriteCorrection)
                        m_correction = (request[1] & 15) - 7;
                    else
                        (command == kelt::kWriteBlock1 ? m_block1 : m_block2).assign(request.begin() + 1, request.end() - 2);
                }
                break;
            case kelt::kWriteBlock3:
            case kelt::kType3Block3Write: {
                // A type-3 transducer wants command 26 with the checksum's low
                // byte lowered by 39, and echoes the checksum unlowered.
                const std::uint8_t lowering = command == kelt::kType3Block3Write ? 39 : 0;
                reply = request;
                if (sumOk(request, lowering)) {
                    reply.back() = static_cast<std::uint8_t>(reply.back() + lowering);
                    if (fault() == Fault::None) {
                        m_block3.assign(request.begin() + 1, request.begin() + 1 + kelt::kBlock3Size);
                        m_counter = request[1 + kelt::kBlock3Size];
                    }
                }
                break;
            }
            default:
                return;  // not a command: no answer
            }
        } else {
            switch (command) {
            case kelt::kNewerIdentify:
                reply = {kelt::kNewerIdentify, static_cast<std::uint8_t>(m_type)};
                appendSum(reply, 1);
                summed = true;
                break;
            case kelt::kNewerFirmware:
                reply = {kelt::kNewerFirmware, static_cast<std::uint8_t>(m_firmwareSum), static_cast<std::uint8_t>(m_firmwareSum >> 8),
                         static_cast<std::uint8_t>(m_firmware), static_cast<std::uint8_t>(m_firmware >> 8)};
                appendSum(reply, 1);
                summed = true;
                break;
            case kelt::kNewerMeasure:
                if (m_type <= 6) {
                    reply = {kelt::kNewerMeasure};
                    const Bytes r = record();
                    reply.insert(reply.end(), r.begin(), r.end());
                } else {
                    reply = {kelt::kNewerMeasure, m_temperature};
                    appendSum(reply, 1);
                }
                summed = true;
                break;
            case kelt::kNewerRead:
                reply = {kelt::kNewerRead};
                withBlock(storedBlock());
                break;
            case kelt::kNewerWrite:
                reply = request;
                if (fault() == Fault::None && sumOk(request))
                    storedBlock().assign(request.begin() + 1, request.end() - 2);
                break;
            default:
                return;  // wake-up bytes and anything else
            }
        }

        if (misbehave(reply, out, m_delay)) return;
        if (transducer) {
            switch (fault()) {
            case Fault::Busy:
                reply = {kelt::kBusyEcho};
                break;
            case Fault::BadSum:
                if (summed) reply.back() = static_cast<std::uint8_t>(reply.back() + 1);
                break;
            case Fault::Error:
                reply[0] = static_cast<std::uint8_t>(reply[0] + 1);
                break;
            default:
                break;
            }
        }
        out.send(std::move(reply), m_delay);
    }

    FrameCollector m_in{std::chrono::milliseconds(500)};
    std::chrono::milliseconds m_delay{2};
    int m_model = 0;
    int m_type = 1;
    std::uint8_t m_adapterAnswer = 15;
    std::uint8_t m_adapterVersion = 2;
    std::array<std::uint8_t, 4> m_amplitudes{20, 40, 60, 90};
    std::uint8_t m_level = 0;
    std::uint8_t m_temperature = 46;
    std::uint8_t m_flags = 0;
    std::uint16_t m_period = 327;
    std::uint8_t m_battery = 4;
    std::uint16_t m_firmware = 0x0205;
    std::uint16_t m_firmwareSum = 0x1234;
    int m_correction = 0;
    std::uint8_t m_counter = 0;
    Bytes m_block1, m_block2, m_block3, m_block4, m_block5;
};

}  // namespace

std::unique_ptr<SimDevice> makeKeltSim() { return std::make_unique<KeltSim>(); }

}  // namespace devsim
