// srvtool report --pdf: the PDF protocol read back with poppler's pdftotext
// and pdffonts.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support/RunTool.h"

namespace {

using nlohmann::json;

const std::string kExample = EXAMPLES_DIR "/kelt-calibration.json";

std::string run(const std::string& program, const std::vector<std::string>& args) {
    const ToolResult r = runTool(program, args);
    EXPECT_EQ(r.exitCode, 0) << program << ": " << r.err;
    return r.out;
}

class SrvtoolPdf : public ::testing::Test {
protected:
    void SetUp() override {
        // The limits stored for the model must not reach the test.
        ::setenv("RVSERVICE_SETTINGS", settings.path().c_str(), 1);
    }
    void TearDown() override { ::unsetenv("RVSERVICE_SETTINGS"); }
    TempFile settings{"settings.json"};
};

TEST_F(SrvtoolPdf, TheVerificationProtocolIsRealText) {
    TempFile limits("limits.json", R"({"class": 2, "qp": 10})");
    TempFile out("protocol.pdf");
    const json printed = json::parse(run(SRVTOOL_PATH, {"report", kExample, "--package", "1", "--pdf", out.path(),
                                                        "--limits", limits.path()}));
    EXPECT_EQ(printed["output"], out.path());

    const std::string text = run("pdftotext", {out.path(), "-"});
    for (const char* expected : {"Протокол поверки преобразователя расхода", "Заводской номер: 012345678",
                                 // every entry's flow error and dV, as the table shows them
                                 "0.00", "0.05", "-90.00", "-89.97",
                                 "Пределы погрешности: класс 2, qp = 10 м", "2.040", "2.010", "не годен",
                                 "Заключение: Не годен: 2 точек вне пределов", "Относительная погрешность расхода (%)"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected;

    // Every font is embedded: the "emb" column of pdffonts says yes.
    const std::string fonts = run("pdffonts", {out.path()});
    std::istringstream lines(fonts);
    std::string line;
    int listed = 0;
    for (int i = 0; std::getline(lines, line); ++i) {
        if (i < 2 || line.empty()) continue;
        ++listed;
        EXPECT_NE(line.find(" yes "), std::string::npos) << line;
    }
    EXPECT_GT(listed, 0);
}

TEST_F(SrvtoolPdf, CalibrationWithoutVerdictAndBothFilesAtOnce) {
    TempFile pdf("protocol.pdf");
    TempFile html("report.html");
    const json printed =
        json::parse(run(SRVTOOL_PATH, {"report", kExample, "--package", "0", "--pdf", pdf.path(), "-o", html.path()}));
    EXPECT_EQ(printed["pdf"], pdf.path());
    EXPECT_EQ(printed["output"], html.path());
    const std::string text = run("pdftotext", {pdf.path(), "-"});
    EXPECT_NE(text.find("Протокол градуировки преобразователя расхода"), std::string::npos);
    EXPECT_EQ(text.find("Заключение"), std::string::npos);
    EXPECT_NE(text.find("3615"), std::string::npos);  // N1 of the first entry
    EXPECT_TRUE(std::ifstream(html.path()).good());
}

TEST_F(SrvtoolPdf, NoLimitsSaySoAndAnUnwritablePathFails) {
    TempFile out("protocol.pdf");
    run(SRVTOOL_PATH, {"report", kExample, "--package", "1", "--pdf", out.path()});
    const std::string text = run("pdftotext", {out.path(), "-"});
    EXPECT_NE(text.find("Заключение: пределы не заданы"), std::string::npos);

    const ToolResult r = runTool(SRVTOOL_PATH, {"report", kExample, "--package", "1", "--pdf", "/nonexistent/p.pdf"});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err, "");
}

}  // namespace
