#include "MainWindow.h"
#include "ServiceGraph.h"

#include "document/Entries.h"
#include "files/JsonDocument.h"
#include "link/RegKey.h"
#include "support/ScriptedDialogs.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QLineSeries>
#include <QListWidget>
#include <QLogValueAxis>
#include <QDialog>
#include <QMenu>
#include <QWindow>
#include <QPainter>
#include <QPushButton>
#include <QScatterSeries>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QValueAxis>

#include <cmath>
#include <memory>

namespace {

using approximation::GraphTab;

struct P {
    double x;  // argument
    double q;  // reference flow
    double e = 0.0;
};

SPILT_STRUCT series(const char* title, const std::vector<P>& points) {
    SPILT_STRUCT s;
    s.title = title;
    for (const P& p : points) s.points.push_back(SPILT_POINT{p.x, p.q, 0, 0, p.e});
    s.useLines = 1;
    s.useErrors = 1;
    return s;
}

// Flow = code / 100 up to code 300, then 2 · code / 100 − 3 (segment ends
// at flows 3 and 17).
const std::vector<GraphLine> kBroken = {{300, 0.01, 0.0}, {1000, 0.02, -3.0}};

QList<QPointF> pointsOf(const QXYSeries* s) { return s ? s->points() : QList<QPointF>(); }

bool near(const QPointF& a, const QPointF& b) {
    return std::abs(a.x() - b.x()) < 1e-9 && std::abs(a.y() - b.y()) < 1e-9;
}

using testsupport::ScriptedDialogs;

}  // namespace

class ServiceGraphTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void formNamesAndTabs();
    void seriesStylesAndList();
    void noLines();
    void scatterExample();
    void flowZeroDrawnNotGrouped();
    void scatterHiddenAfterGraphicsUntilClicked();
    void relativeZeroFlow();
    void clearAllKeepsCurveAndScatter();
    void selectAndInvert();
    void logarithmicAxisPerTab_data();
    void logarithmicAxisPerTab();
    void axisTitlesByFamilyAndNameAxis();
    void curveColoursAndPen();
    void zoomButtonsAndMinorGrid();
    void zeroTickReadsZero();
    void settingsStayUnlessBroughtUpFromAnotherWindow();
    void formActivateResetsAndZeroOffset();
    void statusBarReadouts();
    void printShowsTabCaption();
    void marksDrawnOnlyForShownSeries();
    void limitEnvelopeOnTheErrorTab();
    void graphicsCommand();

private:
    SPILTS_DATA_EXCHANGE scatterData() const;

    QTemporaryDir m_dir;
    std::unique_ptr<TServiceGraph> m_graph;
};

void ServiceGraphTest::initTestCase() { QVERIFY(m_dir.isValid()); }

void ServiceGraphTest::init() {
    const QString file = m_dir.filePath(QStringLiteral("settings-%1.json").arg(QTest::currentTestFunction()));
    QFile::remove(file);
    RegKey::SetFileLocation(file.toStdString());
    m_graph = std::make_unique<TServiceGraph>();
}

void ServiceGraphTest::cleanup() {
    m_graph.reset();
    RegKey::SetFileLocation({});
}

// Flows 10.0, 10.3 and 11.0 with stored errors 0.5, 0.1 and 0.2 %.
SPILTS_DATA_EXCHANGE ServiceGraphTest::scatterData() const {
    SPILTS_DATA_EXCHANGE data;
    data.series.push_back(series("Пакет 1", {{1000, 10.0, 0.5}, {1030, 10.3, 0.1}, {1100, 11.0, 0.2}}));
    data.lines = {{5000, 0.01, 0.0}};
    return data;
}

