// Thousands of requests through the ring with random outcomes and
// dependency masks, posted and handled by one "window" thread exactly as a
// page does it. Also built with ThreadSanitizer (see CMakeLists.txt).

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "link/QueueThread.h"
#include "link/WaitingNotifier.h"

namespace qc = queue_condition;

namespace {

struct Request {
    int sequence = -1;  // the page's number for the request
    bool fail = false;  // what the device will do with it
    int result = 0;     // filled by the worker
};

class StressWorker : public QueueThread<Request> {
public:
    ~StressWorker() override { Stop(); }
    // Sequence numbers in the order Process ran them; read after Stop.
    const std::vector<int>& Executed() const { return m_executed; }

protected:
    void Process(std::int32_t, Request& request) override {
        m_executed.push_back(request.sequence);
        // Vary the interleaving with the window thread a little.
        if (request.sequence % 7 == 0) std::this_thread::yield();
        if (request.fail) throw UserError("fail " + std::to_string(request.sequence));
        request.result = request.sequence * 3 + 1;
    }

private:
    std::vector<int> m_executed;  // worker thread only
};

// What the page must see for one request: the worker's rules replayed.
struct Expected {
    std::intptr_t ok;
    bool skipped;
    bool executed;
};

}  // namespace

TEST(QueueStress, EveryNotificationArrivesOnceInOrderWithItsOutcome) {
    constexpr int kRequests = 4000;
    std::mt19937 random(20240605);

    // The script: a random outcome and a random dependency on up to two of
    // the last eight requests; replay the worker's history to know the result.
    struct Planned {
        bool fail;
        std::uint32_t condition;
    };
    std::vector<Planned> plan;
    std::vector<Expected> expected;
    std::vector<int> expectedExecuted;
    std::uint32_t history = 0;
    for (int i = 0; i < kRequests; ++i) {
        std::uint32_t mask = 0;
        const int dependencies = static_cast<int>(random() % 3);
        for (int d = 0; d < dependencies; ++d) mask |= 1u << (random() % 8);
        const std::uint32_t wanted = random() & 0xFFu;
        const bool fail = random() % 4 == 0;
        plan.push_back({fail, qc::kForce | (mask << 8) | wanted});
        const bool skipped = (wanted & mask) != (history & mask);
        if (skipped) {
            expected.push_back({1, true, false});
            history <<= 1;
        } else {
            expected.push_back({fail ? 0 : 1, false, true});
            expectedExecuted.push_back(i);
            history = (history << 1) | (fail ? 0u : 1u);
        }
    }

    WaitingNotifier pump;
    StressWorker worker;
    worker.Start(pump);
    int posted = 0;
    int handled = 0;
    int wrong = 0;
    int overflows = 0;
    while (handled < kRequests) {
        // Post a random burst, up to a full ring; handle the rest of the time.
        const int burst = static_cast<int>(random() % 12);
        for (int b = 0; b < burst && posted < kRequests; ++b) {
            Request& slot = worker.Slot();
            slot.sequence = posted;
            slot.fail = plan[posted].fail;
            slot.result = 0;
            // The first request into an empty queue goes without force.
            const std::uint32_t condition =
                worker.Pending() == 0 ? plan[posted].condition & ~qc::kForce : plan[posted].condition;
            if (worker.Pending() == 9) {
                try {
                    worker.Post(1, condition);
                    ADD_FAILURE() << "a tenth request was taken";
                    return;
                } catch (const UserError& error) {
                    EXPECT_STREQ(error.what(), kQueueOverflow);
                    ++overflows;
                }
                break;
            }
            worker.Post(1, condition);
            ++posted;
        }
        const int handle = 1 + static_cast<int>(random() % 4);
        for (int h = 0; h < handle && handled < posted; ++h) {
            const auto notification = pump.next(std::chrono::seconds(10));
            ASSERT_TRUE(notification) << "notification " << handled << " missing";
            ASSERT_EQ(notification->message, QueueNotifier::kResultMessage);
            const std::intptr_t ok = notification->param1;
            const auto& item = worker.Front();
            const Expected& want = expected[handled];
            const bool right = ok == want.ok && item.param.sequence == handled &&
                               (want.skipped ? item.code == -1 : item.code == 1) &&
                               (want.ok == 0 ? item.error == "fail " + std::to_string(handled)
                                             : want.skipped || item.param.result == handled * 3 + 1);
            if (!right && ++wrong <= 5) {
                ADD_FAILURE() << "request " << handled << ": notified " << ok << " code " << item.code
                              << " sequence " << item.param.sequence << " error '" << item.error
                              << "'";
            }
            worker.Pop();
            ++handled;
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(overflows, 0);  // the script did fill the ring
    EXPECT_EQ(worker.Pending(), 0);
    worker.Stop();
    EXPECT_EQ(pump.queued(), 0u) << "a notification arrived twice";
    EXPECT_EQ(worker.Executed(), expectedExecuted);
    EXPECT_EQ(worker.History(), history);
}
