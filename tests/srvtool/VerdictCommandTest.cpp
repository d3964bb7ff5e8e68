// srvtool verdict: the verification packages judged against the limits of a
// file or of the settings store, run as a program.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "document/Limits.h"
#include "link/RegKey.h"
#include "support/RunTool.h"

namespace {

using nlohmann::json;

const std::string kExample = EXAMPLES_DIR "/kelt-calibration.json";

// Each test has a settings file of its own, shared with the program it runs.
class SrvtoolVerdict : public ::testing::Test {
protected:
    void SetUp() override {
        m_settings = std::filesystem::path(::testing::TempDir()) / ("verdict-" + std::to_string(::getpid()) + ".json");
        std::filesystem::remove(m_settings);
        RegKey::SetFileLocation(m_settings.string());
        ::setenv("RVSERVICE_SETTINGS", m_settings.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("RVSERVICE_SETTINGS");
        RegKey::SetFileLocation({});
        std::filesystem::remove(m_settings);
    }

    static json run(const std::vector<std::string>& args) {
        const ToolResult r = runTool(SRVTOOL_PATH, args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        return r.exitCode == 0 ? json::parse(r.out) : json();
    }

    std::filesystem::path m_settings;
};

TEST_F(SrvtoolVerdict, JudgesTheRecalculatedErrors) {
    TempFile limits("limits.json", R"({"class": 2, "qp": 10})");
    const json out = run({"verdict", kExample, "--limits", limits.path()});
    ASSERT_EQ(out.size(), 1u);  // the calibration package has no verdict
    const json& verdict = out[0];
    EXPECT_EQ(verdict["package"], 1);
    EXPECT_EQ(verdict["limits"], json::parse(R"({"class": 2, "qp": 10})"));

    // The values judged are the ones the package's tab shows: those of the
    // device's lines and pulse weight, as saving takes them.
    TempFile saved("saved.json");
    run({"convert", kExample, "-o", saved.path()});
    const json doc = json::parse(std::ifstream(saved.path()));
    const json& entries = doc["packages"][1]["entries"];
    ASSERT_EQ(verdict["entries"].size(), entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const json& e = verdict["entries"][i];
        const double q = entries[i]["flowRef"].get<double>();
        EXPECT_DOUBLE_EQ(e["q"].get<double>(), q);
        EXPECT_DOUBLE_EQ(e["error"].get<double>(), entries[i]["flowErr"].get<double>());
        EXPECT_DOUBLE_EQ(e["dV"].get<double>(), entries[i]["volErr"].get<double>());
        EXPECT_NEAR(e["limit"].get<double>(), std::min(2 + 0.02 * 10 / q, 5.0), 1e-12);
        // The flow errors are small; the pulse output is far out (the
        // example's device holds a tenth of the document's pulse weight).
        EXPECT_LT(std::abs(e["error"].get<double>()), 1.0);
        EXPECT_EQ(e["pass"], false);
    }
    EXPECT_EQ(verdict["pass"], false);
    EXPECT_EQ(verdict["failed"], json::array({0, 1}));

    TempFile wide("wide.json", R"({"zones": [{"from": 0, "limit": 91}, {"from": 10, "limit": 95}]})");
    const json passing = run({"verdict", kExample, "--package", "1", "--limits", wide.path()});
    EXPECT_EQ(passing[0]["pass"], true);
    EXPECT_EQ(passing[0]["failed"], json::array());
    EXPECT_EQ(passing[0]["entries"][0]["limit"], 91.0);  // q = 5
    EXPECT_EQ(passing[0]["entries"][1]["limit"], 95.0);  // q = 20
}

TEST_F(SrvtoolVerdict, StoredLimitsAndNone) {
    const json unset = run({"verdict", kExample});
    EXPECT_EQ(unset[0]["pass"], nullptr);
    EXPECT_EQ(unset[0]["limits"], nullptr);
    EXPECT_EQ(unset[0]["failed"], json::array());
    for (const json& e : unset[0]["entries"]) {
        EXPECT_EQ(e["pass"], nullptr);
        EXPECT_EQ(e["limit"], nullptr);
    }

    SaveLimits(28, Limits::ofZones({{0, 95}}));
    SaveLimits(29, Limits::ofClass(1, 1));  // another model's: not used
    const json stored = run({"verdict", kExample});
    EXPECT_EQ(stored[0]["pass"], true);
    EXPECT_EQ(stored[0]["limits"], json::parse(R"({"zones": [{"from": 0, "limit": 95}]})"));

    // A file overrides the stored limits.
    TempFile strict("strict.json", R"({"class": 1, "qp": 10})");
    EXPECT_EQ(run({"verdict", kExample, "--limits", strict.path()})[0]["pass"], false);
}

TEST_F(SrvtoolVerdict, EmptyPackagesAndHiddenPulseOutput) {
    // Dorn model 0 (code 1) has no pulse output: dV is neither shown nor judged.
    TempFile doc("doc.json", json{{"type", 1},
                                  {"lines", {{{"a", 0.1}, {"b", 0}, {"upper", 1000}}}},
                                  {"packages",
                                   {{{"type", 1},
                                     {"method", 0},
                                     {"entries", {{{"t", 20}, {"volRef", 10}, {"timeRef", 36}, {"time1", 36},
                                                   {"pulses1", 361}, {"pulses2", 7}}}}},
                                    {{"type", 1}, {"method", 0}, {"entries", json::array()}}}}}
                                 .dump());
    TempFile limits("limits.json", R"({"class": 3, "qp": 1})");
    const json out = run({"verdict", doc.path(), "--limits", limits.path()});
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0]["entries"][0]["dV"], nullptr);
    EXPECT_EQ(out[0]["entries"][0]["pass"], true);
    EXPECT_EQ(out[0]["pass"], true);
    EXPECT_EQ(out[1]["package"], 1);
    EXPECT_EQ(out[1]["pass"], nullptr);  // no entries: no verdict
    EXPECT_EQ(out[1]["entries"], json::array());
}

TEST_F(SrvtoolVerdict, RefusesBadInput) {
    struct Bad {
        const char* reason;
        std::string limits;  // file content; empty: no --limits
        std::vector<std::string> extra;
        const char* message;
    };
    const Bad bad[] = {
        {"no form", R"({"qq": 1})", {}, "Пределы погрешности: не задана форма (\"class\" и \"qp\" или \"zones\")"},
        {"qp not above 0", R"({"class": 1, "qp": 0})", {}, "Постоянный расход qp должен быть больше 0"},
        {"bounds not increasing", R"({"zones": [{"from": 1, "limit": 2}, {"from": 0.5, "limit": 3}]})", {},
         "Зона 2: границы зон должны возрастать"},
        {"limit not above 0", R"({"zones": [{"from": 0, "limit": -1}]})", {},
         "Зона 1: предел погрешности должен быть больше 0"},
        {"a calibration package", "", {"--package", "0"}, "package 0 is a calibration package: it has no verdict"},
        {"no such package", "", {"--package", "5"}, "the document has no package 5 (packages are counted from 0)"},
    };
    SaveLimits(28, Limits::ofClass(2, 10));
    for (const Bad& b : bad) {
        TempFile limits("limits.json", b.limits);
        std::vector<std::string> args = {"verdict", kExample};
        if (!b.limits.empty()) args.insert(args.end(), {"--limits", limits.path()});
        args.insert(args.end(), b.extra.begin(), b.extra.end());
        const ToolResult r = runTool(SRVTOOL_PATH, args);
        EXPECT_NE(r.exitCode, 0) << b.reason;
        EXPECT_EQ(r.out, "") << b.reason;
        std::string expected = b.message;
        if (!b.limits.empty()) expected = limits.path() + ": " + expected;
        EXPECT_EQ(r.err, expected + "\n") << b.reason;
    }
    const ToolResult missing = runTool(SRVTOOL_PATH, {"verdict", kExample, "--limits", "/nonexistent/limits.json"});
    EXPECT_NE(missing.exitCode, 0);
    EXPECT_EQ(missing.err, "/nonexistent/limits.json: файл пределов не открыт\n");
    // Nothing refused reached the store.
    EXPECT_EQ(LoadLimits(28), Limits::ofClass(2, 10));
}

}  // namespace
