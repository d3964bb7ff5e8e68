#include "approximation/Fit.h"

#include "common/MathError.h"

namespace approximation {

LinearSums::Terms LinearSums::terms(double x, double y) {
    const double c = checked(1.0 / y);
    const double d = checked(x * c);
    return {c, d, c * c, c * d, d * d};
}

void LinearSums::add(double x, double y) {
    const Terms t = terms(x, y);
    m_t = checked(m_t + t.c);
    m_m = checked(m_m + t.d);
    m_l = checked(m_l + t.cc);
    m_o = checked(m_o + t.cd);
    m_h = checked(m_h + t.dd);
}

void LinearSums::check() const {
    checked(m_t);
    checked(m_m);
    checked(m_l);
    checked(m_o);
    checked(m_h);
}

files::Line LinearSums::line(double upper) const {
    // Normal equations of Σ(a·d + b·c − 1)²: a·H + b·O = M, a·O + b·L = T.
    const double u = checked(m_o * m_o - m_h * m_l);
    const double a = checked((m_t * m_o - m_m * m_l) / u);
    const double b = checked((m_o * m_m - m_h * m_t) / u);
    return {a, b, upper};
}

void ProportionalSums::add(double x, double y) {
    const double u = checked(x / y);
    m_u = checked(m_u + u);
    m_uu = checked(m_uu + u * u);
}

files::Line ProportionalSums::line(double upper) const { return {checked(m_u / m_uu), 0.0, upper}; }

}  // namespace approximation
