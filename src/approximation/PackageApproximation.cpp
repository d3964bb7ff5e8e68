// The approximation and chart operations of the packages.

#include <type_traits>

#include "approximation/Chart.h"
#include "approximation/SectionApproximation.h"
#include "document/Package.h"

template <typename T>
void Package<T>::approximate() {
    if (type == PackageType::Verification) return;
    DocumentState& state = document();
    try {
        recalcAll();  // the reduced values must be current
        if constexpr (std::is_same_v<T, DornEntry>) {
            approximation::ApproximateDorn(entries, state);
        } else {
            approximation::SectionApproximation<T>(entries, state).run();
        }
    } catch (...) {
        state.currentLines.clear();
        throw;
    }
}

template <typename T>
void Package<T>::chartSeries(SPILT_STRUCT& series, int kind) const {
    using A = approximation::FitAccess<T>;
    series.title = packageName(*this);
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

template void Package<DornEntry>::approximate();
template void Package<DornEntry>::chartSeries(SPILT_STRUCT&, int) const;
template void Package<KeltEntry>::approximate();
template void Package<KeltEntry>::chartSeries(SPILT_STRUCT&, int) const;
template void Package<EprEntry>::approximate();
template void Package<EprEntry>::chartSeries(SPILT_STRUCT&, int) const;
