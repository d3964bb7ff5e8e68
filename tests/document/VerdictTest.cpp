// Limits of permissible error, the zone choice and the verdict of a
// verification package; the limits text and the stored value per model.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>

#include <unistd.h>

#include "common/Locale.h"
#include "common/MathError.h"
#include "document/Verdict.h"
#include "link/RegKey.h"
#include "PackageFixture.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct FormulaCase {
    const char* name;
    int accuracyClass;
    double qp;
    double q;
    double expected;
};

const FormulaCase kFormula[] = {
    {"class 1 at qp", 1, 10, 10, 1.01},
    {"class 2 at qp", 2, 10, 10, 2.02},
    {"class 3 at qp", 3, 10, 10, 3.05},
    {"class 1 at qp/20", 1, 10, 0.5, 1.2},
    {"class 2 at qp/50", 2, 10, 0.2, 3.0},
    {"class 3 at qp/20", 3, 10, 0.5, 4.0},
    {"class 3 capped at qp/100", 3, 10, 0.1, 5.0},   // 3 + 5 = 8 → 5
    {"class 1 capped far below qp", 1, 10, 0.001, 5.0},
    {"class 2 exactly at the cap", 2, 10, 0.0666666666666666667, 5.0},
    {"class 1 above qp", 1, 10, 100, 1.001},
};

TEST(Limits, ClassFormula) {
    for (const FormulaCase& c : kFormula) {
        const auto delta = PermissibleError(Limits::ofClass(c.accuracyClass, c.qp), c.q);
        ASSERT_TRUE(delta) << c.name;
        EXPECT_NEAR(*delta, c.expected, 1e-12) << c.name;
    }
    // No flow to judge by: no limit.
    EXPECT_FALSE(PermissibleError(Limits::ofClass(2, 10), 0.0));
    EXPECT_FALSE(PermissibleError(Limits::ofClass(2, 10), -1.0));
    EXPECT_FALSE(PermissibleError(Limits::ofClass(2, 10), kNaN));
    EXPECT_FALSE(PermissibleError(Limits{}, 10.0));
}

