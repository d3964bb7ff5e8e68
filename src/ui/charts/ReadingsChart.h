#pragma once

// Chart1 of the RV page's "Показания" tab: the raw codes (Series1, blue) and
// their filtered copy (Series2, red) by X, with both axes scaled
// automatically until a zoom button sets a range.
//
// The chart takes five samples a second for hours. It never rebuilds its
// series per sample: a new sample is appended to the series in place, or
// replaces the last points of its bucket. The series hold the reduced copy
// of the store that rv::ReadingsReduction plans, with a budget of one bucket
// per two pixels of the plot's width. The store itself keeps every sample
// for "Анализ" and saving.
//
// The automatic X axis starts at 0 and ends a step past the last sample,
// the step about 2 % of the axis, so that a new sample remaps the drawing
// only when it passes the end; the automatic Y axis spans the lowest and
// the highest value of the series shown.

#include <QChartView>

#include <cstdint>

#include "devices/rv/Readings.h"
#include "devices/rv/ReadingsReduction.h"

class QLineSeries;
class QValueAxis;

class ReadingsChart : public QChartView {
    Q_OBJECT
public:
    explicit ReadingsChart(QWidget* parent = nullptr);

    // Shows the store's samples: new ones are appended; after a clear (a
    // new generation) or a large load the series are drawn afresh.
    void sync(const rv::ReadingsStore& store);

    // The zoom buttons: each sets its axis's range and switches its
    // automatic scaling off.
    void zoom(rv::ZoomButton button);
    // AutoADC, and a cleared chart: both axes scale automatically again.
    void setAutomatic();
    bool automaticX() const { return m_autoX; }
    bool automaticY() const { return m_autoY; }
    rv::AxisRange xRange() const;
    rv::AxisRange yRange() const;

    // Scrolling: every new sample moves both ends of the X axis up by 1.
    void setScrolling(bool on) { m_scrolling = on; }
    bool scrolling() const { return m_scrolling; }

    // SeriesEnabledClick: Series1 while "Код" is checked, Series2 while
    // "Фильтр" is.
    void setSeriesShown(bool raw, bool filtered);

    QLineSeries* series1() const { return m_raw; }
    QLineSeries* series2() const { return m_filtered; }
    // Samples per drawn bucket (1: every sample is a point).
    int bucketSize() const { return m_reduction.bucketSize(); }
    // The points the two series hold together.
    int drawnPoints() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void rebuild();
    void appendSample(std::size_t i);
    // The tail of one series after sample i joined the drawing.
    void extendSeries(QLineSeries* series, const std::vector<double>& values, std::size_t i,
                      rv::ReadingsReduction::Change change);
    // Sets the automatic axes; with `growOnly` the X axis changes only when
    // the samples have outgrown it.
    void applyAutomatic(bool growOnly = false);
    void setXRange(double min, double max);
    int budget() const;
    bool coverageFits() const;

    const rv::ReadingsStore* m_store = nullptr;
    std::uint64_t m_generation = ~std::uint64_t{0};
    std::size_t m_shown = 0;  // samples of the store the series have taken

    QLineSeries* m_raw = nullptr;
    QLineSeries* m_filtered = nullptr;
    QValueAxis* m_x = nullptr;
    QValueAxis* m_y = nullptr;
    bool m_autoX = true;
    bool m_autoY = true;
    bool m_scrolling = false;

    rv::ReadingsReduction m_reduction;
    // Value extremes of each series over all samples, for the automatic Y axis.
    rv::ValueExtremes m_rawExtremes;
    rv::ValueExtremes m_filteredExtremes;
};
