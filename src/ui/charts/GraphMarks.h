#pragma once

// The marks of the graphs window, drawn over the plot area as framed, opaque
// boxes (the chart's own point labels have no background or frame): the
// value of every point of the marked series just above the point, and the
// text of each point of the scatter layer just below it on a pale yellow
// box. What to mark is asked of the window at every paint.

#include <QGraphicsItem>
#include <QList>
#include <QStringList>

#include <functional>

class QChart;
class QLineSeries;
class QScatterSeries;
class QXYSeries;

class GraphMarks : public QGraphicsItem {
public:
    struct Marked {
        // The series whose point values are marked (the visible ones while
        // "Показывать значения" is checked).
        QList<QLineSeries*> valueSeries;
        // The scatter layer while it is shown, and its texts by point.
        QScatterSeries* scatter = nullptr;
        QStringList scatterTexts;
    };

    GraphMarks(QChart* chart, std::function<Marked()> marked);

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override;
    // Paints again after the plot area or the marked points changed.
    void refresh();

private:
    // Where `value` of `series` lies in the chart; false when that is far
    // outside the plot area.
    bool position(const QPointF& value, QXYSeries* series, QPointF& at) const;
    // A box with `text` centred over `at`, its lower edge `offset` below
    // the point (above it when negative).
    static void drawBox(QPainter& painter, const QPointF& at, const QString& text, const QFont& font,
                        const QColor& background, qreal offset);

    QChart* m_chart;
    std::function<Marked()> m_marked;
};
