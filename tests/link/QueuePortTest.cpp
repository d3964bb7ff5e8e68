// A worker that owns a real port, as the device pages' workers do, talking
// to a scripted device on a pseudo-terminal.

#include <gtest/gtest.h>

#include "comprt/ComPort.h"
#include "link/QueueThread.h"
#include "link/WaitingNotifier.h"
#include "support/FakeDevice.h"

using testsupport::FakeDevice;

namespace {

struct PortRequest {
    std::string path;       // kOpen
    std::uint32_t timeout = 0;  // kOpen: read total constant, ms
    std::uint8_t reply = 0;  // kAsk: the device's answer
};

enum : std::int32_t { kOpen = 1, kAsk = 2 };

class PortWorker : public QueueThread<PortRequest> {
public:
    ~PortWorker() override { Stop(); }

protected:
    void Process(std::int32_t code, PortRequest& request) override {
        if (code == kOpen) {
            m_port.Open(request.path, 9600, request.timeout, 0);
        } else {
            m_port.Write("?", 1);
            m_port.Read(&request.reply, 1);
        }
    }

private:
    comprt::ComPort m_port;
};

// The outcome of the next notification; -1 when none comes in ten seconds.
std::intptr_t nextOutcome(WaitingNotifier& pump) {
    const auto notification = pump.next(std::chrono::seconds(10));
    return notification ? notification->param1 : -1;
}

}  // namespace

// The page is closed while its request waits for the device: Stop returns
// only once that request has its answer or has timed out, and its
// notification is already sent by then.
TEST(QueuePort, StopWhileARequestWaitsForItsReply) {
    using namespace std::chrono_literals;
    const struct {
        const char* name;
        bool answers;
        std::uint32_t timeout;
    } cases[] = {
        {"late answer", true, 5000},
        {"no answer", false, 200},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeDevice device;
        if (c.answers)
            device.OnRequest({'?'}).Answer({'!'}).After(150ms);
        else
            device.OnRequest({'?'}).Silent();
        device.Start();

        WaitingNotifier pump;
        PortWorker worker;
        worker.Start(pump);
        worker.Slot().path = device.SlavePath();
        worker.Slot().timeout = c.timeout;
        worker.Post(kOpen, 0);
        ASSERT_EQ(nextOutcome(pump), 1) << worker.Front().error;
        worker.Pop();

        worker.Post(kAsk, 0);
        // The request is on the line: the worker now waits in its read.
        ASSERT_TRUE(device.WaitReceived(1));
        worker.Stop();

        ASSERT_EQ(pump.queued(), 1u);
        const auto& item = worker.Front();
        if (c.answers) {
            EXPECT_EQ(nextOutcome(pump), 1);
            EXPECT_EQ(item.param.reply, '!');
        } else {
            EXPECT_EQ(nextOutcome(pump), 0);
            EXPECT_EQ(item.error, "Прибор не отвечает");
        }
        EXPECT_TRUE(device.Finished()) << device.Mismatch();
    }
}
