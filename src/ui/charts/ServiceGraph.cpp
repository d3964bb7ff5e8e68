#include "ServiceGraph.h"

#include <QAction>
#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QEvent>
#include <QGraphicsItem>
#include <QGraphicsLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QListWidget>
#include <QLogValueAxis>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScatterSeries>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTabBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <utility>

#include "GraphMarks.h"
#include "HelpWindow.h"
#include "common/NumberText.h"
#include "link/RegKey.h"

using approximation::GraphTab;
using approximation::MarkerShape;

namespace {

const QColor kSilver(192, 192, 192);
constexpr int kDefaultPointSize = 6;
constexpr int kControlPanelMinWidth = 172;
// Closer narrows the left axis by this share of its range at each end,
// Further widens it by that one.
constexpr double kCloserShare = 0.10;
constexpr double kFurtherShare = 0.20;

QString fromStd(const std::string& text) { return QString::fromStdString(text); }

QColor toColor(const approximation::Rgb& rgb) { return QColor(rgb.red, rgb.green, rgb.blue); }

QString markerText(MarkerShape marker) {
    switch (marker) {
    case MarkerShape::Circle:
        return QStringLiteral("круг");
    case MarkerShape::Rectangle:
        return QStringLiteral("квадрат");
    case MarkerShape::Triangle:
        return QStringLiteral("треугольник");
    case MarkerShape::Diamond:
        return QStringLiteral("ромб");
    case MarkerShape::DownTriangle:
        return QStringLiteral("перевёрнутый треугольник");
    }
    return {};
}

QString colourText(const approximation::Rgb& rgb) {
    if (rgb == approximation::Rgb{0, 128, 0}) return QStringLiteral("зелёный");
    if (rgb == approximation::Rgb{0, 0, 255}) return QStringLiteral("синий");
    if (rgb == approximation::Rgb{255, 255, 0}) return QStringLiteral("жёлтый");
    if (rgb == approximation::Rgb{255, 0, 0}) return QStringLiteral("красный");
    return QStringLiteral("чёрный");
}

// One marker in `box`: the style's shape filled with its colour and drawn
// with a dark outline, so that yellow markers stay visible on white.
void drawMarker(QPainter& painter, MarkerShape marker, const QColor& colour, const QRectF& box) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPen outline(colour == QColor(0, 0, 0) ? QColor(0, 0, 0) : colour.darker(150));
    outline.setWidthF(std::max(1.0, box.width() / 16.0));
    outline.setJoinStyle(Qt::MiterJoin);
    painter.setPen(outline);
    painter.setBrush(colour);
    const qreal inset = outline.widthF() / 2;
    const QRectF r = box.adjusted(inset, inset, -inset, -inset);
    switch (marker) {
    case MarkerShape::Circle:
        painter.drawEllipse(r);
        break;
    case MarkerShape::Rectangle:
        painter.drawRect(r);
        break;
    case MarkerShape::Triangle:
        painter.drawPolygon(QPolygonF({QPointF(r.center().x(), r.top()), r.bottomRight(), r.bottomLeft()}));
        break;
    case MarkerShape::DownTriangle:
        painter.drawPolygon(QPolygonF({r.topLeft(), r.topRight(), QPointF(r.center().x(), r.bottom())}));
        break;
    case MarkerShape::Diamond:
        painter.drawPolygon(QPolygonF({QPointF(r.center().x(), r.top()), QPointF(r.right(), r.center().y()),
                                       QPointF(r.center().x(), r.bottom()), QPointF(r.left(), r.center().y())}));
        break;
    }
    painter.restore();
}

// The marker picture the point series draw at each point, drawn at the
// marker size so that small markers stay crisp.
QImage markerImage(const approximation::SeriesStyle& style, int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    drawMarker(painter, style.marker, toColor(style.colour), QRectF(0, 0, size, size));
    return image;
}

// Labels with as many decimals as the tick step needs, so that a tick at 0
// reads "0" and not a rounding residue such as 2.8e-17.
void setLabelDecimals(QValueAxis* axis) {
    const int intervals = std::max(axis->tickCount() - 1, 1);
    const double step = (axis->max() - axis->min()) / intervals;
    int decimals = 0;
    if (step > 0 && std::isfinite(step)) {
        while (decimals < 10) {
            const double scaled = step * std::pow(10.0, decimals);
            if (std::abs(scaled - std::round(scaled)) < 1e-6 * std::max(1.0, scaled)) break;
            ++decimals;
        }
    }
    axis->setLabelFormat(decimals >= 10 ? QStringLiteral("%g") : QStringLiteral("%.%1f").arg(decimals));
    // The axis places its ticks at min + i·(max − min)/(n − 1): the tick
    // meant to be 0 can come out a residue below it, which "%.1f" writes
    // "-0.0". Such a range moves up by a millionth of a step, which neither
    // the labels nor the drawing show.
    const double min = axis->min(), max = axis->max();
    for (int i = 0; i <= intervals && step > 0; ++i) {
        const double tick = min + (i * (max - min) / intervals);
        if (tick < 0 && -tick < 1e-6 * step) {
            axis->setRange(min + 2e-6 * step, max + 2e-6 * step);
            break;
        }
    }
}

