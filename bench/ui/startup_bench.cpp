// Time from starting rvservice to its first painted window, against a
// minimal Qt Widgets program started the same way in the same run ("ratio").
// Both run on the offscreen platform with --first-show-exit, which makes them
// say "painted" on standard output once the first paint is done; the time is
// taken from the spawn to that line, so the program's exit is not counted.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

// Starts `program`, returns the seconds to its "painted" line, and reaps it.
double secondsOf(const char* program) {
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
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("cannot make a pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", 0, 0);  // Qt's warnings
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program, &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) {
        close(out[0]);
        throw std::runtime_error("cannot start " + arg0);
    }
    std::string said;
    char buffer[64];
    while (said.find('\n') == std::string::npos) {
        const ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n <= 0) break;
        said.append(buffer, static_cast<std::size_t>(n));
    }
    const auto painted = std::chrono::steady_clock::now();
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (said != "painted\n" || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(arg0 + " failed");
    return std::chrono::duration<double>(painted - start).count();
}

void BM_StartMinimalWidgets(benchmark::State& state) {
    for (auto _ : state) state.SetIterationTime(secondsOf(MINIMAL_WIDGETS_PATH));
}
BENCHMARK(BM_StartMinimalWidgets)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseManualTime();

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
