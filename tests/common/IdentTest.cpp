#include <gtest/gtest.h>

#include "devices/Ident.h"

TEST(SerialText, PadsByRangeAndDiameter) {
    struct Case {
        std::uint32_t serial;
        std::uint8_t du;
        const char* text;
    };
    const Case cases[] = {
        {1234567, 3, "01234567"},     // eight digits already begin with "0"
        {12345678, 3, "012345678"},   // small diameter: one more "0"
        {12345678, 9, "12345678"},
        {12345678, 8, "12345678"},
        {151000000, 3, "151000000"},  // nine-digit range
        {150999999, 3, "0150999999"},
        {0, 0, "00000000"},
    };
    for (const auto& c : cases) EXPECT_EQ(SerialText(c.serial, c.du), c.text) << c.serial << " du " << int(c.du);
}

TEST(DiameterText, CoversCodesZeroToEleven) {
    EXPECT_EQ(DiameterText(0), "15");
    EXPECT_EQ(DiameterText(6), "65");
    EXPECT_EQ(DiameterText(11), "200");
    EXPECT_EQ(DiameterText(12), "");
    EXPECT_EQ(DiameterText(-1), "");
}
