// A worker that owns a real port, as the device pages' workers do, talking
// to a scripted device on a pseudo-terminal.

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <filesystem>

#include "comprt/ComPort.h"
#include "link/QueueThread.h"
#include "link/WaitingNotifier.h"
#include "support/FakeDevice.h"
#include "support/PtyPair.h"

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

    // As every device worker does: a port gone away is waited for.
    bool PortAway() const override { return m_port.Lost(); }
    bool PortBack() override {
        ++looks;
        return m_port.Reopen();
    }

public:
    std::atomic<int> looks{0};  // calls of PortBack

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

namespace {

// Processor time of the whole test process (every thread), user and system.
std::chrono::microseconds ProcessTime() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto us = [](const timeval& t) { return std::chrono::seconds(t.tv_sec) + std::chrono::microseconds(t.tv_usec); };
    return us(usage.ru_utime) + us(usage.ru_stime);
}

// Points `link` at `target`, replacing what it pointed at in one step, as
// udev does with a by-id name.
void PointLink(const std::filesystem::path& link, const std::string& target) {
    const std::filesystem::path temp = link.string() + ".new";
    std::filesystem::remove(temp);
    std::filesystem::create_symlink(target, temp);
    std::filesystem::rename(temp, link);
}

}  // namespace

// An adapter known by a stable name (a symbolic link, as its by-id name is)
// is unplugged: its pseudo-terminal goes and the link with it. The request
// on the line fails with "Порт отключён: <name>" after the port message;
// while the port is away the worker sleeps between its looks (the process
// spends under 1 % of a core over ten seconds) and looks at a modest rate;
// a fresh pseudo-terminal behind the same link is opened by the worker by
// itself, with the port message, and the next request works on it.
TEST(QueuePort, VanishedPortIsWaitedForWithoutSpinningAndReopenedBehindItsLink) {
    using namespace std::chrono_literals;
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(::testing::TempDir()) / ("adapter-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path link = dir / "usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0";

    auto pty = std::make_unique<PtyPair>();
    PointLink(link, pty->SlavePath());
    WaitingNotifier pump;
    PortWorker worker;
    worker.Start(pump);
    worker.Slot().path = link.string();
    worker.Slot().timeout = 1000;
    worker.Post(kOpen, 0);
    ASSERT_EQ(nextOutcome(pump), 1) << worker.Front().error;
    worker.Pop();

    // Unplugged while the request waits for its answer.
    worker.Post(kAsk, 0);
    ASSERT_EQ(pty->Receive(1), std::vector<std::uint8_t>{'?'});
    pty.reset();
    fs::remove(link);
    auto gone = pump.next(10s);
    ASSERT_TRUE(gone);
    EXPECT_EQ(gone->message, QueueNotifier::kPortMessage);
    EXPECT_EQ(gone->param1, 0);
    EXPECT_EQ(nextOutcome(pump), 0);
    EXPECT_EQ(worker.Front().error, "Порт отключён: " + link.string());
    worker.Pop();

    const int looksBefore = worker.looks.load();
    const auto cpuBefore = ProcessTime();
    EXPECT_FALSE(pump.next(10s)) << "nothing to tell while the port is away";
    const auto cpu = ProcessTime() - cpuBefore;
    const int looks = worker.looks.load() - looksBefore;
    EXPECT_LT(cpu, 100ms) << "the wait spins";
    EXPECT_GE(looks, 5) << "the worker does not look for its port";
    EXPECT_LE(looks, 30) << "the worker looks too often";

    // Plugged in again: a new pseudo-terminal under the same name.
    pty = std::make_unique<PtyPair>();
    PointLink(link, pty->SlavePath());
    const auto back = pump.next(5s);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->message, QueueNotifier::kPortMessage);
    EXPECT_EQ(back->param1, 1);

    pty->Send({'!'});
    worker.Post(kAsk, 0);
    ASSERT_EQ(nextOutcome(pump), 1) << worker.Front().error;
    EXPECT_EQ(worker.Front().param.reply, '!');
    worker.Pop();
    EXPECT_EQ(pty->Receive(1), std::vector<std::uint8_t>{'?'});
    worker.Stop();
    fs::remove_all(dir);
}
