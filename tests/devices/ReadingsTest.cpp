// The readings tab's core: the filter's warm-up and recursion, the store's
// pause flag and X alignment after a load, the zoom steps, the readings file
// both ways (with "," and "." as the user's separator) and "Анализ".

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "TestSupport.h"
#include "common/WinError.h"
#include "devices/rv/Readings.h"
#include "support/RunTool.h"

namespace {

using devtest::withSeparator;
using rv::ReadingsStore;

TEST(ReadingsFilter, WarmsUpAfterEveryClearThenRunsTheRecursion) {
    ReadingsStore store;
    for (int code : {5000, 7000, 9000, 11000}) store.take(code);
    store.clear();
    for (int code : {1000, 1010, 1030}) store.take(code);
    ASSERT_EQ(store.size(), 3u);
    EXPECT_EQ(store.filtered()[0], 1000.0);  // the first raw value
    EXPECT_EQ(store.filtered()[1], 1005.0);  // the mean of the first two
    // b0·1030 + b1·1010 + b2·1000 + 1.864714·1005 - 0.870683·1005
    EXPECT_NEAR(store.filtered()[2], 1005.0448, 2e-3);
    EXPECT_EQ(store.raw(), (std::vector<double>{1000, 1010, 1030}));
}

TEST(ReadingsFilter, SettlesOnAStepAndPassesASteadyCodeUnchanged) {
    rv::ReadingsFilter f;
    float y = 0;
    for (int i = 0; i < 50; ++i) y = f.step(12000.0f);
    EXPECT_NEAR(y, 12000.0f, 0.5f);
    // A step of 1000: slow at first (a low-pass), close after a few hundred samples.
    const float first = f.step(13000.0f);
    EXPECT_LT(first, 12010.0f);
    for (int i = 0; i < 400; ++i) y = f.step(13000.0f);
    EXPECT_NEAR(y, 13000.0f, 5.0f);
}

TEST(ReadingsStore, DropsSamplesWhilePausedAndContinuesAfterALoad) {
    ReadingsStore store;
    store.take(10);
    store.setPaused(true);
    EXPECT_FALSE(store.take(20));
    store.setPaused(false);
    EXPECT_TRUE(store.take(30));
    EXPECT_EQ(store.raw(), (std::vector<double>{10, 30}));

    // Loaded samples follow the ones held; the next polled sample follows
    // them at X = its position, with the filter warming up afresh.
    const auto generation = store.generation();
    store.clear();
    EXPECT_NE(store.generation(), generation);
    EXPECT_EQ(store.sampleCounter(), 0.0);
    store.append(rv::parseReadings("0;1;1\n1;2;2\n2;3;3\n"));
    EXPECT_EQ(store.sampleCounter(), 3.0);
    store.take(500);
    EXPECT_EQ(store.raw(), (std::vector<double>{1, 2, 3, 500}));
    EXPECT_EQ(store.filtered().back(), 500.0);
}

TEST(ReadingsZoom, EachButtonMovesBothEndsOfItsAxis) {
    using rv::ZoomButton;
    struct Case {
        ZoomButton button;
        bool x;
        rv::AxisRange after;
    } const kCases[] = {
        {ZoomButton::Closer, false, {100, 300}},
        {ZoomButton::Further, false, {-200, 600}},
        {ZoomButton::Broader, true, {-200, 600}},
        {ZoomButton::Narrower, true, {100, 300}},
    };
    for (const Case& c : kCases) {
        EXPECT_EQ(rv::zoomsX(c.button), c.x);
        EXPECT_EQ(rv::zoomed(c.button, {0, 400}), c.after);
    }
}

// ---------------------------------------------------------------- the file

TEST(ReadingsFile, WritesPositionCodeAndFilteredWithAPointWhateverTheSeparator) {
    ScopedLocale comma{withSeparator(',')};
    const std::string text = rv::formatReadings({12000, -5, 0.25}, {12000.5, 1234567, 1e-7});
    EXPECT_EQ(text, "0;12000;12000.5\n1;-5;1.234567E+06\n2;0.25;1E-07\n");
}

TEST(ReadingsFile, ReadsEachLineAsTheTabDoes) {
    struct Case {
        const char* name;
        char separator;
        const char* text;
        std::vector<double> raw, filtered;
    } const kCases[] = {
        {"decimal comma on a comma system", ',', "3;-12,5;7", {-12.5}, {7}},
        {"decimal comma on a point system", '.', "3;-12,5;7", {-12.5}, {7}},
        {"decimal point on a comma system", ',', "3;-12.5;7.25\n", {-12.5}, {7.25}},
        {"missing and empty fields are 0", '.', "0;;\n1\n2;4\n\n", {0, 0, 4, 0}, {0, 0, 0, 0}},
        {"a doubled minus is read as plus", '.', "0;--5;-0", {5}, {0}},
        {"exponents and CR LF", '.', "0;1.5E+03;2e-1\r\n1;7;8\r\n", {1500, 7}, {0.2, 8}},
        {"the first field is not read", '.', "x;1;2", {1}, {2}},
        {"an empty file", '.', "", {}, {}},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        ScopedLocale locale{withSeparator(c.separator)};
        const rv::ReadingsParse p = rv::parseReadings(c.text);
        EXPECT_FALSE(p.error) << *p.error;
        EXPECT_EQ(p.raw, c.raw);
        EXPECT_EQ(p.filtered, c.filtered);
    }
}

TEST(ReadingsFile, ABadLineStopsTheParseAndKeepsTheLinesBefore) {
    struct Case {
        const char* name;
        const char* text;
        std::size_t kept;  // also the bad line's number less one
        const char* error;
    } const kCases[] = {
        {"a word for the code", "0;1;1\n1;abc;2\n2;3;3\n", 1, "'abc' is not a valid floating point value"},
        {"a bad filtered value", "0;1;1\n1;2;2\n2;3;1,5.3\n", 2, "'1.5.3' is not a valid floating point value"},
        {"a lone minus", "0;-;1\n", 0, "'' is not a valid floating point value"},
        {"blanks only", "0;1;1\n1; ;2\n", 1, "' ' is not a valid floating point value"},
        {"a hexadecimal code", "0;0x10;1\n", 0, "'0x10' is not a valid floating point value"},
    };
    ScopedLocale dot{withSeparator('.')};
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const rv::ReadingsParse p = rv::parseReadings(c.text);
        ASSERT_TRUE(p.error);
        EXPECT_EQ(*p.error, c.error);
        EXPECT_EQ(p.errorLine, c.kept + 1);
        EXPECT_EQ(p.raw.size(), c.kept);
        EXPECT_EQ(p.filtered.size(), c.kept);
    }
}

