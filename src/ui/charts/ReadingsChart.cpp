#include "ReadingsChart.h"

#include <QChart>
#include <QGraphicsLayout>
#include <QLineSeries>
#include <QList>
#include <QPen>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace {

// A round step (1, 2 or 5 times a power of ten) that cuts `range` into about
// five parts; at least `least`.
double niceStep(double range, double least) {
    if (!(range > 0) || !std::isfinite(range)) return std::max(least, 1.0);
    const double raw = range / 5;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double n = raw / magnitude;
    const double step = (n < 1.5 ? 1 : n < 3 ? 2 : n < 7 ? 5 : 10) * magnitude;
    return std::max(step, least);
}

// A range with ticks at round values from a multiple of the step. The axis
// lays out its ticks at each change, so the range and the step change in
// the order that never has a wide range under a fine step: zooming out from
// a range of one code to thousands with the old step in place would make
// the axis build tens of thousands of ticks (minutes of a frozen window).
void setRoundRange(QValueAxis* axis, double min, double max, double least) {
    const double step = niceStep(max - min, least);
    const bool coarser = step >= axis->tickInterval();
    if (!coarser) axis->setRange(min, max);
    axis->setTickAnchor(std::floor(min / step) * step);
    axis->setTickInterval(step);
    if (coarser) axis->setRange(min, max);
}

// A load of more samples than this at once is drawn afresh rather than
// appended one by one.
constexpr std::size_t kAppendLimit = 4096;

}  // namespace

ReadingsChart::ReadingsChart(QWidget* parent) : QChartView(parent) {
    setObjectName(QStringLiteral("Chart1"));
    setAccessibleName(QStringLiteral("График показаний"));
    auto* chart = new QChart;
    chart->legend()->hide();
    chart->setMargins(QMargins(2, 2, 2, 2));
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    chart->setBackgroundRoundness(0);
    // The theme's drop shadow is a blur of the whole chart on every repaint.
    chart->setDropShadowEnabled(false);
    m_raw = new QLineSeries(chart);
    m_raw->setObjectName(QStringLiteral("Series1"));
    m_raw->setName(QStringLiteral("Код"));
    // Cosmetic pens: a one-pixel line is drawn without the joins a stroked
    // path needs, which took most of a repaint on a long run.
    QPen blue(Qt::blue, 1);
    blue.setCosmetic(true);
    m_raw->setPen(blue);
    m_filtered = new QLineSeries(chart);
    m_filtered->setObjectName(QStringLiteral("Series2"));
    m_filtered->setName(QStringLiteral("Фильтр"));
    QPen red(Qt::red, 1);
    red.setCosmetic(true);
    m_filtered->setPen(red);
    chart->addSeries(m_raw);
    chart->addSeries(m_filtered);
    m_x = new QValueAxis(chart);
    m_y = new QValueAxis(chart);
    m_x->setLabelFormat(QStringLiteral("%g"));
    m_y->setLabelFormat(QStringLiteral("%g"));
    chart->addAxis(m_x, Qt::AlignBottom);
    chart->addAxis(m_y, Qt::AlignLeft);
    for (QLineSeries* s : {m_raw, m_filtered}) {
        s->attachAxis(m_x);
        s->attachAxis(m_y);
    }
    m_x->setTickType(QValueAxis::TicksDynamic);
    m_y->setTickType(QValueAxis::TicksDynamic);
    setXRange(0, 1);
    setRoundRange(m_y, 0, 1, 0.0);
    setChart(chart);
    setRenderHint(QPainter::Antialiasing, false);
}

rv::AxisRange ReadingsChart::xRange() const { return {m_x->min(), m_x->max()}; }
rv::AxisRange ReadingsChart::yRange() const { return {m_y->min(), m_y->max()}; }

int ReadingsChart::drawnPoints() const { return static_cast<int>(m_raw->count() + m_filtered->count()); }

int ReadingsChart::budget() const {
    // One bucket (its lowest and highest point) per two pixels of the plot;
    // a chart not laid out yet assumes a common width.
    const int width = static_cast<int>(chart()->plotArea().width());
    return std::max((width > 0 ? width : 1000) / 2, 100);
}

void ReadingsChart::setSeriesShown(bool raw, bool filtered) {
    m_raw->setVisible(raw);
    m_filtered->setVisible(filtered);
    applyAutomatic();
}

void ReadingsChart::setXRange(double min, double max) {
    if (!(max > min)) max = min + 1;
    // X counts samples: never a tick between two of them.
    setRoundRange(m_x, min, max, 1.0);
}

// The automatic X axis runs from 0 to a little past the last sample: every
// sample moved the whole drawing, so the axis grows in steps of about 2 %
// of its length and the series are remapped only at each step.
static double automaticXMax(std::size_t n) {
    const double last = n > 1 ? static_cast<double>(n - 1) : 1.0;
    return last + std::max(1.0, std::floor(last / 50));
}

