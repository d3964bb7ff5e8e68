// srvtool's document file commands, run as the built program.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sys/wait.h>

#include <cstdio>

#include "FileBytes.h"

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

ToolRun srvtool(const TempDir& dir, const std::string& args) {
    const std::string errFile = dir.file("stderr.txt");
    const std::string command = std::string(SRVTOOL_PATH) + " " + args + " 2>" + errFile;
    ToolRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = readFile(errFile);
    return run;
}

nlohmann::json withoutConsole(const std::string& text) {
    nlohmann::json json = nlohmann::json::parse(text);
    json.erase("console");
    return json;
}

// A Kelt document (code 25) with two lines and a calibration package.
const char kDocument[] = R"({
  "type": 25,
  "ident": {"serial": 12345678, "du": 3},
  "options": {"function": 0, "manual": 1, "byEntries": 0, "refTemp": 20.5,
              "maxAutoErr": 1.5, "sectionScatter": 4, "pulseWeight": 0.001},
  "lines": [{"a": 0.01, "b": 0.02, "upper": 100}, {"a": 0.011, "b": -0.05, "upper": 500}],
  "packages": [
    {"type": 0, "method": 1, "created": "2024-05-15T10:30:00.000",
     "entries": [{"t": 21.5, "massRef": 100.5, "timeRef": 60, "time1": 59.5, "pulses1": 3001,
                  "pulses2": 12, "section": 1, "point": 1, "off": 0},
                 {"t": 22, "massRef": 50, "timeRef": 30, "time1": 29, "pulses1": 1500,
                  "pulses2": 6, "section": 2, "point": 0, "off": 1}]}
  ]
})";

TEST(SrvtoolFilesTest, ConvertRoundTripsBetweenSrvAndJson) {
    TempDir dir;
    writeFile(dir.file("in.json"), kDocument);
    ASSERT_EQ(srvtool(dir, "convert " + dir.file("in.json") + " -o " + dir.file("a.srv")).status, 0);
    ASSERT_EQ(srvtool(dir, "convert " + dir.file("a.srv") + " -o " + dir.file("b.json")).status, 0);
    ASSERT_EQ(srvtool(dir, "convert " + dir.file("b.json") + " -o " + dir.file("c.srv")).status, 0);
    EXPECT_EQ(readFile(dir.file("a.srv")).substr(0, 8), std::string("3BPP\x05\0\0\0", 8));
    EXPECT_EQ(readFile(dir.file("c.srv")), readFile(dir.file("a.srv")));

    const ToolRun fromSrv = srvtool(dir, "dump " + dir.file("a.srv"));
    const ToolRun fromJson = srvtool(dir, "dump " + dir.file("b.json"));
    ASSERT_EQ(fromSrv.status, 0) << fromSrv.err;
    ASSERT_EQ(fromJson.status, 0) << fromJson.err;
    EXPECT_EQ(withoutConsole(fromSrv.out), withoutConsole(fromJson.out));
    const nlohmann::json doc = withoutConsole(fromSrv.out);
    EXPECT_EQ(doc["type"], 25);
    ASSERT_EQ(doc["packages"].size(), 1u);
    EXPECT_EQ(doc["packages"][0]["entries"][0]["massRef"], 100.5);
}

TEST(SrvtoolFilesTest, FailuresPrintTheSystemsMessageAndExitNonZero) {
    TempDir dir;
    writeFile(dir.file("bad.srv"), std::string("3BPP\x06\0\0\0", 8));
    ToolRun run = srvtool(dir, "dump " + dir.file("bad.srv"));
    EXPECT_NE(run.status, 0);
    EXPECT_TRUE(run.out.empty());
    EXPECT_NE(run.err.find("Неправильный формат файла"), std::string::npos) << run.err;

    run = srvtool(dir, "convert " + dir.file("missing.srv") + " -o " + dir.file("out.json"));
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find("No such file or directory"), std::string::npos) << run.err;

    writeFile(dir.file("in.json"), kDocument);
    run = srvtool(dir, "convert " + dir.file("in.json") + " -o " + dir.file("no/such/folder/out.srv"));
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find("No such file or directory"), std::string::npos) << run.err;
}

TEST(SrvtoolFilesTest, ReportExportAndImport) {
    TempDir dir;
    writeFile(dir.file("in.json"), kDocument);
    ASSERT_EQ(srvtool(dir, "convert " + dir.file("in.json") + " -o " + dir.file("doc.srv")).status, 0);

    ToolRun run = srvtool(dir, "report " + dir.file("doc.srv") + " --package 0 -o " + dir.file("r.html"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readFile(dir.file("r.html")).substr(0, 12), "<html><head>");

    // Kelt calibration by mass: t is column 3, massRef 4, timeRef 6.
    run = srvtool(dir, "export " + dir.file("doc.srv") +
                           " --package 0 --columns 3,skip,4,6 --separator '\\t' --decimal , -o " + dir.file("out.txt"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readFile(dir.file("out.txt")), "21,50\t0\t100,500\t60,000\r\n22,00\t0\t50,000\t30,000\r\n");

    writeFile(dir.file("in.txt"), "23.5;70;40\n24;bad;1\n");
    run = srvtool(dir, "import " + dir.file("doc.srv") + " --package 0 --columns 3,4,6 --separator ';' " +
                           dir.file("in.txt") + " -o " + dir.file("more.json"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(nlohmann::json::parse(run.out)["imported"], 1);
    const nlohmann::json more = nlohmann::json::parse(readFile(dir.file("more.json")));
    ASSERT_EQ(more["packages"][0]["entries"].size(), 3u);
    EXPECT_EQ(more["packages"][0]["entries"][2]["massRef"], 70.0);

    // A computed column is not offered for import.
    run = srvtool(dir, "import " + dir.file("doc.srv") + " --package 0 --columns 5 " + dir.file("in.txt") + " -o " +
                           dir.file("x.srv"));
    EXPECT_NE(run.status, 0);
}

}  // namespace
