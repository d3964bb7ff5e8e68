// srvtool new and recalc, run as a program on JSON documents.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/RunTool.h"

namespace {

using nlohmann::json;

json recalc(const json& doc) {
    TempFile file("doc.json", doc.dump());
    const ToolResult r = runTool(SRVTOOL_PATH, {"recalc", file.path()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    return json::parse(r.out);
}

const json& entry(const json& doc, int package, int row) { return doc["packages"][package]["entries"][row]; }

TEST(SrvtoolRecalc, RvReferenceQuantitiesAndLineChoice) {
    const json doc = {
        {"type", 0},
        {"lines", {{{"a", 0.01}, {"b", 0.5}, {"upper", 500}}, {{"a", 0.02}, {"b", -4.5}, {"upper", 900}}}},
        {"packages",
         {{{"type", 0},
           {"method", 0},
           {"created", "2026-12-01T10:15:00.000"},
           {"entries",
            {{{"t", 20}, {"volRef", 10}, {"timeRef", 36}, {"code", 500}},
             {{"t", 25}, {"volRef", 10}, {"timeRef", 36}, {"code", 500.0001}},
             {{"t", 20}, {"volRef", 10}, {"timeRef", 36}, {"code", 2000}, {"flowMeas", 99}},
             {{"t", 20}, {"volRef", 10}, {"timeRef", 0}, {"code", 100}}}}},
          {{"type", 1}, {"method", 2}, {"entries", {{{"t", 20}, {"flowRef", 3.6}, {"timeRef", 100}}}}},
          {{"type", 1}, {"method", 1}, {"entries", {{{"t", 20}, {"massRef", 99.828335329}, {"timeRef", 360}}}}}}}};
    const json out = recalc(doc);
    EXPECT_NEAR(entry(out, 0, 0)["massRef"].get<double>(), 9.9828335329, 1e-9);  // ρ(20)
    EXPECT_NEAR(entry(out, 0, 1)["massRef"].get<double>(), 9.9699487526, 1e-9);  // ρ(25)
    EXPECT_DOUBLE_EQ(entry(out, 0, 0)["flowRef"].get<double>(), 1.0);
    EXPECT_EQ(entry(out, 0, 0)["line"], 1);
    EXPECT_NEAR(entry(out, 0, 0)["flowMeas"].get<double>(), 5.5, 1e-12);
    EXPECT_NEAR(entry(out, 0, 0)["flowErr"].get<double>(), 450.0, 1e-9);
    EXPECT_EQ(entry(out, 0, 1)["line"], 2);
    EXPECT_EQ(entry(out, 0, 2)["line"], 2);  // the last line has no upper limit
    EXPECT_NEAR(entry(out, 0, 2)["flowMeas"].get<double>(), 35.5, 1e-12);  // derived input ignored
    EXPECT_EQ(entry(out, 0, 3)["flowRef"], 0.0);  // no reference time
    EXPECT_EQ(entry(out, 0, 3)["flowErr"], 100.0);
    EXPECT_NEAR(entry(out, 1, 0)["volRef"].get<double>(), 100.0, 1e-12);
    EXPECT_NEAR(entry(out, 2, 0)["volRef"].get<double>(), 100.0, 1e-9);
    EXPECT_NEAR(entry(out, 2, 0)["flowRef"].get<double>(), 1.0, 1e-9);
    EXPECT_EQ(out["device"]["type"], 0);
    EXPECT_EQ(out["packages"][0]["name"].get<std::string>().rfind("Градуировочный ", 0), 0u);
    EXPECT_EQ(out["packages"][1]["name"].get<std::string>().rfind("Поверочный ", 0), 0u);
}

TEST(SrvtoolRecalc, KeltFrequencyReductionAndNoLines) {
    const json doc = {
        {"type", 21},
        {"options", {{"refTemp", 20.0}}},
        {"packages",
         {{{"type", 0},
           {"method", 0},
           {"entries",
            {{{"t", 20}, {"volRef", 10}, {"timeRef", 36}, {"time1", 10}, {"pulses1", 101}},
             {{"t", 30}, {"volRef", 10}, {"timeRef", 36}, {"time1", 10}, {"pulses1", 101}},
             {{"t", 20}, {"volRef", 10}, {"timeRef", 36}, {"time1", 10}, {"pulses1", 1}}}}}}}};
    const json out = recalc(doc);
    EXPECT_DOUBLE_EQ(entry(out, 0, 0)["freq"].get<double>(), 10.0);
    EXPECT_DOUBLE_EQ(entry(out, 0, 0)["freqRed"].get<double>(), 10.0);
    EXPECT_DOUBLE_EQ(entry(out, 0, 0)["flowRefRed"].get<double>(), 1.0);
    EXPECT_NEAR(entry(out, 0, 1)["freqRed"].get<double>(), 12.5395797, 1e-6);
    EXPECT_EQ(entry(out, 0, 2)["freq"], 0.0);
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(entry(out, 0, row)["line"], 0);
        EXPECT_EQ(entry(out, 0, row)["flowMeas"], 0.0);
        EXPECT_EQ(entry(out, 0, row)["flowErr"], 100.0);
    }
}

TEST(SrvtoolRecalc, DornPulseOutputAndTheFirstLine) {
    const json doc = {
        {"type", 2},
        {"options", {{"pulseWeight", 0.001}}},
        {"lines", {{{"a", 0.1}, {"b", 0.2}, {"upper", 0}}}},
        {"packages",
         {{{"type", 1},
           {"method", 0},
           {"entries",
            {{{"t", 20}, {"volRef", 100}, {"timeRef", 360}, {"time1", 10}, {"pulses1", 101}, {"pulses2", 101}},
             {{"t", 20}, {"volRef", 100}, {"timeRef", 360}, {"pulses2", 0}},
             {{"t", 20}, {"volRef", 0}, {"timeRef", 360}, {"pulses2", 5}}}}}}}};
    const json out = recalc(doc);
    EXPECT_NEAR(entry(out, 0, 0)["flowMeas"].get<double>(), 1.2, 1e-12);
    EXPECT_NEAR(entry(out, 0, 0)["flowErr"].get<double>(), 20.0, 1e-9);
    EXPECT_DOUBLE_EQ(entry(out, 0, 0)["volMeas"].get<double>(), 101.0);
    EXPECT_NEAR(entry(out, 0, 0)["volErr"].get<double>(), 1.0, 1e-12);
    EXPECT_EQ(entry(out, 0, 1)["volErr"], -100.0);
    EXPECT_EQ(entry(out, 0, 2)["volErr"], 100.0);
    EXPECT_FALSE(entry(out, 0, 0).contains("line"));  // a Dorn entry has no line number
    EXPECT_EQ(out["device"]["hiddenColumns"], json::array({0, 0}));
}

TEST(SrvtoolRecalc, ReportsTheDeviceModelsConsoleLinesOfTheOpen) {
    const json doc = {{"type", 1}, {"lines", {{{"a", 40}, {"b", 600}, {"upper", 0}}, {{"a", 1}, {"b", 1}, {"upper", 0}}}}};
    const json out = recalc(doc);
    EXPECT_EQ(out["console"], json::array({"Коэффициент A не принадлежит допустимому диапазону",
                                           "Коэффициент B не принадлежит допустимому диапазону",
                                           "Слишком много прямых аппроксимации"}));
    EXPECT_EQ(out["device"]["hiddenColumns"], json::array({0, 3}));
}

TEST(SrvtoolRecalc, TheExampleDocumentOpens) {
    const ToolResult r = runTool(SRVTOOL_PATH, {"recalc", EXAMPLES_DIR "/kelt-calibration.json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const json out = json::parse(r.out);
    EXPECT_EQ(out["type"], 28);
    EXPECT_EQ(out["packages"].size(), 2u);
}

TEST(SrvtoolNew, ResetsOptionsAndHasNoPackages) {
    const ToolResult r = runTool(SRVTOOL_PATH, {"new", "--type", "0"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const json out = json::parse(r.out);
    EXPECT_EQ(out["type"], 0);
    EXPECT_EQ(out["packages"], json::array());
    EXPECT_EQ(out["options"]["manual"], 1);
    EXPECT_EQ(out["options"]["refTemp"], 20.0);
    EXPECT_EQ(out["device"]["settings"].get<std::string>().size(), 142u * 2);
}

TEST(Srvtool, BadInputGivesOneLineOnStderrAndNothingOnStdout) {
    struct Bad {
        const char* reason;
        std::string text;
    };
    const Bad bad[] = {
        {"malformed JSON", "{\"type\": 0,"},
        {"unknown type code", R"({"type": 37})"},
        {"type as text", R"({"type": "0"})"},
        {"entry value as text", R"({"type": 0, "packages": [{"entries": [{"t": "20"}]}]})"},
        {"pulses not an integer", R"({"type": 0, "packages": [{"entries": [{"pulses2": 1.5}]}]})"},
        {"method out of range", R"({"type": 0, "packages": [{"method": 3}]})"},
        {"odd hex settings", R"({"type": 0, "settings": "abc"})"},
        {"time not in its form", R"({"type": 0, "packages": [{"created": "2026-12-01 00:00:00.000"}]})"},
    };
    for (const auto& b : bad) {
        TempFile file("doc.json", b.text);
        const ToolResult r = runTool(SRVTOOL_PATH, {"recalc", file.path()});
        EXPECT_NE(r.exitCode, 0) << b.reason;
        EXPECT_EQ(r.out, "") << b.reason;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << b.reason << ": " << r.err;
    }
    const ToolResult unknown = runTool(SRVTOOL_PATH, {"new", "--type", "37"});
    EXPECT_NE(unknown.exitCode, 0);
    EXPECT_EQ(unknown.out, "");
}

}  // namespace
