#pragma once

// The windows drawn with Qt Charts (the graphs window, "Выбор сечений" and
// the RV page's "Показания" tab) live in the library librvcharts, which the
// program loads when the first of them is made: it starts and paints its
// window without loading Qt Charts and Qt Print Support. The program reaches
// them only through the classes below, whose functions are virtual; the
// library finds the rest of the program's code in the program itself, which
// exports its symbols for it.

#include <QDialog>
#include <QWidget>

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

// The makers librvcharts hands the program as it loads.
struct ChartWindows {
    GraphWindow* (*graphWindow)(QWidget* parent);
    ReadingsPage* (*readingsPage)(rv::ReadingsStore& store, Console& console, QWidget* parent);
    SectionChooser* (*sectionChooser)(QWidget* parent);
};

// Called by librvcharts while it loads (or, in a program linked with it, at
// its start).
void RegisterChartWindows(const ChartWindows* windows);

// The makers; the first call loads librvcharts from beside the program, or
// from the library folder the program is installed with. Throws
// std::runtime_error naming the library and the reason when it cannot be
// loaded.
const ChartWindows& Charts();
