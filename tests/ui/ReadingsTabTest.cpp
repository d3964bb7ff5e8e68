// The "Показания" tab of the RV page: observation against devsim's RV meter
// (codes 12000 ± 40) filling the chart five times a second, save, clear,
// load and "Анализ" giving the same figures, the pause while the clear
// question is open; the zoom buttons, the series boxes, scrolling, the
// decimated drawing of a long run and the PDF printout on samples put into
// the store directly.

#include "ReadingsChart.h"
#include "ReadingsTab.h"
#include "RvFrame.h"

#include "common/Console.h"
#include "common/Locale.h"
#include "comprt/ComPort.h"
#include "devices/rv/RVx2.h"
#include "link/RegKey.h"
#include "support/Devsim.h"

#include <QChart>
#include <QCheckBox>
#include <QFile>
#include <QLegend>
#include <QLineSeries>
#include <QPushButton>
#include <QTabWidget>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <functional>
#include <memory>

#include "SimulatedRv.h"
#include "WidgetActions.h"

using widgettest::child;

namespace {

// Answers and names the test chooses; every question is counted.
class ScriptedReadingsDialogs : public ReadingsDialogs {
public:
    bool clearAnswer = true;
    std::function<void()> whileAsked;  // runs while the clear question is open
    QString save, open, pdf;
    int questions = 0;
    QString proposed;
    bool confirmClear(QWidget*) override {
        ++questions;
        if (whileAsked) whileAsked();
        return clearAnswer;
    }
    QString saveName(QWidget*, const QString& p) override {
        proposed = p;
        return save;
    }
    QString openName(QWidget*) override { return open; }
    bool choosePrinter(QWidget*, QPrinter&) override { return false; }
    QString pdfName(QWidget*, const QString&) override { return pdf; }
};

Locale withSeparator(char c) {
    Locale loc = Locale::current();
    loc.decimalSeparator = c;
    return loc;
}

}  // namespace

class ReadingsTabTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void namesHintsAndColours();
    void observationFillsTheChartAndASavedRunAnalysesTheSameWhenLoaded();
    void samplesArrivingDuringTheClearQuestionAreDropped();
    void zoomButtonsAutoAndSeriesBoxes();
    void scrollingMovesTheAxisWithEverySample();
    void anHourOfSamplesIsDrawnDecimatedAndAppendedInPlace();
    void aBadLineStopsTheLoadAndAPdfIsPrinted();

private:
    struct Page {
        RVx2 meter;
        TRVFrame frame;
        ScriptedReadingsDialogs* dialogs;
        explicit Page(Console& console)
            : meter(console), frame(meter, console), dialogs(new ScriptedReadingsDialogs) {
            tab().setDialogs(std::unique_ptr<ReadingsDialogs>(dialogs));
        }
        TReadingsTab& tab() { return *qobject_cast<TReadingsTab*>(frame.readingsTab()); }
        ReadingsChart& chart() { return *tab().chart(); }
        rv::ReadingsStore& store() { return frame.controller()->readings(); }
        void click(const char* name) { child<QAbstractButton>(frame, name)->click(); }
        void showTab() {
            frame.resize(1000, 560);
            // The tab's sheet holds the readings page.
            child<QTabWidget>(frame, "PageControl")->setCurrentWidget(tab().parentWidget());
            frame.show();
        }
    };
    void openAndObserve(Page& page);
    // Puts `n` samples into the store as polls would and draws them.
    static void feed(Page& page, int n, int base = 12000);

    QTemporaryDir m_dir;
    std::unique_ptr<testsupport::Devsim> m_devsim;
    std::string m_path;
    int m_portItem = 0;
    Console m_console;
    QStringList m_log;
};