// Sets the axis to [lo, hi] widened to whole steps of 1, 2 or 5 times a
// power of ten, with at most eight steps, and a tick at each step.
void setNiceRange(QValueAxis* axis, double lo, double hi) {
    const double span = hi - lo;
    if (!(span > 0) || !std::isfinite(span)) {
        axis->setRange(lo, hi);
        return;
    }
    const double power = std::pow(10.0, std::floor(std::log10(span / 8)));
    double step = power;
    for (double factor : {1.0, 2.0, 5.0, 10.0, 20.0}) {
        step = factor * power;
        if (std::ceil(hi / step - 1e-9) - std::floor(lo / step + 1e-9) <= 8) break;
    }
    const double min = std::floor(lo / step + 1e-9) * step;
    const double max = std::ceil(hi / step - 1e-9) * step;
    axis->setTickCount(static_cast<int>(std::lround((max - min) / step)) + 1);
    axis->setRange(min, max);
}

// An automatic range around [lo, hi] with a little room at both ends that
// does not reach past 0 when the data stay on one side of it.
std::pair<double, double> paddedRange(double lo, double hi) {
    const double pad = lo == hi ? std::max(std::abs(lo) * 0.1, 1.0) : (hi - lo) * 0.03;
    double min = lo - pad, max = hi + pad;
    if (lo >= 0 && min < 0) min = 0;
    if (hi <= 0 && max > 0) max = 0;
    return {min, max};
}

// The chart view of the window: reports the mouse over it and the zooms the
// user makes with it (a dragged rectangle zooms in, the right button out).
class GraphView : public QChartView {
public:
    GraphView(QChart* chart, QWidget* parent) : QChartView(chart, parent) {
        setMouseTracking(true);
        setRubberBand(QChartView::RectangleRubberBand);
        setRenderHint(QPainter::Antialiasing);
    }
    std::function<void(const QPoint&)> onMouseMove;
    std::function<void()> onZoom;

protected:
    void mouseMoveEvent(QMouseEvent* event) override {
        QChartView::mouseMoveEvent(event);
        if (onMouseMove) onMouseMove(event->position().toPoint());
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        const bool zooms = event->button() == Qt::LeftButton || event->button() == Qt::RightButton;
        QChartView::mouseReleaseEvent(event);
        if (zooms && onZoom) onZoom();
    }
};

}  // namespace

// ---- construction ---------------------------------------------------------------------

TServiceGraph::TServiceGraph(QWidget* parent) : GraphWindow(parent, Qt::Window) {
    setObjectName(QStringLiteral("TServiceGraph"));
    setWindowTitle(QStringLiteral("График"));
    setAccessibleName(QStringLiteral("График"));
    setProperty(kHelpKeywordProperty, QStringLiteral("graphics"));
    CreateControls();
    ConnectControls();
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &TServiceGraph::FocusWindowChanged);
    resize(960, 640);
    m_xTitle = fromStd(approximation::tabTitles(GraphTab::Errors, m_family).x);
    m_yTitle = fromStd(approximation::tabTitles(GraphTab::Errors, m_family).y);
    ApplyLogarithmic(bLogariphmic->isChecked());
    ApplyAxisTitles();
    FitAxes();
}

TServiceGraph::~TServiceGraph() = default;

void TServiceGraph::CreateControls() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // The tabs across the top, the chart and the control panel beside each
    // other below them, the status bar along the bottom.
    BuildTabs();
    layout->addWidget(m_tabs);
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setChildrenCollapsible(false);
    QWidget* left = BuildChart(splitter);
    BuildStatusBar();
    BuildControlPanel(splitter);
    splitter->addWidget(left);
    splitter->addWidget(m_panel);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    splitter->setSizes({720, 240});
    layout->addWidget(splitter, 1);
    layout->addWidget(m_status);
}

void TServiceGraph::BuildTabs() {
    m_tabs = new QTabBar(this);
    m_tabs->setObjectName(QStringLiteral("TabControl"));
    m_tabs->setAccessibleName(QStringLiteral("Вид графика"));
    m_tabs->setExpanding(false);
    m_tabs->setDrawBase(true);
    for (GraphTab tab : approximation::kGraphTabs) m_tabs->addTab(QString::fromUtf8(approximation::graphTabCaption(tab)));
}

// The chart with its axes, its view and the marks over it.
QWidget* TServiceGraph::BuildChart(QWidget* parent) {
    auto* left = new QWidget(parent);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(2, 2, 0, 0);
    leftLayout->setSpacing(0);

    m_chart = new QChart;
    m_chart->setObjectName(QStringLiteral("ChartScene"));
    m_chart->legend()->hide();
    m_chart->setTitle(QString());
    m_chart->setBackgroundRoundness(0);
    m_chart->setMargins(QMargins(4, 4, 8, 4));
    m_chart->setAnimationOptions(QChart::NoAnimation);

    m_bottomLinear = new QValueAxis;
    m_bottomLinear->setObjectName(QStringLiteral("BottomAxis"));
    m_bottomLinear->setLabelFormat(QStringLiteral("%g"));
    m_bottomLinear->setMinorTickCount(9);
    m_bottomLinear->setMinorGridLineVisible(false);
    m_bottomLog = new QLogValueAxis;
    m_bottomLog->setObjectName(QStringLiteral("BottomAxisLogarithmic"));
    m_bottomLog->setBase(10.0);
    m_bottomLog->setLabelFormat(QStringLiteral("%g"));
    // Between two decades the minor grid lines fall on 2, 3, … 9 times the
    // decade: nine divisions.
    m_bottomLog->setMinorTickCount(8);
    QPen bottomMinor(kSilver);
    bottomMinor.setStyle(Qt::DashDotDotLine);
    m_bottomLinear->setMinorGridLinePen(bottomMinor);
    m_bottomLog->setMinorGridLinePen(bottomMinor);
    m_left = new QValueAxis;
    m_left->setObjectName(QStringLiteral("LeftAxis"));
    m_left->setLabelFormat(QStringLiteral("%g"));
    m_left->setMinorTickCount(9);
    m_left->setMinorGridLinePen(QPen(kSilver));
    m_left->setMinorGridLineVisible(false);
    m_chart->addAxis(m_bottomLinear, Qt::AlignBottom);
    m_chart->addAxis(m_left, Qt::AlignLeft);
    // The axis not in use belongs to the window until it is swapped in.
    m_bottomLog->setParent(this);

    auto* view = new GraphView(m_chart, left);
    m_view = view;
    m_view->setObjectName(QStringLiteral("Chart"));
    m_view->setAccessibleName(QStringLiteral("График"));
    m_view->setMinimumSize(300, 200);
    view->onMouseMove = [this](const QPoint& p) { ChartMouseMove(p); };
    view->onZoom = [this] {
        // A zoom of the user's holds until the next drawing resets it.
        m_zoomed = true;
        ChartZoom();
    };
    leftLayout->addWidget(m_view, 1);

    m_marks = new GraphMarks(m_chart, [this] {
        GraphMarks::Marked marked;
        if (bMarks->isChecked())
            for (QLineSeries* series : m_series)
                if (series->isVisible()) marked.valueSeries.append(series);
        if (m_scatter && m_scatter->isVisible()) {
            marked.scatter = m_scatter;
            marked.scatterTexts = m_scatterTexts;
        }
        return marked;
    });
    return left;
}

