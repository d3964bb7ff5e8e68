#include "pdf/ErrorChart.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace pdf {

namespace {

const QColor kFlowColour(0, 128, 0);
const QColor kVolumeColour(0, 0, 255);
const QColor kFailColour(220, 0, 0);
const QColor kEnvelopeColour(200, 0, 0);
const QColor kGridColour(192, 192, 192);

// A step of 1, 2 or 5 times a power of ten giving about `count` ticks.
double niceStep(double span, int count) {
    const double raw = span / count;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0})
        if (raw <= m * power) return m * power;
    return 10.0 * power;
}

QString number(double value) { return QString::number(value, 'g', 6); }

}  // namespace

ErrorChart::ErrorChart(const PackageVerdict& verdict, const Limits& limits) : m_verdict(verdict), m_limits(limits) {}

void ErrorChart::paint(QPainter& painter, const QRectF& area, double unit) const {
    painter.save();
    QFont font = painter.font();
    font.setPixelSize(qRound(7.0 * unit));
    painter.setFont(font);
    const QFontMetricsF metrics(font, painter.device());

    // The ranges: every finite point, and the envelope's limits over them.
    double qMin = INFINITY, qMax = -INFINITY, eMax = 0.0;
    for (const EntryVerdict& e : m_verdict.entries) {
        if (!(e.q > 0.0) || !std::isfinite(e.q)) continue;
        qMin = std::min(qMin, e.q);
        qMax = std::max(qMax, e.q);
        if (std::isfinite(e.error)) eMax = std::max(eMax, std::fabs(e.error));
        if (std::isfinite(e.dV)) eMax = std::max(eMax, std::fabs(e.dV));
    }
    const bool hasPoints = qMin <= qMax;
    if (!hasPoints) {
        qMin = 0.1;
        qMax = 10.0;
    }
    // Half a decade beyond the points on either side (at least one decade in all).
    double lo = std::log10(qMin) - 0.25, hi = std::log10(qMax) + 0.25;
    if (hi - lo < 1.0) {
        const double mid = (hi + lo) / 2;
        lo = mid - 0.5;
        hi = mid + 0.5;
    }
    const std::vector<EnvelopePoint> envelope =
        m_verdict.outcome == PackageOutcome::NotVerification ? std::vector<EnvelopePoint>{}
                                                             : LimitEnvelope(m_limits, std::pow(10.0, lo), std::pow(10.0, hi));
    for (const EnvelopePoint& p : envelope) eMax = std::max(eMax, p.limit);
    if (!(eMax > 0.0)) eMax = 1.0;
    const double step = niceStep(2 * eMax * 1.1, 8);
    const double eTop = std::ceil(eMax * 1.1 / step) * step;

    // Plot area: room on the left for the error ticks, below for the flow
    // ticks and the axis title, above for the legend.
    const double line = metrics.height();
    const double left = metrics.horizontalAdvance(QStringLiteral("-888.88")) + 2.5 * line;
    const QRectF plot(area.left() + left, area.top() + 1.6 * line, area.width() - left - line,
                      area.height() - 4.2 * line);
    const auto x = [&](double q) { return plot.left() + (std::log10(q) - lo) / (hi - lo) * plot.width(); };
    const auto y = [&](double e) { return plot.top() + (eTop - e) / (2 * eTop) * plot.height(); };

    QPen gridPen(kGridColour, 0.5 * unit);
    QPen textPen(Qt::black, 0.8 * unit);
    painter.setRenderHint(QPainter::Antialiasing);

    // Error grid and ticks.
    for (double e = -eTop; e <= eTop + step / 2; e += step) {
        const double v = std::fabs(e) < step / 1000 ? 0.0 : e;
        painter.setPen(v == 0.0 ? QPen(Qt::darkGray, 0.8 * unit) : gridPen);
        painter.drawLine(QPointF(plot.left(), y(v)), QPointF(plot.right(), y(v)));
        painter.setPen(textPen);
        const QString text = number(v);
        painter.drawText(QPointF(plot.left() - metrics.horizontalAdvance(text) - 0.3 * line, y(v) + metrics.ascent() / 2.5),
                         text);
    }
    // Flow decades, with the 2 and 5 of each decade when few decades show.
    const bool fine = hi - lo <= 3.0;
    for (int d = static_cast<int>(std::floor(lo)); d <= static_cast<int>(std::ceil(hi)); ++d) {
        for (double m : {1.0, 2.0, 5.0}) {
            if (m != 1.0 && !fine) continue;
            const double q = m * std::pow(10.0, d);
            const double l = std::log10(q);
            if (l < lo || l > hi) continue;
            painter.setPen(gridPen);
            painter.drawLine(QPointF(x(q), plot.top()), QPointF(x(q), plot.bottom()));
            painter.setPen(textPen);
            const QString text = number(q);
            painter.drawText(QPointF(x(q) - metrics.horizontalAdvance(text) / 2, plot.bottom() + line), text);
        }
    }
    painter.setPen(textPen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(plot);
    const QString xTitle = QStringLiteral("Расход (м3/ч)");
    painter.drawText(QPointF(plot.center().x() - metrics.horizontalAdvance(xTitle) / 2, plot.bottom() + 2.2 * line), xTitle);
    painter.save();
    painter.translate(area.left() + line, plot.center().y());
    painter.rotate(-90);
    const QString yTitle = QStringLiteral("Относительная погрешность расхода (%)");
    painter.drawText(QPointF(-metrics.horizontalAdvance(yTitle) / 2, 0), yTitle);
    painter.restore();

    painter.save();
    painter.setClipRect(plot);
    // The envelope: a dashed step line at +δ and at −δ.
    if (!envelope.empty()) {
        QPen pen(kEnvelopeColour, 1.0 * unit, Qt::DashLine);
        painter.setPen(pen);
        for (double sign : {1.0, -1.0}) {
            QPainterPath path;
            path.moveTo(x(envelope.front().q), y(sign * envelope.front().limit));
            // The runs meet (each zone ends where the next begins), so one
            // line through the corners draws the steps.
            for (std::size_t i = 1; i < envelope.size(); ++i) path.lineTo(x(envelope[i].q), y(sign * envelope[i].limit));
            painter.drawPath(path);
        }
    }
    // The points: dV under the flow errors.
    const double r = 2.0 * unit;
    for (const EntryVerdict& e : m_verdict.entries) {
        if (!(e.q > 0.0) || !std::isfinite(e.q) || !std::isfinite(e.dV)) continue;
        const QColor colour = e.dVFails ? kFailColour : kVolumeColour;
        painter.setPen(QPen(colour, 0.8 * unit));
        painter.setBrush(e.dVFails ? QBrush(colour) : QBrush(Qt::NoBrush));
        painter.drawRect(QRectF(x(e.q) - r, y(e.dV) - r, 2 * r, 2 * r));
    }
    for (const EntryVerdict& e : m_verdict.entries) {
        if (!(e.q > 0.0) || !std::isfinite(e.q) || !std::isfinite(e.error)) continue;
        const bool fails = e.errorFails || e.outcome == EntryOutcome::OutOfZones;
        const QColor colour = fails ? kFailColour : kFlowColour;
        painter.setPen(QPen(colour, 0.8 * unit));
        painter.setBrush(QBrush(colour));
        painter.drawEllipse(QPointF(x(e.q), y(e.error)), r, r);
    }
    painter.restore();

    // Legend above the plot.
    double lx = plot.left();
    const double ly = area.top() + 0.8 * line;
    const auto legend = [&](const QString& text, auto&& marker) {
        marker(QPointF(lx + r, ly - metrics.ascent() / 3));
        lx += 3 * r;
        painter.setPen(textPen);
        painter.drawText(QPointF(lx, ly), text);
        lx += metrics.horizontalAdvance(text) + 1.5 * line;
    };
    legend(QStringLiteral("погрешность расхода"), [&](QPointF c) {
        painter.setPen(QPen(kFlowColour, 0.8 * unit));
        painter.setBrush(kFlowColour);
        painter.drawEllipse(c, r, r);
    });
    bool anyVolume = false;
    for (const EntryVerdict& e : m_verdict.entries) anyVolume = anyVolume || std::isfinite(e.dV);
    if (anyVolume)
        legend(QStringLiteral("погрешность объёма dV"), [&](QPointF c) {
            painter.setPen(QPen(kVolumeColour, 0.8 * unit));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r));
        });
    if (!envelope.empty())
        legend(QStringLiteral("пределы ±δ"), [&](QPointF c) {
            painter.setPen(QPen(kEnvelopeColour, 1.0 * unit, Qt::DashLine));
            painter.drawLine(QPointF(c.x() - r, c.y()), QPointF(c.x() + 2 * r, c.y()));
        });
    if (!m_verdict.failed.empty())
        legend(QStringLiteral("вне пределов"), [&](QPointF c) {
            painter.setPen(QPen(kFailColour, 0.8 * unit));
            painter.setBrush(kFailColour);
            painter.drawEllipse(c, r, r);
        });
    if (!hasPoints) {
        painter.setPen(textPen);
        const QString text = QStringLiteral("нет точек");
        painter.drawText(QPointF(plot.center().x() - metrics.horizontalAdvance(text) / 2, plot.center().y()), text);
    }
    painter.restore();
}

}  // namespace pdf
