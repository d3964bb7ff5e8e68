#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "PackageFixture.h"
#include "common/MathError.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(WaterDensity, TakesTheFirstRowWhoseBoundIsNotBelowT) {
    EXPECT_NEAR(PackageHelper::waterDensity(20.0), 0.99828335329, 1e-12);
    EXPECT_NEAR(PackageHelper::waterDensity(25.0), 0.99699487526, 1e-12);
    // Above 150 °C and for a t that is not a number the last row serves.
    EXPECT_NEAR(PackageHelper::waterDensity(160.0), (-0.91768449 * 160 + 0.054541 + 1054.4693672) * 0.001, 1e-12);
    EXPECT_THROW(PackageHelper::waterDensity(kNaN), MathError);
}

// A bound belongs to the row below it, and a t just above it starts the
// next row: each row is a straight line in t, and no two have one slope.
TEST(WaterDensity, EachBoundBelongsToTheRowBelowIt) {
    const auto d = [](double t) { return PackageHelper::waterDensity(t); };
    for (int bound = 10; bound <= 140; bound += 10) {
        SCOPED_TRACE(bound);
        const double b = bound, above = std::nextafter(b, 200.0);
        const double below = d(b) - d(b - 1), before = d(b - 1) - d(b - 2);
        const double start = d(b + 1) - d(above), after = d(b + 2) - d(b + 1);
        EXPECT_NEAR(below, before, 1e-12);
        EXPECT_NEAR(start, after, 1e-12);
        EXPECT_GT(std::abs(below - after), 1e-6);
    }
}

TEST(ReductionFactor, IsOneAtTheReferenceTemperature) {
    EXPECT_DOUBLE_EQ(PackageHelper::reductionFactor(20.0, 20.0), 1.0);
    EXPECT_NEAR(PackageHelper::reductionFactor(30.0, 20.0), 1.25395797, 1e-8);
    EXPECT_NEAR(PackageHelper::reductionFactor(10.0, 20.0), 0.76789795, 1e-8);
    EXPECT_NEAR(PackageHelper::reductionFactor(0.0, 20.0), 0.55494680, 1e-8);
}

struct ReferenceCase {
    const char* name;
    Method method;
    double t, massRef, volRef, timeRef, flowRef;
    double wantMass, wantVol, wantFlow;
};

TEST(Recalc, ReferenceQuantitiesByMethodWithFallbacks) {
    const ReferenceCase cases[] = {
        {"volume", Method::Volume, 20, 0, 10, 36, 0, 9.9828335329, 10, 1.0},
        {"volume, no time", Method::Volume, 20, 0, 10, 0, 5, 9.9828335329, 10, 0.0},
        {"reference", Method::Reference, 20, 0, 0, 100, 3.6, 99.828335329, 100, 3.6},
        {"mass", Method::Mass, 20, 99.828335329, 0, 360, 0, 99.828335329, 100, 1.0},
        {"mass, t not a number", Method::Mass, kNaN, 50, 7, 10, 9, 50, 0, 0},
    };
    for (const auto& c : cases) {
        auto p = makePackage<EprEntry>(c.method);
        p->addEntry();
        auto& e = p->entries[0];
        e.t = c.t;
        e.massRef = c.massRef;
        e.volRef = c.volRef;
        e.timeRef = c.timeRef;
        e.flowRef = c.flowRef;
        p->recalcEntry(0);
        EXPECT_NEAR(e.massRef, c.wantMass, 1e-9) << c.name;
        EXPECT_NEAR(e.volRef, c.wantVol, 1e-9) << c.name;
        EXPECT_NEAR(e.flowRef, c.wantFlow, 1e-12) << c.name;
    }
}

TEST(Recalc, PulseOutputVolumeAndError) {
    auto p = makePackage<DornEntry>(Method::Volume, PackageType::Verification);
    p->document().options.pulseWeight = 0.001;
    p->addEntry();
    auto& e = p->entries[0];
    e.volRef = 100;
    e.timeRef = 60;
    e.pulses2 = 101;
    p->recalcEntry(0);
    EXPECT_DOUBLE_EQ(e.volMeas, 101.0);
    EXPECT_NEAR(e.volErr, 1.0, 1e-12);
    e.pulses2 = 0;
    p->recalcEntry(0);
    EXPECT_EQ(e.volMeas, 0.0);
    EXPECT_EQ(e.volErr, -100.0);
    e.volRef = 0;
    p->recalcEntry(0);
    EXPECT_EQ(e.volErr, 100.0);  // fallback of a division by zero
}

