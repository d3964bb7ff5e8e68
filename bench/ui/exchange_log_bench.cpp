// "Журнал обмена" during RV polling at 5 Hz: the window's share of a core.
// Each iteration is one look of the window's timer (200 ms apart in the
// program): the frames one look finds (a poll's two exchanges, four frames),
// taken into a list already holding the ring's 10 000 frames, as after an
// hour, and the list painted. The window's thread time per look, over the
// 200 ms between looks, is its share of a core ("core_share", goal at most
// 0.05). Beside it in the same run: a look that finds nothing new, and one
// with the window not shown (no paint).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTableView>

#include <array>
#include <ctime>
#include <memory>

#include "ExchangeLogWindow.h"
#include "FrameTableModel.h"
#include "link/FrameLog.h"

namespace {

constexpr double kLookSeconds = 0.2;

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// A poll's exchanges as the RV worker records them: the current values and
// the observation registers, each a request and a reply with a good CRC.
void recordPoll(FrameLog& log) {
    static constexpr std::array<std::uint8_t, 8> request{0x01, 0x03, 0x00, 0x10, 0x00, 0x08, 0x45, 0xC9};
    static constexpr std::array<std::uint8_t, 21> reply{0x01, 0x03, 0x10, 0x41, 0x20, 0, 0, 0x3F, 0x80, 0, 0,
                                                        0x42, 0x48, 0, 0, 0, 0, 0, 0, 0x5A, 0x1C};
    for (int i = 0; i < 2; ++i) {
        log.Sent("чтение текущих значений", request);
        log.Received("чтение текущих значений", reply, {framelog::Check::Good, framelog::Outcome::Answered});
    }
}

struct Bench {
    explicit Bench(const char* port, bool shown) : log(FrameLog::Of(port)) {
        for (std::size_t i = 0; i < FrameLog::kCapacity / 4; ++i) recordPoll(*log);
        window.SetPort(QString::fromLatin1(port));
        if (shown) {
            window.show();
            QApplication::processEvents();
        }
    }
    std::shared_ptr<FrameLog> log;
    ExchangeLogWindow window;
};

// One look with `polls` polls recorded before it; the window's thread CPU
// time of the look goes into the iteration.
void look(benchmark::State& state, int polls, bool shown, const char* port) {
    Bench bench(port, shown);
    double cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < polls; ++i) recordPoll(*bench.log);
        state.ResumeTiming();
        const double start = threadCpuSeconds();
        bench.window.Refresh();
        if (shown) bench.window.view()->viewport()->repaint();
        QApplication::processEvents();
        cpu += threadCpuSeconds() - start;
    }
    const double perLook = cpu / static_cast<double>(state.iterations());
    state.counters["cpu_ms"] = perLook * 1e3;
    state.counters["core_share"] = perLook / kLookSeconds;
    state.counters["rows"] = bench.window.model().rowCount();
}

void BM_LookWithAPoll(benchmark::State& state) { look(state, 1, true, "/bench/poll"); }
void BM_LookWithNothingNew(benchmark::State& state) { look(state, 0, true, "/bench/idle"); }
void BM_LookWithAPollHidden(benchmark::State& state) { look(state, 1, false, "/bench/hidden"); }

BENCHMARK(BM_LookWithAPoll)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LookWithNothingNew)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LookWithAPollHidden)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
