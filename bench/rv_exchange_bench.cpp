// One RV register read through the worker against devsim (address register:
// 5 request bytes, 6 reply bytes), as the RV page performs it: build and
// post the frame, the worker's purge, write, wait, read and wait, the
// completion notification, the copy back and the reply dispatch.
//
// The protocol itself prescribes 5 ms after writing the 5 request bytes and
// 20 ms after the reply; the counter overhead_ms is the time per exchange
// beyond those 25 ms: the program's own cost plus devsim and the pty.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "../tests/support/Devsim.h"
#include "Paired.h"
#include "devices/rv/RvReplies.h"
#include "devices/rv/RvWorker.h"
#include "link/WaitingNotifier.h"

namespace {

std::string devsimPath() {
    const auto self = std::filesystem::read_symlink("/proc/self/exe");
    return (self.parent_path().parent_path() / "tools" / "devsim" / "devsim").string();
}

// devsim's RV meter answering at once, and the page's worker on its port.
struct RvLine {
    testsupport::Devsim sim{devsimPath(), {"--only", "rv", "--rv", "delay=0"}};
    WaitingNotifier pump;
    RVx2Thread worker;
    rv::FrameBuffer frame{};
    Console console;
    rv::ReplyHandler handler;

    bool open() {
        comprt::ComPort::ReplacePortList(comprt::ComPort::ComList(std::vector<std::string>{sim.path("rv")}));
        worker.Start(pump);
        rv::postOpen(worker, 1, 9600);
        const auto opened = pump.nextResult(std::chrono::seconds(5));
        if (!opened || opened->param1 != 1) return false;
        worker.Pop();
        return true;
    }
};

void BM_RvRegisterRead(benchmark::State& state) {
    RvLine line;
    if (!line.open()) {
        state.SkipWithError("devsim's port did not open");
        return;
    }
    auto& [sim, pump, worker, frame, console, handler] = line;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        rv::sendRequest(worker, frame, 1, rv::FnRead, rv::RegAddress, 0, 1);
        const auto done = pump.nextResult(std::chrono::seconds(5));
        if (!done || done->param1 != 1) {
            state.SkipWithError("exchange failed");
            break;
        }
        const std::size_t count = rv::takeReply(worker.Front().param, frame);
        worker.Pop();
        benchmark::DoNotOptimize(rv::dispatchReply(frame, count, handler, console));
    }
    const double totalMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const double prescribedMs = 5.0 + 20.0;
    state.counters["prescribed_ms"] = prescribedMs;
    state.counters["overhead_ms"] = totalMs / static_cast<double>(state.iterations()) - prescribedMs;
}

BENCHMARK(BM_RvRegisterRead)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(40);

// The same exchange with the port's frame log recording (the path) beside
// it switched off (the limit), both in each iteration on the same worker and
// port, their order swapped every other iteration so that neither always
// follows the other: "ratio" is the cost of the log on a real exchange,
// the median exchange with the log over the median without. Medians, since
// a loaded machine now and then holds one exchange on the pty for some
// milliseconds, which moves a mean by per cents; the log's own cost is
// BM_FrameLogRecordExchange.
void BM_RvRegisterReadFrameLog(benchmark::State& state) {
    RvLine line;
    if (!line.open()) {
        state.SkipWithError("devsim's port did not open");
        return;
    }
    auto& [sim, pump, worker, frame, console, handler] = line;
    const std::shared_ptr<FrameLog> log = FrameLog::Of(sim.path("rv"));
    bool failed = false;
    const auto exchange = [&](bool logged) {
        log->SetEnabled(logged);
        return bench::secondsOf([&] {
            rv::sendRequest(worker, frame, 1, rv::FnRead, rv::RegAddress, 0, 1);
            const auto done = pump.nextResult(std::chrono::seconds(5));
            failed = failed || !done || done->param1 != 1;
            const std::size_t count = rv::takeReply(worker.Front().param, frame);
            worker.Pop();
            benchmark::DoNotOptimize(rv::dispatchReply(frame, count, handler, console));
        });
    };
    const std::uint64_t before = log->LastSeq();
    std::vector<double> withLog, withoutLog;
    bool logFirst = true;
    for (auto _ : state) {
        double on = 0, off = 0;
        if (logFirst) {
            on = exchange(true);
            off = exchange(false);
        } else {
            off = exchange(false);
            on = exchange(true);
        }
        logFirst = !logFirst;
        withLog.push_back(on);
        withoutLog.push_back(off);
        state.SetIterationTime(on);
    }
    log->SetEnabled(true);
    if (failed) state.SkipWithError("exchange failed");
    const auto median = [](std::vector<double> v) {
        std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    const double n = static_cast<double>(state.iterations());
    state.counters["ratio"] = median(withLog) / median(withoutLog);
    state.counters["limit_ms"] = 1e3 * median(withoutLog);
    // Two frames per logged exchange, none while switched off.
    state.counters["frames_per_exchange"] = static_cast<double>(log->LastSeq() - before) / n;
}

BENCHMARK(BM_RvRegisterReadFrameLog)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(400);

// What the worker adds per exchange when the log records: the request, the
// verdict on a 39-byte current-values reply and the reply, into a full ring.
void BM_FrameLogRecordExchange(benchmark::State& state) {
    FrameLog log("bench");
    rv::FrameBuffer request{};
    const std::size_t length = rv::buildFrame(request, 1, rv::FnRead, rv::RegCurrent, 1);
    rv::FrameBuffer reply{};
    const std::size_t replyLength = rv::buildFrame(reply, 1, rv::FnRead, rv::RegCurrent, 39);
    for (std::size_t i = 0; i < FrameLog::kCapacity; ++i) log.Sent("fill", std::span(request.data(), length));
    for (auto _ : state) {
        log.Sent("чтение текущих параметров", std::span(request.data(), length));
        const std::span<const std::uint8_t> got(reply.data(), replyLength);
        log.Received("чтение текущих параметров", got, rv::judgeReply(got, replyLength));
    }
}

BENCHMARK(BM_FrameLogRecordExchange);

}  // namespace
