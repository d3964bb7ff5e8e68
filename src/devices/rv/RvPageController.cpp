#include "devices/rv/RvPageController.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>

#include "common/Locale.h"
#include "common/MathError.h"
#include "common/NumberText.h"
#include "devices/Ident.h"

namespace rv {

namespace {

std::string fixed3(double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%012.3f", value);
    return withUserSeparator(buf);
}

std::string workTimeText(std::uint32_t seconds) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%05u:%02u:%02u", seconds / 3600, (seconds % 3600) / 60, seconds % 60);
    return buf;
}

// An integer field of the empty-pipe test within the width it is sent in.
std::optional<long long> integerIn(const std::string& text, long long low, long long high) {
    const std::optional<long long> v = parseUserInteger(text);
    if (!v || *v < low || *v > high) return std::nullopt;
    return v;
}

// The integer part of a number shown on the page; a text that is not a
// number raises the conversion error.
std::string integerPart(const std::string& text) {
    const std::optional<double> v = parseUserNumber(text);
    if (!v) throw UserError("'" + text + "' is not a valid floating point value");
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.0f", std::trunc(*v));
    return std::string(buf) == "-0" ? "0" : buf;
}

}  // namespace

// The reply handling of the page: what each register's reply shows.
class RvPageController::Replies final : public ReplyHandler {
public:
    explicit Replies(RvPageController& c) : m_c(c) {}

    void system(const SystemBlock& b) override {
        RvPageState& page = m_c.m_page;
        page.applySystemVersion(b.versionHigh, b.versionLow);
        page.setSerial(SerialText(b.serial, static_cast<std::uint8_t>(diameterIndexToCode(b.duIndex))));
        page.selectDiameter(b.duIndex);
        char buf[32];
        std::snprintf(buf, sizeof buf, "%X.%X", b.versionHigh, b.versionLow);
        m_c.m_live.version = buf;
    }
    void firmwareSum(std::uint16_t sum) override {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%02X", sum);
        m_c.m_live.crcPO = buf;
    }
    void calibration(CalibrGrid grid, const CalibrationBlock& block) override { m_c.m_page.showGrid(grid, block); }
    void outputs(const OutputsBlock& block) override { m_c.m_page.showOutputs(block); }
    void status(std::uint8_t status) override { m_c.m_status = status; }
    void address(std::uint8_t a) override { m_c.m_netAddress.setValue(a); }
    void integrator(std::uint8_t i) override { m_c.m_flowIntegrator.setValue(i); }
    void emptyPipe(const EmptyPipeBlock& b) override {
        RvLiveValues& v = m_c.m_live;
        v.disableEmptyPipe = b.disabled != 0;
        v.tepCode = std::to_string(b.codeThreshold);
        v.tepNoize = std::to_string(b.noiseThreshold);
        v.tepCodeRange = std::to_string(b.codeSpread);
        v.tepNoizeRange = std::to_string(b.noiseSpread);
        v.tepMeasureCount = std::to_string(b.measurements);
        v.tepHysteresis = std::to_string(b.hysteresis);
    }
    void observation(const ObservationBlock& b) override {
        // While the clear question is open the sample is dropped whole,
        // status included.
        if (m_c.m_readings.paused()) return;
        m_c.m_status = b.status;
        m_c.m_readings.take(b.code);
        m_c.m_live.lastReading = b.code;
        ++m_c.m_live.readings;
    }
    void current(const CurrentValuesBlock& c) override {
        RvLiveValues& v = m_c.m_live;
        RvPageState& page = m_c.m_page;
        m_c.m_status = c.status;
        v.integrator = formatG(c.sumCode);
        v.nMeasure = std::to_string(c.count);
        if (c.count != 0) {
            // A run without measurements leaves the mean the entry takes as it was.
            const double mean = c.sumCode / c.count;
            page.setMeanCode(mean);
            v.middleCode = formatG(mean);
            if (c.length >= CurrentValuesBlock::kWithNoise) {
                v.middleNoise = formatG(static_cast<double>(c.noise / c.count));
                if (c.sumCode == 0.0f) {
                    v.noiseSignal = "0";
                } else {
                    const float ratio = std::fabs(static_cast<float>(c.noise) * 100.0f / c.sumCode);
                    v.noiseSignal = formatG(ratio) + " %";
                }
            } else {
                v.middleNoise.clear();
                v.noiseSignal.clear();
            }
        } else {
            v.middleCode = "0";
            v.middleNoise.clear();
            v.noiseSignal.clear();
        }
        if (c.length >= CurrentValuesBlock::kFull) {
            v.workTime = workTimeText(c.workTime);
            v.volumeDir = fixed3(c.volumePlus());
            v.volumeRev = fixed3(c.volumeMinus());
        } else {
            v.workTime.clear();
            v.volumeDir.clear();
            v.volumeRev.clear();
        }
        // A meander output counts both edges of every pulse.
        std::uint32_t pulses = c.pulses;
        if (page.meanderFlag()) pulses /= 2;
        const auto counter = static_cast<std::int32_t>(pulses);
        v.impulseVolume = std::to_string(counter);
        v.volume = formatG(counter * page.litresPerPulse());
        page.setLastPulseCounter(counter);
        v.expenditure = formatG(c.flow);
    }

private:
    RvPageController& m_c;
};

