#include "devices/kelt/KeltPageController.h"

#include <algorithm>
#include <cstdio>

#include "common/Locale.h"
#include "common/NumberText.h"
#include "common/MathError.h"
#include "devices/Ident.h"

namespace {

bool between(int v, int lo, int hi) { return v >= lo && v <= hi; }

// A value with four significant digits and the regional separator.
std::string fourDigits(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.4G", value);
    return withUserSeparator(buffer);
}

}  // namespace

KeltPageController::KeltPageController(KeltPageState& page, Queue& queue, Console& console)
    : m_page(page), m_queue(queue), m_console(console), m_recovery(console) {}

KeltCommon& KeltPageController::NextSlot(std::uint8_t sub) {
    KeltCommon& slot = m_queue.Slot();
    slot = KeltCommon{};
    slot.sub = sub;
    slot.model = m_page.model();
    return slot;
}

void KeltPageController::PostExchange(std::uint8_t sub, std::uint32_t condition) {
    NextSlot(sub);
    m_queue.Post(kelt::kExchange, condition);
}

void KeltPageController::cbPortChange(int position) {
    const int index = std::clamp(position, 0, 255);
    NextSlot(static_cast<std::uint8_t>(index));
    m_queue.Post(m_page.model() >= 15 ? kelt::kOpenSlow : kelt::kOpenFast, 0);
    m_port = index;
    m_recovery.Reset();
    m_busy = true;
}

void KeltPageController::bnSetLevelClick() {
    PostExchange(static_cast<std::uint8_t>(m_page.level().value() + kelt::kLevel0));
    m_busy = true;
}

void KeltPageController::bnGetAmpClick() {
    PostExchange(kelt::kAmplitude);
    m_busy = true;
}

void KeltPageController::bnAutoClick() {
    NextSlot(0);
    m_queue.Post(kelt::kAutoTune, 0);
    m_busy = true;
}

void KeltPageController::bnResetClick() {
    NextSlot(0);
    m_queue.Post(kelt::kResetAdapter, 0);
    m_busy = true;
}

void KeltPageController::bnGetUClick() {
    PostExchange(kelt::kBattery);
    m_busy = true;
}

void KeltPageController::bnGetTClick() {
    const int m = m_page.model();
    PostExchange(m == 0 || between(m, 7, 11) ? kelt::kSignal : kelt::kTemperature);
    m_busy = true;
}

void KeltPageController::bnGetVerCrcClick() {
    PostExchange(kelt::kFirmware);
    m_busy = true;
}

int KeltPageController::ReadSub(int model) {
    if (model == 0) return kelt::kReadBlock1;
    if (model <= 6) return kelt::kReadBlock2;
    if (model <= 11) return kelt::kReadBlock3;
    if (model <= 17) return kelt::kReadBlock4;
    return kelt::kReadBlock5;
}

void KeltPageController::bnReadClick() {
    const int m = m_page.model();
    PostExchange(static_cast<std::uint8_t>(ReadSub(m)));
    if (between(m, 1, 6)) PostExchange(kelt::kReadCorrection, queue_condition::kAfterSuccess);
    m_busy = true;
}

kelt::KeltBlockValues KeltPageController::WriteInputs(const KeltPageState& page) {
    const int m = page.model();
    kelt::KeltBlockValues v;
    for (int i = 0; i < kelt::kSegments; ++i) {
        v.a[i] = page.a(i).value();
        v.b[i] = page.b(i).value();
    }
    for (int i = 0; i < kelt::kBoundaries; ++i) v.f[i] = page.f(i).value();
    v.du = page.du();
    v.pulseLength = page.pulseLength().value();
    v.n = page.n().value();
    const int weightCode = page.weight().index() + 1;
    if (m <= 6) {
        v.outputCode = page.outputType().index() == 0 ? weightCode : 0;
    } else if (m <= 17) {
        v.outputCode = weightCode;
        v.temperatureCorrection = page.temperatureCorrection().value();
        v.frequencyOutput = std::max(page.outputType().index(), 0);
        if (m >= 12) {
            const auto number = parseUserInteger(page.serialText());
            v.factoryNumber = number && *number >= 0 && *number <= 0xFFFFFFFFLL ? static_cast<std::uint32_t>(*number) : 0;
            // Their check boxes are never shown: both stay enabled.
            v.disableRestore = false;
            v.disableThermocorrection = false;
        }
    } else {
        v.temperatureCorrection = page.temperatureCorrection().value() / 2;  // whole degrees, toward zero
        v.displayOutputType = std::max(page.outputType().index(), 0);
        v.diameterItem = std::max(page.diameter().index(), 0);
    }
    return v;
}