TEST(Recalc, FrequencyAndReductionOfDornAndKelt) {
    auto p = makePackage<KeltEntry>();
    p->addEntry();
    auto& e = p->entries[0];
    e.volRef = 10;
    e.timeRef = 36;
    e.pulses1 = 101;
    e.time1 = 10;
    p->recalcEntry(0);
    EXPECT_DOUBLE_EQ(e.freq, 10.0);
    EXPECT_DOUBLE_EQ(e.freqRed, 10.0);  // t equals refTemp
    EXPECT_DOUBLE_EQ(e.flowRefRed, e.flowRef);

    e.t = 30;
    p->recalcEntry(0);
    EXPECT_NEAR(e.freqRed, 12.5395797, 1e-6);
    EXPECT_NEAR(e.flowRefRed, 1.25395797, 1e-7);

    e.pulses1 = 1;
    p->recalcEntry(0);
    EXPECT_EQ(e.freq, 0.0);
    e.pulses1 = 5;
    e.time1 = 0;
    p->recalcEntry(0);
    EXPECT_EQ(e.freq, 0.0);

    // A reduction that cannot be computed zeroes the reference flow too.
    e.time1 = 10;
    e.t = 5.542578e-05 / 2.28661e-07;  // the denominator of K vanishes
    p->recalcEntry(0);
    EXPECT_EQ(e.freq, 0.0);
    EXPECT_EQ(e.flowRef, 0.0);
    EXPECT_EQ(e.freqRed, 0.0);
    EXPECT_EQ(e.flowRefRed, 0.0);
}

TEST(Recalc, NoLinesMeansNoMeasuredFlow) {
    auto p = makePackage<KeltEntry>();
    p->addEntry();
    auto& e = p->entries[0];
    e.line = 3;
    e.flowMeas = 5;
    p->recalcEntry(0);
    EXPECT_EQ(e.line, 0);
    EXPECT_EQ(e.flowMeas, 0.0);
    EXPECT_EQ(e.flowErr, 100.0);
}

TEST(Recalc, RvLineChoiceLeavesTheLastLineUnbounded) {
    auto p = makePackage<EprEntry>();
    p->document().currentLines = {{0.01, 0.5, 500}, {0.02, -4.5, 900}};
    struct Case {
        double code;
        int line;
        double flow;
    };
    const Case cases[] = {
        {100, 1, 1.5}, {500, 1, 5.5}, {500.0001, 2, 0.02 * 500.0001 - 4.5}, {2000, 2, 35.5},
    };
    for (const auto& c : cases) {
        p->addEntry();
        auto& e = p->entries.back();
        e.volRef = 10;
        e.timeRef = 36;  // flowRef 1.0
        e.code = c.code;
        p->recalcEntry(p->entryCount() - 1);
        EXPECT_EQ(e.line, c.line) << c.code;
        EXPECT_NEAR(e.flowMeas, c.flow, 1e-9) << c.code;
        EXPECT_NEAR(e.flowErr, (c.flow - 1.0) * 100.0, 1e-7) << c.code;
    }
}

TEST(Recalc, KeltUsesReducedFrequencyForTheLineAndPlainFrequencyForTheFlow) {
    auto p = makePackage<KeltEntry>();
    p->document().currentLines = {{0.1, 0.2, 11.0}, {0.3, -2.0, 32768}};
    p->addEntry();
    auto& e = p->entries[0];
    e.t = 30;
    e.volRef = 10;
    e.timeRef = 36;
    e.pulses1 = 101;
    e.time1 = 10;  // freq 10, freqRed 12.54: beyond the first bound
    p->recalcEntry(0);
    const double k = PackageHelper::reductionFactor(30, 20);
    EXPECT_EQ(e.line, 2);
    EXPECT_NEAR(e.flowMeas, 0.3 * 10 - 2.0 / k, 1e-12);
}

TEST(Recalc, DornAlwaysUsesTheFirstLine) {
    auto p = makePackage<DornEntry>();
    p->document().currentLines = {{0.1, 0.2, 1.0}, {5.0, 5.0, 2.0}};
    p->addEntry();
    auto& e = p->entries[0];
    e.volRef = 10;
    e.timeRef = 36;
    e.pulses1 = 101;
    e.time1 = 10;
    p->recalcEntry(0);
    EXPECT_NEAR(e.flowMeas, 1.2, 1e-12);
    EXPECT_NEAR(e.flowErr, 20.0, 1e-9);
}

TEST(Recalc, RecalcAllUsesTheSharedOptionsOfItsDocument) {
    auto state = std::make_shared<DocumentState>();
    state->options.resetToDefaults();
    auto a = makePackage<KeltEntry>(Method::Volume, PackageType::Calibration, state);
    auto b = makePackage<KeltEntry>();  // another document
    for (auto* p : {a.get(), b.get()}) {
        p->addEntry();
        p->entries[0].t = 30;
        p->entries[0].pulses1 = 11;
        p->entries[0].time1 = 1;
    }
    state->options.refTemp = 30;
    a->recalcAll();
    b->recalcAll();
    EXPECT_DOUBLE_EQ(a->entries[0].freqRed, 10.0);
    EXPECT_NEAR(b->entries[0].freqRed, 12.5395797, 1e-6);
}

}  // namespace
