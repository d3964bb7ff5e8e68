// The Kelt transducer and its adapter as devsim plays them, driven through
// srvtool (the page's requests and result handling) and, where the page
// would pause for 12 seconds, through the worker in process.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cmath>

#include "common/MathError.h"
#include "comprt/ComPort.h"
#include "devices/kelt/KeltBlocks.h"
#include "devices/kelt/KeltPageController.h"
#include "support/Devsim.h"
#include "support/RunTool.h"

namespace {

using nlohmann::json;
using testsupport::Devsim;

ToolResult kelt(const Devsim& sim, int model, std::vector<std::string> args) {
    std::vector<std::string> all{"kelt", "--port", sim.path("kelt"), "--model", std::to_string(model)};
    all.insert(all.end(), args.begin(), args.end());
    return runTool(SRVTOOL_PATH, all);
}

Devsim startKelt(int model, std::vector<std::string> more = {}) {
    std::vector<std::string> args{"--only", "kelt", "--kelt", "model=" + std::to_string(model)};
    for (const auto& m : more) {
        args.push_back("--kelt");
        args.push_back(m);
    }
    return Devsim(DEVSIM_PATH, args);
}

// Values every model can hold, in page fields.
json paramsFor(int model) {
    json p;
    if (model == 18) {
        p = {{"edA1", 0.02}, {"edA2", 0.025}, {"edA3", 0.03}, {"edA4", 0.035}, {"edA5", 0.01},
             {"edB1", 0.01}, {"edB2", -0.005}, {"edB3", 0.02}, {"edB4", 0.0}, {"edB5", 0.005},
             {"cbDu", 1}, {"cbOutType", 1}, {"edOffset", 4}};
    } else {
        p = {{"edA1", 2.5}, {"edA2", 3.0}, {"edA3", 3.5}, {"edA4", 4.0}, {"edA5", 1.0},
             {"edB1", 1.5}, {"edB2", -2.0}, {"edB3", 0.5}, {"edB4", 3.0}, {"edB5", 0.0},
             {"cbDu", 8}, {"cbOutType", 0}, {"cbWeight", 1}, {"edN", 7}, {"edOffset", 3}};
        p["edTauOut"] = model >= 15 ? 7.8 : model >= 12 ? 5.7 : 2.5;
        if (model >= 12) p["edDevNum"] = "151000123";
    }
    p["edF12"] = 50.0;
    p["edF23"] = 200.0;
    p["edF34"] = 1000.0;
    p["edF45"] = 5000.0;
    return p;
}

class KeltEveryModel : public testing::TestWithParam<int> {};

TEST_P(KeltEveryModel, WriteThenReadGivesTheValuesBack) {
    const int model = GetParam();
    Devsim sim = startKelt(model);
    ASSERT_FALSE(sim.path("kelt").empty());
    const json params = paramsFor(model);
    TempFile file("params.json", params.dump());

    const ToolResult written = kelt(sim, model, {"write", file.path()});
    ASSERT_EQ(written.exitCode, 0) << written.err;
    const json w = json::parse(written.out);
    EXPECT_EQ(w["console"].back(), "Параметры записаны");

    const ToolResult read = kelt(sim, model, {"read"});
    ASSERT_EQ(read.exitCode, 0) << read.err;
    const json r = json::parse(read.out);
    EXPECT_EQ(r["console"].back(), "Параметры считаны");

    // Quantisation of the codes: A to half a code step, B to half a step at
    // the largest multiplier, F to half a period step (one for the two
    // period halves of blocks 1 and 2).
    const double k = model == 18 ? 100000.0 * 65536 / 36000 : kelt::CodeScale(9);
    const double bStep = model == 18 ? 32 * 0.5 / k : 60 / (4 * k);
    const double periodUnit = model <= 6 ? 65536 : model <= 11 ? 32768 : model <= 17 ? 8192 : 16384;
    const double periodStep = model <= 6 ? 1.0 : 0.5;
    const int segments = model == 0 ? 4 : 5;
    for (int i = 1; i <= segments; ++i) {
        const std::string a = "edA" + std::to_string(i), b = "edB" + std::to_string(i);
        EXPECT_NEAR(r[a].get<double>(), params[a].get<double>(), 0.5 / k + 1e-9) << a;
        EXPECT_NEAR(r[b].get<double>(), params[b].get<double>(), bStep + 1e-9) << b;
    }
    const char* fNames[] = {"edF12", "edF23", "edF34", "edF45"};
    for (int i = 0; i < segments - 1; ++i)
        EXPECT_NEAR(periodUnit / r[fNames[i]].get<double>(), periodUnit / params[fNames[i]].get<double>(),
                    periodStep + 1e-9)
            << fNames[i];
    EXPECT_EQ(r["cbDu"], params["cbDu"]);
    EXPECT_EQ(r["cbOutType"], params["cbOutType"]);
    if (model != 18) {
        EXPECT_EQ(r["cbWeight"], 1);
        EXPECT_NEAR(r["edTauOut"].get<double>(), params["edTauOut"].get<double>(), 0.0305 / 2 + 1e-9);
    }
    if (model <= 6) EXPECT_EQ(r["edN"], 7);
    if (model != 0 && model != 11) EXPECT_EQ(r["edOffset"], params["edOffset"]);
    if (model >= 12 && model <= 17) EXPECT_EQ(r["edDevNum"], "151000123");
}

INSTANTIATE_TEST_SUITE_P(Models, KeltEveryModel, testing::Range(0, 19));

// The page's worker on devsim's port, with the waits cut short so that the
// 12-second pause after a busy answer does not hold the test.
struct InProcessPage {
    explicit InProcessPage(const Devsim& sim, int model) : state(model), controller(state, worker, console) {
        console.setListener([this](const std::string& text) { lines.push_back(text); });
        worker.setSleep([](std::chrono::milliseconds) {});
        worker.Start(notifier);
        comprt::ComPort::ReplacePortList(comprt::ComPort::ComList({sim.path("kelt")}));
        controller.cbPortChange(1);
        run();
    }
    void run() { ASSERT_TRUE(RunUntilIdle(controller, notifier, std::chrono::seconds(10))); }