void ServiceGraphTest::formNamesAndTabs() {
    TServiceGraph& g = *m_graph;
    QCOMPARE(g.windowTitle(), QStringLiteral("График"));
    QCOMPARE(g.property("helpKeyword").toString(), QStringLiteral("graphics"));
    QTabBar* tabs = g.tabControl();
    QCOMPARE(tabs->objectName(), QStringLiteral("TabControl"));
    QCOMPARE(tabs->count(), 4);
    QCOMPARE(tabs->tabText(0), QStringLiteral("Погрешность"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("Прямая характеристика A"));
    QCOMPARE(tabs->tabText(2), QStringLiteral("Прямая характеристика  B"));
    QCOMPARE(tabs->tabText(3), QStringLiteral("Относительная характеристика"));

    // Every control of the form carries its name and a name a person reads.
    const char* names[] = {"TabControl", "Chart", "StatusBar", "ControlPanel", "SpiltSelect", "bLogariphmic",
                           "bMarks", "PointSize", "Closer", "Further", "Auto", "bNameAxis", "CheckCasual",
                           "bCalsDeltaAlways", "Offset", "bAproxLine", "bColorAprox", "Print"};
    for (const char* name : names) {
        auto* w = g.findChild<QWidget*>(QString::fromLatin1(name));
        QVERIFY2(w, name);
        QVERIFY2(!w->accessibleName().isEmpty(), name);
    }
    QCOMPARE(g.findChild<QWidget*>(QStringLiteral("Closer"))->toolTip(), QStringLiteral("Растянуть"));
    QCOMPARE(g.findChild<QWidget*>(QStringLiteral("Further"))->toolTip(), QStringLiteral("Сжать"));
    QCOMPARE(g.findChild<QWidget*>(QStringLiteral("Auto"))->toolTip(), QStringLiteral("Автоматический масштаб"));
    QCOMPARE(g.bCalsDeltaAlways->text(), QStringLiteral("Расчетная погрешность"));
    QCOMPARE(g.PointSize->minimum(), 2);
    QCOMPARE(g.PointSize->maximum(), 100);
    QCOMPARE(g.PointSize->value(), 6);
    QCOMPARE(g.Offset->minimum(), -1000);
    QCOMPARE(g.Offset->maximum(), 1000);
    QVERIFY(g.Offset->isHidden());
    QVERIFY(g.Label2->isHidden());
    QVERIFY(g.findChild<QWidget*>(QStringLiteral("ControlPanel"))->minimumWidth() >= 172);
    const QList<QAction*> menu = g.spiltMenu()->actions();
    QCOMPARE(menu.size(), 3);
    QCOMPARE(menu[0]->objectName(), QStringLiteral("N1"));
    QCOMPARE(menu[0]->text(), QStringLiteral("Выделить все"));
    QCOMPARE(menu[1]->text(), QStringLiteral("Очистить все"));
    QCOMPARE(menu[2]->text(), QStringLiteral("Инвертировать"));
    QVERIFY(!g.chart()->legend()->isVisible());
    QVERIFY(g.chart()->title().isEmpty());
}

void ServiceGraphTest::seriesStylesAndList() {
    SPILTS_DATA_EXCHANGE data;
    for (int i = 0; i < 27; ++i) data.series.push_back(series("S", {{100, 1.0}}));
    data.series[0].title = "Градуировочный 01.12.2026";
    data.lines = kBroken;
    m_graph->SetData(&data);
    const auto& s = m_graph->structureSeries();
    QCOMPARE(s.size(), std::size_t(27));
    QCOMPARE(s[0]->color(), QColor(0, 128, 0));
    QCOMPARE(s[1]->color(), QColor(0, 0, 255));
    QCOMPARE(s[1]->property("marker").toString(), QStringLiteral("rectangle"));
    QCOMPARE(s[3]->property("marker").toString(), QStringLiteral("diamond"));
    QCOMPARE(s[4]->property("marker").toString(), QStringLiteral("down triangle"));
    QCOMPARE(s[25]->color(), QColor(0, 0, 0));
    QCOMPARE(s[26]->color(), QColor(0, 0, 255));  // 26 folds to 1
    QCOMPARE(s[0]->pen().style(), Qt::NoPen);      // points only
    QCOMPARE(s[0]->markerSize(), 6.0);
    // The marker picture: a filled circle in the style's colour, empty corners.
    const QImage marker = s[0]->lightMarker();
    QCOMPARE(marker.size(), QSize(6, 6));
    QCOMPARE(QColor(marker.pixel(3, 3)), QColor(0, 128, 0));
    QCOMPARE(qAlpha(marker.pixel(0, 0)), 0);

    QListWidget* list = m_graph->spiltSelect();
    QCOMPARE(list->count(), 27);
    QListWidgetItem* first = list->item(0);
    QCOMPARE(first->text(), QStringLiteral("Градуировочный 01.12.2026"));
    QCOMPARE(first->checkState(), Qt::Checked);
    // The hint over an item is its caption; the item announces its state.
    QCOMPARE(first->toolTip(), first->text());
    QCOMPARE(first->data(Qt::AccessibleTextRole).toString(), QStringLiteral("Градуировочный 01.12.2026, показана"));
    QVERIFY(first->data(Qt::AccessibleDescriptionRole).toString().contains(QStringLiteral("круг")));
    // The icon is the picture of the style's image: 25 shares image 0 with 12.
    QCOMPARE(list->item(25)->icon().pixmap(12).toImage(), list->item(12)->icon().pixmap(12).toImage());
    QVERIFY(list->item(25)->icon().pixmap(12).toImage() != list->item(22)->icon().pixmap(12).toImage());

    m_graph->PointSize->setValue(11);
    for (QLineSeries* series : s) {
        QCOMPARE(series->markerSize(), 11.0);
        QCOMPARE(series->lightMarker().size(), QSize(11, 11));
    }

    first->setCheckState(Qt::Unchecked);  // a click on the check box
    QVERIFY(!s[0]->isVisible());
    QCOMPARE(first->data(Qt::AccessibleTextRole).toString(), QStringLiteral("Градуировочный 01.12.2026, скрыта"));
}

void ServiceGraphTest::noLines() {
    SPILTS_DATA_EXCHANGE data;
    data.series.push_back(series("A", {{100, 1.0, 0.5}, {200, 2.0, 0.1}}));
    m_graph->bCalsDeltaAlways->setChecked(true);
    m_graph->SetData(&data);
    QVERIFY(!m_graph->curve());
    QCOMPARE(m_graph->CurrentTab(), GraphTab::Errors);
    QVERIFY(pointsOf(m_graph->structureSeries()[0]).isEmpty());
    QVERIFY(pointsOf(m_graph->scatter()).isEmpty());
    for (GraphTab tab : {GraphTab::DirectA, GraphTab::DirectB, GraphTab::Relative}) {
        m_graph->SelectTab(tab);
        QCOMPARE(pointsOf(m_graph->structureSeries()[0]).size(), 2);
        QVERIFY(!m_graph->curve());
    }
    m_graph->SelectTab(GraphTab::DirectA);
    QVERIFY(near(pointsOf(m_graph->structureSeries()[0])[1], QPointF(2.0, 200)));
}

void ServiceGraphTest::scatterExample() {
    const SPILTS_DATA_EXCHANGE data = scatterData();
    m_graph->bCalsDeltaAlways->setChecked(true);
    m_graph->SetData(&data);
    QTest::mouseClick(m_graph->CheckCasual, Qt::LeftButton);
    QVERIFY(m_graph->CheckCasual->isChecked());
    QVERIFY(m_graph->scatter()->isVisible());
    const QList<QPointF> groups = pointsOf(m_graph->scatter());
    QCOMPARE(groups.size(), 2);
    QVERIFY(near(groups[0], QPointF(10.15, 0.3)));
    QVERIFY(near(groups[1], QPointF(11.0, 0.2)));
    QCOMPARE(m_graph->scatterMarks(), QStringList({QStringLiteral("0.40 %"), QStringLiteral("0.00 %")}));
    // The relative tab groups the same flows by its own values.
    m_graph->SelectTab(GraphTab::Relative);
    QCOMPARE(pointsOf(m_graph->scatter()).size(), 2);
    // The characteristic tabs A and B carry no scatter layer.
    m_graph->SelectTab(GraphTab::DirectB);
    QVERIFY(pointsOf(m_graph->scatter()).isEmpty());
}

void ServiceGraphTest::flowZeroDrawnNotGrouped() {
    SPILTS_DATA_EXCHANGE data = scatterData();
    data.series[0].points.push_back(SPILT_POINT{0, 0.0, 0, 0, 3.0});
    m_graph->bCalsDeltaAlways->setChecked(true);
    m_graph->SetData(&data);
    const QList<QPointF> points = pointsOf(m_graph->structureSeries()[0]);
    QCOMPARE(points.size(), 4);
    QVERIFY(near(points[3], QPointF(0.0, 3.0)));
    QCOMPARE(pointsOf(m_graph->scatter()).size(), 2);
    m_graph->SelectTab(GraphTab::DirectA);
    QVERIFY(near(pointsOf(m_graph->structureSeries()[0])[3], QPointF(0.0, 0.0)));
}

void ServiceGraphTest::scatterHiddenAfterGraphicsUntilClicked() {
    const SPILTS_DATA_EXCHANGE data = scatterData();
    m_graph->CheckCasual->setChecked(true);
    m_graph->SetData(&data);
    QVERIFY(m_graph->CheckCasual->isChecked());
    QVERIFY(!m_graph->scatter()->isVisible());
    QCOMPARE(pointsOf(m_graph->scatter()).size(), 2);  // computed, not shown
    m_graph->SelectTab(GraphTab::Relative);              // a redraw does not show it either
    QVERIFY(!m_graph->scatter()->isVisible());
    QTest::mouseClick(m_graph->CheckCasual, Qt::LeftButton);
    QVERIFY(!m_graph->scatter()->isVisible());
    QTest::mouseClick(m_graph->CheckCasual, Qt::LeftButton);
    QVERIFY(m_graph->scatter()->isVisible());
}

void ServiceGraphTest::relativeZeroFlow() {
    SPILTS_DATA_EXCHANGE data;
    data.series.push_back(series("A", {{150, 0.0}, {200, 2.0}}));
    data.lines = kBroken;
    m_graph->SetData(&data);
    m_graph->SelectTab(GraphTab::Relative);
    const QList<QPointF> points = pointsOf(m_graph->structureSeries()[0]);
    QCOMPARE(points.size(), 2);
    QVERIFY(near(points[0], QPointF(0.0, 0.0)));
    QVERIFY(near(points[1], QPointF(2.0, 100.0)));
    QVERIFY(m_graph->bottomLogarithmic());
}

void ServiceGraphTest::clearAllKeepsCurveAndScatter() {
    SPILTS_DATA_EXCHANGE data = scatterData();
    data.series.push_back(series("B", {{1050, 10.5, 0.3}}));
    m_graph->SetData(&data);
    QTest::mouseClick(m_graph->CheckCasual, Qt::LeftButton);
    m_graph->SelectTab(GraphTab::Relative);
    const QList<QPointF> curve = pointsOf(m_graph->curve());
    const QList<QPointF> scatter = pointsOf(m_graph->scatter());
    QVERIFY(!curve.isEmpty());
    QVERIFY(!scatter.isEmpty());

    m_graph->N2Click();
    for (QLineSeries* s : m_graph->structureSeries()) QVERIFY(!s->isVisible());
    for (int i = 0; i < m_graph->spiltSelect()->count(); ++i)
        QCOMPARE(m_graph->spiltSelect()->item(i)->checkState(), Qt::Unchecked);
    QCOMPARE(pointsOf(m_graph->curve()), curve);
    QCOMPARE(pointsOf(m_graph->scatter()), scatter);
    QVERIFY(m_graph->curve()->isVisible());
    QVERIFY(m_graph->scatter()->isVisible());

    // The next redraw takes no hidden series into the scatter layer.
    m_graph->bNameAxis->click();
    QVERIFY(pointsOf(m_graph->scatter()).isEmpty());
    QCOMPARE(pointsOf(m_graph->curve()), curve);
}

void ServiceGraphTest::selectAndInvert() {
    SPILTS_DATA_EXCHANGE data = scatterData();
    data.series.push_back(series("B", {{1050, 10.5, 0.3}}));
    m_graph->SetData(&data);
    m_graph->spiltSelect()->item(0)->setCheckState(Qt::Unchecked);
    m_graph->N3Click();
    QVERIFY(m_graph->structureSeries()[0]->isVisible());
    QVERIFY(!m_graph->structureSeries()[1]->isVisible());
    QCOMPARE(m_graph->spiltSelect()->item(1)->checkState(), Qt::Unchecked);
    m_graph->N1Click();
    for (QLineSeries* s : m_graph->structureSeries()) QVERIFY(s->isVisible());
    QCOMPARE(m_graph->spiltSelect()->item(1)->checkState(), Qt::Checked);
}

void ServiceGraphTest::logarithmicAxisPerTab_data() {
    QTest::addColumn<int>("tab");
    QTest::addColumn<bool>("logarithmic");
    QTest::newRow("errors") << 0 << true;
    QTest::newRow("direct A") << 1 << false;
    QTest::newRow("direct B") << 2 << false;
    QTest::newRow("relative") << 3 << true;
}

void ServiceGraphTest::logarithmicAxisPerTab() {
    QFETCH(int, tab);
    QFETCH(bool, logarithmic);
    const SPILTS_DATA_EXCHANGE data = scatterData();
    m_graph->SetData(&data);
    m_graph->SelectTab(static_cast<GraphTab>(tab));
    QCOMPARE(m_graph->bLogariphmic->isChecked(), logarithmic);
    QCOMPARE(m_graph->bottomLogarithmic(), logarithmic);
    auto* log = qobject_cast<QLogValueAxis*>(m_graph->bottomAxis());
    QCOMPARE(log != nullptr, logarithmic);
    if (log) QVERIFY(log->isMinorGridLineVisible());
    // The user's choice holds until the next drawing.
    m_graph->bLogariphmic->click();
    QCOMPARE(m_graph->bottomLogarithmic(), !logarithmic);
    QCOMPARE(m_graph->structureSeries()[0]->attachedAxes().contains(m_graph->bottomAxis()), true);
    QVERIFY(m_graph->bottomAxis()->isVisible());
}

void ServiceGraphTest::axisTitlesByFamilyAndNameAxis() {
    const SPILTS_DATA_EXCHANGE data = scatterData();
    m_graph->SetData(&data);
    QCOMPARE(m_graph->bottomAxis()->titleText(), QStringLiteral("Расход (м3/ч)"));
    QCOMPARE(m_graph->leftAxis()->titleText(), QStringLiteral("Относительная погрешность расхода (%)"));
    m_graph->SelectTab(GraphTab::Relative);
    QCOMPARE(m_graph->leftAxis()->titleText(), QStringLiteral("Код / Расход"));
    m_graph->SetArgumentTitle(QStringLiteral("Частота (Гц)"));
    m_graph->SetRelativeTitle(QStringLiteral("Частота/Расход"));
    m_graph->SelectTab(GraphTab::DirectB);
    QCOMPARE(m_graph->bottomAxis()->titleText(), QStringLiteral("Частота (Гц)"));
    QCOMPARE(m_graph->leftAxis()->titleText(), QStringLiteral("Расход (м3/ч)"));
    m_graph->bNameAxis->click();
    QVERIFY(m_graph->bottomAxis()->titleText().isEmpty());
    QVERIFY(m_graph->leftAxis()->titleText().isEmpty());
    QCOMPARE(m_graph->CurrentXTitle(), QStringLiteral("Частота (Гц)"));  // still the current title
    m_graph->SelectTab(GraphTab::Relative);
    QVERIFY(m_graph->leftAxis()->titleText().isEmpty());
    QCOMPARE(m_graph->CurrentYTitle(), QStringLiteral("Частота/Расход"));
}

void ServiceGraphTest::curveColoursAndPen() {
    SPILTS_DATA_EXCHANGE data;
    data.series.push_back(series("A", {{100, 1.0}, {500, 7.0}}));
    data.lines = kBroken;
    m_graph->SetData(&data);
    QLineSeries* curve = m_graph->curve();
    QVERIFY(curve);
    QCOMPARE(curve->pen().color(), QColor(255, 0, 0));
    QCOMPARE(curve->pen().width(), 2);

    // Tab B keeps the red pen; its samples lie on the lines.
    m_graph->SelectTab(GraphTab::DirectB);
    QCOMPARE(curve->pen().color(), QColor(255, 0, 0));
    const QList<QPointF> b = curve->points();
    QVERIFY(b.size() > 5);
    QVERIFY(near(b.front(), QPointF(500, 7.0)));
    for (const QPointF& p : b) {
        const GraphLine& line = p.x() <= 300 ? kBroken[0] : kBroken[1];
        QVERIFY(std::abs(line.a * p.x() + line.b - p.y()) < 1e-9);
    }
    // Tab A leaves the pen in the colour of the last sample's segment.
    m_graph->SelectTab(GraphTab::DirectA);
    QCOMPARE(curve->pen().color(), QColor(0, 128, 0));
    QVERIFY(m_graph->curvePieces().empty());
    for (const QColor& c : m_graph->curveColours()) QCOMPARE(c, QColor(0, 128, 0));

    m_graph->bColorAprox->click();
    const QList<QPointF> a = curve->points();
    const std::vector<QColor>& colours = m_graph->curveColours();
    QCOMPARE(colours.size(), std::size_t(a.size()));
    bool sawBlue = false;
    for (int i = 0; i < a.size(); ++i) {
        const QColor want = a[i].x() <= 3.0 ? QColor(0, 128, 0) : QColor(0, 0, 255);
        QCOMPARE(colours[static_cast<std::size_t>(i)], want);
        sawBlue = sawBlue || want == QColor(0, 0, 255);
    }
    QVERIFY(sawBlue);
    QCOMPARE(m_graph->curvePieces().size(), std::size_t(2));
    QCOMPARE(m_graph->curvePieces()[0]->pen().color(), QColor(0, 0, 255));
    QCOMPARE(m_graph->curvePieces()[1]->pen().color(), QColor(0, 128, 0));

    m_graph->bAproxLine->click();
    QVERIFY(!curve->isVisible());
    for (QLineSeries* piece : m_graph->curvePieces()) QVERIFY(!piece->isVisible());
}

void ServiceGraphTest::zoomButtonsAndMinorGrid() {
    SPILTS_DATA_EXCHANGE data;
    data.series.push_back(series("A", {{100, 1.0, 0.5}, {200, 2.0, 2.5}}));
    data.lines = kBroken;
    m_graph->bCalsDeltaAlways->setChecked(true);
    m_graph->SetData(&data);
    QValueAxis* left = m_graph->leftAxis();
    QVERIFY(m_graph->autoScale());
    // Errors 0.5 … 2.5: a range of at least 1 and below 5 has a minor grid.
    QVERIFY(left->max() - left->min() >= 1 && left->max() - left->min() < 5);
    QVERIFY(left->isMinorGridLineVisible());
    QCOMPARE(left->minorTickCount(), 9);

    const double min = left->min(), max = left->max(), range = max - min;
    m_graph->Closer->click();
    QVERIFY(!m_graph->autoScale());
    QVERIFY(std::abs(left->min() - (min + range * 0.1)) < 1e-9);
    QVERIFY(std::abs(left->max() - (max - range * 0.1)) < 1e-9);
    const double min2 = left->min(), max2 = left->max(), range2 = max2 - min2;
    m_graph->Further->click();
    QVERIFY(std::abs(left->min() - (min2 - range2 * 0.2)) < 1e-9);
    QVERIFY(std::abs(left->max() - (max2 + range2 * 0.2)) < 1e-9);
    for (int i = 0; i < 3; ++i) m_graph->Further->click();
    QVERIFY(left->max() - left->min() >= 5);
    QVERIFY(!left->isMinorGridLineVisible());
    m_graph->Auto->click();
    QVERIFY(m_graph->autoScale());
    QVERIFY(std::abs(left->min() - min) < 1e-9);
    QVERIFY(std::abs(left->max() - max) < 1e-9);
    // Below 1 the grid goes again.
    left->setRange(0, 0.5);
    QVERIFY(!left->isMinorGridLineVisible());
}

// Errors -0.1 … 0.4 give the axis -0.2 … 0.5 in steps of 0.1, where the
// tick at 0 comes out a rounding residue below 0: it must read "0.0".
void ServiceGraphTest::zeroTickReadsZero() {
    SPILTS_DATA_EXCHANGE data;
    data.series.push_back(series("A", {{100, 1.0, -0.1}, {200, 2.0, 0.4}}));
    data.lines = kBroken;
    m_graph->bCalsDeltaAlways->setChecked(true);
    m_graph->SetData(&data);
    QValueAxis* left = m_graph->leftAxis();
    QCOMPARE(left->labelFormat(), QStringLiteral("%.1f"));
    QStringList labels;
    const int n = left->tickCount();
    for (int i = 0; i < n; ++i)
        labels << QString::asprintf("%.1f", left->min() + (i * (left->max() - left->min()) / (n - 1)));
    QCOMPARE(labels.join(' '), QStringLiteral("-0.2 -0.1 0.0 0.1 0.2 0.3 0.4 0.5"));
}

void ServiceGraphTest::formActivateResetsAndZeroOffset() {
    SPILTS_DATA_EXCHANGE data;
    data.series.push_back(series("A", {{100, 1.0}, {500, 7.0}}));
    data.lines = kBroken;
    m_graph->SetData(&data);
    m_graph->SelectTab(GraphTab::DirectA);
    m_graph->bMarks->setChecked(true);
    m_graph->bNameAxis->setChecked(false);
    m_graph->PointSize->setValue(20);
    m_graph->bAproxLine->setChecked(false);
    m_graph->bColorAprox->setChecked(true);
    m_graph->FormActivate();
    QVERIFY(!m_graph->bMarks->isChecked());
    QVERIFY(m_graph->bLogariphmic->isChecked());
    QVERIFY(m_graph->bottomLogarithmic());
    QVERIFY(m_graph->bNameAxis->isChecked());
    QCOMPARE(m_graph->PointSize->value(), 6);
    QCOMPARE(m_graph->structureSeries()[0]->markerSize(), 6.0);
    QVERIFY(m_graph->bAproxLine->isChecked());
    QVERIFY(m_graph->curve()->isVisible());
    QVERIFY(!m_graph->bColorAprox->isChecked());
    QVERIFY(m_graph->curvePieces().empty());
    QVERIFY(m_graph->Offset->isHidden());

    {
        RegKey key;
        key.Open();
        key.WriteInt("EnableZeroOffset", 1);
    }
    m_graph->FormActivate();
    QVERIFY(!m_graph->Offset->isHidden());
    QVERIFY(!m_graph->Label2->isHidden());
    m_graph->Offset->setValue(50);
    QVERIFY(near(pointsOf(m_graph->structureSeries()[0])[0], QPointF(1.0, 50)));
    m_graph->FormActivate();
    QCOMPARE(m_graph->Offset->value(), 0);
    QVERIFY(near(pointsOf(m_graph->structureSeries()[0])[0], QPointF(1.0, 100)));
}

void ServiceGraphTest::statusBarReadouts() {
    SPILTS_DATA_EXCHANGE data;
    data.series.push_back(series("A", {{100, 1.0}, {500, 7.0}}));
    data.lines = kBroken;
    m_graph->SetData(&data);
    m_graph->SelectTab(GraphTab::DirectB);
    m_graph->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_graph.get()));
    QApplication::processEvents();
    // Brought up from the main window: the logarithmic scale.
    m_graph->FormActivate();
    QVERIFY(m_graph->bottomLogarithmic());
    m_graph->bLogariphmic->click();
    QApplication::processEvents();
    QChart* chart = m_graph->chart();
    const QRectF area = chart->plotArea();
    QVERIFY(area.width() > 0);
    const QPointF centre = chart->mapToScene(area.center());
    const QPoint at = m_graph->chartView()->mapFromScene(centre);
    QTest::mouseMove(m_graph->chartView()->viewport(), at);
    auto* bottom = qobject_cast<QValueAxis*>(m_graph->bottomAxis());
    QVERIFY(bottom);
    const double x = (bottom->min() + bottom->max()) / 2;
    const double y = (m_graph->leftAxis()->min() + m_graph->leftAxis()->max()) / 2;
    const QString panel0 = m_graph->statusPanel(0)->text();
    const QString panel1 = m_graph->statusPanel(1)->text();
    QVERIFY2(panel0.startsWith(QStringLiteral("Код: ")), qPrintable(panel0));
    QVERIFY2(panel1.startsWith(QStringLiteral("Расход (м3/ч): ")), qPrintable(panel1));
    QVERIFY2(std::abs(panel0.mid(5).toDouble() - x) <= std::abs(x) * 0.02 + 1, qPrintable(panel0));
    QVERIFY2(std::abs(panel1.mid(15).toDouble() - y) <= (m_graph->leftAxis()->max() - y) * 0.05, qPrintable(panel1));

    // On a logarithmic scale the middle of the plot is the geometric mean.
    m_graph->bLogariphmic->click();
    QApplication::processEvents();
    auto* log = qobject_cast<QLogValueAxis*>(m_graph->bottomAxis());
    QVERIFY(log);
    m_graph->ChartMouseMove(m_graph->chartView()->mapFromScene(chart->mapToScene(chart->plotArea().center())));
    const double mean = std::sqrt(log->min() * log->max());
    const QString text = m_graph->statusPanel(0)->text();
    QVERIFY2(std::abs(text.mid(5).toDouble() - mean) <= mean * 0.02, qPrintable(text));
}

