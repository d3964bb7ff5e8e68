#pragma once

#include "document/PackageBase.h"

// Shared computations of the packages.
class PackageHelper : public PackageBase {
public:
    using PackageBase::PackageBase;

    // Water density at t °C in kg/l. Throws MathError when not finite.
    static double waterDensity(double t);
    // Factor that reduces a value at temperature t to the reference
    // temperature refTemp. Throws MathError when not finite.
    static double reductionFactor(double t, double refTemp);
};
