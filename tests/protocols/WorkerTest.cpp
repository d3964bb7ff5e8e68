// The workers over real pseudo-terminals against devsim: notifications,
// failure texts, and the next request working after a failure.

#include <gtest/gtest.h>

#include "devices/dorn/DornProtocol.h"
#include "devices/nivor/NivorProtocol.h"
#include "devices/rv/RvReplies.h"
#include "devices/rv/RvWorker.h"
#include "link/WaitingNotifier.h"
#include "support/Devsim.h"

namespace {

using namespace std::chrono_literals;

// Puts devsim's ports into the program's port list; returns the 1-based
// index of `path`.
std::uint8_t usePort(const std::string& path) {
    comprt::ComPort::ReplacePortList(comprt::ComPort::ComList(std::vector<std::string>{path}));
    return 1;
}

template <class T>
struct Completion {
    bool ok = false;
    T param{};
    std::string error;
    std::int32_t code = 0;
};

template <class T>
Completion<T> complete(QueueThread<T>& worker, WaitingNotifier& pump, int* activity = nullptr) {
    const auto done = pump.nextResult(10s, activity);
    if (!done) throw std::runtime_error("no completion");
    auto& item = worker.Front();
    Completion<T> c{done->param1 == 1, item.param, item.error, item.code};
    worker.Pop();
    return c;
}

class RvWorker : public ::testing::Test {
protected:
    testsupport::Devsim sim{DEVSIM_PATH, {"--only", "rv"}};
    WaitingNotifier pump;
    RVx2Thread worker;
    rv::FrameBuffer frame{};

    void SetUp() override {
        worker.Start(pump);
        rv::postOpen(worker, usePort(sim.path("rv")), 9600);
        ASSERT_TRUE(complete(worker, pump).ok);
    }
    Completion<RVx2Common> readAddress(int* activity = nullptr) {
        rv::sendRequest(worker, frame, 1, rv::FnRead, rv::RegAddress, 0, 1);
        return complete(worker, pump, activity);
    }
};

TEST_F(RvWorker, ExchangeSignalsTransmitAndReceive) {
    std::vector<WaitingNotifier::Notification> seen;
    rv::sendRequest(worker, frame, 1, rv::FnRead, rv::RegAddress, 0, 1);
    for (int i = 0; i < 3; ++i) seen.push_back(*pump.next(5s));
    EXPECT_EQ(seen[0].message, QueueNotifier::kActivityMessage);
    EXPECT_EQ(seen[0].param1, 1);
    EXPECT_EQ(seen[1].message, QueueNotifier::kActivityMessage);
    EXPECT_EQ(seen[1].param1, 0);
    EXPECT_EQ(seen[2].message, QueueNotifier::kResultMessage);
    EXPECT_EQ(seen[2].param1, 1);
    const std::size_t count = rv::takeReply(worker.Front().param, frame);
    worker.Pop();
    EXPECT_EQ(count, 6u);
    EXPECT_EQ(frame[3], 1);  // the address register
}

TEST_F(RvWorker, SilenceFailsWithoutReceiveSignalAndTheNextExchangeWorks) {
    ASSERT_EQ(sim.control("rv fault silent"), "ok");
    int activity = 0;
    const auto failed = readAddress(&activity);
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.error, "Прибор не отвечает");
    EXPECT_EQ(activity, 1);  // transmitting only
    ASSERT_EQ(sim.control("rv fault garbage"), "ok");
    const auto garbage = readAddress();
    ASSERT_TRUE(garbage.ok);  // bytes arrived: the page drops them by their CRC
    rv::FrameBuffer reply{};
    Console console;
    rv::ReplyHandler ignore;
    // devsim's garbage has bit 7 of byte 1 set: an error reply whose CRC
    // fails, dropped without a message.
    EXPECT_EQ(rv::dispatchReply(reply, rv::takeReply(garbage.param, reply), ignore, console).outcome,
              rv::ReplyOutcome::BadErrorReply);
    EXPECT_TRUE(console.lines().empty());
    ASSERT_EQ(sim.control("rv fault none"), "ok");
    EXPECT_TRUE(readAddress().ok);
}

TEST_F(RvWorker, BusyQueueDropsFurtherPollsQuietly) {
    // Seven pending: the eighth is posted with "drop quietly" and, the queue
    // being busy, disappears without an error.
    for (int i = 0; i < 8; ++i) rv::sendRequest(worker, frame, 1, rv::FnRead, rv::RegAddress, 0, 1);
    EXPECT_EQ(worker.Pending(), 7);
    for (int i = 0; i < 7; ++i) EXPECT_TRUE(complete(worker, pump).ok);
}