// The settings go back only when the window is brought up from another
// window of the program; printing, a dialog of the window closing and the
// program coming back from another one leave them as the user set them.
void ServiceGraphTest::settingsStayUnlessBroughtUpFromAnotherWindow() {
    const SPILTS_DATA_EXCHANGE data = scatterData();
    m_graph->SetData(&data);
    m_graph->SelectTab(GraphTab::DirectA);
    m_graph->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_graph.get()));
    QWindow* graph = m_graph->windowHandle();
    m_graph->bLogariphmic->setChecked(false);
    m_graph->bMarks->setChecked(true);
    m_graph->PointSize->setValue(12);
    const auto kept = [&] {
        return !m_graph->bLogariphmic->isChecked() && !m_graph->bottomLogarithmic() &&
               m_graph->bMarks->isChecked() && m_graph->PointSize->value() == 12;
    };

    QImage image(800, 500, QImage::Format_ARGB32);
    QPainter painter(&image);
    m_graph->PrintChart(painter, QRectF(0, 0, 800, 500));
    painter.end();
    QDialog printDialog(m_graph.get());
    printDialog.show();
    m_graph->FocusWindowChanged(printDialog.windowHandle());
    printDialog.close();
    m_graph->FocusWindowChanged(graph);
    QVERIFY(kept());

    m_graph->FocusWindowChanged(nullptr);  // another program
    m_graph->FocusWindowChanged(graph);
    QVERIFY(kept());

    QWidget mainWindow;
    mainWindow.show();
    m_graph->FocusWindowChanged(mainWindow.windowHandle());
    m_graph->FocusWindowChanged(graph);
    QVERIFY(m_graph->bLogariphmic->isChecked());
    QVERIFY(!m_graph->bMarks->isChecked());
    QCOMPARE(m_graph->PointSize->value(), 6);
}

