// Simulated Kelt transducer. Device types 1 … 4 sit behind the ОРБ-КЕЛТ
// adapter and speak the older protocol (adapter query 15, adapter level and
// amplitude commands, a command byte echoed before its answer); types 5 … 9
// are reached directly (wake-up bytes 255 are ignored). Every answer that
// carries data ends with the 16-bit byte sum, most significant byte first.
// A write frame is echoed in full and its block kept when its checksum is
// right; reads return the kept blocks.
//
// Faults beyond the generic ones: busy - the transducer echoes 255 instead of
// its command (the adapter's own commands still work); badsum - answers carry
// a wrong checksum; error - the echo is one off.

#include <array>

#include "Devices.h"
#include "devices/kelt/KeltBlocks.h"
#include "devices/kelt/KeltPageController.h"
#include "devices/kelt/KeltPageState.h"

namespace devsim {

namespace {

using kelt::Checksum;

void appendSum(Bytes& bytes, std::size_t from) {
    const std::uint16_t sum = Checksum(std::span(bytes).subspan(from));
    bytes.push_back(static_cast<std::uint8_t>(sum >> 8));
    bytes.push_back(static_cast<std::uint8_t>(sum));
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
        return {"model=model index 0 … 18 (sets the type and fresh blocks)",
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
            case 2:
                return kelt::kBlock1Size + 3;
            case 17:
                return kelt::kBlock2Size + 3;
            case 20:
                return 34;
            case 25:
            case 26:
                return kelt::kBlock3Size + 4;
            default:
                return 1;
            }
        }
        return command == 2 ? blockSize() + 3 : 1;
    }

    void setModel(int model) {
        m_model = model;
        m_type = defaultType(model);
        // Blocks as a fresh page of the model would write them (diameter 50).
        KeltPageState page(model);
        page.selectDiameter(model == 18 ? 0 : 4);
        const kelt::KeltBlockValues v = KeltPageController::WriteInputs(page);
        const auto keep = [](auto&& encode, auto block, Bytes& target) {
            block.fill(0);
            try {
                encode(block);
            } catch (const std::exception&) {
                // Values this model cannot hold leave an empty block.
            }
            target.assign(block.begin(), block.end());
        };
        keep([&](auto& b) { kelt::EncodeBlock1(v, 0, b); }, kelt::Block1{}, m_block1);
        keep([&](auto& b) { kelt::EncodeBlock2(v, model, b); }, kelt::Block2{}, m_block2);
        keep([&](auto& b) { kelt::EncodeBlock3(v, model, b); }, kelt::Block3{}, m_block3);
        keep([&](auto& b) { kelt::EncodeBlock4(v, model, b); }, kelt::Block4{}, m_block4);
        keep([&](auto& b) { kelt::EncodeBlock5(v, b); }, kelt::Block5{}, m_block5);
    }

    bool sumOk(const Bytes& frame, std::uint8_t lowering = 0) const {
        const std::size_t n = frame.size();
        const std::uint16_t sum = Checksum(std::span(frame).subspan(1, n - 3));
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
            case 15:
                transducer = false;
                reply = m_adapterAnswer == 255 ? Bytes{255} : Bytes{15, 1, m_adapterVersion};
                break;
            case 0:
                transducer = false;
                reply = {0, m_amplitudes[m_level & 3]};
                break;
            case 11:
            case 12:
            case 13:
            case 14:
                transducer = false;
                m_level = static_cast<std::uint8_t>(command - 11);
                reply = {command};
                break;
            case 8:
            case 5:
            case 22:
                reply = {command, command == 8 ? static_cast<std::uint8_t>(m_type) : command == 5 ? m_battery : m_temperature};
                appendSum(reply, 1);
                summed = true;
                break;
            case 9:
                reply = {9};
                break;
            case 1:
            case 16:
                reply = {command};
                withBlock(command == 1 ? m_block1 : m_block2);
                break;
            case 19: {
                reply = {19, static_cast<std::uint8_t>(m_correction + 7)};
                reply.resize(32, 0);
                appendSum(reply, 1);
                summed = true;
                break;
            }
            case 23: {
                reply = {23};
                const Bytes r = record();
                reply.insert(reply.end(), r.begin(), r.end());
                summed = true;
                break;
            }
            case 24: {
                reply = {24};
                Bytes data = m_block3;
                data.push_back(m_counter);
                withBlock(data);
                break;
            }
            case 2:
            case 17:
            case 20:
                reply = request;
                if (fault() == Fault::None && sumOk(request)) {
                    if (command == 20)
                        m_correction = (request[1] & 15) - 7;
                    else
                        (command == 2 ? m_block1 : m_block2).assign(request.begin() + 1, request.end() - 2);
                }
                break;
            case 25:
            case 26: {
                // A type-3 transducer wants command 26 with the checksum's low
                // byte lowered by 39, and echoes the checksum unlowered.
                const std::uint8_t lowering = command == 26 ? 39 : 0;
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
            case 8:
                reply = {8, static_cast<std::uint8_t>(m_type)};
                appendSum(reply, 1);
                summed = true;
                break;
            case 9:
                reply = {9, static_cast<std::uint8_t>(m_firmwareSum), static_cast<std::uint8_t>(m_firmwareSum >> 8),
                         static_cast<std::uint8_t>(m_firmware), static_cast<std::uint8_t>(m_firmware >> 8)};
                appendSum(reply, 1);
                summed = true;
                break;
            case 11:
                if (m_type <= 6) {
                    reply = {11};
                    const Bytes r = record();
                    reply.insert(reply.end(), r.begin(), r.end());
                } else {
                    reply = {11, m_temperature};
                    appendSum(reply, 1);
                }
                summed = true;
                break;
            case 1:
                reply = {1};
                withBlock(storedBlock());
                break;
            case 2:
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
                reply = {255};
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