const std::array<int, 4>& RvPageController::speeds() {
    static const std::array<int, 4> kSpeeds = {9600, 4800, 2400, 1200};
    return kSpeeds;
}

RvPageController::RvPageController(RvPageState& page, Queue& queue, Console& console)
    : m_page(page), m_queue(queue), m_console(console), m_recovery(console) {}

void RvPageController::changed() {
    if (m_changed) m_changed();
}

void RvPageController::setPortIndex(int index) { m_portIndex = index < 0 ? 0 : index; }

void RvPageController::setAddress(int address) { m_address = std::clamp(address, 0, 255); }

void RvPageController::send(std::uint8_t function, std::uint8_t reg, std::size_t n, std::size_t m) {
    sendRequest(m_queue, m_frame, static_cast<std::uint8_t>(m_address), function, reg, n, m);
}

void RvPageController::readCurrent() {
    const int low = m_page.versionLow();
    const std::optional<std::uint8_t> data = currentRequestData(low);
    if (data) m_frame[3] = *data;
    send(FnRead, RegCurrent, data ? 1 : 0, currentReplyLength(low));
}

void RvPageController::OpenPortButtonClick() {
    m_recovery.Reset();
    if (m_portOpen) {
        postClose(m_queue);
        return;
    }
    const int speed = m_speedIndex >= 0 && m_speedIndex < static_cast<int>(speeds().size())
                          ? speeds()[static_cast<std::size_t>(m_speedIndex)]
                          : 0;
    postOpen(m_queue, static_cast<std::uint8_t>(std::min(m_portIndex + 1, 255)), speed);
    m_page.resetForPortOpen();
}

void RvPageController::SimpleCommand(Command command) {
    switch (command) {
    case Command::ReadParam:
        read(RegSystem, SystemBlock::kSize);
        read(RegFirmwareSum, kFirmwareSumSize);
        break;
    case Command::ReadImpulseOut: read(RegOutputs, OutputsBlock::kSize); break;
    case Command::ReadCalibr:
        read(RegCalibration, CalibrationBlock::kSize);
        if (m_page.versionHigh() == 3 && m_page.versionLow() >= 5)
            read(RegReverseCalibration, CalibrationBlock::kSize);
        break;
    case Command::SetCalibr: {
        const CalibrationBlock block = m_page.readGrid(m_activeSheet);
        encode(block, std::span<std::uint8_t, CalibrationBlock::kSize>(m_frame.data() + 3, CalibrationBlock::kSize));
        send(FnWrite, m_activeSheet == CalibrGrid::Direct ? RegCalibration : RegReverseCalibration,
             CalibrationBlock::kSize, 0);
        break;
    }
    case Command::Advanced_Info: read(RegWorkTime, kWorkTimeSize); break;
    case Command::GetNetAddr: read(RegAddress, 1); break;
    case Command::SetNetAddr:
        m_frame[3] = static_cast<std::uint8_t>(m_netAddress.value());
        send(FnWrite, RegAddress, 1, 0);
        break;
    case Command::GetIntegrator: read(RegIntegrator, 1); break;
    case Command::SetIntegrator:
        m_frame[3] = static_cast<std::uint8_t>(m_flowIntegrator.value());
        send(FnWrite, RegIntegrator, 1, 0);
        break;
    case Command::SetStSt:
        m_frame[3] = static_cast<std::uint8_t>(m_startStopMode >= 0 && m_startStopMode <= 3 ? m_startStopMode : 0);
        m_frame[4] = static_cast<std::uint8_t>(m_noiseCancel.value());
        send(FnWrite, RegStartStop, 2, 0);
        break;
    case Command::ClearMeasure:
        std::memset(m_frame.data() + 3, 0, 20);
        send(FnWrite, RegClearCurrent, 20, 0);
        break;
    case Command::ReadTestEmptyPipe: read(RegEmptyPipe, EmptyPipeBlock::kSize); break;
    }
}

void RvPageController::SetImpulseOutClick() {
    const OutputsBlock block = m_page.readOutputs(true);
    encode(block, std::span<std::uint8_t, OutputsBlock::kSize>(m_frame.data() + 3, OutputsBlock::kSize));
    send(FnWrite, RegOutputs, OutputsBlock::kSize, 0);
}

