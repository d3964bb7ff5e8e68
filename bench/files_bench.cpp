// Reading and writing a 50 MB document file against moving the same bytes
// with plain stream I/O, side by side in each iteration ("ratio" is the
// document's time over the plain one). The document's write includes the
// flush to disk of a safe save; the plain write does the same.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "Paired.h"
#include "common/Console.h"
#include "document/Document.h"
#include "document/Package.h"
#include "files/DocumentFile.h"

namespace {

constexpr int kPackages = 10;
constexpr int kEntriesPerPackage = 110000;  // 46-byte Kelt records: about 50 MB

std::string benchPath(const char* name) { return (std::filesystem::temp_directory_path() / name).string(); }

struct Fixture {
    Console console;
    Document doc{console};
    std::string bytes;
    std::string path = benchPath("rv-files-bench.srv");

    Fixture() {
        doc.create(25);
        for (int p = 0; p < kPackages; ++p) {
            auto package = doc.addPackage(PackageType::Calibration, Method::Volume);
            auto& kelt = static_cast<Package<KeltEntry>&>(*package);
            kelt.entries.resize(kEntriesPerPackage);
            for (int i = 0; i < kEntriesPerPackage; ++i) {
                KeltEntry& e = kelt.entries[static_cast<std::size_t>(i)];
                e.t = 15.0 + i % 20;
                e.volRef = 50.0 + i % 7;
                e.timeRef = 30.0 + i % 11;
                e.time1 = 30.0;
                e.pulses1 = 1000 + i;
                e.section = i % 9;
            }
        }
        bytes = files::DocumentBytes(doc);
        files::WriteDocument(path, doc);
    }
    ~Fixture() { std::remove(path.c_str()); }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

// The plain read: the file's bytes into memory through a stream.
void plainRead(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), {});
    benchmark::DoNotOptimize(data.data());
}

// The plain write of a safe save: the same bytes through a stream, then
// flushed to the disk.
void plainWriteAndSync(const std::string& path, const std::string& bytes) {
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    const int fd = ::open(path.c_str(), O_WRONLY);
    ::fsync(fd);
    ::close(fd);
}

void BM_ReadDocument(benchmark::State& state) {
    Fixture& f = fixture();
    Console console;
    bench::runPaired(
        state,
        [&] {
            Document doc(console);
            files::ReadDocument(f.path, doc);
            benchmark::DoNotOptimize(doc.packages().size());
        },
        [&] { plainRead(f.path); });
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.bytes.size()));
}

void BM_WriteDocument(benchmark::State& state) {
    Fixture& f = fixture();
    const std::string plain = benchPath("rv-files-bench-plain.srv");
    bench::runPaired(
        state, [&] { files::WriteDocument(f.path, f.doc); }, [&] { plainWriteAndSync(plain, f.bytes); });
    std::remove(plain.c_str());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.bytes.size()));
}

// The document's bytes alone, without the file.
void BM_DocumentBytes(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) benchmark::DoNotOptimize(files::DocumentBytes(f.doc).size());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.bytes.size()));
}

BENCHMARK(BM_ReadDocument)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);
BENCHMARK(BM_WriteDocument)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);
BENCHMARK(BM_DocumentBytes)->Unit(benchmark::kMillisecond);

}  // namespace
