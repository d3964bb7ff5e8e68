// What the graphs window draws: series styles, axis titles, the points of
// each tab, the sampled characteristic and the scatter layer.

#include <gtest/gtest.h>

#include "approximation/GraphModel.h"
#include "common/Locale.h"

namespace {

using namespace approximation;

struct P {
    double x;  // argument
    double q;  // reference flow
    double e = 0.0;
};

SPILT_STRUCT series(const std::vector<P>& points, std::uint8_t useLines = 1, std::uint8_t useErrors = 1) {
    SPILT_STRUCT s;
    s.title = "Пакет";
    for (const P& p : points) s.points.push_back(SPILT_POINT{p.x, p.q, 0, 0, p.e});
    s.useLines = useLines;
    s.useErrors = useErrors;
    return s;
}

// Flow = code / 100 up to code 300, then 2 · code / 100 − 3.
const std::vector<GraphLine> kBroken = {{300, 0.01, 0.0}, {1000, 0.02, -3.0}};

std::vector<GraphPoint> points(std::initializer_list<GraphPoint> list) { return list; }

TEST(GraphStyles, TableRowsAndIndexFolding) {
    struct Row {
        int index;
        MarkerShape marker;
        Rgb colour;
        int image;
    };
    const Row rows[] = {
        {0, MarkerShape::Circle, {0, 128, 0}, 12},
        {3, MarkerShape::Diamond, {255, 255, 0}, 19},
        {4, MarkerShape::DownTriangle, {255, 0, 0}, 3},
        {12, MarkerShape::DownTriangle, {0, 0, 0}, 0},
        {24, MarkerShape::Diamond, {255, 0, 0}, 18},
        {25, MarkerShape::Rectangle, {0, 0, 0}, 0},
        {26, MarkerShape::Rectangle, {0, 0, 255}, 6},      // 26 - 25 = 1
        {50, MarkerShape::Rectangle, {0, 0, 0}, 0},        // 50 - 25 = 25, not folded again
        {51, MarkerShape::Rectangle, {0, 0, 255}, 6},      // 51 - 25 - 25 = 1
        {-1, MarkerShape::Circle, {0, 128, 0}, 12},
    };
    for (const Row& r : rows) {
        const SeriesStyle& s = seriesStyle(r.index);
        EXPECT_EQ(s.marker, r.marker) << r.index;
        EXPECT_EQ(s.colour, r.colour) << r.index;
        EXPECT_EQ(s.image, r.image) << r.index;
    }
    // Every picture of the image list is named by some style; picture 0 is
    // the black down triangle of style 12, which style 25 shares.
    for (int image = 0; image < kStyleImageCount; ++image) {
        const SeriesStyle& s = imageStyle(image);
        EXPECT_EQ(s.image, image);
    }
    EXPECT_EQ(imageStyle(0).marker, MarkerShape::DownTriangle);
}

TEST(GraphTitles, ByTabAndFamily) {
    const FamilyTitles initial;
    EXPECT_EQ(initial.argument, "Код");
    EXPECT_EQ(initial.relative, "Код / Расход");
    const FamilyTitles rv = familyTitles(Family::RV);
    const FamilyTitles kelt = familyTitles(Family::Kelt);
    EXPECT_EQ(rv.relative, "Код/Расход");
    EXPECT_EQ(familyTitles(Family::Dorn).argument, "Частота (Гц)");
    struct Row {
        GraphTab tab;
        const FamilyTitles* family;
        const char* x;
        const char* y;
    };
    const Row rows[] = {
        {GraphTab::Errors, &kelt, "Расход (м3/ч)", "Относительная погрешность расхода (%)"},
        {GraphTab::DirectA, &kelt, "Расход (м3/ч)", "Частота (Гц)"},
        {GraphTab::DirectB, &kelt, "Частота (Гц)", "Расход (м3/ч)"},
        {GraphTab::Relative, &kelt, "Расход (м3/ч)", "Частота/Расход"},
        {GraphTab::DirectB, &rv, "Код", "Расход (м3/ч)"},
        {GraphTab::Relative, &initial, "Расход (м3/ч)", "Код / Расход"},
    };
    for (const Row& r : rows) {
        const AxisTitles t = tabTitles(r.tab, *r.family);
        EXPECT_EQ(t.x, r.x) << graphTabCaption(r.tab);
        EXPECT_EQ(t.y, r.y) << graphTabCaption(r.tab);
    }
    EXPECT_STREQ(graphTabCaption(GraphTab::DirectB), "Прямая характеристика  B");
}

TEST(GraphErrorsTab, ComputedStoredAndNothingWithoutLines) {
    SPILTS_DATA_EXCHANGE data;
    // Code 200 on segment 1, code 500 on segment 2, code 2000 above every
    // bound takes the last segment.
    data.series.push_back(series({{200, 2.5, 9}, {500, 7.0, 9}, {2000, 40.0, 9}}));
    data.series.push_back(series({{200, 2.5, 1.5}}, 1, 0));  // no stored errors: computed
    data.series.push_back(series({{200, 2.5, 1.5}}, 0, 0));  // neither: nothing
    data.lines = kBroken;

    const TabPicture computed = drawGraphTab(data, GraphTab::Errors, {});
    ASSERT_EQ(computed.series.size(), 3u);
    ASSERT_EQ(computed.series[0].size(), 3u);
    EXPECT_DOUBLE_EQ(computed.series[0][0].x, 2.5);
    EXPECT_DOUBLE_EQ(computed.series[0][0].y, (2.0 - 2.5) * 100 / 2.5);
    EXPECT_NEAR(computed.series[0][1].y, 0.0, 1e-12);
    EXPECT_DOUBLE_EQ(computed.series[0][2].y, (37.0 - 40.0) * 100 / 40.0);
    EXPECT_EQ(computed.series[1].size(), 1u);
    EXPECT_TRUE(computed.series[2].empty());
    EXPECT_TRUE(computed.curve.empty());

    GraphSettings stored;
    stored.storedErrors = true;
    const TabPicture picture = drawGraphTab(data, GraphTab::Errors, stored);
    EXPECT_EQ(picture.series[0], points({{2.5, 9}, {7.0, 9}, {40.0, 9}}));
    EXPECT_DOUBLE_EQ(picture.series[1][0].y, -20.0);  // useErrors 0: still computed

    data.lines.clear();
    const TabPicture empty = drawGraphTab(data, GraphTab::Errors, stored);
    for (const auto& s : empty.series) EXPECT_TRUE(s.empty());
    EXPECT_TRUE(empty.scatter.empty());
}

// The limits as a step line over the flows of every series' points, a
// tenth beyond them either side; only on the error tab.
TEST(GraphErrorsTab, LimitEnvelopeOverThePoints) {
    SPILTS_DATA_EXCHANGE data;
    data.series.push_back(series({{200, 2.0, 1}, {500, 7.0, 1}}));
    data.series.push_back(series({{150, 1.0, 1}}));
    data.lines = kBroken;
    EXPECT_TRUE(drawGraphTab(data, GraphTab::Errors, {}).envelope.empty());  // no limits

    data.limits = Limits::ofZones({{0.0, 5.0}, {1.5, 2.0}, {10.0, 1.0}});
    GraphSettings hidden;
    hidden.shown = {true, false};  // a hidden series still spans the envelope
    const TabPicture picture = drawGraphTab(data, GraphTab::Errors, hidden);
    EXPECT_EQ(picture.envelope, points({{1.0 / 1.1, 5}, {1.5, 5}, {1.5, 2}, {7.0 * 1.1, 2}}));
    for (const GraphTab tab : {GraphTab::DirectA, GraphTab::DirectB, GraphTab::Relative})
        EXPECT_TRUE(drawGraphTab(data, tab, {}).envelope.empty());

    // The class formula falls with the flow and steps down at every sample.
    data.limits = Limits::ofClass(2, 10.0);
    const TabPicture byClass = drawGraphTab(data, GraphTab::Errors, {});
    ASSERT_GE(byClass.envelope.size(), 4u);
    EXPECT_DOUBLE_EQ(byClass.envelope.front().x, 1.0 / 1.1);
    EXPECT_DOUBLE_EQ(byClass.envelope.back().x, 7.0 * 1.1);
    for (std::size_t i = 1; i < byClass.envelope.size(); ++i) {
        EXPECT_GE(byClass.envelope[i].x, byClass.envelope[i - 1].x);
        EXPECT_LE(byClass.envelope[i].y, byClass.envelope[i - 1].y);
    }

    // Without lines there are no points, so nothing to judge.
    data.lines.clear();
    EXPECT_TRUE(drawGraphTab(data, GraphTab::Errors, {}).envelope.empty());
}

TEST(GraphScatter, GroupsWithinFivePercentWithMarks) {
    SPILTS_DATA_EXCHANGE data;
    data.series.push_back(series({{100, 10.0, 0.5}, {103, 10.3, 0.1}, {110, 11.0, 0.2}}));
    data.lines = kBroken;
    GraphSettings settings;
    settings.storedErrors = true;
    const TabPicture picture = drawGraphTab(data, GraphTab::Errors, settings);
    ASSERT_EQ(picture.scatter.size(), 2u);
    EXPECT_DOUBLE_EQ(picture.scatter[0].x, 10.15);
    EXPECT_DOUBLE_EQ(picture.scatter[0].y, 0.3);
    EXPECT_NEAR(picture.scatter[0].value, 0.4, 1e-12);
    EXPECT_EQ(picture.scatter[0].count, 2);
    EXPECT_EQ(picture.scatter[0].text, "0.40 %");
    EXPECT_DOUBLE_EQ(picture.scatter[1].x, 11.0);
    EXPECT_EQ(picture.scatter[1].text, "0.00 %");

    Locale comma;
    comma.decimalSeparator = ',';
    const ScopedLocale scoped(comma);
    EXPECT_EQ(scatterMarkText(0.4), "0,40 %");
}

TEST(GraphScatter, GroupTakesLaterPointsAndKeepsTheRestInOrder) {
    // 10.4 joins 10.0 although 10.6 (6 %) lies between them in the list;
    // 10.6 then starts the next group and takes 10.9 (2.8 %).
    const auto groups = scatterGroups({{10.0, 1}, {10.6, 5}, {10.4, 3}, {10.9, 4}, {0.0, 100}}, GraphTab::Errors);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].count, 2);
    EXPECT_DOUBLE_EQ(groups[0].x, 10.2);
    EXPECT_DOUBLE_EQ(groups[0].value, 2.0);
    EXPECT_EQ(groups[1].count, 2);
    EXPECT_DOUBLE_EQ(groups[1].x, 10.75);
    EXPECT_DOUBLE_EQ(groups[1].y, 4.5);
}

