// Every device of the bench against every way its line can fail, through the
// toolkit-free page controllers and their real workers on devsim's ports:
// the request meets the fault and the page shows the message the user
// would read, the page still takes requests while the fault lasts, and once
// the fault is gone the same request works again. One test per row.

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "common/Console.h"
#include "comprt/ComPort.h"
#include "devices/dorn/DornPageController.h"
#include "devices/kelt/KeltPageController.h"
#include "devices/nivor/SpprController.h"
#include "devices/rv/RvPageController.h"
#include "link/WaitingNotifier.h"
#include "support/Devsim.h"

namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

// How long one request may take to come back, fault or not.
constexpr auto kResultLimit = 10s;

// ------------------------------------------------------------------ benches

// One page of one device on devsim's port: its controller, its worker (with
// the read timeouts cut short where the worker allows it) and the console.
// The port list holds devsim's port alone, at index 1.
class Bench {
public:
    virtual ~Bench() { comprt::ComPort::ReplacePortList(m_saved); }

    // devsim's name of the device.
    virtual std::string name() const = 0;
    // Picks the port in the page's selector (or opens it with the page's
    // button); true when the page shows it open.
    virtual bool open() = 0;
    // The page's usual request, run until the page is idle again.
    virtual void request() = 0;
    // The request's result is on the page (its field, its line).
    virtual bool succeeded() = 0;
    // Not busy: the page's buttons are enabled again.
    virtual bool idle() const = 0;
    // The worker's port message, handed to the page's controller.
    virtual void portNotified(bool back) = 0;
    // The page says its port is away and waits for it.
    virtual bool away() const = 0;

    // Hands notifications over until the port message `back` has come;
    // false when it does not come within `limit`.
    bool waitForPort(bool back, std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            const auto n = m_notifier.next(left);
            if (!n) return false;
            if (n->message != QueueNotifier::kPortMessage) continue;
            portNotified(n->param1 != 0);
            if ((n->param1 != 0) == back) return true;
        }
    }

    // The console lines the last call of `action` added.
    Lines linesOf(const std::function<void()>& action) {
        const std::size_t before = m_lines.size();
        action();
        return Lines(m_lines.begin() + static_cast<std::ptrdiff_t>(before), m_lines.end());
    }

    testsupport::Devsim& sim() { return *m_sim; }

protected:
    explicit Bench(const std::string& device, std::vector<std::string> settings = {}) {
        std::vector<std::string> args{"--only", device};
        args.insert(args.end(), settings.begin(), settings.end());
        m_sim = std::make_unique<testsupport::Devsim>(DEVSIM_PATH, args);
        comprt::ComPort::ReplacePortList(comprt::ComPort::ComList(std::vector<std::string>{m_sim->path(device)}));
        m_console.setListener([this](const std::string& text) { m_lines.push_back(text); });
    }

    // Hands results to `handle` while `busy` says so, as the window's
    // message loop would.
    void pump(const std::function<bool()>& busy, const std::function<void(bool)>& handle) {
        while (busy()) {
            const auto n = m_notifier.next(std::chrono::duration_cast<std::chrono::milliseconds>(kResultLimit));
            if (!n) {
                ADD_FAILURE() << "no result within " << kResultLimit.count() << " s";
                return;
            }
            if (n->message == QueueNotifier::kPortMessage) portNotified(n->param1 != 0);
            if (n->message == QueueNotifier::kResultMessage) handle(n->param1 != 0);
        }
    }

    comprt::ComPort::ComList m_saved = comprt::ComPort::PortList();
    std::unique_ptr<testsupport::Devsim> m_sim;
    // Declared before every worker: requests still queued when a worker
    // stops notify it.
    WaitingNotifier m_notifier;
    Console m_console;
    Lines m_lines;
};

// Dorn: the write of A and B, whose echo the worker compares byte for byte
// (a read answer has no checksum the page could check).
class DornBench final : public Bench {
public:
    DornBench() : Bench("dorn"), m_state(7), m_controller(m_state, m_worker, m_console) {
        m_worker.setReadTimeout(300);
        m_worker.Start(m_notifier);
    }
    ~DornBench() override { m_worker.Stop(); }

