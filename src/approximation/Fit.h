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
    // What one point adds to each sum. A point that is added to many sums
    // (the automatic piecewise fit adds each point once per segment start)
    // has them computed once.
    struct Terms {
        double c, d, cc, cd, dd;
    };
    // The terms of a point; throws MathError as `add` does.
    static Terms terms(double x, double y);

    void add(double x, double y);
    // Adds a point's terms in the same order and with the same results as
    // `add`, without checking the sums on the way: a sum that left the finite
    // range stays outside it, so one `check` after a run of points finds it.
    void add(const Terms& t) {
        m_t += t.c;
        m_m += t.d;
        m_l += t.cc;
        m_o += t.cd;
        m_h += t.dd;
    }
    // Throws MathError when a sum is not finite.
    void check() const;
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