TEST(GraphScatter, RelativeTabSpreadInPercentOfSmallest) {
    const auto groups = scatterGroups({{10.0, 20.0}, {10.2, 21.0}, {50.0, 0.0}, {50.5, 3.0}}, GraphTab::Relative);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_DOUBLE_EQ(groups[0].y, 20.5);
    EXPECT_DOUBLE_EQ(groups[0].value, 5.0);
    EXPECT_EQ(groups[0].text, "5.00 %");
    EXPECT_DOUBLE_EQ(groups[1].y, 1.5);
    EXPECT_EQ(groups[1].value, 0.0);  // smallest Y is 0
}

TEST(GraphScatter, FlowZeroIsDrawnButNeverGroupedAndHiddenSeriesDoNotCount) {
    SPILTS_DATA_EXCHANGE data;
    data.series.push_back(series({{0, 0.0, 1.0}, {100, 10.0, 0.5}}));
    data.series.push_back(series({{101, 10.1, 3.0}}));
    data.lines = kBroken;
    GraphSettings settings;
    settings.storedErrors = true;
    settings.shown = {true, false};
    const TabPicture picture = drawGraphTab(data, GraphTab::Errors, settings);
    EXPECT_EQ(picture.series[0], points({{0.0, 1.0}, {10.0, 0.5}}));
    EXPECT_EQ(picture.series[1].size(), 1u);  // hidden series still get their points
    EXPECT_EQ(picture.scatterInput, points({{0.0, 1.0}, {10.0, 0.5}}));
    ASSERT_EQ(picture.scatter.size(), 1u);
    EXPECT_EQ(picture.scatter[0].count, 1);

    // The computed error has no value at flow 0: that point is left out.
    const TabPicture computed = drawGraphTab(data, GraphTab::Errors, {});
    EXPECT_EQ(computed.series[0].size(), 1u);
}

