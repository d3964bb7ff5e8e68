#include "devices/rv/RVx2.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <span>

#include "common/Console.h"
#include "common/NumberText.h"
#include "devices/Bytes.h"

using rv::CalibrationBlock;
using rv::CalibrGrid;

namespace {

// Bound of a segment from a line's upper end: its integer part, kept within
// the 32-bit field.
std::int32_t boundOf(double upper) {
    if (std::isnan(upper)) return 0;
    const double t = std::trunc(upper);
    if (t <= std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    if (t >= std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(t);
}

// Sensitivity threshold of class A by the meter's diameter index; none for
// 200, 300 and 10 mm.
std::optional<double> classThreshold(int index) {
    // Diameter index order: 15, 20, 25, 32, 40, 50, 80, 100, 150, 65 mm.
    static constexpr double kThresholds[] = {0.007, 0.013, 0.025, 0.04, 0.06, 0.1, 0.25, 0.4, 0.8, 0.14};
    if (index < 0 || index >= static_cast<int>(std::size(kThresholds))) return std::nullopt;
    return kThresholds[index];
}

}  // namespace

RVx2::RVx2(Console& console) : m_console(console), m_page(std::make_unique<rv::RvPageState>()) {}

int RVx2::Type() const { return kRvCode; }

void RVx2::GetLines(files::Lines& lines) const {
    const CalibrationBlock block = m_page->readGrid(CalibrGrid::Direct);
    lines.assign(CalibrationBlock::kSegments, files::Line{});
    for (std::size_t i = 0; i < lines.size(); ++i) {
        lines[i].a = block.a[i];
        lines[i].b = block.b[i];
        lines[i].upper = i < CalibrationBlock::kBounds ? block.upper[i] : 0.0;
    }
}

void RVx2::SetLines(const files::Lines& lines, int negative) {
    if (lines.size() >= 6) {
        m_console.message("Слишком много прямых аппроксимации");
        return;
    }
    // Reading the direct grid first keeps its flow limits.
    CalibrationBlock block = m_page->readGrid(CalibrGrid::Direct);
    const std::size_t n = lines.size();
    for (std::size_t i = 0; i < CalibrationBlock::kSegments; ++i) {
        if (i < n) {
            block.a[i] = static_cast<float>(negative ? -lines[i].a : lines[i].a);
            block.b[i] = static_cast<float>(lines[i].b);
        } else {
            block.a[i] = 0.0f;
            block.b[i] = 0.0f;
        }
    }
    for (std::size_t i = 0; i < CalibrationBlock::kBounds; ++i) {
        if (i + 1 < n)
            block.upper[i] = boundOf(lines[i].upper);
        else if (i + 1 == n)
            block.upper[i] = kOpenBound;
        else
            block.upper[i] = 0;
    }
    m_page->showGrid(negative ? CalibrGrid::Reverse : CalibrGrid::Direct, block);
}

void RVx2::GetIdent(Ident& ident) const {
    const std::optional<long long> serial = parseUserInteger(m_page->serial());
    const bool fits = serial && *serial >= 0 && *serial <= std::numeric_limits<std::uint32_t>::max();
    ident.serial = fits ? static_cast<std::uint32_t>(*serial) : 0;
    ident.du = static_cast<std::uint8_t>(rv::diameterIndexToCode(m_page->diameter().index()));
}

void RVx2::SetIdent(const Ident& ident) {
    m_page->setSerial(SerialText(ident.serial, ident.du));
    m_page->selectDiameter(rv::diameterCodeToIndex(ident.du));
}

int RVx2::GetSettings(std::uint8_t* buffer) const {
    if (!buffer) return kSettingsSize;
    const rv::OutputsBlock outputs = m_page->readOutputs(false);
    const CalibrationBlock reverse = m_page->readGrid(CalibrGrid::Reverse);
    const CalibrationBlock direct = m_page->readGrid(CalibrGrid::Direct);
    std::span<std::uint8_t, kSettingsSize> out(buffer, kSettingsSize);
    rv::encode(outputs, out.subspan<0, rv::OutputsBlock::kSize>());
    bytes::putF32(buffer + 6, direct.gmax);
    bytes::putF32(buffer + 10, direct.gpor);
    rv::encode(direct, out.subspan<14, CalibrationBlock::kSize>());
    rv::encode(reverse, out.subspan<78, CalibrationBlock::kSize>());
    return kSettingsSize;
}

bool RVx2::SetSettings(const std::uint8_t* buffer, int size) {
    if (!buffer || size < kSettingsSize) return false;
    std::span<const std::uint8_t, kSettingsSize> in(buffer, kSettingsSize);
    // Bytes 6-13 repeat the direct table's limits and are not read back.
    m_page->showOutputs(rv::decodeOutputs(in.subspan<0, rv::OutputsBlock::kSize>()));
    m_page->showGrid(CalibrGrid::Reverse, rv::decodeCalibration(in.subspan<78, CalibrationBlock::kSize>()));
    m_page->showGrid(CalibrGrid::Direct, rv::decodeCalibration(in.subspan<14, CalibrationBlock::kSize>()));
    return true;
}

std::string RVx2::Name() const {
    std::string name;
    switch (m_page->versionHigh()) {
    case 2: name = "РВ-Ч-2.2-"; break;
    case 3: name = "РВ-Р-2.2-"; break;
    default: name = "РВ-2.2-"; break;
    }
    // The meter keeps gпор as float32: a value typed exactly as the
    // threshold compares after that rounding.
    const float gpor = static_cast<float>(parseUserNumber(m_page->loLimit()).value_or(0.0));
    const std::optional<double> threshold = classThreshold(m_page->diameter().index());
    const bool classB = threshold && static_cast<double>(gpor) > *threshold;
    return name + (classB ? "Б" : "А");
}

double RVx2::PulseWeight() const { return m_page->pulseWeight(); }
