#pragma once

#include "common/Line.h"

namespace approximation {

// Relative least squares: the line minimises the sum of squared relative
// deviations from the reference flow, Σ((a·x + b − y) / y)², every point
// counted once. Sums are accumulated in double precision in the order the
// points are added, so a running sum snapshot after any point equals a fresh
// fit over the points so far. A zero reference flow, a sum that leaves the
// finite range, or points that fix no line throw MathError.

// Sums of the linear fit y ≈ a·x + b with c = 1/y, d = x·c.
class LinearSums {
public:
    void add(double x, double y);
    // The fitted line ending at `upper`.
    files::Line line(double upper) const;

private:
    double m_t = 0.0;  // Σc
    double m_m = 0.0;  // Σd
    double m_l = 0.0;  // Σc²
    double m_o = 0.0;  // Σc·d
    double m_h = 0.0;  // Σd²
};

// Sums of the proportional fit y ≈ a·x with u = x / y.
class ProportionalSums {
public:
    void add(double x, double y);
    // The fitted line {a, 0} ending at `upper`.
    files::Line line(double upper) const;

private:
    double m_u = 0.0;   // Σu
    double m_uu = 0.0;  // Σu²
};

}  // namespace approximation
