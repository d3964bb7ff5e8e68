#include <gtest/gtest.h>

#include <array>

#include "TestSupport.h"
#include "devices/Bytes.h"
#include "devices/kelt/Kelt.h"

namespace {

using devtest::messages;
using devtest::withSeparator;

const std::string kTooMany = "Слишком много прямых аппроксимации";

files::Lines linesOf(int n) {
    files::Lines lines;
    for (int i = 0; i < n; ++i) lines.push_back({1.0 + i, 0.5 * i, 100.0 * (i + 1)});
    return lines;
}

TEST(KeltSetLines, NoLinesClearsTheCoefficientsAndOpensTheBoundaries) {
    Console console;
    Kelt kelt(console, 3);
    kelt.SetLines(linesOf(3), 0);
    kelt.SetLines({}, 0);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(kelt.page().a(i).value(), 0.0);
        EXPECT_EQ(kelt.page().b(i).value(), 0.0);
    }
    for (int k = 0; k < 4; ++k) EXPECT_EQ(kelt.page().f(k).value(), 32768.0);
    EXPECT_TRUE(console.lines().empty());
}

TEST(KeltSetLines, ThreeLinesFillThreeSegmentsAndTwoBoundaries) {
    Console console;
    Kelt kelt(console, 3);
    kelt.SetLines({{1.0, 2.0, 50.5}, {3.0, -4.0, 120.0}, {5.0, 6.0, 999.0}}, 0);
    files::Lines back;
    kelt.GetLines(back);
    EXPECT_EQ(back, (files::Lines{{1.0, 2.0, 50.5},
                                  {3.0, -4.0, 120.0},
                                  {5.0, 6.0, 32768.0},
                                  {0.0, 0.0, 32768.0},
                                  {0.0, 0.0, 32768.0}}));
    EXPECT_TRUE(console.lines().empty()) << "the last line's upper end is not checked";
}

struct CountCase {
    int model;
    int lines;
    bool tooMany;
};

TEST(KeltSetLines, TooManyLinesDependsOnTheModel) {
    const CountCase cases[] = {
        {0, 4, false}, {0, 5, true}, {0, 6, true}, {3, 5, false}, {3, 6, true}, {18, 5, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "model " << c.model << ", " << c.lines << " lines");
        Console console;
        Kelt kelt(console, c.model);
        kelt.SetLines(linesOf(c.lines), 0);
        const auto logged = messages(console);
        EXPECT_EQ(logged, c.tooMany ? std::vector<std::string>{kTooMany} : std::vector<std::string>{});
        EXPECT_EQ(kelt.page().a(4).value(), c.lines >= 5 ? 5.0 : 0.0) << "lines are taken anyway";
    }
}

TEST(KeltSetLines, RangeMessagesNameTheSegmentAndTheFieldsClamp) {
    Console console;
    Kelt kelt(console, 3);
    kelt.SetLines({{40.0, 300.0, 0.25}, {1.0, -600.0, 40000.0}, {2.0, 0.0, 0.0}}, 0);
    EXPECT_EQ(messages(console), (std::vector<std::string>{
                                     "Коэффициент A1 не принадлежит допустимому диапазону",
                                     "Коэффициент B1 не принадлежит допустимому диапазону",
                                     "Коэффициент B2 не принадлежит допустимому диапазону",
                                     "Граничная частота F12 не принадлежит допустимому диапазону",
                                     "Граничная частота F23 не принадлежит допустимому диапазону",
                                 }));
    EXPECT_EQ(kelt.page().a(0).value(), 36.0);
    EXPECT_EQ(kelt.page().b(0).value(), 300.0) << "outside the device's range, inside the field's";
    EXPECT_EQ(kelt.page().b(1).value(), -558.0);
    EXPECT_EQ(kelt.page().f(0).value(), 0.5);
    EXPECT_EQ(kelt.page().f(1).value(), 32768.0);
}

TEST(KeltSetLines, BoundariesOfModels12To17StopAt8192) {
    Console console;
    Kelt kelt(console, 13);
    EXPECT_EQ(kelt.page().f(0).value(), 8192.0);
    kelt.SetLines({{1.0, 0.0, 10000.0}, {1.0, 0.0, 0.0}}, 0);
    EXPECT_TRUE(console.lines().empty());
    EXPECT_EQ(kelt.page().f(0).value(), 8192.0);
    EXPECT_EQ(kelt.page().f(3).value(), 8192.0);
}

TEST(KeltGetLines, Model0HasFourLinesOthersFive) {
    Console console;
    Kelt model0(console, 0);
    files::Lines lines(7);
    model0.GetLines(lines);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3], (files::Line{0.12, 0.0, 32768.0})) << "the fourth line ends at F45";
    Kelt model3(console, 3);
    model3.GetLines(lines);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[4], (files::Line{0.12, 0.0, 32768.0}));
}

struct SerialCase {
    std::uint32_t serial;
    std::uint8_t du;
    const char* text;
};

