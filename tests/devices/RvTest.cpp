#include <gtest/gtest.h>

#include <array>
#include <limits>

#include "TestSupport.h"
#include "common/MathError.h"
#include "devices/Bytes.h"
#include "devices/rv/RVx2.h"

namespace {

using devtest::messages;
using devtest::withSeparator;
using rv::CalibrationBlock;
using rv::CalibrGrid;
using rv::OutputsBlock;

const std::string kTooMany = "Слишком много прямых аппроксимации";

struct RvFixture : ::testing::Test {
    Console console;
    RVx2 meter{console};
    rv::RvPageState& page = meter.page();

    std::vector<std::string> column(CalibrGrid grid, int col) const {
        std::vector<std::string> out;
        for (int r = 1; r <= 5; ++r) out.push_back(page.cell(grid, r, col));
        return out;
    }
};

using Texts = std::vector<std::string>;

TEST_F(RvFixture, TwoLinesGiveABoundAndAnOpenSecondSegment) {
    page.setLoLimit("0.02");
    page.setHiLimit("12");
    meter.SetLines({{1.5, -0.25, 120.7}, {2.5, 0.75, 500.0}}, 0);
    EXPECT_EQ(column(CalibrGrid::Direct, 1), (Texts{"120", "9999999", "0", "0", ""}));
    EXPECT_EQ(column(CalibrGrid::Direct, 2), (Texts{"1.5", "2.5", "0", "0", "0"}));
    EXPECT_EQ(column(CalibrGrid::Direct, 3), (Texts{"-0.25", "0.75", "0", "0", "0"}));
    EXPECT_EQ(page.loLimit(), "0.02");
    EXPECT_EQ(page.hiLimit(), "12");
    EXPECT_TRUE(console.lines().empty());
}

TEST_F(RvFixture, NegativeLinesGoNegatedIntoTheReverseGrid) {
    meter.SetLines({{1.0, 0.0, 50.0}}, 0);
    page.setLoLimit("0,03");
    page.setHiLimit("7");
    const Texts directBefore = column(CalibrGrid::Direct, 2);
    meter.SetLines({{-1.5, -0.25, 120.7}, {-2.5, 0.75, 500.0}}, 1);
    EXPECT_EQ(column(CalibrGrid::Reverse, 1), (Texts{"120", "9999999", "0", "0", ""}));
    EXPECT_EQ(column(CalibrGrid::Reverse, 2), (Texts{"1.5", "2.5", "0", "0", "0"}));
    EXPECT_EQ(column(CalibrGrid::Direct, 2), directBefore);
    EXPECT_EQ(page.loLimit(), "0,03") << "the limits are not shown for the reverse grid";
    EXPECT_EQ(page.hiLimit(), "7");
}

TEST_F(RvFixture, FiveLinesRoundTripAsFloat32AndIntegerBounds) {
    const files::Lines lines = {{0.1, 0.01, 100.9},    {0.2, -0.02, 2000.5}, {0.3, 0.03, 30000.0},
                                {0.4, 0.04, -40.7},    {0.5, 0.05, 123456.0}};
    meter.SetLines(lines, 0);
    files::Lines back = {{9, 9, 9}};
    meter.GetLines(back);
    ASSERT_EQ(back.size(), 5u);
    const double bounds[] = {100, 2000, 30000, -40, 0};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(back[i].a, static_cast<double>(static_cast<float>(lines[i].a))) << i;
        EXPECT_EQ(back[i].b, static_cast<double>(static_cast<float>(lines[i].b))) << i;
        EXPECT_EQ(back[i].upper, bounds[i]) << i;
    }
}

TEST_F(RvFixture, SixLinesAreRefusedAndNothingChanges) {
    meter.SetLines({{1.0, 2.0, 3.0}}, 0);
    const Texts before = column(CalibrGrid::Direct, 2);
    meter.SetLines(files::Lines(6, files::Line{5.0, 5.0, 5.0}), 0);
    EXPECT_EQ(messages(console), (Texts{kTooMany}));
    EXPECT_EQ(column(CalibrGrid::Direct, 2), before);
}

