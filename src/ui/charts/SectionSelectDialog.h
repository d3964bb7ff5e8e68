#pragma once

#include <QDialog>
#include <QStringList>

#include "ChartWindows.h"
#include "approximation/Commands.h"

class QChart;
class QChartView;
class QGraphicsSimpleTextItem;
class QLogValueAxis;
class QScatterSeries;
class QValueAxis;

// "Выбор сечений": the points of a series as deviation (%) over reference
// flow on a logarithmic axis, the section numbers along the top. A click on
// a point toggles the mark of every point of its section; marked points
// show a green ring. "Продолжить" confirms, "Отмена" cancels.
//
// The set points command hands its chooser to the approximation core:
//     approximation::runSetPoints(doc, package,
//         [&](approximation::SectionSelection& s) { return dialog.choose(s); });
class SectionSelectDialog : public SectionChooser {
    Q_OBJECT
public:
    explicit SectionSelectDialog(QWidget* parent = nullptr);

    // SetSeries, then the dialog modally; true when confirmed. The selection
    // is released afterwards.
    bool choose(approximation::SectionSelection& selection) override;

    // Remembers the selection (its marks were cleared when it was made) and
    // draws it. Null releases it.
    void SetSeries(approximation::SectionSelection* selection);
    // A click on the point at position k of the front series.
    void clickPoint(int k);

    QChart* chart() const { return m_chart; }
    QScatterSeries* seriesFront() const { return m_front; }
    QScatterSeries* seriesBack() const { return m_back; }
    // The labels of the front series' points: their section numbers.
    const QStringList& pointLabels() const { return m_labels; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void draw();
    void frontClicked(const QPointF& point);
    void placeLabels();

    approximation::SectionSelection* m_selection = nullptr;
    QChart* m_chart = nullptr;
    QChartView* m_view = nullptr;
    QScatterSeries* m_front = nullptr;
    QScatterSeries* m_back = nullptr;
    QLogValueAxis* m_bottom = nullptr;
    QLogValueAxis* m_top = nullptr;
    QValueAxis* m_left = nullptr;
    QStringList m_labels;
    std::vector<QGraphicsSimpleTextItem*> m_labelItems;
};