void TServiceGraph::BuildStatusBar() {
    m_status = new QStatusBar(this);
    m_status->setObjectName(QStringLiteral("StatusBar"));
    m_status->setAccessibleName(QStringLiteral("Строка состояния"));
    m_status->setSizeGripEnabled(false);
    m_panel0 = new QLabel(m_status);
    m_panel0->setObjectName(QStringLiteral("StatusPanel0"));
    m_panel0->setAccessibleName(QStringLiteral("Значение по горизонтальной оси"));
    m_panel0->setMinimumWidth(260);
    m_panel1 = new QLabel(m_status);
    m_panel1->setObjectName(QStringLiteral("StatusPanel1"));
    m_panel1->setAccessibleName(QStringLiteral("Значение по вертикальной оси"));
    m_status->addWidget(m_panel0);
    m_status->addWidget(m_panel1, 1);
}

// The control panel: the series list, the two groups and the print button.
void TServiceGraph::BuildControlPanel(QWidget* parent) {
    m_panel = new QWidget(parent);
    m_panel->setObjectName(QStringLiteral("ControlPanel"));
    m_panel->setAccessibleName(QStringLiteral("Настройки графика"));
    m_panel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    auto* panel = new QVBoxLayout(m_panel);
    panel->setContentsMargins(4, 4, 4, 4);
    panel->setSpacing(4);

    BuildSeriesList();
    panel->addWidget(m_list, 1);
    panel->addWidget(BuildGeneralGroup());
    panel->addWidget(BuildSegmentsGroup());
    Print = new QPushButton(QStringLiteral("Печать"), m_panel);
    Print->setObjectName(QStringLiteral("Print"));
    Print->setAccessibleName(QStringLiteral("Печать"));
    panel->addWidget(Print);

    // At least 172 pixels, and never so narrow that a caption is cut.
    m_panel->setMinimumWidth(std::max(kControlPanelMinWidth, m_panel->minimumSizeHint().width()));
}

// The series list and its menu.
void TServiceGraph::BuildSeriesList() {
    m_list = new QListWidget(m_panel);
    m_list->setObjectName(QStringLiteral("SpiltSelect"));
    m_list->setAccessibleName(QStringLiteral("Серии измерений"));
    m_list->setAccessibleDescription(QStringLiteral("Отмеченные серии показаны на графике"));
    m_list->setIconSize(QSize(12, 12));
    m_list->setMouseTracking(true);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->setTextElideMode(Qt::ElideRight);
    // Long package names are cut short; the hint shows them whole.
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_menu = new QMenu(m_list);
    m_menu->setObjectName(QStringLiteral("SpiltMenu"));
    auto menuItem = [this](const char* name, const char* caption, void (TServiceGraph::*slot)()) {
        QAction* action = m_menu->addAction(QString::fromUtf8(caption));
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, slot);
    };
    menuItem("N1", "Выделить все", &TServiceGraph::N1Click);
    menuItem("N2", "Очистить все", &TServiceGraph::N2Click);
    menuItem("N3", "Инвертировать", &TServiceGraph::N3Click);
}

namespace {

QCheckBox* check(QWidget* owner, const char* name, const char* caption, bool checked) {
    auto* box = new QCheckBox(QString::fromUtf8(caption), owner);
    box->setObjectName(QString::fromLatin1(name));
    box->setAccessibleName(QString::fromUtf8(caption));
    box->setChecked(checked);
    return box;
}

}  // namespace

