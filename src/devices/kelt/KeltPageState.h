#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "devices/PageFields.h"

// Which controls of the Kelt page are shown or enabled, by model and by the
// selected output type.
struct KeltPageView {
    bool temperatureCorrection = true;  // edOffset, its label and bnGetT
    bool segment5 = true;               // A5, B5, F45 and their labels
    bool adapter = true;                // gbAdapter and bnGetU
    bool versionButton = true;          // bnGetVerCrc
    bool weight = true;                 // cbWeight and lbWeight
    bool n = false;                     // edN and lbN
    bool pulseLength = true;            // edTauOut and its label
    bool pulseLengthReadOnly = false;
    bool coefficientsEnabled = true;    // A, B, F, pulse weight and pulse length
    std::string getTCaption = "Считать T";
    std::string outTypeCaption = "Тип выхода:";
};

// The values of the Kelt parameter page: coefficients A1 … A5, B1 … B5,
// boundaries F12 … F45, diameter, output type, pulse weight, pulse length,
// divider n, temperature correction, factory number and the adapter's level.
// No port, no worker.
class KeltPageState : public PageState {
public:
    static constexpr int kModelCount = 19;
    static constexpr int kSegments = 5;
    static constexpr int kBoundaries = 4;

    // `model` is the model index 0 … 18; the model setup runs at once.
    explicit KeltPageState(int model);

    int model() const { return m_model; }
    const KeltPageView& view() const { return m_view; }

    // edDevNum: the factory number as text.
    const std::string& serialText() const { return m_serial; }
    void setSerialText(std::string text);

    // tbLevel: the adapter's signal threshold 0 … 3.
    IntField& level() { return m_level; }
    const IntField& level() const { return m_level; }

    // A1 … A5 (index 0 … 4), B1 … B5, F12 … F45 (index 0 … 3).
    FloatField& a(int i) { return *m_a.at(static_cast<std::size_t>(i)); }
    const FloatField& a(int i) const { return *m_a.at(static_cast<std::size_t>(i)); }
    FloatField& b(int i) { return *m_b.at(static_cast<std::size_t>(i)); }
    const FloatField& b(int i) const { return *m_b.at(static_cast<std::size_t>(i)); }
    FloatField& f(int k) { return *m_f.at(static_cast<std::size_t>(k)); }
    const FloatField& f(int k) const { return *m_f.at(static_cast<std::size_t>(k)); }

    // edTauOut: pulse length in ms, kept at a length the model can store.
    FloatField& pulseLength() { return m_tau; }
    const FloatField& pulseLength() const { return m_tau; }
    // edN: the frequency divider.
    IntField& n() { return m_n; }
    const IntField& n() const { return m_n; }
    // edOffset: temperature correction in half degrees, shown and typed in
    // degrees with one decimal.
    IntField& temperatureCorrection() { return m_offset; }
    const IntField& temperatureCorrection() const { return m_offset; }

    // cbDu. Selecting a diameter (clamped to the list) reloads the pulse
    // weights for it.
    const Selector& diameter() const { return m_du; }
    void selectDiameter(int index);
    // Diameter code: position + 1.
    int du() const { return m_du.index() + 1; }

    // cbOutType. Selecting one (clamped to the list) updates what is shown
    // and enabled.
    const Selector& outputType() const { return m_outType; }
    void selectOutputType(int index);

    // cbWeight. Choosing a weight sets the pulse length to its default.
    const Selector& weight() const { return m_weight; }
    void selectWeight(int index);
    // Selects a weight (clamped) without touching the pulse length, as a
    // restored setting does.
    void restoreWeight(int index);
    // The selected weight in m3 per pulse (decimal comma); 0 when none.
    double pulseWeight() const;

    // The check boxes the page never shows; a block 4 read fills them.
    bool disableRestore() const { return m_disableRestore; }
    bool disableThermocorrection() const { return m_disableThermocorrection; }
    void setDisableRestore(bool on);
    void setDisableThermocorrection(bool on);

    static std::vector<std::string> weightItems(int du);
    static std::vector<std::string> outputTypeItems(int model);
    // Default pulse length in ms of a weight position 0 … 4.
    static double defaultPulseLength(int weightPosition);
    // The nearest pulse length a model can store.
    static double storablePulseLength(int model, double ms);
    // The temperature correction's text form: half degrees shown as degrees
    // with one decimal; typed degrees read back as half degrees (rounded,
    // not yet clamped), nothing when the text is not a number.
    static std::string correctionText(int halfDegrees);
    static std::optional<long long> correctionFromText(const std::string& text);

private:
    void diameterChanged();
    void weightChanged();
    void outputTypeChanged();
    void modelSetup();

    int m_model;
    KeltPageView m_view;
    bool m_outputTypeHandling = true;
    std::string m_serial;
    IntField m_level{0, 3, 0};
    std::array<std::unique_ptr<FloatField>, kSegments> m_a;
    std::array<std::unique_ptr<FloatField>, kSegments> m_b;
    std::array<std::unique_ptr<FloatField>, kBoundaries> m_f;
    FloatField m_tau{0.0305, 203.008, 1.0, 2};
    IntField m_n{1, 255, 1};
    IntField m_offset{-7, 7, 0};
    Selector m_du;
    Selector m_outType;
    Selector m_weight;
    bool m_disableRestore = false;
    bool m_disableThermocorrection = false;
};
