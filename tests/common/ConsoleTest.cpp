#include <gtest/gtest.h>

#include "common/Console.h"
#include "common/Locale.h"

TEST(Console, KeepsTheLastTwentyLinesAndTellsTheListenerEveryOne) {
    Console console;
    std::vector<std::string> heard;
    console.setListener([&](const std::string& text) { heard.push_back(text); });
    for (int i = 1; i <= 21; ++i) console.message("line " + std::to_string(i) + "\n");
    ASSERT_EQ(console.lines().size(), 20u);
    EXPECT_EQ(console.lines().front().text, "line 2");
    EXPECT_EQ(console.lines().back().text, "line 21");
    EXPECT_EQ(heard.size(), 21u);
    EXPECT_EQ(heard.front(), "line 1");
}

TEST(Console, TextStampsEachLineAndEndsWithoutBlankLine) {
    Locale loc;
    loc.shortDateFormat = "%d.%m.%Y";
    loc.timeFormat = "%H:%M:%S";
    ScopedLocale scoped(loc);
    Console console;
    console.message("Параметры записаны");
    console.message("  ");
    const std::string text = console.text();
    // "dd.mm.yyyy hh:mm:ss - Параметры записаны\n<stamp> - "
    EXPECT_NE(text.find(" - Параметры записаны\n"), std::string::npos);
    EXPECT_EQ(text.substr(2, 1), ".");
    EXPECT_EQ(text.back(), '-');
    console.clear();
    EXPECT_EQ(console.text(), "");
}