// "Общие настройки": scale, values, point size, zoom, axis titles, scatter
// and stored errors.
QGroupBox* TServiceGraph::BuildGeneralGroup() {
    auto* general = new QGroupBox(QStringLiteral("Общие настройки"), m_panel);
    general->setObjectName(QStringLiteral("GroupGeneral"));
    general->setAccessibleName(general->title());
    auto* g = new QVBoxLayout(general);
    g->setContentsMargins(6, 4, 6, 6);
    g->setSpacing(3);
    bLogariphmic = check(general, "bLogariphmic", "Логарифмическая шкала", true);
    bMarks = check(general, "bMarks", "Показывать значения", false);
    g->addWidget(bLogariphmic);
    g->addWidget(bMarks);
    auto* sizeRow = new QHBoxLayout;
    auto* sizeLabel = new QLabel(QStringLiteral("Размер точек"), general);
    sizeLabel->setObjectName(QStringLiteral("PointSizeLabel"));
    PointSize = new QSpinBox(general);
    PointSize->setObjectName(QStringLiteral("PointSize"));
    PointSize->setAccessibleName(QStringLiteral("Размер точек"));
    PointSize->setRange(2, 100);
    PointSize->setValue(kDefaultPointSize);
    sizeLabel->setBuddy(PointSize);
    sizeRow->addWidget(sizeLabel);
    sizeRow->addWidget(PointSize);
    g->addLayout(sizeRow);
    auto* zoomRow = new QHBoxLayout;
    auto tool = [general](const char* name, const char* text, const char* hint) {
        auto* button = new QToolButton(general);
        button->setObjectName(QString::fromLatin1(name));
        button->setText(QString::fromUtf8(text));
        button->setToolTip(QString::fromUtf8(hint));
        button->setAccessibleName(QString::fromUtf8(hint));
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        return button;
    };
    Closer = tool("Closer", "+", "Растянуть");
    Further = tool("Further", "−", "Сжать");
    Auto = tool("Auto", "Авто", "Автоматический масштаб");
    zoomRow->addWidget(Closer);
    zoomRow->addWidget(Further);
    zoomRow->addWidget(Auto);
    g->addLayout(zoomRow);
    bNameAxis = check(general, "bNameAxis", "Название осей", true);
    CheckCasual = check(general, "CheckCasual", "Разброс значений", false);
    bCalsDeltaAlways = check(general, "bCalsDeltaAlways", "Расчетная погрешность", false);
    g->addWidget(bNameAxis);
    g->addWidget(CheckCasual);
    g->addWidget(bCalsDeltaAlways);
    return general;
}

// "Участки аппроксимации": the zero offset and the segments.
QGroupBox* TServiceGraph::BuildSegmentsGroup() {
    auto* segments = new QGroupBox(QStringLiteral("Участки аппроксимации"), m_panel);
    segments->setObjectName(QStringLiteral("GroupSegments"));
    segments->setAccessibleName(segments->title());
    auto* s = new QVBoxLayout(segments);
    s->setContentsMargins(6, 4, 6, 6);
    s->setSpacing(3);
    auto* offsetRow = new QHBoxLayout;
    Label2 = new QLabel(QStringLiteral("Смещение нуля"), segments);
    Label2->setObjectName(QStringLiteral("Label2"));
    Offset = new QSpinBox(segments);
    Offset->setObjectName(QStringLiteral("Offset"));
    Offset->setAccessibleName(QStringLiteral("Смещение нуля"));
    Offset->setRange(-1000, 1000);
    Offset->setValue(0);
    Label2->setBuddy(Offset);
    Label2->hide();
    Offset->hide();
    offsetRow->addWidget(Label2);
    offsetRow->addWidget(Offset);
    s->addLayout(offsetRow);
    bAproxLine = check(segments, "bAproxLine", "Отображать участки", true);
    bColorAprox = check(segments, "bColorAprox", "Раскрашивать участки", false);
    s->addWidget(bAproxLine);
    s->addWidget(bColorAprox);
    return segments;
}

void TServiceGraph::ConnectControls() {
    connect(m_list, &QListWidget::itemChanged, this, [this](QListWidgetItem*) {
        if (!m_updatingList) SeriesSetup(m_list);
    });
    connect(m_list, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { m_menu->popup(m_list->viewport()->mapToGlobal(p)); });
    connect(bMarks, &QCheckBox::toggled, this, [this] { SeriesSetup(bMarks); });
    connect(PointSize, &QSpinBox::valueChanged, this, [this] { SeriesSetup(PointSize); });
    connect(bAproxLine, &QCheckBox::toggled, this, [this] { SeriesSetup(bAproxLine); });
    connect(CheckCasual, &QCheckBox::toggled, this, [this] { ChartSetup(CheckCasual); });
    connect(bLogariphmic, &QCheckBox::toggled, this, [this] { ChartSetup(bLogariphmic); });
    connect(bNameAxis, &QCheckBox::toggled, this, [this] { ChartSetup(bNameAxis); });
    connect(bCalsDeltaAlways, &QCheckBox::toggled, this, [this] { ChartSetup(bCalsDeltaAlways); });
    connect(m_tabs, &QTabBar::currentChanged, this, [this] { Redraw(m_tabs); });
    connect(bColorAprox, &QCheckBox::toggled, this, [this] { Redraw(bColorAprox); });
    connect(Offset, &QSpinBox::valueChanged, this, [this] { Redraw(Offset); });
    for (QToolButton* button : {Closer, Further, Auto})
        connect(button, &QToolButton::clicked, this, [this, button] { ChangeSize(button); });
    connect(Print, &QPushButton::clicked, this, &TServiceGraph::PrintClick);
    connect(m_left, &QValueAxis::rangeChanged, this, [this] { ChartZoom(); });
    connect(m_bottomLinear, &QValueAxis::rangeChanged, this, [this] { setLabelDecimals(m_bottomLinear); });
    connect(m_chart, &QChart::plotAreaChanged, this, [this] { m_marks->refresh(); });
}

