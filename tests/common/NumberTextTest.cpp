// Numbers a person typed: the whole text decides, "," and "." alike. Numbers
// written for a person: the user's separator, whichever it is.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <limits>

#include "common/Locale.h"
#include "common/NumberText.h"

namespace {

struct Readable {
    const char* text;
    double value;
};

const Readable kNumbers[] = {
    {"1.5", 1.5},
    {"1,5", 1.5},
    {" -2,25\t", -2.25},  // blanks around the number
    {"+3", 3.0},
    {".5", 0.5},
    {"5.", 5.0},
    {",5", 0.5},
    {"-1e3", -1000.0},
    {"2,5E-2", 0.025},
    {"1e+2", 100.0},
    {"0,001", 0.001},  // the pulse-weight items of the transducer pages
    {"1.7976931348623157e308", std::numeric_limits<double>::max()},
    {"1e-400", 0.0},   // below the smallest double: zero
    {"0e999", 0.0},    // zero whatever the exponent
};

struct Unreadable {
    const char* text;
    const char* reason;
};

const Unreadable kNotNumbers[] = {
    {"", "empty"},
    {"   ", "only blanks"},
    {"abc", "letters"},
    {"1 000", "a blank inside"},
    {"0x10", "hexadecimal"},
    {"1,5.3", "two separators"},
    {"1.5.3", "two points"},
    {"1,5,", "a separator after the fraction"},
    {"0,2x", "a letter after a number"},
    {"1e", "an exponent without digits"},
    {"1e+", "an exponent sign without digits"},
    {"e5", "no mantissa digits"},
    {".", "a separator alone"},
    {"-", "a sign alone"},
    {"--1", "two signs"},
    {"+-1", "two signs of each kind"},
    {"- 1", "a blank after the sign"},
    {"1e400", "too large for a double"},
    {"-1e400", "too large a negative"},
    {"1e99999999999999999999", "an exponent of many digits"},
    {"inf", "infinity"},
    {"-INF", "negative infinity"},
    {"Infinity", "infinity spelled out"},
    {"nan", "not a number"},
    {"NAN", "not a number in capitals"},
    {"1\xC2\xA0" "000", "a no-break space inside"},
};

TEST(ParseUserNumber, ReadsTheWholeTextWithEitherSeparator) {
    // The regional separator makes no difference to what is read.
    for (const char separator : {'.', ','}) {
        Locale locale = Locale::current();
        locale.decimalSeparator = separator;
        ScopedLocale scoped(locale);
        for (const auto& n : kNumbers) {
            const auto value = parseUserNumber(n.text);
            ASSERT_TRUE(value.has_value()) << n.text;
            EXPECT_EQ(*value, n.value) << n.text;
        }
        for (const auto& bad : kNotNumbers) EXPECT_EQ(parseUserNumber(bad.text), std::nullopt) << bad.reason;
    }
    EXPECT_TRUE(std::signbit(*parseUserNumber("-1e-400"))) << "a vanishing negative stays negative";
}

TEST(ParseUserInteger, ReadsSignedDecimalDigitsOnly) {
    const struct {
        const char* text;
        long long value;
    } numbers[] = {
        {"42", 42},
        {" -7 ", -7},
        {"+3", 3},
        {"007", 7},
        {"9223372036854775807", std::numeric_limits<long long>::max()},
        {"-9223372036854775808", std::numeric_limits<long long>::min()},
    };
    for (const auto& n : numbers) EXPECT_EQ(parseUserInteger(n.text), n.value) << n.text;
    for (const char* bad : {"", "+", "-", "1.5", "1,0", "x", "12a", "1 000", "+-1", "-+1", "0x10", "1e3",
                            "9223372036854775808", "inf"})
        EXPECT_EQ(parseUserInteger(bad), std::nullopt) << bad;
}

TEST(ParseUserInt32, KeepsToThe32BitRange) {
    EXPECT_EQ(parseUserInt32("2147483647"), 2147483647);
    EXPECT_EQ(parseUserInt32("-2147483648"), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(parseUserInt32("2147483648"), std::nullopt);
    EXPECT_EQ(parseUserInt32("-2147483649"), std::nullopt);
    EXPECT_EQ(parseUserInt32("12a"), std::nullopt);
}

// Each text is written with "."; with "," as the user's separator every
// point in it turns into ",".
std::string withComma(std::string text) {
    std::replace(text.begin(), text.end(), '.', ',');
    return text;
}

Locale withSeparator(char separator) {
    Locale locale = Locale::current();
    locale.decimalSeparator = separator;
    return locale;
}

TEST(FormatG, SixSignificantDigitsInTheShorterFormWithTheUsersSeparator) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {0, "0"},
        {12.5, "12.5"},
        {-0.000125, "-0.000125"},
        {1.0 / 3.0, "0.333333"},
        {123456789, "1.23457e+08"},  // more integer digits than six
        {0.00001, "1e-05"},          // below 0.0001: exponent form
        {100000, "100000"},
        {1000000, "1e+06"},
    };
    for (const char separator : {'.', ','}) {
        const ScopedLocale scoped(withSeparator(separator));
        for (const auto& c : cases) {
            const std::string expected = separator == ',' ? withComma(c.text) : c.text;
            EXPECT_EQ(formatG(c.value), expected) << c.value << " with '" << separator << "'";
        }
    }
}

