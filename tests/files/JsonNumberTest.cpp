// Doubles written for the streamed JSON: the same text as nlohmann's dump()
// for whole numbers at the edges of the direct path, the signs of zero,
// exponents on both sides of the fixed layout, and a large sample of bit
// patterns and short decimals with their neighbours.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "files/JsonNumber.h"

namespace {

std::string written(double v) {
    char text[files::kJsonDoubleChars];
    return std::string(text, files::WriteJsonDouble(text, v));
}

std::string dumped(double v) { return nlohmann::json(v).dump(); }

TEST(JsonNumberTest, ChosenValuesAreWrittenAsDumpWritesThem) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const struct {
        double value;
        const char* text;
    } kCases[] = {
        {0.0, "0.0"},
        {-0.0, "-0.0"},
        {15.0, "15.0"},
        {-90.0, "-90.0"},
        {1e15 - 1, "999999999999999.0"},   // the largest whole number written directly
        {-(1e15 - 1), "-999999999999999.0"},
        {1e15, "1e+15"},                    // from here dump uses an exponent
        {1e15 + 2, "1.000000000000002e+15"},
        {9007199254740992.0, "9.007199254740992e+15"},
        {1e20, "1e+20"},
        {1e-4, "0.0001"},
        {1e-5, "1e-05"},
        {1.5e-300, "1.5e-300"},
        {5.1000000000000005, "5.1000000000000005"},
        {0.1, "0.1"},
        {std::numeric_limits<double>::denorm_min(), "5e-324"},
        {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
        {std::numeric_limits<double>::quiet_NaN(), "null"},
        {kInf, "null"},
        {-kInf, "null"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(written(c.value), c.text);
        EXPECT_EQ(written(c.value), dumped(c.value));
    }
}

TEST(JsonNumberTest, ManyDoublesAreWrittenAsDumpWritesThem) {
    std::mt19937_64 random(20261210);
    int differ = 0;
    const auto check = [&](double v) {
        if (written(v) != dumped(v) && ++differ <= 5) ADD_FAILURE() << written(v) << " but dump gives " << dumped(v);
    };
    for (int i = 0; i < 200000; ++i) {
        const std::uint64_t bits = random();
        double any = 0;
        std::memcpy(&any, &bits, sizeof any);
        check(any);
        // Whole numbers of every size, halves and their neighbours.
        const auto whole = static_cast<double>(static_cast<std::int64_t>(random() >> (random() % 64)));
        for (double v : {whole, -whole, whole / 2, std::nextafter(whole, 0.0), std::nextafter(whole, 1e300)}) check(v);
        // Short decimals such as a bench records.
        const double decimal = static_cast<double>(static_cast<std::int64_t>(random() % 2000000) - 1000000) /
                               std::pow(10.0, static_cast<int>(random() % 8));
        check(decimal);
        check(std::nextafter(decimal, 1e300));
    }
    EXPECT_EQ(differ, 0);
}

}  // namespace