QIcon TServiceGraph::StyleImage(int image) {
    QPixmap pixmap(12, 12);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    const approximation::SeriesStyle& style = approximation::imageStyle(image);
    drawMarker(painter, style.marker, toColor(style.colour), QRectF(0, 0, 12, 12));
    return QIcon(pixmap);
}

// ---- data and titles --------------------------------------------------------------------

void TServiceGraph::SetData(const SPILTS_DATA_EXCHANGE* data) {
    m_data = data;
    if (!m_data) return;
    BuildSeries();
    DrawCurrentTab();
    ChangeSize(Auto);
}

void TServiceGraph::SetArgumentTitle(const QString& title) { m_family.argument = title.toStdString(); }

void TServiceGraph::SetRelativeTitle(const QString& title) { m_family.relative = title.toStdString(); }

GraphTab TServiceGraph::CurrentTab() const { return static_cast<GraphTab>(std::max(m_tabs->currentIndex(), 0)); }

void TServiceGraph::SelectTab(GraphTab tab) { m_tabs->setCurrentIndex(static_cast<int>(tab)); }

QAbstractAxis* TServiceGraph::bottomAxis() const {
    return bottomLogarithmic() ? static_cast<QAbstractAxis*>(m_bottomLog) : m_bottomLinear;
}

bool TServiceGraph::bottomLogarithmic() const { return m_chart->axes(Qt::Horizontal).contains(m_bottomLog); }

// ---- building and drawing ---------------------------------------------------------------

void TServiceGraph::BuildSeries() {
    // Everything of the previous data goes.
    for (QAbstractSeries* series : m_chart->series()) {
        m_chart->removeSeries(series);
        delete series;
    }
    m_series.clear();
    m_pieces.clear();
    m_curve = nullptr;
    m_scatter = nullptr;
    m_envelope[0] = m_envelope[1] = nullptr;
    m_scatterTexts.clear();
    m_curveSegments.clear();
    m_curveColours.clear();
    {
        const QSignalBlocker blocker(m_list);
        m_list->clear();
    }

    QAbstractAxis* bottom = bottomAxis();
    auto attach = [&](QXYSeries* series) {
        m_chart->addSeries(series);
        series->attachAxis(bottom);
        series->attachAxis(m_left);
    };

    m_updatingList = true;
    for (std::size_t i = 0; i < m_data->series.size(); ++i) {
        const int index = static_cast<int>(i);
        const approximation::SeriesStyle& style = approximation::seriesStyle(index);
        const QString title = fromStd(m_data->series[i].title);
        auto* item = new QListWidgetItem(StyleImage(style.image), title);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
        item->setToolTip(title);
        item->setData(Qt::AccessibleDescriptionRole,
                      QStringLiteral("Маркер: ") + markerText(style.marker) + QStringLiteral(", ") +
                          colourText(style.colour));
        m_list->addItem(item);

        // A point series: a line series without its line, each point drawn
        // as the style's marker picture. (A scatter series keeps a graphics
        // item per point, which costs seconds with thousands of entries.)
        auto* series = new QLineSeries;
        series->setObjectName(QStringLiteral("Series%1").arg(index));
        series->setName(title);
        series->setProperty("marker", QString::fromLatin1(approximation::markerName(style.marker)));
        QPen pen(toColor(style.colour));
        pen.setStyle(Qt::NoPen);
        series->setPen(pen);
        series->setLightMarker(markerImage(style, PointSize->value()));
        series->setMarkerSize(PointSize->value());
        attach(series);
        m_series.push_back(series);
        UpdateItemText(index);
    }
    m_updatingList = false;

    if (!m_data->lines.empty()) {
        m_curve = new QLineSeries;
        m_curve->setObjectName(QStringLiteral("Curve"));
        m_curvePen = QColor(255, 0, 0);
        m_curve->setPen(QPen(m_curvePen, 2));
        m_curve->setVisible(bAproxLine->isChecked());
        attach(m_curve);
    }

    // The limits of permissible error: dashed steps at ±δ, not in the list.
    if (m_data->limits.isSet()) {
        for (int side = 0; side < 2; ++side) {
            auto* envelope = new QLineSeries;
            envelope->setObjectName(side == 0 ? QStringLiteral("EnvelopeUpper") : QStringLiteral("EnvelopeLower"));
            envelope->setName(QStringLiteral("Пределы погрешности"));
            envelope->setPen(QPen(QColor(200, 0, 0), 1.5, Qt::DashLine));
            attach(envelope);
            m_envelope[side] = envelope;
        }
    }

    // The scatter layer shows only its marks; it starts hidden whatever
    // "Разброс значений" says, until that box is clicked.
    m_scatter = new QScatterSeries;
    m_scatter->setObjectName(QStringLiteral("Scatter"));
    m_scatter->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    m_scatter->setMarkerSize(1);
    m_scatter->setColor(m_chart->backgroundBrush().color());
    m_scatter->setBorderColor(Qt::transparent);
    attach(m_scatter);
    m_scatter->setVisible(false);
}