TEST(Limits, ZoneChoice) {
    const std::vector<LimitZone> zones = {{0.5, 5}, {1.5, 2}, {10, 1}};
    struct {
        double q;
        std::optional<std::size_t> zone;
    } const cases[] = {
        {0.2, std::nullopt},  // below the first bound
        {0.5, 0},             // exactly on a bound: that zone
        {1.4999, 0},
        {1.5, 1},
        {9.99, 1},
        {10, 2},
        {1e6, 2},
        {kNaN, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ZoneOf(zones, c.q), c.zone) << c.q;
    EXPECT_EQ(PermissibleError(Limits::ofZones(zones), 1.5), 2.0);
    EXPECT_FALSE(PermissibleError(Limits::ofZones(zones), 0.2));
}

TEST(Limits, EnvelopeSteps) {
    const Limits zones = Limits::ofZones({{0.5, 5}, {1.5, 2}, {10, 1}});
    const std::vector<EnvelopePoint> steps = LimitEnvelope(zones, 0.2, 5);
    // Nothing below the first bound; the last zone lies beyond the range.
    const std::vector<std::pair<double, double>> expected = {{0.5, 5}, {1.5, 5}, {1.5, 2}, {5, 2}};
    ASSERT_EQ(steps.size(), expected.size());
    for (std::size_t i = 0; i < steps.size(); ++i) {
        EXPECT_EQ(steps[i].q, expected[i].first) << i;
        EXPECT_EQ(steps[i].limit, expected[i].second) << i;
    }

    // The class formula: the cap is one flat run, then steps falling towards
    // a + b at qp, every step between the curve's values at its ends.
    const Limits formula = Limits::ofClass(2, 10);
    const std::vector<EnvelopePoint> curve = LimitEnvelope(formula, 0.01, 10);
    ASSERT_GE(curve.size(), 4u);
    EXPECT_EQ(curve.front().q, 0.01);
    EXPECT_EQ(curve.front().limit, 5.0);
    EXPECT_EQ(curve.back().q, 10.0);
    for (std::size_t i = 0; i + 1 < curve.size(); i += 2) {
        EXPECT_EQ(curve[i].limit, curve[i + 1].limit);
        EXPECT_LE(curve[i].limit, *PermissibleError(formula, curve[i].q) + 1e-12);
        EXPECT_GE(curve[i].limit, *PermissibleError(formula, curve[i + 1].q) - 1e-12);
    }
    EXPECT_TRUE(LimitEnvelope(Limits{}, 0.1, 10).empty());
    EXPECT_TRUE(LimitEnvelope(formula, 0, 10).empty());
}

// A verification RV package whose entries carry the given reference flow,
// flow error and dV, as the recalculation left them.
struct Point {
    double q;
    double error;
    double dV;
};

std::shared_ptr<Package<EprEntry>> verificationPackage(const std::vector<Point>& points) {
    auto package = makePackage<EprEntry>(Method::Volume, PackageType::Verification);
    for (const Point& p : points) {
        package->appendBlankEntry();
        const int row = package->entryCount() - 1;
        package->setField(row, kFlowRef, &p.q);
        package->setField(row, kFlowErr, &p.error);
        package->setField(row, kVolErr, &p.dV);
    }
    return package;
}

TEST(Verdict, Entries) {
    // Zones: below 1.5 m³/h ± 5 %, from 1.5 ± 2 %.
    const Limits limits = Limits::ofZones({{0, 5}, {1.5, 2}});
    struct Case {
        const char* name;
        Point point;
        EntryOutcome outcome;
        bool errorFails;
        bool dVFails;
        const char* word;
    };
    const Case cases[] = {
        {"well within", {3, 0.5, -0.5}, EntryOutcome::Pass, false, false, "годен"},
        {"exactly on the limit", {3, 2, -2}, EntryOutcome::Pass, false, false, "годен"},
        {"on a bound takes the stricter zone", {1.5, 3, 0}, EntryOutcome::Fail, true, false, "не годен"},
        {"just below the bound", {1.4999, 3, 0}, EntryOutcome::Pass, false, false, "годен"},
        {"flow error outside", {3, -2.01, 0}, EntryOutcome::Fail, true, false, "не годен"},
        {"dV fails while the flow error passes", {3, 1, 2.5}, EntryOutcome::Fail, false, true, "не годен"},
        {"error not a number", {3, kNaN, 0}, EntryOutcome::NoData, false, false, "нет данных"},
        {"dV not a number", {3, 0, kNaN}, EntryOutcome::NoData, false, false, "нет данных"},
        {"never computed", {0, 0, 0}, EntryOutcome::NoData, false, false, "нет данных"},
    };
    for (const Case& c : cases) {
        const auto package = verificationPackage({c.point});
        const EntryVerdict v = CheckEntry(*package, 0, limits, true);
        EXPECT_EQ(v.outcome, c.outcome) << c.name;
        EXPECT_EQ(v.errorFails, c.errorFails) << c.name;
        EXPECT_EQ(v.dVFails, c.dVFails) << c.name;
        EXPECT_EQ(EntryVerdictText(v), c.word) << c.name;
    }
}

TEST(Verdict, VolumeJudgedOnlyWhereShown) {
    const auto package = verificationPackage({{3, 1, 50}});
    const Limits limits = Limits::ofClass(1, 3);
    EXPECT_EQ(CheckPackage(*package, limits, true).outcome, PackageOutcome::Fail);
    const PackageVerdict hidden = CheckPackage(*package, limits, false);
    EXPECT_EQ(hidden.outcome, PackageOutcome::Pass);
    EXPECT_TRUE(std::isnan(hidden.entries[0].dV));
}

TEST(Verdict, BelowTheFirstZoneIsNoPass) {
    const auto package = verificationPackage({{0.1, 0, 0}});
    const PackageVerdict v = CheckPackage(*package, Limits::ofZones({{0.5, 5}}), true);
    EXPECT_EQ(v.entries[0].outcome, EntryOutcome::OutOfZones);
    EXPECT_TRUE(std::isnan(v.entries[0].limit));
    EXPECT_EQ(v.outcome, PackageOutcome::Fail);
}

TEST(Verdict, Packages) {
    const Limits limits = Limits::ofClass(2, 10);
    const auto passing = verificationPackage({{10, 2.02, 0}, {1, -2.2, 1}});
    const PackageVerdict pass = CheckPackage(*passing, limits, true);
    EXPECT_EQ(pass.outcome, PackageOutcome::Pass);
    EXPECT_TRUE(pass.failed.empty());
    EXPECT_EQ(PackageVerdictText(pass), "Годен");

    const auto failing = verificationPackage({{10, 3, 0}, {10, 0, 0}, {10, kNaN, 0}});
    const PackageVerdict fail = CheckPackage(*failing, limits, true);
    EXPECT_EQ(fail.outcome, PackageOutcome::Fail);
    EXPECT_EQ(fail.failed, (std::vector<int>{0, 2}));
    EXPECT_EQ(PackageVerdictText(fail), "Не годен: 2 точек вне пределов");

    const auto empty = verificationPackage({});
    EXPECT_EQ(CheckPackage(*empty, limits, true).outcome, PackageOutcome::Empty);
    EXPECT_EQ(PackageVerdictText(CheckPackage(*empty, limits, true)), "нет точек");

    const PackageVerdict unset = CheckPackage(*failing, Limits{}, true);
    EXPECT_EQ(unset.outcome, PackageOutcome::NoLimits);
    EXPECT_EQ(PackageVerdictText(unset), "пределы не заданы");
    EXPECT_TRUE(unset.failed.empty());
    EXPECT_EQ(EntryVerdictText(unset.entries[0]), "");
    // No limits and no entries: still the missing limits that say why.
    EXPECT_EQ(CheckPackage(*empty, Limits{}, true).outcome, PackageOutcome::NoLimits);

    auto calibration = makePackage<EprEntry>(Method::Volume, PackageType::Calibration);
    calibration->appendBlankEntry();
    const PackageVerdict none = CheckPackage(*calibration, limits, true);
    EXPECT_EQ(none.outcome, PackageOutcome::NotVerification);
    EXPECT_TRUE(none.entries.empty());
    EXPECT_EQ(PackageVerdictText(none), "");
}

TEST(Verdict, LimitsText) {
    EXPECT_EQ(LimitsText(Limits::ofClass(2, 10)), "класс 2, qp = 10 м³/ч");
    EXPECT_EQ(LimitsText(Limits::ofZones({{0, 5}, {1.5, 2}})), "зоны: от 0 м³/ч ± 5 %; от 1.5 м³/ч ± 2 %");
    Locale comma;
    comma.decimalSeparator = ',';
    ScopedLocale scoped(comma);
    EXPECT_EQ(LimitsText(Limits::ofClass(1, 2.5)), "класс 1, qp = 2,5 м³/ч");
    EXPECT_EQ(LimitsText(Limits{}), "пределы не заданы");
}

TEST(LimitsText, ParsesBothForms) {
    EXPECT_EQ(ParseLimits(R"({"class": 2, "qp": 10})"), Limits::ofClass(2, 10));
    EXPECT_EQ(ParseLimits(R"({"zones": [{"from": 0, "limit": 5}, {"from": 1.5, "limit": 2}]})"),
              Limits::ofZones({{0, 5}, {1.5, 2}}));
    for (const Limits& limits : {Limits::ofClass(3, 0.6), Limits::ofZones({{0.25, 4}, {3, 1.5}})})
        EXPECT_EQ(ParseLimits(LimitsJson(limits)), limits);
}

struct BadLimits {
    const char* reason;
    const char* text;
    const char* message;
};

const BadLimits kBad[] = {
    {"not JSON", "class 2", "Пределы погрешности: текст не в формате JSON"},
    {"not an object", "[2, 10]", "Пределы погрешности: нужен объект JSON"},
    {"no form", "{}", "Пределы погрешности: не задана форма (\"class\" и \"qp\" или \"zones\")"},
    {"both forms", R"({"class": 2, "qp": 10, "zones": []})",
     "Пределы погрешности: задан и класс точности, и таблица зон; нужно одно из двух"},
    {"class 4", R"({"class": 4, "qp": 10})", "Класс точности должен быть 1, 2 или 3"},
    {"class 1.5", R"({"class": 1.5, "qp": 10})", "Класс точности должен быть 1, 2 или 3"},
    {"class without qp", R"({"class": 2})", "Класс точности: нужно число \"qp\""},
    {"qp as text", R"({"class": 2, "qp": "10"})", "Класс точности: нужно число \"qp\""},
    {"qp zero", R"({"class": 2, "qp": 0})", "Постоянный расход qp должен быть больше 0"},
    {"qp negative", R"({"class": 2, "qp": -3})", "Постоянный расход qp должен быть больше 0"},
    {"zones not a list", R"({"zones": 5})", "Пределы погрешности: \"zones\" должен быть списком"},
    {"no zones", R"({"zones": []})", "Таблица зон пуста"},
    {"zone without limit", R"({"zones": [{"from": 0}]})", "Зона 1: нужно число \"limit\""},
    {"bound below 0", R"({"zones": [{"from": -1, "limit": 5}]})", "Зона 1: нижняя граница должна быть не меньше 0"},
    {"bounds equal", R"({"zones": [{"from": 0, "limit": 5}, {"from": 0, "limit": 2}]})",
     "Зона 2: границы зон должны возрастать"},
    {"bounds decreasing", R"({"zones": [{"from": 2, "limit": 5}, {"from": 1, "limit": 2}]})",
     "Зона 2: границы зон должны возрастать"},
    {"limit zero", R"({"zones": [{"from": 0, "limit": 0}]})", "Зона 1: предел погрешности должен быть больше 0"},
    {"limit negative", R"({"zones": [{"from": 0, "limit": 5}, {"from": 1, "limit": -2}]})",
     "Зона 2: предел погрешности должен быть больше 0"},
};

TEST(LimitsText, RefusesBadInput) {
    for (const BadLimits& bad : kBad) {
        try {
            ParseLimits(bad.text);
            ADD_FAILURE() << bad.reason << ": accepted";
        } catch (const UserError& e) {
            EXPECT_STREQ(e.what(), bad.message) << bad.reason;
        }
    }
}

class LimitsStore : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = std::filesystem::path(::testing::TempDir()) / ("limits-" + std::to_string(::getpid()));
        std::filesystem::remove_all(m_dir);
        RegKey::SetFileLocation((m_dir / "settings.json").string());
    }
    void TearDown() override {
        RegKey::SetFileLocation({});
        std::filesystem::remove_all(m_dir);
    }
    std::filesystem::path m_dir;
};

