// The Dorn page's requests and result handling, without a display: the real
// worker talks to a scripted transducer on a pseudo-terminal, and the test
// hands the worker's results to the controller as the window would.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "comprt/ComPort.h"
#include "devices/dorn/DornPageController.h"
#include "link/WaitingNotifier.h"
#include "support/FakeDevice.h"

namespace {

using namespace std::chrono_literals;
using devtest::messages;
using testsupport::Bytes;
using testsupport::FakeDevice;

constexpr int kPulseModel = 7;  // ДОРН-ТИ1-xxx-М
constexpr int kPlainModel = 3;  // ДОРН-Т1-xxx-М: no pulse output

// The transducer's line is the last of a full port list: position 256, which
// an 8-bit port index would turn into 0, "no port".
constexpr int kDevicePort = 256;
// A name in the list that opens nothing.
constexpr int kMissingPort = 1;

const Bytes kReadRequest = {0x80, 0, 0, 0, 0, 0, 0, 0x0D};
// Diameter 50 (code 5), A = 1.5, B = -0.25: A 15000, B -2500 as two's complement.
const Bytes kFrame50 = {0x00, 0x3A, 0x98, 0x01, 0xF6, 0x3C, 0x05, 0x0D};
// Diameter 25 (code 2), A = 0.12, B = 0: A 12000 sent doubled as 24000.
const Bytes kFrame25 = {0x01, 0x5D, 0xC0, 0x00, 0x00, 0x00, 0x1E, 0x0D};

// One page: its state, the real worker with a short read timeout, and the
// controller over both. The port list is replaced while the page lives.
struct Page {
    explicit Page(int model) : state(model), controller(state, worker, console) {
        std::vector<std::string> names;
        for (int i = 1; i < kDevicePort; ++i) names.push_back("/nonexistent/dorn-" + std::to_string(i));
        names.push_back(device.SlavePath());
        comprt::ComPort::ReplacePortList(comprt::ComPort::ComList(names));
        worker.setReadTimeout(300);
        worker.Start(notifier);
    }
    ~Page() {
        worker.Stop();
        comprt::ComPort::ReplacePortList(saved);
    }

    // Hands the worker's results to the controller until the page is idle;
    // the codes handled, in order.
    std::vector<int> run() {
        std::vector<int> codes;
        while (controller.busy()) {
            const auto result = notifier.nextResult(5s);
            if (!result) {
                ADD_FAILURE() << "no result within 5 s";
                break;
            }
            codes.push_back(controller.HandleResult(result->param1 != 0).code);
        }
        return codes;
    }

    void open() {
        controller.cbPortChange(kDevicePort);
        run();
        ASSERT_EQ(controller.port(), kDevicePort);
    }

