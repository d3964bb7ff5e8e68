// Seeds of the device reply targets: whole conversations in which the
// device answers as it should, its frames and blocks made by the program's
// own encoders, so that the fuzzer starts from replies the page applies.
// Each seed begins with the choices the target reads (see its source).

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "Seeds.h"
#include "devices/dorn/DornPageState.h"
#include "devices/dorn/DornProtocol.h"
#include "devices/kelt/KeltBlocks.h"
#include "devices/kelt/KeltFrames.h"
#include "devices/kelt/KeltPageController.h"
#include "devices/nivor/NivorProtocol.h"
#include "devices/rv/RvBlocks.h"
#include "devices/rv/RvFrames.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

void append(Bytes& out, std::span<const std::uint8_t> bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }

// ---- RV: [decimal] then, per request, [flags 2: CRC as sent][count][frame]

// A read reply of `reg` around `data`, as the meter sends it.
Bytes rvReply(std::uint8_t reg, std::span<const std::uint8_t> data) {
    rv::FrameBuffer frame{};
    std::copy(data.begin(), data.end(), frame.begin() + 3);
    const std::size_t n = rv::buildFrame(frame, 1, rv::FnRead, reg, data.size());
    Bytes record = {2, static_cast<std::uint8_t>(n)};
    record.insert(record.end(), frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(n));
    return record;
}

template <class Block, std::size_t N>
Bytes encoded(const Block& block) {
    std::array<std::uint8_t, N> out{};
    rv::encode(block, std::span<std::uint8_t, N>(out));
    return Bytes(out.begin(), out.end());
}

void rvSeeds(const fs::path& folder) {
    fs::create_directories(folder);
    rv::SystemBlock system;
    system.versionHigh = 3;
    system.versionLow = 4;
    system.serial = 1234567;
    system.duIndex = 2;
    rv::OutputsBlock outputs;
    rv::CalibrationBlock calibration;
    rv::EmptyPipeBlock pipe;
    pipe.codeThreshold = 5000;
    pipe.measurements = 10;
    // The opening chain: system, firmware sum, outputs, calibration,
    // address, integrator, empty-pipe test.
    Bytes open = {0};
    append(open, rvReply(rv::RegSystem, encoded<rv::SystemBlock, rv::SystemBlock::kSize>(system)));
    append(open, rvReply(rv::RegFirmwareSum, Bytes{0x34, 0x12, 0, 0, 0, 0, 0}));
    append(open, rvReply(rv::RegOutputs, encoded<rv::OutputsBlock, rv::OutputsBlock::kSize>(outputs)));
    append(open, rvReply(rv::RegCalibration, encoded<rv::CalibrationBlock, rv::CalibrationBlock::kSize>(calibration)));
    append(open, rvReply(rv::RegAddress, Bytes{1}));
    append(open, rvReply(rv::RegIntegrator, Bytes{4}));
    append(open, rvReply(rv::RegEmptyPipe, encoded<rv::EmptyPipeBlock, rv::EmptyPipeBlock::kSize>(pipe)));
    writeSeed(folder / "opening.bin", text(open));

    // Then the timer's current values (action 12) and a reading (action 13).
    rv::CurrentValuesBlock current;
    current.status = rv::kStatusRun;
    current.sumCode = 123456.0f;
    current.count = 100;
    current.pulses = 2000;
    current.flow = 1.5f;
    current.noise = 300;
    current.workTime = 90061;
    Bytes full(rv::CurrentValuesBlock::kFull);
    rv::encode(current, full);
    rv::ObservationBlock reading;
    reading.status = rv::kStatusRun;
    reading.code = -12345;
    Bytes polls = open;
    polls.push_back(12);
    append(polls, rvReply(rv::RegCurrent, full));
    polls.push_back(13);
    append(polls, rvReply(rv::RegObservation, encoded<rv::ObservationBlock, rv::ObservationBlock::kSize>(reading)));
    writeSeed(folder / "polls.bin", text(polls));
}

// ---- Dorn: [model][diameter][n][actions] then what the transducer sends

void dornSeeds(const fs::path& folder) {
    fs::create_directories(folder);
    const int model = 1;  // has a pulse output
    DornPageState page(model);
    page.selectDiameter(3);
    const dorn::Frame answer = dorn::writeFrame(1.25, -0.5, page.du());
    const dorn::Frame echo = dorn::writeFrame(page.a().value(), page.b().value(), page.du());
    Bytes read = {model, 3, 1, 0};  // read
    append(read, answer);
    writeSeed(folder / "read.bin", text(read));
    Bytes both = {model, 3, 2, 1, 0};  // write, then read
    append(both, echo);
    append(both, answer);
    writeSeed(folder / "write-read.bin", text(both));
}

// ---- Kelt: [model][decimal][n][actions] then what adapter and transducer send

Bytes checked(std::span<const std::uint8_t> data) {
    Bytes out(data.begin(), data.end());
    out.resize(out.size() + 2);
    kelt::PutChecksum(out.data() + data.size(), kelt::Checksum(data));
    return out;
}

