// What the readings chart draws of the store: the bucket size and the
// buckets held for a view, each bucket as its lowest and highest value in
// the order of their X, the tail that follows new samples, the test that
// tells when to draw afresh, and the extremes for the automatic Y axis.

#include <gtest/gtest.h>

#include <vector>

#include "devices/rv/ReadingsReduction.h"

namespace {

using rv::ReadingsReduction;
using rv::ReducedPoint;
using Change = ReadingsReduction::Change;

struct View {
    std::size_t count;
    double min;
    double max;
    int budget;
};

ReadingsReduction planned(const View& v) {
    ReadingsReduction r;
    r.plan(v.count, v.min, v.max, v.budget);
    return r;
}

TEST(ReadingsReduction, PlansTheSmallestBucketsWithinTheBudgetAndAViewOnEitherSide) {
    const struct {
        const char* name;
        View view;
        int k;
        std::size_t first;
        std::size_t last;
        bool openTail;
    } cases[] = {
        {"few samples: every one a point", {100, 0, 100, 500}, 1, 0, 99, true},
        {"the automatic axis over 10 000 samples", {10000, 0, 10000, 500}, 32, 0, 312, true},
        // 1001 in view: k = 4; held from 4000 - 1001 to 5000 + 1001.
        {"zoomed into the middle", {10000, 4000, 5000, 500}, 4, 749, 1500, false},
        {"an axis wider than the samples is cut to them", {1000, -50, 5000, 100}, 16, 0, 62, true},
        {"an axis past the end keeps the last samples", {1000, 2000, 3000, 100}, 1, 998, 999, true},
        {"exactly the budget needs no buckets", {500, 0, 499, 500}, 1, 0, 499, true},
    };
    for (const auto& c : cases) {
        const ReadingsReduction r = planned(c.view);
        EXPECT_FALSE(r.empty()) << c.name;
        EXPECT_EQ(r.bucketSize(), c.k) << c.name;
        EXPECT_EQ(r.firstBucket(), c.first) << c.name;
        EXPECT_EQ(r.lastBucket(), c.last) << c.name;
        EXPECT_EQ(r.openTail(), c.openTail) << c.name;
    }
    ReadingsReduction none = planned({10000, 0, 10000, 500});
    none.plan(0, 0, 1, 500);
    EXPECT_TRUE(none.empty());
    EXPECT_TRUE(none.points({}).empty());
}

TEST(ReadingsReduction, DrawsEachBucketAsItsLowestAndHighestInTheOrderOfX) {
    // Eight samples with a budget of four: buckets of two.
    const std::vector<double> values = {5, 1, 9, 3, 4, 4, 8, 2};
    const ReadingsReduction r = planned({values.size(), 0, 7, 4});
    ASSERT_EQ(r.bucketSize(), 2);
    EXPECT_EQ(r.points(values), (std::vector<ReducedPoint>{
                                    {0, 5}, {1, 1},  // the highest comes first
                                    {2, 9}, {3, 3},
                                    {4, 4}, {4, 4},  // a flat bucket: one sample twice
                                    {6, 8}, {7, 2},
                                }));

    // Seven samples: the last bucket holds one.
    const std::vector<double> seven(values.begin(), values.begin() + 7);
    const ReadingsReduction partial = planned({seven.size(), 0, 6, 4});
    ASSERT_EQ(partial.bucketSize(), 2);
    const std::vector<ReducedPoint> drawn = partial.points(seven);
    ASSERT_EQ(drawn.size(), 8u);
    EXPECT_EQ(drawn[6], (ReducedPoint{6, 8}));
    EXPECT_EQ(drawn[7], (ReducedPoint{6, 8}));

    // Within the budget every sample is its own point.
    const ReadingsReduction plain = planned({values.size(), 0, 7, 100});
    ASSERT_EQ(plain.bucketSize(), 1);
    const std::vector<ReducedPoint> every = plain.points(values);
    ASSERT_EQ(every.size(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(every[i], (ReducedPoint{static_cast<double>(i), values[i]})) << i;
}

TEST(ReadingsReduction, NewSamplesExtendTheTailOnlyWhileItIsTheStoresEnd) {
    // Six samples, budget 2: buckets of four, the second one open.
    std::vector<double> values = {1, 2, 3, 4, 5, 6};
    ReadingsReduction r = planned({values.size(), 0, 5, 2});
    ASSERT_EQ(r.bucketSize(), 4);
    ASSERT_TRUE(r.openTail());
    const struct {
        double value;
        Change change;
        std::size_t firstPoint;
    } samples[] = {
        {0, Change::Replace, 2},   // sample 6 joins bucket 1 and becomes its lowest
        {9, Change::Replace, 2},   // sample 7 closes bucket 1
        {3, Change::Append, 4},    // sample 8 starts bucket 2
        {-1, Change::Replace, 4},
    };
    for (const auto& s : samples) {
        const std::size_t i = values.size();
        values.push_back(s.value);
        EXPECT_EQ(r.extend(i), s.change) << "sample " << i;
        EXPECT_EQ(r.firstPointOf(i), s.firstPoint) << "sample " << i;
    }
    // The points of the last bucket after sample 9: 3 at X 8, -1 at X 9.
    ReducedPoint p[2];
    ASSERT_EQ(r.bucketPoints(values, 9, p), 2);
    EXPECT_EQ(p[0], (ReducedPoint{8, 3}));
    EXPECT_EQ(p[1], (ReducedPoint{9, -1}));
    // The buckets the tail built up, drawn afresh.
    EXPECT_EQ(r.points(values), (std::vector<ReducedPoint>{{0, 1}, {3, 4}, {6, 0}, {7, 9}, {8, 3}, {9, -1}}));

    // Buckets that end before the store's end, and no buckets at all, take
    // nothing.
    ReadingsReduction closed = planned({10000, 4000, 5000, 500});
    ASSERT_FALSE(closed.openTail());
    EXPECT_EQ(closed.extend(10000), Change::None);
    ReadingsReduction empty;
    EXPECT_EQ(empty.extend(0), Change::None);
}

TEST(ReadingsReduction, FitsUntilTheViewLeavesTheBucketsOrTheirSize) {
    // Held: buckets of 4 from sample 2996 to 6003, 1001 in view.
    const View held{10000, 4000, 5000, 500};
    const struct {
        const char* name;
        View view;
        bool fits;
    } cases[] = {
        {"the same view", held, true},
        {"a small move within the held buckets", {10000, 3000, 4000, 500}, true},
        {"zoomed out: too many points", {10000, 0, 10000, 500}, false},
        {"zoomed in: buckets too coarse", {10000, 4400, 4600, 500}, false},
        {"moved before the held buckets", {10000, 2000, 3000, 500}, false},
        {"moved past the held buckets", {10000, 5500, 6500, 500}, false},
        {"the store emptied", {0, 0, 1, 500}, false},
    };
    const ReadingsReduction r = planned(held);
    for (const auto& c : cases)
        EXPECT_EQ(r.fits(c.view.count, c.view.min, c.view.max, c.view.budget), c.fits) << c.name;

    // A plot grown narrower: the view's buckets suit it, but far more of
    // them are held than it needs (939 for 313 in view, budget 200).
    const ReadingsReduction wide = planned({100000, 40000, 50000, 500});
    ASSERT_EQ(wide.bucketSize(), 32);
    EXPECT_TRUE(wide.fits(100000, 40000, 50000, 500));
    EXPECT_FALSE(wide.fits(100000, 40000, 50000, 200));

    // An open tail fits a view that runs past the store's end.
    const ReadingsReduction open = planned({1000, 0, 1000, 100});
    EXPECT_TRUE(open.fits(1000, 0, 1019, 100));
    // Nothing held suits only an empty store.
    const ReadingsReduction none;
    EXPECT_TRUE(none.fits(0, 0, 1, 500));
    EXPECT_FALSE(none.fits(1, 0, 1, 500));
}

TEST(ValueExtremes, FollowTheValuesTakenSinceTheLastClear) {
    rv::ValueExtremes e;
    EXPECT_TRUE(e.empty());
    for (double v : {3.0, -1.0, 7.0, 2.0}) e.take(v);
    EXPECT_FALSE(e.empty());
    EXPECT_EQ(e.min(), -1.0);
    EXPECT_EQ(e.max(), 7.0);
    e.clear();
    EXPECT_TRUE(e.empty());
    e.take(5.0);  // the first value after a clear is both ends
    EXPECT_EQ(e.min(), 5.0);
    EXPECT_EQ(e.max(), 5.0);
}

}  // namespace
