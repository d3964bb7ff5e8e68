#pragma once

// What the readings chart draws of the store, without a toolkit. The chart
// takes five samples a second for hours, so it draws a reduced copy: while
// the samples in view outnumber the plot's budget of points, each bucket of
// k samples (k a power of two) is drawn as its lowest and its highest value,
// in the order of their X. Only the buckets of the view and one view's width
// on either side are held; while they reach the store's end, a new sample
// extends them (or changes the points of the last bucket) instead of a
// fresh drawing.

#include <cstddef>
#include <vector>

namespace rv {

struct ReducedPoint {
    double x = 0;
    double y = 0;
    bool operator==(const ReducedPoint&) const = default;
};

// The lowest and the highest of the values taken since the last clear.
class ValueExtremes {
public:
    void take(double value);
    void clear() { m_empty = true; }
    bool empty() const { return m_empty; }
    double min() const { return m_min; }
    double max() const { return m_max; }

private:
    bool m_empty = true;
    double m_min = 0;
    double m_max = 0;
};

class ReadingsReduction {
public:
    // How the drawn points change when a sample is appended to the store.
    enum class Change {
        None,     // the held buckets end before the store's end: nothing drawn
        Append,   // the sample starts a bucket: its points follow the others
        Replace,  // the sample joins the last bucket: its points change in place
    };

    // No buckets held: the series are drawn empty.
    void clear();
    bool empty() const { return m_empty; }

    // Chooses the buckets for `count` samples shown from X = viewMin to
    // viewMax (cut to the samples) with at most `budget` buckets in view:
    // the smallest bucket size that keeps within the budget, and the buckets
    // of the view with one view's width on either side. Nothing with no
    // samples.
    void plan(std::size_t count, double viewMin, double viewMax, int budget);

    // Whether the held buckets still suit that view: they cover it (or
    // reach the store's end where it runs past), their size fits the samples
    // in view (neither more than twice the budget nor, for buckets of more
    // than one sample, less than a quarter of it), and they are not many
    // more than the view needs.
    bool fits(std::size_t count, double viewMin, double viewMax, int budget) const;

    // The points of the held buckets for one series (the raw or the
    // filtered values of the store).
    std::vector<ReducedPoint> points(const std::vector<double>& values) const;

    // Sample `index` was appended to the store; the held buckets follow it
    // while they reach the store's end.
    Change extend(std::size_t index);

    // The points of the bucket that holds sample `index`: its sample when a
    // bucket holds one (returns 1), else its lowest and highest value in the
    // order of their X (returns 2).
    int bucketPoints(const std::vector<double>& values, std::size_t index, ReducedPoint out[2]) const;
    // Where the points of the bucket that holds sample `index` start among
    // the drawn points.
    std::size_t firstPointOf(std::size_t index) const;

    int bucketSize() const { return static_cast<int>(m_k); }
    std::size_t firstBucket() const { return m_firstBucket; }
    std::size_t lastBucket() const { return m_lastBucket; }
    // The last bucket held is the store's last one.
    bool openTail() const { return m_openTail; }

private:
    std::size_t m_k = 1;
    std::size_t m_firstBucket = 0;
    std::size_t m_lastBucket = 0;
    bool m_openTail = true;
    bool m_empty = true;
};

}  // namespace rv