TEST(GraphCharacteristic, PointsOfTheThreeTabsWithOffset) {
    SPILTS_DATA_EXCHANGE data;
    data.series.push_back(series({{200, 2.0}, {0, 0.0}, {500, 7.0}}));
    data.series.push_back(series({{300, 3.0}}, 0));  // useLines 0: nothing
    GraphSettings settings;
    settings.offset = 50;
    // With its control hidden the offset counts as 0.
    EXPECT_EQ(drawGraphTab(data, GraphTab::DirectA, settings).series[0],
              points({{2.0, 200}, {0.0, 0.0}, {7.0, 500}}));
    settings.zeroOffset = true;
    const TabPicture a = drawGraphTab(data, GraphTab::DirectA, settings);
    EXPECT_EQ(a.series[0], points({{2.0, 150}, {0.0, -50}, {7.0, 450}}));
    EXPECT_TRUE(a.series[1].empty());
    EXPECT_EQ(a.smallestX, 0.0);
    EXPECT_EQ(a.largestX, 7.0);
    EXPECT_TRUE(a.curve.empty());  // no lines: no curve
    const TabPicture b = drawGraphTab(data, GraphTab::DirectB, settings);
    EXPECT_EQ(b.series[0], points({{150, 2.0}, {50, 0.0}, {450, 7.0}}));
    const TabPicture r = drawGraphTab(data, GraphTab::Relative, settings);
    EXPECT_EQ(r.series[0], points({{2.0, 75}, {0.0, 0.0}, {7.0, 450.0 / 7.0}}));
    EXPECT_TRUE(a.scatter.empty());
    EXPECT_EQ(r.scatter.size(), 2u);  // 2.0 and 7.0; the point at flow 0 is dropped
}