void KeltPageController::bnWriteClick() {
    const int m = m_page.model();
    if ((m == 11 || m == 14 || m == 17) && m_page.diameter().index() == 0) throw UserError(kNoDu20);
    const kelt::KeltBlockValues inputs = WriteInputs(m_page);
    if (m >= 12 && m <= 17 && !kelt::FactoryNumberFits(inputs.factoryNumber))
        throw UserError("Заводской номер не помещается в прибор: наибольший " +
                        std::to_string(kelt::kLargestPlainFactoryNumber) + " или от 151000000 до 151999999");
    const auto post = [&](std::uint8_t sub, std::uint32_t condition) {
        NextSlot(sub).values = inputs;
        m_queue.Post(kelt::kExchange, condition);
    };
    if (m == 0) {
        post(kelt::kWriteBlock1, 0);
    } else if (m <= 6) {
        post(kelt::kWriteBlock2, 0);
        KeltCommon& slot = NextSlot(kelt::kWriteCorrection);
        slot.data[0] = static_cast<std::uint8_t>(m_page.temperatureCorrection().value());
        m_queue.Post(kelt::kExchange, queue_condition::kAfterSuccess);
    } else if (m <= 11) {
        post(kelt::kWriteBlock3, 0);
    } else if (m <= 17) {
        post(kelt::kWriteBlock4, 0);
    } else {
        post(kelt::kWriteBlock5, 0);
    }
    m_busy = true;
}

std::string KeltPageController::BatteryText(int code) {
    static const char* kTexts[] = {"меньше 3,0В", "3,0..3,15В", "3,15..3,3В", "3,3..3,45В", "3,45..3,6В", "больше 3,6В"};
    return kTexts[std::clamp(code, 0, 5)];
}

std::string KeltPageController::SignalText(int model, const KeltSignal& signal) {
    std::string text = "\r\n";
    if (model != 11)
        text += "  Температура: " + Locale::current().formatFixed(signal.temperature, 1) + "°C\r\n";
    text += "  Качество сигнала: ";
    if (signal.flags & 4)
        text += "нет сигнала";
    else if ((signal.flags & 3) == 0)
        text += "хорошее";
    else if ((signal.flags & 3) == 1)
        text += "удовлетворительное";
    else
        text += "плохое";
    text += "\r\n  Частота: ";
    text += signal.frequencyUnknown() ? std::string("?") : fourDigits(signal.frequency) + " Гц";
    return text;
}

void KeltPageController::ShowCoefficients(const kelt::KeltBlockValues& v, int segments) {
    for (int i = 0; i < segments; ++i) {
        m_page.a(i).setValue(v.a[i]);
        m_page.b(i).setValue(v.b[i]);
    }
    for (int i = 0; i < segments - 1; ++i) m_page.f(i).setValue(v.f[i]);
}

void KeltPageController::ShowEarlyBlock(const kelt::KeltBlockValues& v, int segments) {
    m_page.selectOutputType(v.outputCode == 0 ? 1 : 0);
    m_page.restoreWeight(v.outputCode - 1);
    m_page.n().setValue(v.n);
    m_page.pulseLength().setValue(v.pulseLength);
    m_page.selectDiameter(v.du - 1);
    ShowCoefficients(v, segments);
}

void KeltPageController::ShowLaterBlock(const kelt::KeltBlockValues& v, bool block4) {
    m_page.selectOutputType(v.frequencyOutput);
    m_page.temperatureCorrection().setValue(v.temperatureCorrection);
    if (v.frequencyOutput == 0) {
        m_page.restoreWeight(v.outputCode - 1);
        m_page.pulseLength().setValue(v.pulseLength);
        m_page.selectDiameter(v.du - 1);
        ShowCoefficients(v, kelt::kSegments);
    } else {
        m_page.selectDiameter(v.du - 1);
    }
    if (block4) {
        m_page.setDisableRestore(v.disableRestore);
        m_page.setDisableThermocorrection(v.disableThermocorrection);
        m_page.setSerialText(SerialText(v.factoryNumber, static_cast<std::uint8_t>(v.du)));
    }
}

