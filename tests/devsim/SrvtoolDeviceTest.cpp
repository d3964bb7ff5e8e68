// srvtool's device commands against devsim over real pseudo-terminals: the
// main paths of each family and every failure message, with the simulated
// device misbehaving on purpose and recovering afterwards.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>
#include <nlohmann/json.hpp>

#include "support/Devsim.h"
#include "support/RunTool.h"

namespace {

using nlohmann::json;
using namespace std::chrono_literals;

ToolResult srvtool(const std::vector<std::string>& args) { return runTool(SRVTOOL_PATH, args); }

json parsed(const ToolResult& r) {
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.exitCode == 0 ? json::parse(r.out) : json::object();
}

// The failure's message is the whole of stderr; nothing on stdout.
void expectFailure(const ToolResult& r, const std::string& message) {
    EXPECT_NE(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
}

// ------------------------------------------------------------------ Dorn

class DornCommand : public ::testing::Test {
protected:
    testsupport::Devsim sim{DEVSIM_PATH, {"--only", "dorn"}};
    std::vector<std::string> dorn(int du, std::vector<std::string> more) {
        std::vector<std::string> args{"dorn", "--port", sim.path("dorn"), "--du", std::to_string(du)};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
};

TEST_F(DornCommand, WrittenCoefficientsReadBackAtTheSameDiameter) {
    const json w = parsed(srvtool(dorn(5, {"write", "--A", "1.5", "--B", "-0.25"})));
    EXPECT_DOUBLE_EQ(w["A"].get<double>(), 1.5);
    const json r = parsed(srvtool(dorn(5, {"read"})));
    EXPECT_DOUBLE_EQ(r["A"].get<double>(), 1.5);
    EXPECT_DOUBLE_EQ(r["B"].get<double>(), -0.25);
    // The same stored counts read at diameter code 9 scale by 1000.
    const json r9 = parsed(srvtool(dorn(9, {"read"})));
    EXPECT_DOUBLE_EQ(r9["A"].get<double>(), 15.0);
}

TEST_F(DornCommand, OutOfRangeCoefficientsAreRefusedBeforeSending) {
    expectFailure(srvtool(dorn(2, {"write", "--A", "0.2", "--B", "0"})),
                  "Недопустимые значения коэффициентов A и/или B");
    // Nothing was stored: the transducer still holds A = 0.12.
    EXPECT_DOUBLE_EQ(parsed(srvtool(dorn(2, {"read"})))["A"].get<double>(), 0.12);
}

TEST_F(DornCommand, BrokenEchoesFailWithExchangeErrorAndTheNextRequestWorks) {
    for (const char* fault : {"badsum", "garbage", "error"}) {
        SCOPED_TRACE(fault);
        ASSERT_EQ(sim.control(std::string("dorn fault ") + fault), "ok");
        expectFailure(srvtool(dorn(5, {"write", "--A", "1", "--B", "0"})), "Ошибка обмена");
        ASSERT_EQ(sim.control("dorn fault none"), "ok");
        EXPECT_EQ(srvtool(dorn(5, {"write", "--A", "1", "--B", "0"})).exitCode, 0);
    }
}

TEST_F(DornCommand, SilenceAndHangUpGiveTheirMessagesAndTheLineRecovers) {
    ASSERT_EQ(sim.control("dorn fault silent"), "ok");
    expectFailure(srvtool(dorn(2, {"read"})), "Прибор не отвечает");
    ASSERT_EQ(sim.control("dorn fault hangup"), "ok");
    // Half a frame, then the line drops: the port sees the hang-up at once,
    // as the port gone away.
    expectFailure(srvtool(dorn(2, {"read"})), "Порт отключён: " + sim.path("dorn"));
    ASSERT_EQ(sim.control("dorn fault none"), "ok");
    EXPECT_DOUBLE_EQ(parsed(srvtool(dorn(2, {"read"})))["A"].get<double>(), 0.12);
}

TEST(DornPort, AMissingPortIsNotOpen) {
    expectFailure(srvtool({"dorn", "--port", "/dev/no-such-port", "--du", "2", "read"}), "COM-порт не открыт");
}

// ------------------------------------------------------------------ RV

class RvCommand : public ::testing::Test {
protected:
    testsupport::Devsim sim{DEVSIM_PATH, {"--only", "rv"}};
    std::vector<std::string> rv(std::vector<std::string> more) {
        std::vector<std::string> args{"rv", "--port", sim.path("rv")};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
};

TEST_F(RvCommand, SystemParametersAndTheirMessages) {
    ASSERT_EQ(sim.control("rv serial 160000001"), "ok");
    json s = parsed(srvtool(rv({"read", "system"})));
    EXPECT_EQ(s["versionHigh"], 3);
    EXPECT_EQ(s["versionLow"], 5);
    EXPECT_EQ(s["serial"], 160000001);
    EXPECT_EQ(s["console"], json::array({"Системные параметры считаны"}));

    ASSERT_EQ(sim.control("rv version 4.0"), "ok");
    s = parsed(srvtool(rv({"read", "system"})));
    EXPECT_EQ(s["versionHigh"], 4);
    EXPECT_EQ(s["console"], json::array({"Неизвестная версия прибора", "Системные параметры считаны"}));
}

TEST_F(RvCommand, WrittenBlocksReadBack) {
    const std::string table =
        R"({"A":[1,2,3,4,5],"B":[-1,-2,-3,-4,-5],"bound":[100,200,300,400],"gmax":40,"gpor":0.5})";
    json w = parsed(srvtool(rv({"write", "reverse-calibration", table})));
    EXPECT_EQ(w["console"], json::array({"Реверсивные калибровочные коэффициенты установлены"}));
    json r = parsed(srvtool(rv({"read", "reverse-calibration"})));
    EXPECT_EQ(r["A"], json::array({1, 2, 3, 4, 5}));
    EXPECT_EQ(r["bound"], json::array({100, 200, 300, 400}));
    EXPECT_EQ(r["gmax"], 40);

    parsed(srvtool(rv({"write", "outputs", R"({"weight":0.5,"pulseLength":0,"card":2,"dispenser":1,"reverseMode":2})"})));
    r = parsed(srvtool(rv({"read", "outputs"})));
    EXPECT_EQ(r["weight"], 0.5);
    EXPECT_EQ(r["pulseLength"], 0);
    EXPECT_EQ(r["card"], 2);
    EXPECT_EQ(r["dispenser"], 1);
    EXPECT_EQ(r["reverseMode"], 2);

    const std::string pipe = R"({"disabled":1,"codeThreshold":-7,"noiseThreshold":65535,"codeSpread":3,)"
                             R"("noiseSpread":4,"measurements":5,"hysteresis":6})";
    w = parsed(srvtool(rv({"write", "empty-pipe", pipe})));
    r = parsed(srvtool(rv({"read", "empty-pipe"})));
    r.erase("console");
    w.erase("console");
    EXPECT_EQ(r, w);
    EXPECT_EQ(r["codeThreshold"], -7);

    w = parsed(srvtool(rv({"write", "integrator", R"({"integrator":33})"})));
    EXPECT_EQ(parsed(srvtool(rv({"read", "integrator"})))["integrator"], 33);
}

TEST_F(RvCommand, RunStatusAndCurrentValues) {
    json s = parsed(srvtool(rv({"status", "set", "0"})));
    EXPECT_EQ(s["status"], 1);
    EXPECT_EQ(s["console"], json::array({"Регистр статуса обновлен"}));
    json c = parsed(srvtool(rv({"read", "current"})));
    EXPECT_EQ(c["status"], 1);
    // Firmware 3.5 asks for the full block.
    for (const char* key : {"noise", "workTime", "volumePlus", "volumeMinus"}) EXPECT_TRUE(c.contains(key)) << key;

    ASSERT_EQ(sim.control("rv version 2.1"), "ok");
    c = parsed(srvtool(rv({"read", "current"})));
    EXPECT_FALSE(c.contains("noise"));
    EXPECT_FALSE(c.contains("workTime"));
    EXPECT_EQ(parsed(srvtool(rv({"status", "clear", "0"})))["status"], 0);
}

TEST_F(RvCommand, WorkTimeMessage) {
    const json w = parsed(srvtool(rv({"read", "work-time"})));
    EXPECT_EQ(w["console"], json::array({"Время непрерывной работы 1 суток 1 часов 1 минут"}));
    EXPECT_GE(w["seconds"].get<long>(), 90061);
}

TEST_F(RvCommand, ErrorRepliesGiveTheirMessages) {
    ASSERT_EQ(sim.control("rv fault busy"), "ok");
    expectFailure(srvtool(rv({"read", "address"})), "Устройство занято");
    ASSERT_EQ(sim.control("rv fault error"), "ok");
    expectFailure(srvtool(rv({"read", "address"})), "Внутренняя ошибка прибора");
}

TEST_F(RvCommand, FaultsFailAndTheNextRequestWorks) {
    struct Case {
        const char* fault;
        const char* message;
    };
    const Case cases[] = {
        {"silent", "Прибор не отвечает"},
        {"badsum", "reply with a wrong CRC dropped"},
        {"short", "reply with a wrong CRC dropped"},
        {"garbage", "reply with a wrong CRC dropped"},
        {"hangup", "Порт отключён: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        ASSERT_EQ(sim.control(std::string("rv fault ") + c.fault), "ok");
        expectFailure(srvtool(rv({"read", "address"})), c.message);
        ASSERT_EQ(sim.control("rv fault none"), "ok");
        EXPECT_EQ(parsed(srvtool(rv({"read", "address"})))["address"], 1);
    }
}

TEST_F(RvCommand, PollShowsTheOpeningReadsAndGrowingCurrentValues) {
    ASSERT_EQ(parsed(srvtool(rv({"status", "set", "0"})))["status"], 1);
    const json p = parsed(srvtool(rv({"poll", "--seconds", "4.8", "--observation"})));
    EXPECT_EQ(p["Version"], "3.5");
    EXPECT_EQ(p["console"], json::array({"Системные параметры считаны", "Параметы внешних выходов считаны",
                                         "Калибровочные коэффициенты успешно считаны", "Сетевой адрес считан",
                                         "Интегратор расхода адрес считан", "Параметры теста пустой трубы считаны"}));
    // One current-values read every 1.5 s: three in 4.8 s, the run counting on.
    const json& current = p["current"];
    ASSERT_EQ(current.size(), 3u) << p.dump();
    long last = -1;
    for (const json& c : current) {
        EXPECT_EQ(c["status"], 1);
        EXPECT_EQ(c["MiddleCode"], "12000");
        EXPECT_FALSE(c["WorkTime"].get<std::string>().empty());
        const long pulses = std::stol(c["ImpulseVolume"].get<std::string>());
        EXPECT_GT(pulses, last);
        last = pulses;
    }
    // Readings every 200 ms while observed, less what the busy start dropped.
    EXPECT_GE(p["readings"].get<long>(), 10);
    EXPECT_EQ(parsed(srvtool(rv({"status", "clear", "0"})))["status"], 0);
}

TEST_F(RvCommand, PollOfASilentMeterShowsNothingAndSaysNothing) {
    ASSERT_EQ(sim.control("rv fault silent"), "ok");
    const json p = parsed(srvtool(rv({"poll", "--seconds", "2"})));
    EXPECT_TRUE(p["current"].empty());
    // The opening reads are the user's: each failure is reported once; the
    // polls are not.
    EXPECT_EQ(p["console"], json(std::vector<std::string>(7, "Прибор не отвечает")));
    EXPECT_GE(p["exchanges"].get<long>(), 8) << "the opening reads and a poll";
    EXPECT_EQ(p["failedExchanges"], p["exchanges"]);
    expectFailure(srvtool({"rv", "--port", "/nonexistent/port", "poll", "--seconds", "1"}), "COM-порт не открыт");
}

// A long run keeps counts only: every exchange of the opening and of the
// polls is counted, and so are the failures.
TEST_F(RvCommand, PollCountsItsExchanges) {
    const json p = parsed(srvtool(rv({"poll", "--seconds", "3.2", "--counts"})));
    EXPECT_FALSE(p.contains("current"));
    EXPECT_EQ(p["currentReads"], 2);
    // Seven opening reads (posted before the version is known, so no
    // reverse table), then two polls.
    EXPECT_EQ(p["exchanges"], 7 + 2);
    EXPECT_EQ(p["failedExchanges"], 0);
}

TEST_F(RvCommand, AnotherAddressIsNotAnswered) {
    expectFailure(srvtool(rv({"--address", "7", "read", "address"})), "Прибор не отвечает");
    parsed(srvtool(rv({"write", "address", R"({"address":7})"})));
    EXPECT_EQ(parsed(srvtool(rv({"--address", "7", "read", "address"})))["address"], 7);
}

// ------------------------------------------------------------------ Nivor

class NivorCommand : public ::testing::Test {
protected:
    testsupport::Devsim sim{DEVSIM_PATH, {"--only", "nivor"}};
    std::vector<std::string> measure(std::vector<std::string> more) {
        std::vector<std::string> args{"nivor", "--port", sim.path("nivor"), "measure"};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
};

TEST_F(NivorCommand, TimeStopCountsBothInputs) {
    const json m = parsed(srvtool(measure({"--mode", "time", "--time", "0.5", "--input1", "1", "--input2", "3"})));
    EXPECT_DOUBLE_EQ(m["tq"].get<double>(), 0.5);
    EXPECT_EQ(m["N1"], 500);  // input 1 at 1000 Hz
    EXPECT_EQ(m["N2"], 125);  // input 3 at 250 Hz
    EXPECT_DOUBLE_EQ(m["t1"].get<double>(), 0.5);
    EXPECT_NEAR(m["t"].get<double>(), 20.0, 0.05);  // sensor 1 at 20 °C, at start and at stop
    EXPECT_DOUBLE_EQ(m["U"].get<double>(), 20 * 12.0 / 31.0);
}

TEST_F(NivorCommand, PulseStopEndsWhenItsInputHasCounted) {
    const json m = parsed(srvtool(measure({"--mode", "pulses", "--pulses", "100", "--input", "2", "--input1", "2",
                                           "--input2", "4", "--temp-channel", "2"})));
    EXPECT_EQ(m["N1"], 100);
    EXPECT_DOUBLE_EQ(m["tq"].get<double>(), 819 / 4096.0);  // 0.2 s in whole ticks
    EXPECT_NEAR(m["t"].get<double>(), 21.0, 0.05);
}

// The two inputs swapped: each list first holds the input the other one
// is given.
TEST_F(NivorCommand, WithoutTemperatureChannelNoTemperature) {
    const json m = parsed(
        srvtool(measure({"--mode", "startstop1", "--temp-channel", "none", "--input1", "2", "--input2", "1"})));
    EXPECT_TRUE(m["t"].is_null());
    EXPECT_DOUBLE_EQ(m["tq"].get<double>(), 2.0);
    EXPECT_EQ(m["N1"], 1000);  // input 2 at 500 Hz
    EXPECT_EQ(m["N2"], 2000);  // input 1 at 1000 Hz
}

TEST_F(NivorCommand, FailureMessagesAndRecovery) {
    struct Case {
        const char* command;
        const char* message;
    };
    const Case cases[] = {
        {"nivor fault silent", "Прибор не отвечает"},
        {"nivor fault short", "Прибор не отвечает"},
        {"nivor fault garbage", "Ошибка обмена"},
        {"nivor fault badsum", "Ошибка контрольной суммы"},
        {"nivor fault error", "Ошибка обмена"},
        {"nivor fault hangup", "Порт отключён: "},
        {"nivor type 2", "Неподдерживаемый тип НИВ"},
        {"nivor c1 1000", "АЦП НИВ не откалиброван"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        ASSERT_EQ(sim.control(c.command), "ok");
        // Two failed polls end a measurement whose polls fail.
        expectFailure(srvtool(measure({"--mode", "time", "--time", "0.1", "--silent-polls", "2"})), c.message);
        ASSERT_EQ(sim.control("nivor fault none"), "ok");
        ASSERT_EQ(sim.control("nivor type 3"), "ok");
        ASSERT_EQ(sim.control("nivor c1 5000"), "ok");
        EXPECT_EQ(srvtool(measure({"--mode", "time", "--time", "0.1"})).exitCode, 0);
    }
}

// A fault in the middle of a measurement: the polls that meet it are
// skipped and the measurement runs to its end.
TEST_F(NivorCommand, FailedPollsMidMeasurementAreSkipped) {
    auto run = std::async(std::launch::async, [this] {
        return srvtool(measure({"--mode", "time", "--time", "4", "--temp-channel", "none"}));
    });
    std::this_thread::sleep_for(1500ms);
    ASSERT_EQ(sim.control("nivor fault garbage"), "ok");
    std::this_thread::sleep_for(2000ms);  // two polls meet it
    ASSERT_EQ(sim.control("nivor fault none"), "ok");
    const json m = parsed(run.get());
    EXPECT_DOUBLE_EQ(m["tq"].get<double>(), 4.0);
    EXPECT_EQ(m["N1"], 4000);
}

// An instrument that answers a poll with its state alone (reply code 9)
// has no measurement running: the measurement ends there, with the counts
// of the last full reply and no stop, so the temperature is the one read at
// the start (the sensor warmed meanwhile).
TEST_F(NivorCommand, StateAloneEndsTheMeasurementWithoutAStop) {
    const auto started = std::chrono::steady_clock::now();
    auto run = std::async(std::launch::async, [this] {
        return srvtool(measure({"--mode", "time", "--time", "60"}));
    });
    std::this_thread::sleep_for(2500ms);  // a poll or two with counts
    ASSERT_EQ(sim.control("nivor temp1 24"), "ok");
    ASSERT_EQ(sim.control("nivor fault busy"), "ok");
    const json m = parsed(run.get());
    ASSERT_EQ(sim.control("nivor fault none"), "ok");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 30s);
    const double tq = m["tq"].get<double>();
    EXPECT_GE(tq, 0.9);
    EXPECT_LT(tq, 10.0);
    EXPECT_NEAR(m["N1"].get<double>(), tq * 1000, 1.5);  // input 1 at 1000 Hz
    EXPECT_NEAR(m["t"].get<double>(), 20.0, 0.05);
    EXPECT_DOUBLE_EQ(m["U"].get<double>(), 20 * 12.0 / 31.0);
}

// An instrument that stays silent for the stated number of polls ends the
// measurement long before its time is up.
TEST_F(NivorCommand, SilenceForTheBoundEndsTheMeasurement) {
    const auto started = std::chrono::steady_clock::now();
    auto run = std::async(std::launch::async, [this] {
        return srvtool(measure({"--mode", "time", "--time", "60", "--temp-channel", "none", "--silent-polls", "3"}));
    });
    std::this_thread::sleep_for(1500ms);
    ASSERT_EQ(sim.control("nivor fault silent"), "ok");
    expectFailure(run.get(), "Прибор не отвечает");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 30s);
}

}  // namespace
