#include "devices/kelt/KeltPageState.h"

#include <algorithm>
#include <cmath>

#include "common/Locale.h"

namespace {

const std::vector<std::string> kDiameters = {"20", "25", "32", "40", "50", "65", "80", "100", "125", "150", "200"};
const std::vector<std::string> kModel18Diameters = {"15", "20"};

bool between(int v, int lo, int hi) { return v >= lo && v <= hi; }

}  // namespace

KeltPageState::KeltPageState(int model) : m_model(model), m_du(kDiameters) {
    for (auto& field : m_a) field = std::make_unique<FloatField>(0.0, 36.0, 0.12, 7);
    for (auto& field : m_b) field = std::make_unique<FloatField>(-558.0, 558.0, 0.0, 7);
    for (auto& field : m_f) field = std::make_unique<FloatField>(0.5, 32768.0, 32768.0, 6);
    for (auto& field : m_a) bind(*field);
    for (auto& field : m_b) bind(*field);
    for (auto& field : m_f) bind(*field);
    bind(m_level);
    bind(m_tau);
    bind(m_n);
    bind(m_offset);

    m_tau.setAdjust([this](double ms) { return storablePulseLength(m_model, ms); });
    m_offset.setTextForm(correctionText, correctionFromText);

    m_du.setIndex(0);
    diameterChanged();
    weightChanged();
    modelSetup();
}

std::vector<std::string> KeltPageState::weightItems(int du) {
    if (du <= 4) return {"0,0001", "0,0005", "0,001", "0,005", "0,01"};
    if (du <= 8) return {"0,001", "0,005", "0,01", "0,05", "0,1"};
    return {"0,01", "0,05", "0,1", "0,5", "1"};
}

std::vector<std::string> KeltPageState::outputTypeItems(int model) {
    if (between(model, 7, 17))
        return {"Импульсный Vp",   "Частотный Vf",    "Частотный Vf/2",
                "Частотный Vf/4",  "Частотный Vf/8",  "Частотный Vf/16"};
    if (model == 18) return {"V", "V/T"};
    return {"Импульсный Vp", "Частотный Vf/n"};
}

double KeltPageState::defaultPulseLength(int weightPosition) {
    static constexpr double kDefaults[] = {1, 2, 2, 30, 80};
    if (weightPosition < 0 || weightPosition > 4) return 0.0;
    return kDefaults[weightPosition];
}

double KeltPageState::storablePulseLength(int model, double ms) {
    if (std::isnan(ms)) ms = 0.0;
    if (between(model, 12, 14)) {
        const double k = std::clamp(std::round(ms / 1.9), 1.0, 60.0);
        return k * 1.9;
    }
    if (between(model, 15, 17)) {
        const double k = std::clamp(std::round(ms / 3.9), 1.0, 30.0);
        return k * 3.9;
    }
    long long t = static_cast<long long>(std::clamp(std::round(ms / 0.0305), 1.0, 65407.0));
    // Long pulses are stored in steps of 256 ticks.
    if (t >= 256) t = (t + 128) & ~0xFFLL;
    return static_cast<double>(t) * 0.0305;
}

std::string KeltPageState::correctionText(int halfDegrees) {
    return Locale::current().formatFixed(halfDegrees * 0.5, 1);
}

std::optional<long long> KeltPageState::correctionFromText(const std::string& text) {
    const std::optional<double> degrees = parseUserNumber(text);
    if (!degrees) return std::nullopt;
    return std::llround(std::clamp(*degrees, -1e9, 1e9) * 2.0);
}

void KeltPageState::modelSetup() {
    const int m = m_model;
    m_outType.setItems(outputTypeItems(m));
    m_outType.setIndex(0);
    outputTypeChanged();

    m_view.temperatureCorrection = !(m == 0 || m == 11 || m == 14 || m == 17);
    m_view.getTCaption = m == 11 ? "Считать F" : between(m, 7, 10) ? "Считать T/F" : "Считать T";
    m_view.segment5 = m != 0;
    m_view.adapter = between(m, 0, 8);
    m_n.setMax(between(m, 1, 6) ? 127 : 255);
    if (between(m, 12, 17)) {
        for (auto& field : m_f) {
            field->setMax(8192.0);
            field->setValue(8192.0);
        }
    }
    if (m == 18) {
        m_view.outTypeCaption = "Тип вывода ЖКИ";
        m_view.weight = false;
        m_view.n = false;
        m_view.pulseLength = false;
        m_view.pulseLengthReadOnly = true;
        m_view.adapter = false;
        m_view.versionButton = false;
        // The list of this model names other diameters; its first one is selected.
        m_du.setItems(kModel18Diameters);
        m_du.setIndex(0);
        m_outputTypeHandling = false;
    }
}

void KeltPageState::diameterChanged() {
    const int position = m_weight.index();
    m_weight.setItems(weightItems(du()));
    m_weight.setIndexClamped(position);
}

void KeltPageState::weightChanged() {
    const int position = m_weight.index();
    if (position >= 0 && position <= 4) m_tau.setValue(defaultPulseLength(position));
}

void KeltPageState::outputTypeChanged() {
    if (!m_outputTypeHandling) return;
    const bool pulse = m_outType.index() == 0;
    const bool models7to17 = between(m_model, 7, 17);
    m_view.weight = pulse || models7to17;
    m_view.n = !m_view.weight;
    m_view.coefficientsEnabled = models7to17 ? pulse : true;
}

void KeltPageState::setSerialText(std::string text) {
    m_serial = std::move(text);
    changed();
}

void KeltPageState::selectDiameter(int index) {
    m_du.setIndexClamped(index);
    diameterChanged();
    changed();
}

void KeltPageState::selectOutputType(int index) {
    m_outType.setIndexClamped(index);
    outputTypeChanged();
    changed();
}

void KeltPageState::selectWeight(int index) {
    m_weight.setIndexClamped(index);
    weightChanged();
    changed();
}

void KeltPageState::restoreWeight(int index) {
    m_weight.setIndexClamped(index);
    changed();
}

double KeltPageState::pulseWeight() const { return parseUserNumber(m_weight.text()).value_or(0.0); }

void KeltPageState::setDisableRestore(bool on) {
    m_disableRestore = on;
    changed();
}

void KeltPageState::setDisableThermocorrection(bool on) {
    m_disableThermocorrection = on;
    changed();
}
