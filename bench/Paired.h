#pragma once

// A path and its limit timed side by side: each iteration runs the path,
// then the limit, so both see the same load on the machine. The benchmark's
// time is the path's (it needs UseManualTime()); the counters give the limit's
// mean time and "ratio", the path's total time over the limit's.

#include <benchmark/benchmark.h>

#include <chrono>

namespace bench {

struct PairedTimes {
    double subject = 0.0;
    double limit = 0.0;
};

inline double secondsOf(auto&& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// `prepare` runs untimed before each iteration's path.
template <typename Prepare, typename Subject, typename Limit>
PairedTimes runPaired(benchmark::State& state, Prepare&& prepare, Subject&& subject, Limit&& limit) {
    PairedTimes total;
    for (auto _ : state) {
        prepare();
        const double s = secondsOf(subject);
        total.subject += s;
        total.limit += secondsOf(limit);
        state.SetIterationTime(s);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["ratio"] = total.limit > 0 ? total.subject / total.limit : 0.0;
    state.counters["limit_ms"] = n > 0 ? 1e3 * total.limit / n : 0.0;
    return total;
}

template <typename Subject, typename Limit>
PairedTimes runPaired(benchmark::State& state, Subject&& subject, Limit&& limit) {
    return runPaired(state, [] {}, subject, limit);
}

}  // namespace bench
