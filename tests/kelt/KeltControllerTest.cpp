// The Kelt page's requests and result handling, with a worker whose
// exchanges are scripted by the test (no port).

#include <gtest/gtest.h>

#include <functional>
#include <mutex>

#include "common/Locale.h"
#include "common/MathError.h"
#include "devices/kelt/KeltPageController.h"

namespace {

using namespace kelt;

// Records every request it executes and answers through `script`.
class ScriptedWorker : public QueueThread<KeltCommon> {
public:
    struct Request {
        std::int32_t code;
        KeltCommon param;
    };
    std::function<void(std::int32_t, KeltCommon&)> script = [](std::int32_t, KeltCommon&) {};

    ~ScriptedWorker() override { Stop(); }

    std::vector<Request> requests() {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }

protected:
    void Process(std::int32_t code, KeltCommon& param) override {
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back({code, param});
        }
        script(code, param);
    }

private:
    std::mutex m_mutex;
    std::vector<Request> m_requests;
};

struct Page {
    explicit Page(int model) : state(model), controller(state, worker, console) {
        console.setListener([this](const std::string& text) { lines.push_back(text); });
        worker.Start(notifier);
    }
    void run() { ASSERT_TRUE(RunUntilIdle(controller, notifier, std::chrono::seconds(5))); }

    // Declared before the worker, so that it outlives the worker's Stop():
    // requests still queued then (after a failed run()) notify it.
    WaitingNotifier notifier;
    KeltPageState state;
    ScriptedWorker worker;
    Console console;
    std::vector<std::string> lines;
    KeltPageController controller;
};

TEST(KeltPage, ReadOnModel4PostsTwoRequestsAndStopsAtTheFirstFailure) {
    Page page(4);
    page.worker.script = [](std::int32_t, KeltCommon& p) {
        if (p.sub == kReadBlock2) throw UserError("Прибор не отвечает");
    };
    page.controller.bnReadClick();
    EXPECT_TRUE(page.controller.busy());
    page.run();
    const auto requests = page.worker.requests();
    ASSERT_EQ(requests.size(), 1u) << "the correction read is skipped";
    EXPECT_EQ(requests[0].param.sub, kReadBlock2);
    EXPECT_EQ(page.lines, std::vector<std::string>{"Прибор не отвечает"});
    EXPECT_FALSE(page.controller.busy());
}

TEST(KeltPage, ReadOnModel4ShowsBlock2AndTheCorrection) {
    Page page(4);
    page.worker.script = [](std::int32_t, KeltCommon& p) {
        if (p.sub == kReadBlock2) {
            p.values.a = {1, 2, 3, 4, 5};
            p.values.b = {-1, -2, -3, -4, -5};
            p.values.f = {10, 20, 30, 40};
            p.values.du = 7;
            p.values.outputCode = 0;
            p.values.n = 100;
            p.values.pulseLength = 0.0305 * 7;
        } else {
            p.data[0] = static_cast<std::uint8_t>(-5);
        }
    };
    page.controller.bnReadClick();
    page.run();
    EXPECT_EQ(page.state.a(4).value(), 5);
    EXPECT_EQ(page.state.b(2).value(), -3);
    EXPECT_EQ(page.state.f(3).value(), 40);
    EXPECT_EQ(page.state.du(), 7);
    EXPECT_EQ(page.state.outputType().index(), 1) << "output code 0 is the frequency output";
    EXPECT_EQ(page.state.n().value(), 100);
    EXPECT_EQ(page.state.temperatureCorrection().value(), -5);
    EXPECT_EQ(page.lines, std::vector<std::string>{"Параметры считаны"}) << "block 2 itself logs nothing";
}

TEST(KeltPage, Model0ReadFillsFourSegmentsOnly) {
    Page page(0);
    page.worker.script = [](std::int32_t, KeltCommon& p) {
        p.values.a = {1, 2, 3, 4, 5};
        p.values.f = {10, 20, 30, 40};
        p.values.outputCode = 3;
        p.values.du = 2;
    };
    page.controller.bnReadClick();
    page.run();
    EXPECT_EQ(page.worker.requests().at(0).param.sub, kReadBlock1);
    EXPECT_EQ(page.state.a(3).value(), 4);
    EXPECT_EQ(page.state.a(4).value(), 0.12) << "A5 keeps its value";
    EXPECT_EQ(page.state.f(3).value(), 32768);
    EXPECT_EQ(page.state.weight().index(), 2);
    EXPECT_EQ(page.lines, std::vector<std::string>{"Параметры считаны"});
}

