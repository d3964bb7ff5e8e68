#include "devices/rv/ReadingsReduction.h"

#include <algorithm>

namespace rv {

void ValueExtremes::take(double value) {
    if (m_empty) {
        m_min = m_max = value;
        m_empty = false;
        return;
    }
    m_min = std::min(m_min, value);
    m_max = std::max(m_max, value);
}

void ReadingsReduction::clear() {
    m_k = 1;
    m_firstBucket = m_lastBucket = 0;
    m_openTail = true;
    m_empty = true;
}

void ReadingsReduction::plan(std::size_t count, double viewMin, double viewMax, int budget) {
    if (count == 0) {
        clear();
        return;
    }
    const double last = static_cast<double>(count - 1);
    const double lo = std::clamp(viewMin, 0.0, last);
    const double hi = std::clamp(viewMax, lo, last);
    const double span = hi - lo + 1;
    m_k = 1;
    while (span / static_cast<double>(m_k) > budget) m_k *= 2;
    const double from = std::max(0.0, lo - span);
    const double to = std::min(last, hi + span);
    m_firstBucket = static_cast<std::size_t>(from) / m_k;
    m_lastBucket = static_cast<std::size_t>(to) / m_k;
    m_openTail = m_lastBucket == (count - 1) / m_k;
    m_empty = false;
}

bool ReadingsReduction::fits(std::size_t count, double viewMin, double viewMax, int budget) const {
    if (count == 0) return m_empty;
    if (m_empty) return false;
    const double lo = std::max(0.0, viewMin);
    const double hi = std::min(static_cast<double>(count - 1), viewMax);
    const double k = static_cast<double>(m_k);
    const double inView = std::max(1.0, hi - lo + 1);
    if (inView / k > 2.0 * budget) return false;              // too many points in view
    if (m_k > 1 && inView / k < budget / 4.0) return false;   // too coarse for the view
    if (lo < static_cast<double>(m_firstBucket) * k && m_firstBucket > 0) return false;
    if (!m_openTail && hi >= static_cast<double>(m_lastBucket + 1) * k) return false;
    if (static_cast<double>(m_lastBucket - m_firstBucket + 1) > 3.0 * budget + inView / k) return false;
    return true;
}

int ReadingsReduction::bucketPoints(const std::vector<double>& values, std::size_t index,
                                    ReducedPoint out[2]) const {
    const std::size_t from = index / m_k * m_k;
    const std::size_t to = std::min(from + m_k, values.size());
    if (m_k == 1) {
        out[0] = {static_cast<double>(from), values[from]};
        return 1;
    }
    std::size_t lo = from, hi = from;
    for (std::size_t i = from + 1; i < to; ++i) {
        if (values[i] < values[lo]) lo = i;
        if (values[i] > values[hi]) hi = i;
    }
    const std::size_t a = std::min(lo, hi), b = std::max(lo, hi);
    out[0] = {static_cast<double>(a), values[a]};
    out[1] = {static_cast<double>(b), values[b]};
    return 2;
}

std::size_t ReadingsReduction::firstPointOf(std::size_t index) const {
    return (index / m_k - m_firstBucket) * (m_k > 1 ? 2 : 1);
}

std::vector<ReducedPoint> ReadingsReduction::points(const std::vector<double>& values) const {
    std::vector<ReducedPoint> out;
    if (m_empty) return out;
    out.reserve((m_lastBucket - m_firstBucket + 1) * (m_k > 1 ? 2 : 1));
    ReducedPoint p[2];
    for (std::size_t bucket = m_firstBucket; bucket <= m_lastBucket; ++bucket) {
        const int n = bucketPoints(values, bucket * m_k, p);
        out.insert(out.end(), p, p + n);
    }
    return out;
}

ReadingsReduction::Change ReadingsReduction::extend(std::size_t index) {
    if (m_empty || !m_openTail) return Change::None;
    const std::size_t bucket = index / m_k;
    const Change change = bucket == m_lastBucket ? Change::Replace : Change::Append;
    m_lastBucket = bucket;
    return change;
}

}  // namespace rv