void TServiceGraph::DrawCurrentTab() {
    if (m_drawing) return;
    m_drawing = true;
    const GraphTab tab = CurrentTab();
    // Every series is emptied first, so that a change of scale moves no
    // points; the scale is then the tab's own (logarithmic on the error and
    // relative tabs), whatever the user chose before.
    for (QLineSeries* series : m_series) series->clear();
    if (m_curve) m_curve->clear();
    m_curveSegments.clear();
    ApplyCurveColours();
    if (m_scatter) m_scatter->clear();
    bLogariphmic->setChecked(approximation::tabStartsLogarithmic(tab));

    approximation::TabPicture picture;
    if (m_data) {
        approximation::GraphSettings settings;
        settings.storedErrors = bCalsDeltaAlways->isChecked();
        settings.zeroOffset = !Offset->isHidden();
        settings.offset = Offset->value();
        for (QLineSeries* series : m_series) settings.shown.push_back(series->isVisible());
        picture = approximation::drawGraphTab(*m_data, tab, settings, m_family);
    } else {
        picture.titles = approximation::tabTitles(tab, m_family);
    }
    m_xTitle = fromStd(picture.titles.x);
    m_yTitle = fromStd(picture.titles.y);
    ApplyAxisTitles();

    std::vector<QList<QPointF>> seriesPoints(m_series.size());
    for (std::size_t i = 0; i < m_series.size() && i < picture.series.size(); ++i) {
        seriesPoints[i].reserve(static_cast<qsizetype>(picture.series[i].size()));
        for (const approximation::GraphPoint& p : picture.series[i]) seriesPoints[i].append(QPointF(p.x, p.y));
    }
    QList<QPointF> curvePoints;
    m_curveSegments.clear();
    for (const approximation::CurveSample& sample : picture.curve) {
        curvePoints.append(QPointF(sample.x, sample.y));
        m_curveSegments.push_back(sample.segment);
    }
    QList<QPointF> envelopePoints[2];
    for (const approximation::GraphPoint& corner : picture.envelope) {
        envelopePoints[0].append(QPointF(corner.x, corner.y));
        envelopePoints[1].append(QPointF(corner.x, -corner.y));
    }
    QList<QPointF> scatterPoints;
    m_scatterTexts.clear();
    for (const approximation::ScatterGroup& g : picture.scatter) {
        scatterPoints.append(QPointF(g.x, g.y));
        m_scatterTexts.append(fromStd(g.text));
    }

    // The zoom goes back to the whole picture. The axes take their ranges
    // while the series are still empty, so that each series places its
    // points once.
    m_chart->zoomReset();
    m_zoomed = false;
    {
        std::vector<QList<QPointF>> shown;
        for (std::size_t i = 0; i < m_series.size(); ++i)
            if (m_series[i]->isVisible()) shown.push_back(seriesPoints[i]);
        if (m_curve && m_curve->isVisible()) shown.push_back(curvePoints);
        if (m_scatter && m_scatter->isVisible()) shown.push_back(scatterPoints);
        for (const QList<QPointF>& envelope : envelopePoints) shown.push_back(envelope);
        FitAxesTo(shown);
    }

    for (std::size_t i = 0; i < m_series.size(); ++i) m_series[i]->replace(seriesPoints[i]);
    if (m_curve) {
        if (picture.curvePenSegment) m_curvePen = toColor(approximation::seriesStyle(*picture.curvePenSegment).colour);
        m_curve->replace(curvePoints);
    }
    ApplyCurveColours();
    if (m_scatter) m_scatter->replace(scatterPoints);
    for (int side = 0; side < 2; ++side)
        if (m_envelope[side]) m_envelope[side]->replace(envelopePoints[side]);
    m_drawing = false;
    FitAxes();
    m_marks->refresh();
}

void TServiceGraph::ApplyCurveColours() {
    for (QLineSeries* piece : m_pieces) {
        m_chart->removeSeries(piece);
        delete piece;
    }
    m_pieces.clear();
    m_curveColours.clear();
    if (!m_curve) return;
    const bool coloured = bColorAprox->isChecked();
    for (int segment : m_curveSegments)
        m_curveColours.push_back(coloured ? toColor(approximation::seriesStyle(segment).colour) : m_curvePen);
    if (!coloured) {
        m_curve->setPen(QPen(m_curvePen, 2));
        return;
    }
    // Each stretch of the curve takes the colour of the sample it ends at;
    // neighbouring stretches of one colour make one piece.
    QPen none(Qt::NoPen);
    m_curve->setPen(none);
    const QList<QPointF> points = m_curve->points();
    QAbstractAxis* bottom = bottomAxis();
    QLineSeries* piece = nullptr;
    for (int i = 1; i < points.size(); ++i) {
        const QColor colour = m_curveColours[static_cast<std::size_t>(i)];
        if (!piece || piece->pen().color() != colour) {
            piece = new QLineSeries;
            piece->setObjectName(QStringLiteral("CurvePiece%1").arg(m_pieces.size()));
            piece->setPen(QPen(colour, 2));
            piece->append(points[i - 1]);
            m_chart->addSeries(piece);
            piece->attachAxis(bottom);
            piece->attachAxis(m_left);
            piece->setVisible(m_curve->isVisible());
            m_pieces.push_back(piece);
        }
        piece->append(points[i]);
    }
}

void TServiceGraph::ApplyLogarithmic(bool logarithmic) {
    QAbstractAxis* want = logarithmic ? static_cast<QAbstractAxis*>(m_bottomLog) : m_bottomLinear;
    QAbstractAxis* have = logarithmic ? static_cast<QAbstractAxis*>(m_bottomLinear) : m_bottomLog;
    if (!m_chart->axes(Qt::Horizontal).contains(want)) {
        const QList<QAbstractSeries*> all = m_chart->series();
        for (QAbstractSeries* series : all) series->detachAxis(have);
        m_chart->removeAxis(have);
        have->setParent(this);
        // A logarithmic axis takes no range that reaches 0.
        if (logarithmic) m_bottomLog->setRange(1, 10);
        m_chart->addAxis(want, Qt::AlignBottom);
        for (QAbstractSeries* series : all) series->attachAxis(want);
    }
    m_bottomLog->setMinorGridLineVisible(logarithmic);
    m_bottomLinear->setMinorGridLineVisible(false);
    ApplyAxisTitles();
    // Ranges do not carry over between the two kinds of scale.
    const bool autoBottom = m_autoBottom;
    m_autoBottom = true;
    if (!m_drawing) FitAxes();
    m_autoBottom = autoBottom;
    m_marks->refresh();
}