    std::string name() const override { return "dorn"; }
    bool open() override {
        m_controller.cbPortChange(1);
        run();
        return m_controller.port() == 1;
    }
    void request() override {
        m_state.selectDiameter(3);  // 50
        m_state.a().setValue(1.5);
        m_state.b().setValue(-0.25);
        m_controller.bnWriteClick();
        run();
    }
    bool succeeded() override { return !m_lines.empty() && m_lines.back() == "Параметры записаны"; }
    bool idle() const override { return !m_controller.busy() && m_controller.canExchange(); }
    void portNotified(bool back) override { m_controller.PortNotified(back); }
    bool away() const override { return m_controller.portAway(); }

private:
    void run() {
        pump([this] { return m_controller.busy(); }, [this](bool ok) { m_controller.HandleResult(ok); });
    }

    DornPageState m_state;
    DornThread m_worker;
    DornPageController m_controller;
};

// Kelt model 4 behind the ОРБ-КЕЛТ adapter: the read of block 2 and the
// temperature correction. The worker's waits (the adapter reset, the pause
// after a busy answer) are cut short.
class KeltBench final : public Bench {
public:
    static constexpr int kModel = 4;
    KeltBench()
        : Bench("kelt", {"--kelt", "model=" + std::to_string(kModel)}),
          m_state(kModel),
          m_controller(m_state, m_worker, m_console) {
        m_worker.setSleep([](std::chrono::milliseconds) {});
        m_worker.Start(m_notifier);
    }
    ~KeltBench() override { m_worker.Stop(); }

    std::string name() const override { return "kelt"; }
    bool open() override {
        m_controller.cbPortChange(1);
        run();
        return m_controller.port() == 1;
    }
    void request() override {
        m_controller.clearFailure();
        m_controller.bnReadClick();
        run();
    }
    bool succeeded() override {
        return !m_controller.lastFailure() && !m_lines.empty() && m_lines.back() == "Параметры считаны";
    }
    bool idle() const override { return !m_controller.busy(); }
    void portNotified(bool back) override { m_controller.PortNotified(back); }
    bool away() const override { return m_controller.portAway(); }

private:
    void run() {
        pump([this] { return m_controller.busy(); }, [this](bool ok) { m_controller.HandleResult(ok); });
    }

    KeltPageState m_state;
    KeltThread m_worker;
    KeltPageController m_controller;
};

// RV: the network address read. A reply the page drops (wrong CRC, too
// short) leaves the address field as it was and says nothing.
class RvBench final : public Bench {
public:
    static constexpr int kUnlikelyAddress = 77;  // devsim's meter answers 1

    RvBench() : Bench("rv"), m_controller(m_state, m_worker, m_console) { m_worker.Start(m_notifier); }
    ~RvBench() override { m_worker.Stop(); }

    std::string name() const override { return "rv"; }
    bool open() override {
        if (m_controller.portOpen()) {
            m_controller.OpenPortButtonClick();  // "Закрыть"
            run();
        }
        m_controller.setPortIndex(0);  // the selector's first item: port 1
        m_controller.OpenPortButtonClick();
        run();  // the open and the reads that follow it
        return m_controller.portOpen();
    }
    void request() override {
        m_controller.netAddress().setValue(kUnlikelyAddress);
        m_controller.SimpleCommand(rv::RvPageController::Command::GetNetAddr);
        run();
    }
    bool succeeded() override {
        return m_controller.netAddress().value() == 1 && !m_lines.empty() && m_lines.back() == "Сетевой адрес считан";
    }
    // The RV page has no busy state: its requests queue; idle is an empty queue.
    bool idle() const override { return m_worker.Pending() == 0 && m_controller.portOpen(); }
    void portNotified(bool back) override { m_controller.PortNotified(back); }
    bool away() const override { return m_controller.portAway(); }
    // One tick of the page's 50 ms timer, the current-values poll due.
    void pollNow() {
        for (int i = 0; i < rv::RvPageController::kSystemPollTicks; ++i) m_controller.SystemTimerTimer();
    }
    int pending() const { return m_worker.Pending(); }
    bool pollAnswered() const { return !m_controller.live().expenditure.empty(); }
    void handleAll() { run(); }
    bool addressUntouched() { return m_controller.netAddress().value() == kUnlikelyAddress; }

private:
    void run() {
        pump([this] { return m_worker.Pending() > 0; }, [this](bool ok) { m_controller.HandleResult(ok); });
    }

