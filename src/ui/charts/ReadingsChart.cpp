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

// Ticks at round values from a multiple of the step, whatever the range.
void roundTicks(QValueAxis* axis, double least) {
    const double step = niceStep(axis->max() - axis->min(), least);
    axis->setTickAnchor(std::floor(axis->min() / step) * step);
    axis->setTickInterval(step);
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
    // X counts samples: never a tick between two of them.
    connect(m_x, &QValueAxis::rangeChanged, this, [this] { roundTicks(m_x, 1.0); });
    connect(m_y, &QValueAxis::rangeChanged, this, [this] { roundTicks(m_y, 0.0); });
    m_x->setRange(0, 1);
    m_y->setRange(0, 1);
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
    m_x->setRange(min, max);
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
        if (n > 0 && m_raw->isVisible()) {
            lo = m_rawMin;
            hi = m_rawMax;
            any = true;
        }
        if (n > 0 && m_filtered->isVisible()) {
            lo = any ? std::min(lo, m_filteredMin) : m_filteredMin;
            hi = any ? std::max(hi, m_filteredMax) : m_filteredMax;
            any = true;
        }
        if (!any) {
            lo = 0;
            hi = 1;
        } else if (!(hi > lo)) {
            lo -= 1;
            hi += 1;
        }
        if (m_y->min() != lo || m_y->max() != hi) m_y->setRange(lo, hi);
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
    } else {
        const rv::AxisRange r = rv::zoomed(button, yRange());
        m_autoY = false;
        m_y->setRange(r.min, r.max);
    }
}

// The lowest and the highest value of one bucket, in the order of their X.
void ReadingsChart::bucketPoints(const std::vector<double>& values, std::size_t bucket, QPointF out[2]) const {
    const std::size_t k = static_cast<std::size_t>(m_k);
    const std::size_t from = bucket * k;
    const std::size_t to = std::min(from + k, values.size());
    std::size_t lo = from, hi = from;
    for (std::size_t i = from + 1; i < to; ++i) {
        if (values[i] < values[lo]) lo = i;
        if (values[i] > values[hi]) hi = i;
    }
    const std::size_t a = std::min(lo, hi), b = std::max(lo, hi);
    out[0] = QPointF(static_cast<double>(a), values[a]);
    out[1] = QPointF(static_cast<double>(b), values[b]);
}

// Whether the drawn buckets still suit the X range: the range lies within
// them (or runs past the store's end while they reach it), their size fits
// the samples in view, and they are not many more than the range needs.
bool ReadingsChart::coverageFits() const {
    const std::size_t n = m_store ? m_store->size() : 0;
    if (n == 0) return m_empty;
    if (m_empty) return false;
    const double lo = std::max(0.0, m_x->min());
    const double hi = std::min(static_cast<double>(n - 1), m_x->max());
    const double k = m_k;
    const double inView = std::max(1.0, hi - lo + 1);
    const int b = budget();
    if (inView / k > 2.0 * b) return false;               // too many points in view
    if (m_k > 1 && inView / k < b / 4.0) return false;    // too coarse for the view
    if (lo < static_cast<double>(m_firstBucket) * k && m_firstBucket > 0) return false;
    if (!m_openTail && hi >= static_cast<double>(m_lastBucket + 1) * k) return false;
    if (static_cast<double>(m_lastBucket - m_firstBucket + 1) > 3.0 * b + inView / k) return false;
    return true;
}

