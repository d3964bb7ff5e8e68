#include "devices/nivor/SpprController.h"

#include <algorithm>
#include <cmath>

#include "common/Locale.h"

const std::vector<std::string>& SpprController::modeItems() {
    static const std::vector<std::string> items{"Остановка по времени", "Остановка по импульсам", "Старт/стоп 1",
                                                "Старт/стоп 2"};
    return items;
}

const std::vector<std::string>& SpprController::tempChannelItems() {
    static const std::vector<std::string> items{"ТСП 1", "ТСП 2", "Не использовать"};
    return items;
}

const std::vector<std::string>& SpprController::sensorItems() {
    static const std::vector<std::string> items{"100П (W=1,391)", "Pt-100 (W=1,385)"};
    return items;
}

SpprController::SpprController(Queue& queue, Console& console)
    : m_queue(queue), m_console(console), m_recovery(console) {
    cbModeChange(m_mode);
}

// ---- settings ---------------------------------------------------------------

std::vector<int> SpprController::channel1Inputs() const {
    std::vector<int> inputs;
    for (int i = 0; i < 4; ++i)
        if (i != m_input2) inputs.push_back(i);
    return inputs;
}

std::vector<int> SpprController::channel2Inputs() const {
    std::vector<int> inputs;
    for (int i = 0; i < 4; ++i)
        if (i != m_input1) inputs.push_back(i);
    return inputs;
}

void SpprController::cbChannel1Change(int input) {
    if (input >= 0 && input < 4 && input != m_input2) m_input1 = input;
}

void SpprController::cbChannel2Change(int input) {
    if (input >= 0 && input < 4 && input != m_input1) m_input2 = input;
}

void SpprController::cbModeChange(int mode) {
    if (mode < kModeTime || mode > kModeStartStop2) return;
    m_mode = mode;
    if (mode == kModePulses) {
        if (m_channel < 0) m_channel = m_rememberedChannel;
    } else if (m_channel >= 0) {
        m_rememberedChannel = m_channel;
        m_channel = -1;
    }
}

SpprController::Criterion SpprController::criterion() const {
    switch (m_mode) {
    case kModeTime: return Criterion::Time;
    case kModePulses: return Criterion::Pulses;
    default: return Criterion::Blank;
    }
}

std::string SpprController::criterionLabel() const {
    switch (criterion()) {
    case Criterion::Time: return "Длит. измерения, сек:";
    case Criterion::Pulses: return "Кол-во импульсов:";
    default: return "";
    }
}

void SpprController::cbChannelChange(int input) {
    if (!channelEnabled() || input < 0 || input > 3) return;
    m_channel = input;
}

void SpprController::setMeasurementTime(double seconds) {
    if (std::isfinite(seconds)) m_time = std::clamp(seconds, kTimeMin, kTimeMax);
}

void SpprController::setPulseCount(std::int64_t count) {
    m_pulses = static_cast<std::int32_t>(std::clamp<std::int64_t>(count, kPulsesMin, kPulsesMax));
}

void SpprController::cbTempChChange(int channel) {
    if (channel >= kTsp1 && channel <= kNoTemperature) m_tempChannel = channel;
}

void SpprController::setSensorType(int type) {
    if (type == 0 || type == 1) m_sensorType = type;
}

std::string SpprController::volMassLabel() const {
    if (!m_target) return "";
    switch (*m_target) {
    case Reference::Mass: return "Mэт, кг:";
    case Reference::Flow: return "gэт, м3/ч:";
    case Reference::Volume: break;
    }
    return "Vэт, л:";
}

// ---- actions ----------------------------------------------------------------

void SpprController::Post(std::int32_t code, std::uint32_t condition) {
    const int before = m_queue.Pending();
    m_queue.Post(code, condition);
    // A poll dropped because others wait leaves the queue as it was.
    if ((condition & queue_condition::kBackground) == 0 && m_queue.Pending() != before) ++m_foreground;
}

void SpprController::cbPortChange(int position) {
    const int index = std::clamp(position, 0, 255);
    m_queue.Slot().setPort(static_cast<std::uint8_t>(index));
    Post(nivor::kOpenPort, 0);
    m_port = index;
    m_recovery.Reset();
    ClearVoltage();
}

void SpprController::PostTemperature() {
    SpprCommon& slot = m_queue.Slot();
    slot.setCommand(nivor::kTemperature);
    slot.setSensor(static_cast<std::uint8_t>(m_sensorType));
    Post(nivor::kCommand, 0);
}