    rv::RvPageState m_state;
    RVx2Thread m_worker;
    rv::RvPageController m_controller;
};

// Nivor: a measurement started (temperature, then the time stop) and
// stopped at once (temperature, then the stop command). A measurement left
// running by a failed stop is only stopped.
class NivorBench final : public Bench {
public:
    NivorBench() : Bench("nivor"), m_controller(m_worker, m_console) {
        m_worker.setReadTimeout(300);
        m_worker.Start(m_notifier);
    }
    ~NivorBench() override { m_worker.Stop(); }

    std::string name() const override { return "nivor"; }
    bool open() override {
        m_controller.cbPortChange(1);
        run();
        return m_controller.port() == 1;
    }
    void request() override {
        m_stopped = false;
        if (!m_controller.measuring()) {
            m_controller.setMeasurementTime(30.0);
            m_controller.bnStartClick();
            run();
            if (!m_controller.measuring()) return;
        }
        m_controller.bnStopClick();
        run();
    }
    bool succeeded() override { return m_stopped && !m_controller.measuring(); }
    bool idle() const override { return !m_controller.busy() && m_controller.port() == 1; }
    void portNotified(bool back) override { m_controller.PortNotified(back); }
    bool away() const override { return m_controller.portAway(); }

private:
    void run() {
        pump([this] { return m_worker.Pending() > 0; },
             [this](bool ok) {
                 const PageResult h = m_controller.HandleResult(ok);
                 if (h.detail == nivor::kStop && h.ok) m_stopped = true;
             });
    }

    SpprThread m_worker;
    SpprController m_controller;
    bool m_stopped = false;  // the last request's stop command succeeded
};

// ------------------------------------------------------------------ the matrix

enum class Device { Dorn, Kelt, Rv, Nivor };

std::unique_ptr<Bench> makeBench(Device d) {
    switch (d) {
    case Device::Dorn: return std::make_unique<DornBench>();
    case Device::Kelt: return std::make_unique<KeltBench>();
    case Device::Rv: return std::make_unique<RvBench>();
    case Device::Nivor: return std::make_unique<NivorBench>();
    }
    return nullptr;
}

const char* deviceName(Device d) {
    switch (d) {
    case Device::Dorn: return "Dorn";
    case Device::Kelt: return "KeltAdapter";
    case Device::Rv: return "Rv";
    case Device::Nivor: return "Nivor";
    }
    return "?";
}

// A fault is devsim's fault name, or "vanish": the port goes away as an
// unplugged adapter does, and comes back later under the same path.
struct Row {
    Device device;
    const char* fault;
    // The console lines of the request that meets the fault.
    Lines message;
};

constexpr const char* kNoAnswer = "Прибор не отвечает";
constexpr const char* kExchange = "Ошибка обмена";
constexpr const char* kChecksum = "Ошибка контрольной суммы";