void ReadingsChart::applyAutomatic(bool growOnly) {
    const std::size_t n = m_store ? m_store->size() : 0;
    if (m_autoX) {
        const double last = n > 1 ? static_cast<double>(n - 1) : 1.0;
        if (!growOnly || m_x->min() != 0 || m_x->max() < last) setXRange(0, automaticXMax(n));
    }
    if (m_autoY) {
        double lo = 0, hi = 0;
        bool any = false;
        const auto widen = [&](const rv::ValueExtremes& e) {
            if (e.empty()) return;
            lo = any ? std::min(lo, e.min()) : e.min();
            hi = any ? std::max(hi, e.max()) : e.max();
            any = true;
        };
        // The vertical range fits the samples in view: all of them while X
        // is automatic, else those of the range the user chose.
        const auto extremes = [&](const rv::ValueExtremes& all, const std::vector<double>& values) {
            return m_autoX ? all : rv::ExtremesInView(values, m_x->min(), m_x->max());
        };
        if (n > 0 && m_raw->isVisible()) widen(extremes(m_rawExtremes, m_store->raw()));
        if (n > 0 && m_filtered->isVisible()) widen(extremes(m_filteredExtremes, m_store->filtered()));
        if (!any) {
            lo = 0;
            hi = 1;
        } else if (!(hi > lo)) {
            lo -= 1;
            hi += 1;
        }
        if (m_y->min() != lo || m_y->max() != hi) setRoundRange(m_y, lo, hi, 0.0);
    }
}

void ReadingsChart::setAutomatic() {
    m_autoX = true;
    m_autoY = true;
    applyAutomatic();
    if (!coverageFits()) rebuild();
}

void ReadingsChart::zoom(rv::ZoomButton button) {
    if (rv::zoomsX(button)) {
        const rv::AxisRange r = rv::zoomed(button, xRange());
        m_autoX = false;
        setXRange(r.min, r.max);
        if (!coverageFits()) rebuild();
        if (m_autoY) applyAutomatic();
    } else {
        const rv::AxisRange r = rv::zoomed(button, yRange());
        m_autoY = false;
        setRoundRange(m_y, r.min, r.max, 0.0);
    }
}

namespace {

QList<QPointF> toPoints(const std::vector<rv::ReducedPoint>& points) {
    QList<QPointF> out;
    out.reserve(static_cast<qsizetype>(points.size()));
    for (const rv::ReducedPoint& p : points) out.append(QPointF(p.x, p.y));
    return out;
}

}  // namespace

bool ReadingsChart::coverageFits() const {
    return m_reduction.fits(m_store ? m_store->size() : 0, m_x->min(), m_x->max(), budget());
}

void ReadingsChart::rebuild() {
    m_reduction.plan(m_store ? m_store->size() : 0, m_x->min(), m_x->max(), budget());
    if (m_reduction.empty()) {
        m_raw->clear();
        m_filtered->clear();
        return;
    }
    m_raw->replace(toPoints(m_reduction.points(m_store->raw())));
    m_filtered->replace(toPoints(m_reduction.points(m_store->filtered())));
}

void ReadingsChart::extendSeries(QLineSeries* series, const std::vector<double>& values, std::size_t i,
                                 rv::ReadingsReduction::Change change) {
    rv::ReducedPoint p[2];
    const int n = m_reduction.bucketPoints(values, i, p);
    if (change == rv::ReadingsReduction::Change::Append) {
        for (int j = 0; j < n; ++j) series->append(p[j].x, p[j].y);
        return;
    }
    const auto at = static_cast<qsizetype>(m_reduction.firstPointOf(i));
    for (int j = 0; j < n; ++j) {
        const QPointF point(p[j].x, p[j].y);
        if (series->at(at + j) != point) series->replace(at + j, point);
    }
}

void ReadingsChart::appendSample(std::size_t i) {
    m_rawExtremes.take(m_store->raw()[i]);
    m_filteredExtremes.take(m_store->filtered()[i]);
    if (m_scrolling) {
        m_autoX = false;
        setXRange(m_x->min() + 1, m_x->max() + 1);
    }
    const rv::ReadingsReduction::Change change = m_reduction.extend(i);
    if (change != rv::ReadingsReduction::Change::None) {
        extendSeries(m_raw, m_store->raw(), i, change);
        extendSeries(m_filtered, m_store->filtered(), i, change);
    }
    applyAutomatic(true);
    if (!coverageFits()) rebuild();
}

void ReadingsChart::sync(const rv::ReadingsStore& store) {
    const bool fresh = m_store != &store || m_generation != store.generation() || store.size() < m_shown;
    m_store = &store;
    if (fresh) {
        m_generation = store.generation();
        m_shown = 0;
        m_reduction.clear();
        m_rawExtremes.clear();
        m_filteredExtremes.clear();
        m_raw->clear();
        m_filtered->clear();
    }
    const std::size_t n = store.size();
    if (n == m_shown) return;
    if (n - m_shown > kAppendLimit || m_reduction.empty()) {
        // Extremes over the new samples, then one drawing of the view.
        for (std::size_t i = m_shown; i < n; ++i) {
            m_rawExtremes.take(store.raw()[i]);
            m_filteredExtremes.take(store.filtered()[i]);
        }
        if (m_scrolling) {
            m_autoX = false;
            const double moved = static_cast<double>(n - m_shown);
            setXRange(m_x->min() + moved, m_x->max() + moved);
        }
        m_shown = n;
        applyAutomatic();
        rebuild();
        return;
    }
    for (std::size_t i = m_shown; i < n; ++i) appendSample(i);
    m_shown = n;
}

void ReadingsChart::resizeEvent(QResizeEvent* event) {
    QChartView::resizeEvent(event);
    if (!coverageFits()) rebuild();
}
