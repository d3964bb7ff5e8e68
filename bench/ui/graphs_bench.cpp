// "Графики" on a Kelt document of 20 calibration packages of 1 000 entries
// each: from the command to the graphs window drawn (the tab change with
// every entry recalculated, the graph data built, the series rebuilt, the
// error tab computed with its scatter layer, the chart painted). For scale,
// the same document with one package, and each tab drawn again on its own.
#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QChartView>
#include <QLineSeries>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <memory>

#include "MainWindow.h"
#include "ServiceGraph.h"
#include "document/Entries.h"
#include "link/RegKey.h"
#include "support/ScriptedDialogs.h"

namespace {

// A window with `packages` packages of `entries` entries: flows from about
// 0.4 to 40 m3/h, a few per mille apart from package to package.
std::unique_ptr<TMainForm> makeWindow(int packages, int entries) {
    auto form = std::make_unique<TMainForm>(
        std::make_unique<testsupport::ScriptedDialogs>(19));  // New: a Kelt model; New package: calibration
    form->ActionNew->trigger();
    for (int p = 0; p < packages; ++p) {
        form->ActionNewPackage->trigger();
        PackageBase& package = *form->document().packages().back();
        for (int i = 0; i < entries; ++i) {
            package.addEntry();
            const double timeRef = 100.0, time1 = 100.0;
            const double flow = 0.4 * std::pow(100.0, (i % 100) / 99.0) * (1 + 0.001 * p + 0.0001 * (i / 100));
            const double volume = flow * 1000.0 * timeRef / 3600.0;
            const auto pulses = static_cast<std::int32_t>(flow * 10.0 * time1 * (1 + 0.002 * (i % 7))) + 1;
            package.setField(i, kVolRef, &volume);
            package.setField(i, kTimeRef, &timeRef);
            package.setField(i, kTime1, &time1);
            package.setField(i, kPulses1, &pulses);
        }
    }
    form->SelectTab(1);
    QApplication::processEvents();
    return form;
}

// The main window's graphs window (made by librvcharts).
TServiceGraph* graphOf(TMainForm& form) { return static_cast<TServiceGraph*>(form.graphWindow()); }

// The command, then the window painted.
void runGraphics(TMainForm& form) {
    form.ActionGraphics->trigger();
    QApplication::processEvents();
    graphOf(form)->chartView()->viewport()->repaint();
}

void BM_GraphicsCommand(benchmark::State& state) {
    const int packages = static_cast<int>(state.range(0));
    const int entries = static_cast<int>(state.range(1));
    auto form = makeWindow(packages, entries);
    // The first command also shows the window for the first time.
    const auto start = std::chrono::steady_clock::now();
    runGraphics(*form);
    const std::chrono::duration<double, std::milli> first = std::chrono::steady_clock::now() - start;
    for (auto _ : state) runGraphics(*form);
    state.counters["first_ms"] = first.count();
    double drawn = 0;
    for (const QLineSeries* series : graphOf(*form)->structureSeries()) drawn += series->count();
    state.counters["drawn"] = drawn;  // points on the error tab
}
BENCHMARK(BM_GraphicsCommand)->Args({1, 1000})->Args({20, 1000})->Unit(benchmark::kMillisecond)->UseRealTime();

// The parts of the command on the 20-package document: the tab change that
// recalculates every entry, the graph data, the window's rebuild of its
// series with the error tab drawn, and one paint of the chart.
void BM_GraphicsParts(benchmark::State& state) {
    auto form = makeWindow(20, 1000);
    runGraphics(*form);
    TServiceGraph* graph = graphOf(*form);
    SPILTS_DATA_EXCHANGE data;
    fillGraphData(form->document().packages(), form->document().state().currentLines, data);
    const int part = static_cast<int>(state.range(0));
    for (auto _ : state) {
        switch (part) {
        case 0:
            form->document().tabChanged();
            break;
        case 1:
            fillGraphData(form->document().packages(), form->document().state().currentLines, data);
            break;
        case 2:
            graph->SetData(&data);
            break;
        default:
            graph->chartView()->viewport()->repaint();
            break;
        }
    }
    state.SetLabel(part == 0 ? "tab change" : part == 1 ? "graph data" : part == 2 ? "set data" : "paint");
    graph->SetData(&form->chartData());
}
BENCHMARK(BM_GraphicsParts)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

void BM_TabRedraw(benchmark::State& state) {
    auto form = makeWindow(20, 1000);
    runGraphics(*form);
    TServiceGraph* graph = graphOf(*form);
    const auto tab = static_cast<approximation::GraphTab>(state.range(0));
    const auto other = tab == approximation::GraphTab::Errors ? approximation::GraphTab::DirectB
                                                              : approximation::GraphTab::Errors;
    for (auto _ : state) {
        state.PauseTiming();
        graph->SelectTab(other);
        state.ResumeTiming();
        graph->SelectTab(tab);
        graph->chartView()->viewport()->repaint();
    }
}
BENCHMARK(BM_TabRedraw)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    RegKey::SetFileLocation("/tmp/rvservice-graphs-bench-settings.json");
    if (qEnvironmentVariableIsEmpty("RVSERVICE_CHARTS_PLUGIN")) qputenv("RVSERVICE_CHARTS_PLUGIN", RVCHARTS_PATH);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
