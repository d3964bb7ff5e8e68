// The Nivor dialog's rules and request handling without a display: the
// settings rules on their own, and the requests through the real worker to
// devsim's instrument, with the test handing the worker's results to the
// controller as the window would.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "common/Locale.h"
#include "comprt/ComPort.h"
#include "devices/nivor/SpprController.h"
#include "link/WaitingNotifier.h"
#include "support/Devsim.h"

namespace {

using namespace std::chrono_literals;
using devtest::messages;
using C = SpprController;

// ---------------------------------------------------------------- settings

struct Settings : ::testing::Test {
    Console console;
    SpprThread worker;  // never started: the settings post nothing
    SpprController controller{worker, console};
};

TEST_F(Settings, EachInputListOffersTheInputsTheOtherDoesNotHold) {
    EXPECT_EQ(controller.channel1Inputs(), (std::vector<int>{0, 2, 3}));
    EXPECT_EQ(controller.channel2Inputs(), (std::vector<int>{1, 2, 3}));
    controller.cbChannel1Change(2);
    EXPECT_EQ(controller.input1(), 2);
    EXPECT_EQ(controller.channel2Inputs(), (std::vector<int>{0, 1, 3}));
    // The other list's input cannot be taken; both keep their choice.
    controller.cbChannel2Change(2);
    EXPECT_EQ(controller.input2(), 1);
    controller.cbChannel2Change(0);
    EXPECT_EQ(controller.input2(), 0);
    EXPECT_EQ(controller.channel1Inputs(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(controller.input1(), 2);
}

TEST_F(Settings, ModeDecidesCriterionAndRemembersThePulseInput) {
    // Time stop at start: the time field, no input for a pulse stop.
    EXPECT_EQ(controller.criterion(), C::Criterion::Time);
    EXPECT_EQ(controller.criterionLabel(), "Длит. измерения, сек:");
    EXPECT_FALSE(controller.channelEnabled());
    EXPECT_EQ(controller.channel(), -1);

    controller.cbModeChange(C::kModePulses);
    EXPECT_EQ(controller.criterion(), C::Criterion::Pulses);
    EXPECT_EQ(controller.criterionLabel(), "Кол-во импульсов:");
    EXPECT_TRUE(controller.channelEnabled());
    EXPECT_EQ(controller.channel(), 0);  // the remembered input starts at input 1
    controller.cbChannelChange(3);

    controller.cbModeChange(C::kModeStartStop2);
    EXPECT_EQ(controller.criterion(), C::Criterion::Blank);
    EXPECT_EQ(controller.criterionLabel(), "");
    EXPECT_EQ(controller.channel(), -1);
    controller.cbChannelChange(1);  // disabled: ignored
    EXPECT_EQ(controller.channel(), -1);

    controller.cbModeChange(C::kModePulses);
    EXPECT_EQ(controller.channel(), 3);
}

TEST_F(Settings, TemperatureIsTypedOnlyWithoutASensor) {
    EXPECT_FALSE(controller.temperatureEditable());
    EXPECT_TRUE(controller.sensorTypeEnabled());
    controller.cbTempChChange(C::kNoTemperature);
    EXPECT_TRUE(controller.temperatureEditable());
    EXPECT_FALSE(controller.sensorTypeEnabled());
    controller.cbTempChChange(C::kTsp2);
    EXPECT_FALSE(controller.temperatureEditable());
}

TEST_F(Settings, TheTargetsReferenceNamesTheTypedValue) {
    EXPECT_EQ(controller.volMassLabel(), "");
    EXPECT_FALSE(controller.toPackageEnabled());
    struct Case {
        C::Reference reference;
        const char* label;
    };
    const Case cases[] = {
        {C::Reference::Volume, "Vэт, л:"},
        {C::Reference::Mass, "Mэт, кг:"},
        {C::Reference::Flow, "gэт, м3/ч:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        controller.setTarget(c.reference);
        EXPECT_EQ(controller.volMassLabel(), c.label);
        EXPECT_TRUE(controller.toPackageEnabled());
    }
    controller.setTarget(std::nullopt);
    EXPECT_EQ(controller.volMassLabel(), "");
    EXPECT_FALSE(controller.toPackageEnabled());
}

TEST_F(Settings, TypedLimitsAreKept) {
    controller.setMeasurementTime(5000.0);
    EXPECT_EQ(controller.measurementTime(), C::kTimeMax);
    controller.setMeasurementTime(0.0);
    EXPECT_EQ(controller.measurementTime(), C::kTimeMin);
    controller.setPulseCount(20000000);
    EXPECT_EQ(controller.pulseCount(), C::kPulsesMax);
    controller.setPulseCount(-1);
    EXPECT_EQ(controller.pulseCount(), 0);
}

// ---------------------------------------------------------------- with the instrument

class Instrument : public ::testing::Test {
protected:
    explicit Instrument(std::vector<std::string> args = {}) {
        args.insert(args.begin(), {"--only", "nivor"});
        sim = std::make_unique<testsupport::Devsim>(DEVSIM_PATH, args);
        comprt::ComPort::ReplacePortList(
            comprt::ComPort::ComList(std::vector<std::string>{"/nonexistent/nivor-0", sim->path("nivor")}));
        worker.setReadTimeout(300);
        worker.Start(notifier);
    }
    ~Instrument() override {
        worker.Stop();
        comprt::ComPort::ReplacePortList(saved);
    }

    // Hands results to the controller until nothing is pending.
    std::vector<PageResult> run() {
        std::vector<PageResult> handled;
        while (worker.Pending() > 0) {
            const auto result = notifier.nextResult(5s);
            if (!result) {
                ADD_FAILURE() << "no result within 5 s";
                break;
            }
            handled.push_back(controller.HandleResult(result->param1 != 0));
        }
        return handled;
    }

    void open() {
        controller.cbPortChange(2);
        EXPECT_TRUE(controller.busy());
        run();
        ASSERT_EQ(controller.port(), 2);
        ASSERT_FALSE(controller.busy());
    }

    // Polls as the timer does (faster) until the measurement has ended;
    // the number of polls.
    int pollUntilStopped(int limit = 40) {
        int polls = 0;
        while (controller.measuring() && polls < limit) {
            std::this_thread::sleep_for(100ms);
            controller.TimerTimer();
            ++polls;
            run();
        }
        return polls;
    }

    ScopedLocale locale{devtest::withSeparator('.')};
    comprt::ComPort::ComList saved = comprt::ComPort::PortList();
    std::unique_ptr<testsupport::Devsim> sim;
    Console console;
    WaitingNotifier notifier;
    SpprThread worker;
    SpprController controller{worker, console};
};

TEST_F(Instrument, TimeStopWithTemperatureStopsItselfAndAveragesTheTemperature) {
    open();
    controller.setMeasurementTime(0.5);
    controller.cbChannel2Change(2);  // N2 from input 3
    controller.bnStartClick();
    EXPECT_TRUE(controller.busy());
    EXPECT_FALSE(controller.startEnabled());
    const auto started = run();
    ASSERT_EQ(started.size(), 2u);
    EXPECT_EQ(started[0].detail, nivor::kTemperature);
    EXPECT_EQ(started[1].detail, nivor::kTimeStop);
    EXPECT_TRUE(started[1].restartTimer);
    EXPECT_TRUE(controller.measuring());
    EXPECT_TRUE(controller.stopEnabled());
    EXPECT_FALSE(controller.startEnabled());
    EXPECT_FALSE(controller.busy());
    EXPECT_NEAR(controller.temperature(), 20.0, 0.05);

    // The sensor warms by 2 °C during the run: the entry gets the mean.
    ASSERT_EQ(sim->control("nivor temp1 22"), "ok");
    pollUntilStopped();
    EXPECT_FALSE(controller.measuring());
    EXPECT_FALSE(controller.busy());
    EXPECT_TRUE(controller.startEnabled());
    EXPECT_NEAR(controller.temperature(), 21.0, 0.05);
    EXPECT_DOUBLE_EQ(controller.tq(), 0.5);
    EXPECT_EQ(controller.tqText(), "0.500");
    EXPECT_EQ(controller.n1(), 500);  // input 1 at 1000 Hz
    EXPECT_EQ(controller.n1Text(), "500");
    EXPECT_EQ(controller.n2(), 125);  // input 3 at 250 Hz
    EXPECT_DOUBLE_EQ(controller.t1(), 0.5);
    EXPECT_EQ(controller.voltageText(), "7.74 В");  // code 20
    ASSERT_TRUE(controller.voltage());
    EXPECT_DOUBLE_EQ(*controller.voltage(), 20 * 12.0 / 31.0);
    EXPECT_FALSE(controller.voltageLow());
    EXPECT_TRUE(messages(console).empty());

    // The instrument is idle afterwards: a poll changes nothing but the voltage.
    controller.TimerTimer();
    run();
    EXPECT_FALSE(controller.measuring());
    EXPECT_EQ(controller.n1(), 500);
}

// A temperature that can no longer be read at the end does not hold the
// measurement: the stop goes without it, the error is written once and the
// temperature shown stays the one read at the start.
TEST_F(Instrument, AFailingTemperatureAtTheEndStillStops) {
    open();
    controller.setMeasurementTime(0.5);
    controller.bnStartClick();
    run();
    ASSERT_TRUE(controller.measuring());
    const double started = controller.temperature();

    ASSERT_EQ(sim->control("nivor c1 1000"), "ok");  // calibration codes equal
    const int polls = pollUntilStopped();
    EXPECT_LT(polls, 40);
    EXPECT_FALSE(controller.measuring());
    EXPECT_FALSE(controller.busy());
    EXPECT_TRUE(controller.startEnabled());
    EXPECT_EQ(messages(console), (std::vector<std::string>{"АЦП НИВ не откалиброван"}));
    EXPECT_EQ(controller.temperature(), started);
    EXPECT_DOUBLE_EQ(controller.tq(), 0.5);

    // A stop from the button with the same sensor ends a running one too.
    controller.setMeasurementTime(60.0);
    controller.cbTempChChange(C::kNoTemperature);
    controller.bnStartClick();
    run();
    ASSERT_TRUE(controller.measuring());
    controller.cbTempChChange(C::kTsp1);
    controller.bnStopClick();
    run();
    EXPECT_FALSE(controller.measuring());
    EXPECT_EQ(messages(console).size(), 2u);
}

TEST_F(Instrument, PulseStopOnTheChosenInputWithoutTemperature) {
    open();
    controller.cbModeChange(C::kModePulses);
    controller.cbChannelChange(1);  // count on input 2 (500 Hz)
    controller.setPulseCount(100);
    controller.cbTempChChange(C::kNoTemperature);
    controller.setTemperature(18.25);
    controller.bnStartClick();
    const auto started = run();
    ASSERT_EQ(started.size(), 1u);  // no temperature request
    EXPECT_EQ(started[0].detail, nivor::kPulseStop);
    pollUntilStopped();
    EXPECT_FALSE(controller.measuring());
    EXPECT_EQ(controller.n2(), 100);  // input 2 counted its 100 pulses
    EXPECT_EQ(controller.n1(), 200);  // input 1 at twice the rate
    EXPECT_DOUBLE_EQ(controller.tq(), 819 / 4096.0);
    EXPECT_EQ(controller.temperature(), 18.25);  // typed, kept
}

TEST_F(Instrument, StopInTheMiddleKeepsWhatWasCounted) {
    open();
    controller.setMeasurementTime(60.0);
    controller.bnStartClick();
    run();
    ASSERT_TRUE(controller.measuring());
    std::this_thread::sleep_for(300ms);
    controller.TimerTimer();
    run();
    EXPECT_TRUE(controller.measuring());
    controller.bnStopClick();
    EXPECT_TRUE(controller.busy());
    EXPECT_FALSE(controller.stopEnabled());
    run();
    EXPECT_FALSE(controller.measuring());
    EXPECT_GT(controller.tq(), 0.25);
    EXPECT_LT(controller.tq(), 5.0);
    EXPECT_NEAR(controller.n1(), controller.tq() * 1000, 1.5);  // input 1 at 1000 Hz
}

// An instrument that answers a poll with its state alone (reply code 9)
// has no measurement running: the dialog stops measuring at once, shows the
// voltage, keeps the counts of the last full reply and sends no stop.
TEST_F(Instrument, StateAloneEndsTheMeasurementWithoutAStop) {
    open();
    controller.setMeasurementTime(60.0);
    controller.bnStartClick();
    run();
    std::this_thread::sleep_for(300ms);
    controller.TimerTimer();
    run();
    ASSERT_TRUE(controller.measuring());
    const std::int32_t counted = controller.n1();
    EXPECT_GT(counted, 0);
    const double temperature = controller.temperature();

    ASSERT_EQ(sim->control("nivor fault busy"), "ok");
    ASSERT_EQ(sim->control("nivor voltage 18"), "ok");
    controller.TimerTimer();
    const auto handled = run();
    ASSERT_EQ(handled.size(), 1u);  // the poll alone: no temperature, no stop
    EXPECT_EQ(handled[0].detail, nivor::kPoll);
    EXPECT_FALSE(controller.measuring());
    EXPECT_FALSE(controller.busy());
    EXPECT_TRUE(controller.startEnabled());
    EXPECT_EQ(controller.voltageText(), "6.97 В");  // code 18
    EXPECT_EQ(controller.n1(), counted);
    EXPECT_EQ(controller.temperature(), temperature);
    EXPECT_TRUE(messages(console).empty());
}

TEST_F(Instrument, PollsWaitForNoOneAndAreDroppedWhileOthersWait) {
    open();
    controller.bnStartClick();
    const int pending = worker.Pending();
    controller.TimerTimer();  // others wait: dropped quietly
    EXPECT_EQ(worker.Pending(), pending);
    run();
    EXPECT_FALSE(controller.busy());
    controller.TimerTimer();
    EXPECT_EQ(worker.Pending(), 1);
    EXPECT_FALSE(controller.busy());  // a poll never makes the dialog busy
    // A request from a button goes in beside a waiting poll.
    controller.bnStopClick();
    EXPECT_TRUE(controller.busy());
    run();
    EXPECT_FALSE(controller.busy());
    // Without a port nothing is polled.
    controller.cbPortChange(0);
    run();
    controller.TimerTimer();
    EXPECT_EQ(worker.Pending(), 0);
}

TEST_F(Instrument, FailuresGoToTheConsoleExceptFailedPolls) {
    open();
    controller.TimerTimer();
    run();
    EXPECT_EQ(controller.voltageText(), "7.74 В");
    ASSERT_EQ(sim->control("nivor fault silent"), "ok");
    controller.TimerTimer();
    const auto polled = run();
    // The failed poll's text is handed back, not written to the console.
    ASSERT_EQ(polled.size(), 1u);
    EXPECT_EQ(polled[0].error, "Прибор не отвечает");
    EXPECT_TRUE(messages(console).empty());
    EXPECT_EQ(controller.voltageText(), "");
    EXPECT_FALSE(controller.voltage());

    // Start fails at its temperature: one line, the mode command skipped.
    controller.bnStartClick();
    const auto handled = run();
    ASSERT_EQ(handled.size(), 2u);
    EXPECT_FALSE(handled[0].ok);
    EXPECT_EQ(handled[0].error, "Прибор не отвечает");
    EXPECT_EQ(handled[1].code, -1);
    EXPECT_EQ(handled[1].error, "");
    EXPECT_EQ(messages(console), (std::vector<std::string>{"Прибор не отвечает"}));
    EXPECT_FALSE(controller.measuring());
    EXPECT_TRUE(controller.startEnabled());

    ASSERT_EQ(sim->control("nivor fault badsum"), "ok");
    controller.cbTempChChange(C::kNoTemperature);
    controller.bnStartClick();
    run();
    EXPECT_EQ(messages(console).back(), "Ошибка контрольной суммы");
    EXPECT_FALSE(controller.measuring());

    // A port that does not open falls back to "-------".
    controller.cbPortChange(1);
    run();
    EXPECT_EQ(controller.port(), 0);
    EXPECT_EQ(messages(console).back(), "COM-порт не открыт");
}

TEST_F(Instrument, ARefusedPostLeavesTheDialogAsItWas) {
    open();
    controller.bnStartClick();
    EXPECT_THROW(controller.bnStartClick(), UserError);  // "Queue is not empty"
    run();
    EXPECT_FALSE(controller.busy());
    EXPECT_TRUE(controller.measuring());
}

class LowVoltage : public Instrument {
protected:
    LowVoltage() : Instrument({"--nivor", "voltage=16"}) {}
};

TEST_F(LowVoltage, VoltageBelowCode17IsLow) {
    open();
    controller.TimerTimer();
    run();
    EXPECT_EQ(controller.voltageText(), "6.19 В");
    EXPECT_TRUE(controller.voltageLow());
    ASSERT_EQ(sim->control("nivor voltage 17"), "ok");
    controller.TimerTimer();
    run();
    EXPECT_EQ(controller.voltageText(), "6.58 В");
    EXPECT_FALSE(controller.voltageLow());
}

}  // namespace