TEST(ReadingsFile, SavedSamplesLoadBackWithTheirFigures) {
    ReadingsStore store;
    for (int i = 0; i < 500; ++i) store.take(12000 + (i * 37) % 81 - 40);
    TempFile file("Показания.csv");
    rv::saveReadings(file.path(), store);
    const rv::ReadingsParse p = rv::loadReadings(file.path());
    ASSERT_FALSE(p.error);
    EXPECT_EQ(p.raw, store.raw());
    ASSERT_EQ(p.filtered.size(), store.size());
    EXPECT_EQ(p.filtered, store.filtered());
}

// Six significant digits ("%G") saved codes of a million and more rounded;
// every value now reads back exactly, in the same "%G" shape.
TEST(ReadingsFile, EveryValueReadsBackExactly) {
    const std::vector<double> raw = {1234567, -2147483648.0, 999999, 0, 1e-7};
    const std::vector<double> filtered = {1234566.625, 0.1, 12000.5, -3.25, 16777217};
    EXPECT_EQ(rv::formatReadings(raw, filtered),
              "0;1.234567E+06;1.234566625E+06\n1;-2.147483648E+09;0.1\n2;999999;12000.5\n3;0;-3.25\n"
              "4;1E-07;1.6777217E+07\n");
    ScopedLocale comma{withSeparator(',')};
    const rv::ReadingsParse p = rv::parseReadings(rv::formatReadings(raw, filtered));
    ASSERT_FALSE(p.error);
    EXPECT_EQ(p.raw, raw);
    EXPECT_EQ(p.filtered, filtered);
}

TEST(ReadingsFile, FailuresCarryTheSystemsText) {
    ReadingsStore store;
    store.take(1);
    EXPECT_THROW(rv::saveReadings("/nonexistent-folder/readings.csv", store), win_error);
    EXPECT_THROW(rv::loadReadings("/nonexistent-folder/readings.csv"), win_error);
}

