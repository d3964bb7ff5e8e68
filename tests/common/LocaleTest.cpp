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

// The time formats glibc's locales give (T_FMT), and what the console and the
// package captions then show.
TEST(LocaleTimeFormat, FollowsTheSystemsFormatWithAndWithoutSeconds) {
    const struct {
        const char* system;
        const char* withSeconds;
        const char* withoutSeconds;
        const char* shown;  // 14:05:09 with seconds
    } cases[] = {
        {"%T", "%H:%M:%S", "%H:%M", "14:05:09"},                 // ru_RU, de_DE, en_GB
        {"%r", "%I:%M:%S %p", "%I:%M %p", "02:05:09 PM"},        // en_US
        {"%H.%M.%S", "%H.%M.%S", "%H.%M", "14.05.09"},           // fi_FI
        {"%H時%M分%S秒", "%H時%M分%S秒", "%H時%M分", "14時05分09秒"},  // ja_JP
    };
    std::tm tm{};
    tm.tm_hour = 14;
    tm.tm_min = 5;
    tm.tm_sec = 9;
    for (const auto& c : cases) {
        Locale loc;
        loc.takeTimeFormat(c.system);
        EXPECT_EQ(loc.timeFormat, c.withSeconds) << c.system;
        EXPECT_EQ(loc.shortTimeFormat, c.withoutSeconds) << c.system;
        EXPECT_EQ(loc.formatTime(tm, true), c.shown) << c.system;
    }
    Locale unchanged;
    unchanged.takeTimeFormat("");
    EXPECT_EQ(unchanged.timeFormat, "%H:%M:%S");
}

}  // namespace