TEST_F(RvFixture, BoundsBeyondTheFieldAreKeptInIt) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    meter.SetLines({{1, 0, 1e12}, {1, 0, -1e12}, {1, 0, nan}, {1, 0, 0}}, 0);
    EXPECT_EQ(column(CalibrGrid::Direct, 1), (Texts{"2147483647", "-2147483648", "0", "9999999", ""}));
}

TEST_F(RvFixture, UnreadableCellsCountAsZeroAndAreShownAgain) {
    meter.SetLines({{1.5, 0.5, 10.0}, {2.0, 1.0, 20.0}}, 0);
    page.setLoLimit("0.1");
    page.setHiLimit("10");
    page.setCell(CalibrGrid::Direct, 1, 2, "abc");
    page.setCell(CalibrGrid::Direct, 1, 1, "12.5");
    files::Lines lines;
    meter.GetLines(lines);
    EXPECT_EQ(lines[0], (files::Line{0.0, 0.5, 0.0}));
    EXPECT_EQ(lines[1], (files::Line{2.0, 1.0, 9999999.0}));
    EXPECT_EQ(page.cell(CalibrGrid::Direct, 1, 2), "0");
    EXPECT_EQ(page.cell(CalibrGrid::Direct, 1, 1), "0");

    page.setHiLimit("");
    meter.GetLines(lines);
    EXPECT_EQ(page.loLimit(), "0") << "one unreadable limit zeroes both";
    EXPECT_EQ(page.hiLimit(), "0");
}

TEST_F(RvFixture, GridTextFollowsTheRegionalSeparator) {
    ScopedLocale comma(withSeparator(','));
    meter.SetLines({{1.5, -0.25, 10.0}, {2.0, 0.0, 20.0}}, 0);
    EXPECT_EQ(page.cell(CalibrGrid::Direct, 1, 2), "1,5");
    page.setCell(CalibrGrid::Direct, 2, 2, "2.75");  // typed with a point
    files::Lines lines;
    meter.GetLines(lines);
    EXPECT_EQ(lines[1].a, 2.75);
    EXPECT_EQ(page.cell(CalibrGrid::Direct, 2, 2), "2.75") << "a readable cell is left as typed";
    {
        ScopedLocale dot(withSeparator('.'));
        page.setCell(CalibrGrid::Direct, 2, 2, "3,25");
        meter.GetLines(lines);
        EXPECT_EQ(lines[1].a, 3.25);
    }
}

struct NameCase {
    const char* what;
    std::uint8_t versionHigh;
    int diameterIndex;
    const char* loLimit;
    const char* name;
};

TEST(RvName, PrefixByVersionAndClassByThreshold) {
    const NameCase cases[] = {
        {"no version, 25 mm below", 0, 2, "0.02", "РВ-2.2-А"},
        {"reversible, 25 mm above", 3, 2, "0.03", "РВ-Р-2.2-Б"},
        {"frequency, 25 mm exactly: float32 rounds up", 2, 2, "0.025", "РВ-Ч-2.2-Б"},
        {"32 mm exactly: float32 rounds down", 0, 3, "0.04", "РВ-2.2-А"},
        {"65 mm sits at index 9", 0, 9, "0.15", "РВ-2.2-Б"},
        {"80 mm at index 6", 0, 6, "0.15", "РВ-2.2-А"},
        {"200 mm has no threshold", 0, 10, "100", "РВ-2.2-А"},
        {"10 mm has no threshold", 0, 12, "100", "РВ-2.2-А"},
        {"no diameter", 0, -1, "100", "РВ-2.2-А"},
        {"unreadable limit", 0, 2, "x", "РВ-2.2-А"},
        {"version 1", 1, 2, "1", "РВ-2.2-Б"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Console console;
        RVx2 meter(console);
        meter.page().applySystemVersion(c.versionHigh, 0);
        meter.page().selectDiameter(c.diameterIndex);
        meter.page().setLoLimit(c.loLimit);
        EXPECT_EQ(meter.Name(), c.name);
    }
}

TEST(RvName, LimitWithEitherSeparator) {
    for (const char sep : {'.', ','}) {
        ScopedLocale locale(withSeparator(sep));
        Console console;
        RVx2 meter(console);
        meter.page().selectDiameter(2);
        meter.page().setLoLimit("0,03");
        EXPECT_EQ(meter.Name(), "РВ-2.2-Б");
    }
}

struct DuCase {
    std::uint8_t code;
    int index;
    std::uint8_t codeBack;
};

TEST_F(RvFixture, IdentMapsDiameterCodesToTheMetersIndex) {
    const DuCase cases[] = {
        {0, 0, 0}, {5, 5, 5}, {6, 9, 6}, {7, 6, 7}, {10, 8, 10}, {13, 12, 13}, {9, 0, 0}, {200, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.code));
        meter.SetIdent({1234567, c.code});
        EXPECT_EQ(page.diameter().index(), c.index);
        Ident back;
        meter.GetIdent(back);
        EXPECT_EQ(back, (Ident{1234567, c.codeBack}));
    }
    meter.SetIdent({12345678, 3});
    EXPECT_EQ(page.serial(), "012345678");
    meter.SetIdent({12345678, 9});
    EXPECT_EQ(page.serial(), "12345678");
    page.setSerial("no number");
    Ident back;
    meter.GetIdent(back);
    EXPECT_EQ(back.serial, 0u);
}

