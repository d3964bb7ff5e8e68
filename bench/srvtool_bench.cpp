// srvtool as a whole process on Kelt documents of 10 000, 100 000 and
// 1 000 000 entries: wall time and peak memory (the child's maximum resident
// set from wait4) of `convert` to .srv and to .json and of `dump`.
//
// Each row runs its command and its limit side by side ("ratio"): for
// `convert` to .srv a copy of the file with `cp` and its flush with `sync`,
// for `dump` and `convert` to .json the `convert` to .srv of the same file.
// "peak_MB" is the command's peak memory, "mem_ratio" that over the file's
// size (for the small files mostly the program itself), "file_MB" the size.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/Console.h"
#include "document/Document.h"
#include "document/Package.h"
#include "files/DocumentFile.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kPackages = 10;

std::string benchPath(const std::string& name) { return (fs::temp_directory_path() / name).string(); }

void writeDocument(int entries, const std::string& path);

// A Kelt document of `entries` entries in ten packages, written once per size.
const std::string& documentOf(int entries) {
    static std::map<int, std::string> paths;
    auto it = paths.find(entries);
    if (it != paths.end()) return it->second;
    const std::string path = benchPath("rv-srvtool-bench-" + std::to_string(entries) + ".srv");
    // Made by a child process: a child's peak memory as wait4 reports it
    // starts from the parent's, which must stay small.
    const pid_t maker = fork();
    if (maker < 0) throw std::runtime_error("cannot fork");
    if (maker == 0) {
        writeDocument(entries, path);
        _exit(0);
    }
    int status = 0;
    waitpid(maker, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("cannot write " + path);
    return paths.emplace(entries, path).first->second;
}

void writeDocument(int entries, const std::string& path) {
    Console console;
    Document doc(console);
    doc.create(25);
    for (int p = 0; p < kPackages; ++p) {
        auto package = doc.addPackage(p % 2 ? PackageType::Verification : PackageType::Calibration,
                                      static_cast<Method>(p % 3));
        auto& kelt = static_cast<Package<KeltEntry>&>(*package);
        kelt.entries.resize(static_cast<std::size_t>(entries / kPackages));
        for (std::size_t i = 0; i < kelt.entries.size(); ++i) {
            KeltEntry& e = kelt.entries[i];
            e.t = 15.0 + static_cast<double>(i % 20);
            e.volRef = 50.0 + static_cast<double>(i % 7);
            e.massRef = 49.0 + static_cast<double>(i % 5);
            e.flowRef = 3.0 + static_cast<double>(i % 13) * 0.25;
            e.timeRef = 30.0 + static_cast<double>(i % 11);
            e.time1 = 30.0;
            e.pulses1 = 1000 + static_cast<int>(i);
            e.pulses2 = 50 + static_cast<int>(i % 3);
            e.section = static_cast<int>(i % 9);
        }
    }
    files::WriteDocument(path, doc);
}

struct Run {
    double seconds = 0.0;
    double peakBytes = 0.0;
};

// Runs a program with its output to /dev/null and returns its wall time and
// peak resident memory.
Run runProcess(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + args[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    Run run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peakBytes = static_cast<double>(usage.ru_maxrss) * 1024.0;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error(args[0] + " failed");
    return run;
}

Run convertToSrv(const std::string& in) {
    return runProcess({SRVTOOL_PATH, "convert", in, "-o", benchPath("rv-srvtool-bench-out.srv")});
}

Run copyAndSync(const std::string& in) {
    const std::string copy = benchPath("rv-srvtool-bench-copy.srv");
    Run cp = runProcess({"cp", in, copy});
    const Run sync = runProcess({"sync", copy});
    cp.seconds += sync.seconds;
    return cp;
}

// Times `command` and `limit` side by side; the benchmark's time is the
// command's.
template <typename Command, typename Limit>
void runRow(benchmark::State& state, const std::string& path, Command command, Limit limit) {
    double commandSeconds = 0.0, limitSeconds = 0.0, peak = 0.0;
    for (auto _ : state) {
        const Run run = command(path);
        commandSeconds += run.seconds;
        peak = std::max(peak, run.peakBytes);
        limitSeconds += limit(path).seconds;
        state.SetIterationTime(run.seconds);
    }
    const double fileBytes = static_cast<double>(fs::file_size(path));
    state.counters["ratio"] = commandSeconds / limitSeconds;
    state.counters["limit_ms"] = 1e3 * limitSeconds / static_cast<double>(state.iterations());
    state.counters["peak_MB"] = peak / 1e6;
    state.counters["file_MB"] = fileBytes / 1e6;
    state.counters["mem_ratio"] = peak / fileBytes;
}

void BM_ConvertToSrv(benchmark::State& state) {
    runRow(state, documentOf(static_cast<int>(state.range(0))), convertToSrv, copyAndSync);
}

void BM_ConvertToJson(benchmark::State& state) {
    runRow(
        state, documentOf(static_cast<int>(state.range(0))),
        [](const std::string& in) {
            return runProcess({SRVTOOL_PATH, "convert", in, "-o", benchPath("rv-srvtool-bench-out.json")});
        },
        convertToSrv);
}

void BM_Dump(benchmark::State& state) {
    runRow(
        state, documentOf(static_cast<int>(state.range(0))),
        [](const std::string& in) { return runProcess({SRVTOOL_PATH, "dump", in}); }, convertToSrv);
}

void Sizes(benchmark::internal::Benchmark* b) {
    b->ArgName("entries")->Arg(10000)->Arg(100000)->Arg(1000000)->Iterations(3)->UseManualTime()->Unit(
        benchmark::kMillisecond);
}

BENCHMARK(BM_ConvertToSrv)->Apply(Sizes);
BENCHMARK(BM_ConvertToJson)->Apply(Sizes);
BENCHMARK(BM_Dump)->Apply(Sizes);

}  // namespace
