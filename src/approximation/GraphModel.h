#pragma once

// What the graphs window draws, computed without the toolkit: the style of
// each series, the axis titles of each tab, the points of every series, the
// sampled characteristic with the segment of each sample, and the scatter
// layer. The window binds these to its chart; `srvtool chart` prints them.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "approximation/Chart.h"
#include "devices/DeviceBase.h"

namespace approximation {

// ---- series styles ------------------------------------------------------------------

enum class MarkerShape { Circle, Rectangle, Triangle, Diamond, DownTriangle };

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    bool operator==(const Rgb&) const = default;
};

struct SeriesStyle {
    MarkerShape marker;
    Rgb colour;
    int image;  // index of the marker's picture in the window's image list
};

inline constexpr int kStyleCount = 26;
// The window's image list holds one picture per image index 0 … 24.
inline constexpr int kStyleImageCount = 25;

// The style of series index i: an index above 25 is reduced by 25 until it
// is 25 or less (so 26 takes style 1 and 50 style 25); a negative index
// takes style 0.
int styleIndex(int i);
const SeriesStyle& seriesStyle(int i);
// "circle", "rectangle", "triangle", "diamond", "down triangle".
const char* markerName(MarkerShape marker);
// The style whose marker and colour picture `image` shows: the first style
// that names it.
const SeriesStyle& imageStyle(int image);

// ---- tabs and axis titles ------------------------------------------------------------

enum class GraphTab { Errors = 0, DirectA = 1, DirectB = 2, Relative = 3 };
inline constexpr std::array<GraphTab, 4> kGraphTabs = {GraphTab::Errors, GraphTab::DirectA, GraphTab::DirectB,
                                                       GraphTab::Relative};

// "Погрешность", "Прямая характеристика A", "Прямая характеристика  B" (two
// blanks before B), "Относительная характеристика".
const char* graphTabCaption(GraphTab tab);
// The error and relative tabs start with a logarithmic flow axis and carry
// the scatter layer; the three characteristic tabs carry the sampled curve.
bool tabStartsLogarithmic(GraphTab tab);
bool tabHasScatter(GraphTab tab);
bool tabHasCurve(GraphTab tab);

inline constexpr const char* kErrorAxisTitle = "Относительная погрешность расхода (%)";
inline constexpr const char* kFlowAxisTitle = "Расход (м3/ч)";

// The two titles that depend on the document's family.
struct FamilyTitles {
    std::string argument = "Код";
    std::string relative = "Код / Расход";  // before any document was created or opened
};
// What New and Open set: RV "Код" and "Код/Расход", Dorn and Kelt
// "Частота (Гц)" and "Частота/Расход".
FamilyTitles familyTitles(Family family);

struct AxisTitles {
    std::string x;
    std::string y;
};
AxisTitles tabTitles(GraphTab tab, const FamilyTitles& family);

// ---- drawing a tab ---------------------------------------------------------------------

struct GraphPoint {
    double x = 0.0;
    double y = 0.0;
    bool operator==(const GraphPoint&) const = default;
};

// One sample of the characteristic; `segment` indexes the lines and picks
// the sample's colour when the segments are coloured.
struct CurveSample {
    double x = 0.0;
    double y = 0.0;
    int segment = 0;
};

// One group of the scatter layer: points at about the same flow.
struct ScatterGroup {
    double x = 0.0;
    double y = 0.0;
    double value = 0.0;
    int count = 0;
    std::string text;  // the mark, "%.2f %" of the value
};

// The window's settings that change what a tab shows.
struct GraphSettings {
    // "Расчетная погрешность": the error tab shows the stored errors.
    bool storedErrors = false;
    // The zero offset control is shown (the window shows it while the
    // settings value kEnableZeroOffsetValue is set); while it is hidden the
    // offset counts as 0 whatever `offset` holds.
    bool zeroOffset = false;
    // The zero offset z.
    double offset = 0.0;
    // Series shown, by index; a series past the end is shown. Only shown
    // series feed the scatter layer.
    std::vector<bool> shown;
};

// Everything one tab draws.
struct TabPicture {
    GraphTab tab = GraphTab::Errors;
    AxisTitles titles;
    // One list per series of the data, in order. A point whose value is not
    // a finite number is left out (the error tab has no relative error at
    // flow 0).
    std::vector<std::vector<GraphPoint>> series;
    // Empty on the error tab; on the characteristic tabs only when there are
    // no lines or no points.
    std::vector<CurveSample> curve;
    // Tabs A and relative set the curve's pen to the colour of the last
    // sample's segment; nothing where the pen is left as it was.
    std::optional<int> curvePenSegment;
    // The points of the shown series in the order they were added: the
    // scatter layer's input.
    std::vector<GraphPoint> scatterInput;
    std::vector<ScatterGroup> scatter;
    // The error tab with limits: the corners of the limit envelope (q, δ)
    // over the flows of the points and a tenth beyond them either side, for
    // a step line at +δ and one at −δ. Empty on the other tabs, without
    // limits or points, and where no limit applies.
    std::vector<GraphPoint> envelope;
    // Smallest and largest X of all points on the characteristic tabs.
    double smallestX = 0.0;
    double largestX = 0.0;
};

// The segment of argument x: the first line with x not above its `upper`,
// else the last; -1 without lines.
int graphSegment(const std::vector<GraphLine>& lines, double x);

TabPicture drawGraphTab(const SPILTS_DATA_EXCHANGE& data, GraphTab tab, const GraphSettings& settings,
                        const FamilyTitles& family = {});

// Groups points whose X lies within 5 % of the first remaining point's X
// (points at X = 0 are dropped): on the error tab each group is its mean
// point with the Y spread as value; on the relative tab the point sits at
// the middle of the Y range and the value is the spread in percent of the
// smallest Y (0 when that is 0).
std::vector<ScatterGroup> scatterGroups(std::vector<GraphPoint> input, GraphTab tab);

// "%.2f %" in the user's locale: two decimals, a blank, a percent sign.
std::string scatterMarkText(double value);
// The value marks of the point series: the Y value with up to three
// decimals, in the user's locale.
std::string valueMarkText(double value);

// The settings value that shows the zero offset control (a switch, read
// with ReadSettingsSwitch).
inline constexpr const char* kEnableZeroOffsetValue = "EnableZeroOffset";

}  // namespace approximation
