#pragma once

// The "Показания" tab of the RV page: Chart1 over the page controller's
// readings store, with its buttons (AdcControl), the "Код" and "Фильтр"
// boxes (SeriesEnabledClick) and the Observation box that makes the page
// poll the readings. Results and failures go to the message console.

#include <QString>
#include <QWidget>

#include <memory>

#include "ChartWindows.h"
#include "devices/rv/Readings.h"

class Console;
class QCheckBox;
class QLabel;
class QPrinter;
class QPushButton;
class ReadingsChart;

// The questions and file names the tab asks for; tests replace them.
class ReadingsDialogs {
public:
    virtual ~ReadingsDialogs() = default;
    // "Очистить текущие показания ?" with the caption "Внимание".
    virtual bool confirmClear(QWidget* parent);
    // Empty when cancelled.
    virtual QString saveName(QWidget* parent, const QString& proposed);
    virtual QString openName(QWidget* parent);
    // The system's print dialog; false when cancelled.
    virtual bool choosePrinter(QWidget* parent, QPrinter& printer);
    // The file "Печать в PDF" writes; empty when cancelled.
    virtual QString pdfName(QWidget* parent, const QString& proposed);
};

class TReadingsTab : public ReadingsPage {
    Q_OBJECT
public:
    TReadingsTab(rv::ReadingsStore& store, Console& console, QWidget* parent = nullptr);
    ~TReadingsTab() override;

    void setDialogs(std::unique_ptr<ReadingsDialogs> dialogs);
    ReadingsChart* chart() const { return m_chart; }
    QCheckBox* observationBox() const override { return m_observation; }
    QLabel* readingLabel() const override { return m_reading; }

    // Draws the samples the store took since the last call.
    void sync() override;

    // The buttons' actions (AdcControl).
    void ClearClick();
    void SaveClick();
    void LoadClick();
    void AnalyzeClick();
    void PrintClick();
    void PrintPdfClick();
    void SeriesEnabledClick();

private:
    // "Очистить" with its question: true when the samples were cleared.
    bool ClearWithQuestion();
    void Render(QPrinter& printer);

    rv::ReadingsStore& m_store;
    Console& m_console;
    std::unique_ptr<ReadingsDialogs> m_dialogs;
    ReadingsChart* m_chart = nullptr;
    QPushButton* m_clear = nullptr;
    QCheckBox* m_scrolling = nullptr;
    QCheckBox* m_code = nullptr;
    QCheckBox* m_filter = nullptr;
    QCheckBox* m_observation = nullptr;
    QLabel* m_reading = nullptr;
};
