// srvtool chart: the graph data of a document and what the graphs window
// draws from it on each tab, so that a script can check a calibration's
// picture without a display.

#include "Tool.h"

#include <cmath>

#include "approximation/Chart.h"
#include "approximation/GraphModel.h"
#include "common/MathError.h"
#include "devices/DeviceBase.h"
#include "document/Document.h"
#include "link/RegKey.h"

namespace srvtool {

namespace {

using nlohmann::json;
namespace ap = approximation;

json colourJson(const ap::Rgb& c) { return json::array({c.red, c.green, c.blue}); }

// A value that is not finite prints as null (JSON has no infinities).
json number(double v) { return std::isfinite(v) ? json(v) : json(nullptr); }

json dataJson(const SPILTS_DATA_EXCHANGE& data) {
    json series = json::array();
    for (const SPILT_STRUCT& s : data.series) {
        json pts = json::array();
        for (const SPILT_POINT& p : s.points)
            pts.push_back({{"x", p.x}, {"y", p.y}, {"section", p.section}, {"point", p.point}, {"error", p.error}});
        series.push_back({{"title", s.title}, {"useLines", s.useLines}, {"useErrors", s.useErrors}, {"points", pts}});
    }
    json lines = json::array();
    for (const GraphLine& l : data.lines) lines.push_back({{"upper", l.upper}, {"a", l.a}, {"b", l.b}});
    return {{"series", series}, {"lines", lines}};
}

json tabJson(const ap::TabPicture& picture, const SPILTS_DATA_EXCHANGE& data) {
    json points = json::array();
    for (const auto& series : picture.series) {
        json list = json::array();
        for (const ap::GraphPoint& p : series) list.push_back({{"x", p.x}, {"y", p.y}});
        points.push_back(std::move(list));
    }
    json samples = json::array();
    for (const ap::CurveSample& s : picture.curve)
        samples.push_back({{"x", s.x},
                           {"y", s.y},
                           {"segment", s.segment},
                           {"colour", colourJson(ap::seriesStyle(s.segment).colour)}});
    json curve = nullptr;
    if (ap::tabHasCurve(picture.tab) && !data.lines.empty()) {
        curve = {{"samples", samples},
                 {"penSegment", picture.curvePenSegment ? json(*picture.curvePenSegment) : json(nullptr)}};
    }
    json scatter = json::array();
    for (const ap::ScatterGroup& g : picture.scatter)
        scatter.push_back({{"x", number(g.x)},
                           {"y", number(g.y)},
                           {"value", number(g.value)},
                           {"count", g.count},
                           {"text", g.text}});
    return {{"caption", ap::graphTabCaption(picture.tab)},
            {"titles", {{"x", picture.titles.x}, {"y", picture.titles.y}}},
            {"logarithmic", ap::tabStartsLogarithmic(picture.tab)},
            {"points", points},
            {"curve", curve},
            {"scatter", ap::tabHasScatter(picture.tab) ? scatter : json(nullptr)}};
}

struct ChartOptions {
    std::string path;
    bool tabChange = false;
    bool storedErrors = false;
    double offset = 0.0;
    std::vector<int> hidden;
};

void addChartCommands(CLI::App& app) {
    auto* cmd = app.add_subcommand(
        "chart", "print the graph data of a document and what the graphs window draws on each tab");
    auto o = std::make_shared<ChartOptions>();
    cmd->add_option("DOC", o->path, "document file")->required();
    cmd->add_flag("--tab-change", o->tabChange,
                  "take the device model's lines first, as the graphs command of the window does");
    cmd->add_flag("--stored-errors", o->storedErrors,
                  "the error tab shows the stored errors (\"Расчетная погрешность\" checked)");
    cmd->add_option("--offset", o->offset, "zero offset subtracted from the argument on the characteristic tabs")
        ->check(CLI::Range(-1000.0, 1000.0));
    cmd->add_option("--hide", o->hidden, "series hidden in the list, numbered from 0 (repeatable)");
    cmd->callback([o] {
        ConsoleRecorder recorder;
        Document doc(recorder.console);
        openDocument(o->path, doc);
        if (o->tabChange) doc.tabChanged();
        SPILTS_DATA_EXCHANGE data;
        fillGraphData(doc.packages(), doc.state().currentLines, data);

        ap::GraphSettings settings;
        settings.storedErrors = o->storedErrors;
        // The command line's offset counts whatever the window would show.
        settings.zeroOffset = true;
        settings.offset = o->offset;
        settings.shown.assign(data.series.size(), true);
        for (int index : o->hidden) {
            if (index < 0 || index >= static_cast<int>(data.series.size()))
                throw UserError("--hide: no series " + std::to_string(index) + " (the document has " +
                                std::to_string(data.series.size()) + ", numbered from 0)");
            settings.shown[static_cast<std::size_t>(index)] = false;
        }
        // Opening a document sets the family's titles.
        const ap::FamilyTitles family =
            doc.device() ? ap::familyTitles(FamilyOfCode(doc.device()->Type())) : ap::FamilyTitles{};

        json out = dataJson(data);
        json styles = json::array();
        for (std::size_t i = 0; i < data.series.size(); ++i) {
            const int index = static_cast<int>(i);
            const ap::SeriesStyle& style = ap::seriesStyle(index);
            styles.push_back({{"style", ap::styleIndex(index)},
                              {"marker", ap::markerName(style.marker)},
                              {"colour", colourJson(style.colour)},
                              {"image", style.image},
                              {"shown", settings.shown[i]}});
        }
        out["styles"] = std::move(styles);
        json tabs = json::array();
        for (ap::GraphTab tab : ap::kGraphTabs) tabs.push_back(tabJson(ap::drawGraphTab(data, tab, settings, family), data));
        out["tabs"] = std::move(tabs);
        out["zeroOffset"] = {{"enabled", ReadSettingsSwitch(ap::kEnableZeroOffsetValue)}, {"offset", o->offset}};
        print(out);
    });
}

const RegisterCommands kRegistered(addChartCommands);

}  // namespace

}  // namespace srvtool