TEST(KeltIdent, SerialTextAndDiameter) {
    const SerialCase cases[] = {
        {1234567, 3, "01234567"},
        {12345678, 3, "012345678"},
        {12345678, 9, "12345678"},
        {151000000, 3, "151000000"},
    };
    Console console;
    Kelt kelt(console, 3);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        kelt.SetIdent({c.serial, c.du});
        EXPECT_EQ(kelt.page().serialText(), c.text);
        Ident back;
        kelt.GetIdent(back);
        EXPECT_EQ(back, (Ident{c.serial, c.du}));
    }
}

TEST(KeltIdent, UnreadableSerialIsZeroAndDiameterIsClamped) {
    Console console;
    Kelt kelt(console, 3);
    Ident ident;
    for (const char* bad : {"", "12a", "-5", "99999999999"}) {
        kelt.page().setSerialText(bad);
        kelt.GetIdent(ident);
        EXPECT_EQ(ident.serial, 0u) << bad;
    }
    kelt.SetIdent({1, 0});
    kelt.GetIdent(ident);
    EXPECT_EQ(ident.du, 1);
    kelt.SetIdent({1, 40});
    kelt.GetIdent(ident);
    EXPECT_EQ(ident.du, 11);

    Kelt model18(console, 18);
    EXPECT_EQ(model18.page().diameter().items(), (std::vector<std::string>{"15", "20"}));
    EXPECT_EQ(model18.page().diameter().index(), 0);
    model18.SetIdent({1, 5});
    model18.GetIdent(ident);
    EXPECT_EQ(ident.du, 2);
}

TEST(KeltPage, ModelSetup) {
    const KeltPageState m0(0), m3(3), m9(9), m11(11), m12(12), m18(18);
    EXPECT_FALSE(m0.view().segment5);
    EXPECT_FALSE(m0.view().temperatureCorrection);
    EXPECT_TRUE(m0.view().adapter);
    EXPECT_EQ(m0.outputType().items(), (std::vector<std::string>{"Импульсный Vp", "Частотный Vf/n"}));
    EXPECT_TRUE(m3.view().segment5);
    EXPECT_EQ(m3.n().max(), 127);
    EXPECT_EQ(m3.view().getTCaption, "Считать T");
    EXPECT_EQ(m9.view().getTCaption, "Считать T/F");
    EXPECT_FALSE(m9.view().adapter);
    EXPECT_EQ(m9.outputType().count(), 6);
    EXPECT_EQ(m9.n().max(), 255);
    EXPECT_EQ(m11.view().getTCaption, "Считать F");
    EXPECT_FALSE(m11.view().temperatureCorrection);
    EXPECT_EQ(m12.f(2).max(), 8192.0);
    EXPECT_EQ(m18.outputType().items(), (std::vector<std::string>{"V", "V/T"}));
    EXPECT_EQ(m18.view().outTypeCaption, "Тип вывода ЖКИ");
    EXPECT_FALSE(m18.view().weight);
    EXPECT_FALSE(m18.view().n);
    EXPECT_FALSE(m18.view().pulseLength);
    EXPECT_TRUE(m18.view().pulseLengthReadOnly);
    EXPECT_FALSE(m18.view().versionButton);
}

TEST(KeltPage, OutputTypeChangeShowsAndEnables) {
    KeltPageState m9(9);
    m9.selectOutputType(2);
    EXPECT_EQ(m9.outputType().text(), "Частотный Vf/2");
    EXPECT_FALSE(m9.view().coefficientsEnabled);
    EXPECT_TRUE(m9.view().weight);
    EXPECT_FALSE(m9.view().n);
    m9.selectOutputType(0);
    EXPECT_TRUE(m9.view().coefficientsEnabled);

    KeltPageState m3(3);
    m3.selectOutputType(1);
    EXPECT_TRUE(m3.view().coefficientsEnabled);
    EXPECT_FALSE(m3.view().weight);
    EXPECT_TRUE(m3.view().n);

    KeltPageState m18(18);
    m18.selectOutputType(1);
    EXPECT_FALSE(m18.view().weight) << "model 18 has no output-type handling";
    EXPECT_FALSE(m18.view().n);
}

struct PulseLengthCase {
    int model;
    double typed;
    double shown;
};

TEST(KeltPage, PulseLengthTakesAStorableValue) {
    const PulseLengthCase cases[] = {
        {13, 10.0, 9.5},  {16, 10.0, 11.7}, {3, 10.0, 7.808}, {3, 1.0, 33 * 0.0305},
        {12, 500.0, 114.0}, {15, 0.0, 3.9},   {0, 203.008, 203.008},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "model " << c.model << ", " << c.typed << " ms");
        KeltPageState page(c.model);
        page.pulseLength().setValue(c.typed);
        EXPECT_NEAR(page.pulseLength().value(), c.shown, 1e-9);
    }
    ScopedLocale locale(withSeparator(','));
    KeltPageState page(13);
    EXPECT_TRUE(page.pulseLength().setText("10.0"));
    EXPECT_EQ(page.pulseLength().text(), "9,50");
}