void SpprController::bnStartClick() {
    m_averaging = false;
    const bool temperature = m_tempChannel != kNoTemperature;
    if (temperature) PostTemperature();
    SpprCommon& slot = m_queue.Slot();
    switch (m_mode) {
    case kModeTime:
        slot.setCommand(nivor::kTimeStop);
        slot.setTime(m_time);
        break;
    case kModePulses:
        slot.setCommand(nivor::kPulseStop);
        slot.setPulses(m_pulses);
        slot.setInput(static_cast<std::uint8_t>(std::max(m_channel, 0)));
        break;
    case kModeStartStop1:
        slot.setCommand(nivor::kStartStop1);
        break;
    default:
        slot.setCommand(nivor::kStartStop2);
        break;
    }
    // Without a temperature request first the mode command goes alone, as
    // any request the dialog starts with.
    Post(nivor::kCommand, temperature ? queue_condition::kAfterSuccess : 0);
}

void SpprController::bnStopClick() {
    const bool temperature = m_tempChannel != kNoTemperature;
    if (temperature) PostTemperature();
    m_queue.Slot().setCommand(nivor::kStop);
    // The stop goes even when the temperature could not be read: a
    // measurement must end whatever the sensor says, or every poll after
    // the instrument's end would try again and fail again. Forced, because
    // the temperature request already waits in the queue.
    Post(nivor::kCommand, temperature ? queue_condition::kForce : 0);
}

void SpprController::TimerTimer() {
    if (m_port <= 0 || m_recovery.away()) return;
    m_queue.Slot().setCommand(nivor::kPoll);
    Post(nivor::kCommand, queue_condition::kBackground | queue_condition::kDropQuietly);
}

void SpprController::ShowVoltage(std::uint8_t state) {
    m_voltage = nivor::voltage(state);
    m_voltageText = Locale::current().formatFixed(*m_voltage, 2) + " В";
    m_voltageLow = nivor::voltageLow(state);
}

void SpprController::ClearVoltage() {
    m_voltage.reset();
    m_voltageText.clear();
    m_voltageLow = false;
}

PageResult SpprController::HandleResult(bool success) {
    using namespace nivor;
    Queue::QueueItem& item = m_queue.Front();
    PageResult handled = PageResult::For(item, success);
    const bool background = (item.condition & queue_condition::kBackground) != 0;
    const SpprCommon& p = item.param;
    if (item.code == kOpenPort) {
        m_recovery.Reset();  // a port lost before this open is no longer the dialog's
        if (!success) {
            m_port = 0;
            m_console.message(item.error);
        }
        ClearVoltage();
        handled.port = m_port;
    } else if (item.code == kCommand) {
        const std::uint8_t command = p.command();
        handled.detail = command;
        if (!success) {
            if (command != kPoll) m_recovery.Failure(item.error);
            ClearVoltage();
        } else if (command <= kPulseStop) {
            m_measuring = true;
            handled.restartTimer = true;
        } else if (command == kTemperature) {
            const double t = p.temperature(m_tempChannel == kTsp2 ? 1 : 0);
            m_temperature = m_averaging ? (m_temperature + t) / 2 : t;
            m_averaging = true;
        } else if (command == kPoll || command == kStop) {
            const std::uint8_t code = p.replyCode();
            // A reply without a state byte (code 4) leaves the voltage as
            // it was shown.
            if (code <= 3 || code == 9) ShowVoltage(p.state());
            if (code <= 3) {
                const Locale& locale = Locale::current();
                m_tq = p.totalTime();
                m_tqText = locale.formatFixed(m_tq, 3);
                m_t1 = p.inputTime(m_input1);
                m_t1Text = locale.formatFixed(m_t1, 3);
                m_n1 = static_cast<std::int32_t>(p.inputPulses(m_input1));
                m_n1Text = std::to_string(m_n1);
                m_n2 = static_cast<std::int32_t>(p.inputPulses(m_input2));
                m_n2Text = std::to_string(m_n2);
                m_measuring = command == kPoll;
                if (command == kPoll && (p.state() & kFinishedBit) != 0) {
                    try {
                        bnStopClick();
                    } catch (const std::exception&) {
                        // A stop already waiting refuses this one; the next
                        // finished poll asks again if it must.
                    }
                }
            } else if (code == 4) {
                m_measuring = command != kStop;
            } else if (code == 9) {
                m_measuring = false;
            }
        }
    }
    m_queue.Pop();
    if (!background && m_foreground > 0) --m_foreground;
    handled.busy = busy();
    return handled;
}