void ServiceGraphTest::printShowsTabCaption() {
    const SPILTS_DATA_EXCHANGE data = scatterData();
    m_graph->SetData(&data);
    m_graph->SelectTab(GraphTab::DirectA);
    m_graph->resize(900, 600);
    m_graph->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_graph.get()));
    auto render = [&](bool print) {
        QImage image(800, 500, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        if (print)
            m_graph->PrintChart(painter, QRectF(0, 0, 800, 500));
        else
            m_graph->chartView()->render(&painter, QRectF(0, 0, 800, 500), QRect(), Qt::KeepAspectRatio);
        return image;
    };
    const QImage printed = render(true);
    QVERIFY(m_graph->chart()->title().isEmpty());
    const QImage plain = render(false);
    QVERIFY(printed != plain);
    // The printed page has more dark pixels along its top: the title.
    auto darkTop = [](const QImage& image) {
        int n = 0;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < image.width(); ++x) n += qGray(image.pixel(x, y)) < 128;
        return n;
    };
    QVERIFY2(darkTop(printed) > darkTop(plain) + 20,
             qPrintable(QStringLiteral("%1 vs %2").arg(darkTop(printed)).arg(darkTop(plain))));
}

void ServiceGraphTest::marksDrawnOnlyForShownSeries() {
    SPILTS_DATA_EXCHANGE data;
    data.series.push_back(series("A", {{100, 1.0}, {200, 2.0}, {400, 5.0}}));
    data.lines = kBroken;
    m_graph->SetData(&data);
    m_graph->SelectTab(GraphTab::DirectB);
    m_graph->resize(900, 600);
    m_graph->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_graph.get()));
    auto render = [&] {
        QApplication::processEvents();
        return m_graph->chartView()->grab().toImage();
    };
    m_graph->bMarks->setChecked(false);
    const QImage plain = render();
    m_graph->bMarks->setChecked(true);
    const QImage marked = render();
    QVERIFY(marked != plain);
    // Hidden series show no marks: with the only series hidden, the marks
    // make no difference.
    m_graph->N2Click();
    const QImage hiddenMarked = render();
    m_graph->bMarks->setChecked(false);
    QCOMPARE(render(), hiddenMarked);
}