void TServiceGraph::ApplyAxisTitles() {
    const bool named = bNameAxis->isChecked();
    m_bottomLinear->setTitleText(named ? m_xTitle : QString());
    m_bottomLog->setTitleText(named ? m_xTitle : QString());
    m_left->setTitleText(named ? m_yTitle : QString());
}

void TServiceGraph::ApplyMarkerSize() {
    const int size = PointSize->value();
    for (std::size_t i = 0; i < m_series.size(); ++i) {
        m_series[i]->setMarkerSize(size);
        m_series[i]->setLightMarker(markerImage(approximation::seriesStyle(static_cast<int>(i)), size));
    }
}

void TServiceGraph::UpdateItemText(int index) {
    QListWidgetItem* item = m_list->item(index);
    if (!item) return;
    const bool shown = item->checkState() == Qt::Checked;
    const QSignalBlocker blocker(m_list);
    item->setData(Qt::AccessibleTextRole,
                  item->text() + (shown ? QStringLiteral(", показана") : QStringLiteral(", скрыта")));
}

void TServiceGraph::FitAxes() {
    if (m_drawing || m_zoomed) return;
    std::vector<QList<QPointF>> shown;
    auto take = [&](const QXYSeries* series) {
        if (series && series->isVisible()) shown.push_back(series->points());
    };
    for (const QLineSeries* series : m_series) take(series);
    take(m_curve);
    take(m_scatter);
    for (const QLineSeries* envelope : m_envelope) take(envelope);
    FitAxesTo(shown);
}

void TServiceGraph::FitAxesTo(const std::vector<QList<QPointF>>& shown) {
    const bool logarithmic = bottomLogarithmic();
    double xMin = std::numeric_limits<double>::infinity(), xMax = -xMin;
    double yMin = xMin, yMax = -xMin;
    for (const QList<QPointF>& points : shown) {
        for (const QPointF& p : points) {
            if (!std::isfinite(p.x()) || !std::isfinite(p.y())) continue;
            if (logarithmic && !(p.x() > 0)) continue;
            xMin = std::min(xMin, p.x());
            xMax = std::max(xMax, p.x());
            yMin = std::min(yMin, p.y());
            yMax = std::max(yMax, p.y());
        }
    }

    if (m_autoBottom) {
        if (xMin > xMax) {
            xMin = logarithmic ? 1 : 0;
            xMax = 10;
        }
        if (logarithmic) {
            if (xMin == xMax) {
                xMin /= 2;
                xMax *= 2;
            }
            // Room for the marks of the outer groups.
            m_bottomLog->setRange(xMin / 1.25, xMax * 1.25);
        } else {
            const auto [min, max] = paddedRange(xMin, xMax);
            setNiceRange(m_bottomLinear, min, max);
            setLabelDecimals(m_bottomLinear);
        }
    }
    if (m_autoLeft) {
        if (yMin > yMax) {
            yMin = 0;
            yMax = 1;
        }
        const auto [min, max] = paddedRange(yMin, yMax);
        setNiceRange(m_left, min, max);
    }
    ChartZoom();
    m_marks->refresh();
}

// ---- handlers --------------------------------------------------------------------------------

void TServiceGraph::SeriesSetup(QObject* sender) {
    if (sender == m_list) {
        for (std::size_t i = 0; i < m_series.size(); ++i) {
            const QListWidgetItem* item = m_list->item(static_cast<int>(i));
            m_series[i]->setVisible(item && item->checkState() == Qt::Checked);
            UpdateItemText(static_cast<int>(i));
        }
        DrawCurrentTab();
    } else if (sender == bMarks) {
        m_marks->refresh();
    } else if (sender == PointSize) {
        ApplyMarkerSize();
        m_marks->refresh();
    } else if (sender == bAproxLine) {
        if (m_curve) m_curve->setVisible(bAproxLine->isChecked());
        for (QLineSeries* piece : m_pieces) piece->setVisible(bAproxLine->isChecked());
        FitAxes();
    }
}

void TServiceGraph::ChartSetup(QObject* sender) {
    if (sender == CheckCasual) {
        if (m_scatter) m_scatter->setVisible(CheckCasual->isChecked());
        FitAxes();
    } else if (sender == bLogariphmic) {
        ApplyLogarithmic(bLogariphmic->isChecked());
    } else if (sender == bNameAxis || sender == bCalsDeltaAlways) {
        DrawCurrentTab();
    }
}

void TServiceGraph::Redraw(QObject* sender) {
    if (sender == Offset) {
        DrawCurrentTab();
        return;
    }
    ChangeSize(Auto);
    DrawCurrentTab();
    ChangeSize(Auto);
}

void TServiceGraph::ChangeSize(QObject* sender) {
    const double min = m_left->min(), max = m_left->max(), range = max - min;
    if (sender == Closer) {
        m_autoLeft = false;
        m_left->setRange(min + range * kCloserShare, max - range * kCloserShare);
    } else if (sender == Further) {
        m_autoLeft = false;
        m_left->setRange(min - range * kFurtherShare, max + range * kFurtherShare);
    } else if (sender == Auto) {
        m_autoLeft = m_autoBottom = true;
        m_zoomed = false;
        FitAxes();
    }
    ChartZoom();
}