TEST(GraphCurve, TabBSamplesTheArgumentDownBySteps) {
    SPILTS_DATA_EXCHANGE data;
    data.series.push_back(series({{100, 1.0}, {500, 7.0}}));
    data.lines = kBroken;
    const TabPicture b = drawGraphTab(data, GraphTab::DirectB, {});
    ASSERT_FALSE(b.curve.empty());
    double v = 500;
    for (const CurveSample& s : b.curve) {
        EXPECT_DOUBLE_EQ(s.x, v);
        const int segment = v <= 300 ? 0 : 1;
        EXPECT_EQ(s.segment, segment);
        EXPECT_DOUBLE_EQ(s.y, kBroken[segment].a * v + kBroken[segment].b);
        v *= 0.8333333333333334;
    }
    // Samples stop before falling below the smallest X + 0.0001.
    EXPECT_GE(b.curve.back().x, 100.0001);
    EXPECT_LT(b.curve.back().x * 0.8333333333333334, 100.0001);
    EXPECT_FALSE(b.curvePenSegment);  // tab B leaves the pen as it was
}

TEST(GraphCurve, TabsAAndRelativeInvertTheLinesBySegmentOfFlow) {
    SPILTS_DATA_EXCHANGE data;
    data.series.push_back(series({{100, 1.0}, {500, 7.0}}));
    data.lines = kBroken;  // segment ends at flows 3 and 17
    GraphSettings settings;
    settings.zeroOffset = true;
    settings.offset = 10;
    const TabPicture a = drawGraphTab(data, GraphTab::DirectA, settings);
    const TabPicture r = drawGraphTab(data, GraphTab::Relative, settings);
    ASSERT_EQ(a.curve.size(), r.curve.size());
    ASSERT_GT(a.curve.size(), 5u);
    for (std::size_t i = 0; i < a.curve.size(); ++i) {
        const CurveSample& s = a.curve[i];
        EXPECT_EQ(s.segment, s.x <= 3.0 ? 0 : 1);
        // The sample lies on its line: a · (code) + b gives back the flow.
        const GraphLine& line = kBroken[static_cast<std::size_t>(s.segment)];
        EXPECT_NEAR(line.a * (s.y + 10) + line.b, s.x, 1e-9);
        EXPECT_DOUBLE_EQ(r.curve[i].y, s.y / s.x);
    }
    EXPECT_DOUBLE_EQ(a.curve.front().x, 7.0);
    EXPECT_EQ(a.curvePenSegment, 0);  // the last sample lies on the first segment
}

TEST(GraphCurve, FailingSamplesSkippedAndUnreachableEndStops) {
    SPILTS_DATA_EXCHANGE data;
    data.series.push_back(series({{100, 1.0}, {500, 7.0}}));
    data.lines = {{1000, 0.0, 0.5}};  // zero slope: every sample of tab A fails
    const TabPicture a = drawGraphTab(data, GraphTab::DirectA, {});
    EXPECT_TRUE(a.curve.empty());
    EXPECT_EQ(a.curvePenSegment, 0);  // the pen was set before each failure

    // A negative flow makes the end unreachable for a sample that only
    // shrinks towards 0: the curve still ends.
    data.series[0] = series({{100, -1.0}, {500, 7.0}});
    data.lines = kBroken;
    const TabPicture endless = drawGraphTab(data, GraphTab::DirectA, {});
    EXPECT_LE(endless.curve.size(), 2000u);
    EXPECT_FALSE(endless.curve.empty());
}

TEST(GraphTexts, MarksFollowTheLocale) {
    EXPECT_EQ(valueMarkText(2.5), "2.5");
    EXPECT_EQ(valueMarkText(-0.12345), "-0.123");
    EXPECT_EQ(valueMarkText(40), "40");
    Locale comma;
    comma.decimalSeparator = ',';
    const ScopedLocale scoped(comma);
    EXPECT_EQ(valueMarkText(2.5), "2,5");
}

}  // namespace
