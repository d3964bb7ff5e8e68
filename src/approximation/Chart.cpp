#include "approximation/Chart.h"

#include "approximation/PackageApproximation.h"

void fillGraphData(const Packages& packages, const files::Lines& lines, SPILTS_DATA_EXCHANGE& data) {
    data.series.clear();
    for (const PackagePtr& package : packages) {
        approximation::chartSeries(*package, data.series.emplace_back(), kFlowErrorSeries);
        if (package->type == PackageType::Verification)
            approximation::chartSeries(*package, data.series.emplace_back(), kPulseOutputSeries);
    }
    data.lines.resize(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) data.lines[i] = {lines[i].upper, lines[i].a, lines[i].b};
}
