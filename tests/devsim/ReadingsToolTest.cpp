// srvtool rv observe against devsim's RV meter and srvtool readings analyze
// on the files it writes and on hand-made ones.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <nlohmann/json.hpp>

#include "support/Devsim.h"
#include "support/RunTool.h"

namespace {

using nlohmann::json;

ToolResult srvtool(const std::vector<std::string>& args) { return runTool(SRVTOOL_PATH, args); }

json parsed(const ToolResult& r) {
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.exitCode == 0 ? json::parse(r.out) : json::object();
}

void expectFailure(const ToolResult& r, const std::string& message) {
    EXPECT_NE(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
}

std::vector<std::string> linesOf(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Five readings a second of devsim's codes (12000 ± 40), saved under a bare
// name with ".csv" added, then analysed as "Анализ" would with the whole
// run in view.
TEST(RvObserve, PollsFiveReadingsASecondAndSavesThemAsTheTabDoes) {
    testsupport::Devsim sim{DEVSIM_PATH, {"--only", "rv"}};
    TempFile dir("readings");
    const json out = parsed(srvtool({"rv", "observe", "--port", sim.path("rv"), "--seconds", "4", "-o", dir.path()}));
    const std::string file = dir.path() + ".csv";
    EXPECT_EQ(out["file"], file);
    const long samples = out["samples"].get<long>();
    // The opening chain of seven reads comes first; then one reading per 200 ms.
    EXPECT_GE(samples, 12);
    EXPECT_LE(samples, 21);
    EXPECT_EQ(out["console"].back(), "Файл показаний " + file + " сохранен");

    const auto lines = linesOf(file);
    ASSERT_EQ(static_cast<long>(lines.size()), samples);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        std::istringstream fields(lines[i]);
        std::string index, code, filtered;
        std::getline(fields, index, ';');
        std::getline(fields, code, ';');
        std::getline(fields, filtered, ';');
        EXPECT_EQ(index, std::to_string(i));
        EXPECT_NEAR(std::stod(code), 12000, 40.5);
        EXPECT_NEAR(std::stod(filtered), 12000, 40.5);
    }

    const json a = parsed(srvtool({"readings", "analyze", file}));
    EXPECT_EQ(a["start"], 0);
    EXPECT_EQ(a["end"], samples - 1);
    EXPECT_NEAR(a["mean"].get<double>(), 12000, 40);
    EXPECT_GT(a["noise"].get<double>(), 0);
    EXPECT_LT(a["noise"].get<double>(), 81);
    EXPECT_NEAR(a["ratio"].get<double>(), a["noise"].get<double>() * 100 / a["mean"].get<double>(), 1e-4);
    std::filesystem::remove(file);
}

TEST(RvObserve, AClosedPortFailsAndWritesNothing) {
    TempFile file("readings.csv");
    expectFailure(srvtool({"rv", "--port", "/nonexistent/port", "observe", "--seconds", "1", "-o", file.path()}),
                  "COM-порт не открыт");
    EXPECT_FALSE(std::filesystem::exists(file.path()));
}

TEST(ReadingsAnalyze, FiguresOfTheRangeAndNothingToReport) {
    TempFile file("readings.csv", "0;10;10\n1;12;11\n2;10;10.5\n3;12;11\n");
    const json all = parsed(srvtool({"readings", "analyze", file.path()}));
    EXPECT_EQ(all, json::parse(R"({"start": 0, "end": 3, "mean": 10.666666666666666, "noise": 2.0, "ratio": 18.75})"));
    const json part = parsed(srvtool({"readings", "analyze", file.path(), "--from", "0.5", "--to", "2.9"}));
    EXPECT_EQ(part["start"], 0);
    EXPECT_EQ(part["end"], 2);
    EXPECT_DOUBLE_EQ(part["mean"].get<double>(), 11.0);
    const json none = parsed(srvtool({"readings", "analyze", file.path(), "--from", "2", "--to", "2"}));
    EXPECT_EQ(none, json::parse(R"({"start": null, "end": null, "mean": null, "noise": null, "ratio": null})"));
}

// As the tab's "Загрузить": the samples before a bad line are analysed, and
// stderr names the line that stopped the reading.
TEST(ReadingsAnalyze, ADamagedFileIsAnalysedUpToItsBadLine) {
    TempFile bad("bad.csv", "0;10;10\n1;12;11\n2;10;10\n3;x;1\n4;12;12\n");
    const ToolResult r = srvtool({"readings", "analyze", bad.path()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, bad.path() + ": строка 4: 'x' is not a valid floating point value\n");
    const json a = json::parse(r.out);
    EXPECT_EQ(a["start"], 0);
    EXPECT_EQ(a["end"], 2);
    EXPECT_DOUBLE_EQ(a["mean"].get<double>(), 11.0);
}

TEST(ReadingsAnalyze, AFileThatCannotBeReadFails) {
    expectFailure(srvtool({"readings", "analyze", "/nonexistent/readings.csv"}), "No such file or directory");
}

}  // namespace
