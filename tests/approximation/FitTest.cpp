// Relative least squares on small data computed by hand.

#include <gtest/gtest.h>

#include <vector>

#include "approximation/Fit.h"
#include "common/MathError.h"

namespace {

using approximation::LinearSums;
using approximation::ProportionalSums;

struct XY {
    double x, y;
};

template <typename Sums>
files::Line fit(const std::vector<XY>& points, double upper = 0.0) {
    Sums sums;
    for (const XY& p : points) sums.add(p.x, p.y);
    return sums.line(upper);
}

TEST(ProportionalFit, ThroughThreePointsOnALine) {
    // Every u = x / y = 0.5: a = 1.5 / 0.75 = 2.
    const files::Line line = fit<ProportionalSums>({{1, 2}, {2, 4}, {3, 6}}, 7.0);
    EXPECT_DOUBLE_EQ(line.a, 2.0);
    EXPECT_EQ(line.b, 0.0);
    EXPECT_EQ(line.upper, 7.0);
}

TEST(ProportionalFit, MinimisesRelativeDeviations) {
    // u = 1, 1, 2: a = Σu / Σu² = 4 / 6. A plain least-squares slope through
    // the origin would be Σxy / Σx² = 13 / 21.
    EXPECT_DOUBLE_EQ(fit<ProportionalSums>({{1, 1}, {2, 2}, {4, 2}}).a, 2.0 / 3.0);
}

TEST(LinearFit, PointsOnALineGiveThatLine) {
    const files::Line line = fit<LinearSums>({{1, 3}, {2, 5}, {4, 9}, {10, 21}}, 10.0);
    EXPECT_NEAR(line.a, 2.0, 1e-12);
    EXPECT_NEAR(line.b, 1.0, 1e-12);
    EXPECT_EQ(line.upper, 10.0);
}

TEST(LinearFit, MinimisesRelativeDeviations) {
    // c = 1/y = 1, .5, .5 and d = x/y = 1, 1, 2: T = 2, M = 4, L = 1.5,
    // O = 2.5, H = 6, U = O² − H·L = −2.75; a = (T·O − M·L) / U = 4/11,
    // b = (O·M − H·T) / U = 8/11. The relative residuals 1/11, −3/11, 1/11
    // are orthogonal to c and d. Plain least squares would give slope 2/7.
    const files::Line line = fit<LinearSums>({{1, 1}, {2, 2}, {4, 2}});
    EXPECT_NEAR(line.a, 4.0 / 11.0, 1e-15);
    EXPECT_NEAR(line.b, 8.0 / 11.0, 1e-15);
}

TEST(LinearFit, TwoPointsAreMetExactly) {
    const files::Line line = fit<LinearSums>({{100, 1.5}, {300, 2.5}});
    EXPECT_NEAR(line.a * 100 + line.b, 1.5, 1e-12);
    EXPECT_NEAR(line.a * 300 + line.b, 2.5, 1e-12);
}

struct BadData {
    const char* why;
    std::vector<XY> points;
};

TEST(LinearFit, DataThatFixNoLineThrowMathError) {
    const BadData cases[] = {
        {"zero reference flow", {{1, 1}, {2, 0}, {3, 3}}},
        {"no points: U = 0", {}},
        {"one point: U = 0", {{2, 4}}},
        {"one argument twice: U = 0", {{2, 4}, {2, 4}}},
    };
    for (const BadData& c : cases) EXPECT_THROW(fit<LinearSums>(c.points), MathError) << c.why;
}

TEST(ProportionalFit, DataThatFixNoLineThrowMathError) {
    const BadData cases[] = {
        {"zero reference flow", {{1, 1}, {2, 0}}},
        {"no points: Σu² = 0", {}},
        {"only zero arguments: Σu² = 0", {{0, 1}, {0, 2}}},
    };
    for (const BadData& c : cases) EXPECT_THROW(fit<ProportionalSums>(c.points), MathError) << c.why;
}

}  // namespace
