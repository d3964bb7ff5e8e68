// Time from starting rvservice to its first painted window, against a
// minimal Qt Widgets program started the same way in the same run ("ratio").
// Both run on the offscreen platform with --first-show-exit and are timed
// from the spawn to their exit.
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

void runOnce(const char* program) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "QT_QPA_PLATFORM=", 16) != 0) env.emplace_back(*e);
    env.emplace_back("QT_QPA_PLATFORM=offscreen");
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    std::string arg0 = program;
    std::string arg1 = "--first-show-exit";
    char* argv[] = {arg0.data(), arg1.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", 0, 0);  // Qt's warnings
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program, &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + arg0);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error(arg0 + " failed");
}

double secondsOf(const char* program) {
    const auto start = std::chrono::steady_clock::now();
    runOnce(program);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_StartMinimalWidgets(benchmark::State& state) {
    for (auto _ : state) runOnce(MINIMAL_WIDGETS_PATH);
}
BENCHMARK(BM_StartMinimalWidgets)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// rvservice and the minimal program started one after the other in each
// iteration; "ratio" is rvservice's total time over the minimal program's.
void BM_StartRvservice(benchmark::State& state) {
    // A settings file of its own, so the run leaves the user's alone.
    setenv("RVSERVICE_SETTINGS", "/tmp/rvservice-startup-bench-settings.json", 1);
    double service = 0.0, minimal = 0.0;
    for (auto _ : state) {
        const double s = secondsOf(RVSERVICE_PATH);
        service += s;
        minimal += secondsOf(MINIMAL_WIDGETS_PATH);
        state.SetIterationTime(s);
    }
    state.counters["ratio"] = service / minimal;
    state.counters["limit_ms"] = 1e3 * minimal / static_cast<double>(state.iterations());
}
BENCHMARK(BM_StartRvservice)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseManualTime();

}  // namespace

BENCHMARK_MAIN();
