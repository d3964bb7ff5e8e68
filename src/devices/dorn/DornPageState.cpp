#include "devices/dorn/DornPageState.h"

namespace {

const std::vector<std::string> kDiameters = {"25", "32", "40", "50", "65", "80", "100", "125", "150", "200"};

}  // namespace

DornPageState::DornPageState(int model) : m_model(model), m_du(kDiameters) {
    bind(m_serial);
    bind(m_a);
    bind(m_b);
    m_du.setIndex(0);
    diameterChanged();
    m_weight.setIndex(0);
}

bool DornPageState::hasPulseOutput(int model) { return model == 1 || model == 2 || (model >= 7 && model <= 16); }

std::vector<std::string> DornPageState::weightItems(int du) {
    if (du <= 4) return {"0,0001", "0,001", "0,01"};
    if (du <= 8) return {"0,001", "0,01", "0,1"};
    return {"0,01", "0,1", "1"};
}

void DornPageState::diameterChanged() {
    const int position = m_weight.index();
    m_weight.setItems(weightItems(du()));
    m_weight.setIndex(position);
}

void DornPageState::selectDiameter(int index) {
    // A code from a damaged file must still name one of the diameters, or
    // the weights and the coefficients' scale would belong to no diameter.
    m_du.setIndexClamped(index);
    diameterChanged();
    changed();
}

void DornPageState::selectWeight(int index) {
    m_weight.setIndexClamped(index);
    changed();
}

double DornPageState::pulseWeight() const { return parseUserNumber(m_weight.text()).value_or(0.0); }