TEST(RvBlocks, OutputsBlockLayout) {
    // 0.001 as float32 is 0x3A83126F.
    const std::array<std::uint8_t, 6> bytes = {0x6F, 0x12, 0x83, 0x3A, 0x05, 0x19};
    const OutputsBlock block = rv::decodeOutputs(bytes);
    EXPECT_EQ(block.weight, 0.001f);
    EXPECT_EQ(block.pulseLength, 5);
    EXPECT_EQ(block.flags, 0x19);
    std::array<std::uint8_t, 6> back{};
    rv::encode(block, back);
    EXPECT_EQ(back, bytes);
}

TEST(RvBlocks, CalibrationBlockLayout) {
    CalibrationBlock block;
    for (int i = 0; i < 5; ++i) {
        block.a[static_cast<std::size_t>(i)] = 1.0f + static_cast<float>(i);
        block.b[static_cast<std::size_t>(i)] = -0.5f * static_cast<float>(i);
    }
    block.upper = {100, 200, -300, 9999999};
    block.gmax = 12.5f;
    block.gpor = 0.025f;
    std::array<std::uint8_t, 64> bytes{};
    rv::encode(block, bytes);
    EXPECT_EQ(bytes::getF32(bytes.data() + 12), 2.0f) << "slope of segment 2";
    EXPECT_EQ(bytes::getI32(bytes.data() + 32), -300) << "bound of segment 3";
    EXPECT_EQ(bytes::getF32(bytes.data() + 48), 5.0f) << "slope of segment 5";
    EXPECT_EQ(bytes::getF32(bytes.data() + 52), -2.0f) << "offset of segment 5";
    EXPECT_EQ(bytes::getF32(bytes.data() + 56), 12.5f) << "gmax follows segment 5 without a bound";
    EXPECT_EQ(bytes::getF32(bytes.data() + 60), 0.025f);
    EXPECT_EQ(rv::decodeCalibration(bytes), block);
}