TEST(FormatGeneral, SignificantDigitsFixedOrExponentFormWithTheUsersSeparator) {
    const struct {
        double value;
        int precision;
        const char* text;
    } cases[] = {
        {0, 15, "0"},
        {-0.0, 15, "0"},
        {5, 3, "5"},                         // trailing zeros dropped
        {1.23456, 4, "1.235"},               // rounded to the precision
        {9.96, 2, "10"},                     // rounding carries into a new digit
        {123.4, 3, "123"},                   // integer digits up to the precision
        {1234, 3, "1.23E3"},                 // beyond it: exponent form
        {1.5e20, 3, "1.5E20"},
        {0.00012345, 5, "0.00012345"},
        {0.00001, 15, "0.00001"},            // the smallest fixed form
        {-2.5e-7, 3, "-2.5E-7"},             // below it: exponent form
        {0.01, 15, "0.01"},                  // the report's pulse weight
        {0.1 + 0.2, 15, "0.3"},              // 15 digits hide the binary error
        {123456789012345.0, 15, "123456789012345"},
        {1234567890123456.0, 15, "1.23456789012346E15"},
        {2.7, 0, "3"},                       // a precision below 1 counts as 1
        {1.0 / 3.0, 40, "0.333333333333333"},  // above 15 as 15
    };
    for (const char separator : {'.', ','}) {
        const ScopedLocale scoped(withSeparator(separator));
        for (const auto& c : cases) {
            const std::string expected = separator == ',' ? withComma(c.text) : c.text;
            EXPECT_EQ(formatGeneral(c.value, c.precision), expected)
                << c.value << " to " << c.precision << " digits with '" << separator << "'";
        }
        EXPECT_EQ(formatGeneral(std::nan(""), 15), "NAN");
        EXPECT_EQ(formatGeneral(std::numeric_limits<double>::infinity(), 15), "INF");
        EXPECT_EQ(formatGeneral(-std::numeric_limits<double>::infinity(), 3), "-INF");
    }
}

TEST(WithUserSeparator, TurnsEveryPointIntoTheUsersSeparator) {
    {
        const ScopedLocale scoped(withSeparator('.'));
        EXPECT_EQ(withUserSeparator("0001.500"), "0001.500");
    }
    const ScopedLocale scoped(withSeparator(','));
    EXPECT_EQ(withUserSeparator("0001.500"), "0001,500");
    EXPECT_EQ(withUserSeparator("1.5E-05"), "1,5E-05");
    EXPECT_EQ(withUserSeparator("12"), "12");
}

}  // namespace
