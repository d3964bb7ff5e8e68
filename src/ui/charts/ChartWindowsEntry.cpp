// What librvcharts hands the program: the makers of its windows, registered
// as the library loads.
#include "ChartWindows.h"
#include "ReadingsTab.h"
#include "SectionSelectDialog.h"
#include "ServiceGraph.h"

namespace {

const ChartWindows kWindows{
    [](QWidget* parent) -> GraphWindow* { return new TServiceGraph(parent); },
    [](rv::ReadingsStore& store, Console& console, QWidget* parent) -> ReadingsPage* {
        return new TReadingsTab(store, console, parent);
    },
    [](QWidget* parent) -> SectionChooser* { return new SectionSelectDialog(parent); },
};

const bool kRegistered = [] {
    RegisterChartWindows(&kWindows);
    return true;
}();

}  // namespace
