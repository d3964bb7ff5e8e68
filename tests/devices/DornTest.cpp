#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

#include "TestSupport.h"
#include "devices/dorn/Dorn.h"

namespace {

using devtest::messages;
using devtest::withSeparator;

const std::string kAOut = "Коэффициент A не принадлежит допустимому диапазону";
const std::string kBOut = "Коэффициент B не принадлежит допустимому диапазону";
const std::string kTooMany = "Слишком много прямых аппроксимации";

struct DornFixture : ::testing::Test {
    Console console;
    Dorn dorn{console, 1};
};

struct RangeCase {
    const char* what;
    double a, b;
    double shownA, shownB;
    std::vector<std::string> logged;
};

TEST_F(DornFixture, SetLinesChecksTheDeviceRangeAndTheFieldsClamp) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const RangeCase cases[] = {
        {"in range", 1.5, -0.25, 1.5, -0.25, {}},
        {"A edges", 36.0, -36.0, 36.0, -36.0, {}},
        {"A above", 40.0, 0.0, 36.0, 0.0, {kAOut}},
        {"A below", -0.5, 0.0, 0.0, 0.0, {kAOut}},
        {"B beyond the field, within the device", 1.0, 100.0, 1.0, 36.0, {}},
        {"B beyond the device", 1.0, 600.0, 1.0, 36.0, {kBOut}},
        {"B device edge", 1.0, -558.0, 1.0, -36.0, {}},
        {"both out", 37.0, -559.0, 36.0, -36.0, {kAOut, kBOut}},
        {"A not a number", nan, 0.0, 0.0, 0.0, {kAOut}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        console.clear();
        dorn.SetLines({{c.a, c.b, 100.0}}, 0);
        EXPECT_EQ(dorn.page().a().value(), c.shownA);
        EXPECT_EQ(dorn.page().b().value(), c.shownB);
        EXPECT_EQ(messages(console), c.logged);
    }
}

TEST_F(DornFixture, SetLinesWithNoLinesLeavesThePage) {
    dorn.page().a().setValue(2.0);
    dorn.page().b().setValue(-1.0);
    dorn.SetLines({}, 0);
    EXPECT_EQ(dorn.page().a().value(), 2.0);
    EXPECT_EQ(dorn.page().b().value(), -1.0);
    EXPECT_TRUE(console.lines().empty());
}

TEST_F(DornFixture, SetLinesTakesTheFirstOfTwoLinesAndLogs) {
    dorn.SetLines({{1.25, 0.5, 10.0}, {3.0, 2.0, 20.0}}, 1);
    EXPECT_EQ(dorn.page().a().value(), 1.25);
    EXPECT_EQ(dorn.page().b().value(), 0.5);
    EXPECT_EQ(messages(console), std::vector<std::string>{kTooMany});
}

TEST_F(DornFixture, GetLinesGivesOneLineAndKeepsItsUpperEnd) {
    dorn.page().a().setValue(1.5);
    dorn.page().b().setValue(-0.25);
    files::Lines lines = {{9.0, 9.0, 77.0}, {1.0, 1.0, 1.0}, {2.0, 2.0, 2.0}};
    dorn.GetLines(lines);
    EXPECT_EQ(lines, (files::Lines{{1.5, -0.25, 77.0}}));
    files::Lines empty;
    dorn.GetLines(empty);
    EXPECT_EQ(empty, (files::Lines{{1.5, -0.25, 0.0}}));
}

TEST_F(DornFixture, InitialPageValues) {
    EXPECT_EQ(dorn.page().a().value(), 0.12);
    EXPECT_EQ(dorn.page().b().value(), 0.0);
    EXPECT_EQ(dorn.page().diameter().text(), "25");
    EXPECT_EQ(dorn.page().weight().items(), (std::vector<std::string>{"0,0001", "0,001", "0,01"}));
    EXPECT_EQ(dorn.page().weight().index(), 0);
}

TEST_F(DornFixture, IdentRoundTripsAndTheDiameterReloadsTheWeights) {
    dorn.page().selectWeight(2);
    dorn.SetIdent({12345, 9});
    EXPECT_EQ(dorn.page().diameter().text(), "125");
    EXPECT_EQ(dorn.page().weight().items(), (std::vector<std::string>{"0,01", "0,1", "1"}));
    EXPECT_EQ(dorn.page().weight().text(), "1") << "the weight keeps its position";
    Ident ident;
    dorn.GetIdent(ident);
    EXPECT_EQ(ident, (Ident{12345, 9}));

    dorn.SetIdent({7, 5});
    EXPECT_EQ(dorn.page().weight().items(), (std::vector<std::string>{"0,001", "0,01", "0,1"}));
}

TEST_F(DornFixture, IdentOutsideTheDiameterListIsClampedToIt) {
    Ident ident;
    dorn.SetIdent({1, 0});
    dorn.GetIdent(ident);
    EXPECT_EQ(ident.du, 2);
    dorn.SetIdent({1, 200});
    dorn.GetIdent(ident);
    EXPECT_EQ(ident.du, 11);
    dorn.SetIdent({4000000000u, 5});
    dorn.GetIdent(ident);
    EXPECT_EQ(ident.serial, 2147483647u) << "the factory number field stops at its maximum";
}

TEST_F(DornFixture, SettingsRoundTripAndClampTheWeightPosition) {
    dorn.page().selectWeight(2);
    std::array<std::uint8_t, 8> buffer;
    buffer.fill(0xAA);
    ASSERT_EQ(dorn.GetSettings(buffer.data()), 8);
    EXPECT_EQ(buffer, (std::array<std::uint8_t, 8>{0, 0, 0, 0, 2, 0, 0, 0}));

    Dorn other(console, 7);
    ASSERT_TRUE(other.SetSettings(buffer.data(), 8));
    EXPECT_EQ(other.page().weight().index(), 2);

    const std::array<std::uint8_t, 8> tooFar = {0xFF, 0xFF, 0xFF, 0xFF, 99, 0, 0, 0};
    ASSERT_TRUE(other.SetSettings(tooFar.data(), 8));
    EXPECT_EQ(other.page().weight().index(), 2);
    const std::array<std::uint8_t, 8> negative = {0, 0, 0, 0, 0xFB, 0xFF, 0xFF, 0xFF};
    ASSERT_TRUE(other.SetSettings(negative.data(), 8));
    EXPECT_EQ(other.page().weight().index(), 0);

    other.page().selectWeight(1);
    EXPECT_FALSE(other.SetSettings(buffer.data(), 7));
    EXPECT_EQ(other.page().weight().index(), 1) << "too small a block changes nothing";
}

TEST_F(DornFixture, PulseWeightReadsTheCommaItemInEveryLocale) {
    for (const char sep : {'.', ','}) {
        ScopedLocale locale(withSeparator(sep));
        dorn.page().selectWeight(0);
        EXPECT_DOUBLE_EQ(dorn.PulseWeight(), 0.0001);
        dorn.page().selectWeight(1);
        EXPECT_DOUBLE_EQ(dorn.PulseWeight(), 0.001);
    }
}

TEST_F(DornFixture, CoefficientsAcceptCommaAndPointText) {
    for (const char sep : {'.', ','}) {
        ScopedLocale locale(withSeparator(sep));
        EXPECT_TRUE(dorn.page().a().setText("1,5"));
        EXPECT_EQ(dorn.page().a().value(), 1.5);
        EXPECT_TRUE(dorn.page().b().setText("-0.25"));
        EXPECT_EQ(dorn.page().b().value(), -0.25);
        EXPECT_EQ(dorn.page().b().text(), sep == ',' ? "-0,2500000" : "-0.2500000");
    }
}

TEST(DornModels, PulseOutputModels) {
    for (int model = 0; model < DornPageState::kModelCount; ++model) {
        const bool expected = model == 1 || model == 2 || model >= 7;
        EXPECT_EQ(DornPageState(model).hasPulseOutput(), expected) << model;
    }
}

}  // namespace