    comprt::ComPort::ComList saved = comprt::ComPort::PortList();
    FakeDevice device;
    Console console;
    DornPageState state;
    WaitingNotifier notifier;
    DornThread worker;
    DornPageController controller;
};

TEST(DornPage, PortChoiceOpensTheLastPortOfAFullListAndFallsBackWhenItFails) {
    Page page(kPulseModel);
    page.controller.cbPortChange(kDevicePort);
    EXPECT_TRUE(page.controller.busy());
    EXPECT_EQ(page.controller.port(), kDevicePort) << "selected at once";
    EXPECT_FALSE(page.controller.canExchange());
    EXPECT_EQ(page.run(), std::vector<int>{dorn::kOpenPort});
    EXPECT_EQ(page.controller.port(), kDevicePort);
    EXPECT_TRUE(page.controller.canExchange());

    for (const int position : {kMissingPort, kDevicePort + 1}) {
        SCOPED_TRACE(position);
        page.controller.cbPortChange(position);
        page.run();
        EXPECT_EQ(page.controller.port(), 0) << "the selector returns to \"-------\"";
        EXPECT_FALSE(page.controller.canExchange());
    }
    EXPECT_TRUE(page.console.lines().empty()) << "an open result is never logged";
}

TEST(DornPage, ModelWithoutPulseOutputNeverReadsOrWrites) {
    Page page(kPlainModel);
    page.open();
    EXPECT_FALSE(page.controller.canExchange());
}

TEST(DornPage, ReadShowsTheAnswerAtThePagesDiameter) {
    Page page(kPulseModel);
    page.device.OnRequest(kReadRequest).Answer(kFrame25);
    page.device.OnRequest(kReadRequest).Answer(kFrame50);
    page.device.Start();
    page.open();
    page.state.a().setValue(5.0);
    page.state.b().setValue(5.0);

    page.controller.bnReadClick();
    EXPECT_TRUE(page.controller.busy());
    EXPECT_FALSE(page.controller.canExchange());
    EXPECT_EQ(page.run(), std::vector<int>{dorn::kReadCoefficients});
    EXPECT_EQ(page.state.a().value(), 0.12);
    EXPECT_EQ(page.state.b().value(), 0.0);

    page.state.selectDiameter(3);  // 50: scale 10000
    page.controller.bnReadClick();
    page.run();
    EXPECT_EQ(page.state.a().value(), 1.5);
    EXPECT_EQ(page.state.b().value(), -0.25);

    EXPECT_EQ(messages(page.console), (std::vector<std::string>{"Параметры считаны", "Параметры считаны"}));
    EXPECT_TRUE(page.device.Finished()) << page.device.Mismatch();
    EXPECT_TRUE(page.controller.canExchange());
}

TEST(DornPage, WriteSendsThePagesCoefficientsAndRefusesASecondRequestWhileBusy) {
    Page page(kPulseModel);
    page.device.OnRequest(kFrame50).Answer(kFrame50);
    page.device.Start();
    page.open();
    page.state.selectDiameter(3);  // 50
    page.state.a().setValue(1.5);
    page.state.b().setValue(-0.25);

    page.controller.bnWriteClick();
    ASSERT_TRUE(page.controller.busy());
    // The slot stays pending until its result is handled, whatever the
    // worker has done meanwhile.
    try {
        page.controller.bnReadClick();
        ADD_FAILURE() << "a second request was taken";
    } catch (const std::exception& error) {
        EXPECT_STREQ(error.what(), "Queue is not empty");
    }
    EXPECT_TRUE(page.controller.busy());

    EXPECT_EQ(page.run(), std::vector<int>{dorn::kWriteCoefficients});
    EXPECT_EQ(messages(page.console), std::vector<std::string>{"Параметры записаны"});
    EXPECT_TRUE(page.device.Finished()) << page.device.Mismatch();
    EXPECT_EQ(page.device.Received(), kFrame50) << "nothing but the write was sent";
    EXPECT_FALSE(page.controller.busy());
}

struct FailureCase {
    const char* what;
    bool write;  // bnWrite, else bnRead
    double a;    // at diameter 25
    std::vector<FakeDevice::Step> script;
    std::string logged;
    Bytes sent;
};

TEST(DornPage, FailuresAreLoggedLeaveTheFieldsAndKeepThePortOpen) {
    Bytes badEcho = kFrame25;
    badEcho[2] ^= 1;
    const FailureCase cases[] = {
        {"echo differs", true, 0.12, {{kFrame25, badEcho}}, "Ошибка обмена", kFrame25},
        {"no answer", false, 0.12, {{kReadRequest, {}}}, "Прибор не отвечает", kReadRequest},
        {"A out of range: 40000 when doubled", true, 0.2, {}, "Недопустимые значения коэффициентов A и/или B", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Page page(kPulseModel);
        for (const auto& step : c.script) page.device.Add(step);
        page.device.Start();
        page.open();
        page.state.a().setValue(c.a);
        page.state.b().setValue(0.0);

        if (c.write)
            page.controller.bnWriteClick();
        else
            page.controller.bnReadClick();
        page.run();
        EXPECT_EQ(messages(page.console), std::vector<std::string>{c.logged});
        EXPECT_EQ(page.state.a().value(), c.a);
        EXPECT_EQ(page.state.b().value(), 0.0);
        EXPECT_TRUE(page.device.Finished()) << page.device.Mismatch();
        EXPECT_EQ(page.device.Received(), c.sent);
        EXPECT_EQ(page.controller.port(), kDevicePort);
        EXPECT_TRUE(page.controller.canExchange());
    }
}

}  // namespace
