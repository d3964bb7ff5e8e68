#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "TestSupport.h"
#include "devices/PageFields.h"

namespace {

using devtest::withSeparator;

TEST(FloatField, ReadsCommaAndPointWhateverTheSeparator) {
    for (const char sep : {'.', ','}) {
        ScopedLocale locale(withSeparator(sep));
        FloatField field(-10.0, 10.0, 0.0, 2);
        EXPECT_TRUE(field.setText("1,5"));
        EXPECT_EQ(field.value(), 1.5);
        EXPECT_TRUE(field.setText(" -2.25 "));
        EXPECT_EQ(field.value(), -2.25);
        EXPECT_FALSE(field.setText("1,5,5"));
        EXPECT_FALSE(field.setText("abc"));
        EXPECT_EQ(field.value(), -2.25) << "an unreadable text keeps the value";
        EXPECT_EQ(field.text(), sep == ',' ? "-2,25" : "-2.25");
    }
}

TEST(FloatField, ClampsAdjustsAndClampsAgain) {
    FloatField field(0.0, 36.0, 0.12, 7);
    field.setValue(40.0);
    EXPECT_EQ(field.value(), 36.0);
    field.setValue(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(field.value(), 0.0) << "a value that is not a number becomes Min";
    field.setValue(-std::numeric_limits<double>::infinity());
    EXPECT_EQ(field.value(), 0.0);

    field.setAdjust([](double v) { return v * 10.0; });
    field.setValue(5.0);
    EXPECT_EQ(field.value(), 36.0) << "the adjusted value is clamped again";

    field.setMax(-1.0);
    EXPECT_EQ(field.min(), -1.0) << "Max below Min lowers Min";
    EXPECT_EQ(field.value(), -1.0);
}

TEST(IntField, ClampsTypedAndSetValues) {
    IntField field(1, 10, 1);
    EXPECT_TRUE(field.setText("25"));
    EXPECT_EQ(field.value(), 10);
    EXPECT_TRUE(field.setText("99999999999999"));
    EXPECT_EQ(field.value(), 10);
    EXPECT_FALSE(field.setText("abc"));
    EXPECT_EQ(field.value(), 10);
    field.setValue(-5);
    EXPECT_EQ(field.value(), 1);
    field.setMin(20);
    EXPECT_EQ(field.max(), 20);
    EXPECT_EQ(field.value(), 20);
}

class CountingState : public PageState {
public:
    CountingState() { bind(field); }
    FloatField field{0.0, 1.0, 0.5, 2};
};

TEST(PageState, FieldChangesReachTheCallback) {
    CountingState state;
    int calls = 0;
    state.setChangedCallback([&] { ++calls; });
    state.field.setValue(0.75);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(state.changeCount(), 1u);
    state.field.setValue(0.75);
    EXPECT_EQ(calls, 1) << "an unchanged value is no change";
}

TEST(Selector, PositionOutsideTheItemsSelectsNothingOrIsClamped) {
    Selector s({"a", "b", "c"});
    s.setIndex(5);
    EXPECT_EQ(s.index(), -1);
    EXPECT_EQ(s.text(), "");
    s.setIndexClamped(5);
    EXPECT_EQ(s.index(), 2);
    s.setIndexClamped(-3);
    EXPECT_EQ(s.text(), "a");
    s.setItems({"x"});
    EXPECT_EQ(s.index(), -1);
}

TEST(FieldText, ATextThatIsANumberOnlyUpToSomePointKeepsTheValue) {
    // What a person leaves in a field after typing on from a number: each
    // starts with a number that the field must not take.
    const char* kPrefixes[] = {"0,2x", "1 000", "0x10", "1,5.3", "1e400", "inf", "nan", "2e"};
    for (const char sep : {'.', ','}) {
        ScopedLocale locale(withSeparator(sep));
        FloatField decimal(-1e300, 1e300, 7.0, 2);
        IntField whole(-1000000, 1000000, 7);
        for (const char* text : kPrefixes) {
            EXPECT_FALSE(decimal.setText(text)) << text;
            EXPECT_EQ(decimal.value(), 7.0) << text;
            EXPECT_FALSE(whole.setText(text)) << text;
            EXPECT_EQ(whole.value(), 7) << text;
        }
    }
}

}  // namespace
