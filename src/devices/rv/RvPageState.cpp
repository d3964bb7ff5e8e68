#include "devices/rv/RvPageState.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "common/Locale.h"
#include "common/NumberText.h"
#include "common/MathError.h"

namespace rv {

namespace {

const std::vector<std::string> kDiameters = {"15", "20", "25", "32", "40", "50", "80",
                                             "100", "150", "65", "200", "300", "10"};
const std::vector<std::string> kWeights = {"0.00001", "0.00005", "0.0001", "0.0005", "0.001", "0.005",
                                           "0.01",    "0.05",    "0.1",    "0.5",    "1"};
const std::vector<std::string> kCards = {"RS-485", "Токовый выход"};
const std::vector<std::string> kReverseModes = {
    "Режим 0 (Имп. выход + сигнал обр. направления)",
    "Режим 1 (Имп. выход + сигнал прям. направления)",
    "Режим 2 (Имп. выход прям. и обр. направления)",
};

}  // namespace

RvPageState::RvPageState() : m_du(kDiameters), m_pluginCard(kCards), m_reverseType(kReverseModes) {
    bind(m_impulseLen);
    for (Grid* g : {&m_direct, &m_reverse}) {
        (*g)[0] = {"", "Код", "A", "B"};
        for (int r = 1; r < kGridRows; ++r) (*g)[static_cast<std::size_t>(r)][0] = std::to_string(r);
    }
}

void RvPageState::setSerial(std::string text) {
    m_serial = std::move(text);
    changed();
}

void RvPageState::selectDiameter(int index) {
    m_du.setIndex(index);
    changed();
}

void RvPageState::applySystemVersion(std::uint8_t high, std::uint8_t low) {
    m_versionHigh = high;
    m_versionLow = low;
    m_noFilterVisible = low >= 2;
    m_reverseTypeVisible = high == 3;
    if (high != 3) m_reverseType.setIndex(-1);
    // The reverse table only ever appears; an older meter read later leaves it.
    if (high == 3 && low >= 5) m_reverseSheetVisible = true;
    changed();
}

void RvPageState::resetForPortOpen() {
    m_litresPerPulse = 0.0;
    m_versionHigh = 0;
    changed();
}

void RvPageState::setImpulseWeightText(std::string text) {
    m_weightText = std::move(text);
    changed();
}

const std::vector<std::string>& RvPageState::impulseWeightItems() { return kWeights; }

void RvPageState::setMeandr(bool on) {
    m_meandr = on;
    changed();
}

std::string RvPageState::impulseLenLabel() const {
    if (m_meandr) return {};
    return formatG(m_impulseLen.value() * 0.8) + " мс";
}

void RvPageState::selectPluginCard(int index) {
    m_pluginCard.setIndex(index);
    changed();
}

void RvPageState::selectReverseType(int index) {
    m_reverseType.setIndex(index);
    changed();
}

void RvPageState::setNoFilterThreshold(bool on) {
    m_noFilter = on;
    changed();
}

OutputsBlock RvPageState::readOutputs(bool strict) const {
    OutputsBlock block;
    std::optional<double> weight = parseUserNumber(m_weightText);
    if (!weight) {
        if (strict) throw UserError("Необходимо указать цену импульса");
        weight = 0.001;
    }
    block.pulseLength = m_meandr ? 0 : static_cast<std::uint8_t>(m_impulseLen.value());
    // A meander counts both edges: the meter's weight is half the counted one.
    block.weight = static_cast<float>(block.pulseLength == 0 ? *weight / 2.0 : *weight);

    int card = m_pluginCard.index();
    if (card < 0) {
        if (strict) throw UserError("Необходимо выбрать тип платы расширения");
        card = 0;
    }
    int flags = card & 3;
    const bool asShown = !strict && versionUnknown();
    if (m_noFilter && (m_versionLow > 1 || asShown)) flags |= 4;
    if (m_versionHigh == 3) {
        int mode = m_reverseType.index();
        if (mode < 0) {
            if (strict) throw UserError("Необходимо выбрать режим реверсивного выхода");
            mode = 0;
        }
        flags |= (mode & 3) << 3;
    } else if (asShown && m_reverseType.index() >= 0) {
        flags |= (m_reverseType.index() & 3) << 3;
    }
    block.flags = static_cast<std::uint8_t>(flags);
    return block;
}

void RvPageState::showOutputs(const OutputsBlock& block) {
    m_impulseLen.setValue(block.pulseLength);
    double weight = block.weight;
    if (block.pulseLength == 0) {
        weight *= 2.0;
        m_meandr = true;
        m_meanderFlag = true;
    } else {
        m_meandr = false;
        m_meanderFlag = false;
    }
    m_litresPerPulse = weight * 1000.0;
    m_pluginCard.setIndex((block.flags & 2) ? -1 : (block.flags & 1));
    m_noFilter = (block.flags & 4) != 0;
    const int mode = (block.flags >> 3) & 3;
    m_reverseType.setIndex((m_versionHigh == 3 || versionUnknown()) && mode != 3 ? mode : -1);

    // "%f" without its trailing zeros; a whole weight keeps its point.
    char buf[512];
    std::snprintf(buf, sizeof buf, "%f", weight);
    std::string text = buf;
    if (text.find('.') != std::string::npos)
        while (!text.empty() && text.back() == '0') text.pop_back();
    m_weightText = withUserSeparator(text);
    changed();
}

const std::string& RvPageState::cell(CalibrGrid g, int row, int col) const {
    static const std::string kNone;
    if (row < 0 || row >= kGridRows || col < 0 || col >= kGridCols) return kNone;
    return grid(g)[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
}

void RvPageState::setCell(CalibrGrid g, int row, int col, std::string text) {
    if (row < 1 || row >= kGridRows || col < 1 || col >= kGridCols) return;
    grid(g)[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)] = std::move(text);
    changed();
}

void RvPageState::setLoLimit(std::string text) {
    m_loLimit = std::move(text);
    changed();
}

void RvPageState::setHiLimit(std::string text) {
    m_hiLimit = std::move(text);
    changed();
}

CalibrationBlock RvPageState::readGrid(CalibrGrid g) {
    CalibrationBlock block;
    bool unreadable = false;
    const auto number = [&](int row, int col) {
        const std::optional<double> v = parseUserNumber(cell(g, row, col));
        if (!v) unreadable = true;
        return static_cast<float>(v.value_or(0.0));
    };
    for (int i = 0; i < CalibrationBlock::kSegments; ++i) {
        block.a[static_cast<std::size_t>(i)] = number(i + 1, kACol);
        block.b[static_cast<std::size_t>(i)] = number(i + 1, kBCol);
    }
    for (int i = 0; i < CalibrationBlock::kBounds; ++i) {
        const std::optional<std::int32_t> code = parseUserInt32(cell(g, i + 1, kCodeCol));
        if (!code) unreadable = true;
        block.upper[static_cast<std::size_t>(i)] = code.value_or(0);
    }
    if (g == CalibrGrid::Direct) {
        const std::optional<double> lo = parseUserNumber(m_loLimit);
        const std::optional<double> hi = parseUserNumber(m_hiLimit);
        if (lo && hi) {
            block.gpor = static_cast<float>(*lo);
            block.gmax = static_cast<float>(*hi);
        } else {
            unreadable = true;
        }
    }
    if (unreadable) showGrid(g, block);
    return block;
}

void RvPageState::showGrid(CalibrGrid g, const CalibrationBlock& block) {
    Grid& cells = grid(g);
    for (int i = 0; i < CalibrationBlock::kSegments; ++i) {
        auto& row = cells[static_cast<std::size_t>(i + 1)];
        row[kCodeCol] = i < CalibrationBlock::kBounds ? std::to_string(block.upper[static_cast<std::size_t>(i)]) : "";
        row[kACol] = formatG(block.a[static_cast<std::size_t>(i)]);
        row[kBCol] = formatG(block.b[static_cast<std::size_t>(i)]);
    }
    if (g == CalibrGrid::Direct) {
        m_loLimit = formatG(block.gpor);
        m_hiLimit = formatG(block.gmax);
    }
    changed();
}

void RvPageState::setMeanCode(double code) {
    m_meanCode = code;
    changed();
}

void RvPageState::setLastPulseCounter(std::int32_t counter) {
    m_lastPulseCounter = counter;
    changed();
}

double RvPageState::pulseWeight() const { return parseUserNumber(m_weightText).value_or(0.0); }

}  // namespace rv
