// The Windows-1251 table against the system's own converter.

#include <gtest/gtest.h>

#include <iconv.h>

#include "files/Cp1251.h"

namespace {

std::string iconvToUtf8(unsigned char byte) {
    iconv_t cd = ::iconv_open("UTF-8", "CP1251");
    if (cd == reinterpret_cast<iconv_t>(-1)) return "unavailable";
    char in[1] = {static_cast<char>(byte)};
    char out[8];
    char* inPtr = in;
    char* outPtr = out;
    std::size_t inLeft = 1, outLeft = sizeof out;
    const std::size_t rc = ::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    ::iconv_close(cd);
    if (rc == static_cast<std::size_t>(-1)) return "undefined";
    return std::string(out, static_cast<std::size_t>(outPtr - out));
}

TEST(Cp1251Test, EveryByteMatchesTheSystemsTableAndRoundTrips) {
    if (iconvToUtf8('A') == "unavailable") GTEST_SKIP() << "the C library has no CP1251 converter";
    for (int byte = 0x01; byte <= 0xFF; ++byte) {
        if (byte == 0x98) continue;  // undefined in the code page
        SCOPED_TRACE(byte);
        const std::string one(1, static_cast<char>(byte));
        const std::string utf8 = files::Cp1251ToUtf8(one);
        EXPECT_EQ(utf8, iconvToUtf8(static_cast<unsigned char>(byte)));
        EXPECT_EQ(files::Utf8ToCp1251(utf8), one);
    }
}

TEST(Cp1251Test, RussianTextAndCharactersOutsideTheCodePage) {
    EXPECT_EQ(files::Utf8ToCp1251("Отчёт №1 °C"), "\xCE\xF2\xF7\xB8\xF2 \xB9" "1 \xB0" "C");
    EXPECT_EQ(files::Utf8ToCp1251("a\xE2\x88\x9E" "b"), "a?b");  // U+221E
    EXPECT_EQ(files::Utf8ToCp1251("a\xD0"), "a?");                 // cut sequence
}

}  // namespace
