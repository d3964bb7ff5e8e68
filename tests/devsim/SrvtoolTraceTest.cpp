// srvtool --trace against devsim: the frames of a device command as JSON
// lines on stderr, with the stdout JSON what it is without the flag, and
// each family's silent, broken and refusing device named as such.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "support/Devsim.h"
#include "support/RunTool.h"

namespace {

using nlohmann::json;

ToolResult srvtool(const std::vector<std::string>& args) { return runTool(SRVTOOL_PATH, args); }

struct Trace {
    std::vector<nlohmann::ordered_json> frames;
    std::vector<std::string> other;  // lines that are not frames (a failure's message)
};

// Splits stderr into its frame lines (each must be a JSON object with
// exactly the trace's keys) and the rest.
Trace traceOf(const std::string& err) {
    Trace t;
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line.front() != '{') {
            t.other.push_back(line);
            continue;
        }
        const auto j = nlohmann::ordered_json::parse(line);
        std::vector<std::string> keys;
        for (const auto& item : j.items()) keys.push_back(item.key());
        EXPECT_EQ(keys, (std::vector<std::string>{"t_us", "dir", "hex", "name", "check", "outcome"})) << line;
        t.frames.push_back(j);
    }
    return t;
}

TEST(SrvtoolTrace, RvReadGivesItsFramesOnStderrAndTheSameJsonOnStdout) {
    testsupport::Devsim sim{DEVSIM_PATH, {"--only", "rv"}};
    const std::string port = sim.path("rv");
    const ToolResult plain = srvtool({"rv", "--port", port, "read", "address"});
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_EQ(plain.err, "");
    // The flag before and after the subcommand.
    for (const auto& args : {std::vector<std::string>{"rv", "--port", port, "--trace", "read", "address"},
                             std::vector<std::string>{"rv", "--port", port, "read", "address", "--trace"}}) {
        const ToolResult traced = srvtool(args);
        ASSERT_EQ(traced.exitCode, 0) << traced.err;
        EXPECT_EQ(json::parse(traced.out), json::parse(plain.out));
        const Trace t = traceOf(traced.err);
        EXPECT_TRUE(t.other.empty());
        ASSERT_EQ(t.frames.size(), 2u);
        // Address 1, function 0x41, register 5, CRC: and the reply with address 1.
        EXPECT_EQ(t.frames[0]["dir"], "tx");
        EXPECT_EQ(t.frames[0]["hex"], "01 41 05 d0 53");
        EXPECT_EQ(t.frames[0]["check"], "none");
        EXPECT_EQ(t.frames[0]["outcome"], "");
        EXPECT_EQ(t.frames[1]["dir"], "rx");
        EXPECT_EQ(t.frames[1]["hex"], "01 41 05 01 93 5c");
        EXPECT_EQ(t.frames[1]["check"], "good");
        EXPECT_EQ(t.frames[1]["outcome"], "answered");
        for (const auto& f : t.frames) EXPECT_EQ(f["name"], "чтение сетевого адреса");
        EXPECT_GT(t.frames[1]["t_us"].get<long long>(), t.frames[0]["t_us"].get<long long>());
    }
}

struct FaultCase {
    const char* device;
    const char* fault;
    std::vector<std::string> command;  // after "DEVICE --port PATH"
    const char* check;                 // of the frame that ended the exchange
    const char* outcome;
};

void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.device << " fault " << c.fault; }

class SrvtoolTraceFault : public testing::TestWithParam<FaultCase> {};

TEST_P(SrvtoolTraceFault, TheLastFrameNamesWhatWentWrong) {
    const FaultCase& c = GetParam();
    testsupport::Devsim sim{DEVSIM_PATH, {"--only", c.device}};
    ASSERT_EQ(sim.control(std::string(c.device) + " fault " + c.fault), "ok");
    std::vector<std::string> args{c.device, "--port", sim.path(c.device), "--trace"};
    args.insert(args.end(), c.command.begin(), c.command.end());
    const ToolResult r = srvtool(args);
    EXPECT_NE(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    const Trace t = traceOf(r.err);
    ASSERT_FALSE(t.frames.empty()) << r.err;
    EXPECT_EQ(t.other.size(), 1u) << r.err;  // the failure's message, after the frames
    const auto& last = t.frames.back();
    EXPECT_EQ(last["dir"], "rx");
    EXPECT_EQ(last["check"], c.check);
    EXPECT_EQ(last["outcome"], c.outcome);
    if (std::string(c.outcome) == "silent") {
        EXPECT_EQ(last["hex"], "");
    }
}

const FaultCase kFaults[] = {
    {"rv", "silent", {"read", "address"}, "none", "silent"},
    {"rv", "short", {"read", "address"}, "short", "short"},
    {"rv", "badsum", {"read", "address"}, "bad", "bad check"},
    {"rv", "busy", {"read", "address"}, "good", "device error"},
    {"dorn", "silent", {"--du", "5", "read"}, "none", "silent"},
    {"dorn", "badsum", {"--du", "5", "write", "--A", "1", "--B", "0"}, "bad", "bad check"},
    {"kelt", "silent", {"--model", "4", "battery"}, "none", "silent"},
    {"kelt", "badsum", {"--model", "4", "battery"}, "bad", "bad check"},
    {"kelt", "busy", {"--model", "4", "battery"}, "good", "device error"},
    {"nivor", "silent", {"measure", "--mode", "time", "--time", "1"}, "none", "silent"},
    {"nivor", "badsum", {"measure", "--mode", "time", "--time", "1"}, "bad", "bad check"},
};

INSTANTIATE_TEST_SUITE_P(Devices, SrvtoolTraceFault, testing::ValuesIn(kFaults),
                         [](const testing::TestParamInfo<FaultCase>& info) {
                             return std::string(info.param.device) + "_" + info.param.fault;
                         });

}  // namespace