// Rows left out, and why:
// - Dorn busy: the Dorn transducer has no busy answer (devsim's "busy" Dorn
//   stays silent, the silent row).
// - Nivor busy: the instrument has no busy answer either; devsim's "busy"
//   instrument reports that no measurement runs, which ends a measurement
//   without any fault of the exchange.
// A hang-up and a vanished port are no faults of the exchange: the port
// goes away, and the page waits for it (PortRecovery below).
const Row kRows[] = {
    // The echo of the write is compared with what was sent.
    {Device::Dorn, "silent", {kNoAnswer}},
    {Device::Dorn, "short", {kNoAnswer}},
    {Device::Dorn, "badsum", {kExchange}},
    {Device::Dorn, "garbage", {kExchange}},
    {Device::Dorn, "error", {kExchange}},

    // The adapter answers first; a line that fails there fails the read.
    {Device::Kelt, "silent", {kNoAnswer}},
    {Device::Kelt, "short", {kNoAnswer}},
    {Device::Kelt, "badsum", {kChecksum}},
    {Device::Kelt, "garbage", {kExchange}},
    {Device::Kelt, "busy", {"Ошибка обмена. Подождите 12 секунд"}},
    {Device::Kelt, "error", {kExchange}},

    // Replies with a wrong CRC or too short are dropped without a word;
    // error replies carry the meter's own reason.
    {Device::Rv, "silent", {kNoAnswer}},
    {Device::Rv, "short", {}},
    {Device::Rv, "badsum", {}},
    {Device::Rv, "garbage", {}},
    {Device::Rv, "busy", {"Устройство занято"}},
    {Device::Rv, "error", {"Внутренняя ошибка прибора"}},

    // Every exchange starts with the greeting; the error fault spoils only
    // the measurement replies, so the stop meets it.
    {Device::Nivor, "silent", {kNoAnswer}},
    {Device::Nivor, "short", {kNoAnswer}},
    {Device::Nivor, "badsum", {kChecksum}},
    {Device::Nivor, "garbage", {kExchange}},
    {Device::Nivor, "error", {kExchange}},
};

std::string shown(const Lines& lines) {
    std::string s = "[";
    for (const auto& l : lines) s += (s.size() > 1 ? " | " : "") + l;
    return s + "]";
}

void PrintTo(const Row& row, std::ostream* out) { *out << deviceName(row.device) << ' ' << row.fault; }

class FaultMatrix : public testing::TestWithParam<Row> {};

TEST_P(FaultMatrix, FaultGivesItsMessageThePageStaysUsableAndTheNextRequestWorks) {
    const Row& row = GetParam();
    const std::string fault = row.fault;
    std::unique_ptr<Bench> bench = makeBench(row.device);
    const std::string name = bench->name();
    testsupport::Devsim& sim = bench->sim();
    ASSERT_TRUE(bench->open());

    // The fault meets the request.
    ASSERT_EQ(sim.control(name + " fault " + fault), "ok");
    const Lines message = bench->linesOf([&] { bench->request(); });
    EXPECT_TRUE(message == row.message) << "got " << shown(message) << ", expected " << shown(row.message);
    EXPECT_FALSE(bench->succeeded());
    if (row.device == Device::Rv && row.message.empty())
        EXPECT_TRUE(static_cast<RvBench&>(*bench).addressUntouched()) << "a dropped reply fills nothing";
    EXPECT_TRUE(bench->idle()) << "the page is not left busy";

    // The page still takes the request while the fault lasts, and answers
    // it with a failure again.
    const Lines again = bench->linesOf([&] { bench->request(); });
    EXPECT_FALSE(bench->succeeded()) << shown(again);
    EXPECT_TRUE(bench->idle());

    ASSERT_EQ(sim.control(name + " fault none"), "ok");

    const Lines after = bench->linesOf([&] { bench->request(); });
    EXPECT_TRUE(bench->succeeded()) << "after the fault: " << shown(after);
    EXPECT_TRUE(bench->idle());
}

std::string rowName(const testing::TestParamInfo<Row>& info) {
    return std::string(deviceName(info.param.device)) + "_" + info.param.fault;
}

INSTANTIATE_TEST_SUITE_P(Bench, FaultMatrix, testing::ValuesIn(kRows), rowName);

}  // namespace

namespace {

using namespace std::chrono_literals;

// Processor time of this process (every thread), user and system.
std::chrono::microseconds processTime() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto us = [](const timeval& t) { return std::chrono::seconds(t.tv_sec) + std::chrono::microseconds(t.tv_usec); };
    return us(usage.ru_utime) + us(usage.ru_stime);
}

