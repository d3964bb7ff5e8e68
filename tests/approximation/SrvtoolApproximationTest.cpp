// srvtool approximate, setpoints, chart and lines, run as a program on JSON
// documents.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/RunTool.h"

namespace {

using nlohmann::json;

// An RV document whose package 1 holds five sections on a broken line (flow
// = code / 100 up to 300, then 2 · code / 100 − 3), entered in descending
// order; package 0 is a verification package.
json rvDocument(json options) {
    json entries = json::array();
    const double codes[] = {502, 500, 498, 402, 400, 398, 300, 300, 300, 202, 200, 198, 102, 100, 98};
    for (double code : codes) {
        const double flow = code <= 300 ? code / 100 : 2 * code / 100 - 3;
        entries.push_back({{"t", 20}, {"flowRef", flow}, {"timeRef", 100}, {"code", code}});
    }
    return {{"type", 0},
            {"options", options},
            {"lines", {{{"a", 0.5}, {"b", 0.25}, {"upper", 1000}}}},
            {"packages",
             {{{"type", 1}, {"method", 2}, {"entries", {{{"t", 20}, {"flowRef", 1}, {"timeRef", 100}, {"code", 100}}}}},
              {{"type", 0}, {"method", 2}, {"created", "2026-12-01T10:15:00.000"}, {"entries", entries}}}}};
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

std::vector<int> marks(const json& out, int package) {
    std::vector<int> m;
    for (const json& e : out["packages"][package]["entries"]) m.push_back(e["point"].get<int>());
    return m;
}

TEST(SrvtoolApproximate, AutomaticPiecewiseWithSectionsAndConsole) {
    const ToolRun r = run(rvDocument({{"manual", 0}}), {"approximate", "--package", "1"});
    ASSERT_EQ(r.result.exitCode, 0) << r.result.err;
    EXPECT_EQ(r.out["console"], json::array({"Aппроксимация выполнена"}));
    EXPECT_EQ(r.out["splitSections"], json::array({2, 4}));
    ASSERT_EQ(r.out["sections"].size(), 5u);
    EXPECT_EQ(r.out["sections"][2]["first"], 6);
    EXPECT_EQ(r.out["sections"][2]["last"], 8);
    EXPECT_DOUBLE_EQ(r.out["sections"][2]["x"].get<double>(), 300.0);
    EXPECT_DOUBLE_EQ(r.out["sections"][2]["y"].get<double>(), 3.0);
    std::vector<int> want(15, 0);
    want[6] = 1;
    EXPECT_EQ(marks(r.out, 1), want);
    EXPECT_EQ(r.out["packages"][1]["entries"][0]["code"], 98.0);  // sorted
    EXPECT_EQ(r.out["packages"][1]["entries"][14]["line"], 2);
    EXPECT_NEAR(r.out["packages"][1]["entries"][14]["flowErr"].get<double>(), 0.0, 1e-6);
}

TEST(SrvtoolApproximate, MathErrorGivesTheFailureTextAndNoLines) {
    json doc = rvDocument({{"function", 1}});
    doc["packages"][1]["entries"][3]["flowRef"] = 0.0;
    const ToolRun r = run(doc, {"approximate", "--package", "1"});
    ASSERT_EQ(r.result.exitCode, 0) << r.result.err;
    EXPECT_EQ(r.out["console"], json::array({"Невозможно выполнить аппроксимацию"}));
    for (const json& e : r.out["packages"][1]["entries"]) {
        EXPECT_EQ(e["flowMeas"], 0.0);
        EXPECT_EQ(e["flowErr"], 100.0);
    }
}

TEST(SrvtoolApproximate, BadPackageNumberFails) {
    for (const char* bad : {"2", "-1"}) {
        const ToolRun r = run(rvDocument(json::object()), {"approximate", "--package", bad});
        EXPECT_NE(r.result.exitCode, 0) << bad;
        EXPECT_EQ(r.result.out, "");
        EXPECT_NE(r.result.err, "");
    }
}

TEST(SrvtoolSetPoints, ChosenSectionsCancelAndEmptyChoice) {
    const json doc = rvDocument({{"manual", 1}, {"function", 2}});
    {
        // Section 3 chosen; section 2 toggled twice is unchosen again.
        const ToolRun r = run(doc, {"setpoints", "--package", "1", "--sections", "3,2,2"});
        ASSERT_EQ(r.result.exitCode, 0) << r.result.err;
        EXPECT_EQ(r.out["console"], json::array({"Аппроксимация выполнена"}));
        EXPECT_EQ(r.out["splitSections"], json::array({2, 4}));
        EXPECT_EQ(r.out["options"]["function"], 2);
    }
    {
        const ToolRun r = run(doc, {"setpoints", "--package", "1"});
        ASSERT_EQ(r.result.exitCode, 0) << r.result.err;
        EXPECT_EQ(r.out["splitSections"], json::array({4}));
        EXPECT_EQ(r.out["console"], json::array({"Аппроксимация выполнена"}));
    }
    {
        const ToolRun r = run(doc, {"setpoints", "--package", "1", "--sections", "3", "--cancel"});
        ASSERT_EQ(r.result.exitCode, 0) << r.result.err;
        EXPECT_EQ(r.out["console"], json::array());
        EXPECT_EQ(r.out["splitSections"], json::array());
        EXPECT_EQ(marks(r.out, 1), std::vector<int>(15, 0));
        EXPECT_EQ(r.out["options"]["function"], 2);
    }
    {
        const ToolRun r = run(doc, {"setpoints", "--package", "1", "--sections", "9"});
        EXPECT_NE(r.result.exitCode, 0);
        EXPECT_NE(r.result.err.find("9"), std::string::npos);
    }
}

TEST(SrvtoolChart, SeriesPerPackageAndLines) {
    const ToolRun r = run(rvDocument(json::object()), {"chart"});
    ASSERT_EQ(r.result.exitCode, 0) << r.result.err;
    ASSERT_EQ(r.out["series"].size(), 3u);  // verification: two series
    EXPECT_NE(r.out["series"][1]["title"].get<std::string>().find(" (имп. выход)"), std::string::npos);
    const json& p = r.out["series"][2]["points"][0];
    EXPECT_EQ(p["x"], 502.0);
    EXPECT_NEAR(p["y"].get<double>(), 7.04, 1e-12);
    EXPECT_EQ(p["section"], 0);
    EXPECT_EQ(p["point"], 0);
    EXPECT_EQ(r.out["series"][2]["useLines"], 1);
    EXPECT_EQ(r.out["lines"], json::parse(R"([{"upper": 1000.0, "a": 0.5, "b": 0.25}])"));
}

TEST(SrvtoolLines, CaptionAndRowTexts) {
    json doc = rvDocument(json::object());
    doc["lines"] = {{{"a", 0.01}, {"b", 0.5}, {"upper", 100}}, {{"a", 0.02}, {"b", -4.5}, {"upper", 200}}};
    const ToolRun r = run(doc, {"lines"});
    ASSERT_EQ(r.result.exitCode, 0) << r.result.err;
    EXPECT_EQ(r.out, json::parse(R"({"caption": "Код", "rows": [["0.0100000", "0.5000000", "100.000000"],
                                                                 ["0.0200000", "-4.5000000", ""]]})"));
}

}  // namespace