void keltSeeds(const fs::path& folder) {
    fs::create_directories(folder);
    // The values a page of the model writes as it opens.
    // The values a page of the model writes as it opens, with boundaries
    // above the model's lowest frequency.
    const auto values = [](int model) {
        kelt::KeltBlockValues v = KeltPageController::WriteInputs(KeltPageState(model));
        const double low = kelt::MinimumFrequency(model, v.du);
        for (int k = 0; k < kelt::kBoundaries; ++k) v.f[k] = std::max(low, 2.0) * (k + 2);
        // Block 5 keeps A in 13 bits of A × 182044.
        if (model == 18) v.a.fill(0.01);
        return v;
    };

    // Model 12 on the newer protocol: identify (echo, type 7), read command
    // echoed, block 4 with its checksum.
    {
        kelt::Block4 block{};
        kelt::EncodeBlock4(values(12), 12, block);
        Bytes s = {12, 0, 1, 0, kelt::kNewerIdentify};
        append(s, checked(Bytes{7}));
        s.push_back(kelt::kNewerRead);
        append(s, checked(block));
        writeSeed(folder / "model12-read.bin", text(s));
    }
    // Model 18: type 9, block 5.
    {
        kelt::Block5 block{};
        kelt::EncodeBlock5(values(18), block);
        Bytes s = {18, 0, 1, 0, kelt::kNewerIdentify};
        append(s, checked(Bytes{9}));
        s.push_back(kelt::kNewerRead);
        append(s, checked(block));
        writeSeed(folder / "model18-read.bin", text(s));
    }
    // Model 8 through the adapter: the full adapter's answer and version,
    // identify (type 3), the read command echoed, block 3 with its write
    // counter and checksum.
    {
        kelt::Block3 block{};
        kelt::EncodeBlock3(values(8), 8, block);
        Bytes s = {8, 0, 1, 0, kelt::kAdapterQuery, 1, 2, kelt::kDeviceType};
        append(s, checked(Bytes{3}));
        s.push_back(kelt::kReadBlock3);
        Bytes withCounter(block.begin(), block.end());
        withCounter.push_back(5);
        append(s, checked(withCounter));
        writeSeed(folder / "model8-read.bin", text(s));
    }
    // Model 3 through the adapter: block 2, then the correction.
    {
        kelt::Block2 block{};
        kelt::EncodeBlock2(values(3), 3, block);
        Bytes s = {3, 0, 1, 0, kelt::kAdapterQuery, 1, 2, kelt::kDeviceType};
        append(s, checked(Bytes{2}));
        s.push_back(kelt::kReadBlock2);
        append(s, checked(block));
        const Bytes correction = [] {
            const kelt::Frame frame = kelt::CorrectionFrame(2);
            return Bytes(frame.begin() + 1, frame.end());
        }();
        s.insert(s.end(), {kelt::kAdapterQuery, 1, 2, kelt::kDeviceType});
        append(s, checked(Bytes{2}));
        s.push_back(kelt::kReadCorrection);
        append(s, correction);
        writeSeed(folder / "model3-read.bin", text(s));
    }
}

// ---- Nivor: [decimal][n][actions] then what the instrument sends

Bytes greeting() {
    const std::uint8_t id[2] = {1, nivor::kInstrumentType};
    return {nivor::kGreeting, id[0], id[1], nivor::checksum(id)};
}

Bytes withSum(Bytes bytes) {
    bytes.push_back(nivor::checksum(bytes));
    return bytes;
}

void put24(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 3; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void nivorSeeds(const fs::path& folder) {
    fs::create_directories(folder);
    // Start (temperature, then the time stop), one poll, stop (temperature,
    // then the stop's state reply).
    Bytes s = {0, 3, 0, 2, 1};
    append(s, greeting());
    s.push_back(nivor::kTemperature);
    append(s, withSum({0x10, 0x27, 0x20, 0x4E, 0x00, 0x30, 0x10, 0x30}));
    append(s, greeting());
    append(s, nivor::timeStopFrame(5.0));
    append(s, greeting());
    s.push_back(1);  // measuring
    Bytes block = {0x1A};  // state: supply code 26
    put24(block, 4096 * 3);
    for (int k = 0; k < 4; ++k) {
        put24(block, 4096 * 2 + k);
        put24(block, 1000 * (k + 1));
    }
    append(s, withSum(block));
    append(s, greeting());
    s.push_back(nivor::kTemperature);
    append(s, withSum({0x10, 0x27, 0x20, 0x4E, 0x00, 0x30, 0x10, 0x30}));
    append(s, greeting());
    s.push_back(9);
    append(s, withSum({0x15, 0x00}));
    writeSeed(folder / "measurement.bin", text(s));
}

}  // namespace

void writeReplySeeds(const fs::path& root) {
    rvSeeds(root / "rv_reply");
    dornSeeds(root / "dorn_reply");
    keltSeeds(root / "kelt_reply");
    nivorSeeds(root / "nivor_reply");
}
