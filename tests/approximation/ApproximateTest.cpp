// The section pass and `approximate` of RV, Kelt and Dorn packages.

#include <gtest/gtest.h>

#include <cmath>

#include "Support.h"
#include "approximation/PackageApproximation.h"
#include "approximation/SectionApproximation.h"
#include "common/MathError.h"

namespace {

using namespace apprtest;

// ---- Section pass ----------------------------------------------------------

struct SectionCase {
    const char* name;
    std::vector<Point> points;  // (code, flow); the flow orders the entries
    std::vector<std::int32_t> wantNumbers;
    std::vector<Section> wantSections;
};

TEST(SectionPass, GroupsByScatterAgainstTheFirstEntry) {
    const SectionCase cases[] = {
        {"means and numbers",
         {{100, 1}, {103, 2}, {104.9, 3}, {106, 4}},
         {1, 1, 1, 2},
         {{0, 2, (100 + 103 + 104.9) / 3, 2.0}, {3, 3, 106, 4}}},
        {"exactly 5 % joins; measured from the first entry, not the mean",
         {{100, 1}, {105, 2}, {110, 3}},
         {1, 1, 2},
         {{0, 1, 102.5, 1.5}, {2, 2, 110, 3}}},
        {"a switched-off entry inside a section is skipped",
         {{100, 1}, {500, 2, true}, {101, 3}, {200, 4}},
         {1, 0, 1, 2},
         {{0, 2, 100.5, 2}, {3, 3, 200, 4}}},
        {"a switched-off entry after a section's last member belongs to its range",
         {{100, 1}, {101, 2}, {150, 3, true}, {200, 4}},
         {1, 1, 0, 2},
         {{0, 2, 100.5, 1.5}, {3, 3, 200, 4}}},
        {"switched-off entries before the first section",
         {{0, 0.5, true}, {100, 1}, {300, 2, true}},
         {0, 1, 0},
         {{1, 2, 100, 1}}},
        {"every entry switched off", {{100, 1, true}, {101, 2, true}}, {0, 0}, {}},
        {"a zero argument alone in the last section", {{100, 1}, {0, 2}}, {1, 2}, {{0, 0, 100, 1}, {1, 1, 0, 2}}},
    };
    for (const SectionCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto package = rvPackage(c.points, freshState());
        std::vector<Section> sections{{7, 7, 7, 7}};  // a stale list is replaced
        approximation::SectionPass(package->entries, 5.0, sections);
        EXPECT_EQ(sectionNumbers(*package), c.wantNumbers);
        ASSERT_EQ(sections.size(), c.wantSections.size());
        for (std::size_t i = 0; i < sections.size(); ++i) {
            EXPECT_EQ(sections[i].first, c.wantSections[i].first) << i;
            EXPECT_EQ(sections[i].last, c.wantSections[i].last) << i;
            EXPECT_NEAR(sections[i].x, c.wantSections[i].x, 1e-12) << i;
            EXPECT_NEAR(sections[i].y, c.wantSections[i].y, 1e-12) << i;
        }
    }
}

TEST(SectionPass, SortsByReferenceFlowAndForgetsOldNumbers) {
    auto package = rvPackage({{300, 3}, {100, 1}, {200, 2}}, freshState());
    for (auto& e : package->entries) e.section = 9;
    package->entries[1].off = 1;  // code 100
    std::vector<Section> sections;
    approximation::SectionPass(package->entries, 5.0, sections);
    EXPECT_EQ(package->entries[0].code, 100);
    EXPECT_EQ(package->entries[1].code, 200);
    EXPECT_EQ(package->entries[2].code, 300);
    EXPECT_EQ(sectionNumbers(*package), (std::vector<std::int32_t>{0, 1, 2}));
}

TEST(SectionPass, ZeroFirstArgumentFollowedByAnotherEntryIsAMathError) {
    auto package = rvPackage({{0, 1}, {100, 2}}, freshState());
    std::vector<Section> sections;
    EXPECT_THROW(approximation::SectionPass(package->entries, 5.0, sections), MathError);
    // Also when the next entry has the same zero argument (0 / 0).
    auto zeros = rvPackage({{0, 1}, {0, 2}}, freshState());
    EXPECT_THROW(approximation::SectionPass(zeros->entries, 5.0, sections), MathError);
}

TEST(SectionPass, KeltGroupsReducedFrequenciesAndSortsByReducedFlow) {
    auto state = freshState();
    // At 30 °C both values are multiplied by K(30) = 1.2539…, so the groups
    // are the same as without reduction; the means are reduced.
    auto package = frequencyPackage<KeltEntry>({{20, 2.0}, {10, 1.0}, {10.4, 1.1}}, state, 30.0);
    package->recalcAll();
    std::vector<Section> sections;
    approximation::SectionPass(package->entries, 5.0, sections);
    const double k = PackageHelper::reductionFactor(30.0, 20.0);
    ASSERT_EQ(sections.size(), 2u);
    EXPECT_NEAR(sections[0].x, 10.2 * k, 1e-9);
    EXPECT_NEAR(sections[0].y, 1.05 * k, 1e-12);
    EXPECT_EQ(sectionNumbers(*package), (std::vector<std::int32_t>{1, 1, 2}));
}

// ---- Linear and proportional functions -------------------------------------

TEST(Approximate, LinearOverEntriesOrOverSectionMeans) {
    // Two sections of three entries each, not on one line.
    const std::vector<Point> points = {{99, 1.0}, {100, 1.05}, {101, 0.98}, {300, 3.1}, {301, 2.9}, {302, 3.05}};
    for (int byEntries : {0, 1}) {
        SCOPED_TRACE(byEntries);
        auto state = freshState();
        state->options.function = static_cast<std::uint8_t>(ApprFunction::Linear);
        state->options.byEntries = static_cast<std::uint8_t>(byEntries);
        auto package = rvPackage(points, state);
        approximation::approximate(*package);
        ASSERT_EQ(state->sections.size(), 2u);
        ASSERT_EQ(state->currentLines.size(), 1u);
        const files::Line line = state->currentLines[0];
        EXPECT_DOUBLE_EQ(line.upper, state->sections[1].x);
        EXPECT_TRUE(state->splitSections.empty());
        if (byEntries == 0) {
            // Two points, met exactly.
            for (const Section& s : state->sections) EXPECT_NEAR(line.a * s.x + line.b, s.y, 1e-12);
        } else {
            // Six points: the relative residuals are orthogonal to 1/y and x/y.
            double rc = 0, rd = 0;
            for (const EprEntry& e : package->entries) {
                const double r = (line.a * e.code + line.b - e.flowRef) / e.flowRef;
                rc += r / e.flowRef;
                rd += r * e.code / e.flowRef;
            }
            EXPECT_NEAR(rc, 0.0, 1e-9);
            EXPECT_NEAR(rd, 0.0, 1e-7);
            EXPECT_GT(std::fabs(line.a * state->sections[0].x + line.b - state->sections[0].y), 1e-6);
        }
    }
}

TEST(Approximate, ProportionalLineAndClearedMarks) {
    auto state = freshState();
    state->options.function = static_cast<std::uint8_t>(ApprFunction::Proportional);
    auto package = rvPackage({{100, 2, false, true}, {200, 4}, {300, 6, false, true}}, state);
    state->splitSections = {5};
    approximation::approximate(*package);
    ASSERT_EQ(state->currentLines.size(), 1u);
    EXPECT_DOUBLE_EQ(state->currentLines[0].a, 0.02);
    EXPECT_EQ(state->currentLines[0].b, 0.0);
    EXPECT_EQ(state->currentLines[0].upper, 300);
    EXPECT_TRUE(state->splitSections.empty());
    EXPECT_EQ(marks(*package), (std::vector<std::uint8_t>{0, 0, 0}));
}

TEST(Approximate, FewerThanTwoSectionsGiveNoLinesWithoutError) {
    for (std::uint8_t function : {0, 1, 2}) {
        for (std::uint8_t manual : {0, 1}) {
            auto state = freshState();
            state->options.function = function;
            state->options.manual = manual;
            state->currentLines = {{1, 2, 3}};
            auto package = rvPackage({{100, 1}, {101, 1.01}, {400, 4, true}}, state);
            EXPECT_NO_THROW(approximation::approximate(*package));
            EXPECT_TRUE(state->currentLines.empty()) << int(function) << int(manual);
            EXPECT_EQ(state->sections.size(), 1u);
        }
    }
}

// ---- Piecewise, automatic ---------------------------------------------------

TEST(Approximate, AutomaticOneLineWhenEverythingFits) {
    auto state = freshState();
    state->options.manual = 0;
    std::vector<Point> points;
    for (int s = 1; s <= 5; ++s)
        for (double dx : {-1.0, 0.0, 1.0}) points.push_back({s * 100 + dx, 0.01 * (s * 100 + dx) + 0.2});
    auto package = rvPackage(points, state);
    approximation::approximate(*package);
    ASSERT_EQ(state->currentLines.size(), 1u);
    EXPECT_NEAR(state->currentLines[0].a, 0.01, 1e-12);
    EXPECT_NEAR(state->currentLines[0].b, 0.2, 1e-10);
    EXPECT_DOUBLE_EQ(state->currentLines[0].upper, state->sections[4].x);
    EXPECT_EQ(state->splitSections, (std::vector<std::int32_t>{4}));
    EXPECT_EQ(marks(*package), std::vector<std::uint8_t>(15, 0));
}

TEST(Approximate, AutomaticShortensSegmentsAndSharesTheBoundarySection) {
    for (int byEntries : {0, 1}) {
        SCOPED_TRACE(byEntries);
        auto state = freshState();
        state->options.manual = 0;
        state->options.byEntries = static_cast<std::uint8_t>(byEntries);
        auto package = rvPackage(brokenLine(), state);
        approximation::approximate(*package);
        // Sections 1–5 and 1–4 fail, 1–3 passes; then 3–5 passes.
        EXPECT_EQ(state->splitSections, (std::vector<std::int32_t>{2, 4}));
        ASSERT_EQ(state->currentLines.size(), 2u);
        EXPECT_NEAR(state->currentLines[0].a, 0.01, 1e-12);
        EXPECT_NEAR(state->currentLines[0].b, 0.0, 1e-10);
        EXPECT_EQ(state->currentLines[0].upper, 300);
        EXPECT_NEAR(state->currentLines[1].a, 0.02, 1e-12);
        EXPECT_NEAR(state->currentLines[1].b, -3.0, 1e-9);
        EXPECT_EQ(state->currentLines[1].upper, 500);
        std::vector<std::uint8_t> want(15, 0);
        want[6] = 1;  // the first entry of section 3
        EXPECT_EQ(marks(*package), want);
    }
}

TEST(Approximate, AutomaticTakesTwoSectionsWhateverTheirError) {
    auto state = freshState();
    state->options.manual = 0;
    state->options.maxAutoErr = 0.001;
    // Scattered entries: no line meets them within 0.001 %.
    auto package = rvPackage({{99, 1.02}, {101, 0.99}, {199, 2.03}, {201, 1.98}, {299, 3.1}, {301, 2.95},
                              {399, 4.2}, {401, 3.9}},
                             state);
    approximation::approximate(*package);
    EXPECT_EQ(state->splitSections, (std::vector<std::int32_t>{1, 2, 3}));
    ASSERT_EQ(state->currentLines.size(), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(state->currentLines[i].upper, state->sections[i + 1].x);
    EXPECT_EQ(marks(*package), (std::vector<std::uint8_t>{0, 0, 1, 0, 1, 0, 0, 0}));
}

// The automatic fit keeps each segment's sums from one pass per segment
// start; every line must still be bit for bit the fresh fit over its
// sections. Uneven flows and several entries per section make the order of
// the additions matter.
TEST(Approximate, AutomaticLinesAreExactlyFreshFitsOverTheirSegments) {
    for (int byEntries : {0, 1}) {
        SCOPED_TRACE(byEntries);
        auto state = freshState();
        state->options.manual = 0;
        state->options.byEntries = static_cast<std::uint8_t>(byEntries);
        state->options.maxAutoErr = 0.05;
        std::vector<Point> points;
        for (int s = 0; s < 40; ++s) {
            const double code = 100.0 * (s + 1);
            for (int i = 0; i < 3; ++i) {
                const double x = code * (1.0 + 0.001 * i);
                points.push_back({x, 0.01 * x * (1.0 + 0.3 / (1.0 + s)) * (1.0 + 0.0007 * ((s * 7 + i * 3) % 5))});
            }
        }
        auto package = rvPackage(points, state);
        approximation::approximate(*package);
        ASSERT_GT(state->currentLines.size(), 2u);
        approximation::SectionApproximation<EprEntry> fresh(package->entries, *state);
        int g = 0;
        for (std::size_t i = 0; i < state->currentLines.size(); ++i) {
            const int d = state->splitSections[i];
            const files::Line want = fresh.LinearFit(g, d);
            EXPECT_EQ(state->currentLines[i], want) << "segment " << g << " … " << d;
            g = d;
        }
    }
}

TEST(Approximate, AutomaticCheckIgnoresSwitchedOffEntries) {
    auto state = freshState();
    state->options.manual = 0;
    std::vector<Point> points;
    for (int s = 1; s <= 4; ++s) points.push_back({s * 100.0, s * 1.0});
    points.push_back({250, 10, true});  // far off the line, but switched off
    auto package = rvPackage(points, state);
    approximation::approximate(*package);
    EXPECT_EQ(state->currentLines.size(), 1u);
    EXPECT_EQ(state->splitSections, (std::vector<std::int32_t>{3}));
}

TEST(Approximate, KeltCheckComputesTheFlowAsTheRecalculationDoes) {
    // Away from the reference temperature the measured flow uses the plain
    // frequency and b / K(t); the check's values must match the
    // recalculation's for the accepted line.
    auto state = freshState();
    state->options.manual = 0;
    state->options.maxAutoErr = 5.0;
    auto package = frequencyPackage<KeltEntry>(
        {{10, 1.01}, {10.2, 1.03}, {20, 2.0}, {20.3, 2.05}, {40, 3.98}, {40.1, 4.02}}, state, 27.5);
    approximation::approximate(*package);
    ASSERT_EQ(state->currentLines.size(), 1u);
    ASSERT_NE(state->currentLines[0].b, 0.0);
    std::vector<double> checked;
    for (const KeltEntry& e : package->entries) checked.push_back(e.flowErr);
    package->recalcAll();
    for (std::size_t i = 0; i < checked.size(); ++i) EXPECT_DOUBLE_EQ(package->entries[i].flowErr, checked[i]) << i;
    EXPECT_LT(std::fabs(checked[0]), 5.0);
}

// ---- Piecewise, manual -------------------------------------------------------

TEST(Approximate, ManualSegmentsEndAtMarkedInnerSections) {
    for (int byEntries : {0, 1}) {
        SCOPED_TRACE(byEntries);
        auto state = freshState();
        state->options.byEntries = static_cast<std::uint8_t>(byEntries);
        std::vector<Point> points = brokenLine();
        points[1].point = true;   // section 1: no effect
        points[7].point = true;   // section 3, not its first entry
        points[13].point = true;  // section 5: no effect
        auto package = rvPackage(points, state);
        approximation::approximate(*package);
        EXPECT_EQ(state->splitSections, (std::vector<std::int32_t>{2, 4}));
        ASSERT_EQ(state->currentLines.size(), 2u);
        EXPECT_NEAR(state->currentLines[0].a, 0.01, 1e-12);
        EXPECT_EQ(state->currentLines[0].upper, 300);
        EXPECT_NEAR(state->currentLines[1].a, 0.02, 1e-12);
        EXPECT_NEAR(state->currentLines[1].b, -3.0, 1e-9);
        std::vector<std::uint8_t> want(15, 0);
        want[6] = 1;
        EXPECT_EQ(marks(*package), want);
    }
}

TEST(Approximate, ManualWithoutMarksFitsOneLine) {
    auto state = freshState();
    std::vector<Point> points = brokenLine();
    points[4].point = true;
    points[4].off = true;  // a mark on a switched-off entry does not count
    auto package = rvPackage(points, state);
    approximation::approximate(*package);
    EXPECT_EQ(state->splitSections, (std::vector<std::int32_t>{4}));
    ASSERT_EQ(state->currentLines.size(), 1u);
    EXPECT_DOUBLE_EQ(state->currentLines[0].upper, state->sections[4].x);
    EXPECT_EQ(marks(*package), std::vector<std::uint8_t>(15, 0));
}

TEST(Approximate, EntriesComeOutInAscendingFlowOrder) {
    auto state = freshState();
    std::vector<Point> points = brokenLine();
    std::reverse(points.begin(), points.end());
    auto package = rvPackage(points, state);
    approximation::approximate(*package);
    for (std::size_t i = 1; i < package->entries.size(); ++i)
        EXPECT_LE(package->entries[i - 1].flowRef, package->entries[i].flowRef);
}

// ---- Failures and packages left alone -----------------------------------------

TEST(Approximate, VerificationPackageIsLeftUntouched) {
    auto state = freshState();
    state->currentLines = {{1, 2, 3}};
    auto package = rvPackage({{300, 3}, {100, 1}}, state, PackageType::Verification);
    approximation::approximate(*package);
    EXPECT_EQ(state->currentLines, (files::Lines{{1, 2, 3}}));
    EXPECT_EQ(package->entries[0].code, 300);
    EXPECT_EQ(package->entries[0].flowMeas, 0.0);  // not even recalculated
    EXPECT_TRUE(state->sections.empty());
}

TEST(Approximate, MathErrorsEmptyTheLinesAndPassOn) {
    struct Case {
        const char* name;
        std::vector<Point> points;
        std::uint8_t function;
    };
    const Case cases[] = {
        {"zero reference flow in a fit", {{50, 0}, {100, 1}, {200, 2}}, 0},
        {"zero reference flow, linear", {{50, 0}, {100, 1}, {200, 2}}, 1},
        {"zero reference flow, proportional", {{50, 0}, {100, 1}, {200, 2}}, 2},
        {"zero first argument of a section", {{0, 0.5}, {100, 1}, {200, 2}}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto state = freshState();
        state->options.function = c.function;
        state->currentLines = {{1, 2, 3}};
        std::vector<Point> points = c.points;
        std::reverse(points.begin(), points.end());
        auto package = rvPackage(points, state);
        EXPECT_THROW(approximation::approximate(*package), MathError);
        EXPECT_TRUE(state->currentLines.empty());
        EXPECT_EQ(package->entries[0].code, c.points[0].x);  // the new order stays
    }
}

TEST(Approximate, ZeroFlowSectionAfterTheFitIsStillReported) {
    // The zero flow is in a section of its own; only the fit sees it.
    auto state = freshState();
    state->options.manual = 0;
    auto package = rvPackage({{100, 0}, {200, 2}, {300, 3}}, state);
    EXPECT_THROW(approximation::approximate(*package), MathError);
    EXPECT_TRUE(state->currentLines.empty());
    EXPECT_EQ(sectionNumbers(*package), (std::vector<std::int32_t>{1, 2, 3}));
}

// ---- Dorn ---------------------------------------------------------------------

TEST(ApproximateDorn, FitsExactlyOneLineKeepingTheFirstUpper) {
    auto state = freshState();  // PiecewiseLinear: a straight line all the same
    state->currentLines = {{1, 1, 123}, {2, 2, 456}, {3, 3, 789}};
    auto package = frequencyPackage<DornEntry>({{40, 4.05}, {10, 1.05}, {20, 2.05}, {30, 99, true}}, state);
    approximation::approximate(*package);
    ASSERT_EQ(state->currentLines.size(), 1u);
    EXPECT_NEAR(state->currentLines[0].a, 0.1, 1e-12);
    EXPECT_NEAR(state->currentLines[0].b, 0.05, 1e-12);
    EXPECT_EQ(state->currentLines[0].upper, 123);
    EXPECT_EQ(package->entries[0].freq, 40);  // neither sorted nor sectioned
    EXPECT_TRUE(state->sections.empty());
}

TEST(ApproximateDorn, ProportionalAndEmptyLines) {
    auto state = freshState();
    state->options.function = static_cast<std::uint8_t>(ApprFunction::Proportional);
    auto package = frequencyPackage<DornEntry>({{10, 1}, {20, 2}, {30, 3}}, state);
    approximation::approximate(*package);
    ASSERT_EQ(state->currentLines.size(), 1u);
    EXPECT_NEAR(state->currentLines[0].a, 0.1, 1e-15);
    EXPECT_EQ(state->currentLines[0].b, 0.0);
    EXPECT_EQ(state->currentLines[0].upper, 0.0);
}

TEST(ApproximateDorn, FailuresEmptyTheLines) {
    for (std::uint8_t function : {0, 1, 2}) {
        auto state = freshState();
        state->options.function = function;
        state->currentLines = {{1, 1, 1}};
        auto package = frequencyPackage<DornEntry>({{10, 1}, {20, 0}, {30, 3}}, state);
        EXPECT_THROW(approximation::approximate(*package), MathError) << int(function);
        EXPECT_TRUE(state->currentLines.empty());
    }
    // Every entry switched off: nothing to fit.
    auto state = freshState();
    auto package = frequencyPackage<DornEntry>({{10, 1, true}}, state);
    EXPECT_THROW(approximation::approximate(*package), MathError);
    EXPECT_TRUE(state->currentLines.empty());
}

}  // namespace