TEST_F(LimitsStore, PerModelAndNothingInvented) {
    EXPECT_EQ(LoadLimits(21), Limits{});
    SaveLimits(21, Limits::ofClass(2, 10));
    SaveLimits(0, Limits::ofZones({{0, 5}, {1.5, 2}}));
    EXPECT_EQ(LoadLimits(21), Limits::ofClass(2, 10));
    EXPECT_EQ(LoadLimits(0), Limits::ofZones({{0, 5}, {1.5, 2}}));
    EXPECT_EQ(LoadLimits(22), Limits{});  // another Kelt model keeps its own

    // Refused limits change nothing.
    EXPECT_THROW(SaveLimits(21, Limits::ofClass(2, 0)), UserError);
    EXPECT_THROW(SaveLimits(21, Limits::ofZones({{1, 5}, {1, 2}})), UserError);
    EXPECT_EQ(LoadLimits(21), Limits::ofClass(2, 10));

    SaveLimits(21, Limits{});
    EXPECT_EQ(LoadLimits(21), Limits{});

    // A value damaged outside the program reads as no limits.
    RegKey key;
    key.Open();
    key.WriteString(LimitsValueName(0), R"({"class": 9, "qp": 1})");
    EXPECT_EQ(LoadLimits(0), Limits{});
}

}  // namespace