void KeltPageController::ShowBlock5(const kelt::KeltBlockValues& v) {
    ShowCoefficients(v, kelt::kSegments);
    m_page.selectDiameter(v.diameterItem);
    m_page.selectOutputType(v.displayOutputType);
    m_page.temperatureCorrection().setValue(v.temperatureCorrection * 2);
}

bool KeltPageController::ShowResult(std::int32_t code, const KeltCommon& slot) {
    const int sub = slot.sub;
    switch (sub) {
    case kelt::kReadBlock1:
        ShowEarlyBlock(slot.values, 4);
        m_console.message(kParametersRead);
        break;
    case kelt::kReadBlock2:
        ShowEarlyBlock(slot.values, 5);
        break;
    case kelt::kReadBlock3:
        m_console.message(kParametersRead);
        ShowLaterBlock(slot.values, false);
        break;
    case kelt::kReadBlock4:
        m_console.message(kParametersRead);
        ShowLaterBlock(slot.values, true);
        break;
    case kelt::kReadBlock5:
        m_console.message(kParametersRead);
        ShowBlock5(slot.values);
        break;
    case kelt::kReadCorrection:
        m_page.temperatureCorrection().setValue(static_cast<std::int8_t>(slot.data[0]));
        m_console.message(kParametersRead);
        break;
    case kelt::kWriteBlock1:
    case kelt::kWriteBlock1Alt:
    case kelt::kWriteCorrection:
    case kelt::kWriteCorrectionAlt:
    case kelt::kWriteBlock3:
    case kelt::kWriteBlock3Alt:
    case kelt::kWriteBlock4:
    case kelt::kWriteBlock4Alt:
    case kelt::kWriteBlock5:
        m_console.message(kParametersWritten);
        break;
    case kelt::kBattery:
        m_console.message("Напряжение батареи: " + BatteryText(slot.data[0] & 15));
        break;
    case kelt::kFirmware: {
        char line[96];
        std::snprintf(line, sizeof line, "Версия ПО %d.%d, КС ПО 0x%04X", slot.data[3], slot.data[2],
                      slot.data[0] | (slot.data[1] << 8));
        m_console.message(line);
        break;
    }
    case kelt::kAmplitude:
        m_amplitude = slot.data[0];
        return true;
    case kelt::kLevel0:
    case kelt::kLevel1:
    case kelt::kLevel2:
    case kelt::kLevel3:
        m_page.level().setValue(sub - kelt::kLevel0);
        if (code != kelt::kAutoTune) break;
        m_amplitude = slot.data[0];
        return true;
    case kelt::kTemperature:
        m_console.message("Температура: " + Locale::current().formatFixed(slot.data[0] * 0.5, 1) + "°C");
        break;
    case kelt::kSignal:
        m_console.message(SignalText(slot.model, slot.signal));
        break;
    default:
        break;
    }
    return false;
}

PageResult KeltPageController::HandleResult(bool success) {
    Queue::QueueItem& item = m_queue.Front();
    PageResult result = PageResult::For(item, success);
    result.detail = item.param.sub;
    if (!success) m_failure = item.error;
    switch (item.code) {
    case kelt::kOpenSlow:
    case kelt::kOpenFast:
        m_port = success ? item.param.sub : 0;
        result.port = m_port;
        m_recovery.Reset();  // a port lost before this open is no longer the page's
        m_page.level().setValue(0);
        break;
    case kelt::kExchange:
    case kelt::kAutoTune:
        if (success) {
            if (ShowResult(item.code, item.param))
                result.amplitude = PageResult::Amplitude{m_amplitude, amplitudeGood()};
        } else if (item.error.empty()) {
            NextSlot(0);
            m_queue.Post(kelt::kPause, queue_condition::kForce);
            m_console.message(kBusyPause);
        } else {
            m_recovery.Failure(item.error);
        }
        break;
    case kelt::kResetAdapter:
        if (success)
            m_page.level().setValue(0);
        else
            m_recovery.Failure(item.error);
        break;
    default:
        break;
    }
    return FinishResult(m_queue, result, m_busy);
}

bool RunUntilIdle(KeltPageController& controller, WaitingNotifier& notifier, std::chrono::milliseconds timeout) {
    while (controller.busy()) {
        const auto n = notifier.nextResult(timeout);
        if (!n) return false;
        controller.HandleResult(n->param1 != 0);
    }
    return true;
}
