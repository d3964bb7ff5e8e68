#include "devices/kelt/Kelt.h"

#include <array>
#include <cstring>
#include <limits>

#include "common/Console.h"
#include "common/NumberText.h"
#include "devices/Bytes.h"

namespace {

constexpr std::array<const char*, KeltPageState::kModelCount> kNames = {
    "КЕЛТ-ЧИ2-xxx",
    "КЕЛТ1-ЧИ1.xx-xxx",
    "КЕЛТ2-ЧИ1.xx-xxx",
    "КЕЛТ1-ЧИ2.11-xxx",
    "КЕЛТ2-ЧИ2.11-xxx",
    "КЕЛТ1-ЧИ2.12-xxx",
    "КЕЛТ2-ЧИ2.12-xxx",
    "КЕЛТ1-ЧИ2.23-xxx",
    "КЕЛТ2-ЧИ2.23-xxx",
    "КЕЛТ1-ЧИ2.34(44)-xxx",
    "КЕЛТ2-ЧИ2.34(44)-xxx",
    "КЕЛТ3-ЧИ2.34(44)-xxx",
    "КЕЛТ1-ЧИ2.45(35)-xxx",
    "КЕЛТ2-ЧИ2.45(35)-xxx",
    "КЕЛТ3-ЧИ2.45(35)-xxx",
    "КЕЛТ1-ЧИ2.46(36)-xxx",
    "КЕЛТ2-ЧИ2.46(36)-xxx",
    "КЕЛТ3-ЧИ2.46(36)-xxx",
    "КЕЛТ4-К.57-xxx",
};

// The transducer's own ranges; the page's B fields allow more.
constexpr double kRangeAMin = 0.0, kRangeAMax = 36.0;
constexpr double kRangeBMin = -279.0, kRangeBMax = 279.0;
constexpr double kRangeFMin = 0.5, kRangeFMax = 32768.0;
// A boundary with no segment above it.
constexpr double kNoBoundary = 32768.0;

const std::string kOutOfRange = " не принадлежит допустимому диапазону";

bool within(double v, double lo, double hi) { return v >= lo && v <= hi; }

}  // namespace

Kelt::Kelt(Console& console, int model)
    : m_console(console), m_page(std::make_unique<KeltPageState>(model)) {}

int Kelt::Type() const { return m_page->model() + kFirstKeltCode; }

void Kelt::GetLines(files::Lines& lines) const {
    const KeltPageState& p = *m_page;
    lines.clear();
    for (int i = 0; i < 4; ++i) lines.push_back({p.a(i).value(), p.b(i).value(), p.f(i).value()});
    if (p.model() != 0) lines.push_back({p.a(4).value(), p.b(4).value(), p.f(3).value()});
}

void Kelt::SetLines(const files::Lines& lines, int /*negative*/) {
    KeltPageState& p = *m_page;
    const std::size_t n = lines.size();
    for (std::size_t i = 0; i < KeltPageState::kSegments; ++i) {
        const int field = static_cast<int>(i);
        if (i < n) {
            if (!within(lines[i].a, kRangeAMin, kRangeAMax))
                m_console.message("Коэффициент A" + std::to_string(i + 1) + kOutOfRange);
            p.a(field).setValue(lines[i].a);
        } else {
            p.a(field).setValue(0.0);
        }
    }
    for (std::size_t i = 0; i < KeltPageState::kSegments; ++i) {
        const int field = static_cast<int>(i);
        if (i < n) {
            if (!within(lines[i].b, kRangeBMin, kRangeBMax))
                m_console.message("Коэффициент B" + std::to_string(i + 1) + kOutOfRange);
            p.b(field).setValue(lines[i].b);
        } else {
            p.b(field).setValue(0.0);
        }
    }
    // Boundary k lies above line k: it exists only when a line follows.
    for (std::size_t k = 0; k < KeltPageState::kBoundaries; ++k) {
        const int field = static_cast<int>(k);
        if (k + 1 < n) {
            if (!within(lines[k].upper, kRangeFMin, kRangeFMax))
                m_console.message("Граничная частота F" + std::to_string(k + 1) + std::to_string(k + 2) + kOutOfRange);
            p.f(field).setValue(lines[k].upper);
        } else {
            p.f(field).setValue(kNoBoundary);
        }
    }
    if (n > 5 || (p.model() == 0 && n >= 5)) m_console.message("Слишком много прямых аппроксимации");
}

void Kelt::GetIdent(Ident& ident) const {
    const std::optional<long long> serial = parseUserInteger(m_page->serialText());
    const bool fits = serial && *serial >= 0 && *serial <= std::numeric_limits<std::uint32_t>::max();
    ident.serial = fits ? static_cast<std::uint32_t>(*serial) : 0;
    ident.du = static_cast<std::uint8_t>(m_page->du());
}

void Kelt::SetIdent(const Ident& ident) {
    m_page->setSerialText(SerialText(ident.serial, ident.du));
    m_page->selectDiameter(ident.du - 1);
}

int Kelt::GetSettings(std::uint8_t* buffer) const {
    if (buffer) {
        const KeltPageState& p = *m_page;
        std::memset(buffer, 0, kSettingsSize);
        bytes::putI32(buffer + 4, p.outputType().index());
        bytes::putI32(buffer + 8, p.weight().index());
        bytes::putI32(buffer + 12, p.n().value());
        bytes::putF64(buffer + 16, p.pulseLength().value());
        bytes::putI32(buffer + 24, p.temperatureCorrection().value());
    }
    return kSettingsSize;
}

bool Kelt::SetSettings(const std::uint8_t* buffer, int size) {
    if (!buffer || size < kSettingsSize) return false;
    KeltPageState& p = *m_page;
    p.selectOutputType(bytes::getI32(buffer + 4));
    p.restoreWeight(bytes::getI32(buffer + 8));
    p.n().setValue(bytes::getI32(buffer + 12));
    p.pulseLength().setValue(bytes::getF64(buffer + 16));
    p.temperatureCorrection().setValue(bytes::getI32(buffer + 24));
    return true;
}

std::string Kelt::Name() const {
    const int model = m_page->model();
    if (model < 0 || model >= static_cast<int>(kNames.size())) return {};
    return kNames[static_cast<std::size_t>(model)];
}

double Kelt::PulseWeight() const { return m_page->pulseWeight(); }
