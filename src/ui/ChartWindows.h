#pragma once

// The windows drawn with Qt Charts (the graphs window, "Выбор сечений" and
// the RV page's "Показания" tab) live in the Qt plugin librvcharts, which the
// program loads when the first of them is made: it starts and paints its
// window without loading Qt Charts and Qt Print Support. The program reaches
// them only through the classes below, whose functions are virtual; the
// plugin links the widget layer and the core (librvui) as the program does.

#include <QDialog>
#include <QWidget>
#include <QtPlugin>

#include "approximation/GraphModel.h"

class Console;
class QCheckBox;
class QLabel;

namespace approximation {
class SectionSelection;
}
namespace rv {
class ReadingsStore;
}

// What the main window asks of the graphs window (TServiceGraph).
class GraphWindow : public QWidget {
public:
    using QWidget::QWidget;
    // Keeps the pointer (the caller keeps the data alive) and draws it.
    virtual void SetData(const SPILTS_DATA_EXCHANGE* data) = 0;
    // The two titles that depend on the document's family.
    virtual void SetArgumentTitle(const QString& title) = 0;
    virtual void SetRelativeTitle(const QString& title) = 0;
};

// What the RV page asks of its "Показания" tab (TReadingsTab).
class ReadingsPage : public QWidget {
public:
    using QWidget::QWidget;
    // The Observation box, which makes the page poll the readings.
    virtual QCheckBox* observationBox() const = 0;
    // The last reading as the page shows it.
    virtual QLabel* readingLabel() const = 0;
    // Draws the samples the store took since the last call.
    virtual void sync() = 0;
};

// What the set points command asks of "Выбор сечений" (SectionSelectDialog).
class SectionChooser : public QDialog {
public:
    using QDialog::QDialog;
    // The dialog modally over the selection; true when confirmed.
    virtual bool choose(approximation::SectionSelection& selection) = 0;
};

// The makers, the interface of librvcharts's plugin object.
class ChartWindows {
public:
    virtual ~ChartWindows() = default;
    virtual GraphWindow* graphWindow(QWidget* parent) const = 0;
    virtual ReadingsPage* readingsPage(rv::ReadingsStore& store, Console& console, QWidget* parent) const = 0;
    virtual SectionChooser* sectionChooser(QWidget* parent) const = 0;
};

#define RVSERVICE_CHART_WINDOWS_IID "rvservice.ChartWindows/1"
Q_DECLARE_INTERFACE(ChartWindows, RVSERVICE_CHART_WINDOWS_IID)

// The makers; the first call loads librvcharts: from the file the
// environment variable RVSERVICE_CHARTS_PLUGIN names when it is set (the
// tests and benchmarks), else from beside the program, or from the library
// folder the program is installed with. Throws std::runtime_error naming
// the library and the reason when it cannot be loaded.
const ChartWindows& Charts();
