#include "ReadingsTab.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QVBoxLayout>

#include <ctime>
#include <exception>

#include "ReadingsChart.h"
#include "common/Console.h"
#include "components/Accessibility.h"

namespace {

QPushButton* button(const QString& caption, const char* name, const QString& hint, QWidget* parent) {
    auto* b = named(new QPushButton(caption, parent), name, hint.isEmpty() ? caption : hint);
    if (!hint.isEmpty()) b->setToolTip(hint);
    b->setAutoDefault(false);
    return b;
}

std::string toStd(const QString& text) { return text.toStdString(); }

std::tm localNow() {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    return t;
}

}  // namespace

// ---------------------------------------------------------------- dialogs

bool ReadingsDialogs::confirmClear(QWidget* parent) {
    return QMessageBox::question(parent, QStringLiteral("Внимание"), QStringLiteral("Очистить текущие показания ?"),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

QString ReadingsDialogs::saveName(QWidget* parent, const QString& proposed) {
    QFileDialog dialog(parent, QString(), QString(), QStringLiteral("CSV файл (*.csv)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.selectFile(proposed);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

QString ReadingsDialogs::openName(QWidget* parent) {
    QFileDialog dialog(parent, QString(), QString(), QStringLiteral("CSV файл (*.csv);;Все файлы (*)"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

bool ReadingsDialogs::choosePrinter(QWidget* parent, QPrinter& printer) {
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

QString ReadingsDialogs::pdfName(QWidget* parent, const QString& proposed) {
    QFileDialog dialog(parent, QStringLiteral("Печать в PDF"), QString(), QStringLiteral("PDF файл (*.pdf)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    dialog.selectFile(proposed);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

// ---------------------------------------------------------------- the tab

TReadingsTab::TReadingsTab(rv::ReadingsStore& store, Console& console, QWidget* parent)
    : ReadingsPage(parent), m_store(store), m_console(console), m_dialogs(std::make_unique<ReadingsDialogs>()) {
    m_chart = new ReadingsChart(this);
    m_chart->setMinimumSize(200, 150);

    m_clear = button(QStringLiteral("Очистить"), "ClearADC", {}, this);
    auto* closer = button(QStringLiteral("Приблизить"), "CloserADC", QStringLiteral("Приблизить"), this);
    auto* further = button(QStringLiteral("Отдалить"), "FurtherADC", QStringLiteral("Отдалить"), this);
    auto* broader = button(QStringLiteral("Сжать"), "BroaderADC", QStringLiteral("Сжать"), this);
    auto* narrower = button(QStringLiteral("Растянуть"), "NarrowerADC", QStringLiteral("Растянуть"), this);
    auto* automatic = button(QStringLiteral("Авто"), "AutoADC", QStringLiteral("Автоматический масштаб"), this);
    m_scrolling = named(new QCheckBox(QStringLiteral("Прокрутка"), this), "Scrolling", QStringLiteral("Прокрутка"));
    auto* save = button(QStringLiteral("Сохранить"), "SaveADC", QStringLiteral("Сохранить показания в файл"), this);
    auto* load = button(QStringLiteral("Загрузить"), "LoadADC", QStringLiteral("Загрузить показания из файла"), this);
    auto* analyze = button(QStringLiteral("Анализ"), "Analyze",
                           QStringLiteral("Среднее, шум и шум/сигнал показаний в окне графика"), this);
    auto* print = button(QStringLiteral("Печать"), "PrintChart", QStringLiteral("Печать графика"), this);
    auto* pdf = button(QStringLiteral("Печать в PDF"), "PrintPdf", QStringLiteral("Сохранить график в файл PDF"), this);
    m_code = named(new QCheckBox(QStringLiteral("Код"), this), "Code", QStringLiteral("Показывать код"));
    m_code->setChecked(true);
    m_code->setStyleSheet(QStringLiteral("QCheckBox { color: blue; }"));
    m_filter = named(new QCheckBox(QStringLiteral("Фильтр"), this), "Filter", QStringLiteral("Показывать фильтр"));
    m_filter->setChecked(true);
    m_filter->setStyleSheet(QStringLiteral("QCheckBox { color: red; }"));
    m_observation = named(new QCheckBox(QStringLiteral("Показания"), this), "Observation",
                          QStringLiteral("Опрашивать показания"));
    m_reading = named(new QLabel(this), "ObservationValue", QStringLiteral("Последнее показание"));
    m_reading->setWordWrap(true);

    // A column beside the chart: polling and what is drawn, the scale, the
    // samples, the printout.
    auto* side = new QVBoxLayout;
    side->setSpacing(3);
    side->addWidget(m_observation);
    side->addWidget(m_reading);
    side->addWidget(m_code);
    side->addWidget(m_filter);
    side->addSpacing(6);
    auto* zoom = new QGridLayout;
    zoom->setSpacing(3);
    zoom->addWidget(closer, 0, 0);
    zoom->addWidget(further, 0, 1);
    zoom->addWidget(narrower, 1, 0);
    zoom->addWidget(broader, 1, 1);
    zoom->addWidget(automatic, 2, 0);
    zoom->addWidget(m_scrolling, 2, 1);
    side->addLayout(zoom);
    side->addSpacing(6);
    for (QPushButton* b : {m_clear, save, load, analyze}) side->addWidget(b);
    side->addStretch();
    side->addWidget(print);
    side->addWidget(pdf);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(4);
    layout->addWidget(m_chart, 1);
    layout->addLayout(side);

    connect(m_clear, &QPushButton::clicked, this, &TReadingsTab::ClearClick);
    connect(closer, &QPushButton::clicked, this, [this] { m_chart->zoom(rv::ZoomButton::Closer); });
    connect(further, &QPushButton::clicked, this, [this] { m_chart->zoom(rv::ZoomButton::Further); });
    connect(broader, &QPushButton::clicked, this, [this] { m_chart->zoom(rv::ZoomButton::Broader); });
    connect(narrower, &QPushButton::clicked, this, [this] { m_chart->zoom(rv::ZoomButton::Narrower); });
    connect(automatic, &QPushButton::clicked, this, [this] { m_chart->setAutomatic(); });
    connect(m_scrolling, &QCheckBox::toggled, this, [this](bool on) { m_chart->setScrolling(on); });
    connect(save, &QPushButton::clicked, this, &TReadingsTab::SaveClick);
    connect(load, &QPushButton::clicked, this, &TReadingsTab::LoadClick);
    connect(analyze, &QPushButton::clicked, this, &TReadingsTab::AnalyzeClick);
    connect(print, &QPushButton::clicked, this, &TReadingsTab::PrintClick);
    connect(pdf, &QPushButton::clicked, this, &TReadingsTab::PrintPdfClick);
    connect(m_code, &QCheckBox::clicked, this, &TReadingsTab::SeriesEnabledClick);
    connect(m_filter, &QCheckBox::clicked, this, &TReadingsTab::SeriesEnabledClick);
    sync();
}

TReadingsTab::~TReadingsTab() = default;

void TReadingsTab::setDialogs(std::unique_ptr<ReadingsDialogs> dialogs) { m_dialogs = std::move(dialogs); }

void TReadingsTab::sync() { m_chart->sync(m_store); }

bool TReadingsTab::ClearWithQuestion() {
    // Samples that arrive while the question is open are dropped.
    m_store.setPaused(true);
    const bool yes = m_dialogs->confirmClear(this);
    if (yes) {
        m_store.clear();
        sync();
        m_chart->setAutomatic();
    }
    m_store.setPaused(false);
    m_scrolling->setChecked(false);
    return yes;
}

void TReadingsTab::ClearClick() { ClearWithQuestion(); }

void TReadingsTab::SaveClick() {
    const QString proposed = QString::fromStdString(rv::proposedReadingsName(localNow()));
    const QString chosen = m_dialogs->saveName(this, proposed);
    if (chosen.isEmpty()) return;
    const std::string path = rv::withReadingsExtension(toStd(chosen));
    try {
        rv::saveReadings(path, m_store);
        m_console.message(rv::readingsSavedMessage(path));
    } catch (const std::exception& e) {
        m_console.message(e.what());
    }
}

void TReadingsTab::LoadClick() {
    const QString chosen = m_dialogs->openName(this);
    if (chosen.isEmpty()) return;
    ClearWithQuestion();
    const std::string path = toStd(chosen);
    try {
        const rv::ReadingsParse loaded = rv::loadReadings(path);
        m_store.append(loaded);
        sync();
        if (loaded.error)
            m_console.message(*loaded.error);
        else
            m_console.message(rv::readingsLoadedMessage(path));
    } catch (const std::exception& e) {
        m_console.message(e.what());
    }
}

void TReadingsTab::AnalyzeClick() {
    const rv::AxisRange x = m_chart->xRange();
    if (const auto a = rv::analyzeReadings(m_store.raw(), x.min, x.max)) m_console.message(rv::analysisMessage(*a));
}

void TReadingsTab::Render(QPrinter& printer) {
    QPainter painter;
    if (!painter.begin(&printer)) {
        m_console.message("Печать не удалась");
        return;
    }
    const QRect page = painter.viewport();
    // The chart as drawn on screen, scaled to the page's width.
    QSize size = m_chart->size();
    size.scale(page.size(), Qt::KeepAspectRatio);
    m_chart->render(&painter, QRectF(page.topLeft(), size));
    painter.end();
}

void TReadingsTab::PrintClick() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    if (!m_dialogs->choosePrinter(this, printer)) return;
    Render(printer);
}

void TReadingsTab::PrintPdfClick() {
    const QString proposed = QString::fromStdString(rv::proposedReadingsName(localNow())).replace(
        QStringLiteral(".csv"), QStringLiteral(".pdf"));
    const QString chosen = m_dialogs->pdfName(this, proposed);
    if (chosen.isEmpty()) return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setOutputFileName(chosen);
    Render(printer);
}

void TReadingsTab::SeriesEnabledClick() { m_chart->setSeriesShown(m_code->isChecked(), m_filter->isChecked()); }