// The limits as dashed steps at ±δ over the flows of the points, inside
// the error tab's scale; nothing on the other tabs or without limits.
void ServiceGraphTest::limitEnvelopeOnTheErrorTab() {
    SPILTS_DATA_EXCHANGE data = scatterData();
    m_graph->SetData(&data);
    QVERIFY(!m_graph->envelopeUpper() && !m_graph->envelopeLower());

    data.limits = Limits::ofZones({{0.0, 1.0}, {10.5, 0.3}});
    m_graph->SetData(&data);
    m_graph->SelectTab(GraphTab::Errors);
    QLineSeries* upper = m_graph->envelopeUpper();
    QLineSeries* lower = m_graph->envelopeLower();
    QVERIFY(upper && lower);
    QCOMPARE(upper->pen().style(), Qt::DashLine);
    QCOMPARE(lower->pen().style(), Qt::DashLine);
    const QList<QPointF> steps = {{10.0 / 1.1, 1.0}, {10.5, 1.0}, {10.5, 0.3}, {11.0 * 1.1, 0.3}};
    QCOMPARE(pointsOf(upper).size(), steps.size());
    for (int i = 0; i < steps.size(); ++i) {
        QVERIFY(near(pointsOf(upper)[i], steps[i]));
        QVERIFY(near(pointsOf(lower)[i], QPointF(steps[i].x(), -steps[i].y())));
    }
    // The series list holds the packages only; the scale shows the limits.
    QCOMPARE(m_graph->spiltSelect()->count(), 1);
    QVERIFY(m_graph->leftAxis()->max() >= 1.0 && m_graph->leftAxis()->min() <= -1.0);

    m_graph->SelectTab(GraphTab::DirectA);
    QVERIFY(pointsOf(upper).isEmpty() && pointsOf(lower).isEmpty());
}

