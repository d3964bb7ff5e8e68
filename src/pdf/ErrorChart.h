#pragma once

#include <QRectF>

#include "document/Limits.h"
#include "document/Verdict.h"

class QPainter;

namespace pdf {

// The error graph of a package painted with plain QPainter calls (vector
// output on any device): each entry's flow error (circles) and, where the
// package shows it, its volume error dV (squares) against the reference flow
// on a logarithmic axis, failing points in red, and for a verification
// package with limits the envelope ±δ as a dashed step line.
class ErrorChart {
public:
    ErrorChart(const PackageVerdict& verdict, const Limits& limits);
    // Paints into `area`; `unit` is the size of one typographic point in
    // the device's pixels (line widths, marker and text sizes follow it).
    void paint(QPainter& painter, const QRectF& area, double unit) const;

private:
    const PackageVerdict& m_verdict;
    const Limits& m_limits;
};

}  // namespace pdf