void RvPageController::SetTestEmptyPipeClick() {
    const RvLiveValues& v = m_live;
    const auto code = integerIn(v.tepCode, std::numeric_limits<std::int32_t>::min(),
                                std::numeric_limits<std::int32_t>::max());
    const auto noise = integerIn(v.tepNoize, 0, 65535);
    const auto codeRange = integerIn(v.tepCodeRange, 0, 65535);
    const auto noiseRange = integerIn(v.tepNoizeRange, 0, 65535);
    const auto count = integerIn(v.tepMeasureCount, 0, 255);
    const auto hysteresis = integerIn(v.tepHysteresis, 0, 255);
    if (!code || !noise || !codeRange || !noiseRange || !count || !hysteresis) {
        m_console.message(kBadEmptyPipe);
        return;
    }
    EmptyPipeBlock b;
    b.disabled = v.disableEmptyPipe ? 1 : 0;
    b.codeThreshold = static_cast<std::int32_t>(*code);
    b.noiseThreshold = static_cast<std::uint16_t>(*noise);
    b.codeSpread = static_cast<std::uint16_t>(*codeRange);
    b.noiseSpread = static_cast<std::uint16_t>(*noiseRange);
    b.measurements = static_cast<std::uint8_t>(*count);
    b.hysteresis = static_cast<std::uint8_t>(*hysteresis);
    encode(b, std::span<std::uint8_t, EmptyPipeBlock::kSize>(m_frame.data() + 3, EmptyPipeBlock::kSize));
    send(FnWrite, RegEmptyPipe, EmptyPipeBlock::kSize, 0);
}

void RvPageController::PanelClick(int bit) {
    if (bit != 0 && bit != 1) return;
    const bool lit = (m_status & (1u << bit)) != 0;
    const auto data = statusRequest(bit, !lit);
    m_frame[3] = data[0];
    m_frame[4] = data[1];
    send(FnWrite, RegStatus, 2, 1);
}

void RvPageController::CopyTestEmptyPipeClick() {
    m_live.tepCode = integerPart(m_live.middleCode);
    changed();
    m_live.tepNoize = integerPart(m_live.middleNoise);
    changed();
}

std::string RvPageController::noiseStStLabel() const { return formatG(m_noiseCancel.value() * 0.8) + " мс"; }

RvPageController::Lamp RvPageController::statusLamp(int bit) const {
    switch (bit) {
    case 0: return (m_status & kStatusRun) ? Lamp::Olive : Lamp::Off;
    case 1: return (m_status & kStatusResetPulses) ? Lamp::Olive : Lamp::Off;
    case 2: return (m_status & kStatusRangeMask) == kStatusReverse ? Lamp::Olive : Lamp::Off;
    case 3: return (m_status & kStatusRangeMask) == kStatusBelowMin ? Lamp::Olive : Lamp::Off;
    case 4: return (m_status & kStatusRangeMask) == kStatusRangeMask ? Lamp::Olive : Lamp::Off;
    case 5: return (m_status & kStatusFault) ? Lamp::Red : Lamp::Off;
    default: return Lamp::Off;
    }
}

PageResult RvPageController::HandleResult(bool success) {
    Queue::QueueItem& item = m_queue.Front();
    PageResult handled = PageResult::For(item, success);
    const std::string error = item.error;
    std::size_t count = 0;
    const bool exchange = item.code == kExchange || item.code == kQuietExchange;
    if (exchange) {
        handled.detail = item.param.buffer()[2];
        if (success) count = takeReply(item.param, m_frame);
    }
    // Freed first: the opening chain below needs all its slots.
    m_queue.Pop();

    // A port lost before an open or a close is no longer the page's.
    if (handled.code == kOpenPort || handled.code == kClosePort) m_recovery.Reset();
    switch (handled.code) {
    case kOpenPort:
        if (!success) {
            m_console.message(error);
            break;
        }
        m_portOpen = true;
        changed();
        try {
            for (Command c : {Command::ReadParam, Command::ReadImpulseOut, Command::ReadCalibr, Command::GetNetAddr,
                              Command::GetIntegrator, Command::ReadTestEmptyPipe})
                SimpleCommand(c);
        } catch (const std::exception& e) {
            m_console.message(e.what());
        }
        break;
    case kClosePort:
        if (success)
            m_portOpen = false;
        else
            m_console.message(error);
        break;
    case kExchange:
    case kQuietExchange:
        if (success) {
            Replies replies(*this);
            dispatchReply(m_frame, count, replies, m_console);
        } else if (handled.code == kExchange) {
            m_recovery.Failure(error);
        }
        break;
    default:
        break;
    }
    handled.busy = m_queue.Pending() > 0;
    changed();
    return handled;
}

void RvPageController::PortNotified(bool back) {
    // The RV selector has no "no port" item: its index k is port k + 1.
    m_recovery.Notify(back, PortRecovery::PortName(m_portIndex + 1));
    changed();
}

void RvPageController::Activity(std::intptr_t transmitting) {
    (transmitting ? m_txCountdown : m_rxCountdown) = kLampTicks;
    changed();
}

void RvPageController::SystemTimerTimer() {
    try {
        if (--m_systemCountdown == 0) {
            m_systemCountdown = kSystemPollTicks;
            if (m_portOpen && !m_recovery.away()) readCurrent();
        }
        if (--m_readingsCountdown <= 0) {
            m_readingsCountdown = kReadingsPollTicks;
            if (m_observation && m_portOpen && !m_recovery.away()) read(RegObservation, ObservationBlock::kSize);
        }
    } catch (const std::exception& e) {
        m_console.message(e.what());
    }
    bool lampsChanged = false;
    for (int* countdown : {&m_rxCountdown, &m_txCountdown}) {
        if (*countdown > 0 && --*countdown == 0) lampsChanged = true;
    }
    if (lampsChanged) changed();
}

}  // namespace rv