void ReadingsChart::rebuild() {
    const std::size_t n = m_store ? m_store->size() : 0;
    if (n == 0) {
        m_raw->clear();
        m_filtered->clear();
        m_k = 1;
        m_firstBucket = m_lastBucket = 0;
        m_openTail = true;
        m_empty = true;
        return;
    }
    const double last = static_cast<double>(n - 1);
    const double lo = std::clamp(m_x->min(), 0.0, last);
    const double hi = std::clamp(m_x->max(), lo, last);
    const double span = hi - lo + 1;
    const int b = budget();
    m_k = 1;
    while (span / m_k > b) m_k *= 2;
    // One view's width on either side, so that small moves need no rebuild.
    const auto k = static_cast<std::size_t>(m_k);
    const double from = std::max(0.0, lo - span);
    const double to = std::min(last, hi + span);
    m_firstBucket = static_cast<std::size_t>(from) / k;
    m_lastBucket = static_cast<std::size_t>(to) / k;
    m_openTail = m_lastBucket == (n - 1) / k;
    m_empty = false;

    QList<QPointF> raw, filtered;
    const std::size_t buckets = m_lastBucket - m_firstBucket + 1;
    raw.reserve(static_cast<qsizetype>(buckets * (k > 1 ? 2 : 1)));
    filtered.reserve(raw.capacity());
    for (std::size_t bucket = m_firstBucket; bucket <= m_lastBucket; ++bucket) {
        if (k == 1) {
            raw.append(QPointF(static_cast<double>(bucket), m_store->raw()[bucket]));
            filtered.append(QPointF(static_cast<double>(bucket), m_store->filtered()[bucket]));
            continue;
        }
        QPointF p[2];
        bucketPoints(m_store->raw(), bucket, p);
        raw.append(p[0]);
        raw.append(p[1]);
        bucketPoints(m_store->filtered(), bucket, p);
        filtered.append(p[0]);
        filtered.append(p[1]);
    }
    m_raw->replace(raw);
    m_filtered->replace(filtered);
}

void ReadingsChart::appendSample(std::size_t i) {
    const double raw = m_store->raw()[i];
    const double filtered = m_store->filtered()[i];
    if (i == 0) {
        m_rawMin = m_rawMax = raw;
        m_filteredMin = m_filteredMax = filtered;
    } else {
        m_rawMin = std::min(m_rawMin, raw);
        m_rawMax = std::max(m_rawMax, raw);
        m_filteredMin = std::min(m_filteredMin, filtered);
        m_filteredMax = std::max(m_filteredMax, filtered);
    }
    if (m_scrolling) {
        m_autoX = false;
        setXRange(m_x->min() + 1, m_x->max() + 1);
    }
    if (!m_empty && m_openTail) {
        const auto k = static_cast<std::size_t>(m_k);
        const std::size_t bucket = i / k;
        if (k == 1) {
            m_raw->append(static_cast<double>(i), raw);
            m_filtered->append(static_cast<double>(i), filtered);
        } else {
            QPointF r[2], f[2];
            bucketPoints(m_store->raw(), bucket, r);
            bucketPoints(m_store->filtered(), bucket, f);
            if (bucket == m_lastBucket) {
                const auto at = static_cast<qsizetype>((bucket - m_firstBucket) * 2);
                if (m_raw->at(at) != r[0]) m_raw->replace(at, r[0]);
                if (m_raw->at(at + 1) != r[1]) m_raw->replace(at + 1, r[1]);
                if (m_filtered->at(at) != f[0]) m_filtered->replace(at, f[0]);
                if (m_filtered->at(at + 1) != f[1]) m_filtered->replace(at + 1, f[1]);
            } else {
                m_raw->append(QList<QPointF>{r[0], r[1]});
                m_filtered->append(QList<QPointF>{f[0], f[1]});
            }
        }
        m_lastBucket = bucket;
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
        m_empty = true;
        m_raw->clear();
        m_filtered->clear();
    }
    const std::size_t n = store.size();
    if (n == m_shown) return;
    if (n - m_shown > kAppendLimit || m_empty) {
        // Extremes over the new samples, then one drawing of the view.
        for (std::size_t i = m_shown; i < n; ++i) {
            const double raw = store.raw()[i], filtered = store.filtered()[i];
            if (i == 0) {
                m_rawMin = m_rawMax = raw;
                m_filteredMin = m_filteredMax = filtered;
                continue;
            }
            m_rawMin = std::min(m_rawMin, raw);
            m_rawMax = std::max(m_rawMax, raw);
            m_filteredMin = std::min(m_filteredMin, filtered);
            m_filteredMax = std::max(m_filteredMax, filtered);
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