void TServiceGraph::ChartZoom() {
    const double range = m_left->max() - m_left->min();
    m_left->setMinorGridLineVisible(range >= 1.0 && range < 5.0);
    setLabelDecimals(m_left);
    m_marks->refresh();
}

void TServiceGraph::N1Click() {
    m_updatingList = true;
    for (std::size_t i = 0; i < m_series.size(); ++i) {
        m_series[i]->setVisible(true);
        if (QListWidgetItem* item = m_list->item(static_cast<int>(i))) item->setCheckState(Qt::Checked);
        UpdateItemText(static_cast<int>(i));
    }
    m_updatingList = false;
    FitAxes();
}

void TServiceGraph::N2Click() {
    m_updatingList = true;
    for (std::size_t i = 0; i < m_series.size(); ++i) {
        m_series[i]->setVisible(false);
        if (QListWidgetItem* item = m_list->item(static_cast<int>(i))) item->setCheckState(Qt::Unchecked);
        UpdateItemText(static_cast<int>(i));
    }
    m_updatingList = false;
    FitAxes();
}

void TServiceGraph::N3Click() {
    m_updatingList = true;
    for (std::size_t i = 0; i < m_series.size(); ++i) {
        const bool shown = !m_series[i]->isVisible();
        m_series[i]->setVisible(shown);
        if (QListWidgetItem* item = m_list->item(static_cast<int>(i)))
            item->setCheckState(shown ? Qt::Checked : Qt::Unchecked);
        UpdateItemText(static_cast<int>(i));
    }
    m_updatingList = false;
    FitAxes();
}

void TServiceGraph::ChartMouseMove(const QPoint& position) {
    const QPointF at = m_chart->mapFromScene(m_view->mapToScene(position));
    const QRectF area = m_chart->plotArea();
    if (area.width() <= 0 || area.height() <= 0) return;
    const double fx = (at.x() - area.left()) / area.width();
    const double fy = (area.bottom() - at.y()) / area.height();
    double x;
    if (bottomLogarithmic()) {
        const double lo = std::log10(m_bottomLog->min()), hi = std::log10(m_bottomLog->max());
        x = std::pow(10.0, lo + fx * (hi - lo));
    } else {
        x = m_bottomLinear->min() + fx * (m_bottomLinear->max() - m_bottomLinear->min());
    }
    const double y = m_left->min() + fy * (m_left->max() - m_left->min());
    m_panel0->setText(m_xTitle + QStringLiteral(": ") + fromStd(formatG(x)));
    m_panel1->setText(m_yTitle + QStringLiteral(": ") + fromStd(formatG(y)));
}

void TServiceGraph::PrintClick() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted) return;
    QPainter painter(&printer);
    PrintChart(painter, painter.viewport());
}

void TServiceGraph::PrintChart(QPainter& painter, const QRectF& target) {
    m_chart->setTitle(m_tabs->tabText(m_tabs->currentIndex()));
    // The title takes its room before the chart is painted.
    if (QGraphicsLayout* layout = m_chart->layout()) layout->activate();
    QApplication::sendPostedEvents(m_chart, QEvent::LayoutRequest);
    m_view->render(&painter, target, QRect(), Qt::KeepAspectRatio);
    m_chart->setTitle(QString());
    if (QGraphicsLayout* layout = m_chart->layout()) layout->activate();
}

// ---- activation ---------------------------------------------------------------------------------

void TServiceGraph::FormActivate() {
    const bool offset = ReadSettingsSwitch(approximation::kEnableZeroOffsetValue);
    Offset->setVisible(offset);
    Label2->setVisible(offset);
    // The settings go back together, then take effect once: a redraw when
    // one that changes the picture moved, and the logarithmic scale last,
    // so that it holds whatever the tab's drawing chose.
    const bool redraw = !bNameAxis->isChecked() || Offset->value() != 0 || bColorAprox->isChecked();
    for (QWidget* control : std::initializer_list<QWidget*>{bMarks, bLogariphmic, bNameAxis, PointSize, Offset,
                                                            bAproxLine, bColorAprox}) {
        const QSignalBlocker blocker(control);
        if (control == PointSize)
            PointSize->setValue(kDefaultPointSize);
        else if (control == Offset)
            Offset->setValue(0);
        else
            static_cast<QCheckBox*>(control)->setChecked(control != bMarks && control != bColorAprox);
    }
    ApplyMarkerSize();
    if (m_curve) m_curve->setVisible(true);
    for (QLineSeries* piece : m_pieces) piece->setVisible(true);
    if (redraw && m_data) {
        ChangeSize(Auto);
        DrawCurrentTab();
        ChangeSize(Auto);
    }
    bLogariphmic->setChecked(true);
    ApplyLogarithmic(true);
    ApplyAxisTitles();
    m_marks->refresh();
}

void TServiceGraph::FocusWindowChanged(QWindow* now) {
    QWindow* before = m_lastFocus;
    m_lastFocus = now;
    if (now && now == windowHandle() && ComesFromAnotherWindow(before)) FormActivate();
}

bool TServiceGraph::ComesFromAnotherWindow(const QWindow* before) const {
    if (!before) return false;
    for (const QWindow* w = before; w; w = w->transientParent())
        if (w == windowHandle()) return false;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->windowHandle() == before && widget->inherits("HelpWindow")) return false;
    return true;
}
