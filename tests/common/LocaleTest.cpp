#include <gtest/gtest.h>

#include "common/Locale.h"

namespace {

Locale withSeparator(char c) {
    Locale loc;
    loc.decimalSeparator = c;
    return loc;
}

struct FixedCase {
    double value;
    int decimals;
    const char* dot;
};

TEST(LocaleFormatFixed, RoundsToDecimalsAndFifteenDigits) {
    const FixedCase cases[] = {
        {1.0, 6, "1.000000"},
        {2.5, 2, "2.50"},
        {0.125, 2, "0.13"},           // half away from zero on the decimal digits
        {-0.125, 2, "-0.13"},
        {-0.001, 2, "0.00"},          // no sign on a zero text
        {99.999, 2, "100.00"},        // carry into a new digit
        {0.99828335329, 3, "0.998"},
        {123456789012.1234567, 6, "123456789012.123000"},  // 15 significant digits
        {0.0, 7, "0.0000000"},
        {1e15, 2, "1E+15"},
        {1234567.0, 0, "1234567"},
    };
    const Locale loc = withSeparator('.');
    for (const auto& c : cases) EXPECT_EQ(loc.formatFixed(c.value, c.decimals), c.dot) << c.value;
}

TEST(LocaleFormatFixed, UsesTheLocaleSeparatorAndNamesNotFiniteValues) {
    const Locale comma = withSeparator(',');
    EXPECT_EQ(comma.formatFixed(2.5, 3), "2,500");
    EXPECT_EQ(comma.formatFixed(std::numeric_limits<double>::quiet_NaN(), 2), "NAN");
    EXPECT_EQ(comma.formatFixed(-std::numeric_limits<double>::infinity(), 2), "-INF");
}

TEST(LocaleParseDouble, AcceptsOnlyTheLocaleSeparator) {
    const Locale dot = withSeparator('.');
    const Locale comma = withSeparator(',');
    EXPECT_EQ(dot.parseDouble("2.5"), 2.5);
    EXPECT_EQ(dot.parseDouble(" -1e3 "), -1000.0);
    EXPECT_EQ(dot.parseDouble(".5"), 0.5);
    EXPECT_EQ(dot.parseDouble("2,5"), std::nullopt);
    EXPECT_EQ(comma.parseDouble("2,5"), 2.5);
    EXPECT_EQ(comma.parseDouble("2.5"), std::nullopt);
    for (const char* bad : {"", "abc", "1e", "--1", "1.2.3", "1e999", "0x10", "+"})
        EXPECT_EQ(dot.parseDouble(bad), std::nullopt) << bad;
}

TEST(LocaleParseInteger, ReadsSignedDecimal) {
    EXPECT_EQ(Locale::parseInteger("42"), 42);
    EXPECT_EQ(Locale::parseInteger(" -7 "), -7);
    EXPECT_EQ(Locale::parseInteger("+3"), 3);
    for (const char* bad : {"", "1.5", "x", "12a"}) EXPECT_EQ(Locale::parseInteger(bad), std::nullopt) << bad;
}

}  // namespace
