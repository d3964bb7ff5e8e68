// The factory blocks of the simulated Kelt transducer, read through srvtool
// without writing first. devsim holds them as literal bytes; the values
// expected here are worked out by hand from those bytes, so a fault that the
// block encoder and decoder share (and that a write-then-read test cannot
// see) shows here.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "support/Devsim.h"
#include "support/RunTool.h"

namespace {

using nlohmann::json;
using testsupport::Devsim;

struct FactoryRow {
    const char* name;
    int model;
    json fields;       // the page fields the read must show
    double tolerance;  // for the A and B fields
};

// Blocks 1 … 4 (diameter 50, Du 5, K = 10000 × 65536 / 36000 = 18204.44):
// A codes 6554 = 3 × 2184.53 (block 1, 2 segment 1, divider 3), 15292 = 7 ×
// 2184.53 (divider 7), 13107 = 6 × 2184.53 (block 2 of model 4, divider 6),
// 2185 (blocks 3, 4): each A reads back as 0.12 to half a code step, 0.5 /
// 18204.44 = 0.0000275. A+B codes equal the A codes: B = 0. Period codes 1:
// F = 65536 / (1 + 1) for blocks 1, 2, 32768 / 1 for block 3, 8192 / 1 for
// block 4. Output code 1: the first output type and the first weight.
const json kEarly = {{"edA1", 0.12}, {"edA2", 0.12}, {"edA3", 0.12}, {"edA4", 0.12}, {"edB1", 0.0},
                     {"edB2", 0.0},  {"edB3", 0.0},  {"edB4", 0.0},  {"cbDu", 4},     {"cbOutType", 0},
                     {"cbWeight", 0}};

json with(json base, const json& more) {
    base.update(more);
    return base;
}

const double kCodeStep = 0.5 / (10000.0 * 65536 / 36000);

const FactoryRow kRows[] = {
    // Block 1: 33 ticks × 0.0305 ms; n = byte 0 = 1.
    {"block 1, model 0", 0,
     with(kEarly, {{"edF12", 32768.0}, {"edF23", 32768.0}, {"edF34", 32768.0}, {"edTauOut", 33 * 0.0305}, {"edN", 1}}),
     kCodeStep},
    // Block 2; the correction comes from sub-command 19: 0 + 7 stored, 0 shown.
    {"block 2, model 3", 3,
     with(kEarly, {{"edA5", 0.12}, {"edB5", 0.0}, {"edF12", 32768.0}, {"edF45", 32768.0}, {"edTauOut", 33 * 0.0305},
                   {"edN", 1}, {"edOffset", 0}}),
     kCodeStep},
    {"block 2, model 4 (segment 1 divided by 6)", 4,
     with(kEarly, {{"edA5", 0.12}, {"edF12", 32768.0}, {"edN", 1}, {"edOffset", 0}}), kCodeStep},
    // Block 3: Du in bits 4-7 of byte 33 (0x51: 5), correction 7 - 7 = 0.
    {"block 3, model 7", 7,
     with(kEarly, {{"edA5", 0.12}, {"edF12", 32768.0}, {"edF45", 32768.0}, {"edTauOut", 33 * 0.0305}, {"edOffset", 0}}),
     kCodeStep},
    // Model 11: Du from byte 35 (0x85 AND 15 = 5); the same bits read as a
    // correction give 5 - 7 = -2.
    {"block 3, model 11", 11, with(kEarly, {{"edA5", 0.12}, {"edF34", 32768.0}, {"edOffset", -2}}), kCodeStep},
    // Block 4: k = 1 reads as 2 ms, which the page of model 12 stores as
    // 1.9 ms (k = round(2 / 1.9) = 1); factory number 0 in eight digits.
    {"block 4, model 12", 12,
     with(kEarly, {{"edA5", 0.12}, {"edF12", 8192.0}, {"edF45", 8192.0}, {"edTauOut", 1.9}, {"edOffset", 0},
                   {"edDevNum", "00000000"}}),
     kCodeStep},
    // Model 13: byte 33 = 0x49, bit 3 set: still Du 5 and output code 1.
    {"block 4, model 13", 13, with(kEarly, {{"edF23", 8192.0}, {"edOffset", 0}}), kCodeStep},
    // Block 5 (K5 = 100000 × 65536 / 36000 = 182044.44): A = T / K5 with T
    // 4096, 4096, 2048, 6144, 1024; B = multiplier × (U - T) / K5 with
    // 1 × 1024, 2 × 1024, 16 × 256, 1 × -512, 3 × 0; F = 16384 / P with P
    // 1024, 256, 64, 16; correction (4 - 3) degrees = 2 half degrees; display
    // "V/T"; the second diameter.
    {"block 5, model 18", 18,
     {{"edA1", 0.0225}, {"edA2", 0.0225}, {"edA3", 0.01125}, {"edA4", 0.03375}, {"edA5", 0.005625},
      {"edB1", 0.005625}, {"edB2", 0.01125}, {"edB3", 0.0225}, {"edB4", -0.0028125}, {"edB5", 0.0},
      {"edF12", 16.0}, {"edF23", 64.0}, {"edF34", 256.0}, {"edF45", 1024.0},
      {"edOffset", 2}, {"cbOutType", 1}, {"cbDu", 1}},
     1e-9},
};

TEST(KeltFactoryBlocks, ReadWithoutWritingShowsTheFactoryValues) {
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.name);
        Devsim sim(DEVSIM_PATH, {"--only", "kelt", "--kelt", "model=" + std::to_string(row.model)});
        const ToolResult read = runTool(
            SRVTOOL_PATH, {"kelt", "--port", sim.path("kelt"), "--model", std::to_string(row.model), "read"});
        ASSERT_EQ(read.exitCode, 0) << read.err;
        const json r = json::parse(read.out);
        for (const auto& [key, expected] : row.fields.items()) {
            ASSERT_TRUE(r.contains(key)) << key;
            if (expected.is_number_float() && key.rfind("edA", 0) == 0)
                EXPECT_NEAR(r[key].get<double>(), expected.get<double>(), row.tolerance) << key;
            else if (expected.is_number_float() && key.rfind("edB", 0) == 0)
                EXPECT_NEAR(r[key].get<double>(), expected.get<double>(), 1e-9) << key;
            else if (expected.is_number_float())
                EXPECT_NEAR(r[key].get<double>(), expected.get<double>(), 1e-6) << key;
            else
                EXPECT_EQ(r[key], expected) << key;
        }
    }
}

}  // namespace
