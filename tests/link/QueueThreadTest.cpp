#include "link/QueueThread.h"

#include <condition_variable>
#include <future>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "link/WaitingNotifier.h"

namespace qc = queue_condition;

namespace {

struct TestParam {
    int input = 0;
    int output = 0;
};

enum Code : std::int32_t {
    kDouble = 1,      // output = 2 * input
    kNoAnswer,        // fails with a message error
    kBareText,        // fails with a bare text
    kStdString,       // fails with a std::string
    kOtherException,  // fails with a std::exception that is no message error
    kNotAnError,      // throws something that is no error type at all
    kWait,            // waits until the test opens the gate, then succeeds
    kActivity,        // sends the activity notification, then succeeds
};

// How long the test's message pump waits for a notification before the
// test fails.
constexpr std::chrono::seconds kPumpLimit{10};

class TestWorker : public QueueThread<TestParam> {
public:
    ~TestWorker() override { Stop(); }

    void OpenGate() {
        std::lock_guard lock(m_mutex);
        m_gateOpen = true;
        m_gate.notify_all();
    }
    // Codes in the order Process saw them.
    std::vector<int> Executed() {
        std::lock_guard lock(m_mutex);
        return m_executed;
    }

protected:
    void Process(std::int32_t code, TestParam& param) override {
        {
            std::lock_guard lock(m_mutex);
            m_executed.push_back(code);
        }
        switch (code) {
        case kDouble: param.output = 2 * param.input; return;
        case kNoAnswer: throw UserError("Прибор не отвечает");
        case kBareText: throw "Ошибка контрольной суммы";
        case kStdString: throw std::string("Ошибка записи");
        case kOtherException: throw std::out_of_range("index");
        case kNotAnError: throw 42;
        case kWait: {
            std::unique_lock lock(m_mutex);
            m_gate.wait(lock, [&] { return m_gateOpen; });
            return;
        }
        case kActivity: Notify(QueueNotifier::kActivityMessage, 1); return;
        }
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_gate;
    bool m_gateOpen = false;
    std::vector<int> m_executed;
};

// One handled notification, as a page's result handler sees it.
struct Result {
    std::intptr_t ok;
    std::int32_t code;
    int output;
    std::string error;
};

class QueueThreadTest : public ::testing::Test {
protected:
    void SetUp() override { m_worker.Start(m_pump); }

    void Post(std::int32_t code, std::uint32_t condition, int input = 0) {
        m_worker.Slot().input = input;
        m_worker.Post(code, condition);
    }

    // The page's side: waits for the next result notification, reads the
    // front slot and frees it.
    Result Handle() {
        const auto message = m_pump.next(kPumpLimit);
        if (!message) {
            ADD_FAILURE() << "no notification";
            return {-1, 0, 0, {}};
        }
        EXPECT_EQ(message->message, QueueNotifier::kResultMessage);
        EXPECT_NE(message->sender, std::this_thread::get_id());
        const auto& item = m_worker.Front();
        Result result{message->param1, item.code, item.param.output, item.error};
        m_worker.Pop();
        return result;
    }

    std::string PostError(std::int32_t code, std::uint32_t condition) {
        try {
            Post(code, condition);
        } catch (const UserError& error) {
            return error.what();
        }
        return {};
    }

    WaitingNotifier m_pump;
    TestWorker m_worker;
};

}  // namespace

TEST_F(QueueThreadTest, ExecutesInOrderAndNotifiesFromTheWorker) {
    Post(kDouble, 0, 1);
    Post(kDouble, qc::kForce, 2);
    Post(kActivity, qc::kForce);
    Post(kDouble, qc::kForce, 3);

    EXPECT_EQ(Handle().output, 2);
    EXPECT_EQ(Handle().output, 4);
    const auto lamp = m_pump.next(kPumpLimit);
    ASSERT_TRUE(lamp);
    EXPECT_EQ(lamp->message, QueueNotifier::kActivityMessage);
    EXPECT_EQ(lamp->param1, 1);
    EXPECT_EQ(Handle().code, kActivity);
    const Result last = Handle();
    EXPECT_EQ(last.ok, 1);
    EXPECT_EQ(last.output, 6);
    EXPECT_EQ(m_worker.Pending(), 0);
}

TEST_F(QueueThreadTest, TenthRequestOverflows) {
    Post(kWait, 0);
    for (int i = 1; i < 9; ++i) Post(kDouble, qc::kForce, i);
    EXPECT_EQ(m_worker.Pending(), 9);
    EXPECT_EQ(PostError(kDouble, qc::kForce), "Queue overflow");
    EXPECT_EQ(PostError(kDouble, qc::kDropQuietly | qc::kForce), "Queue overflow");
    EXPECT_EQ(m_worker.Pending(), 9);

    m_worker.OpenGate();
    EXPECT_EQ(Handle().code, kWait);
    for (int i = 1; i < 9; ++i) EXPECT_EQ(Handle().output, 2 * i);
    // The ring wraps: a full round of slots again.
    Post(kDouble, 0, 50);
    EXPECT_EQ(Handle().output, 100);
}

TEST_F(QueueThreadTest, BusyQueueRefusesOrDropsWithoutDisturbingThePendingRequest) {
    Post(kWait, 0, 7);
    EXPECT_EQ(PostError(kDouble, 0), "Queue is not empty");
    EXPECT_EQ(PostError(kDouble, qc::kDropQuietly), "");
    EXPECT_EQ(PostError(kDouble, qc::kBackground), "Queue is not empty");
    EXPECT_EQ(m_worker.Pending(), 1);

    m_worker.OpenGate();
    const Result result = Handle();
    EXPECT_EQ(result.code, kWait);
    EXPECT_EQ(m_worker.Executed(), (std::vector<int>{kWait}));
    EXPECT_EQ(m_pump.queued(), 0u);
}

TEST_F(QueueThreadTest, BackgroundRequestsMakeNoOneWait) {
    Post(kWait, qc::kBackground);
    // A foreground request joins a queue of background ones...
    EXPECT_EQ(PostError(kDouble, 0), "");
    // ...but a background request goes only into an empty queue, unless forced.
    EXPECT_EQ(PostError(kDouble, qc::kBackground), "Queue is not empty");
    EXPECT_EQ(PostError(kDouble, qc::kBackground | qc::kForce), "");
    // Now a foreground request waits, so the next one is refused.
    EXPECT_EQ(PostError(kDouble, 0), "Queue is not empty");
    EXPECT_EQ(m_worker.Pending(), 3);
    m_worker.OpenGate();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Handle().ok, 1);
}