TEST_F(RvWorker, ClosedPortRefusesExchanges) {
    rv::postClose(worker);
    EXPECT_TRUE(complete(worker, pump).ok);
    const auto r = readAddress();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "COM-порт не открыт");
}

TEST(DornWorker, RangeIsCheckedBeforeThePortAndClosedPortIsReported) {
    WaitingNotifier pump;
    DornThread worker;
    worker.Start(pump);
    DornCommon& slot = worker.Slot();
    slot.du = 2;
    slot.A = 0.2;
    worker.Post(dorn::kWriteCoefficients, 0);
    EXPECT_EQ(complete(worker, pump).error, "Недопустимые значения коэффициентов A и/или B");
    worker.Slot().A = 0.12;
    worker.Post(dorn::kWriteCoefficients, 0);
    EXPECT_EQ(complete(worker, pump).error, "COM-порт не открыт");
}

TEST(DornWorker, HangUpMidAnswerIsThePortGoneAndTheWorkerReopensIt) {
    testsupport::Devsim sim{DEVSIM_PATH, {"--only", "dorn"}};
    WaitingNotifier pump;
    DornThread worker;
    worker.setReadTimeout(300);
    worker.Start(pump);
    const std::uint8_t port = usePort(sim.path("dorn"));
    worker.Slot().port = port;
    worker.Post(dorn::kOpenPort, 0);
    ASSERT_TRUE(complete(worker, pump).ok);
    ASSERT_EQ(sim.control("dorn fault hangup"), "ok");
    worker.Slot().du = 2;
    worker.Post(dorn::kReadCoefficients, 0);
    EXPECT_EQ(complete(worker, pump).error, "Порт отключён: " + sim.path("dorn"));
    ASSERT_EQ(sim.control("dorn fault none"), "ok");
    // The line was replaced behind the same link: the worker opens it again
    // by itself and says so.
    const auto back = pump.next(5s);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->message, QueueNotifier::kPortMessage);
    EXPECT_EQ(back->param1, 1);
    worker.Slot().du = 2;
    worker.Post(dorn::kReadCoefficients, 0);
    const auto r = complete(worker, pump);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_DOUBLE_EQ(r.param.A, 0.12);
}

TEST(NivorWorker, PollBeforeAnyMeasurementAndTemperature) {
    testsupport::Devsim sim{DEVSIM_PATH, {"--only", "nivor", "--nivor", "temp1=0", "--nivor", "voltage=16"}};
    WaitingNotifier pump;
    SpprThread worker;
    worker.Start(pump);
    worker.Slot().setPort(usePort(sim.path("nivor")));
    worker.Post(nivor::kOpenPort, 0);
    ASSERT_TRUE(complete(worker, pump).ok);

    worker.Slot().setCommand(nivor::kPoll);
    worker.Post(nivor::kCommand, 0);
    const auto poll = complete(worker, pump);
    ASSERT_TRUE(poll.ok) << poll.error;
    // No measurement yet: the state byte alone (reply code 9), with the
    // supply voltage code.
    EXPECT_EQ(poll.param.replyCode(), 9);
    EXPECT_EQ(poll.param.state() & nivor::kVoltageMask, 16);

    worker.Slot().setCommand(nivor::kTemperature);
    worker.Slot().setSensor(0);
    worker.Post(nivor::kCommand, 0);
    const auto t = complete(worker, pump);
    ASSERT_TRUE(t.ok) << t.error;
    EXPECT_NEAR(t.param.temperature(0), 0.0, 0.1);
    EXPECT_NEAR(t.param.temperature(1), 21.0, 0.1);

    // A failed start makes the dependent next step skip (code -1).
    ASSERT_EQ(sim.control("nivor fault silent"), "ok");
    worker.setReadTimeout(200);
    worker.Slot().setCommand(nivor::kTemperature);
    worker.Post(nivor::kCommand, 0);
    worker.Slot().setCommand(nivor::kTimeStop);
    worker.Slot().setTime(1.0);
    worker.Post(nivor::kCommand, queue_condition::kAfterSuccess);
    EXPECT_EQ(complete(worker, pump).error, "Прибор не отвечает");
    const auto skipped = complete(worker, pump);
    EXPECT_TRUE(skipped.ok);
    EXPECT_EQ(skipped.code, -1);
}

}  // namespace
