// The PDF protocol of a verification package of 1 000 entries, timed beside
// the HTML report of the same package in the same run (counter limit_ms).
// The PDF is meant to take well under a second.

#include <benchmark/benchmark.h>

#include "Paired.h"
#include "common/Console.h"
#include "document/Document.h"
#include "files/Report.h"
#include "pdf/ProtocolPdf.h"

namespace {

void BM_ProtocolPdfBesideHtml(benchmark::State& state) {
    static pdf::GuiForTools gui;
    Console console;
    Document doc(console);
    doc.create(28);  // a Kelt model with a pulse output
    doc.tabChanged();
    PackageBase& package = *doc.addPackage(PackageType::Verification, Method::Volume);
    for (int row = 0; row < state.range(0); ++row) {
        package.addEntry();
        const double volRef = 100.0, timeRef = 36.0 + row % 50, time1 = timeRef;
        const std::int32_t pulses1 = 1000 + row, pulses2 = 1000 + row % 7;
        package.setField(row, kVolRef, &volRef);
        package.setField(row, kTimeRef, &timeRef);
        package.setField(row, kTime1, &time1);
        package.setField(row, kPulses1, &pulses1);
        package.setField(row, kPulses2, &pulses2);
    }
    package.recalcAll();
    const Limits limits = Limits::ofClass(2, 10);
    std::size_t pdfBytes = 0, htmlBytes = 0;
    bench::runPaired(
        state, [&] { pdfBytes = static_cast<std::size_t>(pdf::ProtocolPdfBytes(*doc.device(), package, limits).size()); },
        [&] { htmlBytes = files::ReportBytes(*doc.device(), package, limits).size(); });
    state.counters["pdf_kB"] = static_cast<double>(pdfBytes) / 1024;
    state.counters["html_kB"] = static_cast<double>(htmlBytes) / 1024;
}
BENCHMARK(BM_ProtocolPdfBesideHtml)->Arg(1000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
