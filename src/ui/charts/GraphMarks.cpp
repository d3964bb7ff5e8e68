#include "GraphMarks.h"

#include <QApplication>
#include <QChart>
#include <QLineSeries>
#include <QPainter>
#include <QScatterSeries>

#include <cmath>
#include <utility>

#include "approximation/GraphModel.h"

namespace {

const QColor kScatterMarkBackground(255, 255, 170);

}  // namespace

GraphMarks::GraphMarks(QChart* chart, std::function<Marked()> marked)
    : QGraphicsItem(chart), m_chart(chart), m_marked(std::move(marked)) {
    setZValue(1000);
    setAcceptedMouseButtons(Qt::NoButton);
}

QRectF GraphMarks::boundingRect() const { return m_chart->rect(); }

void GraphMarks::refresh() {
    prepareGeometryChange();
    update();
}

bool GraphMarks::position(const QPointF& value, QXYSeries* series, QPointF& at) const {
    at = m_chart->mapToPosition(value, series);
    return std::isfinite(at.x()) && std::isfinite(at.y()) &&
           m_chart->plotArea().adjusted(-60, -30, 60, 30).contains(at);
}

void GraphMarks::drawBox(QPainter& painter, const QPointF& at, const QString& text, const QFont& font,
                         const QColor& background, qreal offset) {
    const QFontMetricsF metrics(font);
    const QSizeF size(metrics.horizontalAdvance(text) + 6, metrics.height() + 2);
    const qreal bottom = at.y() + offset;
    const QRectF box(at.x() - size.width() / 2, bottom - size.height(), size.width(), size.height());
    painter.setFont(font);
    painter.setPen(QPen(Qt::black));
    painter.setBrush(background);
    painter.drawRect(box);
    painter.drawText(box, Qt::AlignCenter, text);
}

void GraphMarks::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    const Marked marked = m_marked();
    painter->save();
    painter->setClipRect(m_chart->plotArea().adjusted(-1, -1, 1, 1));
    const QFont valueFont = QApplication::font();
    for (QLineSeries* series : marked.valueSeries) {
        const qreal gap = -(series->markerSize() / 2 + 4);
        for (const QPointF& p : series->points()) {
            QPointF at;
            if (position(p, series, at))
                drawBox(*painter, at, QString::fromStdString(approximation::valueMarkText(p.y())), valueFont,
                        Qt::white, gap);
        }
    }
    if (marked.scatter) {
        QFont font = QApplication::font();
        font.setPointSize(10);
        font.setBold(true);
        const QList<QPointF> points = marked.scatter->points();
        for (int i = 0; i < points.size() && i < marked.scatterTexts.size(); ++i) {
            QPointF at;
            if (position(points[i], marked.scatter, at))
                drawBox(*painter, at, marked.scatterTexts[i], font, kScatterMarkBackground, 5);
        }
    }
    painter->restore();
}
