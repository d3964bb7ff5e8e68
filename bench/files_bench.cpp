// Reading and writing a 50 MB document file against moving the same bytes
// with plain stream I/O, in the same run. The document's write includes the
// flush to disk of a safe save; the second plain write does the same.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

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

void BM_ReadDocument(benchmark::State& state) {
    Fixture& f = fixture();
    Console console;
    for (auto _ : state) {
        Document doc(console);
        files::ReadDocument(f.path, doc);
        benchmark::DoNotOptimize(doc.packages().size());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.bytes.size()));
}

void BM_ReadPlainStream(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        std::ifstream in(f.path, std::ios::binary);
        std::string data((std::istreambuf_iterator<char>(in)), {});
        benchmark::DoNotOptimize(data.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.bytes.size()));
}

void BM_WriteDocument(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) files::WriteDocument(f.path, f.doc);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.bytes.size()));
}

void BM_WritePlainStream(benchmark::State& state) {
    Fixture& f = fixture();
    const std::string path = benchPath("rv-files-bench-plain.srv");
    for (auto _ : state) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(f.bytes.data(), static_cast<std::streamsize>(f.bytes.size()));
    }
    std::remove(path.c_str());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.bytes.size()));
}

void BM_WritePlainStreamAndSync(benchmark::State& state) {
    Fixture& f = fixture();
    const std::string path = benchPath("rv-files-bench-plain.srv");
    for (auto _ : state) {
        {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out.write(f.bytes.data(), static_cast<std::streamsize>(f.bytes.size()));
        }
        const int fd = ::open(path.c_str(), O_WRONLY);
        ::fsync(fd);
        ::close(fd);
    }
    std::remove(path.c_str());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.bytes.size()));
}

BENCHMARK(BM_ReadDocument)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadPlainStream)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteDocument)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WritePlainStream)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WritePlainStreamAndSync)->Unit(benchmark::kMillisecond);

}  // namespace