TEST_F(RvFixture, OutputsReadStrictlyNameWhatIsMissing) {
    const auto failure = [&] {
        try {
            page.readOutputs(true);
        } catch (const UserError& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    EXPECT_EQ(failure(), "Необходимо указать цену импульса");
    page.setImpulseWeightText("0.001");
    EXPECT_EQ(failure(), "Необходимо выбрать тип платы расширения");
    page.selectPluginCard(1);
    EXPECT_EQ(failure(), "");
    page.applySystemVersion(3, 5);
    EXPECT_EQ(failure(), "Необходимо выбрать режим реверсивного выхода");
    page.selectReverseType(2);
    page.setNoFilterThreshold(true);
    page.impulseLen().setValue(7);
    const OutputsBlock block = page.readOutputs(true);
    EXPECT_EQ(block.weight, 0.001f);
    EXPECT_EQ(block.pulseLength, 7);
    EXPECT_EQ(block.flags, 1 | 4 | (2 << 3));
}

TEST_F(RvFixture, OutputsReadLenientlyFillInDefaults) {
    page.applySystemVersion(3, 1);
    page.setImpulseWeightText("weight");
    page.setNoFilterThreshold(true);
    page.setMeandr(true);
    const OutputsBlock block = page.readOutputs(false);
    EXPECT_EQ(block.weight, 0.0005f) << "0.001, halved for the meander";
    EXPECT_EQ(block.pulseLength, 0);
    EXPECT_EQ(block.flags, 0) << "no card, no reverse mode, and a low part of 1 ignores the dispenser box";
}

TEST_F(RvFixture, ShowingOutputsFillsTheGroup) {
    page.applySystemVersion(3, 5);
    page.showOutputs({0.0005f, 0, 0x02 | 0x04 | (3 << 3)});
    EXPECT_EQ(page.impulseWeightText(), "0.001");
    EXPECT_TRUE(page.meandr());
    EXPECT_TRUE(page.meanderFlag());
    EXPECT_FALSE(page.impulseLenEnabled());
    EXPECT_EQ(page.impulseLenLabel(), "");
    EXPECT_NEAR(page.litresPerPulse(), 1.0, 1e-6);
    EXPECT_EQ(page.pluginCard().index(), -1);
    EXPECT_TRUE(page.noFilterThreshold());
    EXPECT_EQ(page.reverseType().index(), -1) << "mode 3 is none";

    ScopedLocale comma(withSeparator(','));
    page.showOutputs({1.0f, 5, 0x01 | (1 << 3)});
    EXPECT_EQ(page.impulseWeightText(), "1,") << "a whole weight keeps its separator";
    EXPECT_FALSE(page.meandr());
    EXPECT_EQ(page.impulseLen().value(), 5);
    EXPECT_EQ(page.impulseLenLabel(), "4 мс");
    EXPECT_EQ(page.pluginCard().index(), 1);
    EXPECT_EQ(page.reverseType().index(), 1);
    EXPECT_DOUBLE_EQ(meter.PulseWeight(), 1.0);

    page.applySystemVersion(2, 3);
    page.showOutputs({1.0f, 5, 1 << 3});
    EXPECT_EQ(page.reverseType().index(), -1) << "not a reversible meter";
}

TEST_F(RvFixture, SettingsBlockRoundTrip) {
    page.setImpulseWeightText("0.001");
    page.setMeandr(true);
    page.selectPluginCard(1);
    meter.SetLines({{1.5, -0.25, 120.0}, {2.5, 0.75, 500.0}}, 0);
    meter.SetLines({{-3.0, 1.0, 80.0}}, 1);
    page.setLoLimit("0.025");
    page.setHiLimit("12.5");

    ASSERT_EQ(meter.GetSettings(nullptr), 142);
    std::array<std::uint8_t, 142> buffer{};
    ASSERT_EQ(meter.GetSettings(buffer.data()), 142);
    EXPECT_EQ(bytes::getF32(buffer.data()), 0.0005f);
    EXPECT_EQ(buffer[4], 0);
    EXPECT_EQ(buffer[5], 1);
    EXPECT_EQ(bytes::getF32(buffer.data() + 6), 12.5f);
    EXPECT_EQ(bytes::getF32(buffer.data() + 10), 0.025f);
    EXPECT_EQ(bytes::getF32(buffer.data() + 14), 1.5f) << "direct table";
    EXPECT_EQ(bytes::getF32(buffer.data() + 78), 3.0f) << "reverse table";

    Console console2;
    RVx2 other(console2);
    ASSERT_TRUE(other.SetSettings(buffer.data(), 142));
    EXPECT_EQ(other.page().impulseWeightText(), "0.001");
    EXPECT_TRUE(other.page().meandr());
    EXPECT_EQ(other.page().pluginCard().index(), 1);
    EXPECT_EQ(other.page().loLimit(), "0.025");
    EXPECT_EQ(other.page().hiLimit(), "12.5");
    for (const CalibrGrid grid : {CalibrGrid::Direct, CalibrGrid::Reverse})
        for (int r = 1; r <= 5; ++r)
            for (int c = 1; c <= 3; ++c) EXPECT_EQ(other.page().cell(grid, r, c), page.cell(grid, r, c));
}

// The document's block starts with the outputs group exactly as "Записать"
// sends it, each flag of a 3.5 meter included, and a document opened
// without its meter shows and saves again the flags it was saved with.
TEST_F(RvFixture, SettingsBlockKeepsEveryOutputsFlagThroughSaveAndReopen) {
    struct Case {
        const char* name;
        int card;
        bool dispenser;
        int reverse;
        std::uint8_t flags;
    } const kCases[] = {
        {"card only", 1, false, 0, 1},
        {"dispenser", 0, true, 0, 4},
        {"reverse, second item", 0, false, 1, 1 << 3},
        {"all: card, dispenser, third reverse item", 1, true, 2, 1 | 4 | (2 << 3)},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Console console1;
        RVx2 connected(console1);
        rv::RvPageState& p = connected.page();
        p.applySystemVersion(3, 5);
        p.setImpulseWeightText("0.001");
        p.impulseLen().setValue(7);
        p.selectPluginCard(c.card);
        p.setNoFilterThreshold(c.dispenser);
        p.selectReverseType(c.reverse);
        ASSERT_EQ(p.readOutputs(true).flags, c.flags) << "what Записать sends";

        std::array<std::uint8_t, 142> saved{};
        ASSERT_EQ(connected.GetSettings(saved.data()), 142);
        EXPECT_EQ(saved[4], 7);
        EXPECT_EQ(saved[5], c.flags);

        Console console2;
        RVx2 reopened(console2);
        ASSERT_TRUE(reopened.SetSettings(saved.data(), 142));
        EXPECT_EQ(reopened.page().pluginCard().index(), c.card);
        EXPECT_EQ(reopened.page().noFilterThreshold(), c.dispenser);
        EXPECT_EQ(reopened.page().reverseType().index(), c.reverse);
        std::array<std::uint8_t, 142> again{};
        ASSERT_EQ(reopened.GetSettings(again.data()), 142);
        EXPECT_EQ(again, saved);
    }
}

TEST_F(RvFixture, SettingsBlockTooSmallChangesNothing) {
    std::array<std::uint8_t, 142> buffer{};
    page.setImpulseWeightText("0.01");
    page.setLoLimit("1");
    EXPECT_FALSE(meter.SetSettings(buffer.data(), 141));
    EXPECT_EQ(page.impulseWeightText(), "0.01");
    EXPECT_EQ(page.loLimit(), "1");
}

TEST_F(RvFixture, PulseWeightReadsEitherSeparatorAndZeroWhenUnreadable) {
    for (const char sep : {'.', ','}) {
        ScopedLocale locale(withSeparator(sep));
        page.setImpulseWeightText("0,001");
        EXPECT_DOUBLE_EQ(meter.PulseWeight(), 0.001);
        page.setImpulseWeightText("0.005");
        EXPECT_DOUBLE_EQ(meter.PulseWeight(), 0.005);
        page.setImpulseWeightText("");
        EXPECT_EQ(meter.PulseWeight(), 0.0);
    }
}

TEST_F(RvFixture, VersionShowsTheReverseControls) {
    page.applySystemVersion(3, 5);
    EXPECT_TRUE(page.reverseSheetVisible());
    EXPECT_TRUE(page.reverseTypeVisible());
    EXPECT_TRUE(page.noFilterThresholdVisible());
    page.selectReverseType(1);
    page.applySystemVersion(2, 1);
    EXPECT_FALSE(page.reverseTypeVisible());
    EXPECT_EQ(page.reverseType().index(), -1);
    EXPECT_FALSE(page.noFilterThresholdVisible());
    EXPECT_TRUE(page.reverseSheetVisible()) << "the reverse tab stays as it was";
}

TEST_F(RvFixture, ReadingsForAnEntry) {
    page.setMeanCode(1234.5);
    page.setLastPulseCounter(678);
    EXPECT_EQ(meter.MeanCode(), 1234.5);
    EXPECT_EQ(meter.LastPulseCounter(), 678);
}

}  // namespace