TEST(ReadingsFile, NamesAndMessages) {
    struct Case {
        const char* typed;
        const char* saved;
    } const kCases[] = {
        {"/tmp/readings", "/tmp/readings.csv"},
        {"/tmp/readings.txt", "/tmp/readings.txt"},
        {"/tmp/run.1/readings", "/tmp/run.1/readings.csv"},
        {"/tmp/readings.", "/tmp/readings."},
    };
    for (const Case& c : kCases) EXPECT_EQ(rv::withReadingsExtension(c.typed), c.saved);

    std::tm t{};
    t.tm_mday = 5;
    t.tm_mon = 2;
    t.tm_hour = 9;
    t.tm_min = 7;
    EXPECT_EQ(rv::proposedReadingsName(t), "Показания_05_03_09_07.csv");
    EXPECT_EQ(rv::readingsSavedMessage("/tmp/a.csv"), "Файл показаний /tmp/a.csv сохранен");
    EXPECT_EQ(rv::readingsLoadedMessage("/tmp/a.csv"), "Файл показаний/tmp/a.csv загружен");
}

TEST(ReadingsFile, ABareNameIsSavedWithCsv) {
    TempFile file("readings");
    ReadingsStore store;
    store.take(42);
    const std::string name = rv::withReadingsExtension(file.path());
    rv::saveReadings(name, store);
    std::ifstream in(file.path() + ".csv");
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "0;42;42\n");
    std::remove(name.c_str());
}

// ---------------------------------------------------------------- "Анализ"

TEST(ReadingsAnalysis, FourSamplesAllInView) {
    ScopedLocale dot{withSeparator('.')};
    const auto a = rv::analyzeReadings({10, 12, 10, 12}, 0, 3);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->start, 0);
    EXPECT_EQ(a->end, 3);
    EXPECT_DOUBLE_EQ(a->mean, 32.0 / 3);
    EXPECT_DOUBLE_EQ(a->noise, 2.0);
    EXPECT_FLOAT_EQ(a->ratio, 18.75);
    EXPECT_EQ(rv::analysisMessage(*a),
              "Диапазон: 0 - 3, Среднее значение: 10.6667, Шум: 2, Шум/Сигнал: 18.75%");
    ScopedLocale comma{withSeparator(',')};
    EXPECT_EQ(rv::analysisMessage(*a),
              "Диапазон: 0 - 3, Среднее значение: 10,6667, Шум: 2, Шум/Сигнал: 18,75%");
}

TEST(ReadingsAnalysis, TheAxisCutsTheRange) {
    struct Case {
        const char* name;
        double axisMin, axisMax;
        std::optional<std::pair<int, int>> range;
    } const kCases[] = {
        {"axis wider than the samples", -50, 1e300, std::pair{0, 3}},
        {"ends cut to whole numbers", 1.9, 2.99, std::pair{1, 2}},
        {"a range of one point", 2, 2.5, std::nullopt},
        {"axis past the samples", 10, 20, std::nullopt},
        {"axis before the samples", -20, -10, std::nullopt},
        {"axis turned round by zooming", 3, 0, std::nullopt},
        {"no number", std::nan(""), 3, std::nullopt},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const auto a = rv::analyzeReadings({10, 12, 10, 12}, c.axisMin, c.axisMax);
        ASSERT_EQ(a.has_value(), c.range.has_value());
        if (!a) continue;
        EXPECT_EQ(a->start, c.range->first);
        EXPECT_EQ(a->end, c.range->second);
    }
}

TEST(ReadingsAnalysis, NothingForNoSamplesOrASumOfZero) {
    EXPECT_FALSE(rv::analyzeReadings({}, 0, 10));
    EXPECT_FALSE(rv::analyzeReadings({5}, 0, 10));
    EXPECT_FALSE(rv::analyzeReadings({3, -3, 0, 5}, 0, 3));  // the sum is 0, the noise is not
}

TEST(ReadingsAnalysis, SumsInSinglePrecision) {
    // 2^24 + 1 is not a float: each addition rounds as a single-precision sum does.
    const auto a = rv::analyzeReadings({16777216, 1, 1, 0}, 0, 3);
    ASSERT_TRUE(a);
    EXPECT_DOUBLE_EQ(a->mean, 16777216.0 / 3);
}

}  // namespace
