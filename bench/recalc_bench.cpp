// recalcAll over 100 000 Kelt entries against a baseline in the same run
// ("ratio"): the same arithmetic over a plain array of structs, without field
// checks or fallbacks.

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "Paired.h"
#include "document/Package.h"

namespace {

constexpr int kEntries = 100000;

std::shared_ptr<Package<KeltEntry>> makeCalibration() {
    auto state = std::make_shared<DocumentState>();
    state->options.resetToDefaults();
    state->options.pulseWeight = 0.001;
    state->currentLines = {{0.1, 0.01, 50}, {0.11, 0.0, 200}, {0.12, -0.02, 32768}};
    auto p = std::make_shared<Package<KeltEntry>>(state);
    p->method = Method::Volume;
    p->entries.resize(kEntries);
    for (int i = 0; i < kEntries; ++i) {
        KeltEntry& e = p->entries[static_cast<std::size_t>(i)];
        e.t = 15.0 + (i % 20);
        e.volRef = 50.0 + (i % 7);
        e.timeRef = 30.0 + (i % 11);
        e.time1 = 30.0;
        e.pulses1 = 1000 + (i % 5000);
        e.pulses2 = 50 + (i % 3);
    }
    return p;
}

// recalcAll and the plain pass over a copy of the same entries, side by side.
void BM_RecalcAll(benchmark::State& state) {
    auto p = makeCalibration();
    std::vector<KeltEntry> entries = p->entries;
    const DocumentState& doc = p->document();
    const double T = doc.options.refTemp, pw = doc.options.pulseWeight;
    const auto& lines = doc.currentLines;
    constexpr double c1 = 5.542578e-05, c2 = 2.28661e-07, c3 = 30.614166;
    bench::runPaired(
        state,
        [&] {
            p->recalcAll();
            benchmark::DoNotOptimize(p->entries.data());
            benchmark::ClobberMemory();
        },
        [&] {
            // The baseline: one straight pass of the same formulas.
            for (KeltEntry& e : entries) {
                const double rho = (-0.15143316 * e.t + 0.04583111 + 1001.26618538) * 0.001;
                e.massRef = rho * e.volRef;
                e.flowRef = 3.6 * e.volRef / e.timeRef;
                e.volMeas = pw * 1000.0 * e.pulses2;
                e.volErr = (e.volMeas - e.volRef) * 100.0 / e.volRef;
                e.freq = (e.pulses1 - 1) / e.time1;
                const double k = ((c1 - c2 * T) * (e.t + c3)) / ((c1 - c2 * e.t) * (T + c3));
                e.freqRed = e.freq * k;
                e.flowRefRed = e.flowRef * k;
                std::size_t i = 0;
                while (i + 1 < lines.size() && e.freqRed > lines[i].upper) ++i;
                e.line = static_cast<std::int32_t>(i + 1);
                e.flowMeas = lines[i].a * e.freq + lines[i].b / k;
                e.flowErr = (e.flowMeas - e.flowRef) * 100.0 / e.flowRef;
            }
            benchmark::DoNotOptimize(entries.data());
            benchmark::ClobberMemory();
        });
    state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_RecalcAll)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace
