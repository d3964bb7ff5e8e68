// approximate() of an RV calibration package of 100 000 entries in 20 and in
// 2 000 sections, automatic and manual piecewise, against a baseline in the
// same run: one sort of the same entries by flow plus one pass over them.
//
// Arguments: {sections, manual} with mode 0 automatic, 1 manual. Each
// iteration starts from the same shuffled entries (copied while the timer
// is paused), so every run sorts from scratch.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "Paired.h"
#include "approximation/PackageApproximation.h"
#include "document/Package.h"

namespace {

constexpr int kEntries = 100000;

// A smoothly bending characteristic (the meter reads relatively high at low
// flow) with a little noise, small enough that sorting by flow keeps the
// sections apart, so the automatic mode needs several segments.
struct Fixture {
    std::shared_ptr<DocumentState> state = std::make_shared<DocumentState>();
    std::shared_ptr<Package<EprEntry>> package;
    std::vector<EprEntry> shuffled;

    Fixture(int sections, bool manual) {
        state->options.resetToDefaults();
        state->options.manual = manual ? 1 : 0;
        // Section centres grow geometrically, far enough apart to stay
        // separate sections under the scatter limit.
        const double scatter = sections <= 20 ? 5.0 : 0.1;
        const double step = sections <= 20 ? 1.12 : 1.003;
        state->options.sectionScatter = scatter;
        package = std::make_shared<Package<EprEntry>>(state);
        package->method = Method::Reference;
        std::mt19937 random(12345);
        std::uniform_real_distribution<double> spread(-0.2, 0.2), noise(-scatter / 5000.0, scatter / 5000.0);
        const int perSection = kEntries / sections;
        double centre = 1000.0;
        for (int s = 0; s < sections; ++s, centre *= step) {
            for (int i = 0; i < perSection; ++i) {
                EprEntry e{};
                e.t = 20.0;
                e.timeRef = 100.0;
                e.code = centre * (1.0 + spread(random) * scatter / 100.0);
                e.flowRef = 0.01 * e.code * (1.0 + 0.5 / (1.0 + e.code / 2000.0)) * (1.0 + noise(random));
                // The user marks every fifth section in manual mode.
                e.point = manual && s % 5 == 0 && i == 0;
                shuffled.push_back(e);
            }
        }
        std::shuffle(shuffled.begin(), shuffled.end(), random);
    }
};

void BM_Approximate(benchmark::State& st) {
    Fixture f(static_cast<int>(st.range(0)), st.range(1) == 1);
    std::size_t lines = 0;
    for (auto _ : st) {
        st.PauseTiming();
        f.package->entries = f.shuffled;
        // The recalculation inside approximate() chooses each entry's line
        // by a scan over the lines in force; start every run from none,
        // not from the hundreds a previous run may have left.
        f.state->currentLines.clear();
        st.ResumeTiming();
        approximation::approximate(*f.package);
        lines = f.state->currentLines.size();
        benchmark::DoNotOptimize(f.package->entries.data());
    }
    st.counters["lines"] = static_cast<double>(lines);
    st.counters["sections"] = static_cast<double>(f.state->sections.size());
}

// The automatic mode's worst case: an error limit no segment can meet, so
// every segment is two sections long and each of the 1 999 segment starts
// sums the rest of the package once.
// One sort of the entries by flow and one pass summing the fit's terms: the
// least any approximation of them does.
double sortAndPass(std::vector<EprEntry>& entries) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const EprEntry& l, const EprEntry& r) { return l.flowRef < r.flowRef; });
    double sum = 0.0;
    for (const EprEntry& e : entries) {
        const double c = 1.0 / e.flowRef, d = e.code * c;
        sum += c + d + c * c + c * d + d * d;
    }
    return sum;
}

// The automatic mode's worst case: an error limit no segment can meet, so
// every segment is two sections long and each of the 1 999 segment starts
// sums the rest of the package once. Timed side by side with the sort and
// pass over the same entries ("ratio").
void BM_ApproximateEverySegmentTwoSections(benchmark::State& st) {
    Fixture f(2000, false);
    f.state->options.maxAutoErr = 0.0;
    std::size_t lines = 0;
    std::vector<EprEntry> entries;
    bench::runPaired(
        st,
        [&] {
            f.package->entries = f.shuffled;
            f.state->currentLines.clear();
            entries = f.shuffled;
        },
        [&] {
            approximation::approximate(*f.package);
            lines = f.state->currentLines.size();
        },
        [&] { benchmark::DoNotOptimize(sortAndPass(entries)); });
    st.counters["lines"] = static_cast<double>(lines);
}
BENCHMARK(BM_ApproximateEverySegmentTwoSections)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(3.0);

// One sort by the same key and one pass summing the fit's terms.
void BM_BaselineSortAndPass(benchmark::State& st) {
    Fixture f(static_cast<int>(st.range(0)), st.range(1) == 1);
    std::vector<EprEntry> entries;
    for (auto _ : st) {
        st.PauseTiming();
        entries = f.shuffled;
        st.ResumeTiming();
        benchmark::DoNotOptimize(sortAndPass(entries));
    }
}

void Args(benchmark::internal::Benchmark* b) {
    for (int sections : {20, 2000})
        for (int manual : {0, 1}) b->Args({sections, manual});
}

BENCHMARK(BM_Approximate)->Apply(Args)->ArgNames({"sections", "manual"})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BaselineSortAndPass)->Apply(Args)->ArgNames({"sections", "manual"})->Unit(benchmark::kMillisecond);

}  // namespace