TEST(KeltPage, BusyTransducerPostsTheTwelveSecondPause) {
    Page page(3);
    page.worker.script = [](std::int32_t code, KeltCommon&) {
        if (code == kExchange) throw UserError("");
    };
    page.controller.bnGetUClick();
    page.run();
    const auto requests = page.worker.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].code, kPause);
    EXPECT_EQ(page.lines, std::vector<std::string>{"Ошибка обмена. Подождите 12 секунд"});
    EXPECT_FALSE(page.controller.busy()) << "idle only after the pause";
}

TEST(KeltPage, AutomaticTuningShowsTheLevelAndTheAmplitude) {
    Page page(0);
    page.worker.script = [](std::int32_t, KeltCommon& p) {
        p.sub = 13;
        p.data[0] = 30;
    };
    page.controller.bnAutoClick();
    page.run();
    EXPECT_EQ(page.worker.requests().at(0).code, kAutoTune);
    EXPECT_EQ(page.state.level().value(), 2);
    EXPECT_EQ(page.controller.amplitude(), 30);
    EXPECT_TRUE(page.controller.amplitudeGood());
}

// What a result hands the page besides the state's fields: the amplitude
// only when a request measured it, with the colour it is shown in, and the
// port a finished open keeps.
TEST(KeltPage, ResultsCarryTheAmplitudeAndThePort) {
    struct Case {
        const char* why;
        void (KeltPageController::*click)();
        std::uint8_t measured;
        bool shown;
        bool good;
    };
    const Case kCases[] = {
        {"24 is too weak", &KeltPageController::bnGetAmpClick, 24, true, false},
        {"25 is the lowest good one", &KeltPageController::bnGetAmpClick, 25, true, true},
        {"80 is the highest good one", &KeltPageController::bnGetAmpClick, 80, true, true},
        {"81 is too strong", &KeltPageController::bnGetAmpClick, 81, true, false},
        {"setting a level measures nothing", &KeltPageController::bnSetLevelClick, 50, false, false},
        {"automatic tuning shows where it stopped", &KeltPageController::bnAutoClick, 30, true, true},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.why);
        Page page(0);
        page.worker.script = [&c](std::int32_t code, KeltCommon& p) {
            if (code == kAutoTune) p.sub = kLevel2;
            p.data[0] = c.measured;
        };
        (page.controller.*c.click)();
        const auto n = page.notifier.nextResult(std::chrono::seconds(5));
        ASSERT_TRUE(n);
        const PageResult r = page.controller.HandleResult(n->param1 != 0);
        EXPECT_TRUE(r.ok);
        EXPECT_FALSE(r.busy);
        EXPECT_FALSE(r.port);
        ASSERT_EQ(r.amplitude.has_value(), c.shown);
        if (!c.shown) continue;
        EXPECT_EQ(r.amplitude->value, c.measured);
        EXPECT_EQ(r.amplitude->good, c.good);
    }

    Page page(3);
    page.controller.cbPortChange(2);
    EXPECT_EQ(page.controller.port(), 2) << "selected at once";
    const auto n = page.notifier.nextResult(std::chrono::seconds(5));
    ASSERT_TRUE(n);
    const PageResult r = page.controller.HandleResult(n->param1 != 0);
    EXPECT_EQ(r.code, kOpenFast);
    EXPECT_EQ(r.detail, 2);
    EXPECT_EQ(r.port, std::optional<int>(2));
    EXPECT_FALSE(r.amplitude);
}

TEST(KeltPage, WriteCarriesThePageValuesAndTheSequence) {
    {
        Page page(9);
        page.state.selectOutputType(2);  // "Частотный Vf/2"
        EXPECT_FALSE(page.state.view().coefficientsEnabled);
        page.controller.bnWriteClick();
        page.run();
        const auto r = page.worker.requests();
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(r[0].param.sub, kWriteBlock3);
        EXPECT_EQ(r[0].param.values.frequencyOutput, 2);
        EXPECT_EQ(page.lines, std::vector<std::string>{"Параметры записаны"});
    }
    {
        Page page(5);
        page.state.temperatureCorrection().setValue(-4);
        page.controller.bnWriteClick();
        page.run();
        const auto r = page.worker.requests();
        ASSERT_EQ(r.size(), 2u);
        EXPECT_EQ(r[0].param.sub, kWriteBlock2);
        EXPECT_EQ(r[1].param.sub, kWriteCorrection);
        EXPECT_EQ(static_cast<std::int8_t>(r[1].param.data[0]), -4);
    }
    {
        Page page(12);
        page.state.setSerialText("151000777");
        page.controller.bnWriteClick();
        page.run();
        const auto v = page.worker.requests().at(0).param.values;
        EXPECT_EQ(v.factoryNumber, 151000777u);
        EXPECT_FALSE(v.disableRestore);
        EXPECT_FALSE(v.disableThermocorrection);
    }
    {
        Page page(18);
        page.state.temperatureCorrection().setValue(-5);
        page.state.selectDiameter(1);
        page.state.selectOutputType(1);
        page.controller.bnWriteClick();
        page.run();
        const auto v = page.worker.requests().at(0).param.values;
        EXPECT_EQ(v.temperatureCorrection, -2) << "half degrees to whole, toward zero";
        EXPECT_EQ(v.diameterItem, 1);
        EXPECT_EQ(v.displayOutputType, 1);
    }
}

TEST(KeltPage, Du20IsRefusedOnModels11_14_17) {
    for (int model : {11, 14, 17}) {
        Page page(model);
        try {
            page.controller.bnWriteClick();
            ADD_FAILURE() << "model " << model << " wrote Ду20";
        } catch (const UserError& e) {
            EXPECT_STREQ(e.what(), "Прибор не поддерживает Ду20");
        }
        EXPECT_FALSE(page.controller.busy());
        EXPECT_EQ(page.worker.Pending(), 0);
    }
}

// Block 4 keeps 23 bits, or 151000000 … 151999999 with its top bit: any
// other factory number would read back as another, so the write is refused
// and nothing is sent.
TEST(KeltPage, AFactoryNumberTheBlockCannotKeepIsRefused) {
    struct Case {
        const char* serial;
        bool fits;
    } const kCases[] = {
        {"8388607", true},    {"8388608", false},   {"150999999", false},
        {"151000000", true},  {"151999999", true},  {"152000000", false},
        {"4294967295", false}, {"не номер", true},  // no number is written as 0
    };
    for (int model : {12, 17}) {
        for (const Case& c : kCases) {
            SCOPED_TRACE(std::to_string(model) + " " + c.serial);
            Page page(model);
            page.state.selectDiameter(1);
            page.state.setSerialText(c.serial);
            if (c.fits) {
                page.controller.bnWriteClick();
                page.run();
                EXPECT_EQ(page.worker.requests().size(), 1u);
                continue;
            }
            try {
                page.controller.bnWriteClick();
                ADD_FAILURE() << "written";
            } catch (const UserError& e) {
                EXPECT_STREQ(e.what(), "Заводской номер не помещается в прибор: наибольший 8388607 или от 151000000 "
                                       "до 151999999");
            }
            EXPECT_FALSE(page.controller.busy());
            EXPECT_EQ(page.worker.Pending(), 0);
        }
    }
}

TEST(KeltPage, ConsoleLinesOfTheShortAnswers) {
    ScopedLocale comma(Locale{','});
    Page page(9);
    page.worker.script = [](std::int32_t, KeltCommon& p) {
        switch (p.sub) {
        case kFirmware:
            p.data = {0x34, 0x12, 5, 2};
            break;
        case kSignal:
            p.signal = {23.5, 1, 32768.0 / 327};
            break;
        default:
            break;
        }
    };
    page.controller.bnGetVerCrcClick();
    page.run();
    page.controller.bnGetTClick();
    page.run();
    ASSERT_EQ(page.lines.size(), 2u);
    EXPECT_EQ(page.lines[0], "Версия ПО 2.5, КС ПО 0x1234");
    // The console keeps each CR LF of the text as one line break.
    EXPECT_EQ(page.lines[1], "\n  Температура: 23,5°C\n  Качество сигнала: удовлетворительное\n  Частота: 100,2 Гц");
    EXPECT_EQ(KeltPageController::SignalText(9, {23.5, 1, 32768.0 / 327}),
              "\r\n  Температура: 23,5°C\r\n  Качество сигнала: удовлетворительное\r\n  Частота: 100,2 Гц");
    EXPECT_EQ(KeltPageController::SignalText(11, {20, 2, 0}), "\r\n  Качество сигнала: плохое\r\n  Частота: ?");
    EXPECT_EQ(KeltPageController::SignalText(7, {20, 4, 0}),
              "\r\n  Температура: 20,0°C\r\n  Качество сигнала: нет сигнала\r\n  Частота: 0 Гц");
    EXPECT_EQ(KeltPageController::BatteryText(9), "больше 3,6В");
}

TEST(KeltPage, OpenFailureReturnsThePortSelectorToNoPort) {
    Page page(16);
    page.worker.script = [](std::int32_t, KeltCommon&) { throw UserError("COM-порт не открыт"); };
    page.state.level().setValue(3);
    page.controller.cbPortChange(2);
    page.run();
    EXPECT_EQ(page.worker.requests().at(0).code, kOpenSlow) << "models 15 and up open at 4800 baud";
    EXPECT_EQ(page.controller.port(), 0);
    EXPECT_EQ(page.state.level().value(), 0);
    EXPECT_TRUE(page.lines.empty());
    EXPECT_EQ(page.controller.lastFailure(), std::optional<std::string>("COM-порт не открыт"));
}

}  // namespace