void ReadingsTabTest::initTestCase() {
    QVERIFY(m_dir.isValid());
    const QString error = widgettest::startSimulatedRv(m_devsim, m_path, m_portItem);
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void ReadingsTabTest::cleanupTestCase() { m_devsim.reset(); }

void ReadingsTabTest::init() {
    widgettest::rememberRvPort(m_dir, m_portItem);
    m_console.clear();
    m_log.clear();
    m_console.setListener([this](const std::string& text) { m_log << QString::fromStdString(text); });
}

void ReadingsTabTest::openAndObserve(Page& page) {
    page.showTab();
    QSignalSpy spy(&page.frame, &TRVFrame::resultHandled);
    page.click("OpenPortButton");
    QVERIFY(QTest::qWaitFor([&] { return spy.count() >= 8; }, 15000));  // the open and its seven reads
    page.click("Observation");
}

void ReadingsTabTest::feed(Page& page, int n, int base) {
    for (int i = 0; i < n; ++i) page.store().take(base + (i * 37) % 81 - 40);
    page.tab().sync();
}

void ReadingsTabTest::namesHintsAndColours() {
    Page page(m_console);
    const struct {
        const char* name;
        const char* hint;
    } kControls[] = {
        {"ClearADC", nullptr},     {"CloserADC", "Приблизить"}, {"FurtherADC", "Отдалить"},
        {"BroaderADC", "Сжать"},   {"NarrowerADC", "Растянуть"}, {"AutoADC", "Автоматический масштаб"},
        {"Scrolling", nullptr},    {"SaveADC", nullptr},        {"LoadADC", nullptr},
        {"Analyze", nullptr},      {"Code", nullptr},           {"Filter", nullptr},
        {"Observation", nullptr},  {"PrintChart", nullptr},     {"PrintPdf", nullptr},
    };
    for (const auto& c : kControls) {
        auto* control = child<QAbstractButton>(page.frame, c.name);
        QVERIFY2(control, c.name);
        QVERIFY2(!control->accessibleName().isEmpty(), c.name);
        if (c.hint) QCOMPARE(control->toolTip(), QString::fromUtf8(c.hint));
    }
    QVERIFY(child<QCheckBox>(page.frame, "Code")->isChecked());
    QVERIFY(child<QCheckBox>(page.frame, "Filter")->isChecked());
    QVERIFY(!child<QCheckBox>(page.frame, "Observation")->isChecked());
    QCOMPARE(child<QAbstractButton>(page.frame, "ClearADC")->text(), QStringLiteral("Очистить"));
    QVERIFY(child<ReadingsChart>(page.frame, "Chart1"));
    QVERIFY(!page.chart().chart()->legend()->isVisible());
    QCOMPARE(page.chart().series1()->pen().color(), QColor(Qt::blue));
    QCOMPARE(page.chart().series2()->pen().color(), QColor(Qt::red));
}

void ReadingsTabTest::observationFillsTheChartAndASavedRunAnalysesTheSameWhenLoaded() {
    ScopedLocale comma(withSeparator(','));
    Page page(m_console);
    openAndObserve(page);
    QTest::qWait(6000);
    // Five readings a second, each drawn as it arrives.
    const std::size_t observed = page.store().size();
    QVERIFY2(observed >= 27 && observed <= 32, qPrintable(QString::number(observed)));
    QTRY_COMPARE(page.chart().series1()->count(), static_cast<int>(page.store().size()));
    QCOMPARE(page.chart().series2()->count(), page.chart().series1()->count());
    for (const QPointF& p : page.chart().series1()->points()) QVERIFY(std::abs(p.y() - 12000) <= 40.5);
    page.click("Observation");  // no more readings
    QTest::qWait(400);          // one that was under way
    page.tab().sync();
    const std::vector<double> raw = page.store().raw();
    // The automatic X axis: from 0 to a step (about 2 %) past the last sample.
    const double last = double(raw.size() - 1);
    QCOMPARE(page.chart().xRange().min, 0.0);
    QVERIFY(page.chart().xRange().max >= last && page.chart().xRange().max <= last + 1);

    m_log.clear();
    page.click("Analyze");
    QCOMPARE(m_log.size(), 1);
    const QString figures = m_log.front();
    QVERIFY2(figures.startsWith(QStringLiteral("Диапазон: 0 - %1, Среднее значение: 1").arg(raw.size() - 1)),
             qPrintable(figures));

    // A bare name is saved with ".csv".
    const QString bare = m_dir.filePath(QStringLiteral("run"));
    page.dialogs->save = bare;
    page.click("SaveADC");
    QVERIFY(page.dialogs->proposed.startsWith(QStringLiteral("Показания_")));
    QVERIFY(page.dialogs->proposed.endsWith(QStringLiteral(".csv")));
    QCOMPARE(page.dialogs->proposed.size(), QStringLiteral("Показания_dd_mm_hh_nn.csv").size());
    QCOMPARE(m_log.back(), QStringLiteral("Файл показаний %1.csv сохранен").arg(bare));
    QVERIFY(QFile::exists(bare + QStringLiteral(".csv")));

    // No keeps the samples and still unchecks Scrolling; Yes empties the chart.
    child<QCheckBox>(page.frame, "Scrolling")->setChecked(true);
    page.dialogs->clearAnswer = false;
    page.click("ClearADC");
    QCOMPARE(page.store().raw(), raw);
    QVERIFY(!child<QCheckBox>(page.frame, "Scrolling")->isChecked());
    page.dialogs->clearAnswer = true;
    page.click("ClearADC");
    QCOMPARE(page.store().size(), std::size_t{0});
    QCOMPARE(page.chart().drawnPoints(), 0);

    page.dialogs->open = bare + QStringLiteral(".csv");
    const int asked = page.dialogs->questions;
    page.click("LoadADC");
    QCOMPARE(page.dialogs->questions, asked + 1);  // the clear question first
    QCOMPARE(m_log.back(), QStringLiteral("Файл показаний%1.csv загружен").arg(bare));
    QCOMPARE(page.store().raw(), raw);
    QCOMPARE(page.chart().series1()->count(), static_cast<int>(raw.size()));
    page.click("Analyze");
    QCOMPARE(m_log.back(), figures);

    // Readings polled after the load follow the loaded ones.
    page.click("Observation");
    QTRY_VERIFY_WITH_TIMEOUT(page.store().size() > raw.size(), 3000);
    QCOMPARE(page.chart().series1()->at(static_cast<int>(raw.size())).x(), double(raw.size()));
}

void ReadingsTabTest::samplesArrivingDuringTheClearQuestionAreDropped() {
    Page page(m_console);
    openAndObserve(page);
    QTRY_VERIFY_WITH_TIMEOUT(page.store().size() >= 3, 3000);
    std::size_t during = 0;
    page.dialogs->clearAnswer = false;
    page.dialogs->whileAsked = [&] {
        const std::size_t before = page.store().size();
        QTest::qWait(1000);  // five polls answered while the question is open
        during = page.store().size() - before;
    };
    page.click("ClearADC");
    QCOMPARE(during, std::size_t{0});
    const std::size_t after = page.store().size();
    QTRY_VERIFY_WITH_TIMEOUT(page.store().size() > after, 3000);  // polling goes on
}

void ReadingsTabTest::zoomButtonsAutoAndSeriesBoxes() {
    Page page(m_console);
    feed(page, 401);
    ReadingsChart& chart = page.chart();
    QCOMPARE(chart.xRange(), (rv::AxisRange{0, 408}));
    const rv::AxisRange y = chart.yRange();
    QVERIFY(y.min >= 11960 && y.max <= 12040 && y.max > y.min);

    page.click("NarrowerADC");
    QCOMPARE(chart.xRange(), (rv::AxisRange{102, 306}));
    QVERIFY(!chart.automaticX());
    QVERIFY(chart.automaticY());
    page.click("BroaderADC");
    QCOMPARE(chart.xRange(), (rv::AxisRange{0, 408}));
    page.click("CloserADC");
    const double r = y.max - y.min;
    QCOMPARE(chart.yRange(), (rv::AxisRange{y.min + r / 4, y.max - r / 4}));
    page.click("FurtherADC");  // half the range added at each end: back where it was
    QCOMPARE(chart.yRange(), y);
    QVERIFY(!chart.automaticY());

    // "Анализ" takes the samples in view.
    page.click("NarrowerADC");
    m_log.clear();
    page.click("Analyze");
    QVERIFY2(m_log.size() == 1 && m_log.front().startsWith(QStringLiteral("Диапазон: 102 - 306,")),
             qPrintable(m_log.join('|')));

    page.click("AutoADC");
    QVERIFY(chart.automaticX() && chart.automaticY());
    QCOMPARE(chart.xRange(), (rv::AxisRange{0, 408}));
    QCOMPARE(chart.yRange(), y);

    // The boxes hide their series; the automatic Y axis follows what is shown.
    page.store().clear();
    page.store().take(1000);
    page.store().take(2000);  // filtered: 1000, 1500
    page.tab().sync();
    QCOMPARE(chart.yRange(), (rv::AxisRange{1000, 2000}));
    page.click("Code");
    QVERIFY(!chart.series1()->isVisible());
    QVERIFY(chart.series2()->isVisible());
    QCOMPARE(chart.yRange(), (rv::AxisRange{1000, 1500}));
    page.click("Filter");
    QVERIFY(!chart.series2()->isVisible());
    page.click("Code");
    QVERIFY(chart.series1()->isVisible());
    QCOMPARE(chart.yRange(), (rv::AxisRange{1000, 2000}));
}

void ReadingsTabTest::scrollingMovesTheAxisWithEverySample() {
    Page page(m_console);
    feed(page, 101);
    page.click("NarrowerADC");  // 0 … 102 becomes 25.5 … 76.5
    child<QCheckBox>(page.frame, "Scrolling")->setChecked(true);
    feed(page, 3);
    QCOMPARE(page.chart().xRange(), (rv::AxisRange{28.5, 79.5}));
}

void ReadingsTabTest::anHourOfSamplesIsDrawnDecimatedAndAppendedInPlace() {
    Page page(m_console);
    page.showTab();
    QVERIFY(QTest::qWaitForWindowExposed(&page.frame));
    ReadingsChart& chart = page.chart();
    const int width = static_cast<int>(chart.chart()->plotArea().width());
    QVERIFY(width > 100);
    // An hour at five a second, with one spike the drawing must keep.
    for (int i = 0; i < 18000; ++i) {
        page.store().take(12000 + (i * 37) % 81 - 40 + (i == 9001 ? 5000 : 0));
        if (i % 50 == 0) page.tab().sync();
    }
    page.tab().sync();
    QVERIFY2(chart.drawnPoints() <= 2 * 4 * width + 8, qPrintable(QString::number(chart.drawnPoints())));
    QVERIFY(chart.bucketSize() > 1);
    double top = 0;
    for (const QPointF& p : chart.series1()->points()) top = std::max(top, p.y());
    QCOMPARE(top, 17000.0 + ((9001 * 37) % 81) - 40);
    QCOMPARE(chart.yRange().max, top);

    // A few more samples: appended or replaced in place, never redrawn whole.
    QSignalSpy redrawn(chart.series1(), &QXYSeries::pointsReplaced);
    const int before = chart.series1()->count();
    for (int i = 0; i < 5; ++i) {
        page.store().take(12000);
        page.tab().sync();
    }
    QCOMPARE(redrawn.count(), 0);
    QVERIFY(chart.series1()->count() - before <= 2);
    QVERIFY(chart.xRange().max >= 18004.0);
}

void ReadingsTabTest::aBadLineStopsTheLoadAndAPdfIsPrinted() {
    ScopedLocale dot(withSeparator('.'));
    Page page(m_console);
    const QString path = m_dir.filePath(QStringLiteral("bad.csv"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("0;100;100\n1;-12,5;7\n2;x;1\n3;5;5\n");
    }
    page.dialogs->open = path;
    page.click("LoadADC");
    QCOMPARE(page.store().raw(), (std::vector<double>{100, -12.5}));
    QCOMPARE(page.store().filtered(), (std::vector<double>{100, 7}));
    QCOMPARE(m_log.back(), QStringLiteral("'x' is not a valid floating point value"));
    QCOMPARE(page.chart().series1()->count(), 2);

    page.showTab();
    page.dialogs->pdf = m_dir.filePath(QStringLiteral("chart.pdf"));
    page.click("PrintPdf");
    QFile pdf(page.dialogs->pdf);
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    QVERIFY(pdf.read(5) == "%PDF-");
    QVERIFY(pdf.size() > 1000);

    // A file that cannot be written: its text goes to the console.
    page.dialogs->save = QStringLiteral("/nonexistent-folder/run.csv");
    page.click("SaveADC");
    QVERIFY2(m_log.back().contains(QStringLiteral("No such file or directory")), qPrintable(m_log.back()));
}

QTEST_MAIN(ReadingsTabTest)
#include "ReadingsTabTest.moc"
