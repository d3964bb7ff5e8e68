// The readings chart of the RV page after an hour of observation (18 000
// samples at five a second): one more sample taken, drawn and the chart
// repainted, against its budget of 2 ms ("ratio" is the mean time over the
// budget, "cpu_ratio" the window thread's processor time over it). For scale, the same at the start of a run and after ten hours.
// "bytes_per_sample" is the growth of the heap in use over the run divided
// by its samples (the store's two vectors and the chart's drawn points).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLineSeries>
#include <QTabWidget>

#include <malloc.h>
#include <time.h>
#include <memory>

#include "ReadingsChart.h"
#include "ReadingsTab.h"
#include "common/Console.h"
#include "devices/rv/Readings.h"
#include "link/RegKey.h"

namespace {

constexpr double kBudgetMs = 2.0;

double threadCpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Heap in use: the store's vectors and the series grow on the heap.
double heapBytes() { return static_cast<double>(::mallinfo2().uordblks); }

// Devsim's kind of codes: 12000 ± 40.
std::int32_t code(long i) { return 12000 + static_cast<std::int32_t>((i * 37) % 81) - 40; }

struct Tab {
    Console console;
    rv::ReadingsStore store;
    TReadingsTab tab{store, console};
    long taken = 0;

    Tab() {
        tab.resize(1000, 520);
        tab.show();
        QApplication::processEvents();
    }
    // `n` samples as a run takes them: each drawn as it arrives, the window
    // painting between them.
    void run(long n) {
        for (long i = 0; i < n; ++i) {
            store.take(code(taken++));
            tab.sync();
            if (i % 100 == 0) QApplication::processEvents();
        }
        QApplication::processEvents();
    }
    void oneSample() {
        store.take(code(taken++));
        tab.sync();
        tab.chart()->viewport()->repaint();
    }
};

void BM_ReadingsSample(benchmark::State& state) {
    const long before = static_cast<long>(state.range(0));
    Tab t;
    const double rssBefore = heapBytes();
    t.run(before);
    const double rssAfter = heapBytes();
    double total = 0, cpu = 0;
    for (auto _ : state) {
        const double cpuStart = threadCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        t.oneSample();
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cpu += threadCpuSeconds() - cpuStart;
        total += s;
        state.SetIterationTime(s);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["budget_ms"] = kBudgetMs;
    state.counters["ratio"] = 1e3 * total / n / kBudgetMs;
    // The window thread's own time: what the sample costs when other
    // programs share the processor.
    state.counters["cpu_ms"] = 1e3 * cpu / n;
    state.counters["cpu_ratio"] = 1e3 * cpu / n / kBudgetMs;
    state.counters["drawn"] = t.tab.chart()->drawnPoints();
    state.counters["bucket"] = t.tab.chart()->bucketSize();
    if (before > 0) state.counters["bytes_per_sample"] = (rssAfter - rssBefore) / static_cast<double>(before);
}
// At the start, after an hour, after ten hours.
BENCHMARK(BM_ReadingsSample)->Arg(0)->Arg(18000)->Arg(180000)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    RegKey::SetFileLocation("/tmp/rvservice-readings-bench-settings.json");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