void ServiceGraphTest::graphicsCommand() {
    auto dialogs = std::make_unique<ScriptedDialogs>();
    dialogs->code = 19;  // Kelt
    TMainForm form(std::move(dialogs));
    QVERIFY(!form.ActionGraphics->isEnabled());
    QCOMPARE(form.ActionGraphics->shortcut(), QKeySequence(QStringLiteral("Ctrl+G")));
    QCOMPARE(form.ActionGraphics->text(), QStringLiteral("Графики"));
    form.ActionNew->trigger();
    QVERIFY(!form.ActionGraphics->isEnabled());  // no package yet
    form.ActionNewPackage->trigger();
    QVERIFY(form.ActionGraphics->isEnabled());
    PackageBase& package = *form.document().packages().back();
    for (int i = 0; i < 3; ++i) {
        package.addEntry();
        const double volume = 10.0 + i, timeRef = 36.0, time1 = 100.0;
        const std::int32_t pulses = 1001 + i * 100;
        package.setField(i, kVolRef, &volume);
        package.setField(i, kTimeRef, &timeRef);
        package.setField(i, kTime1, &time1);
        package.setField(i, kPulses1, &pulses);
    }
    // The window is made on its first use, with the open family's titles.
    QVERIFY(!form.findChild<TServiceGraph*>());
    auto* graph = qobject_cast<TServiceGraph*>(form.graphWindow());
    QVERIFY(graph);
    QCOMPARE(form.findChild<TServiceGraph*>(), graph);
    QVERIFY(!graph->isVisible());
    // The command runs the tab change (every entry recalculated), so the
    // document is compared from there on.
    form.ActionGraphics->trigger();
    const nlohmann::json before = files::DocumentToJson(form.document());
    QVERIFY(graph->isVisible());
    QCOMPARE(graph->Data(), &form.chartData());
    QCOMPARE(form.chartData().series.size(), std::size_t(1));
    QCOMPARE(graph->structureSeries().size(), std::size_t(1));
    QCOMPARE(graph->spiltSelect()->item(0)->text(), QString::fromStdString(packageName(package)));
    graph->SelectTab(GraphTab::DirectB);
    QCOMPARE(graph->bottomAxis()->titleText(), QStringLiteral("Частота (Гц)"));
    QCOMPARE(pointsOf(graph->structureSeries()[0]).size(), 3);
    // Whatever the window does, the document stays as it was.
    graph->SelectTab(GraphTab::Relative);
    graph->bCalsDeltaAlways->click();
    graph->N3Click();
    graph->Closer->click();
    QCOMPARE(QString::fromStdString(files::DocumentToJson(form.document()).dump()), QString::fromStdString(before.dump()));

    // A second package: the next "Графики" rebuilds the series.
    form.ActionNewPackage->trigger();
    form.ActionGraphics->trigger();
    QCOMPARE(graph->structureSeries().size(), std::size_t(2));
    QCOMPARE(graph->spiltSelect()->count(), 2);
    graph->close();
}

QTEST_MAIN(ServiceGraphTest)
#include "ServiceGraphTest.moc"