    // Declared before the worker, so that it outlives the worker's Stop():
    // a request that timed out in run() still notifies it.
    WaitingNotifier notifier;
    KeltPageState state;
    KeltThread worker;
    Console console;
    std::vector<std::string> lines;
    KeltPageController controller;
};

TEST(KeltBench, BusyTransducerGivesTheEmptyErrorAndThePause) {
    for (int model = 0; model <= 18; ++model) {
        SCOPED_TRACE(testing::Message() << "model " << model);
        Devsim sim = startKelt(model);
        ASSERT_EQ(sim.control("kelt fault busy"), "ok");
        InProcessPage page(sim, model);
        ASSERT_EQ(page.controller.port(), 1);
        page.controller.bnReadClick();
        page.run();
        ASSERT_TRUE(page.controller.lastFailure().has_value());
        if (model <= 8) {
            // Only the older protocol knows the busy answer.
            EXPECT_EQ(*page.controller.lastFailure(), "");
            EXPECT_EQ(page.lines, std::vector<std::string>{"Ошибка обмена. Подождите 12 секунд"});
        } else {
            EXPECT_EQ(*page.controller.lastFailure(), "Ошибка обмена");
        }
    }
}

TEST(KeltBench, AdapterOfModel0OnlyRefusesTheSignalRecord) {
    Devsim sim = startKelt(0, {"adapter=255"});
    const ToolResult t = kelt(sim, 0, {"temperature"});
    EXPECT_NE(t.exitCode, 0);
    EXPECT_EQ(t.err, "Адаптер поддерживает только КЕЛТ-ЧИ2-xxx\n");
    const ToolResult r = kelt(sim, 0, {"read"});
    EXPECT_EQ(r.exitCode, 0) << r.err << " - the same adapter serves model 0's own requests";
}

TEST(KeltBench, AutomaticTuningStopsAtTheFirstGoodAmplitude) {
    Devsim sim = startKelt(0, {"amplitudes=5,5,30,20"});
    const ToolResult tuned = kelt(sim, 0, {"tune"});
    ASSERT_EQ(tuned.exitCode, 0) << tuned.err;
    const json out = json::parse(tuned.out);
    EXPECT_EQ(out["amplitude"], 30);
    EXPECT_EQ(out["level"], 2) << "level command 13";
    const ToolResult amplitude = kelt(sim, 0, {"amplitude"});
    ASSERT_EQ(amplitude.exitCode, 0) << amplitude.err;
    EXPECT_EQ(json::parse(amplitude.out)["amplitude"], 30) << "the adapter was left at level 2";
}

TEST(KeltBench, ShortAnswersOfTheTransducer) {
    Devsim sim = startKelt(4, {"battery=2", "temperature=47"});
    const ToolResult battery = kelt(sim, 4, {"battery"});
    ASSERT_EQ(battery.exitCode, 0) << battery.err;
    EXPECT_EQ(json::parse(battery.out)["console"], json::array({"Напряжение батареи: 3,15..3,3В"}));
    const ToolResult temperature = kelt(sim, 4, {"temperature"});
    ASSERT_EQ(temperature.exitCode, 0) << temperature.err;
    const std::string line = json::parse(temperature.out)["console"][0];
    EXPECT_TRUE(line == "Температура: 23.5°C" || line == "Температура: 23,5°C") << line;
}

struct FaultCase {
    const char* fault;
    const char* message;
};

TEST(KeltBench, MisbehavingTransducerFailsWithItsMessage) {
    const FaultCase cases[] = {
        {"silent", "Прибор не отвечает\n"},
        {"badsum", "Ошибка контрольной суммы\n"},
        {"error", "Ошибка обмена\n"},
        {"garbage", "Ошибка обмена\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        Devsim sim = startKelt(12);
        ASSERT_EQ(sim.control(std::string("kelt fault ") + c.fault), "ok");
        const ToolResult r = kelt(sim, 12, {"read"});
        EXPECT_NE(r.exitCode, 0);
        EXPECT_EQ(r.err, c.message);
    }
}

TEST(KeltBench, InvalidValueIsRefusedWithItsMessage) {
    Devsim sim = startKelt(7);
    TempFile file("params.json", json{{"edF12", 0.5}}.dump());
    const ToolResult r = kelt(sim, 7, {"write", file.path()});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_EQ(r.err, "Недопустимое значение F12\n");
}

}  // namespace