TEST(KeltPage, ChoosingAWeightSetsItsDefaultPulseLength) {
    KeltPageState page(13);
    EXPECT_NEAR(page.pulseLength().value(), 1.9, 1e-9) << "weight 0 at start: 1 ms on this model's steps";
    page.selectWeight(4);
    EXPECT_NEAR(page.pulseLength().value(), 79.8, 1e-9);
    page.selectWeight(3);
    EXPECT_NEAR(page.pulseLength().value(), 30.4, 1e-9);
}

TEST(KeltPage, DiameterChangeKeepsTheWeightPosition) {
    KeltPageState page(3);
    page.selectWeight(3);
    EXPECT_EQ(page.weight().text(), "0,005");
    page.selectDiameter(9);
    EXPECT_EQ(page.weight().text(), "0,5");
    EXPECT_EQ(page.du(), 10);
}

TEST(KeltPage, TemperatureCorrectionIsTypedInDegreesAndKeptInHalfDegrees) {
    for (const char sep : {'.', ','}) {
        ScopedLocale locale(withSeparator(sep));
        KeltPageState page(3);
        IntField& offset = page.temperatureCorrection();
        EXPECT_TRUE(offset.setText("1,5"));
        EXPECT_EQ(offset.value(), 3);
        EXPECT_EQ(offset.text(), sep == ',' ? "1,5" : "1.5");
        EXPECT_TRUE(offset.setText("-1.5"));
        EXPECT_EQ(offset.value(), -3);
        EXPECT_TRUE(offset.setText("9"));
        EXPECT_EQ(offset.value(), 7);
        EXPECT_TRUE(offset.setText("-1e300"));
        EXPECT_EQ(offset.value(), -7);
        EXPECT_FALSE(offset.setText("warm"));
        EXPECT_EQ(offset.value(), -7);
    }
}

TEST(KeltSettings, RoundTripIntoAnotherPage) {
    Console console;
    Kelt source(console, 3);
    source.page().selectOutputType(1);
    source.page().selectWeight(3);
    source.page().n().setValue(50);
    source.page().pulseLength().setValue(10.0);
    source.page().temperatureCorrection().setValue(-4);
    std::array<std::uint8_t, 32> buffer;
    buffer.fill(0xAA);
    ASSERT_EQ(source.GetSettings(buffer.data()), 32);
    for (int i : {0, 1, 2, 3, 28, 29, 30, 31}) EXPECT_EQ(buffer[static_cast<std::size_t>(i)], 0) << i;
    EXPECT_EQ(bytes::getI32(buffer.data() + 4), 1);
    EXPECT_EQ(bytes::getI32(buffer.data() + 8), 3);
    EXPECT_EQ(bytes::getI32(buffer.data() + 12), 50);
    EXPECT_NEAR(bytes::getF64(buffer.data() + 16), 7.808, 1e-9);
    EXPECT_EQ(bytes::getI32(buffer.data() + 24), -4);

    Kelt target(console, 3);
    ASSERT_TRUE(target.SetSettings(buffer.data(), 32));
    EXPECT_EQ(target.page().outputType().index(), 1);
    EXPECT_TRUE(target.page().view().n) << "the output-type change ran";
    EXPECT_EQ(target.page().weight().index(), 3);
    EXPECT_EQ(target.page().n().value(), 50);
    EXPECT_NEAR(target.page().pulseLength().value(), 7.808, 1e-9);
    EXPECT_EQ(target.page().temperatureCorrection().value(), -4);
}

TEST(KeltSettings, ValuesAreClampedAndTooSmallBlocksChangeNothing) {
    Console console;
    Kelt kelt(console, 3);
    std::array<std::uint8_t, 32> buffer{};
    bytes::putI32(buffer.data() + 4, 9);
    bytes::putI32(buffer.data() + 8, -2);
    bytes::putI32(buffer.data() + 12, 1000);
    bytes::putF64(buffer.data() + 16, 1e6);
    bytes::putI32(buffer.data() + 24, -30);
    EXPECT_FALSE(kelt.SetSettings(buffer.data(), 31));
    EXPECT_EQ(kelt.page().outputType().index(), 0);
    EXPECT_EQ(kelt.page().n().value(), 1);

    ASSERT_TRUE(kelt.SetSettings(buffer.data(), 32));
    EXPECT_EQ(kelt.page().outputType().index(), 1);
    EXPECT_EQ(kelt.page().weight().index(), 0);
    EXPECT_EQ(kelt.page().n().value(), 127);
    EXPECT_NEAR(kelt.page().pulseLength().value(), 203.008, 1e-9);
    EXPECT_EQ(kelt.page().temperatureCorrection().value(), -7);
}

TEST(KeltPulseWeight, ReadsTheCommaItemInEveryLocale) {
    for (const char sep : {'.', ','}) {
        ScopedLocale locale(withSeparator(sep));
        Console console;
        Kelt kelt(console, 3);
        kelt.page().selectWeight(1);
        EXPECT_DOUBLE_EQ(kelt.PulseWeight(), 0.0005);
        kelt.page().selectDiameter(10);
        EXPECT_DOUBLE_EQ(kelt.PulseWeight(), 0.05);
    }
}

}  // namespace
