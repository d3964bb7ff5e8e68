#pragma once

#include <QIcon>
#include <QList>
#include <QPointF>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <vector>

#include "ChartWindows.h"
#include "approximation/GraphModel.h"

class GraphMarks;
class QAbstractAxis;
class QChart;
class QWindow;
class QChartView;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineSeries;
class QListWidget;
class QListWidgetItem;
class QLogValueAxis;
class QMenu;
class QPainter;
class QPushButton;
class QScatterSeries;
class QSpinBox;
class QStatusBar;
class QTabBar;
class QToolButton;
class QValueAxis;
class QXYSeries;

// TServiceGraph, "График": the measurements of every package against the
// characteristic in force, on four tabs (errors, the direct characteristic
// in two orientations, the relative characteristic). One point series per
// chart series of the data, shown or hidden from the list on the right; the
// lines as a sampled curve; an optional layer marking the scatter of points
// at about the same flow.
//
// The window only reads the data it is given; what it draws comes from
// approximation::drawGraphTab. It is not modal and lives for the whole run;
// the main window's "Графики" hands it fresh data each time.
class TServiceGraph : public GraphWindow {
    Q_OBJECT
public:
    explicit TServiceGraph(QWidget* parent = nullptr);
    ~TServiceGraph() override;

    // Set data: keeps the pointer (the caller keeps the data alive); when it
    // is not null, rebuilds the series and draws the current tab.
    void SetData(const SPILTS_DATA_EXCHANGE* data) override;
    const SPILTS_DATA_EXCHANGE* Data() const { return m_data; }

    // The two titles that depend on the document's family.
    void SetArgumentTitle(const QString& title) override;
    void SetRelativeTitle(const QString& title) override;

    approximation::GraphTab CurrentTab() const;
    void SelectTab(approximation::GraphTab tab);
    // The current axis titles (shown on the axes only with "Название осей").
    QString CurrentXTitle() const { return m_xTitle; }
    QString CurrentYTitle() const { return m_yTitle; }

    // Each time the window is brought up from another window of the
    // program: the settings go back to their start values, and the zero
    // offset shows when the settings enable it.
    void FormActivate();
    // The program's focus moved to `now`: FormActivate when it came to this
    // window from another window of the program. Not when the program
    // itself comes back from another one (no window had the focus), nor
    // when a dialog of this window (print, help) gives the focus back.
    void FocusWindowChanged(QWindow* now);
    // "Выделить все", "Очистить все", "Инвертировать": every series shown,
    // hidden or toggled, with its list item; the tab is not redrawn.
    void N1Click();
    void N2Click();
    void N3Click();
    // The status bar's readouts for a point of the chart view's viewport.
    void ChartMouseMove(const QPoint& position);
    // The printer setup, then the chart on the chosen printer.
    void PrintClick();
    // Paints the chart over `target` with the current tab's caption as its
    // title; the title is hidden again afterwards.
    void PrintChart(QPainter& painter, const QRectF& target);

    // The pictures of the image list, by image index.
    static QIcon StyleImage(int image);

    // The parts of the window, for the main window and the tests.
    QTabBar* tabControl() const { return m_tabs; }
    QChart* chart() const { return m_chart; }
    QChartView* chartView() const { return m_view; }
    QListWidget* spiltSelect() const { return m_list; }
    QMenu* spiltMenu() const { return m_menu; }
    QStatusBar* statusBar() const { return m_status; }
    QLabel* statusPanel(int index) const { return index == 0 ? m_panel0 : m_panel1; }
    // One point series per chart series of the data, in order: points
    // without a line, drawn with the style's marker (its "marker" property
    // names the shape).
    const std::vector<QLineSeries*>& structureSeries() const { return m_series; }
    // The sampled characteristic; null without lines.
    QLineSeries* curve() const { return m_curve; }
    // The curve drawn piece by piece in the colours of its segments while
    // "Раскрашивать участки" is checked.
    const std::vector<QLineSeries*>& curvePieces() const { return m_pieces; }
    // The samples' colours of the last drawing, one per curve point.
    const std::vector<QColor>& curveColours() const { return m_curveColours; }
    QScatterSeries* scatter() const { return m_scatter; }
    // The limit envelope of the error tab as two dashed step lines, at +δ
    // and at −δ; null while the data has no limits, empty on other tabs.
    QLineSeries* envelopeUpper() const { return m_envelope[0]; }
    QLineSeries* envelopeLower() const { return m_envelope[1]; }
    // The marks of the scatter layer's groups, one per scatter point.
    const QStringList& scatterMarks() const { return m_scatterTexts; }
    QAbstractAxis* bottomAxis() const;
    QValueAxis* leftAxis() const { return m_left; }
    bool bottomLogarithmic() const;
    bool autoScale() const { return m_autoLeft && m_autoBottom; }

    // The controls of the form, by their names.
    QCheckBox* bLogariphmic = nullptr;
    QCheckBox* bMarks = nullptr;
    QSpinBox* PointSize = nullptr;
    QToolButton* Closer = nullptr;
    QToolButton* Further = nullptr;
    QToolButton* Auto = nullptr;
    QCheckBox* bNameAxis = nullptr;
    QCheckBox* CheckCasual = nullptr;
    QCheckBox* bCalsDeltaAlways = nullptr;
    QLabel* Label2 = nullptr;
    QSpinBox* Offset = nullptr;
    QCheckBox* bAproxLine = nullptr;
    QCheckBox* bColorAprox = nullptr;
    QPushButton* Print = nullptr;

private:
    bool ComesFromAnotherWindow(const QWindow* before) const;

    void CreateControls();
    // The builders CreateControls calls, one per part of the window.
    void BuildTabs();
    QWidget* BuildChart(QWidget* parent);
    void BuildStatusBar();
    void BuildControlPanel(QWidget* parent);
    void BuildSeriesList();
    QGroupBox* BuildGeneralGroup();
    QGroupBox* BuildSegmentsGroup();
    void ConnectControls();

    // The handlers of the window's controls, by the sender.
    void ChartSetup(QObject* sender);
    void SeriesSetup(QObject* sender);
    void Redraw(QObject* sender);
    void ChangeSize(QObject* sender);
    void ChartZoom();

    void BuildSeries();
    void DrawCurrentTab();
    void ApplyLogarithmic(bool logarithmic);
    void ApplyAxisTitles();
    void ApplyCurveColours();
    void ApplyMarkerSize();
    // Fits the axes that scale automatically to what is shown, or to the
    // given point lists (those of the series that are shown).
    void FitAxes();
    void FitAxesTo(const std::vector<QList<QPointF>>& shown);
    void UpdateItemText(int index);

    const SPILTS_DATA_EXCHANGE* m_data = nullptr;
    approximation::FamilyTitles m_family;
    QString m_xTitle;
    QString m_yTitle;

    QTabBar* m_tabs = nullptr;
    QChart* m_chart = nullptr;
    QChartView* m_view = nullptr;
    QValueAxis* m_bottomLinear = nullptr;
    QLogValueAxis* m_bottomLog = nullptr;
    QValueAxis* m_left = nullptr;
    QWidget* m_panel = nullptr;
    QListWidget* m_list = nullptr;
    QMenu* m_menu = nullptr;
    QStatusBar* m_status = nullptr;
    QLabel* m_panel0 = nullptr;
    QLabel* m_panel1 = nullptr;
    GraphMarks* m_marks = nullptr;

    std::vector<QLineSeries*> m_series;
    QLineSeries* m_curve = nullptr;
    std::vector<QLineSeries*> m_pieces;
    std::vector<int> m_curveSegments;
    std::vector<QColor> m_curveColours;
    QColor m_curvePen;
    QScatterSeries* m_scatter = nullptr;
    QStringList m_scatterTexts;
    QLineSeries* m_envelope[2] = {nullptr, nullptr};

    bool m_autoLeft = true;
    bool m_autoBottom = true;
    // The user zoomed with the mouse; the next drawing or "Автоматический
    // масштаб" ends it.
    bool m_zoomed = false;
    // Guards against the redraws that programmatic check changes would
    // start while a drawing already runs.
    bool m_drawing = false;
    bool m_updatingList = false;
    // The window that had the program's focus last.
    QPointer<QWindow> m_lastFocus;
};
