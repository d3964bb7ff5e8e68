#pragma once

// The approximation and chart operations of a package. They live here, over
// the document's packages, so that the document never depends on the fits.

#include "approximation/Chart.h"

class PackageBase;

namespace approximation {

// Fits the characteristic to the entries of a calibration package and
// leaves it in the document's `currentLines`; a verification package is left
// alone. Kelt and RV packages are sorted into sections first (the document's
// `sections` and `splitSections` are rebuilt), Dorn packages get exactly one
// line. Any failure empties `currentLines` and is passed on; a failed fit
// throws MathError.
void approximate(PackageBase& package);

// Fills one chart series from the entries: kind 0 carries the flow errors,
// kind 1 the pulse output's volume errors and " (имп. выход)" in the title.
// Any other kind leaves the points' errors as they were.
void chartSeries(const PackageBase& package, SPILT_STRUCT& series, int kind);

}  // namespace approximation