// How the port goes away: "vanish" unplugs the adapter until "return";
// "hangup" drops the line in the middle of an answer and devsim puts a
// fresh pseudo-terminal behind the same link at once.
struct Loss {
    Device device;
    const char* how;
};

void PrintTo(const Loss& loss, std::ostream* out) { *out << deviceName(loss.device) << ' ' << loss.how; }

class PortRecovery : public testing::TestWithParam<Loss> {};

// The port goes away under the page's request: the page says "Порт
// отключён: <name>" once and nothing else (the request that was on the
// line fails, and is not sent again), waits without spinning (the shared
// waiter is measured over ten seconds in the link tests; here two seconds
// per family), reopens the port by itself when it is back with "Порт снова
// подключён", and the next request works.
TEST_P(PortRecovery, PageSaysOnceWaitsReopensByItselfAndGoesOn) {
    const Loss& loss = GetParam();
    const bool vanish = std::string(loss.how) == "vanish";
    std::unique_ptr<Bench> bench = makeBench(loss.device);
    const std::string name = bench->name();
    testsupport::Devsim& sim = bench->sim();
    const std::string port = sim.path(name);
    ASSERT_TRUE(bench->open());
    bench->request();
    ASSERT_TRUE(bench->succeeded());

    ASSERT_EQ(sim.control(vanish ? name + " vanish" : name + " fault hangup"), "ok");
    const Lines gone = bench->linesOf([&] { bench->request(); });
    EXPECT_EQ(gone, Lines{"Порт отключён: " + port});
    EXPECT_FALSE(bench->succeeded());
    EXPECT_TRUE(bench->away());

    Lines meanwhile;
    if (vanish) {
        // Away: the page's timer polls nothing (RV), and the worker sleeps.
        if (loss.device == Device::Rv) {
            auto& rv = static_cast<RvBench&>(*bench);
            rv.pollNow();
            EXPECT_EQ(rv.pending(), 0) << "a poll was sent to a port that is away";
        }
        const auto cpuBefore = processTime();
        meanwhile = bench->linesOf([&] { EXPECT_FALSE(bench->waitForPort(true, 2s)) << "back before it returned"; });
        EXPECT_LT(processTime() - cpuBefore, 20ms) << "the wait spins";
        ASSERT_EQ(sim.control(name + " return"), "ok");
    } else {
        ASSERT_EQ(sim.control(name + " fault none"), "ok");
    }
    const Lines back = bench->linesOf([&] { EXPECT_TRUE(bench->waitForPort(true, 5s)); });
    EXPECT_TRUE(meanwhile.empty()) << shown(meanwhile);
    EXPECT_EQ(back, Lines{"Порт снова подключён"});
    EXPECT_FALSE(bench->away());

    if (loss.device == Device::Rv) {
        // The page's polling goes on by itself.
        auto& rv = static_cast<RvBench&>(*bench);
        rv.pollNow();
        EXPECT_EQ(rv.pending(), 1);
        rv.handleAll();
        EXPECT_TRUE(rv.pollAnswered());
    }
    const Lines after = bench->linesOf([&] { bench->request(); });
    EXPECT_TRUE(bench->succeeded()) << "after the port came back: " << shown(after);
    EXPECT_TRUE(bench->idle());
}

const Loss kLosses[] = {
    {Device::Dorn, "vanish"}, {Device::Kelt, "vanish"}, {Device::Rv, "vanish"}, {Device::Nivor, "vanish"},
    {Device::Dorn, "hangup"}, {Device::Kelt, "hangup"}, {Device::Rv, "hangup"}, {Device::Nivor, "hangup"},
};

std::string lossName(const testing::TestParamInfo<Loss>& info) {
    return std::string(deviceName(info.param.device)) + "_" + info.param.how;
}

INSTANTIATE_TEST_SUITE_P(Bench, PortRecovery, testing::ValuesIn(kLosses), lossName);

}  // namespace
