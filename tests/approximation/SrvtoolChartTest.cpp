// srvtool chart run as a program on JSON documents: the graph data and what
// the graphs window draws from it on each tab.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>

#include "support/RunTool.h"

namespace {

using nlohmann::json;

// An RV document with the line flow = code / 100 (upper 2000) and a second
// one above; a calibration package at flows 10.0, 10.3 and 11.0 whose codes
// give errors of 0.5, 0.1 and 0.2 %, an entry at flow 0, and a verification
// package of one entry.
json rvDocument() {
    json entries = json::array();
    const double flows[] = {10.0, 10.3, 11.0};
    const double errors[] = {0.5, 0.1, 0.2};
    for (int i = 0; i < 3; ++i)
        entries.push_back(
            {{"t", 20}, {"flowRef", flows[i]}, {"timeRef", 100}, {"code", flows[i] * (1 + errors[i] / 100) * 100}});
    entries.push_back({{"t", 20}, {"flowRef", 0.0}, {"timeRef", 100}, {"code", 0.0}});
    return {{"type", 0},
            {"lines", {{{"a", 0.01}, {"b", 0.0}, {"upper", 2000}}, {{"a", 0.02}, {"b", -20.0}, {"upper", 5000}}}},
            {"packages",
             {{{"type", 0}, {"method", 2}, {"entries", entries}},
              {{"type", 1}, {"method", 2}, {"entries", {{{"t", 20}, {"flowRef", 25}, {"timeRef", 100}, {"code", 2250}}}}}}}};
}

struct ToolRun {
    ToolResult result;
    json out;
};

ToolRun run(const json& doc, std::vector<std::string> args) {
    TempFile file("doc.json", doc.dump());
    args.insert(args.begin() + 1, file.path());
    ToolRun r{runTool(SRVTOOL_PATH, args), json()};
    if (r.result.exitCode == 0) r.out = json::parse(r.result.out);
    return r;
}

const json& tab(const ToolRun& r, int index) { return r.out["tabs"][index]; }

TEST(SrvtoolChartPicture, StylesTitlesAndScatterOfTheErrorTab) {
    const ToolRun r = run(rvDocument(), {"chart"});
    ASSERT_EQ(r.result.exitCode, 0) << r.result.err;
    // Calibration, verification and its pulse output: three series.
    ASSERT_EQ(r.out["styles"].size(), 3u);
    EXPECT_EQ(r.out["styles"][0], (json{{"style", 0}, {"marker", "circle"}, {"colour", {0, 128, 0}},
                                        {"image", 12}, {"shown", true}}));
    EXPECT_EQ(r.out["styles"][2]["marker"], "triangle");

    ASSERT_EQ(r.out["tabs"].size(), 4u);
    const json& errors = tab(r, 0);
    EXPECT_EQ(errors["caption"], "Погрешность");
    EXPECT_EQ(errors["titles"], (json{{"x", "Расход (м3/ч)"}, {"y", "Относительная погрешность расхода (%)"}}));
    EXPECT_EQ(errors["logarithmic"], true);
    EXPECT_EQ(errors["curve"], nullptr);
    // The point at flow 0 has no computed error and is left out.
    ASSERT_EQ(errors["points"][0].size(), 3u);
    EXPECT_NEAR(errors["points"][0][0]["y"].get<double>(), 0.5, 1e-9);
    const json& scatter = errors["scatter"];
    ASSERT_EQ(scatter.size(), 3u);  // {10.0, 10.3}, {11.0}, {25 of both verification series}
    EXPECT_NEAR(scatter[0]["x"].get<double>(), 10.15, 1e-12);
    EXPECT_NEAR(scatter[0]["y"].get<double>(), 0.3, 1e-9);
    EXPECT_EQ(scatter[0]["count"], 2);
    EXPECT_EQ(scatter[0]["text"], "0.40 %");
    EXPECT_EQ(scatter[1]["text"], "0.00 %");
    EXPECT_EQ(scatter[2]["count"], 2);

    EXPECT_EQ(tab(r, 1)["titles"], (json{{"x", "Расход (м3/ч)"}, {"y", "Код"}}));
    EXPECT_EQ(tab(r, 2)["caption"], "Прямая характеристика  B");
    EXPECT_EQ(tab(r, 2)["titles"], (json{{"x", "Код"}, {"y", "Расход (м3/ч)"}}));
    EXPECT_EQ(tab(r, 3)["titles"]["y"], "Код/Расход");
    EXPECT_EQ(tab(r, 3)["logarithmic"], true);
}

TEST(SrvtoolChartPicture, CurveLiesOnTheLinesWithSegmentColours) {
    const ToolRun r = run(rvDocument(), {"chart"});
    ASSERT_EQ(r.result.exitCode, 0) << r.result.err;
    const json& lines = r.out["lines"];
    for (int t : {1, 2, 3}) {
        const json& curve = tab(r, t)["curve"];
        ASSERT_TRUE(curve.is_object()) << t;
        const json& samples = curve["samples"];
        ASSERT_GT(samples.size(), 5u) << t;
        bool sawSecond = false;
        for (const json& s : samples) {
            const int segment = s["segment"];
            const double a = lines[segment]["a"], b = lines[segment]["b"];
            const double x = s["x"], y = s["y"];
            // Flow from the argument by the sample's own line.
            const double code = t == 2 ? x : t == 1 ? y : y * x;
            const double flow = t == 2 ? y : x;
            EXPECT_NEAR(a * code + b, flow, 1e-9) << t;
            EXPECT_EQ(s["colour"], segment == 0 ? json::array({0, 128, 0}) : json::array({0, 0, 255}));
            sawSecond = sawSecond || segment == 1;
        }
        EXPECT_TRUE(sawSecond) << t;  // the verification point at code 2250 lies on segment 2
    }
    EXPECT_EQ(tab(r, 1)["curve"]["penSegment"], 0);
    EXPECT_EQ(tab(r, 2)["curve"]["penSegment"], nullptr);
}

TEST(SrvtoolChartPicture, HiddenSeriesStoredErrorsAndOffset) {
    json doc = rvDocument();
    const ToolRun r = run(doc, {"chart", "--hide", "1", "--hide", "2", "--stored-errors", "--offset", "100"});
    ASSERT_EQ(r.result.exitCode, 0) << r.result.err;
    EXPECT_EQ(r.out["styles"][1]["shown"], false);
    // Hidden series keep their points but leave the scatter layer.
    EXPECT_EQ(tab(r, 0)["points"][1].size(), 1u);
    EXPECT_EQ(tab(r, 0)["scatter"].size(), 2u);
    // Stored errors: the point at flow 0 is drawn with its stored error.
    EXPECT_EQ(tab(r, 0)["points"][0].size(), 4u);
    // The offset comes off the argument on tab A.
    const json& a = tab(r, 1)["points"][0][0];
    EXPECT_NEAR(a["y"].get<double>(), 1005.0 - 100, 1e-9);
    EXPECT_EQ(r.out["zeroOffset"]["offset"], 100.0);

    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"chart", "--hide", "3"}, {"chart", "--offset", "1001"}}) {
        const ToolRun failed = run(doc, bad);
        EXPECT_NE(failed.result.exitCode, 0) << bad[2];
        EXPECT_EQ(failed.result.out, "");
        EXPECT_NE(failed.result.err, "");
    }
}

TEST(SrvtoolChartPicture, KeltFamilyTitles) {
    json doc = rvDocument();
    doc["type"] = 28;  // Kelt
    for (json& package : doc["packages"]) {
        for (json& e : package["entries"]) {
            e.erase("code");
            e["time1"] = 100;
            e["pulses1"] = 1001;
        }
    }
    const ToolRun r = run(doc, {"chart"});
    ASSERT_EQ(r.result.exitCode, 0) << r.result.err;
    EXPECT_EQ(tab(r, 1)["titles"]["y"], "Частота (Гц)");
    EXPECT_EQ(tab(r, 2)["titles"]["x"], "Частота (Гц)");
    EXPECT_EQ(tab(r, 3)["titles"]["y"], "Частота/Расход");
}

}  // namespace