TEST_F(QueueThreadTest, SequenceStopsAtItsFirstFailure) {
    Post(kWait, 0);
    Post(kNoAnswer, qc::kForce);
    Post(kDouble, qc::kAfterSuccess, 1);
    Post(kDouble, qc::kAfterSuccess, 2);
    // Independent of the failure: forced, no dependency.
    Post(kDouble, qc::kForce, 3);
    m_worker.OpenGate();

    EXPECT_EQ(Handle().ok, 1);
    const Result failed = Handle();
    EXPECT_EQ(failed.ok, 0);
    EXPECT_EQ(failed.error, "Прибор не отвечает");
    for (int i = 0; i < 2; ++i) {
        const Result skipped = Handle();
        EXPECT_EQ(skipped.ok, 1);
        EXPECT_EQ(skipped.code, -1);
    }
    EXPECT_EQ(Handle().output, 6);
    EXPECT_EQ(m_worker.Executed(), (std::vector<int>{kWait, kNoAnswer, kDouble}));

    // The same sequence without the failure runs through.
    Post(kDouble, 0, 4);
    Post(kDouble, qc::kAfterSuccess, 5);
    Post(kDouble, qc::kAfterSuccess, 6);
    for (int expected : {8, 10, 12}) EXPECT_EQ(Handle().output, expected);
}

TEST_F(QueueThreadTest, DependencyMaskLooksFurtherBack) {
    // Bit 1 of the mask: the request two places before must have failed.
    const std::uint32_t afterFailureTwoBack = qc::kForce | 0x0200u;
    Post(kWait, 0);
    Post(kNoAnswer, qc::kForce);
    Post(kDouble, qc::kForce, 1);
    Post(kDouble, afterFailureTwoBack, 2);   // two back: kNoAnswer failed -> runs
    Post(kDouble, afterFailureTwoBack, 3);   // two back: kDouble succeeded -> skipped
    m_worker.OpenGate();
    Handle();
    Handle();
    EXPECT_EQ(Handle().output, 2);
    EXPECT_EQ(Handle().output, 4);
    EXPECT_EQ(Handle().code, -1);
}

TEST_F(QueueThreadTest, FailureTextOfEveryKindGoesIntoTheSlot) {
    const struct {
        Code code;
        const char* error;
    } cases[] = {
        {kNoAnswer, "Прибор не отвечает"},
        {kBareText, "Ошибка контрольной суммы"},
        {kStdString, "Ошибка записи"},
        {kOtherException, "index"},
        {kNotAnError, "Unknown error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        Post(c.code, 0);
        const Result result = Handle();
        EXPECT_EQ(result.ok, 0);
        EXPECT_EQ(result.code, c.code);
        EXPECT_EQ(result.error, c.error);
    }
    // The worker goes on after every failure.
    Post(kDouble, 0, 21);
    EXPECT_EQ(Handle().output, 42);
}

TEST_F(QueueThreadTest, StopFinishesTheQueuedRequestsFirst) {
    Post(kWait, 0);
    Post(kDouble, qc::kForce, 1);
    Post(kNoAnswer, qc::kForce);
    auto stopped = std::async(std::launch::async, [&] { m_worker.Stop(); });
    EXPECT_EQ(stopped.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    m_worker.OpenGate();
    ASSERT_EQ(stopped.wait_for(std::chrono::seconds(10)), std::future_status::ready);

    EXPECT_EQ(m_worker.Executed(), (std::vector<int>{kWait, kDouble, kNoAnswer}));
    EXPECT_EQ(m_pump.queued(), 3u);
    EXPECT_EQ(m_worker.History() & 0b111u, 0b110u);
    m_worker.Stop();  // a second Stop does nothing
}

TEST(QueueThread, DestroyingAWorkerWaitsForItsRequest) {
    WaitingNotifier pump;
    std::thread opener;
    {
        TestWorker worker;
        worker.Start(pump);
        worker.Post(kWait, 0);
        worker.Slot().input = 5;
        worker.Post(kDouble, qc::kForce);
        opener = std::thread([&] { worker.OpenGate(); });
        // The destructor returns only after both requests have run.
    }
    opener.join();
    EXPECT_EQ(pump.queued(), 2u);
}
