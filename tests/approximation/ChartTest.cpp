// Chart series of the packages, the graph data of a document and the texts
// of the lines table.

#include <gtest/gtest.h>

#include "Support.h"
#include "approximation/Chart.h"
#include "approximation/LinesTable.h"
#include "approximation/PackageApproximation.h"
#include "common/Locale.h"

namespace {

using namespace apprtest;

TEST(ChartSeries, RvPointsCarryCodeFlowSectionMarkAndError) {
    auto state = freshState();
    auto package = rvPackage({{100, 1}, {200, 2}}, state);
    package->created = *SystemTime::fromIso("2026-12-01T10:15:00.000");
    package->entries[1].section = 4;
    package->entries[1].point = 1;
    package->entries[1].flowErr = -1.5;
    package->entries[1].volErr = 7.0;
    SPILT_STRUCT series;
    approximation::chartSeries(*package, series, kFlowErrorSeries);
    EXPECT_EQ(series.title, packageName(*package));
    ASSERT_EQ(series.points.size(), 2u);
    const SPILT_POINT p = series.points[1];
    EXPECT_EQ(p.x, 200);
    EXPECT_EQ(p.y, 2);
    EXPECT_EQ(p.section, 4);
    EXPECT_EQ(p.point, 1);
    EXPECT_EQ(p.error, -1.5);
    EXPECT_EQ(series.useLines, 1);
    EXPECT_EQ(series.useErrors, 1);

    approximation::chartSeries(*package, series, kPulseOutputSeries);
    EXPECT_EQ(series.title, packageName(*package) + " (имп. выход)");
    EXPECT_EQ(series.points[1].error, 7.0);
}

TEST(ChartSeries, RefillDropsSurplusPointsAndZeroesNewOnes) {
    auto state = freshState();
    auto package = rvPackage({{100, 1}, {200, 2}, {300, 3}}, state);
    SPILT_STRUCT series;
    series.points.assign(5, SPILT_POINT{9, 9, 9, 9, 9});
    approximation::chartSeries(*package, series, kFlowErrorSeries);
    EXPECT_EQ(series.points.size(), 3u);
    package->entries.push_back(EprEntry{});
    series.points.resize(2);
    series.points[1].error = 9.0;
    approximation::chartSeries(*package, series, 5);  // an unknown kind writes no errors
    ASSERT_EQ(series.points.size(), 4u);
    EXPECT_EQ(series.points[3].error, 0.0);
    EXPECT_EQ(series.points[3].section, 0);
    EXPECT_EQ(series.points[1].error, 9.0);
}

TEST(ChartSeries, DornPointsAreNumberedByPositionWithoutMarks) {
    auto state = freshState();
    state->options.refTemp = 10.0;  // reduced values differ from plain ones
    auto package = frequencyPackage<DornEntry>({{30, 3}, {10, 1}, {20, 2}}, state);
    package->recalcAll();
    SPILT_STRUCT series;
    approximation::chartSeries(*package, series, kFlowErrorSeries);
    ASSERT_EQ(series.points.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(series.points[i].section, i + 1);
        EXPECT_EQ(series.points[i].point, 0);
        EXPECT_EQ(series.points[i].x, package->entries[i].freqRed);
        EXPECT_EQ(series.points[i].y, package->entries[i].flowRefRed);
    }
    EXPECT_NE(series.points[0].x, 30.0);
}

TEST(GraphData, VerificationPackagesAddAPulseOutputSeries) {
    auto state = freshState();
    Packages packages = {rvPackage({{100, 1}}, state, PackageType::Verification), rvPackage({{100, 1}}, state),
                         rvPackage({{100, 1}, {200, 2}}, state, PackageType::Verification)};
    packages[0]->created = *SystemTime::fromIso("2026-12-01T10:15:00.000");
    packages[0]->recalcAll();
    const files::Lines lines = {{0.01, 0.5, 500}, {0.02, -4.5, 900}};
    SPILTS_DATA_EXCHANGE data;
    data.series.resize(9);
    data.lines.resize(5);
    fillGraphData(packages, lines, data);
    ASSERT_EQ(data.series.size(), 5u);
    EXPECT_EQ(data.series[0].title, packageName(*packages[0]));
    EXPECT_EQ(data.series[1].title, packageName(*packages[0]) + " (имп. выход)");
    EXPECT_EQ(data.series[1].points[0].error, -100.0);  // volErr: no pulses counted
    EXPECT_EQ(data.series[2].title.rfind("Градуировочный ", 0), 0u);
    EXPECT_EQ(data.series[4].points.size(), 2u);
    ASSERT_EQ(data.lines.size(), 2u);
    EXPECT_EQ(data.lines[1].upper, 900);
    EXPECT_EQ(data.lines[1].a, 0.02);
    EXPECT_EQ(data.lines[1].b, -4.5);
}

TEST(LinesTable, SevenAndSixDecimalsAndNoLastBound) {
    const files::Lines lines = {{0.0123456789, -0.5, 100}, {1.5, 2, 200}, {2.5, 3, 300}};
    const auto rows = approximation::linesTableRows(lines);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (std::array<std::string, 3>{"0.0123457", "-0.5000000", "100.000000"}));
    EXPECT_EQ(rows[1][2], "200.000000");
    EXPECT_EQ(rows[2], (std::array<std::string, 3>{"2.5000000", "3.0000000", ""}));

    Locale comma;
    comma.decimalSeparator = ',';
    const ScopedLocale scoped(comma);
    EXPECT_EQ(approximation::linesTableRows(lines)[0][2], "100,000000");
    EXPECT_TRUE(approximation::linesTableRows({}).empty());
}

TEST(LinesTable, BoundCaptionByFamily) {
    EXPECT_STREQ(approximation::kInitialBoundCaption, "F (Гц)");
    EXPECT_EQ(approximation::boundCaption(Family::RV), "Код");
    EXPECT_EQ(approximation::boundCaption(Family::Dorn), "Частота (Гц)");
    EXPECT_EQ(approximation::boundCaption(Family::Kelt), "Частота (Гц)");
}

}  // namespace
