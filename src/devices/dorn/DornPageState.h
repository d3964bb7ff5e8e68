#pragma once

#include <string>
#include <vector>

#include "devices/PageFields.h"

// The values of the Dorn parameter page: factory number, diameter, pulse
// weight and the coefficients A and B. No port, no worker: the GUI page and
// the worker are bound to it from outside.
class DornPageState : public PageState {
public:
    static constexpr int kModelCount = 17;
    static constexpr double kAMin = 0.0, kAMax = 36.0;
    static constexpr double kBMin = -36.0, kBMax = 36.0;

    // `model` is the model index 0 … 16.
    explicit DornPageState(int model);

    int model() const { return m_model; }
    // Models 1, 2 and 7 … 16 have a pulse output; only they show the pulse
    // weight and may read and write the coefficients.
    static bool hasPulseOutput(int model);
    bool hasPulseOutput() const { return hasPulseOutput(m_model); }

    IntField& serial() { return m_serial; }  // edDevNum
    const IntField& serial() const { return m_serial; }
    FloatField& a() { return m_a; }  // edA
    const FloatField& a() const { return m_a; }
    FloatField& b() { return m_b; }  // edB
    const FloatField& b() const { return m_b; }

    // cbDu: "25" … "200". Selecting a diameter reloads the pulse weights for
    // it and keeps the weight's position.
    const Selector& diameter() const { return m_du; }
    void selectDiameter(int index);
    // Diameter code of the selection: position + 2 (2 … 11).
    int du() const { return m_du.index() + 2; }

    // cbOutType: the pulse weights of the selected diameter.
    const Selector& weight() const { return m_weight; }
    // Selects a weight, clamped to the items.
    void selectWeight(int index);
    // The selected weight in m3 per pulse (items have a decimal comma); 0
    // when nothing is selected.
    double pulseWeight() const;

    // The pulse-weight items of a diameter code.
    static std::vector<std::string> weightItems(int du);

private:
    void diameterChanged();

    int m_model;
    IntField m_serial{0, 2147483647, 0};
    FloatField m_a{kAMin, kAMax, 0.12, 7};
    FloatField m_b{kBMin, kBMax, 0.0, 7};
    Selector m_du;
    Selector m_weight;
};
