#include "approximation/GraphModel.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/Locale.h"

namespace approximation {

namespace {

constexpr Rgb kGreen{0, 128, 0};
constexpr Rgb kBlue{0, 0, 255};
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kYellow{255, 255, 0};
constexpr Rgb kRed{255, 0, 0};

using M = MarkerShape;

constexpr std::array<SeriesStyle, kStyleCount> kStyles = {{
    {M::Circle, kGreen, 12},        // 0
    {M::Rectangle, kBlue, 6},       // 1
    {M::Triangle, kBlack, 20},      // 2
    {M::Diamond, kYellow, 19},      // 3
    {M::DownTriangle, kRed, 3},     // 4
    {M::Rectangle, kGreen, 7},      // 5
    {M::Triangle, kBlue, 21},       // 6
    {M::Diamond, kBlack, 15},       // 7
    {M::DownTriangle, kYellow, 4},  // 8
    {M::Circle, kRed, 13},          // 9
    {M::Triangle, kGreen, 22},      // 10
    {M::Diamond, kBlue, 16},        // 11
    {M::DownTriangle, kBlack, 0},   // 12
    {M::Circle, kYellow, 14},       // 13
    {M::Rectangle, kRed, 8},        // 14
    {M::Diamond, kGreen, 17},       // 15
    {M::DownTriangle, kBlue, 1},    // 16
    {M::Circle, kBlack, 10},        // 17
    {M::Rectangle, kYellow, 9},     // 18
    {M::Triangle, kRed, 23},        // 19
    {M::DownTriangle, kGreen, 2},   // 20
    {M::Circle, kBlue, 11},         // 21
    {M::Rectangle, kBlack, 5},      // 22
    {M::Triangle, kYellow, 24},     // 23
    {M::Diamond, kRed, 18},         // 24
    {M::Rectangle, kBlack, 0},      // 25
}};

// The smallest X of the characteristic tabs starts at the largest float.
constexpr double kSmallestXStart = 3.4028234663852886e38;
// The curve is sampled from the largest X down, dividing by 1.2 each time,
// until the sample reaches the smallest X plus this margin.
constexpr double kCurveStep = 0.8333333333333334;
constexpr double kCurveMargin = 0.0001;
// From the largest float down to the margin takes about 530 samples; a
// sample count beyond this means the end can never be reached (for example
// a negative smallest X), so the curve stops there.
constexpr int kMaxCurveSamples = 2000;
// Points within this percentage of a group's first X join the group.
constexpr double kScatterPercent = 5.0;

bool finite(const GraphPoint& p) { return std::isfinite(p.x) && std::isfinite(p.y); }

}  // namespace

int styleIndex(int i) {
    if (i < 0) return 0;
    while (i > kStyleCount - 1) i -= kStyleCount - 1;
    return i;
}

const SeriesStyle& seriesStyle(int i) { return kStyles[static_cast<std::size_t>(styleIndex(i))]; }

const char* markerName(MarkerShape marker) {
    switch (marker) {
    case MarkerShape::Circle:
        return "circle";
    case MarkerShape::Rectangle:
        return "rectangle";
    case MarkerShape::Triangle:
        return "triangle";
    case MarkerShape::Diamond:
        return "diamond";
    case MarkerShape::DownTriangle:
        return "down triangle";
    }
    return "";
}

const SeriesStyle& imageStyle(int image) {
    for (const SeriesStyle& style : kStyles)
        if (style.image == image) return style;
    return kStyles[0];
}

const char* graphTabCaption(GraphTab tab) {
    switch (tab) {
    case GraphTab::Errors:
        return "Погрешность";
    case GraphTab::DirectA:
        return "Прямая характеристика A";
    case GraphTab::DirectB:
        return "Прямая характеристика  B";
    case GraphTab::Relative:
        return "Относительная характеристика";
    }
    return "";
}

bool tabStartsLogarithmic(GraphTab tab) { return tab == GraphTab::Errors || tab == GraphTab::Relative; }
bool tabHasScatter(GraphTab tab) { return tab == GraphTab::Errors || tab == GraphTab::Relative; }
bool tabHasCurve(GraphTab tab) { return tab != GraphTab::Errors; }

FamilyTitles familyTitles(Family family) {
    if (family == Family::RV) return {"Код", "Код/Расход"};
    return {"Частота (Гц)", "Частота/Расход"};
}

AxisTitles tabTitles(GraphTab tab, const FamilyTitles& family) {
    switch (tab) {
    case GraphTab::Errors:
        return {kFlowAxisTitle, kErrorAxisTitle};
    case GraphTab::DirectA:
        return {kFlowAxisTitle, family.argument};
    case GraphTab::DirectB:
        return {family.argument, kFlowAxisTitle};
    case GraphTab::Relative:
        return {kFlowAxisTitle, family.relative};
    }
    return {};
}

int graphSegment(const std::vector<GraphLine>& lines, double x) {
    if (lines.empty()) return -1;
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (x <= lines[i].upper) return static_cast<int>(i);
    return static_cast<int>(lines.size()) - 1;
}

namespace {

// Tabs A and relative sample the flow axis: the segment of a flow is the
// first whose flow at its end is not below it, else the last.
int flowSegment(const std::vector<double>& ends, double v) {
    for (std::size_t i = 0; i < ends.size(); ++i)
        if (v <= ends[i]) return static_cast<int>(i);
    return static_cast<int>(ends.size()) - 1;
}

void sampleCurve(const std::vector<GraphLine>& lines, GraphTab tab, double z, TabPicture& picture) {
    if (lines.empty()) return;
    double v = picture.largestX;
    const double end = picture.smallestX + kCurveMargin;
    if (tab == GraphTab::DirectB) {
        for (int n = 0; n < kMaxCurveSamples && v > 0 && std::isfinite(v) && v - z >= end; ++n, v *= kCurveStep) {
            const int segment = graphSegment(lines, v);
            const GraphLine& line = lines[static_cast<std::size_t>(segment)];
            const CurveSample sample{v - z, line.a * v + line.b, segment};
            if (std::isfinite(sample.x) && std::isfinite(sample.y)) picture.curve.push_back(sample);
        }
        return;
    }
    std::vector<double> ends;
    ends.reserve(lines.size());
    for (const GraphLine& line : lines) ends.push_back(line.upper * line.a + line.b);
    for (int n = 0; n < kMaxCurveSamples && v > 0 && std::isfinite(v) && v >= end; ++n, v *= kCurveStep) {
        const int segment = flowSegment(ends, v);
        // The pen takes the segment's colour before the sample is computed,
        // so a sample that fails still leaves its colour.
        picture.curvePenSegment = segment;
        const GraphLine& line = lines[static_cast<std::size_t>(segment)];
        const double c = (v - line.b) / line.a - z;
        const CurveSample sample{v, tab == GraphTab::DirectA ? c : c / v, segment};
        if (std::isfinite(sample.y)) picture.curve.push_back(sample);
    }
}

}  // namespace

TabPicture drawGraphTab(const SPILTS_DATA_EXCHANGE& data, GraphTab tab, const GraphSettings& settings,
                        const FamilyTitles& family) {
    TabPicture picture;
    picture.tab = tab;
    picture.titles = tabTitles(tab, family);
    picture.series.resize(data.series.size());
    const double z = settings.zeroOffset ? settings.offset : 0.0;
    const std::vector<GraphLine>& lines = data.lines;

    double smallest = kSmallestXStart;
    double largest = 0.0;
    for (std::size_t i = 0; i < data.series.size(); ++i) {
        const SPILT_STRUCT& s = data.series[i];
        const bool shown = i >= settings.shown.size() || settings.shown[i];
        std::vector<GraphPoint>& out = picture.series[i];
        auto add = [&](GraphPoint p) {
            if (!finite(p)) return;
            out.push_back(p);
            if (shown) picture.scatterInput.push_back(p);
        };
        if (tab == GraphTab::Errors) {
            if (lines.empty()) continue;
            if (settings.storedErrors && s.useErrors == 1) {
                for (const SPILT_POINT& p : s.points) add({p.y, p.error});
            } else if (s.useLines) {
                for (const SPILT_POINT& p : s.points) {
                    const GraphLine& line = lines[static_cast<std::size_t>(graphSegment(lines, p.x))];
                    add({p.y, (line.a * p.x + line.b - p.y) * 100.0 / p.y});
                }
            }
            continue;
        }
        if (!s.useLines) continue;
        out.reserve(s.points.size());
        for (const SPILT_POINT& p : s.points) {
            const double q = p.y;
            GraphPoint point;
            switch (tab) {
            case GraphTab::DirectA:
                point = {q, p.x - z};
                break;
            case GraphTab::DirectB:
                point = {std::abs(p.x - z), q};
                break;
            default:
                point = {q, q == 0.0 ? 0.0 : (p.x - z) / q};
                break;
            }
            if (std::isfinite(point.x)) {
                smallest = std::min(smallest, point.x);
                largest = std::max(largest, point.x);
            }
            add(point);
        }
    }
    picture.smallestX = smallest;
    picture.largestX = largest;

    if (tab == GraphTab::Errors && data.limits.isSet()) {
        // The envelope spans every series' points, shown or not, so that
        // hiding a series does not move it.
        double qMin = std::numeric_limits<double>::infinity();
        double qMax = 0.0;
        for (const std::vector<GraphPoint>& points : picture.series)
            for (const GraphPoint& p : points)
                if (p.x > 0.0) {
                    qMin = std::min(qMin, p.x);
                    qMax = std::max(qMax, p.x);
                }
        if (qMax > 0.0)
            for (const EnvelopePoint& corner : LimitEnvelope(data.limits, qMin / 1.1, qMax * 1.1))
                picture.envelope.push_back({corner.q, corner.limit});
    }

    if (tabHasCurve(tab)) sampleCurve(lines, tab, z, picture);
    if (tabHasScatter(tab)) picture.scatter = scatterGroups(picture.scatterInput, tab);
    return picture;
}

std::vector<ScatterGroup> scatterGroups(std::vector<GraphPoint> input, GraphTab tab) {
    std::vector<ScatterGroup> groups;
    std::size_t first = 0;  // input[first …] is the list still to group
    while (first < input.size()) {
        const double x0 = input[first].x;
        if (x0 == 0.0) {
            ++first;
            continue;
        }
        double sumX = 0, sumY = 0;
        double minY = input[first].y, maxY = input[first].y;
        int n = 0;
        // The members leave the list; the others keep their order.
        std::size_t kept = first;
        for (std::size_t i = first; i < input.size(); ++i) {
            const GraphPoint p = input[i];
            if (std::abs(p.x - x0) / x0 * 100.0 < kScatterPercent) {
                sumX += p.x;
                sumY += p.y;
                minY = std::min(minY, p.y);
                maxY = std::max(maxY, p.y);
                ++n;
            } else {
                input[kept++] = p;
            }
        }
        input.resize(kept);
        ScatterGroup group;
        group.count = n;
        group.x = sumX / n;
        if (tab == GraphTab::Relative) {
            group.y = (maxY + minY) / 2.0;
            group.value = minY == 0.0 ? 0.0 : (maxY - minY) * 100.0 / minY;
        } else {
            group.y = sumY / n;
            group.value = maxY - minY;
        }
        group.text = scatterMarkText(group.value);
        groups.push_back(std::move(group));
    }
    return groups;
}

std::string scatterMarkText(double value) { return Locale::current().formatFixed(value, 2) + " %"; }

std::string valueMarkText(double value) {
    std::string text = Locale::current().formatFixed(value, 3);
    const char separator = Locale::current().decimalSeparator;
    const std::size_t dot = text.find(separator);
    if (dot != std::string::npos && text.find_first_of("eE") == std::string::npos) {
        while (text.back() == '0') text.pop_back();
        if (text.back() == separator) text.pop_back();
    }
    if (text == "-0") text = "0";
    return text;
}

}  // namespace approximation
