// The plugin's one object: the makers of the windows drawn with Qt Charts.
#include <QObject>

#include "ChartWindows.h"
#include "ReadingsTab.h"
#include "SectionSelectDialog.h"
#include "ServiceGraph.h"

class ChartWindowsPlugin : public QObject, public ChartWindows {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID RVSERVICE_CHART_WINDOWS_IID)
    Q_INTERFACES(ChartWindows)
public:
    GraphWindow* graphWindow(QWidget* parent) const override { return new TServiceGraph(parent); }
    ReadingsPage* readingsPage(rv::ReadingsStore& store, Console& console, QWidget* parent) const override {
        return new TReadingsTab(store, console, parent);
    }
    SectionChooser* sectionChooser(QWidget* parent) const override { return new SectionSelectDialog(parent); }
};

#include "ChartWindowsPlugin.moc"
