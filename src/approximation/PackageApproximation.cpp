#include "approximation/PackageApproximation.h"

#include <type_traits>

#include "approximation/SectionApproximation.h"
#include "document/Package.h"

namespace approximation {
namespace {

template <typename T>
void approximateEntries(Package<T>& package) {
    if (package.type == PackageType::Verification) return;
    DocumentState& state = package.document();
    try {
        package.recalcAll();  // the reduced values must be current
        if constexpr (std::is_same_v<T, DornEntry>) {
            ApproximateDorn(package.entries, state);
        } else {
            SectionApproximation<T>(package.entries, state).run();
        }
    } catch (...) {
        state.currentLines.clear();
        throw;
    }
}

template <typename T>
void fillSeries(const Package<T>& package, SPILT_STRUCT& series, int kind) {
    using A = FitAccess<T>;
    const std::vector<T>& entries = package.entries;
    series.title = packageName(package);
    if (kind == kPulseOutputSeries) series.title += " (имп. выход)";
    series.points.resize(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const T& e = entries[i];
        SPILT_POINT& p = series.points[i];
        p.x = A::x(e);
        p.y = A::y(e);
        if constexpr (std::is_same_v<T, DornEntry>) {
            p.section = static_cast<std::int32_t>(i + 1);
            p.point = 0;
        } else {
            p.section = e.section;
            p.point = e.point;
        }
        if (kind == kFlowErrorSeries) p.error = e.flowErr;
        else if (kind == kPulseOutputSeries) p.error = e.volErr;
    }
    series.useLines = 1;
    series.useErrors = 1;
}

// Calls `f` with the package as the Package<T> of its entry type.
template <typename P, typename F>
void withEntries(P& package, F&& f) {
    using Dorn = std::conditional_t<std::is_const_v<P>, const Package<DornEntry>, Package<DornEntry>>;
    using KeltP = std::conditional_t<std::is_const_v<P>, const Package<KeltEntry>, Package<KeltEntry>>;
    using Rv = std::conditional_t<std::is_const_v<P>, const Package<EprEntry>, Package<EprEntry>>;
    switch (package.entryType()) {
    case EntryType::Dorn: return f(static_cast<Dorn&>(package));
    case EntryType::Kelt: return f(static_cast<KeltP&>(package));
    case EntryType::RV: return f(static_cast<Rv&>(package));
    }
}

}  // namespace

void approximate(PackageBase& package) {
    withEntries(package, [](auto& p) { approximateEntries(p); });
}

void chartSeries(const PackageBase& package, SPILT_STRUCT& series, int kind) {
    withEntries(package, [&](const auto& p) { fillSeries(p, series, kind); });
}

}  // namespace approximation
