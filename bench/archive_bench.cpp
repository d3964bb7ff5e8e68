// The calibration archive against 100 000 records, on SQLite and on a
// throw-away PostgreSQL server started for the run: the search by factory
// number prefix, and a save of a typical document (5 packages of 20 entries)
// with the archive on beside the same save with it off ("ratio" is the
// first's time over the second's). A save with the archive on hands the
// written file to the archive's thread and goes on; the thread's own time
// per recorded save is BM_RecordedSave.

#include <benchmark/benchmark.h>

#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "Paired.h"
#include "archive/Archive.h"
#include "archive/SampleDocuments.h"
#include "archive/Sender.h"

namespace {

constexpr int kDocuments = 20000;  // of 5 packages: 100 000 records
constexpr std::uint32_t kFirstSerial = 10000000;
constexpr std::uint32_t kSerialStep = 3;

std::string tempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "rv-archive-bench-XXXXXX").string();
    return ::mkdtemp(pattern.data());
}

// A PostgreSQL server of the run's own, removed at the end.
struct PgServer {
    std::string state = tempFolder() + "/pg.state";
    std::string url;
    PgServer() {
        const std::string start = std::string(PG_CLUSTER) + " start " + state;
        if (std::system(start.c_str()) != 0) return;
        std::ifstream in(state);
        std::string dir;
        std::getline(in, dir);
        std::getline(in, url);
        const std::string create = "psql -q -h 127.0.0.1 -p " + url.substr(url.rfind(':') + 1) +
                                   " -U postgres -d postgres -c 'CREATE DATABASE archive'";
        if (std::system(create.c_str()) != 0) url.clear();
        else url += "/archive";
    }
    ~PgServer() {
        const std::string stop = std::string(PG_CLUSTER) + " stop " + state;
        (void)!std::system(stop.c_str());
    }
};

PgServer& pg() {
    static PgServer server;
    return server;
}

// Documents of one factory number each, 5 packages of 2 entries, saved a
// minute apart, written in transactions of 500.
void fill(const std::string& url) {
    archive::Archive a(url);
    if (a.find({.serialPrefix = "0" + std::to_string(kFirstSerial)}).size() == 5) return;
    std::vector<std::pair<archive::Submission, archive::PreparedDocument>> batch;
    for (int i = 0; i < kDocuments; ++i) {
        archive::Submission s;
        s.bytes = SampleDocumentBytes({.serial = kFirstSerial + kSerialStep * static_cast<std::uint32_t>(i),
                                       .packages = 5, .entries = 2, .seed = i});
        s.path = "/lab/" + std::to_string(i) + ".srv";
        s.savedMs = 1'600'000'000'000 + i * 60'000LL;
        s.user = "bench";
        s.host = "bench";
        archive::PreparedDocument p = archive::Prepare(s.bytes);
        batch.emplace_back(std::move(s), std::move(p));
        if (batch.size() == 500) {
            a.storeMany(batch);
            batch.clear();
        }
    }
    a.storeMany(batch);
}

struct Archives {
    std::string folder = tempFolder();
    std::string sqlite = folder + "/archive.sqlite";
    Archives() {
        fill(sqlite);
        if (!pg().url.empty()) fill(pg().url);
    }
    ~Archives() { std::filesystem::remove_all(folder); }
    std::string url(int backend) { return backend == 0 ? sqlite : pg().url; }
};

Archives& archives() {
    static Archives a;
    return a;
}

// The archive of the benchmark's backend (range 0: 0 SQLite, 1 PostgreSQL);
// empty, with the benchmark skipped, when the server could not be started.
std::string backendUrl(benchmark::State& state) {
    std::string url = archives().url(static_cast<int>(state.range(0)));
    if (url.empty()) state.SkipWithError("no PostgreSQL server");
    return url;
}

void BM_FindBySerialPrefix(benchmark::State& state) {
    const std::string url = backendUrl(state);
    if (url.empty()) return;
    archive::Archive a(url);
    // A whole factory number (5 records) or its first 7 digits (a few dozen).
    const int digits = static_cast<int>(state.range(1));
    std::size_t found = 0;
    int i = 0;
    for (auto _ : state) {
        const std::uint32_t serial = kFirstSerial + kSerialStep * static_cast<std::uint32_t>((i++ * 7919) % kDocuments);
        const std::string prefix = ("0" + std::to_string(serial)).substr(0, static_cast<std::size_t>(digits));
        found += a.find({.serialPrefix = prefix}).size();
    }
    state.counters["records"] = static_cast<double>(found) / static_cast<double>(state.iterations());
}

// A typical document as the window saves it.
struct Typical {
    Console console;
    Document doc{console};
    std::string folder = tempFolder();
    std::string on = folder + "/on.srv", off = folder + "/off.srv";
    Typical() {
        std::istringstream in(SampleDocumentBytes({.serial = 7777777, .packages = 5, .entries = 20}));
        files::ReadDocument(in, doc);
    }
    ~Typical() { std::filesystem::remove_all(folder); }
    // One entry changed, so that every save is new to the archive.
    void change(int i) {
        const double t = 15.0 + (i % 1000) * 0.001;
        doc.packages()[0]->setField(0, kT, &t);
        doc.packages()[0]->recalcEntry(0);
    }
};

// What the window's save does with the archive on: the file, then its bytes
// handed to the archive's thread.
void saveWithArchive(Typical& t, archive::Recorder& recorder) {
    files::WriteDocument(t.on, t.doc);
    QFile file(QString::fromStdString(t.on));
    file.open(QIODevice::ReadOnly);
    recorder.submit(archive::MakeSubmission(t.on, file.readAll().toStdString()));
}

void BM_SaveWithArchiveOnAndOff(benchmark::State& state) {
    const std::string url = backendUrl(state);
    if (url.empty()) return;
    Typical t;
    archive::Recorder recorder({url, t.folder + "/queue.sqlite"}, {});
    int i = 0;
    bench::runPaired(
        state, [&] { t.change(i++); }, [&] { saveWithArchive(t, recorder); },
        [&] { files::WriteDocument(t.off, t.doc); });
    recorder.flush();
}

// The archive thread's work for one save (queued, sent, recorded), waited for.
void BM_RecordedSave(benchmark::State& state) {
    const std::string url = backendUrl(state);
    if (url.empty()) return;
    Typical t;
    archive::Recorder recorder({url, t.folder + "/queue.sqlite"}, {});
    int i = 0;
    for (auto _ : state) {
        state.PauseTiming();
        t.change(i++);
        state.ResumeTiming();
        saveWithArchive(t, recorder);
        recorder.flush();
    }
}

void backends(benchmark::internal::Benchmark* b) { b->ArgNames({"postgres"})->Arg(0)->Arg(1); }

BENCHMARK(BM_FindBySerialPrefix)
    ->ArgNames({"postgres", "digits"})
    ->Args({0, 9})->Args({0, 7})->Args({1, 9})->Args({1, 7})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveWithArchiveOnAndOff)->Apply(backends)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);
BENCHMARK(BM_RecordedSave)->Apply(backends)->Unit(benchmark::kMillisecond);

}  // namespace
