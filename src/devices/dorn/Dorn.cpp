#include "devices/dorn/Dorn.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "common/Console.h"
#include "devices/Bytes.h"

namespace {

constexpr std::array<const char*, DornPageState::kModelCount> kNames = {
    "ДОРН-Т",
    "ДОРН-ТИ1",
    "ДОРН-ТИ2",
    "ДОРН-Т1-xxx-М",
    "ДОРН-Т1-xxx-П (КЕЛТ3-ЧИ1.00-xxx)",
    "ДОРН-Т2-xxx-М",
    "ДОРН-Т2-xxx-П",
    "ДОРН-ТИ1-xxx-М",
    "ДОРН-ТИ1-xxx-П (КЕЛТ3-ЧИ1.02-xxx)",
    "ДОРН-ТИ2-xxx-0М",
    "ДОРН-ТИ2-xxx-0П",
    "ДОРН-ТИ2-xxx-1М",
    "ДОРН-ТИ2-xxx-1П (КЕЛТ3-ЧИ2.01-xxx)",
    "ДОРН-ТИ2-xxx-2М",
    "ДОРН-ТИ2-xxx-2П",
    "ДОРН-ТИ2-xxx-3М",
    "ДОРН-ТИ2-xxx-3П (КЕЛТ3-ЧИ2.03-xxx)",
};

// The transducer's own range, wider than the page's B field.
constexpr double kRangeAMin = 0.0, kRangeAMax = 36.0;
constexpr double kRangeBMin = -558.0, kRangeBMax = 558.0;

bool within(double v, double lo, double hi) { return v >= lo && v <= hi; }

}  // namespace

Dorn::Dorn(Console& console, int model)
    : m_console(console), m_page(std::make_unique<DornPageState>(model)) {}

int Dorn::Type() const { return m_page->model() + kFirstDornCode; }

void Dorn::GetLines(files::Lines& lines) const {
    lines.resize(1);
    lines[0].a = m_page->a().value();
    lines[0].b = m_page->b().value();
}

void Dorn::SetLines(const files::Lines& lines, int /*negative*/) {
    if (lines.empty()) return;
    const files::Line& line = lines.front();
    if (!within(line.a, kRangeAMin, kRangeAMax))
        m_console.message("Коэффициент A не принадлежит допустимому диапазону");
    if (!within(line.b, kRangeBMin, kRangeBMax))
        m_console.message("Коэффициент B не принадлежит допустимому диапазону");
    m_page->a().setValue(line.a);
    m_page->b().setValue(line.b);
    if (lines.size() >= 2) m_console.message("Слишком много прямых аппроксимации");
}

void Dorn::GetIdent(Ident& ident) const {
    ident.serial = static_cast<std::uint32_t>(m_page->serial().value());
    ident.du = static_cast<std::uint8_t>(m_page->du());
}

void Dorn::SetIdent(const Ident& ident) {
    m_page->serial().setValue(ident.serial);
    m_page->selectDiameter(ident.du - 2);
}

int Dorn::GetSettings(std::uint8_t* buffer) const {
    if (buffer) {
        std::memset(buffer, 0, kSettingsSize);
        bytes::putI32(buffer + 4, m_page->weight().index());
    }
    return kSettingsSize;
}

bool Dorn::SetSettings(const std::uint8_t* buffer, int size) {
    if (!buffer || size < kSettingsSize) return false;
    m_page->selectWeight(bytes::getI32(buffer + 4));
    return true;
}

std::string Dorn::Name() const {
    const int model = m_page->model();
    if (model < 0 || model >= static_cast<int>(kNames.size())) return {};
    return kNames[static_cast<std::size_t>(model)];
}

double Dorn::PulseWeight() const { return m_page->pulseWeight(); }
