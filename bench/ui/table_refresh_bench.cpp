// The entry table after one cell edit: the editor takes a typed key, the
// package stores and recalculates the entry, and the table repaints the rows
// in view. Packages of 100 and 100 000 entries, so the cost is seen not to
// grow with the package. For scale, a full tab change (every entry
// recalculated, the table rebuilt and painted) at the same sizes.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLineEdit>
#include <QTabBar>
#include <QTest>

#include <cstdint>
#include <memory>

#include "MainWindow.h"
#include "components/GoodTable.h"
#include "document/Entries.h"
#include "link/RegKey.h"
#include "support/ScriptedDialogs.h"

namespace {

// One window with a package of `entries` entries on tab 1.
std::unique_ptr<TMainForm> makeWindow(int entries) {
    auto form = std::make_unique<TMainForm>(
        std::make_unique<testsupport::ScriptedDialogs>(19));  // New: a Kelt model; New package: calibration
    form->show();
    form->ActionNew->trigger();
    form->ActionNewPackage->trigger();
    PackageBase& package = *form->document().packages().back();
    // Bench values that every computation step accepts (a zero time would
    // make each entry take its fallbacks).
    for (int i = 0; i < entries; ++i) {
        package.addEntry();
        const double volume = 10.0 + (i % 1000) * 0.1, timeRef = 36.0, time1 = 100.0;
        const std::int32_t pulses = 1001 + (i % 1000) * 10;
        package.setField(i, kVolRef, &volume);
        package.setField(i, kTimeRef, &timeRef);
        package.setField(i, kTime1, &time1);
        package.setField(i, kPulses1, &pulses);
    }
    form->SelectTab(0);
    form->SelectTab(1);
    QApplication::processEvents();
    return form;
}

int columnOf(const PackageBase& package, int field) {
    for (int col = 0; col < package.columnCount(); ++col)
        if (package.columnField(col) == field) return col;
    return 0;
}

void BM_CellEditRefresh(benchmark::State& state) {
    const int entries = static_cast<int>(state.range(0));
    auto form = makeWindow(entries);
    TGoodTable* table = form->table();
    PackageBase& package = *form->CurrentPackage();
    table->SetRow(entries / 2);
    table->SetCol(columnOf(package, kTimeRef));
    char key = '1';
    for (auto _ : state) {
        QTest::keyClick(table, key);  // opens the editor with the key: store, recalculate, repaint the row
        QTest::keyClick(table->Editor(), Qt::Key_Return);
        table->viewport()->repaint();
        key = key == '9' ? '1' : static_cast<char>(key + 1);
    }
    state.counters["entries"] = entries;
}
BENCHMARK(BM_CellEditRefresh)->Arg(100)->Arg(100000)->Unit(benchmark::kMicrosecond);

void BM_TabChangeRefresh(benchmark::State& state) {
    const int entries = static_cast<int>(state.range(0));
    auto form = makeWindow(entries);
    for (auto _ : state) {
        form->SelectTab(0);
        form->SelectTab(1);
        form->table()->viewport()->repaint();
    }
    state.counters["entries"] = entries;
}
BENCHMARK(BM_TabChangeRefresh)->Arg(100)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    RegKey::SetFileLocation("/tmp/rvservice-table-bench-settings.json");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
